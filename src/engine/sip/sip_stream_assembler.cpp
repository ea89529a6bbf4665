#include "sip_stream_assembler.h"

#include <string_view>

#include "engine/diagnostics.h"
#include "engine/text_search.h"

namespace varlowe {

namespace {

constexpr size_t npos = std::string_view::npos;

// True when some line ended by CR LF contains "SIP/2.0".
bool hasSipLine(const uint8_t* data, size_t length) {
    size_t sip = findBytes(data, length, "SIP/2.0");
    return sip != npos && findBytes(data, length, "\r\n", sip + 7) != npos;
}

// Only these texts decide the framing outcome; appended bytes without any of them (near the
// old end or after it) cannot change it.
bool mayChangeFraming(const uint8_t* data, size_t length, size_t from) {
    for (std::string_view text : {"SIP/2.0", "Content-Length: ", "l: ", "\r\n\r\n"}) {
        if (findBytes(data, length, text, from) != npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

StreamSlot* SipStreamAssembler::findSlot(const PacketRecord& packet, StreamSlot*& firstFree) {
    firstFree = nullptr;
    for (StreamSlot& slot : slots_) {
        if (!slot.inUse) {
            if (firstFree == nullptr) {
                firstFree = &slot;
            }
            continue;
        }
        if (slot.sourcePort == packet.sourcePort &&
            slot.destinationPort == packet.destinationPort &&
            slot.sourceAddress == packet.sourceAddress &&
            slot.destinationAddress == packet.destinationAddress) {
            return &slot;
        }
    }
    return nullptr;
}

void SipStreamAssembler::openSlot(StreamSlot& slot, const PacketRecord& packet, const uint8_t* data,
                                  size_t length) {
    slot.inUse = true;
    slot.sourceAddress = packet.sourceAddress;
    slot.sourcePort = packet.sourcePort;
    slot.destinationAddress = packet.destinationAddress;
    slot.destinationPort = packet.destinationPort;
    slot.seconds = packet.seconds;
    slot.microseconds = packet.microseconds;
    slot.transport = packet.transport;
    slot.number = packet.number;
    slot.fileOffset = packet.fileOffset;
    slot.headerOverhead = packet.headerOverhead;
    slot.buffer.assign(data, data + length);
    slot.begin = 0;
    slot.waitReported = false;
    evaluate(slot, 0);
}

void SipStreamAssembler::evaluate(StreamSlot& slot, size_t previousSize) {
    if (previousSize > 0 && !slot.ready) {
        size_t from = previousSize > 64 ? previousSize - 64 : 0;
        if (!mayChangeFraming(slot.data(), slot.size(), from)) {
            if (slot.neededLength == 0 || slot.size() < slot.neededLength) {
                return;  // no start line, length or end of headers yet, or the body is short
            }
        }
    }
    MessageExtent extent = messageExtent(slot.data(), slot.size(), includeEncapsulated_);
    slot.neededLength = extent.neededLength;
    if (extent.neededLength > 0 && !slot.waitReported) {
        // Once per message, not once per segment: a long body arrives in many segments.
        diagnostic("Not enough data\n");
        slot.waitReported = true;
    }
    if (extent.complete) {
        slot.ready = extent;
    } else {
        slot.ready.reset();
    }
}

namespace {
void reportInvalidLength(const MessageExtent& extent, uint32_t number) {
    if (extent.invalidLength) {
        diagnostic("Packet %u: Content-Length \"%s\" is not a number; taken as 0\n", number,
                   extent.lengthText.c_str());
    }
}
}  // namespace

PacketRecord SipStreamAssembler::emit(StreamSlot& slot) {
    const MessageExtent extent = *slot.ready;
    reportInvalidLength(extent, slot.number);
    PacketRecord packet;
    packet.seconds = slot.seconds;
    packet.microseconds = slot.microseconds;
    packet.transport = slot.transport;
    packet.number = slot.number;
    packet.fileOffset = slot.fileOffset;
    packet.sourceAddress = slot.sourceAddress;
    packet.sourcePort = slot.sourcePort;
    packet.destinationAddress = slot.destinationAddress;
    packet.destinationPort = slot.destinationPort;
    packet.headerOverhead = slot.headerOverhead;
    const uint8_t* message = slot.data() + extent.start;
    size_t length = extent.end - extent.start;
    packet.payloadLength = static_cast<uint32_t>(length);
    if (length > 0) {
        packet.payload.assign(message, message + length);
        packet.payload.push_back(0);
    }
    if (extent.endsAtEnd) {
        slot = StreamSlot();
        return packet;
    }
    slot.begin += extent.end;
    if (slot.begin > slot.buffer.size() / 2) {
        slot.buffer.erase(slot.buffer.begin(), slot.buffer.begin() + static_cast<long>(slot.begin));
        slot.begin = 0;
    }
    slot.ready.reset();
    slot.neededLength = 0;
    slot.waitReported = false;
    evaluate(slot, 0);
    return packet;
}

std::optional<PacketRecord> SipStreamAssembler::nextPacket(uint64_t* position) {
    AssembledPacket next;
    if (!this->next(next, position)) {
        return std::nullopt;
    }
    if (next.frame != nullptr) {
        return PacketRecord::fromFrame(*next.frame);
    }
    return std::move(next.message);
}

bool SipStreamAssembler::next(AssembledPacket& out, uint64_t* position) {
    out.frame = nullptr;
    out.message.reset();
    std::optional<PacketRecord> message = nextMessageOrFrame(position);
    if (message) {
        out.message = std::move(message);
        return true;
    }
    if (frameWaiting_) {
        frameWaiting_ = false;
        out.frame = &frame_;
        return true;
    }
    return false;
}

std::optional<PacketRecord> SipStreamAssembler::nextMessageOrFrame(uint64_t* position) {
    for (StreamSlot& slot : slots_) {
        if (slot.inUse && slot.ready) {
            return emit(slot);
        }
    }
    while (reader_.nextFrame(frame_, position)) {
        if (frame_.protocol != 6) {
            frameWaiting_ = true;  // handed out as it is; texts are made only if it is kept
            return std::nullopt;
        }
        PacketRecord packet = PacketRecord::fromFrame(frame_);
        StreamSlot* firstFree = nullptr;
        StreamSlot* slot = findSlot(packet, firstFree);
        if (slot != nullptr) {
            size_t previousSize = slot->size();
            slot->buffer.insert(slot->buffer.end(), packet.payload.begin(),
                                packet.payload.begin() + packet.payloadLength);
            evaluate(*slot, previousSize);
            if (slot->ready) {
                return emit(*slot);
            }
            continue;
        }

        const uint8_t* data = packet.payloadData();
        size_t length = packet.payloadLength;
        MessageExtent extent = messageExtent(data, length, includeEncapsulated_);
        if (extent.complete) {
            reportInvalidLength(extent, packet.number);
            if (!extent.endsAtEnd && firstFree != nullptr) {
                openSlot(*firstFree, packet, data + extent.end, length - extent.end);
            }
            if (extent.start > 0 || !extent.endsAtEnd) {
                std::vector<uint8_t> message(data + extent.start, data + extent.end);
                message.push_back(0);
                packet.payload.swap(message);
                packet.payloadLength = static_cast<uint32_t>(extent.end - extent.start);
            }
            return packet;
        }
        data += extent.start;
        length -= extent.start;
        if (firstFree != nullptr && hasSipLine(data, length)) {
            openSlot(*firstFree, packet, data, length);
        }
    }
    return std::nullopt;
}

}  // namespace varlowe
