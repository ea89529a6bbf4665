#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dialog_key.h"

namespace varlowe {

// A request with its responses: the session plus CSeq number (-1 without CSeq) and Via branch;
// with an RFC 3261 branch, the Call-ID, CSeq number and method and the branch. Its seven texts
// share one buffer: a registry keeps one per announced session.
struct TransactionKey {
    int32_t cseq = -1;

    static TransactionKey of(const SipMessage& message);
    static TransactionKey of(const SipHeadline& message);

    // The session's parts, as views into the key.
    DialogView dialog() const {
        return DialogView{part(kCallId), part(kToUri), part(kToTag), part(kFromUri),
                          part(kFromTag)};
    }
    std::string_view callId() const { return part(kCallId); }
    std::string_view branch() const { return part(kBranch); }
    std::string_view cseqMethod() const { return part(kCseqMethod); }

    // The dialog text, then " cseq=" and the number.
    std::string text() const;
    // The same texts and number.
    bool operator==(const TransactionKey& other) const {
        return cseq == other.cseq && ends_ == other.ends_ && texts_ == other.texts_;
    }

    int32_t cseqNumber() const { return cseq; }
    bool sameSession(const TransactionKey& other) const {
        return sessionsMatch(dialog(), other.dialog());
    }
    bool transactionMatches(const TransactionKey& other) const {
        return transactionsMatch(*this, other);
    }

  private:
    // The parts of either form of message, read the same way.
    template <typename Message>
    static TransactionKey transactionOf(const Message& message);
    static TransactionKey fromParts(int32_t cseq, const DialogView& dialog, std::string_view branch,
                                    std::string_view cseqMethod);
    enum Part { kCallId, kToUri, kToTag, kFromUri, kFromTag, kBranch, kCseqMethod, kParts };
    std::string_view part(Part p) const {
        const uint32_t begin = p == 0 ? 0 : ends_[p - 1];
        return std::string_view(texts_).substr(begin, ends_[p] - begin);
    }
    std::string texts_;                    // the parts one after another
    std::array<uint32_t, kParts> ends_{};  // where each part ends in texts_
};

}  // namespace varlowe
