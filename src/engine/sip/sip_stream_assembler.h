#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/capture/capture_file_reader.h"
#include "engine/capture/packet_record.h"
#include "sip_framing.h"

namespace varlowe {

// One direction of one TCP connection whose bytes are being collected into SIP messages.
// Time, number and offset are those of the segment that opened the slot; every message
// emitted from the slot carries them.
struct StreamSlot {
    bool inUse = false;
    std::string sourceAddress;
    std::string sourcePort;
    std::string destinationAddress;
    std::string destinationPort;
    // As the capture file has them: unsigned, so times after January 2038 stay positive.
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    TransportKind transport = TransportKind::Tcp;
    uint32_t number = 0;
    uint64_t fileOffset = 0;
    uint32_t headerOverhead = 0;

    std::vector<uint8_t> buffer;
    size_t begin = 0;  // bytes before it were emitted already

    // Framing outcome of the buffered bytes, kept so that a new segment only costs a look
    // at its own bytes.
    std::optional<MessageExtent> ready;
    uint64_t neededLength = 0;

    const uint8_t* data() const { return buffer.data() + begin; }
    size_t size() const { return buffer.size() - begin; }
};

// One packet from the assembler: a decoded non-TCP frame (valid until the next call) or a
// SIP message assembled from TCP segments.
struct AssembledPacket {
    const FrameInfo* frame = nullptr;
    std::optional<PacketRecord> message;
    // A message from TCP that is one segment's whole payload, untrimmed: the file holds it
    // as it is, as it holds a datagram.
    bool wholeSegment = false;

    uint32_t number() const { return frame ? frame->number : message->number; }
    const uint8_t* payload() const {
        return frame ? (frame->payloadLength > 0 ? frame->payloadData() : nullptr)
                     : message->payloadData();
    }
    size_t length() const { return frame ? frame->payloadLength : message->payloadLength; }
    // The packet as a record, for the items that keep it.
    PacketRecord record() const { return frame ? PacketRecord::fromFrame(*frame) : *message; }
};

// One direction of a TCP connection as a byte stream: where the next byte stands in sequence
// space, and the segments that arrived ahead of a gap.
struct TcpDirection {
    struct HeldSegment {
        uint32_t sequence = 0;
        PacketRecord packet;  // its own number, time and offset; the payload as captured
    };
    bool synchronised = false;
    uint32_t next = 0;  // sequence number of the next byte expected
    std::vector<HeldSegment> held;
    size_t heldBytes = 0;
    // What never completed, said once at the end of the pass.
    uint64_t missingBytes = 0;
    uint32_t firstGapAfter = 0;  // the packet after which bytes were first missing
    std::string name;            // "10.0.0.1:5060 > 10.0.0.2:5060"
    bool restarted = false;      // a SYN came: the next data begins a new stream
    bool sawSyn = false;
    uint32_t synSequence = 0;  // of the connection's SYN, to know it when it is resent
};

// The packet source of the analysis pass: UDP packets pass through unchanged, TCP segments are
// placed by sequence number per direction (retransmitted and overlapping bytes taken once,
// segments ahead of a gap held until it fills) and collected until complete SIP messages are
// present, and only those come out.
class SipStreamAssembler {
  public:
    static constexpr size_t kSlotCount = 32;
    static constexpr uint8_t kTcpFin = 0x01;
    static constexpr uint8_t kTcpSyn = 0x02;
    static constexpr uint8_t kTcpReset = 0x04;

    SipStreamAssembler() { reader_.setYieldTcpControl(true); }
    SipStreamAssembler(const SipStreamAssembler&) = delete;
    SipStreamAssembler& operator=(const SipStreamAssembler&) = delete;

    CaptureFileReader& reader() { return reader_; }
    bool open(const std::string& path) { return reader_.open(path); }
    void setIncludeEncapsulated(bool include) { includeEncapsulated_ = include; }
    bool includeEncapsulated() const { return includeEncapsulated_; }

    // The next packet, or none at the end of the file. `position` receives the reader's
    // record position, for progress.
    std::optional<PacketRecord> nextPacket(uint64_t* position = nullptr);
    // The same without turning UDP frames into records; false at the end of the file.
    bool next(AssembledPacket& out, uint64_t* position = nullptr);

    const StreamSlot& slot(size_t index) const { return slots_[index]; }

    // Segments held ahead of a gap wait for at most this many segments or bytes, or this
    // long; then the gap is taken as never captured.
    static constexpr size_t kMaxHeldSegments = 32;
    static constexpr size_t kMaxHeldBytes = 256 * 1024;
    static constexpr uint32_t kMaxGapSeconds = 2;

  private:
    struct DirectionKey {
        uint32_t source;
        uint32_t destination;
        uint16_t sourcePort;
        uint16_t destinationPort;
        uint8_t family;
        bool operator==(const DirectionKey& other) const {
            return source == other.source && destination == other.destination &&
                   sourcePort == other.sourcePort && destinationPort == other.destinationPort &&
                   family == other.family;
        }
    };
    struct DirectionKeyHash {
        size_t operator()(const DirectionKey& key) const {
            uint64_t mixed = (uint64_t{key.source} << 32 | key.destination) ^
                             ((uint64_t{key.family} << 32 | uint64_t{key.sourcePort} << 16 |
                               key.destinationPort) *
                              0x9e3779b97f4a7c15ull);
            return static_cast<size_t>(mixed ^ (mixed >> 31));
        }
    };

    struct Chunk {
        PacketRecord packet;
        bool afterGap = false;  // bytes before it were never captured: its slot starts anew
        bool restart = false;   // the first data of a new connection on the same ports
        bool trimmed = false;   // bytes taken already were cut from its front
    };

    std::optional<PacketRecord> nextMessageOrFrame(uint64_t* position);
    std::optional<PacketRecord> takeSegment(Chunk chunk);
    void placeSegment(const FrameInfo& frame);
    void releaseHeld(TcpDirection& direction, bool acrossGaps);
    void dropSlotOf(const PacketRecord& packet, bool reportMessage);
    std::string unfinishedLine(const StreamSlot& slot) const;
    void reportUnfinished();
    PacketRecord emit(StreamSlot& slot);
    void evaluate(StreamSlot& slot, size_t previousSize);
    void openSlot(StreamSlot& slot, const PacketRecord& packet, const uint8_t* data, size_t length);
    StreamSlot* findSlot(const PacketRecord& packet, StreamSlot*& firstFree);

    CaptureFileReader reader_;
    std::array<StreamSlot, kSlotCount> slots_;
    bool includeEncapsulated_ = true;
    FrameInfo frame_;
    bool frameWaiting_ = false;
    // The last message handed out is its segment's whole payload, as captured.
    bool wholeSegment_ = false;
    std::unordered_map<DirectionKey, TcpDirection, DirectionKeyHash> directions_;
    // Segment data in stream order, waiting to be taken into the slots.
    std::deque<Chunk> inOrder_;
    std::vector<std::pair<uint32_t, std::string>> unfinished_;  // said at the end, in order
    bool endOfFile_ = false;
    bool finished_ = false;
};

}  // namespace varlowe
