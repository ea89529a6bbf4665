#pragma once

#include <cstdint>
#include <string>

#include "buffered_file.h"
#include "fragment_table.h"
#include "frame_info.h"

namespace varlowe {

// Walks a classic libpcap capture file (microsecond variant, either byte order) record by
// record and decodes Ethernet II / IPv4 / UDP or TCP frames. Fragmented UDP datagrams are
// reassembled; TCP segments with payload are yielded one by one.
// The name of a link-layer type of the capture file format, for messages; "unknown" for a
// type without a name here.
const char* linkTypeName(uint32_t linkType);

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

    // Opens the file and checks its global header. On failure writes
    // "PCAP: Invalid pcap file: <path>" as a diagnostic, keeps the reason for openError and
    // returns false.
    bool open(const std::string& path);
    // Why the last open failed, in words for the user ("No such file or directory", "link
    // type 113 (Linux cooked capture) is not supported ..."); empty after a successful open.
    const std::string& openError() const { return openError_; }
    uint32_t linkType() const { return linkType_; }
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

    Decoded decodeFrame(FrameInfo& frame, uint32_t storedLength, uint32_t wireLength,
                        uint32_t& consumed);
    Decoded decodeUdp(FrameInfo& frame, const uint8_t* ip, uint32_t remaining, uint32_t wireLength,
                      uint32_t& consumed);
    Decoded decodeTcp(FrameInfo& frame, uint32_t remaining, uint32_t ipPayloadLength,
                      uint32_t wireLength, uint32_t& consumed);
    bool readPayload(FrameInfo& frame, uint32_t length, uint32_t wireLength, uint32_t& consumed);

    BufferedFile file_;
    FragmentTable fragments_;
    uint32_t counter_ = 0;
    bool swap_ = false;
    uint32_t linkType_ = 0;
    std::string openError_;
    bool includeUdp_ = true;
    bool includeTcp_ = true;
};

}  // namespace varlowe
