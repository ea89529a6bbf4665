#include "dialog_key.h"

#include "sip_headline.h"
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

// "callId=... to=... from=..." of either form.
template <typename Key>
std::string dialogText(const Key& key) {
    return "callId=" + std::string(key.callId) + " to=" + withTag(key.toUri, key.toTag) +
           " from=" + withTag(key.fromUri, key.fromTag);
}

// The five parts of either form, read from either form of message the same way.
template <typename Key, typename Message>
Key dialogOf(const Message& message) {
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

DialogKey DialogKey::of(const SipHeadline& message) {
    return dialogOf<DialogKey>(message);
}

std::string DialogKey::text() const {
    return dialogText(*this);
}

bool DialogKey::sessionMatches(const DialogKey& other) const {
    return sessionsMatch(*this, other);
}

DialogView DialogView::of(const SipMessage& message) {
    return dialogOf<DialogView>(message);
}

DialogView DialogView::of(const SipHeadline& message) {
    return dialogOf<DialogView>(message);
}

TransactionKey TransactionKey::of(const SipMessage& message) {
    return transactionOf(message);
}

TransactionKey TransactionKey::of(const SipHeadline& message) {
    return transactionOf(message);
}

template <typename Message>
TransactionKey TransactionKey::transactionOf(const Message& message) {
    return fromParts(message.cseqNumber(), DialogView::of(message), message.branch().value_or(""),
                     message.cseqMethod());
}

TransactionKey TransactionKey::fromParts(int32_t cseq, const DialogView& d, std::string_view branch,
                                         std::string_view cseqMethod) {
    TransactionKey key;
    key.cseq = cseq;
    const std::string_view parts[kParts] = {d.callId,  d.toUri, d.toTag,   d.fromUri,
                                            d.fromTag, branch,  cseqMethod};
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
    return dialogText(dialog()) + " cseq=" + std::to_string(cseq);
}

}  // namespace varlowe
