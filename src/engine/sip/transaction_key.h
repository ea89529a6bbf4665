#pragma once

#include <cstdint>
#include <string>

#include "dialog_key.h"

namespace varlowe {

// A request with its responses: the session plus CSeq number (-1 without CSeq) and Via branch;
// with an RFC 3261 branch, the Call-ID, CSeq number and method and the branch.
struct TransactionKey {
    DialogKey dialog;
    int32_t cseq = -1;
    std::string branch;
    std::string cseqMethod;

    static TransactionKey of(const SipMessage& message);
    // The dialog text, then " cseq=" and the number.
    std::string text() const;
    bool transactionMatches(const TransactionKey& other) const {
        if (cseq != other.cseq || branch != other.branch) {
            return false;
        }
        if (hasMagicCookie(branch)) {
            return dialog.callId == other.dialog.callId &&
                   sameTransactionMethod(cseqMethod, other.cseqMethod);
        }
        return dialog.sessionMatches(other.dialog);
    }
};

}  // namespace varlowe
