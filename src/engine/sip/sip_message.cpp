#include "sip_message.h"

#include <algorithm>

#include "engine/text_search.h"

namespace varlowe {

namespace {

const char* expandCompactName(std::string_view name) {
    if (name.size() != 1) {
        return nullptr;
    }
    switch (name[0] | 0x20) {
        case 'i':
            return "Call-Id";
        case 'm':
            return "Contact";
        case 'e':
            return "Content-Encoding";
        case 'l':
            return "Content-Length";
        case 'c':
            return "Content-Type";
        case 'f':
            return "From";
        case 's':
            return "Subject";
        case 't':
            return "To";
        case 'v':
            return "Via";
        default:
            return nullptr;
    }
}

std::string_view trimLeadingWhiteSpace(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    return text.substr(i);
}

// Splits off the next line; a line ends at CR LF, a lone CR or a lone LF.
bool nextLine(std::string_view text, size_t& position, std::string_view& line) {
    if (position >= text.size()) {
        return false;
    }
    const size_t end = findLineEnd(text, position);
    if (end == std::string_view::npos) {
        line = text.substr(position);
        position = text.size();
        return true;
    }
    line = text.substr(position, end - position);
    position = end + 1;
    if (text[end] == '\r' && position < text.size() && text[position] == '\n') {
        ++position;
    }
    return true;
}

}  // namespace

SipMessage SipMessage::parse(const char* text, size_t length) {
    return parseInPayload(text, length, 0);
}

SipMessage SipMessage::parseInPayload(const char* payload, size_t length, size_t start) {
    SipMessage message;
    const auto* bytes = reinterpret_cast<const uint8_t*>(payload);
    start = std::min(start, length);
    const size_t payloadLength = textLength(bytes, length);
    const size_t messageLength = textLength(bytes + start, length - start);
    const size_t size = std::max(payloadLength, start + messageLength);
    message.textSize_ = static_cast<uint32_t>(size);
    message.payload_ = Span{0, static_cast<uint32_t>(payloadLength)};
    message.raw_ = Span{static_cast<uint32_t>(start), static_cast<uint32_t>(messageLength)};
    // Parsed where it lies, then kept with its field lines in one allocation. The lines
    // are gathered in one vector per thread: a vector of each message's own cost several
    // allocations a message.
    thread_local std::vector<uint32_t> fieldLines;
    fieldLines.clear();
    message.parseText(payload, fieldLines);
    message.fieldCount_ = static_cast<uint32_t>(fieldLines.size());
    const size_t fields = fieldsAt(size);
    const size_t width = fieldWidth(size);
    message.block_ = Block(fields + width * fieldLines.size());
    char* block = message.block_.data();
    std::memcpy(block, payload, size);
    std::memset(block + size, 0, fields - size);
    if (fieldLines.empty()) {
        // Nothing to copy, and an empty vector's data may be no pointer at all.
    } else if (width == 4) {
        std::memcpy(block + fields, fieldLines.data(), 4 * fieldLines.size());
    } else {
        for (size_t field = 0; field < fieldLines.size(); ++field) {
            const auto lineStart = static_cast<uint16_t>(fieldLines[field]);
            std::memcpy(block + fields + 2 * field, &lineStart, 2);
        }
    }
    return message;
}

SipMessage::Span SipMessage::spanOf(std::string_view part, const char* base) const {
    const char* begin = base;
    if (part.data() >= begin && part.data() + part.size() <= begin + textSize_) {
        return Span{static_cast<uint32_t>(part.data() - begin), static_cast<uint32_t>(part.size())};
    }
    if (!folded_) {
        return Span{0, 0};
    }
    begin = folded_->text.data();
    if (part.data() >= begin && part.data() + part.size() <= begin + folded_->text.size()) {
        return Span{Span::kUnfolded | static_cast<uint32_t>(part.data() - begin),
                    static_cast<uint32_t>(part.size())};
    }
    return Span{0, 0};
}

void SipMessage::parseText(const char* base, std::vector<uint32_t>& gathered) {
    const std::string_view all(base + raw_.offset, raw_.length);
    size_t position = 0;
    std::string_view line;
    if (!nextLine(all, position, line)) {
        return;
    }
    startLine_ = spanOf(line, base);
    // The start line: "SIP/2.0 CODE REASON" or "METHOD URI ...".
    size_t at = 0;
    size_t tokenEnd = 0;
    auto nextToken = [&]() -> std::optional<std::string_view> {
        while (at < line.size() && line[at] == ' ') {
            ++at;
        }
        if (at >= line.size()) {
            return std::nullopt;
        }
        size_t end = line.find(' ', at);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        std::string_view token = line.substr(at, end - at);
        at = end;
        tokenEnd = end;
        return token;
    };
    if (std::optional<std::string_view> first = nextToken()) {
        if (*first == "SIP/2.0") {
            response_ = true;
            if (std::optional<std::string_view> code = nextToken()) {
                statusCode_ = static_cast<int>(leadingNumber(*code));
                if (tokenEnd + 1 < line.size()) {
                    reasonPhrase_ = spanOf(line.substr(tokenEnd + 1), base);
                }
            }
        } else {
            method_ = spanOf(*first, base);
            if (std::optional<std::string_view> second = nextToken()) {
                requestUri_ = spanOf(*second, base);
            }
        }
    }

    std::shared_ptr<Folded> folded;
    while (nextLine(all, position, line)) {
        if (line.empty()) {
            if (position < all.size()) {
                body_ = spanOf(all.substr(position), base);
            }
            break;
        }
        if (line[0] == ' ') {
            if (!gathered.empty()) {
                // A continued value is no longer one run of the text: it moves, whole, to
                // the text of folded values.
                const uint32_t field = static_cast<uint32_t>(gathered.size() - 1);
                if (!folded) {
                    folded = std::make_shared<Folded>();
                    folded_ = folded;
                }
                const bool continuedBefore =
                    !folded->values.empty() && folded->values.back().first == field;
                std::string value(continuedBefore ? view(folded->values.back().second)
                                                  : lineValue(gathered.back(), base));
                value.append(line);
                const Span span{Span::kUnfolded | static_cast<uint32_t>(folded->text.size()),
                                static_cast<uint32_t>(value.size())};
                folded->text.append(value);
                if (continuedBefore) {
                    folded->values.back().second = span;
                } else {
                    folded->values.emplace_back(field, span);
                }
            }
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon + 1 >= line.size()) {
            continue;
        }
        gathered.push_back(spanOf(line, base).offset);
    }
}

std::string_view SipMessage::fieldName(size_t field) const {
    // The line holds a colon, so the first colon after its start is its own.
    const std::string_view rest = std::string_view(text(), textSize_).substr(fieldLine(field));
    const std::string_view name = trimLeadingWhiteSpace(rest.substr(0, rest.find(':')));
    const char* expanded = expandCompactName(name);
    return expanded != nullptr ? std::string_view(expanded) : name;
}

std::string_view SipMessage::lineValue(uint32_t start, const char* base) const {
    const std::string_view all(base + raw_.offset, raw_.length);
    const size_t at = start - raw_.offset;
    const size_t end = findLineEnd(all, at);
    const std::string_view line = all.substr(at, end == std::string_view::npos ? end : end - at);
    return trimLeadingWhiteSpace(line.substr(line.find(':') + 1));
}

std::string_view SipMessage::fieldValue(size_t field) const {
    if (folded_) {
        for (const auto& [number, span] : folded_->values) {
            if (number == field) {
                return view(span);
            }
        }
    }
    return lineValue(fieldLine(field));
}

size_t SipMessage::findField(std::string_view name) const {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const std::string_view all(text(), textSize_);
    const char first = name.empty() ? '\0' : lower(name[0]);
    for (size_t field = 0; field < fieldCount_; ++field) {
        // Most names differ from the one asked for in their first letter; only a name of one
        // letter (a compact form, expanded) or one after blanks needs the whole comparison.
        const size_t at = fieldLine(field);
        if (at + 1 < all.size()) {
            const char c = all[at];
            const char next = all[at + 1];
            const bool single = next == ':' || next == ' ' || next == '\t';
            if (!single && c != ' ' && c != '\t' && lower(c) != first) {
                continue;
            }
        }
        if (equalsIgnoringCase(fieldName(field), name)) {
            return field;
        }
    }
    return fieldCount_;
}

std::vector<HeaderField> SipMessage::headers() const {
    std::vector<HeaderField> out;
    out.reserve(fieldCount_);
    for (size_t field = 0; field < fieldCount_; ++field) {
        out.push_back(HeaderField{fieldName(field), fieldValue(field)});
    }
    return out;
}

std::optional<std::string_view> SipMessage::header(std::string_view name) const {
    const size_t field = findField(name);
    return field < fieldCount_ ? std::optional<std::string_view>(fieldValue(field)) : std::nullopt;
}

std::string_view SipMessage::uriOfAddress(std::string_view value) {
    size_t open = value.find('<');
    if (open != std::string_view::npos) {
        size_t close = value.find('>', open + 1);
        return value.substr(
            open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
    }
    return value.substr(0, value.find(';'));
}

std::optional<std::string_view> SipMessage::tagOfAddress(std::string_view value) {
    size_t tag = value.find(";tag=");
    if (tag == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = value.substr(tag + 5);
    return rest.substr(0, rest.find(';'));
}

template <typename Compute>
std::optional<std::string_view> SipMessage::cached(Span& cache, Compute compute) const {
    if (cache.length == Span::kUnknown) {
        std::optional<std::string_view> value = compute();
        cache = value ? spanOf(*value) : Span{};
    }
    return optionalView(cache);
}

std::optional<std::string_view> SipMessage::callId() const {
    return cached(callId_, [this] { return header("Call-Id"); });
}

std::optional<std::string_view> SipMessage::fromUri() const {
    return cached(fromUri_, [this]() -> std::optional<std::string_view> {
        std::optional<std::string_view> value = header("From");
        return value ? std::optional<std::string_view>(uriOfAddress(*value)) : std::nullopt;
    });
}

std::optional<std::string_view> SipMessage::toUri() const {
    return cached(toUri_, [this]() -> std::optional<std::string_view> {
        std::optional<std::string_view> value = header("To");
        return value ? std::optional<std::string_view>(uriOfAddress(*value)) : std::nullopt;
    });
}

std::optional<std::string_view> SipMessage::fromTag() const {
    return cached(fromTag_, [this]() -> std::optional<std::string_view> {
        std::optional<std::string_view> value = header("From");
        return value ? tagOfAddress(*value) : std::nullopt;
    });
}

std::optional<std::string_view> SipMessage::toTag() const {
    return cached(toTag_, [this]() -> std::optional<std::string_view> {
        std::optional<std::string_view> value = header("To");
        return value ? tagOfAddress(*value) : std::nullopt;
    });
}

int SipMessage::cseqNumber() const {
    if (cseqNumber_ == kCseqUnknown) {
        std::optional<std::string_view> value = header("Cseq");
        cseqNumber_ = value ? static_cast<int>(leadingNumber(*value)) : -1;
    }
    return cseqNumber_;
}

std::string_view SipMessage::cseqMethod() const {
    std::optional<std::string_view> value = header("Cseq");
    if (!value) {
        return std::string_view();
    }
    size_t i = 0;
    while (i < value->size() && (((*value)[i] >= '0' && (*value)[i] <= '9') || (*value)[i] == ' ' ||
                                 (*value)[i] == '\t')) {
        ++i;
    }
    return value->substr(i);
}

std::string_view SipMessage::transactionMethod() const {
    if (response_) {
        return cseqMethod();
    }
    return method().value_or(std::string_view());
}

std::optional<std::string_view> SipMessage::branch() const {
    return cached(branch_, [this]() -> std::optional<std::string_view> {
        std::optional<std::string_view> via = header("Via");
        if (!via) {
            return std::nullopt;
        }
        size_t at = via->find("branch=");
        if (at == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view value = via->substr(at + 7);
        value = value.substr(0, value.find(';'));
        if (value.empty()) {
            return std::nullopt;
        }
        return value;
    });
}

bool SipMessage::carriesSdp() const {
    std::optional<std::string_view> type = header("Content-type");
    return type && equalsIgnoringCase(*type, "application/sdp") && body_.present();
}

std::shared_ptr<const TransactionKey> SipMessage::sharedTransactionKey() const {
    return std::make_shared<const TransactionKey>(TransactionKey::of(*this));
}

std::unique_ptr<const SdpDescription> SipMessage::sdp() const {
    if (!carriesSdp()) {
        return nullptr;
    }
    return std::make_unique<const SdpDescription>(std::string(*body()));
}

bool SipMessage::sameSession(const SipMessage& other) const {
    return sessionsMatch(DialogView::of(*this), DialogView::of(other));
}

bool SipMessage::sameTransaction(const SipMessage& other) const {
    return transactionsMatch(*this, other);
}

bool containsSip(const uint8_t* payload, size_t length) {
    if (payload == nullptr) {
        return false;
    }
    return findBytes(payload, textLength(payload, length), "SIP/2.0") != std::string_view::npos;
}

}  // namespace varlowe
