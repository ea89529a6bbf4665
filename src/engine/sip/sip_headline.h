#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "dialog_key.h"
#include "engine/interned_texts.h"
#include "engine/text_arena.h"
#include "transaction_key.h"

namespace varlowe {

class SipMessage;

// The texts a capture's headlines refer to, each kept once: the tables the model's indexes
// are keyed by, plus the tags, user agents and start lines.
struct SipTexts {
    InternedTexts callIds, uris, tags, branches, methods, agents;
    TextArena startLines;
};

// What an item keeps of a SIP message for the ladder, the lists and the relations: the start
// line and the values that name its session and transaction, as numbers of the capture's
// texts. The whole message is read again when asked for (AnalysisModel::sipMessage). The
// accessors answer as SipMessage's do.
class SipHeadline {
  public:
    // The message's headline, its texts kept in (or found in) the tables, which must outlive
    // the headline and not move.
    static SipHeadline of(const SipMessage& message, SipTexts& texts);

    std::string_view startLine() const { return std::string_view(startLine_, startLength_); }
    bool isResponse() const { return response_; }
    std::optional<std::string_view> method() const { return part(method_); }
    std::optional<std::string_view> requestUri() const { return part(requestUri_); }
    int statusCode() const { return statusCode_; }
    std::string_view reasonPhrase() const { return part(reasonPhrase_).value_or(""); }

    std::optional<std::string_view> callId() const { return text(texts_->callIds, callId_); }
    std::optional<std::string_view> fromUri() const { return text(texts_->uris, fromUri_); }
    std::optional<std::string_view> toUri() const { return text(texts_->uris, toUri_); }
    std::optional<std::string_view> fromTag() const { return text(texts_->tags, fromTag_); }
    std::optional<std::string_view> toTag() const { return text(texts_->tags, toTag_); }
    std::optional<std::string_view> branch() const { return text(texts_->branches, branch_); }
    // The User-Agent of a request; none for a response.
    std::optional<std::string_view> userAgent() const { return text(texts_->agents, agent_); }
    int cseqNumber() const { return cseqNumber_; }
    std::string_view cseqMethod() const { return text(texts_->methods, cseqMethod_).value_or(""); }
    // The CSeq method of a response, the method of a request.
    std::string_view transactionMethod() const {
        return text(texts_->methods, transactionMethod_).value_or("");
    }
    bool carriesSdp() const { return carriesSdp_; }
    // Where the message starts in its packet's payload.
    uint32_t payloadStart() const { return payloadStart_; }

    DialogKey dialogKey() const { return DialogKey::of(*this); }
    TransactionKey transactionKey() const { return TransactionKey::of(*this); }
    bool sameSession(const SipHeadline& other) const;
    bool sameTransaction(const SipHeadline& other) const;

    // The numbers of the Call-ID, From URI, To URI and branch in their tables, or
    // InternedTexts::kNone: what the model's indexes are keyed by.
    uint32_t callIdNumber() const { return callId_; }
    uint32_t fromUriNumber() const { return fromUri_; }
    uint32_t toUriNumber() const { return toUri_; }
    uint32_t branchNumber() const { return branch_; }
    // The transaction method's number in the method table; kNone when it is empty.
    uint32_t transactionMethodNumber() const { return transactionMethod_; }

  private:
    // A run of the start line; a length of kAbsent marks a part the line does not have.
    struct Part {
        static constexpr uint32_t kAbsent = ~uint32_t{0};
        uint32_t offset = 0;
        uint32_t length = kAbsent;
    };
    std::optional<std::string_view> part(const Part& p) const {
        if (p.length == Part::kAbsent) {
            return std::nullopt;
        }
        return startLine().substr(p.offset, p.length);
    }
    static std::optional<std::string_view> text(const InternedTexts& table, uint32_t id) {
        if (id == InternedTexts::kNone) {
            return std::nullopt;
        }
        return table.text(id);
    }
    const SipTexts* texts_ = nullptr;
    const char* startLine_ = "";
    uint32_t startLength_ = 0;
    uint32_t payloadStart_ = 0;
    Part method_, requestUri_, reasonPhrase_;
    uint32_t callId_ = InternedTexts::kNone, fromUri_ = InternedTexts::kNone,
             toUri_ = InternedTexts::kNone, fromTag_ = InternedTexts::kNone,
             toTag_ = InternedTexts::kNone, branch_ = InternedTexts::kNone,
             cseqMethod_ = InternedTexts::kNone, transactionMethod_ = InternedTexts::kNone,
             agent_ = InternedTexts::kNone;
    int32_t cseqNumber_ = -1;
    int32_t statusCode_ = -1;
    bool response_ = false;
    bool carriesSdp_ = false;
};

}  // namespace varlowe
