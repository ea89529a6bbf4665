#include "dialog_key.h"

#include "sip_message.h"
#include "transaction_key.h"

namespace varlowe {

namespace {
std::string withTag(const std::string& uri, const std::string& tag) {
    return tag.empty() ? uri : uri + ";tag=" + tag;
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
    key.dialog = DialogKey::of(message);
    key.cseq = message.cseqNumber();
    key.branch = message.branch().value_or("");
    key.cseqMethod = message.cseqMethod();
    return key;
}

std::string TransactionKey::text() const {
    return dialog.text() + " cseq=" + std::to_string(cseq);
}

}  // namespace varlowe
