#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
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
    bool waitReported = false;  // "Not enough data" was said for the waiting message

    const uint8_t* data() const { return buffer.data() + begin; }
    size_t size() const { return buffer.size() - begin; }
};

// One packet from the assembler: a decoded non-TCP frame (valid until the next call) or a
// SIP message assembled from TCP segments.
struct AssembledPacket {
    const FrameInfo* frame = nullptr;
    std::optional<PacketRecord> message;

    uint32_t number() const { return frame ? frame->number : message->number; }
    const uint8_t* payload() const {
        return frame ? (frame->payloadLength > 0 ? frame->payloadData() : nullptr)
                     : message->payloadData();
    }
    size_t length() const { return frame ? frame->payloadLength : message->payloadLength; }
    // The packet as a record, for the items that keep it.
    PacketRecord record() const { return frame ? PacketRecord::fromFrame(*frame) : *message; }
};

// The packet source of the analysis pass: UDP packets pass through unchanged, TCP segments are
// collected per direction until complete SIP messages are present, and only those come out.
class SipStreamAssembler {
  public:
    static constexpr size_t kSlotCount = 32;

    SipStreamAssembler() = default;
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

  private:
    std::optional<PacketRecord> nextMessageOrFrame(uint64_t* position);
    PacketRecord emit(StreamSlot& slot);
    void evaluate(StreamSlot& slot, size_t previousSize);
    void openSlot(StreamSlot& slot, const PacketRecord& packet, const uint8_t* data, size_t length);
    StreamSlot* findSlot(const PacketRecord& packet, StreamSlot*& firstFree);

    CaptureFileReader reader_;
    std::array<StreamSlot, kSlotCount> slots_;
    bool includeEncapsulated_ = true;
    FrameInfo frame_;
    bool frameWaiting_ = false;
};

}  // namespace varlowe
