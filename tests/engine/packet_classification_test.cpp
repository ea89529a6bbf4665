#include <gtest/gtest.h>

#include <string>

#include "engine/sip/packet_classification.h"

using namespace varlowe;

namespace {
PacketClass classify(const std::string& payload, bool sip = true, bool sturn = true) {
    return classifyPacket(reinterpret_cast<const uint8_t*>(payload.data()), payload.size(), sip,
                          sturn);
}
const std::string kBinding = std::string("\x00\x01\x00\x00", 4) + std::string(16, '\x07');
}  // namespace

TEST(PacketClassification, SipByTextOrByTheEncapsulationSearch) {
    EXPECT_EQ(classify("OPTIONS sip:a SIP/2.0\r\n\r\n").kind, PacketKind::Sip);
    // Leading bytes without a zero byte: the text search succeeds and the message starts at 0.
    PacketClass plain = classify("\x01\x02INVITE sip:a SIP/2.0\r\n\r\n");
    EXPECT_EQ(plain.kind, PacketKind::Sip);
    EXPECT_EQ(plain.sipStart, 0u);
    // A zero byte hides the rest from the text search; the start line is found behind it.
    PacketClass wrapped = classify(std::string("\x01\x00\x02", 3) + "INVITE sip:a SIP/2.0\r\n\r\n");
    EXPECT_EQ(wrapped.kind, PacketKind::Sip);
    EXPECT_EQ(wrapped.sipStart, 3u);
}

TEST(PacketClassification, StunOnlyWhenNotSipAndSwitchedOn) {
    EXPECT_EQ(classify(kBinding).kind, PacketKind::Stun);
    EXPECT_EQ(classify(kBinding, true, false).kind, PacketKind::Other);
    EXPECT_EQ(classify("OPTIONS sip:a SIP/2.0\r\n\r\n", false, true).kind, PacketKind::Other);
    EXPECT_EQ(classify(std::string(172, '\x80')).kind, PacketKind::Other);
}
