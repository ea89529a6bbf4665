#include "capture_generator.h"

#include <arpa/inet.h>

#include <cstdio>
#include <memory>
#include <queue>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/capture_builder.h"

namespace varlowe::bench {

using testsupport::Bytes;
using testsupport::bytesOf;
using testsupport::CaptureBuilder;

namespace {

constexpr int64_t kStartMicros = 1700000000ll * 1000000;
constexpr int64_t kRtpInterval = 20000;
constexpr int64_t kRtcpInterval = 5000000;

class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed * 0x9e3779b97f4a7c15ull + 1) {}
    uint64_t next() {  // splitmix64
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
    int64_t range(int64_t low, int64_t high) {
        return low + static_cast<int64_t>(next() % static_cast<uint64_t>(high - low + 1));
    }

  private:
    uint64_t state_;
};

std::string quad(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
           std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
}

struct Endpoint {
    uint32_t address;
    uint16_t sipPort;
    uint16_t rtpPort;
};

enum class Outcome { Answered, Busy, Rejected, Cancelled };

// Signalling steps: 0 INVITE, 1 100, 2 180, 3 200 with the answer, 4 ACK, 5 BYE, 6 its 200;
// a failed call: 7 its final failure (486 or 403), 8 the ACK of a failure, 9 CANCEL, 10 the
// CANCEL's 200, 11 487.
constexpr int kLastAnswered = 6;
constexpr int kLastFailed = 8;

struct Call {
    uint64_t id = 0;
    Outcome outcome = Outcome::Answered;
    int slot = 0;
    bool tcp = false;
    Endpoint caller{}, callee{};
    int64_t mediaStart = 0, mediaEnd = 0;
    std::string callId, fromTag, toTag;
    // Per direction: 0 caller to callee, 1 callee to caller.
    uint16_t sequence[2] = {0, 0};
    uint32_t timestamp[2] = {0, 0};
    uint32_t ssrc[2] = {0, 0};
    uint32_t sentPackets[2] = {0, 0};
    bool swapPending[2] = {false, false};
    uint32_t tcpSequence[2] = {1, 1};
};

enum class EventKind { Signal, Rtp, Rtcp };

struct Event {
    int64_t time;
    uint64_t order;  // keeps equal times in a fixed order
    EventKind kind;
    int slot;
    uint64_t call;  // events of a call that has ended are dropped
    int direction;
    int step;  // signalling step
    bool operator>(const Event& other) const {
        return time != other.time ? time > other.time : order > other.order;
    }
};

class Generator {
  public:
    Generator(const std::string& path, const GeneratorOptions& options)
        : options_(options), random_(options.seed), slots_(options.concurrentCalls) {
        file_ = std::fopen(path.c_str(), "wb");
        if (file_ == nullptr) {
            throw std::runtime_error("cannot write " + path);
        }
    }
    ~Generator() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }

    GeneratorResult run() {
        for (int slot = 0; slot < options_.concurrentCalls; ++slot) {
            startCall(slot, kStartMicros + random_.range(0, 3000000));
        }
        while (!queue_.empty() && result_.bytes + builder_.bytes().size() < options_.targetBytes) {
            Event event = queue_.top();
            queue_.pop();
            handle(event);
            if (builder_.bytes().size() >= (1u << 20)) {
                flush();
            }
        }
        flush();
        if (std::fclose(file_) != 0) {
            file_ = nullptr;
            throw std::runtime_error("write failed");
        }
        file_ = nullptr;
        return result_;
    }

  private:
    void schedule(int64_t time, EventKind kind, int slot, int direction, int step = 0) {
        uint64_t call = slots_[static_cast<size_t>(slot)].id;
        queue_.push(Event{time, order_++, kind, slot, call, direction, step});
    }

