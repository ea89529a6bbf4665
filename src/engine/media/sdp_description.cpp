#include "sdp_description.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

#include "engine/capture/ipv6_address.h"
#include "engine/text_search.h"

namespace varlowe {

namespace {

struct Preset {
    int type;
    const char* name;
    int32_t rate;
};

constexpr Preset kAudioPresets[] = {
    {0, "pcmu", 8000},  {3, "gsm", 8000},   {4, "g723", 8000},   {5, "dvi4", 8000},
    {6, "dvi4", 16000}, {7, "LPC", 8000},   {8, "pcma", 8000},   {9, "g722", 8000},
    {10, "L16", 44100}, {11, "L16", 44100}, {12, "qcelp", 8000}, {13, "CN", 8000},
    {14, "MPA", 90000}, {15, "G728", 8000}, {16, "DVI4", 11025}, {17, "DVI4", 22050},
    {18, "G729", 8000},
};

constexpr Preset kVideoPresets[] = {
    {25, "CelB", 90000}, {26, "JPEG", 90000}, {28, "nv", 90000},   {31, "h261", 90000},
    {32, "mpv", 90000},  {33, "mp2t", 90000}, {34, "h263", 90000},
};

template <size_t N>
const Preset* findPreset(const Preset (&table)[N], int32_t type) {
    for (const Preset& preset : table) {
        if (preset.type == type) {
            return &preset;
        }
    }
    return nullptr;
}

const Preset* presetOf(bool audio, int32_t type) {
    return audio ? findPreset(kAudioPresets, type) : findPreset(kVideoPresets, type);
}

// The first N words of a line, blank-separated; empty views for those it lacks.
template <size_t N>
std::array<std::string_view, N> words(std::string_view text) {
    std::array<std::string_view, N> out{};
    size_t at = 0;
    for (size_t n = 0; n < N; ++n) {
        at = text.find_first_not_of(' ', at);
        if (at == std::string_view::npos) {
            break;
        }
        const size_t end = text.find(' ', at);
        out[n] = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end;
    }
    return out;
}

SdpConnection connectionOf(std::string_view rest) {
    const std::array<std::string_view, 3> parts = words<3>(rest);
    return SdpConnection{std::string(parts[0]), std::string(parts[1]), std::string(parts[2])};
}

void fillMedia(SdpMedia& media, std::string_view rest) {
    // Skip the media word, then port, transport and the unsplit formats.
    size_t at = rest.find(' ');
    auto nextWord = [&rest, &at]() {
        if (at == std::string_view::npos) {
            return std::string();
        }
        at = rest.find_first_not_of(' ', at);
        if (at == std::string_view::npos) {
            return std::string();
        }
        const size_t end = rest.find(' ', at);
        std::string word(
            rest.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        at = end;
        return word;
    };
    media.port = nextWord();
    media.transport = nextWord();
    media.formats.clear();
    if (at != std::string_view::npos) {
        const size_t start = rest.find_first_not_of(' ', at);
        if (start != std::string_view::npos) {
            media.formats = std::string(rest.substr(start));
        }
    }
}

}  // namespace

PayloadTypeSlot SdpMedia::payloadType(int32_t type) const {
    auto found = std::lower_bound(
        mapped_.begin(), mapped_.end(), type,
        [](const PayloadTypeEntry& entry, int32_t wanted) { return entry.type < wanted; });
    if (found != mapped_.end() && found->type == type) {
        return found->slot;
    }
    if (const Preset* preset = presetOf(audioPresets, type)) {
        return PayloadTypeSlot{true, preset->name, preset->rate};
    }
    return PayloadTypeSlot{};
}

std::vector<PayloadTypeView> SdpMedia::presentPayloadTypes() const {
    std::vector<PayloadTypeView> out;
    out.reserve(mapped_.size() + std::size(kAudioPresets));
    auto mapped = mapped_.begin();
    auto addMapped = [&out](const PayloadTypeEntry& entry) {
        out.push_back(PayloadTypeView{entry.type, entry.slot.encodingName, entry.slot.clockRate});
    };
    auto merge = [&](const auto& presets) {
        for (const Preset& preset : presets) {
            while (mapped != mapped_.end() && mapped->type < preset.type) {
                addMapped(*mapped++);
            }
            if (mapped != mapped_.end() && mapped->type == preset.type) {
                addMapped(*mapped++);  // an rtpmap line overrides the preset
            } else {
                out.push_back(PayloadTypeView{preset.type, preset.name, preset.rate});
            }
        }
    };
    if (audioPresets) {
        merge(kAudioPresets);
    } else {
        merge(kVideoPresets);
    }
    for (; mapped != mapped_.end(); ++mapped) {
        addMapped(*mapped);
    }
    return out;
}

bool SdpMedia::namesPayloadType(int32_t type) const {
    if (std::binary_search(
            mapped_.begin(), mapped_.end(), PayloadTypeEntry{type, {}},
            [](const PayloadTypeEntry& a, const PayloadTypeEntry& b) { return a.type < b.type; })) {
        return true;
    }
    // The format list: numbers separated by blanks.
    size_t i = 0;
    while (i < formats.size()) {
        while (i < formats.size() && (formats[i] == ' ' || formats[i] == '\t')) {
            ++i;
        }
        const size_t start = i;
        while (i < formats.size() && formats[i] != ' ' && formats[i] != '\t') {
            ++i;
        }
        const std::string_view word(formats.data() + start, i - start);
        if (word.empty() || word.size() > 3) {
            continue;  // no payload type has more than three digits
        }
        int32_t value = 0;
        bool number = true;
        for (char c : word) {
            number = number && c >= '0' && c <= '9';
            value = value * 10 + (c - '0');
        }
        if (number && value == type) {
            return true;
        }
    }
    return false;
}

void SdpMedia::mapPayloadType(int32_t type, std::string encodingName, int32_t clockRate) {
    if (type < 0 || type > 127) {
        return;
    }
    auto found = std::lower_bound(
        mapped_.begin(), mapped_.end(), type,
        [](const PayloadTypeEntry& entry, int32_t wanted) { return entry.type < wanted; });
    PayloadTypeSlot slot{true, std::move(encodingName), clockRate};
    if (found != mapped_.end() && found->type == type) {
        found->slot = std::move(slot);
    } else {
        mapped_.insert(found, PayloadTypeEntry{type, std::move(slot)});
    }
}

SdpDescription::SdpDescription(const std::string& body) {
    video_.audioPresets = false;
    // A line counts only when something follows the CR or LF that ends it.
    size_t at = 0;
    while (at < body.size()) {
        size_t end = findLineEnd(body, at);
        if (end == std::string::npos || end + 1 >= body.size()) {
            break;
        }
        if (end > at) {
            handleLine(std::string_view(body).substr(at, end - at));
        }
        at = body.find_first_not_of("\r\n", end);
        if (at == std::string::npos) {
            break;
        }
    }
}

void SdpDescription::handleLine(std::string_view line) {
    if (line.size() < 2 || line[1] != '=') {
        return;
    }
    const std::string_view rest = line.substr(2);
    switch (line[0]) {
        case 'o': {
            const std::array<std::string_view, 6> parts = words<6>(rest);
            for (size_t i = 0; i < origin_.size(); ++i) {
                origin_[i] = std::string(parts[i]);
            }
            break;
        }
        case 'm':
            if (rest.substr(0, 5) == "audio") {
                fillMedia(audio_, rest);
                current_ = Kind::Audio;
                inMediaDescription_ = true;
            } else if (rest.substr(0, 5) == "video") {
                fillMedia(video_, rest);
                current_ = Kind::Video;
                inMediaDescription_ = true;
            } else {
                inMediaDescription_ = false;
            }
            break;
        case 'c':
            if (!inMediaDescription_) {
                session_ = connectionOf(rest);
            } else {
                (current_ == Kind::Audio ? audio_ : video_).connection = connectionOf(rest);
            }
            break;
        case 'a': {
            if (!inMediaDescription_ || rest.substr(0, 6) != "rtpmap") {
                break;
            }
            const size_t colon = rest.find(':');
            const std::string_view value =
                colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
            const size_t blank = value.find(' ');
            const int64_t type = leadingNumber(value.substr(0, blank));
            const std::string_view mapping =
                blank == std::string_view::npos ? std::string_view() : value.substr(blank + 1);
            const size_t slash = mapping.find('/');
            const std::string_view name = mapping.substr(0, slash);
            std::string_view rate = "0";
            if (slash != std::string_view::npos) {
                const std::string_view after = mapping.substr(slash + 1);
                rate = after.substr(0, after.find('/'));
            }
            if (type < 0 || type > 127) {
                break;  // not an RTP payload type
            }
            (current_ == Kind::Audio ? audio_ : video_)
                .mapPayloadType(static_cast<int32_t>(type), std::string(name),
                                static_cast<int32_t>(leadingNumber(rate)));
            break;
        }
        default:
            break;
    }
}

std::optional<std::string> SdpDescription::addressOf(const SdpMedia& media) const {
    for (const std::string* address : {&media.connection.address, &session_.address, &origin_[5]}) {
        if (!address->empty()) {
            // An IPv6 address in the form packets show it, whatever form the SDP wrote.
            if (address->find(':') != std::string::npos) {
                if (std::optional<Ipv6Bytes> six = parseIpv6(*address)) {
                    return ipv6Text(*six);
                }
            }
            return *address;
        }
    }
    return std::nullopt;
}

bool SdpDescription::isMediaAddress(const std::string& address) const {
    std::optional<std::string> audio = audioAddress();
    std::optional<std::string> video = videoAddress();
    return (audio && *audio == address) || (video && *video == address);
}

}  // namespace varlowe
