#include "classic_walker.h"

#include "byte_order.h"

namespace varlowe {

bool ClassicWalker::next(RawRecord& record) {
    record.offset = file_.position();
    uint8_t header[kRecordHeaderSize];
    const size_t got = file_.read(header, sizeof header);
    if (got != sizeof header) {
        if (got > 0) {
            cutShortAt_ = record.offset;
        }
        return false;
    }
    uint32_t fields[4];
    for (int i = 0; i < 4; ++i) {
        const uint32_t value = readLittleEndian32(header + 4 * i);
        fields[i] = swap_ ? swapBytes32(value) : value;
    }
    record.storedLength = fields[2];
    if (record.storedLength > file_.remaining()) {
        cutShortAt_ = record.offset;
        return false;  // cut short: the same as the end of the file
    }
    record.seconds = fields[0];
    record.microseconds = nanoseconds_ ? fields[1] / 1000 : fields[1];
    record.wireLength = fields[3];
    record.linkType = linkType_;
    record.data = file_.view(record.storedLength, scratch_);
    return record.data != nullptr;
}

}  // namespace varlowe
