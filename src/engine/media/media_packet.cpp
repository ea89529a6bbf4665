#include "media_packet.h"

#include <algorithm>

namespace varlowe {

std::optional<uint64_t> destinationKey(const std::string& address, int32_t port) {
    if (port < 0 || port > 65535) {
        return std::nullopt;
    }
    std::optional<uint32_t> numeric = parseDottedQuad(address);
    if (!numeric) {
        return std::nullopt;
    }
    return (uint64_t{*numeric} << 16) | static_cast<uint64_t>(port);
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
    const std::string& port = record.destinationPort;
    bool canonicalPort =
        !port.empty() && port.size() <= 5 && (port == "0" || port[0] != '0') &&
        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        std::stoul(port) <= 65535;
    if (!address || !canonicalPort) {
        return std::nullopt;
    }
    MediaPacket packet;
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

void MediaPacket::copyTo(PacketRecord& out, std::array<uint64_t, 2>& endpoints) const {
    if (frame == nullptr) {
        copyTo(out);
        endpoints = {~uint64_t{0}, ~uint64_t{0}};
        return;
    }
    const std::array<uint64_t, 2> now = {
        (uint64_t{frame->sourceAddress} << 16) | frame->sourcePort,
        (uint64_t{frame->destinationAddress} << 16) | frame->destinationPort};
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
