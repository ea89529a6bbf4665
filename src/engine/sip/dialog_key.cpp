#include "dialog_key.h"

#include "sip_message.h"
#include "transaction_key.h"

namespace varlowe {

namespace {
std::string withTag(std::string_view uri, std::string_view tag) {
    std::string out(uri);
    if (!tag.empty()) {
        out.append(";tag=").append(tag);
    }
    return out;
}

// The five parts of either form, read from the message the same way.
template <typename Key>
Key dialogOf(const SipMessage& message) {
    Key key;
    key.callId = message.callId().value_or("");
    key.toUri = message.toUri().value_or("");
    key.toTag = message.toTag().value_or("");
    key.fromUri = message.fromUri().value_or("");
    key.fromTag = message.fromTag().value_or("");
    return key;
}
}  // namespace

DialogKey DialogKey::of(const SipMessage& message) {
    return dialogOf<DialogKey>(message);
}

std::string DialogKey::text() const {
    return "callId=" + callId + " to=" + withTag(toUri, toTag) +
           " from=" + withTag(fromUri, fromTag);
}

bool DialogKey::sessionMatches(const DialogKey& other) const {
    return sessionsMatch(*this, other);
}

DialogView DialogView::of(const SipMessage& message) {
    return dialogOf<DialogView>(message);
}

TransactionKey TransactionKey::of(const SipMessage& message) {
    TransactionKey key;
    key.cseq = message.cseqNumber();
    const std::string_view parts[kParts] = {message.callId().value_or(""),
                                            message.toUri().value_or(""),
                                            message.toTag().value_or(""),
                                            message.fromUri().value_or(""),
                                            message.fromTag().value_or(""),
                                            message.branch().value_or(""),
                                            message.cseqMethod()};
    size_t size = 0;
    for (std::string_view part : parts) {
        size += part.size();
    }
    key.texts_.reserve(size);
    for (size_t p = 0; p < kParts; ++p) {
        key.texts_.append(parts[p]);
        key.ends_[p] = static_cast<uint32_t>(key.texts_.size());
    }
    return key;
}

std::string TransactionKey::text() const {
    const DialogView d = dialog();
    return "callId=" + std::string(d.callId) + " to=" + withTag(d.toUri, d.toTag) +
           " from=" + withTag(d.fromUri, d.fromTag) + " cseq=" + std::to_string(cseq);
}

}  // namespace varlowe
