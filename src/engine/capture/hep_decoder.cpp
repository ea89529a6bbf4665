#include "hep_decoder.h"

#include <cstring>

#include "byte_order.h"

namespace varlowe {

namespace {

constexpr uint8_t kFamilyInet = 2;
constexpr uint8_t kFamilyInet6 = 10;
constexpr size_t kChunkHeader = 6;

// HEP3 chunk types of the generic vendor (0).
enum ChunkType : uint16_t {
    kChunkFamily = 1,
    kChunkProtocol = 2,
    kChunkSource4 = 3,
    kChunkDestination4 = 4,
    kChunkSource6 = 5,
    kChunkDestination6 = 6,
    kChunkSourcePort = 7,
    kChunkDestinationPort = 8,
    kChunkSeconds = 9,
    kChunkMicroseconds = 10,
    kChunkPayload = 15,
    kChunkCompressedPayload = 16,
};

HepOutcome damaged(std::string& problem, const char* why) {
    problem = why;
    return HepOutcome::Damaged;
}

HepOutcome decodeVersion3(const uint8_t* data, size_t length, HepPacket& packet,
                          std::string& problem) {
    if (length < 6) {
        return damaged(problem, "HEP3 header cut short");
    }
    size_t total = readBigEndian16(data + 4);
    if (total < 6 || total > length) {
        return damaged(problem, "HEP3 length runs past the datagram");
    }
    packet.version = 3;
    bool family = false, source = false, destination = false, ports = false, compressed = false;
    for (size_t at = 6; at < total;) {
        if (total - at < kChunkHeader) {
            return damaged(problem, "HEP3 chunk header cut short");
        }
        const uint16_t vendor = readBigEndian16(data + at);
        const uint16_t type = readBigEndian16(data + at + 2);
        const size_t chunkLength = readBigEndian16(data + at + 4);
        if (chunkLength < kChunkHeader || chunkLength > total - at) {
            return damaged(problem, "HEP3 chunk runs past the datagram");
        }
        const uint8_t* value = data + at + kChunkHeader;
        const size_t size = chunkLength - kChunkHeader;
        at += chunkLength;
        if (vendor != 0) {
            continue;  // a vendor's own chunk
        }
        switch (type) {
            case kChunkFamily:
                if (size >= 1) {
                    packet.family = value[0];
                    family = true;
                }
                break;
            case kChunkProtocol:
                if (size >= 1) {
                    packet.protocol = value[0];
                }
                break;
            case kChunkSource4:
            case kChunkDestination4:
            case kChunkSource6:
            case kChunkDestination6: {
                const bool six = type == kChunkSource6 || type == kChunkDestination6;
                if (size != (six ? 16u : 4u)) {
                    return damaged(problem, "HEP3 address chunk of the wrong length");
                }
                const bool isSource = type == kChunkSource4 || type == kChunkSource6;
                std::memcpy(isSource ? packet.source.data() : packet.destination.data(), value,
                            size);
                (isSource ? source : destination) = true;
                break;
            }
            case kChunkSourcePort:
            case kChunkDestinationPort:
                if (size != 2) {
                    return damaged(problem, "HEP3 port chunk of the wrong length");
                }
                (type == kChunkSourcePort ? packet.sourcePort : packet.destinationPort) =
                    readBigEndian16(value);
                ports = true;
                break;
            case kChunkSeconds:
            case kChunkMicroseconds:
                if (size != 4) {
                    return damaged(problem, "HEP3 time chunk of the wrong length");
                }
                (type == kChunkSeconds ? packet.seconds : packet.microseconds) =
                    readBigEndian32(value);
                packet.hasTime = packet.hasTime || type == kChunkSeconds;
                break;
            case kChunkPayload:
                packet.payload = value;
                packet.payloadLength = size;
                break;
            case kChunkCompressedPayload:
                compressed = true;
                break;
            default:
                break;
        }
    }
    if (packet.payload == nullptr) {
        return damaged(problem, compressed ? "HEP3 compressed payloads are not read"
                                           : "HEP3 packet without a payload chunk");
    }
    if (!family || !source || !destination || !ports) {
        return damaged(problem, "HEP3 packet without its addresses and ports");
    }
    if (packet.microseconds >= 1000000) {
        packet.microseconds = 999999;
    }
    return HepOutcome::Decoded;
}

// Versions 1 and 2: version, header length, family, protocol, the ports, the addresses; then
// in version 2 the time (seconds, microseconds in the sender's order, a capture id, padding
// to twelve bytes).
HepOutcome decodeVersion2(const uint8_t* data, size_t length, HepPacket& packet,
                          std::string& problem) {
    const uint8_t version = data[0];
    const uint8_t headerLength = data[1];
    const uint8_t family = data[2];
    const size_t addressSize = family == kFamilyInet ? 4 : 16;
    if (headerLength != 8 + 2 * addressSize) {
        return HepOutcome::NotHep;
    }
    const size_t timeSize = version == 2 ? 12 : 0;
    if (length < headerLength + timeSize) {
        return damaged(problem, "HEP header cut short");
    }
    packet.version = version;
    packet.family = family;
    packet.protocol = data[3];
    packet.sourcePort = readBigEndian16(data + 4);
    packet.destinationPort = readBigEndian16(data + 6);
    std::memcpy(packet.source.data(), data + 8, addressSize);
    std::memcpy(packet.destination.data(), data + 8 + addressSize, addressSize);
    if (version == 2) {
        packet.hasTime = true;
        packet.seconds = readLittleEndian32(data + headerLength);
        packet.microseconds = readLittleEndian32(data + headerLength + 4);
        if (packet.microseconds >= 1000000) {
            // Written in the other byte order.
            packet.seconds = swapBytes32(packet.seconds);
            packet.microseconds = swapBytes32(packet.microseconds);
        }
        if (packet.microseconds >= 1000000) {
            return damaged(problem, "HEP2 time out of range");
        }
    }
    packet.payload = data + headerLength + timeSize;
    packet.payloadLength = length - headerLength - timeSize;
    return HepOutcome::Decoded;
}

}  // namespace

HepOutcome decodeHep(const uint8_t* data, size_t length, HepPacket& packet, std::string& problem) {
    packet = HepPacket();
    problem.clear();
    if (data == nullptr || length < 4) {
        return HepOutcome::NotHep;
    }
    if (std::memcmp(data, "HEP3", 4) == 0) {
        return decodeVersion3(data, length, packet, problem);
    }
    if ((data[0] == 1 || data[0] == 2) && (data[2] == kFamilyInet || data[2] == kFamilyInet6) &&
        (data[3] == 17 || data[3] == 6)) {
        return decodeVersion2(data, length, packet, problem);
    }
    return HepOutcome::NotHep;
}

}  // namespace varlowe
