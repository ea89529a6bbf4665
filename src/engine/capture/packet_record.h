#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packet_time.h"

namespace varlowe {

struct FrameInfo;

enum class TransportKind : int { Udp = 0, Tcp = 1, Other = 2 };

// The numbers of an accepted packet, shared by the forms a packet is held in.
struct PacketNumbers {
    // As the capture file has them: unsigned, so times after January 2038 stay positive.
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    TransportKind transport = TransportKind::Other;
    uint32_t number = 0;
    uint64_t fileOffset = 0;
    uint32_t headerOverhead = 0;
    uint32_t payloadLength = 0;

    PacketTime time() const { return PacketTime{seconds, microseconds}; }
};

// One accepted packet in the form the analysis and the user interface share. A value type:
// copies are deep, so every holder owns its texts and payload.
struct PacketRecord : PacketNumbers {
    std::string sourceAddress;  // dotted quad
    std::string sourcePort;     // decimal
    std::string destinationAddress;
    std::string destinationPort;
    // The payload and one terminating zero byte; empty when the payload length is 0.
    std::vector<uint8_t> payload;

    static PacketRecord fromFrame(const FrameInfo& frame);
    // The same into an existing record, reusing its storage. Without texts the address and
    // port texts are left as they are (the caller knows they are unchanged).
    void assignFrom(const FrameInfo& frame, bool withTexts = true);

    const uint8_t* payloadData() const { return payload.empty() ? nullptr : payload.data(); }
    // The payload as zero-terminated text ("" when there is none).
    const char* payloadText() const {
        return payload.empty() ? "" : reinterpret_cast<const char*>(payload.data());
    }
};

const char* transportName(TransportKind kind);

}  // namespace varlowe