    void startCall(int slot, int64_t time) {
        Call& call = slots_[static_cast<size_t>(slot)];
        uint64_t id = ++result_.calls;
        call = Call{};
        call.id = id;
        call.slot = slot;
        call.tcp = random_.unit() < options_.tcpShare;
        uint32_t n = static_cast<uint32_t>(id % 60000);
        call.caller = {testsupport::ipv4(10, 1, static_cast<uint8_t>(slot / 250),
                                         static_cast<uint8_t>(slot % 250 + 1)),
                       static_cast<uint16_t>(call.tcp ? 40000 + n % 20000 : 5060),
                       static_cast<uint16_t>(10000 + 2 * (n % 20000))};
        call.callee = {testsupport::ipv4(10, 2, static_cast<uint8_t>(slot / 250),
                                         static_cast<uint8_t>(slot % 250 + 1)),
                       5060, static_cast<uint16_t>(50000 + 2 * (n % 7000))};
        call.callId = std::to_string(random_.next()) + "@bench.example";
        call.fromTag = std::to_string(random_.next() % 100000000);
        call.toTag = std::to_string(random_.next() % 100000000);
        for (int d = 0; d < 2; ++d) {
            call.sequence[d] = static_cast<uint16_t>(random_.next());
            call.timestamp[d] = static_cast<uint32_t>(random_.next());
            call.ssrc[d] = static_cast<uint32_t>(random_.next());
        }
        if (options_.outcomes) {
            const uint64_t tenth = id % 10;
            call.outcome = tenth == 3   ? Outcome::Busy
                           : tenth == 6 ? Outcome::Rejected
                           : tenth == 9 ? Outcome::Cancelled
                                        : Outcome::Answered;
        }
        int64_t answer = time + random_.range(200000, 3000000);
        if (call.outcome != Outcome::Answered) {
            schedule(time, EventKind::Signal, slot, 0, 0);         // INVITE
            schedule(time + 2000, EventKind::Signal, slot, 1, 1);  // 100 Trying
            if (call.outcome == Outcome::Cancelled) {
                schedule(time + 40000, EventKind::Signal, slot, 1, 2);    // 180 Ringing
                schedule(answer, EventKind::Signal, slot, 0, 9);          // CANCEL
                schedule(answer + 5000, EventKind::Signal, slot, 1, 10);  // 200 OK to CANCEL
                schedule(answer + 8000, EventKind::Signal, slot, 1, 11);  // 487
            } else {
                schedule(answer, EventKind::Signal, slot, 1, 7);  // 486 or 403
            }
            schedule(answer + 15000, EventKind::Signal, slot, 0, kLastFailed);  // its ACK
            return;
        }
        call.mediaStart = answer + 30000;
        call.mediaEnd = call.mediaStart + (options_.media ? random_.range(20, 90) * 1000000
                                                          : random_.range(500000, 3000000));
        schedule(time, EventKind::Signal, slot, 0, 0);                   // INVITE
        schedule(time + 2000, EventKind::Signal, slot, 1, 1);            // 100 Trying
        schedule(time + 40000, EventKind::Signal, slot, 1, 2);           // 180 Ringing
        schedule(answer, EventKind::Signal, slot, 1, 3);                 // 200 OK with answer
        schedule(answer + 15000, EventKind::Signal, slot, 0, 4);         // ACK
        schedule(call.mediaEnd + 10000, EventKind::Signal, slot, 0, 5);  // BYE
        schedule(call.mediaEnd + 25000, EventKind::Signal, slot, 1, 6);  // 200 OK to BYE
        for (int d = 0; d < 2 && options_.media; ++d) {
            schedule(call.mediaStart + d * 7000, EventKind::Rtp, slot, d);
            schedule(call.mediaStart + kRtcpInterval + d * 100000, EventKind::Rtcp, slot, d);
        }
    }

    void handle(const Event& event) {
        Call& call = slots_[static_cast<size_t>(event.slot)];
        if (event.call != call.id) {
            return;
        }
        switch (event.kind) {
            case EventKind::Signal:
                signal(call, event);
                if ((event.step == kLastAnswered || event.step == kLastFailed) &&
                    (options_.maxCalls == 0 || result_.calls < options_.maxCalls)) {
                    startCall(event.slot, event.time + random_.range(100000, 2000000));
                }
                break;
            case EventKind::Rtp:
                if (event.time < call.mediaEnd) {
                    rtp(call, event);
                    schedule(event.time + kRtpInterval + random_.range(-800, 800), EventKind::Rtp,
                             event.slot, event.direction);
                }
                break;
            case EventKind::Rtcp:
                if (event.time < call.mediaEnd) {
                    rtcp(call, event);
                    schedule(event.time + kRtcpInterval, EventKind::Rtcp, event.slot,
                             event.direction);
                }
                break;
        }
    }

