#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varlowe {

class SipHeadline;
class SipMessage;

// The identity of a call (a session): Call-ID and both parties with their tags. Missing parts
// are empty texts.
struct DialogKey {
    std::string callId;
    std::string toUri;
    std::string toTag;
    std::string fromUri;
    std::string fromTag;

    static DialogKey of(const SipMessage& message);
    static DialogKey of(const SipHeadline& message);
    // "callId=... to=... from=...", each party its URI, then ";tag=" and the tag if it has one.
    std::string text() const;
    // Same Call-ID, and the same parties in either direction with compatible tags (equal, or
    // exactly one of them empty, for the To side in the same direction and both in the other).
    bool sessionMatches(const DialogKey& other) const;
};

// The parts of a dialog key as views into a message, for comparing without copies.
struct DialogView {
    std::string_view callId;
    std::string_view toUri;
    std::string_view toTag;
    std::string_view fromUri;
    std::string_view fromTag;

    static DialogView of(const SipMessage& message);
    static DialogView of(const SipHeadline& message);
};

// The rule of DialogKey::sessionMatches over either form.
template <typename KeyA, typename KeyB>
bool sessionsMatch(const KeyA& a, const KeyB& b) {
    auto compatibleTags = [](std::string_view x, std::string_view y) {
        return x == y || x.empty() != y.empty();
    };
    if (a.callId != b.callId) {
        return false;
    }
    if (a.fromUri == b.fromUri && a.toUri == b.toUri && a.fromTag == b.fromTag &&
        compatibleTags(a.toTag, b.toTag)) {
        return true;
    }
    return b.fromUri == a.toUri && b.toUri == a.fromUri && compatibleTags(b.toTag, a.fromTag) &&
           compatibleTags(b.fromTag, a.toTag);
}

// RFC 3261 17.2.3: a top Via branch that starts with the magic cookie names its transaction
// by itself, with the CSeq method (the ACK of a non-2xx answer belongs to its INVITE), whatever
// the To and From URIs say. Older branches leave the session rule in charge.
inline bool hasMagicCookie(std::string_view branch) {
    return branch.substr(0, 7) == "z9hG4bK";
}
inline bool sameTransactionMethod(std::string_view a, std::string_view b) {
    auto family = [](std::string_view method) {
        return method == "ACK" ? std::string_view("INVITE") : method;
    };
    return family(a) == family(b);
}

// A part a message may lack (empty then), or one a key always has.
inline std::string_view partText(std::optional<std::string_view> part) {
    return part.value_or("");
}
inline std::string_view partText(std::string_view part) {
    return part;
}

// Whether two transactions of one form (whole messages, headlines or keys) are one: the same
// CSeq number and branch, then the branch's own rule or the session's.
template <typename Transaction>
bool transactionsMatch(const Transaction& a, const Transaction& b) {
    const std::string_view ownBranch = partText(a.branch());
    if (a.cseqNumber() != b.cseqNumber() || ownBranch != partText(b.branch())) {
        return false;
    }
    if (hasMagicCookie(ownBranch)) {
        return partText(a.callId()) == partText(b.callId()) &&
               sameTransactionMethod(a.cseqMethod(), b.cseqMethod());
    }
    return a.sameSession(b);
}

}  // namespace varlowe
