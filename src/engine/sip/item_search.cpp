#include "item_search.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

namespace varlowe {

namespace {

const std::array<unsigned char, 256>& foldTable() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (int c = 0; c < 256; ++c) {
            t[static_cast<size_t>(c)] =
                static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        return t;
    }();
    return table;
}

// How common a (folded) byte is in SIP messages, 0 the most: the letters, digits and marks
// of real captures from the most to the least frequent, every other byte rarer still. The
// search runs over the places of the needle's rarest byte, so that few false starts are tried.
const std::array<unsigned char, 256>& rarityTable() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        t.fill(255);
        const char* const common = " 01-aet.:p2is6cnro7853b>9d<4lgm=fu,/v;khyx@w|\"#qz_j+[]()~";
        for (unsigned char rank = 0; common[rank] != '\0'; ++rank) {
            t[static_cast<unsigned char>(common[rank])] = rank;
        }
        t['\r'] = t['\n'] = 16;
        return t;
    }();
    return table;
}

}  // namespace

bool textHolds(std::string_view text, std::string_view needle, bool matchCase) {
    if (needle.empty() || needle.size() > text.size()) {
        return false;
    }
    if (matchCase) {
        return text.find(needle) != std::string_view::npos;
    }
    const auto& fold = foldTable();
    const auto& rarity = rarityTable();
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const auto* want = reinterpret_cast<const unsigned char*>(needle.data());
    // The anchor: the needle's rarest byte, found by memchr (in both cases for a letter),
    // far faster than a byte loop over the bytes that cannot start a match.
    size_t anchor = 0;
    for (size_t i = 1; i < needle.size(); ++i) {
        if (rarity[fold[want[i]]] > rarity[fold[want[anchor]]]) {
            anchor = i;
        }
    }
    const unsigned char lowerByte = fold[want[anchor]];
    const unsigned char upperByte = lowerByte >= 'a' && lowerByte <= 'z'
                                        ? static_cast<unsigned char>(lowerByte - 'a' + 'A')
                                        : lowerByte;
    // The anchor's places that leave room for the needle around them: [anchor, end].
    const size_t end = text.size() - needle.size() + anchor;
    auto nextOf = [&](unsigned char c, size_t from) {
        const void* hit = std::memchr(data + from, c, end - from + 1);
        return hit != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - data)
                              : text.size();
    };
    // The next place of each case, each found again only once passed.
    size_t lower = nextOf(lowerByte, anchor);
    size_t upper = upperByte != lowerByte ? nextOf(upperByte, anchor) : text.size();
    while (true) {
        const size_t at = std::min(lower, upper);
        if (at > end) {
            return false;
        }
        const unsigned char* start = data + at - anchor;
        size_t i = 0;
        while (i < needle.size() && fold[start[i]] == fold[want[i]]) {
            ++i;
        }
        if (i == needle.size()) {
            return true;
        }
        if (at == lower) {
            lower = at < end ? nextOf(lowerByte, at + 1) : text.size();
        } else {
            upper = at < end ? nextOf(upperByte, at + 1) : text.size();
        }
    }
}

namespace {

bool itemHolds(const AnalysisModel& model, const AnalysisItem& item, FrameRereader* reader,
               std::string_view needle, bool matchCase) {
    const std::optional<std::string> text = itemText(model, item, reader);
    return text && textHolds(*text, needle, matchCase);
}

}  // namespace

std::vector<ItemIndex> findItems(const AnalysisModel& model, std::string_view needle,
                                 bool matchCase) {
    std::vector<ItemIndex> found;
    const size_t count = model.itemCount();
    if (needle.empty() || count == 0) {
        return found;
    }
    // The items in a slice per core, each read again through a reader of its own: reading and
    // parsing every message of a large capture costs more than the comparisons. Each slice's
    // matches stay in order, and so the whole.
    constexpr size_t kItemsPerSlice = 50000;
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t slices = std::min<size_t>(cores, (count + kItemsPerSlice - 1) / kItemsPerSlice);
    std::vector<std::vector<ItemIndex>> parts(slices);
    auto search = [&](size_t slice) {
        const size_t from = count * slice / slices;
        const size_t to = count * (slice + 1) / slices;
        const std::unique_ptr<FrameRereader> reader = model.captureReader();
        for (size_t i = from; i < to; ++i) {
            const AnalysisItem& item = model.item(ItemIndex(i));
            if (itemHolds(model, item, reader.get(), needle, matchCase)) {
                parts[slice].push_back(item.index);
            }
        }
    };
    std::vector<std::thread> helpers;
    for (size_t slice = 1; slice < slices; ++slice) {
        helpers.emplace_back(search, slice);
    }
    search(0);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    for (const std::vector<ItemIndex>& part : parts) {
        found.insert(found.end(), part.begin(), part.end());
    }
    return found;
}

}  // namespace varlowe
