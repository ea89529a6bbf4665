#include "pcapng_walker.h"

#include <algorithm>
#include <limits>

#include "engine/diagnostics.h"

namespace varlowe {

namespace {

// Block types and sizes (the trailing length included).
constexpr uint32_t kSectionHeaderBlock = 0x0a0d0d0au;
constexpr uint32_t kInterfaceBlock = 1;
constexpr uint32_t kObsoletePacketBlock = 2;
constexpr uint32_t kSimplePacketBlock = 3;
constexpr uint32_t kEnhancedPacketBlock = 6;
constexpr uint32_t kByteOrderMagic = 0x1a2b3c4du;
constexpr uint32_t kSwappedByteOrderMagic = 0x4d3c2b1au;
constexpr uint32_t kMinimumBlock = 12;
constexpr uint32_t kMinimumSectionHeader = 28;
constexpr uint32_t kMinimumInterfaceBlock = 20;
constexpr uint32_t kMinimumEnhancedBlock = 32;
constexpr uint32_t kMinimumSimpleBlock = 16;
constexpr uint16_t kOptionEnd = 0;
constexpr uint16_t kOptionTimeResolution = 9;
constexpr uint16_t kOptionTimeOffset = 14;

uint64_t unitsPerSecondOf(const CaptureInterface& interface) {
    if (interface.decimal) {
        if (interface.exponent > 19) {
            return 0;
        }
        uint64_t units = 1;
        for (int i = 0; i < interface.exponent; ++i) {
            units *= 10;
        }
        return units;
    }
    return interface.exponent <= 63 ? uint64_t{1} << interface.exponent : 0;
}

}  // namespace

std::string PcapNgWalker::open() {
    file_.seek(0);
    if (!readSectionHeader(0)) {
        return "a damaged pcapng file (its section header block is not valid)";
    }
    // The interfaces that follow the section header decide whether anything can be read.
    for (;;) {
        const uint64_t start = file_.position();
        uint32_t type = 0;
        uint32_t length = 0;
        if (!blockHeader(start, type, length) || type != kInterfaceBlock) {
            file_.seek(start);
            break;
        }
        if (!readInterfaceBlock(length)) {
            file_.seek(start);  // the walk ends there, as at a truncated record
            break;
        }
    }
    return "";
}

uint32_t PcapNgWalker::firstLinkType() const {
    const std::vector<CaptureInterface>& interfaces = layout_.sections.front().interfaces;
    return interfaces.empty() ? 0 : interfaces.front().linkType;
}

bool PcapNgWalker::anyReadableInterface() const {
    const std::vector<CaptureInterface>& interfaces = layout_.sections.front().interfaces;
    return interfaces.empty() ||
           std::any_of(interfaces.begin(), interfaces.end(),
                       [this](const CaptureInterface& i) { return readable_(i.linkType); });
}

void PcapNgWalker::useLayout(const CaptureLayout& layout) {
    if (layout.walkedTo > layout_.walkedTo && !layout.sections.empty()) {
        layout_ = layout;
    }
}

bool PcapNgWalker::seek(uint64_t offset) {
    if (offset >= layout_.walkedTo) {
        learnUpTo(offset);
    }
    // The section the offset lies in: the last one starting at or before it. Found by
    // halving, as a file may hold tens of thousands of sections and every known section
    // header met on a re-read comes here.
    auto after = std::upper_bound(
        layout_.sections.begin(), layout_.sections.end(), offset,
        [](uint64_t at, const CaptureSection& section) { return at < section.start; });
    section_ = after == layout_.sections.begin()
                   ? 0
                   : static_cast<size_t>(after - layout_.sections.begin()) - 1;
    swap_ = layout_.sections[section_].swap;
    return file_.seek(offset);
}

bool PcapNgWalker::damagedBlock(uint64_t start, const char* what) const {
    diagnostic("PCAPNG: damaged %s at offset %llu; reading stops\n", what,
               static_cast<unsigned long long>(start));
    return false;
}

bool PcapNgWalker::blockFits(uint64_t start, uint32_t length, uint32_t minimum) const {
    return length >= minimum && length % 4 == 0 && length <= file_.size() - start;
}

// A block's type and length, checked against the file; a section header's length is read
// by readSectionHeader, in the byte order the section announces.
bool PcapNgWalker::blockHeader(uint64_t start, uint32_t& type, uint32_t& length) {
    uint8_t header[8];
    if (file_.read(header, sizeof header) != sizeof header) {
        return false;  // the end of the file
    }
    type = get32(header);
    if (type == kSectionHeaderBlock) {
        return true;
    }
    length = get32(header + 4);
    return blockFits(start, length, kMinimumBlock) || damagedBlock(start);
}

// Moves to the block's trailing length and checks it; the position is then the next block.
bool PcapNgWalker::endOfBlock(uint64_t start, uint32_t length) {
    const uint64_t trailer = start + length - 4;
    uint8_t bytes[4];
    if (file_.position() > trailer || !file_.skip(trailer - file_.position()) ||
        file_.read(bytes, sizeof bytes) != sizeof bytes || get32(bytes) != length) {
        return damagedBlock(start);
    }
    layout_.walkedTo = std::max(layout_.walkedTo, start + length);
    return true;
}

bool PcapNgWalker::readSectionHeader(uint64_t start) {
    uint8_t header[12];
    if (!file_.seek(start) || file_.read(header, sizeof header) != sizeof header) {
        return false;
    }
    const uint32_t order = readLittleEndian32(header + 8);
    if (order != kByteOrderMagic && order != kSwappedByteOrderMagic) {
        return damagedBlock(start, "section header");
    }
    const bool previousSwap = swap_;
    swap_ = order == kSwappedByteOrderMagic;
    const uint32_t length = get32(header + 4);
    if (!blockFits(start, length, kMinimumSectionHeader)) {
        swap_ = previousSwap;
        return damagedBlock(start, "section header");
    }
    if (!endOfBlock(start, length)) {
        swap_ = previousSwap;
        return false;
    }
    CaptureSection section;
    section.start = start;
    section.swap = swap_;
    layout_.sections.push_back(std::move(section));
    section_ = layout_.sections.size() - 1;
    return true;
}

bool PcapNgWalker::readInterfaceBlock(uint32_t length) {
    const uint64_t start = file_.position() - 8;
    if (length < kMinimumInterfaceBlock) {
        return damagedBlock(start);
    }
    // Bounded by the file: blockHeader checked the length against what is left.
    std::vector<uint8_t> body(length - 12);
    if (file_.read(body.data(), body.size()) != body.size()) {
        return false;
    }
    CaptureInterface interface;
    interface.linkType = get16(body.data());
    interface.snapLength = get32(body.data() + 4);
    for (size_t at = 8; at + 4 <= body.size();) {
        const uint16_t code = get16(body.data() + at);
        const uint16_t size = get16(body.data() + at + 2);
        if (code == kOptionEnd || at + 4 + size > body.size()) {
            break;
        }
        const uint8_t* value = body.data() + at + 4;
        if (code == kOptionTimeResolution && size >= 1) {
            interface.decimal = (value[0] & 0x80) == 0;
            interface.exponent = value[0] & 0x7f;
        } else if (code == kOptionTimeOffset && size >= 8) {
            const uint64_t low = get32(value);
            const uint64_t high = get32(value + 4);
            // In the section's byte order as one 64-bit number.
            interface.offsetSeconds =
                static_cast<int64_t>(swap_ ? (low << 32) | high : (high << 32) | low);
        }
        at += 4 + ((size + 3u) & ~3u);
    }
    interface.unitsPerSecond = unitsPerSecondOf(interface);
    if (!endOfBlock(start, length)) {
        return false;
    }
    layout_.sections[section_].interfaces.push_back(interface);
    return true;
}

void PcapNgWalker::learnUpTo(uint64_t offset) {
    if (layout_.sections.empty() || !file_.seek(layout_.walkedTo)) {
        return;
    }
    section_ = layout_.sections.size() - 1;
    swap_ = layout_.sections[section_].swap;
    while (file_.position() < offset) {
        const uint64_t start = file_.position();
        uint32_t type = 0;
        uint32_t length = 0;
        if (!blockHeader(start, type, length)) {
            return;
        }
        if (type == kSectionHeaderBlock) {
            if (!readSectionHeader(start)) {
                return;
            }
        } else if (type == kInterfaceBlock) {
            if (!readInterfaceBlock(length)) {
                return;
            }
        } else if (!endOfBlock(start, length)) {
            return;
        }
    }
}

void PcapNgWalker::setTime(RawRecord& record, const CaptureInterface& interface, uint64_t units,
                           uint32_t number) const {
    constexpr uint64_t kMicro = 1000000;
    const uint64_t perSecond = interface.unitsPerSecond;
    if (perSecond == 0) {
        record.seconds = 0;
        record.microseconds = 0;
        return;
    }
    const uint64_t fraction = units % perSecond;
    // The offset may be anything a file says: the sum is taken wide and what a packet time
    // cannot hold (before 1970, after 2106) is said and brought to the nearest time it can.
    const __int128 seconds =
        static_cast<__int128>(units / perSecond) + static_cast<__int128>(interface.offsetSeconds);
    if (seconds < 0 || seconds > std::numeric_limits<uint32_t>::max()) {
        record.seconds = seconds < 0 ? 0 : std::numeric_limits<uint32_t>::max();
        diagnostic("Packet %d: time out of range; shown as %u\n", static_cast<int>(number),
                   record.seconds);
    } else {
        record.seconds = static_cast<uint32_t>(seconds);
    }
    // Decimal resolutions divide exactly; binary ones need the wide product.
    if (perSecond == kMicro) {
        record.microseconds = static_cast<uint32_t>(fraction);
    } else if (interface.decimal) {
        record.microseconds = static_cast<uint32_t>(
            perSecond > kMicro ? fraction / (perSecond / kMicro) : fraction * (kMicro / perSecond));
    } else {
        record.microseconds =
            static_cast<uint32_t>(static_cast<unsigned __int128>(fraction) * kMicro / perSecond);
    }
}

bool PcapNgWalker::next(RawRecord& record, uint32_t number) {
    for (;;) {
        const uint64_t start = file_.position();
        uint8_t head[8];
        if (file_.read(head, sizeof head) != sizeof head) {
            return false;  // the end of the file
        }
        const uint32_t type = get32(head);
        if (type == kSectionHeaderBlock) {
            if (start < layout_.walkedTo) {
                // Known from an earlier walk: only the section and its byte order change
                // (the length is read in the section's own order).
                seek(start);
                if (!file_.seek(start + get32(head + 4))) {
                    return false;
                }
            } else if (!readSectionHeader(start)) {
                return false;
            }
            continue;
        }
        const uint32_t length = get32(head + 4);
        if (!blockFits(start, length, kMinimumBlock)) {
            return damagedBlock(start);
        }
        const bool simple = type == kSimplePacketBlock;
        if (!simple && type != kEnhancedPacketBlock && type != kObsoletePacketBlock) {
            if (type == kInterfaceBlock && start >= layout_.walkedTo) {
                if (!readInterfaceBlock(length)) {
                    return false;
                }
            } else if (!endOfBlock(start, length)) {
                return false;  // interfaces known from an earlier walk, statistics, names...
            }
            continue;
        }
        if (length < (simple ? kMinimumSimpleBlock : kMinimumEnhancedBlock)) {
            return damagedBlock(start);
        }
        // The rest of the block in one piece: its fields, the frame, the options and the
        // trailing length (blockFits checked that the file holds it).
        const uint8_t* rest = file_.view(length - 8, scratch_);
        if (rest == nullptr || get32(rest + length - 12) != length) {
            return damagedBlock(start);
        }
        layout_.walkedTo = std::max(layout_.walkedTo, start + length);
        const std::vector<CaptureInterface>& interfaces = layout_.sections[section_].interfaces;
        record.offset = start;
        uint32_t interfaceId = 0;
        if (simple) {
            record.wireLength = get32(rest);
            record.storedLength = std::min(record.wireLength, length - kMinimumSimpleBlock);
            if (!interfaces.empty() && interfaces.front().snapLength > 0) {
                record.storedLength = std::min(record.storedLength, interfaces.front().snapLength);
            }
            record.data = rest + 4;
        } else {
            interfaceId = type == kEnhancedPacketBlock ? get32(rest) : get16(rest);
            record.storedLength = get32(rest + 12);
            record.wireLength = get32(rest + 16);
            if (record.storedLength > length - kMinimumEnhancedBlock) {
                return damagedBlock(start);
            }
            record.data = rest + 20;
        }
        record.linkType = RawRecord::kNoLinkType;
        record.seconds = 0;
        record.microseconds = 0;
        if (interfaceId < interfaces.size() && readable_(interfaces[interfaceId].linkType)) {
            const CaptureInterface& interface = interfaces[interfaceId];
            record.linkType = interface.linkType;
            // A simple packet block has no time of its own: only the interface's offset.
            const uint64_t units = simple ? 0 : (uint64_t{get32(rest + 4)} << 32) | get32(rest + 8);
            setTime(record, interface, units, number);
        }
        return true;
    }
}

}  // namespace varlowe
