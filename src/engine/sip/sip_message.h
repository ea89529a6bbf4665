#pragma once

#include <cstddef>
#include <cstdint>
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
// line leaves the fields empty. Field extractions are computed on first use and cached.
class SipMessage {
  public:
    // Parses the text up to its first zero byte (or `length`).
    static SipMessage parse(const char* text, size_t length);
    static SipMessage parse(std::string_view text) { return parse(text.data(), text.size()); }

    const std::string& rawText() const { return raw_; }
    const std::string& startLine() const { return startLine_; }
    bool isResponse() const { return response_; }
    const std::optional<std::string>& method() const { return method_; }
    const std::optional<std::string>& requestUri() const { return requestUri_; }
    int statusCode() const { return statusCode_; }
    // Empty when the status line has no reason phrase.
    const std::string& reasonPhrase() const { return reasonPhrase_; }
    const std::optional<std::string>& body() const { return body_; }
    const std::vector<HeaderField>& headers() const { return headers_; }

    // Value of the first header of that name, compared without regard to case; nullptr if none.
    const std::string* header(std::string_view name) const;

    const std::optional<std::string>& callId() const;
    const std::optional<std::string>& fromUri() const;
    const std::optional<std::string>& toUri() const;
    const std::optional<std::string>& fromTag() const;
    const std::optional<std::string>& toTag() const;
    // -1 when there is no CSeq header.
    int cseqNumber() const;
    // Empty when there is no CSeq header.
    std::string cseqMethod() const;
    // The CSeq method of a response, the method of a request.
    std::string transactionMethod() const;
    const std::optional<std::string>& branch() const;
    bool carriesSdp() const;
    // The session and transaction identities, built on first use.
    const DialogKey& dialogKey() const;
    const TransactionKey& transactionKey() const;
    // The same key held shared, for the streams its SDP registers (no copy per stream).
    const std::shared_ptr<const TransactionKey>& sharedTransactionKey() const;
    // The SDP body, parsed on first use; nullptr when the message carries none.
    const SdpDescription* sdp() const;

    // The URI inside a From or To value: between "<" and ">", else before the first ";".
    static std::string uriOfAddress(std::string_view value);
    // The text after ";tag=" up to the next ";"; none without ";tag=".
    static std::optional<std::string> tagOfAddress(std::string_view value);

  private:
    std::string raw_;
    std::string startLine_;
    bool response_ = false;
    std::optional<std::string> method_;
    std::optional<std::string> requestUri_;
    int statusCode_ = -1;
    std::string reasonPhrase_;
    std::optional<std::string> body_;
    std::vector<HeaderField> headers_;

    // First-use caches; the outer optional says whether the field was computed.
    mutable std::optional<std::optional<std::string>> callId_;
    mutable std::optional<std::optional<std::string>> fromUri_;
    mutable std::optional<std::optional<std::string>> toUri_;
    mutable std::optional<std::optional<std::string>> fromTag_;
    mutable std::optional<std::optional<std::string>> toTag_;
    mutable std::optional<std::optional<std::string>> branch_;
    mutable std::optional<int> cseqNumber_;
    mutable std::optional<std::shared_ptr<const SdpDescription>> sdp_;
    mutable std::optional<DialogKey> dialogKey_;
    mutable std::shared_ptr<const TransactionKey> transactionKey_;
};

// True when the payload, read as text up to its first zero byte, contains "SIP/2.0".
bool containsSip(const uint8_t* payload, size_t length);

}  // namespace varlowe
