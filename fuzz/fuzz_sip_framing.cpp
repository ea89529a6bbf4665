// findSipStart, messageExtent and the TCP assembler over sequences of segments.
// Input: one flag byte (bit 0: encapsulation), then records of [direction byte][length byte]
// [segment bytes]; a UDP datagram when bit 1 of the direction byte is set.
#include <unistd.h>

#include <algorithm>

#include <map>
#include <string>
#include <vector>

#include "engine/sip/sip_framing.h"
#include "engine/sip/sip_stream_assembler.h"
#include "fuzz_support.h"
#include "support/capture_builder.h"

using namespace varlowe;
using namespace varlowe::testsupport;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::silenceDiagnostics();
    if (size == 0) {
        return 0;
    }
    const bool encapsulated = (data[0] & 1) != 0;
    {
        std::vector<uint8_t> copy(data + 1, data + size);
        std::optional<size_t> start = findSipStart(copy.data(), copy.size());
        if (start && *start >= copy.size()) {
            __builtin_trap();
        }
        MessageExtent extent = messageExtent(copy.data(), copy.size(), encapsulated);
        if (extent.complete && (extent.start > extent.end || extent.end > copy.size())) {
            __builtin_trap();
        }
    }

    CaptureBuilder builder;
    size_t p = 1;
    int32_t time = 0;
    // Each TCP direction's sequence number; two bits of the direction byte send a segment
    // back over bytes already sent (a retransmission or an overlap) or ahead of a gap.
    std::map<int, uint32_t> sequences;
    while (p + 2 <= size) {
        uint8_t direction = data[p];
        size_t length = std::min<size_t>(data[p + 1], size - p - 2);
        Bytes segment(data + p + 2, data + p + 2 + length);
        p += 2 + length;
        uint16_t client = static_cast<uint16_t>(40000 + (direction & 0x0c));
        bool reverse = (direction & 1) != 0;
        uint32_t a = ipv4(10, 0, 0, 1), b = ipv4(10, 0, 0, 2);
        uint32_t& next = sequences[direction & 0x0d];
        uint32_t sequence = next;
        if ((direction & 0x10) != 0) {
            sequence -= static_cast<uint32_t>(length / 2 + 1);
        } else if ((direction & 0x20) != 0) {
            sequence += static_cast<uint32_t>(length + 1);
        }
        const uint32_t end = sequence + static_cast<uint32_t>(length);
        if (static_cast<int32_t>(end - next) > 0) {
            next = end;
        }
        const uint8_t flags = (direction & 0xc0) == 0xc0 ? 0x02 : 0x18;  // now and then a SYN
        Bytes frame = (direction & 2) != 0 ? udpFrame(a, client, b, 5060, segment)
                      : reverse ? tcpFrame(b, 5060, a, client, segment, {}, sequence, flags)
                                : tcpFrame(a, client, b, 5060, segment, {}, sequence, flags);
        builder.add(frame, 0, time++);
    }
    static const std::string path =
        "/tmp/varlowe-fuzz-framing-" + std::to_string(getpid()) + ".pcap";
    builder.writeTo(path);
    SipStreamAssembler assembler;
    assembler.setIncludeEncapsulated(encapsulated);
    if (!assembler.open(path)) {
        __builtin_trap();
    }
    size_t emitted = 0;
    while (std::optional<PacketRecord> packet = assembler.nextPacket()) {
        if (packet->payloadLength > size) {
            __builtin_trap();  // no message is longer than all the bytes given
        }
        ++emitted;
    }
    return emitted > size ? 1 : 0;
}
