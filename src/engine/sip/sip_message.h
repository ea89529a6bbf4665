#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialog_key.h"
#include "engine/media/sdp_description.h"
#include "header_field.h"
#include "transaction_key.h"

namespace varlowe {

// A parsed SIP request or response. Parsing never fails: a text without a recognisable start
// line leaves the fields empty. The message keeps its text once; every field is a position
// in it, and the values taken from headers are found on first use and remembered.
class SipMessage {
  public:
    // Parses the text up to its first zero byte (or `length`).
    static SipMessage parse(const char* text, size_t length);
    static SipMessage parse(std::string_view text) { return parse(text.data(), text.size()); }
    // Parses the message that starts `start` bytes into a packet's payload, keeping the
    // payload's text too (what the user sees of the packet).
    static SipMessage parseInPayload(const char* payload, size_t length, size_t start);

    std::string_view rawText() const { return view(raw_); }
    // The payload the message came in, up to its first zero byte.
    std::string_view payloadText() const { return view(payload_); }
    std::string_view startLine() const { return view(startLine_); }
    bool isResponse() const { return response_; }
    std::optional<std::string_view> method() const { return optionalView(method_); }
    std::optional<std::string_view> requestUri() const { return optionalView(requestUri_); }
    int statusCode() const { return statusCode_; }
    // Empty when the status line has no reason phrase.
    std::string_view reasonPhrase() const { return view(reasonPhrase_); }
    std::optional<std::string_view> body() const { return optionalView(body_); }
    std::vector<HeaderField> headers() const;

    // Value of the first header of that name, compared without regard to case; none if none.
    std::optional<std::string_view> header(std::string_view name) const;

    std::optional<std::string_view> callId() const;
    std::optional<std::string_view> fromUri() const;
    std::optional<std::string_view> toUri() const;
    std::optional<std::string_view> fromTag() const;
    std::optional<std::string_view> toTag() const;
    // -1 when there is no CSeq header.
    int cseqNumber() const;
    // Empty when there is no CSeq header.
    std::string_view cseqMethod() const;
    // The CSeq method of a response, the method of a request.
    std::string_view transactionMethod() const;
    std::optional<std::string_view> branch() const;
    bool carriesSdp() const;
    // The session's and the transaction's identities, built when asked for: a message does
    // not keep them (the streams its SDP registers share one copy).
    DialogKey dialogKey() const { return DialogKey::of(*this); }
    TransactionKey transactionKey() const { return TransactionKey::of(*this); }
    std::shared_ptr<const TransactionKey> sharedTransactionKey() const;
    // What DialogKey::sessionMatches and TransactionKey::transactionMatches say of the two
    // messages' keys, without building either.
    bool sameSession(const SipMessage& other) const;
    bool sameTransaction(const SipMessage& other) const;
    // The SDP body, parsed anew on each call (a long capture has too many to keep them all
    // parsed); nullptr when the message carries none.
    std::unique_ptr<const SdpDescription> sdp() const;

    // The URI inside a From or To value: between "<" and ">", else before the first ";".
    static std::string_view uriOfAddress(std::string_view value);
    // The text after ";tag=" up to the next ";"; none without ";tag=".
    static std::optional<std::string_view> tagOfAddress(std::string_view value);

