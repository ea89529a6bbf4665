#include "sip_message.h"

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
    size_t end = text.find_first_of("\r\n", position);
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

void parseStartLine(std::string_view line, bool& response, std::optional<std::string>& method,
                    std::optional<std::string>& uri, int& status, std::string& reason) {
    size_t position = 0;
    auto nextToken = [&](size_t& tokenEnd) -> std::optional<std::string_view> {
        while (position < line.size() && line[position] == ' ') {
            ++position;
        }
        if (position >= line.size()) {
            return std::nullopt;
        }
        size_t end = line.find(' ', position);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        std::string_view token = line.substr(position, end - position);
        position = end;
        tokenEnd = end;
        return token;
    };
    size_t tokenEnd = 0;
    std::optional<std::string_view> first = nextToken(tokenEnd);
    if (!first) {
        return;
    }
    if (*first == "SIP/2.0") {
        response = true;
        std::optional<std::string_view> code = nextToken(tokenEnd);
        if (code) {
            status = static_cast<int>(leadingNumber(*code));
            if (tokenEnd + 1 < line.size()) {
                reason.assign(line.substr(tokenEnd + 1));
            }
        }
        return;
    }
    method.emplace(*first);
    std::optional<std::string_view> second = nextToken(tokenEnd);
    if (second) {
        uri.emplace(*second);
    }
}

}  // namespace

SipMessage SipMessage::parse(const char* text, size_t length) {
    SipMessage message;
    message.raw_.assign(text, textLength(reinterpret_cast<const uint8_t*>(text), length));
    std::string_view all(message.raw_);

    size_t position = 0;
    std::string_view line;
    if (!nextLine(all, position, line)) {
        return message;
    }
    message.startLine_.assign(line);
    parseStartLine(line, message.response_, message.method_, message.requestUri_,
                   message.statusCode_, message.reasonPhrase_);

    while (nextLine(all, position, line)) {
        if (line.empty()) {
            if (position < all.size()) {
                message.body_.emplace(all.substr(position));
            }
            break;
        }
        if (line[0] == ' ') {
            if (!message.headers_.empty()) {
                message.headers_.back().value.append(line);
            }
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon + 1 >= line.size()) {
            continue;
        }
        std::string_view name = trimLeadingWhiteSpace(line.substr(0, colon));
        std::string_view value = trimLeadingWhiteSpace(line.substr(colon + 1));
        const char* expanded = expandCompactName(name);
        message.headers_.push_back(HeaderField{
            expanded != nullptr ? std::string(expanded) : std::string(name), std::string(value)});
    }
    return message;
}

const std::string* SipMessage::header(std::string_view name) const {
    for (const HeaderField& field : headers_) {
        if (equalsIgnoringCase(field.name, name)) {
            return &field.value;
        }
    }
    return nullptr;
}

std::string SipMessage::uriOfAddress(std::string_view value) {
    size_t open = value.find('<');
    if (open != std::string_view::npos) {
        size_t close = value.find('>', open + 1);
        return std::string(value.substr(
            open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1));
    }
    return std::string(value.substr(0, value.find(';')));
}

std::optional<std::string> SipMessage::tagOfAddress(std::string_view value) {
    size_t tag = value.find(";tag=");
    if (tag == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = value.substr(tag + 5);
    return std::string(rest.substr(0, rest.find(';')));
}

namespace {
template <typename Compute>
const std::optional<std::string>& cached(std::optional<std::optional<std::string>>& cache,
                                         Compute compute) {
    if (!cache) {
        cache.emplace(compute());
    }
    return *cache;
}
}  // namespace

const std::optional<std::string>& SipMessage::callId() const {
    return cached(callId_, [this]() -> std::optional<std::string> {
        const std::string* value = header("Call-Id");
        return value ? std::optional<std::string>(*value) : std::nullopt;
    });
}

const std::optional<std::string>& SipMessage::fromUri() const {
    return cached(fromUri_, [this]() -> std::optional<std::string> {
        const std::string* value = header("From");
        return value ? std::optional<std::string>(uriOfAddress(*value)) : std::nullopt;
    });
}

const std::optional<std::string>& SipMessage::toUri() const {
    return cached(toUri_, [this]() -> std::optional<std::string> {
        const std::string* value = header("To");
        return value ? std::optional<std::string>(uriOfAddress(*value)) : std::nullopt;
    });
}

const std::optional<std::string>& SipMessage::fromTag() const {
    return cached(fromTag_, [this]() -> std::optional<std::string> {
        const std::string* value = header("From");
        return value ? tagOfAddress(*value) : std::nullopt;
    });
}

const std::optional<std::string>& SipMessage::toTag() const {
    return cached(toTag_, [this]() -> std::optional<std::string> {
        const std::string* value = header("To");
        return value ? tagOfAddress(*value) : std::nullopt;
    });
}

int SipMessage::cseqNumber() const {
    if (!cseqNumber_) {
        const std::string* value = header("Cseq");
        cseqNumber_ = value ? static_cast<int>(leadingNumber(*value)) : -1;
    }
    return *cseqNumber_;
}

std::string SipMessage::cseqMethod() const {
    const std::string* value = header("Cseq");
    if (value == nullptr) {
        return std::string();
    }
    size_t i = 0;
    while (i < value->size() && (((*value)[i] >= '0' && (*value)[i] <= '9') || (*value)[i] == ' ' ||
                                 (*value)[i] == '\t')) {
        ++i;
    }
    return value->substr(i);
}

std::string SipMessage::transactionMethod() const {
    if (response_) {
        return cseqMethod();
    }
    return method_.value_or(std::string());
}

const std::optional<std::string>& SipMessage::branch() const {
    return cached(branch_, [this]() -> std::optional<std::string> {
        const std::string* via = header("Via");
        if (via == nullptr) {
            return std::nullopt;
        }
        size_t at = via->find("branch=");
        if (at == std::string::npos) {
            return std::nullopt;
        }
        std::string value = via->substr(at + 7);
        value = value.substr(0, value.find(';'));
        if (value.empty()) {
            return std::nullopt;
        }
        return value;
    });
}

bool SipMessage::carriesSdp() const {
    const std::string* type = header("Content-type");
    return type != nullptr && equalsIgnoringCase(*type, "application/sdp") && body_.has_value();
}

const DialogKey& SipMessage::dialogKey() const {
    if (!dialogKey_) {
        dialogKey_ = DialogKey::of(*this);
    }
    return *dialogKey_;
}

const TransactionKey& SipMessage::transactionKey() const {
    return *sharedTransactionKey();
}

const std::shared_ptr<const TransactionKey>& SipMessage::sharedTransactionKey() const {
    if (!transactionKey_) {
        transactionKey_ = std::make_shared<const TransactionKey>(TransactionKey::of(*this));
    }
    return transactionKey_;
}

const SdpDescription* SipMessage::sdp() const {
    if (!sdp_) {
        sdp_.emplace(carriesSdp() ? std::make_shared<const SdpDescription>(*body_) : nullptr);
    }
    return sdp_->get();
}

bool containsSip(const uint8_t* payload, size_t length) {
    if (payload == nullptr) {
        return false;
    }
    return findBytes(payload, textLength(payload, length), "SIP/2.0") != std::string_view::npos;
}

}  // namespace varlowe
