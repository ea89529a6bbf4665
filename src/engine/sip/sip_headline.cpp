#include "sip_headline.h"

#include "sip_message.h"

namespace varlowe {

namespace {
uint32_t internOptional(InternedTexts& table, std::optional<std::string_view> text) {
    return text ? table.intern(*text) : InternedTexts::kNone;
}
}  // namespace

SipHeadline SipHeadline::of(const SipMessage& message, SipTexts& texts) {
    SipHeadline headline;
    headline.texts_ = &texts;
    const std::string_view line = message.startLine();
    const std::string_view kept = texts.startLines.keep(line);
    headline.startLine_ = kept.empty() ? "" : kept.data();
    headline.startLength_ = static_cast<uint32_t>(kept.size());
    headline.payloadStart_ =
        static_cast<uint32_t>(message.rawText().data() - message.payloadText().data());
    // The parts are runs of the message's start line: their offsets hold in the copy.
    auto partIn = [&line](std::optional<std::string_view> part) {
        if (!part) {
            return Part{};
        }
        if (part->empty() || part->data() < line.data() ||
            part->data() + part->size() > line.data() + line.size()) {
            return Part{0, 0};
        }
        return Part{static_cast<uint32_t>(part->data() - line.data()),
                    static_cast<uint32_t>(part->size())};
    };
    headline.response_ = message.isResponse();
    headline.statusCode_ = message.statusCode();
    headline.method_ = partIn(message.method());
    headline.requestUri_ = partIn(message.requestUri());
    headline.reasonPhrase_ = partIn(message.reasonPhrase());
    headline.callId_ = internOptional(texts.callIds, message.callId());
    headline.fromUri_ = internOptional(texts.uris, message.fromUri());
    headline.toUri_ = internOptional(texts.uris, message.toUri());
    headline.fromTag_ = internOptional(texts.tags, message.fromTag());
    headline.toTag_ = internOptional(texts.tags, message.toTag());
    headline.branch_ = internOptional(texts.branches, message.branch());
    const std::string_view cseqMethod = message.cseqMethod();
    headline.cseqMethod_ =
        cseqMethod.empty() ? InternedTexts::kNone : texts.methods.intern(cseqMethod);
    // Mostly the CSeq method itself, which is then not looked up again.
    const std::string_view method = message.transactionMethod();
    headline.transactionMethod_ = method == cseqMethod ? headline.cseqMethod_
                                  : method.empty()     ? InternedTexts::kNone
                                                       : texts.methods.intern(method);
    headline.cseqNumber_ = message.cseqNumber();
    if (!headline.response_) {
        headline.agent_ = internOptional(texts.agents, message.header("User-Agent"));
    }
    headline.carriesSdp_ = message.carriesSdp();
    return headline;
}

bool SipHeadline::sameSession(const SipHeadline& other) const {
    return sessionsMatch(DialogView::of(*this), DialogView::of(other));
}

bool SipHeadline::sameTransaction(const SipHeadline& other) const {
    return transactionsMatch(*this, other);
}

}  // namespace varlowe