  private:
    // A run of bytes of the text, or of the folded values' text when the top bit of the offset
    // is set (the values of headers continued on further lines, which are not one run in
    // the text). A length of kAbsent marks a field the message does not have, kUnknown one
    // not looked up yet.
    struct Span {
        static constexpr uint32_t kUnfolded = 0x80000000u;
        static constexpr uint32_t kAbsent = ~uint32_t{0};
        static constexpr uint32_t kUnknown = kAbsent - 1;
        uint32_t offset = 0;
        uint32_t length = kAbsent;
        bool present() const { return length != kAbsent; }
    };
    // The values of continued headers, whole, by field number (ascending). Shared by copies:
    // it does not change once the message is parsed.
    struct Folded {
        std::string text;
        std::vector<std::pair<uint32_t, Span>> values;
    };
    std::string_view view(const Span& span) const {
        if (!span.present()) {
            return std::string_view();
        }
        if ((span.offset & Span::kUnfolded) != 0) {
            return std::string_view(folded_->text)
                .substr(span.offset & ~Span::kUnfolded, span.length);
        }
        return std::string_view(text(), textSize_).substr(span.offset, span.length);
    }
    // The payload text, through the end of the message, and a zero byte after it.
    const char* text() const { return block_ ? block_.data() : ""; }
    // Where the field line starts follow the text in its block, at a multiple of four: two
    // bytes each in a text shorter than 64 KB (nearly all), four in a longer one.
    static size_t fieldsAt(size_t textSize) { return (textSize + 4) & ~size_t{3}; }
    static size_t fieldWidth(size_t textSize) { return textSize <= 0xFFFF ? 2 : 4; }
    uint32_t fieldLine(size_t field) const {
        const char* at = block_.data() + fieldsAt(textSize_);
        if (fieldWidth(textSize_) == 2) {
            uint16_t start;
            std::memcpy(&start, at + 2 * field, 2);
            return start;
        }
        uint32_t start;
        std::memcpy(&start, at + 4 * field, 4);
        return start;
    }
    std::optional<std::string_view> optionalView(const Span& span) const {
        return span.present() ? std::optional<std::string_view>(view(span)) : std::nullopt;
    }
    // The span of a view into the text (at `base` while it is parsed) or the folded values.
    Span spanOf(std::string_view part) const { return spanOf(part, text()); }
    Span spanOf(std::string_view part, const char* base) const;
    // A field's name (a compact one expanded) and its value, read again from its line.
    std::string_view fieldName(size_t field) const;
    std::string_view fieldValue(size_t field) const;
    // The value on the line that starts at `start` in the text, after the colon.
    std::string_view lineValue(uint32_t start) const { return lineValue(start, text()); }
    std::string_view lineValue(uint32_t start, const char* base) const;
    // The number of the first field of that name, or fieldCount_.
    size_t findField(std::string_view name) const;
    // Parses the text at `base` (textSize_ bytes), gathering the field line starts.
    void parseText(const char* base, std::vector<uint32_t>& fieldLines);
    // A value from a header, looked up once.
    template <typename Compute>
    std::optional<std::string_view> cached(Span& cache, Compute compute) const;

    // Bytes with their count before them, so that a copy of the message copies them whole.
    class Block {
      public:
        Block() = default;
        explicit Block(size_t size) : bytes_(new char[size + 4]) {
            const uint32_t count = static_cast<uint32_t>(size);
            std::memcpy(bytes_.get(), &count, 4);
        }
        Block(const Block& other) {
            if (other.bytes_) {
                bytes_.reset(new char[other.size() + 4]);
                std::memcpy(bytes_.get(), other.bytes_.get(), other.size() + 4);
            }
        }
        Block& operator=(const Block& other) {
            if (this != &other) {
                *this = Block(other);
            }
            return *this;
        }
        Block(Block&&) noexcept = default;
        Block& operator=(Block&&) noexcept = default;
        explicit operator bool() const { return bytes_ != nullptr; }
        char* data() { return bytes_.get() + 4; }
        const char* data() const { return bytes_.get() + 4; }
        size_t size() const {
            uint32_t count;
            std::memcpy(&count, bytes_.get(), 4);
            return count;
        }

      private:
        std::unique_ptr<char[]> bytes_;
    };
    // One allocation a message: the text, a zero byte, then the start of each header
    // field's line (four bytes a field: its name and value are found again on the line).
    Block block_;
    uint32_t textSize_ = 0;
    uint32_t fieldCount_ = 0;
    std::shared_ptr<const Folded> folded_;  // none when no value continues
    Span payload_;
    Span raw_;
    Span startLine_;
    Span method_;
    Span requestUri_;
    Span reasonPhrase_;
    Span body_;
    int statusCode_ = -1;
    bool response_ = false;

    // Values looked up once, on first use.
    static constexpr Span kNotLookedUp{0, Span::kUnknown};
    mutable Span callId_ = kNotLookedUp, fromUri_ = kNotLookedUp, toUri_ = kNotLookedUp,
                 fromTag_ = kNotLookedUp, toTag_ = kNotLookedUp, branch_ = kNotLookedUp;
    static constexpr int32_t kCseqUnknown = INT32_MIN;  // a CSeq that gives it is looked up again
    mutable int32_t cseqNumber_ = kCseqUnknown;
};

// True when the payload, read as text up to its first zero byte, contains "SIP/2.0".
bool containsSip(const uint8_t* payload, size_t length);

}  // namespace varlowe
