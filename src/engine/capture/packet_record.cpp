#include "packet_record.h"

#include "byte_order.h"
#include "frame_info.h"
#include "ipv6_address.h"

namespace varlowe {

namespace {
void assignDottedQuad(std::string& text, uint32_t address) {
    char buffer[16];
    text.assign(buffer, formatDottedQuad(address, buffer));
}
void assignPort(std::string& text, uint16_t port) {
    char buffer[12];
    text.assign(buffer, formatUnsigned(port, buffer));
}
}  // namespace

PacketRecord PacketRecord::fromFrame(const FrameInfo& frame) {
    PacketRecord record;
    record.assignFrom(frame);
    return record;
}

void PacketRecord::assignFrom(const FrameInfo& frame, bool withTexts) {
    PacketRecord& record = *this;
    record.seconds = frame.seconds;
    record.microseconds = frame.microseconds;
    switch (frame.protocol) {
        case 17:
            record.transport = TransportKind::Udp;
            break;
        case 6:
            record.transport = TransportKind::Tcp;
            break;
        default:
            record.transport = TransportKind::Other;
            break;
    }
    record.number = frame.number;
    record.fileOffset = frame.fileOffset;
    if (withTexts) {
        if (frame.family == 6) {
            record.sourceAddress = ipv6Text(frame.source6);
            record.destinationAddress = ipv6Text(frame.destination6);
        } else {
            assignDottedQuad(record.sourceAddress, frame.sourceAddress);
            assignDottedQuad(record.destinationAddress, frame.destinationAddress);
        }
        assignPort(record.sourcePort, frame.sourcePort);
        assignPort(record.destinationPort, frame.destinationPort);
    }
    record.headerOverhead = frame.headerOverhead;
    record.payloadLength = frame.payloadLength;
    if (frame.payloadLength > 0 && frame.payload.size() > frame.payloadLength) {
        record.payload.assign(frame.payload.begin(),
                              frame.payload.begin() + frame.payloadLength + 1);
    } else {
        record.payloadLength = 0;
        record.payload.clear();
    }
}

const char* transportName(TransportKind kind) {
    switch (kind) {
        case TransportKind::Udp:
            return "UDP";
        case TransportKind::Tcp:
            return "TCP";
        case TransportKind::Other:
            break;
    }
    return "OTHER";
}

}  // namespace varlowe
