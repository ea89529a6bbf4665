#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "buffered_file.h"
#include "byte_order.h"
#include "capture_records.h"

namespace varlowe {

// The packet blocks of a pcapng file: any sections in either byte order, their interfaces
// with their own link types, snapshot lengths and time resolutions, the enhanced, simple and
// obsolete packet blocks; every other block is stepped over by its length. A damaged block
// ends the walk (with a diagnostic) as a truncated record does.
class PcapNgWalker {
  public:
    // `readable` tells the link types whose packets get their times (others are dropped).
    PcapNgWalker(BufferedFile& file, bool (*readable)(uint32_t))
        : file_(file), readable_(readable) {}

    // Reads the first section header and the interfaces after it; why it cannot be read
    // (empty when it can).
    std::string open();
    // The link type of the first interface (0 when there is none).
    uint32_t firstLinkType() const;
    // Whether any of the first interfaces can be decoded (true when there is none yet).
    bool anyReadableInterface() const;

    // The next packet block; `number` names it in a diagnostic. False at the end of the file
    // or at a damaged block.
    bool next(RawRecord& record, uint32_t number);
    // Positions at a block start reported earlier, knowing the section it lies in.
    bool seek(uint64_t offset);

    const CaptureLayout& layout() const { return layout_; }
    // Takes over what another walk of the same file learnt.
    void useLayout(const CaptureLayout& layout);
    bool byteSwapped() const { return swap_; }

  private:
    uint32_t get32(const uint8_t* data) const {
        const uint32_t value = readLittleEndian32(data);
        return swap_ ? swapBytes32(value) : value;
    }
    uint16_t get16(const uint8_t* data) const {
        const auto value = static_cast<uint16_t>(data[0] | (data[1] << 8));
        return swap_ ? static_cast<uint16_t>((value >> 8) | (value << 8)) : value;
    }
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
    void learnUpTo(uint64_t offset);
    void setTime(RawRecord& record, const CaptureInterface& interface, uint64_t units,
                 uint32_t number) const;

    BufferedFile& file_;
    bool (*readable_)(uint32_t);
    CaptureLayout layout_;
    size_t section_ = 0;  // the section of the position in layout_
    bool swap_ = false;
    std::vector<uint8_t> scratch_;
};

}  // namespace varlowe
