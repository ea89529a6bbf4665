#include "dialog_key.h"

#include "sip_message.h"
#include "transaction_key.h"

namespace varlowe {

namespace {
bool compatibleTags(const std::string& a, const std::string& b) {
    return a == b || a.empty() != b.empty();
}
std::string withTag(const std::string& uri, const std::string& tag) {
    return tag.empty() ? uri : uri + ";tag=" + tag;
}
}  // namespace

DialogKey DialogKey::of(const SipMessage& message) {
    DialogKey key;
    key.callId = message.callId().value_or("");
    key.toUri = message.toUri().value_or("");
    key.toTag = message.toTag().value_or("");
    key.fromUri = message.fromUri().value_or("");
    key.fromTag = message.fromTag().value_or("");
    return key;
}

std::string DialogKey::text() const {
    return "callId=" + callId + " to=" + withTag(toUri, toTag) +
           " from=" + withTag(fromUri, fromTag);
}

bool DialogKey::sessionMatches(const DialogKey& other) const {
    if (callId != other.callId) {
        return false;
    }
    if (fromUri == other.fromUri && toUri == other.toUri && fromTag == other.fromTag &&
        compatibleTags(toTag, other.toTag)) {
        return true;
    }
    return other.fromUri == toUri && other.toUri == fromUri &&
           compatibleTags(other.toTag, fromTag) && compatibleTags(other.fromTag, toTag);
}

TransactionKey TransactionKey::of(const SipMessage& message) {
    TransactionKey key;
    key.dialog = DialogKey::of(message);
    key.cseq = message.cseqNumber();
    key.branch = message.branch().value_or("");
    return key;
}

std::string TransactionKey::text() const {
    return dialog.text() + " cseq=" + std::to_string(cseq);
}

}  // namespace varlowe
