#pragma once

#include <string>

#include "capture_builder.h"
#include "engine/capture/byte_order.h"
#include "engine/capture/packet_record.h"
#include "engine/media/rtp_stream_registry.h"

namespace varlowe::testsupport {

struct RtpFields {
    uint8_t payloadType = 0;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0x11223344;
    size_t payloadSize = 160;
    int csrcCount = 0;
    int extensionWords = -1;  // a header extension of that many words when >= 0
    uint8_t fill = 0xd5;
};

inline Bytes rtpPacket(const RtpFields& f) {
    Bytes out;
    out.push_back(
        static_cast<uint8_t>(0x80 | (f.extensionWords >= 0 ? 0x10 : 0) | (f.csrcCount & 0x0f)));
    out.push_back(f.payloadType & 0x7f);
    auto put16 = [&out](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    };
    auto put32 = [&put16](uint32_t v) {
        put16(v >> 16);
        put16(v & 0xffff);
    };
    put16(f.sequence);
    put32(f.timestamp);
    put32(f.ssrc);
    for (int i = 0; i < f.csrcCount; ++i) put32(0xc0000000u + static_cast<uint32_t>(i));
    if (f.extensionWords >= 0) {
        put16(0xbede);
        put16(static_cast<uint32_t>(f.extensionWords));
        for (int i = 0; i < f.extensionWords; ++i) put32(0xeeeeeeee);
    }
    out.insert(out.end(), f.payloadSize, f.fill);
    return out;
}

// A sender report of the SSRC followed by a source description with its CNAME.
inline Bytes rtcpSenderReport(uint32_t ssrc, const std::string& cname) {
    Bytes out = {0x80, 200, 0, 6};
    auto put32 = [&out](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(v >> shift));
    };
    put32(ssrc);
    for (int i = 0; i < 5; ++i) put32(static_cast<uint32_t>(i + 1));
    // SSRC, one CNAME item, at least one terminating zero, padded to 32 bits.
    size_t body = (4 + 2 + cname.size() + 1 + 3) / 4 * 4;
    out.push_back(0x81);
    out.push_back(202);
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(body / 4));
    put32(ssrc);
    out.push_back(1);
    out.push_back(static_cast<uint8_t>(cname.size()));
    out.insert(out.end(), cname.begin(), cname.end());
    out.resize(out.size() + (body - (4 + 2 + cname.size())), 0);
    return out;
}

inline PacketRecord udpRecord(const std::string& source, uint16_t sourcePort,
                              const std::string& destination, uint16_t destinationPort,
                              const Bytes& payload, uint32_t seconds = 0, uint32_t microseconds = 0,
                              uint32_t number = 1) {
    PacketRecord record;
    record.seconds = seconds;
    record.microseconds = microseconds;
    record.transport = TransportKind::Udp;
    record.number = number;
    record.sourceAddress = source;
    record.sourcePort = std::to_string(sourcePort);
    record.destinationAddress = destination;
    record.destinationPort = std::to_string(destinationPort);
    record.headerOverhead = 42;
    record.payloadLength = static_cast<uint32_t>(payload.size());
    if (!payload.empty()) {
        record.payload = payload;
        record.payload.push_back(0);
    }
    return record;
}

// An INVITE (or another request/response start line) of call "call-1" carrying the body.
inline std::string sipWithSdp(const std::string& startLine, const std::string& cseq,
                              const std::string& branch, const std::string& sdp,
                              const std::string& toTag = "") {
    std::string text = startLine + "\r\nVia: SIP/2.0/UDP 10.0.0.1;branch=" + branch +
                       "\r\nFrom: <sip:a@h>;tag=a\r\nTo: <sip:b@h>" +
                       (toTag.empty() ? "" : ";tag=" + toTag) +
                       "\r\nCall-ID: call-1\r\nCSeq: " + cseq + "\r\n";
    if (!sdp.empty()) {
        text += "Content-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) +
                "\r\n\r\n" + sdp;
    } else {
        text += "Content-Length: 0\r\n\r\n";
    }
    return text;
}

inline std::string audioSdp(const std::string& address, int port, const std::string& formats,
                            const std::string& extra = "") {
    return "v=0\r\no=- 1 1 IN IP4 " + address + "\r\ns=-\r\nc=IN IP4 " + address +
           "\r\nt=0 0\r\nm=audio " + std::to_string(port) + " RTP/AVP " + formats + "\r\n" + extra;
}

// A record offered to the registry as the analysis pass offers a packet; a record whose
// destination no packet can have finds no stream.
inline RtpStream* offer(RtpStreamRegistry& registry, const PacketRecord& record, uint64_t offset,
                        bool includeRtcp) {
    std::optional<MediaPacket> packet = MediaPacket::of(record);
    return packet ? registry.handleMediaPacket(*packet, offset, includeRtcp) : nullptr;
}
inline StreamMatch matchOf(const PacketRecord& record, const RtpStream& stream, bool includeRtcp) {
    std::optional<MediaPacket> packet = MediaPacket::of(record);
    return packet ? RtpStreamRegistry::matchStream(*packet, stream, includeRtcp)
                  : StreamMatch::None;
}

}  // namespace varlowe::testsupport
