#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "buffered_file.h"
#include "capture_records.h"

namespace varlowe {

// The records of a classic libpcap file (micro- or nanosecond times, either byte order),
// after its 24-byte header.
class ClassicWalker {
  public:
    static constexpr uint32_t kRecordHeaderSize = 16;

    ClassicWalker(BufferedFile& file, bool swap, bool nanoseconds, uint32_t linkType)
        : file_(file), swap_(swap), nanoseconds_(nanoseconds), linkType_(linkType) {}

    // The next record; false at the end of the file or at a record cut short.
    bool next(RawRecord& record);
    // Where the file ended within a record (its header or its data), when it did.
    const std::optional<uint64_t>& cutShortAt() const { return cutShortAt_; }

  private:
    BufferedFile& file_;
    bool swap_;
    bool nanoseconds_;
    uint32_t linkType_;
    std::vector<uint8_t> scratch_;
    std::optional<uint64_t> cutShortAt_;
};

}  // namespace varlowe
