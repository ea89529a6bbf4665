#include "sip_stream_assembler.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "engine/capture/ipv6_address.h"
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
    wholeSegment_ = false;
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
    out.wholeSegment = false;
    std::optional<PacketRecord> message = nextMessageOrFrame(position);
    if (message) {
        out.message = std::move(message);
        out.wholeSegment = wholeSegment_;
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
    for (;;) {
        for (StreamSlot& slot : slots_) {
            if (slot.inUse && slot.ready) {
                return emit(slot);
            }
        }
        if (!inOrder_.empty()) {
            Chunk chunk = std::move(inOrder_.front());
            inOrder_.pop_front();
            if (std::optional<PacketRecord> message = takeSegment(std::move(chunk))) {
                return message;
            }
            continue;
        }
        if (finished_) {
            return std::nullopt;
        }
        if (endOfFile_ || !reader_.nextFrame(frame_, position)) {
            if (!endOfFile_) {
                endOfFile_ = true;
                // Segments still waiting for a gap come out as they are, connection by
                // connection in the order their data arrived.
                std::vector<TcpDirection*> waiting;
                for (auto& entry : directions_) {
                    if (!entry.second.held.empty()) {
                        waiting.push_back(&entry.second);
                    }
                }
                std::sort(waiting.begin(), waiting.end(), [](TcpDirection* a, TcpDirection* b) {
                    return a->held.front().packet.number < b->held.front().packet.number;
                });
                for (TcpDirection* direction : waiting) {
                    releaseHeld(*direction, true);
                }
                continue;
            }
            reportUnfinished();
            finished_ = true;
            return std::nullopt;
        }
        if (frame_.protocol != 6) {
            frameWaiting_ = true;  // handed out as it is; texts are made only if it is kept
            return std::nullopt;
        }
        placeSegment(frame_);
    }
}

void SipStreamAssembler::placeSegment(const FrameInfo& frame) {
    if (frame.unsequenced) {
        if (frame.payloadLength > 0) {
            inOrder_.push_back(Chunk{PacketRecord::fromFrame(frame), false, false});
        }
        return;
    }
    const DirectionKey key{frame.sourceAddress, frame.destinationAddress, frame.sourcePort,
                           frame.destinationPort, frame.family};
    TcpDirection& direction = directions_[key];
    uint32_t sequence = frame.tcpSequence;
    if ((frame.tcpFlags & kTcpSyn) != 0) {
        if (direction.sawSyn && sequence == direction.synSequence) {
            // The same SYN again (a retransmission): the stream goes on.
            if (frame.payloadLength == 0) {
                return;
            }
        } else {
            // A new connection on these addresses and ports starts a new byte stream; what
            // the old one left waiting comes out first.
            if (!direction.held.empty()) {
                releaseHeld(direction, true);
            }
            direction.sawSyn = true;
            direction.synSequence = sequence;
            direction.synchronised = true;
            direction.next = sequence + 1;
            direction.restarted = true;
            if (frame.payloadLength == 0) {
                return;
            }
        }
        sequence += 1;  // data on a SYN follows it
    }
    if (frame.payloadLength == 0) {
        // FIN or RST without data: a segment reordered before it may still fill a gap, so
        // what waits stays for the bounds or the end of the capture.
        return;
    }
    PacketRecord packet = PacketRecord::fromFrame(frame);
    if (direction.name.empty()) {
        direction.name = endpointText(packet.sourceAddress, packet.sourcePort) + " > " +
                         endpointText(packet.destinationAddress, packet.destinationPort);
    }
    if (!direction.synchronised) {
        direction.synchronised = true;  // the capture started within the connection
        direction.next = sequence;
    }
    int32_t ahead = static_cast<int32_t>(sequence - direction.next);
    bool trimmed = false;
    if (ahead < 0) {
        const uint32_t already = static_cast<uint32_t>(-static_cast<int64_t>(ahead));
        if (already >= packet.payloadLength) {
            return;  // a retransmission: every byte was taken already
        }
        // Overlapping a part taken already: only the new bytes count.
        packet.payload.erase(packet.payload.begin(), packet.payload.begin() + already);
        packet.payloadLength -= already;
        trimmed = true;
        sequence = direction.next;
        ahead = 0;
    }
    if (ahead > 0) {
        direction.heldBytes += packet.payloadLength;
        direction.held.push_back(TcpDirection::HeldSegment{sequence, std::move(packet)});
        const uint32_t waited =
            direction.held.back().packet.seconds - direction.held.front().packet.seconds;
        if (direction.held.size() > kMaxHeldSegments || direction.heldBytes > kMaxHeldBytes ||
            waited > kMaxGapSeconds) {
            releaseHeld(direction, true);  // the missing bytes were never captured
        }
        return;
    }
    direction.next = sequence + packet.payloadLength;
    inOrder_.push_back(Chunk{std::move(packet), false, direction.restarted, trimmed});
    direction.restarted = false;
    if (!direction.held.empty()) {
        releaseHeld(direction, false);
    }
}

