#pragma once

#include <cstdint>
#include <string>

#include "dialog_key.h"

namespace varlowe {

// A request with its responses: the session plus CSeq number (-1 without CSeq) and Via branch.
struct TransactionKey {
    DialogKey dialog;
    int32_t cseq = -1;
    std::string branch;

    static TransactionKey of(const SipMessage& message);
    // The dialog text, then " cseq=" and the number.
    std::string text() const;
    bool transactionMatches(const TransactionKey& other) const {
        return cseq == other.cseq && dialog.sessionMatches(other.dialog) && branch == other.branch;
    }
};

}  // namespace varlowe
