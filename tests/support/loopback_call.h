#pragma once

#include <cstdint>
#include <string>

#include <unistd.h>

// Recording on lo needs the right to capture: tests that record skip without it.
#define VARLOWE_REQUIRE_CAPTURE_RIGHTS()                                               \
    if (geteuid() != 0) {                                                              \
        GTEST_SKIP() << "recording on lo needs root (CI runs as root); not root here"; \
    }

namespace varlowe::testsupport {

// What a call sent over 127.0.0.1 looked like, for checking a recording of it.
struct LoopbackCall {
    std::string callId;
    size_t inviteSize = 0;  // bytes of the INVITE's UDP payload (longer than 1,000)
    uint16_t callerRtpPort = 0;
    uint16_t calleeRtpPort = 0;
    int rtpPackets = 0;  // sent each way
    int datagrams = 0;   // all datagrams sent
};

// Sends a short SIP call over UDP between sockets bound on 127.0.0.1: INVITE with SDP, 200 OK
// with SDP, ACK, `rtpPackets` RTP packets each way to the ports of the SDP, BYE and its 200 OK.
// Every datagram is received, so the loopback interface sees no port-unreachable replies.
LoopbackCall sendLoopbackCall(int rtpPackets, const std::string& callId = "live-call-1");

// One UDP datagram of `size` bytes between two sockets on 127.0.0.1.
void sendLoopbackDatagram(size_t size);

}  // namespace varlowe::testsupport
