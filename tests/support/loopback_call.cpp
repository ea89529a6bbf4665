#include "loopback_call.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace varlowe::testsupport {

namespace {

class UdpSocket {
  public:
    UdpSocket() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        if (fd_ < 0)
            throw std::runtime_error("socket");
        sockaddr_in address = loopback(0);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("bind");
        }
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~UdpSocket() { close(fd_); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    uint16_t port() const { return port_; }

    void sendTo(const UdpSocket& peer, const std::string& data) const {
        sockaddr_in address = loopback(peer.port());
        sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&address),
               sizeof address);
        // Received at once, so nothing queues up; a short pause keeps the packet times apart.
        std::vector<char> buffer(65536);
        recv(peer.fd_, buffer.data(), buffer.size(), 0);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }

    static sockaddr_in loopback(uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

std::string sdp(uint16_t rtpPort, int paddingLines) {
    std::string text =
        "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
        "m=audio " +
        std::to_string(rtpPort) + " RTP/AVP 0 8\r\na=rtpmap:0 PCMU/8000\r\n";
    for (int i = 0; i < paddingLines; ++i) {
        text += "a=x-padding-" + std::to_string(i) + ":0123456789abcdef0123456789abcdef\r\n";
    }
    return text;
}

std::string message(const std::string& startLine, const std::string& callId, int cseq,
                    const std::string& method, const std::string& branch, uint16_t fromPort,
                    const std::string& toTag, const std::string& body) {
    std::string text = startLine + "\r\nVia: SIP/2.0/UDP 127.0.0.1:" + std::to_string(fromPort) +
                       ";branch=" + branch + "\r\nFrom: <sip:alice@127.0.0.1>;tag=a1\r\n" +
                       "To: <sip:bob@127.0.0.1>" + (toTag.empty() ? "" : ";tag=" + toTag) +
                       "\r\nCall-ID: " + callId + "\r\nCSeq: " + std::to_string(cseq) + " " +
                       method + "\r\nMax-Forwards: 70\r\n";
    if (body.empty())
        return text + "Content-Length: 0\r\n\r\n";
    return text +
           "Content-Type: application/sdp\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

std::string rtp(uint16_t sequence, uint32_t ssrc) {
    std::string packet(12 + 160, static_cast<char>(0xff));
    packet[0] = static_cast<char>(0x80);
    packet[1] = 0;
    packet[2] = static_cast<char>(sequence >> 8);
    packet[3] = static_cast<char>(sequence);
    const uint32_t timestamp = sequence * 160u;
    for (int i = 0; i < 4; ++i) {
        packet[4 + i] = static_cast<char>(timestamp >> (24 - 8 * i));
        packet[8 + i] = static_cast<char>(ssrc >> (24 - 8 * i));
    }
    return packet;
}

}  // namespace

LoopbackCall sendLoopbackCall(int rtpPackets, const std::string& callId) {
    UdpSocket callerSip, calleeSip, callerRtp, calleeRtp;
    LoopbackCall call;
    call.callId = callId;
    call.callerRtpPort = callerRtp.port();
    call.calleeRtpPort = calleeRtp.port();
    call.rtpPackets = rtpPackets;
    const uint16_t a = callerSip.port();
    const std::string invite = message("INVITE sip:bob@127.0.0.1 SIP/2.0", callId, 1, "INVITE",
                                       "z9hG4bK-live-1", a, "", sdp(callerRtp.port(), 20));
    call.inviteSize = invite.size();
    callerSip.sendTo(calleeSip, invite);
    calleeSip.sendTo(callerSip, message("SIP/2.0 200 OK", callId, 1, "INVITE", "z9hG4bK-live-1", a,
                                        "b1", sdp(calleeRtp.port(), 0)));
    callerSip.sendTo(calleeSip, message("ACK sip:bob@127.0.0.1 SIP/2.0", callId, 1, "ACK",
                                        "z9hG4bK-live-2", a, "b1", ""));
    for (int i = 0; i < rtpPackets; ++i) {
        callerRtp.sendTo(calleeRtp, rtp(static_cast<uint16_t>(100 + i), 0x0a0a0a0a));
        calleeRtp.sendTo(callerRtp, rtp(static_cast<uint16_t>(500 + i), 0x0b0b0b0b));
    }
    callerSip.sendTo(calleeSip, message("BYE sip:bob@127.0.0.1 SIP/2.0", callId, 2, "BYE",
                                        "z9hG4bK-live-3", a, "b1", ""));
    calleeSip.sendTo(callerSip,
                     message("SIP/2.0 200 OK", callId, 2, "BYE", "z9hG4bK-live-3", a, "b1", ""));
    call.datagrams = 5 + 2 * rtpPackets;
    return call;
}

void sendLoopbackDatagram(size_t size) {
    UdpSocket sender, receiver;
    sender.sendTo(receiver, std::string(size, 'x'));
}

}  // namespace varlowe::testsupport
