#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "buffered_file.h"
#include "capture_records.h"
#include "classic_walker.h"
#include "frame_decoder.h"
#include "frame_info.h"
#include "pcapng_walker.h"

namespace varlowe {

// Walks a capture file packet record by packet record: classic libpcap files (micro- or
// nanosecond times, either byte order) and pcapng files (any sections, byte orders,
// interfaces and time resolutions), each record's bytes handed to the frame decoder (Ethernet
// with VLAN tags, Linux cooked v1 and v2, raw IPv4 and BSD loopback down to IPv4 and UDP or
// TCP). Fragmented UDP datagrams are reassembled; TCP segments with payload are yielded one
// by one.
class CaptureFileReader {
  public:
    static constexpr uint32_t kMagic = 0xa1b2c3d4u;
    static constexpr uint32_t kSwappedMagic = 0xd4c3b2a1u;
    static constexpr uint32_t kGlobalHeaderSize = 24;
    static constexpr uint32_t kRecordHeaderSize = ClassicWalker::kRecordHeaderSize;
    static constexpr uint32_t kLinkTypeEthernet = 1;
    static constexpr uint32_t kPcapNgMagic = 0x0a0d0d0au;

    CaptureFileReader() = default;
    CaptureFileReader(const CaptureFileReader&) = delete;
    CaptureFileReader& operator=(const CaptureFileReader&) = delete;

    // Opens the file and checks its header. On failure writes
    // "PCAP: Invalid pcap file: <path>" as a diagnostic, keeps the reason for openError and
    // returns false.
    bool open(const std::string& path);
    // The read buffer's size for the files opened after it; a large one for a walk through
    // the whole file, a small one for reading single records here and there.
    void setBufferSize(size_t bytes) { file_.setBufferSize(bytes); }
    // Why the last open failed, in words for the user ("No such file or directory", "link
    // type 105 (IEEE 802.11 wireless) is not supported ..."); empty after a successful open.
    const std::string& openError() const { return openError_; }
    // The link type of a classic file, or of the first interface of a pcapng file.
    uint32_t linkType() const { return linkType_; }
    bool isPcapNg() const { return pcapng_ != nullptr; }
    const CaptureLayout& layout() const { return pcapng_ ? pcapng_->layout() : noLayout_; }
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

    void setIncludeUdp(bool include) { decoder_.setIncludeUdp(include); }
    void setIncludeTcp(bool include) { decoder_.setIncludeTcp(include); }
    bool includeUdp() const { return decoder_.includeUdp(); }
    bool includeTcp() const { return decoder_.includeTcp(); }

    bool byteSwapped() const { return pcapng_ ? pcapng_->byteSwapped() : swap_; }
    uint32_t recordCounter() const { return counter_; }
    const FragmentTable& fragments() const { return decoder_.fragments(); }
    void setYieldTcpControl(bool yield) { decoder_.setYieldTcpControl(yield); }
    void setDecodeHep(bool decode) { decoder_.setDecodeHep(decode); }
    // Why records were refused so far, a line per cause; see FrameDecoder::refusalSummary.
    std::vector<std::string> refusalSummary() const;
    // Where a classic file ended inside a packet record, when it did.
    std::optional<uint64_t> cutShortAt() const {
        return classic_ ? classic_->cutShortAt() : std::nullopt;
    }

  private:
    BufferedFile file_;
    std::unique_ptr<ClassicWalker> classic_;
    std::unique_ptr<PcapNgWalker> pcapng_;
    FrameDecoder decoder_;
    uint32_t counter_ = 0;
    bool swap_ = false;
    uint32_t linkType_ = 0;
    std::string openError_;
    static const CaptureLayout noLayout_;
};

}  // namespace varlowe