    // The address as SIP and SDP write it; with IPv6 an IPv4 address a.b.c.d becomes
    // fd00::a.b:c.d (its 32 bits in the low two groups).
    std::string host(uint32_t address) const {
        if (!options_.ipv6) {
            return quad(address);
        }
        const testsupport::Ipv6Address bytes = ipv6Of(address);
        char text[INET6_ADDRSTRLEN];
        inet_ntop(AF_INET6, bytes.data(), text, sizeof text);
        return text;
    }
    static testsupport::Ipv6Address ipv6Of(uint32_t address) {
        testsupport::Ipv6Address bytes{};
        bytes[0] = 0xfd;
        for (int i = 0; i < 4; ++i) {
            bytes[12 + i] = static_cast<uint8_t>(address >> (24 - 8 * i));
        }
        return bytes;
    }
    // A host in a SIP URI or a Via: IPv6 in brackets.
    std::string uriHost(uint32_t address) const {
        return options_.ipv6 ? "[" + host(address) + "]" : host(address);
    }
    Bytes udp(uint32_t from, uint16_t fromPort, uint32_t to, uint16_t toPort,
              const Bytes& payload) const {
        if (!options_.ipv6) {
            return testsupport::udpFrame(from, fromPort, to, toPort, payload);
        }
        return testsupport::ethernetFrame(
            testsupport::ipv6Packet(ipv6Of(from), ipv6Of(to), 17,
                                    testsupport::udpDatagram(fromPort, toPort, payload)),
            0x86dd);
    }
    Bytes tcp(uint32_t from, uint16_t fromPort, uint32_t to, uint16_t toPort, const Bytes& payload,
              uint32_t sequence, uint8_t flags = 0x18) const {
        if (!options_.ipv6) {
            return testsupport::tcpFrame(from, fromPort, to, toPort, payload, {}, sequence, flags);
        }
        return testsupport::ethernetFrame(
            testsupport::ipv6Packet(
                ipv6Of(from), ipv6Of(to), 6,
                testsupport::tcpSegment(fromPort, toPort, payload, {}, sequence, flags)),
            0x86dd);
    }

    std::string sdp(const Call& call, const Endpoint& side) {
        std::string address = host(side.address);
        const char* family = options_.ipv6 ? " IN IP6 " : " IN IP4 ";
        return "v=0\r\no=- " + std::to_string(call.id) + " 1" + family + address +
               "\r\ns=bench\r\nc=" + std::string(family + 1) + address + "\r\nt=0 0\r\nm=audio " +
               std::to_string(side.rtpPort) +
               " RTP/AVP 8 0 101\r\na=rtpmap:8 PCMA/8000\r\na=rtpmap:0 PCMU/8000\r\n"
               "a=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-15\r\na=sendrecv\r\n";
    }

