// HEP datagrams read as the packets they carry, by the decoder alone and through the reader.
#include <gtest/gtest.h>

#include <string>

#include "engine/capture/frame_decoder.h"
#include "engine/capture/hep_decoder.h"
#include "engine/diagnostics.h"
#include "support/capture_builder.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

const std::string kOptions =
    "OPTIONS sip:b@h SIP/2.0\r\nCall-ID: hep\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";

HepInner inner(uint8_t protocol = 17) {
    HepInner fields;
    fields.source = ipv4(172, 16, 0, 5);
    fields.destination = ipv4(172, 16, 0, 9);
    fields.sourcePort = 5062;
    fields.destinationPort = 5060;
    fields.protocol = protocol;
    fields.seconds = 1700000123;
    fields.microseconds = 456789;
    return fields;
}

struct Decoded {
    FrameDecoder::Result result;
    FrameInfo frame;
    std::string payload() const {
        return std::string(reinterpret_cast<const char*>(frame.payloadData()), frame.payloadLength);
    }
};

Decoded decode(FrameDecoder& decoder, const Bytes& hep, uint16_t port = kHepPort) {
    const Bytes bytes = udpFrame(ipv4(10, 9, 9, 1), 40000, ipv4(10, 9, 9, 2), port, hep);
    Decoded out;
    out.frame.number = 3;
    out.frame.seconds = 1;
    out.result = decoder.decode(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                static_cast<uint32_t>(bytes.size()), 1, out.frame);
    return out;
}

}  // namespace

TEST(HepDecoder, VersionsTwoAndThreeGiveTheCarriedPacketWithItsAddressesPortsAndTime) {
    for (int version : {2, 3}) {
        for (uint8_t protocol : {uint8_t{17}, uint8_t{6}}) {
            SCOPED_TRACE(std::to_string(version) + "/" + std::to_string(protocol));
            FrameDecoder decoder;
            const Bytes hep = version == 3 ? hep3Payload(inner(protocol), bytesOf(kOptions))
                                           : hep2Payload(inner(protocol), bytesOf(kOptions));
            Decoded d = decode(decoder, hep);
            ASSERT_EQ(d.result, FrameDecoder::Result::Accepted);
            EXPECT_EQ(d.payload(), kOptions);
            EXPECT_EQ(d.frame.protocol, protocol);
            EXPECT_EQ(d.frame.sourceAddress, ipv4(172, 16, 0, 5));
            EXPECT_EQ(d.frame.destinationAddress, ipv4(172, 16, 0, 9));
            EXPECT_EQ(d.frame.sourcePort, 5062);
            EXPECT_EQ(d.frame.destinationPort, 5060);
            EXPECT_EQ(d.frame.seconds, 1700000123u);
            EXPECT_EQ(d.frame.microseconds, 456789u);
            EXPECT_EQ(d.frame.number, 3u);
            // As if captured on Ethernet where the probe captured it.
            EXPECT_EQ(d.frame.headerOverhead, protocol == 17 ? 42u : 54u);
            EXPECT_EQ(d.frame.unsequenced, protocol == 6);
        }
    }
    // Switched off, or on another port, it is the datagram it is.
    FrameDecoder off;
    off.setDecodeHep(false);
    const Bytes hep = hep3Payload(inner(), bytesOf(kOptions));
    EXPECT_EQ(decode(off, hep).payload(), std::string(hep.begin(), hep.end()));
    FrameDecoder elsewhere;
    EXPECT_EQ(decode(elsewhere, hep, 9061).frame.destinationPort, 9061);
}

TEST(HepDecoder, DamagedChunksAreSkippedWithADiagnosticAndNeverReadPast) {
    const Bytes good = hep3Payload(inner(), bytesOf(kOptions));
    struct Case {
        const char* name;
        Bytes bytes;
        const char* problem;
    };
    Bytes longTotal = good;
    longTotal[5] = static_cast<uint8_t>(longTotal[5] + 1);  // total length one past the end
    Bytes longChunk = good;
    longChunk[6 + 4] = 0xff;  // the first chunk's length
    Bytes shortChunk = good;
    shortChunk[6 + 5] = 3;
    shortChunk[6 + 4] = 0;
    Bytes noPayload(good.begin(), good.end() - static_cast<long>(kOptions.size() + 6));
    noPayload[4] = static_cast<uint8_t>(noPayload.size() >> 8);
    noPayload[5] = static_cast<uint8_t>(noPayload.size());
    const Case cases[] = {
        {"total length", longTotal, "HEP3 length runs past the datagram"},
        {"chunk length", longChunk, "HEP3 chunk runs past the datagram"},
        {"chunk shorter than its header", shortChunk, "HEP3 chunk runs past the datagram"},
        {"no payload chunk", noPayload, "HEP3 packet without a payload chunk"},
        {"cut header", Bytes{'H', 'E', 'P', '3', 0}, "HEP3 header cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HepPacket packet;
        std::string problem;
        EXPECT_EQ(decodeHep(c.bytes.data(), c.bytes.size(), packet, problem), HepOutcome::Damaged);
        EXPECT_EQ(problem, c.problem);
        FrameDecoder decoder;
        ScopedDiagnosticsCapture diagnostics;
        EXPECT_EQ(decode(decoder, c.bytes).result, FrameDecoder::Result::Dropped);
        EXPECT_EQ(diagnostics.text(), std::string("Packet 3: ") + c.problem + "; skipped\n");
        EXPECT_EQ(decoder.refusals(Refusal::DamagedHep), 1u);
    }
    // Every cut of a good datagram is refused or read, never read past (the sanitizers and
    // the fuzz target watch the reads).
    for (size_t cut = 0; cut < good.size(); ++cut) {
        HepPacket packet;
        std::string problem;
        const std::vector<uint8_t> head(good.begin(), good.begin() + static_cast<long>(cut));
        const HepOutcome outcome = decodeHep(head.data(), head.size(), packet, problem);
        EXPECT_NE(outcome, HepOutcome::Decoded) << cut;
    }
    // Not HEP at all: SIP or RTP on port 9060 is left as it is.
    HepPacket packet;
    std::string problem;
    const Bytes sip = bytesOf(kOptions);
    EXPECT_EQ(decodeHep(sip.data(), sip.size(), packet, problem), HepOutcome::NotHep);
}
