#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "buffered_file.h"
#include "byte_order.h"
#include "fragment_table.h"
#include "frame_info.h"

namespace varlowe {

// The name of a link-layer type of the capture file formats, for messages; "unknown" for a
// type without a name here.
const char* linkTypeName(uint32_t linkType);
// Whether the reader decodes frames of that link-layer type.
bool linkTypeSupported(uint32_t linkType);

// What a pcapng file said about itself up to some point: its sections (where each starts,
// its byte order) and their interfaces (link type, snapshot length, time resolution). The
// analysis pass learns it; later readers of the same file take it over, so that seeking to
// a packet needs no walk from the start.
struct CaptureInterface {
    uint32_t linkType = 0;
    uint32_t snapLength = 0;
    bool decimal = true;  // resolution 10^-exponent, else 2^-exponent seconds
    uint8_t exponent = 6;
    int64_t offsetSeconds = 0;          // if_tsoffset
    uint64_t unitsPerSecond = 1000000;  // from the resolution; 0 when it has no 64-bit form
};
struct CaptureSection {
    uint64_t start = 0;
    bool swap = false;
    std::vector<CaptureInterface> interfaces;
};
struct CaptureLayout {
    std::vector<CaptureSection> sections;
    uint64_t walkedTo = 0;  // every block that starts before this offset is known
};

// Walks a capture file packet record by packet record: classic libpcap files (micro- or
// nanosecond times, either byte order) and pcapng files (any sections, byte orders,
// interfaces and time resolutions). Frames of Ethernet (VLAN tags stepped over), Linux
// cooked v1 and v2, raw IPv4 and BSD loopback are decoded to IPv4 and UDP or TCP.
// Fragmented UDP datagrams are reassembled; TCP segments with payload are yielded one by
// one.
class CaptureFileReader {
  public:
    static constexpr uint32_t kMagic = 0xa1b2c3d4u;
    static constexpr uint32_t kSwappedMagic = 0xd4c3b2a1u;
    static constexpr uint32_t kGlobalHeaderSize = 24;
    static constexpr uint32_t kRecordHeaderSize = 16;

    CaptureFileReader() = default;
    CaptureFileReader(const CaptureFileReader&) = delete;
    CaptureFileReader& operator=(const CaptureFileReader&) = delete;

    static constexpr uint32_t kLinkTypeEthernet = 1;
    static constexpr uint32_t kPcapNgMagic = 0x0a0d0d0au;

    // Opens the file and checks its global header. On failure writes
    // "PCAP: Invalid pcap file: <path>" as a diagnostic, keeps the reason for openError and
    // returns false.
    bool open(const std::string& path);
    // Why the last open failed, in words for the user ("No such file or directory", "link
    // type 105 (IEEE 802.11 wireless) is not supported ..."); empty after a successful open.
    const std::string& openError() const { return openError_; }
    // The link type of a classic file, or of the first interface of a pcapng file.
    uint32_t linkType() const { return linkType_; }
    bool isPcapNg() const { return pcapng_; }
    const CaptureLayout& layout() const { return layout_; }
    // Takes over what another reader of the same file learnt (before seeking).
    void useLayout(const CaptureLayout& layout);
    uint64_t fileSize() const { return file_.size(); }
    // Positions at a record header previously reported as a file offset. The record
    // counter keeps counting from where it stood.
    bool seek(uint64_t offset);
    // Decodes records until one is accepted. `position`, when given, receives the offset of
    // each record header as it is read. False at the end of the file or when reading stops.
    bool nextFrame(FrameInfo& frame, uint64_t* position = nullptr);
    void close();
    bool isOpen() const { return file_.isOpen(); }

    void setIncludeUdp(bool include) { includeUdp_ = include; }
    void setIncludeTcp(bool include) { includeTcp_ = include; }
    bool includeUdp() const { return includeUdp_; }
    bool includeTcp() const { return includeTcp_; }

    bool byteSwapped() const { return swap_; }
    uint32_t recordCounter() const { return counter_; }
    const FragmentTable& fragments() const { return fragments_; }

  private:
    enum class Decoded { Accepted, Dropped, StopReading };

    void openPcapNg();
    bool nextClassicRecord(FrameInfo& frame, uint64_t* position);
    bool nextPcapNgPacket(FrameInfo& frame, uint64_t* position);
    // Reads a section header block at the position (its type already known); false when
    // damaged.
    bool readSectionHeader(uint64_t start);
    bool readInterfaceBlock(uint32_t length);
    bool blockHeader(uint64_t start, uint32_t& type, uint32_t& length);
    // Whether a block of `length` bytes at `start` is well formed and inside the file.
    bool blockFits(uint64_t start, uint32_t length, uint32_t minimum) const;
    // Says where the walk stops; always false, for returning.
    bool damagedBlock(uint64_t start, const char* what = "block") const;
    bool endOfBlock(uint64_t start, uint32_t length);
    void learnPcapNgUpTo(uint64_t offset);
    // A field in the byte order of the file (or of the section being read).
    uint32_t get32(const uint8_t* data) const {
        const uint32_t value = readLittleEndian32(data);
        return swap_ ? swapBytes32(value) : value;
    }
    uint16_t get16(const uint8_t* data) const {
        const auto value = static_cast<uint16_t>(data[0] | (data[1] << 8));
        return swap_ ? static_cast<uint16_t>((value >> 8) | (value << 8)) : value;
    }
    void setPacketTime(FrameInfo& frame, const CaptureInterface& interface, uint64_t units) const;
    Decoded decodeFrame(FrameInfo& frame, uint32_t storedLength, uint32_t wireLength,
                        uint32_t& consumed, uint32_t linkType);
    Decoded decodeUdp(FrameInfo& frame, const uint8_t* ip, uint32_t remaining, uint32_t wireLength,
                      uint32_t& consumed);
    Decoded decodeTcp(FrameInfo& frame, uint32_t remaining, uint32_t ipPayloadLength,
                      uint32_t wireLength, uint32_t& consumed);
    bool readPayload(FrameInfo& frame, uint32_t length, uint32_t wireLength, uint32_t& consumed);

    BufferedFile file_;
    FragmentTable fragments_;
    uint32_t counter_ = 0;
    bool swap_ = false;
    bool nanoseconds_ = false;
    bool pcapng_ = false;
    uint32_t linkType_ = 0;
    CaptureLayout layout_;
    size_t section_ = 0;  // the section of the position in layout_
    std::string openError_;
    bool includeUdp_ = true;
    bool includeTcp_ = true;
};

}  // namespace varlowe