void SipStreamAssembler::releaseHeld(TcpDirection& direction, bool acrossGaps) {
    while (!direction.held.empty()) {
        // The held segment that starts first.
        size_t first = 0;
        for (size_t i = 1; i < direction.held.size(); ++i) {
            if (static_cast<int32_t>(direction.held[i].sequence - direction.held[first].sequence) <
                0) {
                first = i;
            }
        }
        TcpDirection::HeldSegment& segment = direction.held[first];
        int32_t ahead = static_cast<int32_t>(segment.sequence - direction.next);
        bool afterGap = false;
        if (ahead > 0) {
            if (!acrossGaps) {
                return;
            }
            direction.missingBytes += static_cast<uint32_t>(ahead);
            if (direction.firstGapAfter == 0) {
                direction.firstGapAfter = segment.packet.number;
            }
            direction.next = segment.sequence;
            ahead = 0;
            afterGap = true;
        }
        PacketRecord packet = std::move(segment.packet);
        direction.heldBytes -= packet.payloadLength;
        direction.held.erase(direction.held.begin() + static_cast<long>(first));
        const uint32_t already = static_cast<uint32_t>(-static_cast<int64_t>(ahead));
        if (already >= packet.payloadLength) {
            continue;  // held twice, or covered by what came in between
        }
        if (already > 0) {
            packet.payload.erase(packet.payload.begin(), packet.payload.begin() + already);
            packet.payloadLength -= already;
        }
        direction.next += packet.payloadLength;
        inOrder_.push_back(Chunk{std::move(packet), afterGap, direction.restarted, already > 0});
        direction.restarted = false;
    }
}

void SipStreamAssembler::dropSlotOf(const PacketRecord& packet, bool reportMessage) {
    StreamSlot* firstFree = nullptr;
    if (StreamSlot* slot = findSlot(packet, firstFree)) {
        if (reportMessage && hasSipLine(slot->data(), slot->size())) {
            unfinished_.emplace_back(slot->number, unfinishedLine(*slot));
        }
        *slot = StreamSlot();
    }
}

std::string SipStreamAssembler::unfinishedLine(const StreamSlot& slot) const {
    std::string line = "Not enough data: TCP " + endpointText(slot.sourceAddress, slot.sourcePort) +
                       " > " + endpointText(slot.destinationAddress, slot.destinationPort) +
                       ", the message of packet " + std::to_string(slot.number) +
                       " never completed (" + std::to_string(slot.size()) + " bytes";
    if (slot.neededLength > slot.size()) {
        line += " of " + std::to_string(slot.neededLength);
    }
    return line + ")";
}

void SipStreamAssembler::reportUnfinished() {
    std::vector<std::pair<uint32_t, std::string>> lines = std::move(unfinished_);
    for (const auto& entry : directions_) {
        const TcpDirection& direction = entry.second;
        if (direction.missingBytes > 0) {
            lines.emplace_back(direction.firstGapAfter,
                               "TCP " + direction.name + ": " +
                                   std::to_string(direction.missingBytes) +
                                   " bytes never captured, the first before packet " +
                                   std::to_string(direction.firstGapAfter) +
                                   "; read on from the next SIP start line");
        }
    }
    for (const StreamSlot& slot : slots_) {
        if (!slot.inUse || !hasSipLine(slot.data(), slot.size())) {
            continue;
        }
        lines.emplace_back(slot.number, unfinishedLine(slot));
    }
    std::sort(lines.begin(), lines.end());
    for (const auto& line : lines) {
        diagnostic("%s\n", line.second.c_str());
    }
}

std::optional<PacketRecord> SipStreamAssembler::takeSegment(Chunk chunk) {
    PacketRecord& packet = chunk.packet;
    if (chunk.afterGap || chunk.restart) {
        // A message that lost bytes, or the old connection's: the next start line begins anew.
        dropSlotOf(packet, chunk.restart && !chunk.afterGap);
    }
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
        return std::nullopt;
    }

    const uint8_t* data = packet.payloadData();
    size_t length = packet.payloadLength;
    MessageExtent extent = messageExtent(data, length, includeEncapsulated_);
    if (extent.complete) {
        reportInvalidLength(extent, packet.number);
        wholeSegment_ = !chunk.trimmed && extent.start == 0 && extent.endsAtEnd;
        if (!extent.endsAtEnd && firstFree != nullptr) {
            openSlot(*firstFree, packet, data + extent.end, length - extent.end);
        }
        if (extent.start > 0 || !extent.endsAtEnd) {
            std::vector<uint8_t> message(data + extent.start, data + extent.end);
            message.push_back(0);
            packet.payload.swap(message);
            packet.payloadLength = static_cast<uint32_t>(extent.end - extent.start);
        }
        return std::move(packet);
    }
    data += extent.start;
    length -= extent.start;
    if (firstFree != nullptr && hasSipLine(data, length)) {
        openSlot(*firstFree, packet, data, length);
    }
    return std::nullopt;
}

}  // namespace varlowe
