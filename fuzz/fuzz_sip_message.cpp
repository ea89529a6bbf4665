// SIP parsing with every extraction rule, and SDP parsing.
#include <string>

#include "engine/sip/packet_classification.h"
#include "engine/sip/sip_message.h"
#include "fuzz_support.h"

using namespace varlowe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::silenceDiagnostics();
    PacketClass kind = classifyPacket(data, size, true, true);
    if (kind.sipStart > size) {
        __builtin_trap();
    }
    // Parse from a copy of exactly `size` bytes so that any read past it is caught.
    std::string text(reinterpret_cast<const char*>(data) + kind.sipStart, size - kind.sipStart);
    SipMessage message = SipMessage::parse(text.data(), text.size());
    const std::string payload(reinterpret_cast<const char*>(data), size);
    SipMessage inPayload =
        SipMessage::parseInPayload(payload.data(), payload.size(), kind.sipStart);
    if (inPayload.rawText() != message.rawText() || inPayload.payloadText().size() > size ||
        inPayload.headers().size() != message.headers().size()) {
        __builtin_trap();
    }
    size_t total = message.startLine().size() + message.callId().value_or("").size() +
                   message.fromUri().value_or("").size() + message.toUri().value_or("").size() +
                   message.fromTag().value_or("").size() + message.toTag().value_or("").size() +
                   message.branch().value_or("").size() + message.cseqMethod().size() +
                   message.transactionMethod().size() + message.reasonPhrase().size();
    for (const HeaderField& field : message.headers()) {
        total += field.name.size() + field.value.size();
        if (!message.header(field.name)) {
            __builtin_trap();
        }
    }
    if (message.body() && message.body()->size() > text.size()) {
        __builtin_trap();
    }
    // SDP parsing over the whole text, and through the message when it carries SDP.
    SdpDescription direct(text);
    total += direct.audioAddress().value_or("").size() + direct.video().formats.size();
    if (std::unique_ptr<const SdpDescription> sdp = message.sdp()) {
        total += sdp->audio().port.size();
        (void)sdp->isMediaAddress(direct.origin()[5]);
    }
    (void)message.cseqNumber();
    (void)message.carriesSdp();
    (void)message.statusCode();
    return total > size * 64 + 4096 ? 1 : 0;
}