    void signal(Call& call, const Event& event) {
        static const char* const kStarts[] = {"INVITE",
                                              "SIP/2.0 100 Trying",
                                              "SIP/2.0 180 Ringing",
                                              "SIP/2.0 200 OK",
                                              "ACK",
                                              "BYE",
                                              "SIP/2.0 200 OK",
                                              nullptr,  // the failure, by the outcome
                                              "ACK",
                                              "CANCEL",
                                              "SIP/2.0 200 OK",
                                              "SIP/2.0 487 Request Terminated"};
        const int step = event.step;
        const bool request = step == 0 || step == 4 || step == 5 || step == 8 || step == 9;
        const Endpoint& from = event.direction == 0 ? call.caller : call.callee;
        const Endpoint& to = event.direction == 0 ? call.callee : call.caller;
        std::string transport = call.tcp ? "TCP" : "UDP";
        std::string method = step == 4 || step == 8    ? "ACK"
                             : step == 5 || step == 6  ? "BYE"
                             : step == 9 || step == 10 ? "CANCEL"
                                                       : "INVITE";
        int cseq = step == 5 || step == 6 ? 2 : 1;
        std::string ruri =
            "sip:" + std::to_string(2000 + call.slot) + "@" + uriHost(call.callee.address);
        // The INVITE's branch for its responses, the ACK of a failure and the CANCEL (RFC 3261
        // 17.1.1.3, 9.1); the 2xx's ACK and the BYE their own.
        std::string branch = "z9hG4bK-" + std::to_string(call.id) + "-" +
                             std::to_string(step <= 3 || step >= 7 ? 0 : step);
        const char* start = step == 7 ? (call.outcome == Outcome::Busy ? "SIP/2.0 486 Busy Here"
                                                                       : "SIP/2.0 403 Forbidden")
                                      : kStarts[step];
        std::string text = request ? std::string(start) + " " + ruri + " SIP/2.0\r\n"
                                   : std::string(start) + "\r\n";
        text += "Via: SIP/2.0/" + transport + " " + uriHost(call.caller.address) + ":" +
                std::to_string(call.caller.sipPort) + ";branch=" + branch + "\r\n";
        text += "Max-Forwards: 70\r\n";
        text += "From: <sip:" + std::to_string(1000 + call.slot) + "@" +
                uriHost(call.caller.address) + ">;tag=" + call.fromTag + "\r\n";
        // The CANCEL's To is its INVITE's, without the tag.
        const bool tagged = step >= 2 && step != 9;
        text += "To: <" + ruri + ">" + (tagged ? ";tag=" + call.toTag : "") + "\r\n";
        text += "Call-ID: " + call.callId + "\r\n";
        text += "CSeq: " + std::to_string(cseq) + " " + method + "\r\n";
        text +=
            "Contact: <sip:" + uriHost(from.address) + ":" + std::to_string(from.sipPort) + ">\r\n";
        text += "User-Agent: varlowe-bench\r\n";
        std::string body;
        if (step == 0) {
            body = sdp(call, call.caller);
        } else if (step == 3) {
            body = sdp(call, call.callee);
        }
        if (!body.empty()) {
            text += "Content-Type: application/sdp\r\n";
        }
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;

        if (!call.tcp) {
            emit(event.time,
                 udp(from.address, from.sipPort, to.address, to.sipPort, bytesOf(text)));
            return;
        }
        // Over TCP the INVITE goes out in two segments, as a full send buffer would split it.
        Bytes payload = bytesOf(text);
        std::vector<Bytes> segments;
        if (step == 0) {
            size_t cut = payload.size() / 2;
            segments.emplace_back(payload.begin(), payload.begin() + static_cast<long>(cut));
            segments.emplace_back(payload.begin() + static_cast<long>(cut), payload.end());
        } else {
            segments.push_back(payload);
        }
        int64_t time = event.time;
        if (step == 0) {
            // A new connection: SYN and SYN-ACK with sequence numbers of their own, so that a
            // later call from the same client port is a new byte stream, not a resend.
            for (int d = 0; d < 2; ++d) {
                const uint64_t mixed =
                    (call.id * 2 + static_cast<uint64_t>(d) + 1) * 0x9E3779B97F4A7C15ull;
                const uint32_t isn = static_cast<uint32_t>(mixed >> 32);
                const Endpoint& side = d == 0 ? call.caller : call.callee;
                const Endpoint& peer = d == 0 ? call.callee : call.caller;
                emit(time, tcp(side.address, side.sipPort, peer.address, peer.sipPort, Bytes{}, isn,
                               d == 0 ? 0x02 : 0x12));
                call.tcpSequence[d] = isn + 1;
                time += 20;
            }
        }
        for (const Bytes& segment : segments) {
            uint32_t& sequence = call.tcpSequence[event.direction];
            emit(time, tcp(from.address, from.sipPort, to.address, to.sipPort, segment, sequence));
            sequence += static_cast<uint32_t>(segment.size());
            time += 40;
        }
    }

    Bytes rtpPacket(Call& call, int direction, uint16_t sequence, uint32_t timestamp) {
        Bytes packet(12 + 160);
        packet[0] = 0x80;
        packet[1] = 8;  // PCMA
        packet[2] = static_cast<uint8_t>(sequence >> 8);
        packet[3] = static_cast<uint8_t>(sequence);
        for (int i = 0; i < 4; ++i) {
            packet[4 + i] = static_cast<uint8_t>(timestamp >> (24 - 8 * i));
            packet[8 + i] = static_cast<uint8_t>(call.ssrc[direction] >> (24 - 8 * i));
        }
        for (size_t i = 12; i < packet.size(); ++i) {
            packet[i] = static_cast<uint8_t>(0xd5 ^ (i * 7 + sequence));
        }
        return packet;
    }

