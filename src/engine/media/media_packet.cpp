#include "media_packet.h"

#include <algorithm>

#include "engine/capture/ipv6_address.h"

namespace varlowe {

std::optional<uint64_t> destinationKey(const std::string& address, int32_t port) {
    if (port < 0 || port > 65535) {
        return std::nullopt;
    }
    if (std::optional<uint32_t> numeric = parseDottedQuad(address)) {
        return endpointKey(4, *numeric, static_cast<uint16_t>(port));
    }
    if (address.find(':') != std::string::npos) {
        if (std::optional<Ipv6Bytes> six = parseIpv6(address)) {
            return endpointKey(6, ipv6Number(*six), static_cast<uint16_t>(port));
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> parseDottedQuad(const std::string& text) {
    uint32_t address = 0;
    size_t position = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (position >= text.size() || text[position] != '.') {
                return std::nullopt;
            }
            ++position;
        }
        size_t start = position;
        uint32_t value = 0;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9' &&
               position - start < 3) {
            value = value * 10 + static_cast<uint32_t>(text[position] - '0');
            ++position;
        }
        size_t digits = position - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) {
            return std::nullopt;
        }
        address = (address << 8) | value;
    }
    if (position != text.size()) {
        return std::nullopt;
    }
    return address;
}

MediaPacket MediaPacket::of(const FrameInfo& frame) {
    MediaPacket packet;
    packet.family = frame.family;
    packet.destinationAddress = frame.destinationAddress;
    packet.destinationPort = frame.destinationPort;
    packet.payload = frame.payloadLength > 0 ? frame.payloadData() : nullptr;
    packet.length = frame.payloadLength;
    packet.time = PacketTime{frame.seconds, frame.microseconds};
    packet.headerOverhead = frame.headerOverhead;
    packet.number = frame.number;
    packet.fileOffset = frame.fileOffset;
    packet.frame = &frame;
    return packet;
}

std::optional<MediaPacket> MediaPacket::of(const PacketRecord& record) {
    std::optional<uint32_t> address = parseDottedQuad(record.destinationAddress);
    uint8_t family = 4;
    if (!address && record.destinationAddress.find(':') != std::string::npos) {
        if (std::optional<Ipv6Bytes> six = parseIpv6(record.destinationAddress)) {
            address = ipv6Number(*six);
            family = 6;
        }
    }
    const std::string& port = record.destinationPort;
    bool canonicalPort =
        !port.empty() && port.size() <= 5 && (port == "0" || port[0] != '0') &&
        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        std::stoul(port) <= 65535;
    if (!address || !canonicalPort) {
        return std::nullopt;
    }
    MediaPacket packet;
    packet.family = family;
    packet.destinationAddress = *address;
    packet.destinationPort = static_cast<uint16_t>(std::stoul(port));
    packet.payload = record.payloadData();
    packet.length = record.payloadLength;
    packet.time = record.time();
    packet.headerOverhead = record.headerOverhead;
    packet.number = record.number;
    packet.fileOffset = record.fileOffset;
    packet.record = &record;
    return packet;
}

std::optional<uint64_t> MediaPacket::sourceKey() const {
    if (frame != nullptr) {
        return endpointKey(frame->family, frame->sourceAddress, frame->sourcePort);
    }
    if (record == nullptr) {
        return std::nullopt;
    }
    const std::string& port = record->sourcePort;
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return destinationKey(record->sourceAddress, static_cast<int32_t>(std::stoul(port)));
}

void MediaPacket::copyTo(PacketRecord& out, std::array<uint64_t, 2>& endpoints) const {
    if (frame == nullptr) {
        copyTo(out);
        endpoints = {~uint64_t{0}, ~uint64_t{0}};
        return;
    }
    const std::array<uint64_t, 2> now = {
        endpointKey(frame->family, frame->sourceAddress, frame->sourcePort),
        endpointKey(frame->family, frame->destinationAddress, frame->destinationPort)};
    out.assignFrom(*frame, now != endpoints);
    endpoints = now;
}

void MediaPacket::copyTo(PacketRecord& out) const {
    if (record != nullptr) {
        out = *record;
    } else if (frame != nullptr) {
        out.assignFrom(*frame);
    }
}

}  // namespace varlowe
