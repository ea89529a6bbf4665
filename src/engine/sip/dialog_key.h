#pragma once

#include <string>

namespace varlowe {

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
    // "callId=... to=... from=...", each party its URI, then ";tag=" and the tag if it has one.
    std::string text() const;
    // Same Call-ID, and the same parties in either direction with compatible tags (equal, or
    // exactly one of them empty, for the To side in the same direction and both in the other).
    bool sessionMatches(const DialogKey& other) const;
};

}  // namespace varlowe