    void rtp(Call& call, const Event& event) {
        const int d = event.direction;
        const Endpoint& from = d == 0 ? call.caller : call.callee;
        const Endpoint& to = d == 0 ? call.callee : call.caller;
        uint16_t sequence = call.sequence[d];
        uint32_t timestamp = call.timestamp[d];
        if (call.swapPending[d]) {
            // The packet held back last time goes out now, after its successor (which took
            // the next number).
            call.swapPending[d] = false;
            call.sequence[d] = static_cast<uint16_t>(call.sequence[d] + 2);
            call.timestamp[d] += 320;
        } else if (random_.unit() < options_.reorderRate) {
            sequence = static_cast<uint16_t>(sequence + 1);
            timestamp += 160;
            call.swapPending[d] = true;
        } else {
            call.sequence[d] = static_cast<uint16_t>(call.sequence[d] + 1);
            call.timestamp[d] += 160;
            if (random_.unit() < options_.lossRate) {
                return;
            }
        }
        ++call.sentPackets[d];
        emit(event.time, udp(from.address, from.rtpPort, to.address, to.rtpPort,
                             rtpPacket(call, d, sequence, timestamp)));
    }

    void rtcp(Call& call, const Event& event) {
        const int d = event.direction;
        const Endpoint& from = d == 0 ? call.caller : call.callee;
        const Endpoint& to = d == 0 ? call.callee : call.caller;
        Bytes packet;
        auto put32 = [&packet](uint32_t v) {
            for (int i = 0; i < 4; ++i) {
                packet.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
            }
        };
        uint64_t seconds = static_cast<uint64_t>(event.time / 1000000) + 2208988800ull;
        packet = {0x81, 200, 0, 12};  // SR with one report block, length 12 words
        put32(call.ssrc[d]);
        put32(static_cast<uint32_t>(seconds));
        put32(static_cast<uint32_t>((event.time % 1000000) * 4294));
        put32(call.timestamp[d]);
        put32(call.sentPackets[d]);
        put32(call.sentPackets[d] * 160);
        put32(call.ssrc[1 - d]);
        put32(0);  // fraction lost, cumulative lost
        put32(call.sequence[1 - d]);
        put32(static_cast<uint32_t>(random_.range(0, 40)));  // jitter
        put32(static_cast<uint32_t>(seconds << 16));
        put32(6554);
        std::string cname = "bench-" + std::to_string(call.id);
        Bytes sdes = {0x81, 202, 0, 0};
        for (int i = 0; i < 4; ++i) {
            sdes.push_back(static_cast<uint8_t>(call.ssrc[d] >> (24 - 8 * i)));
        }
        sdes.push_back(1);
        sdes.push_back(static_cast<uint8_t>(cname.size()));
        sdes.insert(sdes.end(), cname.begin(), cname.end());
        sdes.push_back(0);
        while (sdes.size() % 4 != 0) {
            sdes.push_back(0);
        }
        sdes[3] = static_cast<uint8_t>(sdes.size() / 4 - 1);
        packet.insert(packet.end(), sdes.begin(), sdes.end());
        emit(event.time, udp(from.address, static_cast<uint16_t>(from.rtpPort + 1), to.address,
                             static_cast<uint16_t>(to.rtpPort + 1), packet));
    }

    void emit(int64_t micros, const Bytes& frame) {
        builder_.add(frame, static_cast<int32_t>(micros / 1000000),
                     static_cast<int32_t>(micros % 1000000));
        ++result_.packets;
    }

    void flush() {
        Bytes chunk = builder_.takeBytes();
        if (!chunk.empty() && std::fwrite(chunk.data(), 1, chunk.size(), file_) != chunk.size()) {
            throw std::runtime_error("write failed");
        }
        result_.bytes += chunk.size();
    }

    GeneratorOptions options_;
    Random random_;
    std::vector<Call> slots_;
    std::priority_queue<Event, std::vector<Event>, std::greater<Event>> queue_;
    uint64_t order_ = 0;
    CaptureBuilder builder_;
    GeneratorResult result_;
    std::FILE* file_ = nullptr;
};

}  // namespace

GeneratorResult generateCapture(const std::string& path, const GeneratorOptions& options) {
    Generator generator(path, options);
    return generator.run();
}

}  // namespace varlowe::bench
