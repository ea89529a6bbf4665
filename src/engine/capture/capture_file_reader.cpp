#include "capture_file_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "byte_order.h"
#include "engine/diagnostics.h"

namespace varlowe {

namespace {
constexpr uint32_t kEthernetHeaderSize = 14;
constexpr uint32_t kIpHeaderSize = 20;
constexpr uint32_t kUdpHeaderSize = 8;
constexpr uint32_t kTcpHeaderSize = 20;
constexpr uint32_t kCookedHeaderSize = 16;
constexpr uint32_t kCookedV2HeaderSize = 20;
constexpr uint32_t kLoopbackHeaderSize = 4;
constexpr uint16_t kEthernetTypeIpv4 = 0x0800;
constexpr uint16_t kEthernetTypeVlan = 0x8100;
constexpr uint16_t kEthernetTypeQinQ = 0x88a8;
constexpr uint32_t kFamilyInet = 2;
constexpr uint32_t kLinkTypeLoopback = 0;
constexpr uint32_t kLinkTypeRaw = 101;
constexpr uint32_t kLinkTypeCooked = 113;
constexpr uint32_t kLinkTypeRawIpv4 = 228;
constexpr uint32_t kLinkTypeCookedV2 = 276;
constexpr uint8_t kProtocolTcp = 6;
constexpr uint8_t kProtocolUdp = 17;

uint32_t overheadOf(uint32_t wireLength, uint32_t payloadLength) {
    // A wire length below the stored payload only comes from a damaged header.
    return wireLength > payloadLength ? wireLength - payloadLength : 0;
}
}  // namespace

const char* linkTypeName(uint32_t linkType) {
    struct Name {
        uint32_t type;
        const char* name;
    };
    static constexpr Name kNames[] = {
        {0, "BSD loopback"},
        {1, "Ethernet"},
        {9, "PPP"},
        {101, "raw IP"},
        {105, "IEEE 802.11 wireless"},
        {113, "Linux cooked capture"},
        {127, "IEEE 802.11 radiotap"},
        {228, "raw IPv4"},
        {229, "raw IPv6"},
        {276, "Linux cooked capture v2"},
    };
    for (const Name& entry : kNames) {
        if (entry.type == linkType) {
            return entry.name;
        }
    }
    return "unknown";
}

bool linkTypeSupported(uint32_t linkType) {
    switch (linkType) {
        case 0:    // BSD loopback
        case 1:    // Ethernet
        case 101:  // raw IP
        case 113:  // Linux cooked capture
        case 228:  // raw IPv4
        case 276:  // Linux cooked capture v2
            return true;
        default:
            return false;
    }
}

namespace {

constexpr uint32_t kNanosecondMagic = 0xa1b23c4du;
constexpr uint32_t kSwappedNanosecondMagic = 0x4d3cb2a1u;
constexpr size_t kLinkTypeOffset = 20;

// pcapng block types and sizes (the trailing length included).
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

std::string unsupportedLinkType(uint32_t linkType) {
    return "link type " + std::to_string(linkType) + " (" + linkTypeName(linkType) +
           ") is not supported; Varlowe reads Ethernet, Linux cooked, raw IPv4 and BSD "
           "loopback captures";
}

// What the system says of a path that cannot be read as a file; empty when it can be opened.
std::string accessProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return std::strerror(EISDIR);
    }
    if (::access(path.c_str(), R_OK) != 0) {
        return std::strerror(errno);
    }
    return std::string();
}

}  // namespace

bool CaptureFileReader::open(const std::string& path) {
    close();
    openError_ = accessProblem(path);
    uint8_t header[kGlobalHeaderSize];
    if (openError_.empty()) {
        if (!file_.open(path)) {
            openError_ = std::strerror(errno);
        } else if (file_.read(header, sizeof header) != sizeof header) {
            openError_ = "not a libpcap capture file (shorter than its 24-byte header)";
        }
    }
    if (openError_.empty()) {
        uint32_t magic = readLittleEndian32(header);
        if (magic == kMagic || magic == kSwappedMagic || magic == kNanosecondMagic ||
            magic == kSwappedNanosecondMagic) {
            swap_ = magic == kSwappedMagic || magic == kSwappedNanosecondMagic;
            nanoseconds_ = magic == kNanosecondMagic || magic == kSwappedNanosecondMagic;
            linkType_ = get32(header + kLinkTypeOffset);
            if (!linkTypeSupported(linkType_)) {
                openError_ = unsupportedLinkType(linkType_);
            }
        } else if (magic == kPcapNgMagic) {
            openPcapNg();
        } else {
            openError_ = "not a libpcap or pcapng capture file";
        }
    }
    if (!openError_.empty()) {
        close();
        diagnostic("PCAP: Invalid pcap file: %s\n\n", path.c_str());
        return false;
    }
    return true;
}

void CaptureFileReader::openPcapNg() {
    pcapng_ = true;
    file_.seek(0);
    if (!readSectionHeader(0)) {
        openError_ = "a damaged pcapng file (its section header block is not valid)";
        return;
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
    const std::vector<CaptureInterface>& interfaces = layout_.sections.front().interfaces;
    if (!interfaces.empty()) {
        linkType_ = interfaces.front().linkType;
        const bool readable =
            std::any_of(interfaces.begin(), interfaces.end(),
                        [](const CaptureInterface& i) { return linkTypeSupported(i.linkType); });
        if (!readable) {
            openError_ = unsupportedLinkType(linkType_);
        }
    }
}

void CaptureFileReader::useLayout(const CaptureLayout& layout) {
    if (pcapng_ && layout.walkedTo > layout_.walkedTo && !layout.sections.empty()) {
        layout_ = layout;
    }
}

bool CaptureFileReader::seek(uint64_t offset) {
    if (!file_.isOpen()) {
        return false;
    }
    if (pcapng_) {
        if (offset >= layout_.walkedTo) {
            learnPcapNgUpTo(offset);
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
    }
    return file_.seek(offset);
}

void CaptureFileReader::close() {
    file_.close();
    swap_ = false;
    nanoseconds_ = false;
    pcapng_ = false;
    layout_ = CaptureLayout();
    section_ = 0;
}

bool CaptureFileReader::nextFrame(FrameInfo& frame, uint64_t* position) {
    if (!file_.isOpen()) {
        return false;
    }
    return pcapng_ ? nextPcapNgPacket(frame, position) : nextClassicRecord(frame, position);
}

bool CaptureFileReader::nextClassicRecord(FrameInfo& frame, uint64_t* position) {
    for (;;) {
        ++counter_;
        uint64_t recordOffset = file_.position();
        if (position != nullptr) {
            *position = recordOffset;
        }
        uint8_t header[kRecordHeaderSize];
        if (file_.read(header, sizeof header) != sizeof header) {
            return false;
        }
        uint32_t fields[4];
        for (int i = 0; i < 4; ++i) {
            fields[i] = get32(header + 4 * i);
        }
        uint32_t storedLength = fields[2];
        if (storedLength > file_.remaining()) {
            return false;  // cut short: the same as the end of the file
        }
        frame.seconds = fields[0];
        frame.microseconds = nanoseconds_ ? fields[1] / 1000 : fields[1];
        frame.number = counter_;
        frame.fileOffset = recordOffset;

        uint32_t consumed = 0;
        Decoded result = decodeFrame(frame, storedLength, fields[3], consumed, linkType_);
        if (result == Decoded::StopReading) {
            return false;
        }
        if (!file_.skip(storedLength - consumed)) {
            return false;
        }
        if (result == Decoded::Accepted) {
            return true;
        }
    }
}

bool CaptureFileReader::damagedBlock(uint64_t start, const char* what) const {
    diagnostic("PCAPNG: damaged %s at offset %llu; reading stops\n", what,
               static_cast<unsigned long long>(start));
    return false;
}

bool CaptureFileReader::blockFits(uint64_t start, uint32_t length, uint32_t minimum) const {
    return length >= minimum && length % 4 == 0 && length <= file_.size() - start;
}

// A block's type and length, checked against the file; a section header's length is read
// by readSectionHeader, in the byte order the section announces.
bool CaptureFileReader::blockHeader(uint64_t start, uint32_t& type, uint32_t& length) {
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
bool CaptureFileReader::endOfBlock(uint64_t start, uint32_t length) {
    const uint64_t trailer = start + length - 4;
    uint8_t bytes[4];
    if (file_.position() > trailer || !file_.skip(trailer - file_.position()) ||
        file_.read(bytes, sizeof bytes) != sizeof bytes || get32(bytes) != length) {
        return damagedBlock(start);
    }
    layout_.walkedTo = std::max(layout_.walkedTo, start + length);
    return true;
}

bool CaptureFileReader::readSectionHeader(uint64_t start) {
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

bool CaptureFileReader::readInterfaceBlock(uint32_t length) {
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

void CaptureFileReader::learnPcapNgUpTo(uint64_t offset) {
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

void CaptureFileReader::setPacketTime(FrameInfo& frame, const CaptureInterface& interface,
                                      uint64_t units) const {
    constexpr uint64_t kMicro = 1000000;
    const uint64_t perSecond = interface.unitsPerSecond;
    if (perSecond == 0) {
        frame.seconds = 0;
        frame.microseconds = 0;
        return;
    }
    const uint64_t fraction = units % perSecond;
    // The offset may be anything a file says: the sum is taken wide and what a packet time
    // cannot hold (before 1970, after 2106) is said and brought to the nearest time it can.
    const __int128 seconds =
        static_cast<__int128>(units / perSecond) + static_cast<__int128>(interface.offsetSeconds);
    if (seconds < 0 || seconds > std::numeric_limits<uint32_t>::max()) {
        frame.seconds = seconds < 0 ? 0 : std::numeric_limits<uint32_t>::max();
        diagnostic("Packet %d: time out of range; shown as %u\n", static_cast<int>(frame.number),
                   frame.seconds);
    } else {
        frame.seconds = static_cast<uint32_t>(seconds);
    }
    // Decimal resolutions divide exactly; binary ones need the wide product.
    if (perSecond == kMicro) {
        frame.microseconds = static_cast<uint32_t>(fraction);
    } else if (interface.decimal) {
        frame.microseconds = static_cast<uint32_t>(
            perSecond > kMicro ? fraction / (perSecond / kMicro) : fraction * (kMicro / perSecond));
    } else {
        frame.microseconds =
            static_cast<uint32_t>(static_cast<unsigned __int128>(fraction) * kMicro / perSecond);
    }
}

bool CaptureFileReader::nextPcapNgPacket(FrameInfo& frame, uint64_t* position) {
    for (;;) {
        const uint64_t start = file_.position();
        // A block's header and, for the packet blocks, their fixed fields in one read.
        uint8_t head[8 + 20];
        const size_t got = file_.read(head, sizeof head);
        if (got < 8) {
            return false;  // the end of the file
        }
        const uint32_t type = get32(head);
        if (type == kSectionHeaderBlock) {
            if (start < layout_.walkedTo) {
                // Known from an earlier walk: only the section and its byte order change.
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
            file_.seek(start + 8);
            if (type == kInterfaceBlock && start >= layout_.walkedTo) {
                if (!readInterfaceBlock(length)) {
                    return false;
                }
            } else if (!endOfBlock(start, length)) {
                return false;  // interfaces known from an earlier walk, statistics, names...
            }
            continue;
        }

        ++counter_;
        if (position != nullptr) {
            *position = start;
        }
        const std::vector<CaptureInterface>& interfaces = layout_.sections[section_].interfaces;
        const uint8_t* fields = head + 8;
        uint32_t interfaceId = 0;
        uint32_t storedLength = 0;
        uint32_t wireLength = 0;
        uint64_t units = 0;
        if (simple) {
            if (length < kMinimumSimpleBlock || got < 12 || !file_.seek(start + 12)) {
                return damagedBlock(start);
            }
            wireLength = get32(fields);
            storedLength = std::min(wireLength, length - kMinimumSimpleBlock);
            if (!interfaces.empty() && interfaces.front().snapLength > 0) {
                storedLength = std::min(storedLength, interfaces.front().snapLength);
            }
        } else {
            if (length < kMinimumEnhancedBlock || got < sizeof head) {
                return damagedBlock(start);
            }
            interfaceId = type == kEnhancedPacketBlock ? get32(fields) : get16(fields);
            units = (uint64_t{get32(fields + 4)} << 32) | get32(fields + 8);
            storedLength = get32(fields + 12);
            wireLength = get32(fields + 16);
            if (storedLength > length - kMinimumEnhancedBlock) {
                return damagedBlock(start);
            }
        }
        frame.number = counter_;
        frame.fileOffset = start;
        Decoded result = Decoded::Dropped;
        uint32_t consumed = 0;
        if (interfaceId < interfaces.size() &&
            linkTypeSupported(interfaces[interfaceId].linkType)) {
            const CaptureInterface& interface = interfaces[interfaceId];
            setPacketTime(frame, interface, units);
            result = decodeFrame(frame, storedLength, wireLength, consumed, interface.linkType);
        }
        if (result == Decoded::StopReading || !endOfBlock(start, length)) {
            return false;
        }
        if (result == Decoded::Accepted) {
            return true;
        }
    }
}

CaptureFileReader::Decoded CaptureFileReader::decodeFrame(FrameInfo& frame, uint32_t storedLength,
                                                          uint32_t wireLength, uint32_t& consumed,
                                                          uint32_t linkType) {
    // The link-layer header: its length and the type of what it carries.
    uint32_t linkLength = 0;
    switch (linkType) {
        case kLinkTypeEthernet:
            linkLength = kEthernetHeaderSize;
            break;
        case kLinkTypeCooked:
            linkLength = kCookedHeaderSize;
            break;
        case kLinkTypeCookedV2:
            linkLength = kCookedV2HeaderSize;
            break;
        case kLinkTypeLoopback:
            linkLength = kLoopbackHeaderSize;
            break;
        default:  // raw IP: the record starts with the IP header
            break;
    }
    if (storedLength < linkLength) {
        return Decoded::Dropped;
    }
    uint8_t link[kCookedV2HeaderSize];
    if (file_.read(link, linkLength) != linkLength) {
        diagnostic(linkType == kLinkTypeEthernet ? "Packet %d: Unable to read ethernet header\n"
                                                 : "Packet %d: Unable to read link-layer header\n",
                   static_cast<int>(frame.number));
        return Decoded::StopReading;
    }
    consumed = linkLength;
    uint32_t remaining = storedLength - linkLength;
    uint16_t etherType = kEthernetTypeIpv4;
    if (linkType == kLinkTypeEthernet) {
        etherType = readBigEndian16(link + 12);
    } else if (linkType == kLinkTypeCooked) {
        etherType = readBigEndian16(link + 14);
    } else if (linkType == kLinkTypeCookedV2) {
        etherType = readBigEndian16(link);
    } else if (linkType == kLinkTypeLoopback) {
        // The address family in the byte order of the host that wrote it.
        const uint32_t family = readLittleEndian32(link);
        if (family != kFamilyInet && swapBytes32(family) != kFamilyInet) {
            return Decoded::Dropped;
        }
    }
    if (linkType == kLinkTypeEthernet || linkType == kLinkTypeCooked ||
        linkType == kLinkTypeCookedV2) {
        // 802.1Q and 802.1ad tags, one or two, before the carried type.
        for (int tags = 0;
             tags < 2 && (etherType == kEthernetTypeVlan || etherType == kEthernetTypeQinQ);
             ++tags) {
            uint8_t tag[4];
            if (remaining < sizeof tag || file_.read(tag, sizeof tag) != sizeof tag) {
                return Decoded::Dropped;
            }
            consumed += sizeof tag;
            remaining -= sizeof tag;
            etherType = readBigEndian16(tag + 2);
        }
    }
    if (etherType != kEthernetTypeIpv4 || remaining < kIpHeaderSize) {
        return Decoded::Dropped;
    }

    uint8_t ip[kIpHeaderSize];
    if (file_.read(ip, sizeof ip) != sizeof ip) {
        diagnostic("Packet %d: Unable to read ip header\n", static_cast<int>(frame.number));
        return Decoded::StopReading;
    }
    consumed += kIpHeaderSize;
    const bool rawIp = linkType == kLinkTypeRaw || linkType == kLinkTypeRawIpv4;
    if (rawIp && (ip[0] >> 4) != 4) {
        return Decoded::Dropped;  // IPv6 on a raw IP link
    }
    uint32_t headerLength = (ip[0] & 0x0fu) * 4;
    if (headerLength == 0) {
        diagnostic("Packet %d: Unable to read ip header\n", static_cast<int>(frame.number));
        return Decoded::StopReading;
    }
    if (headerLength < kIpHeaderSize || headerLength > remaining) {
        return Decoded::Dropped;  // shorter than the fixed header, or longer than the record
    }
    if (headerLength > kIpHeaderSize) {
        if (!file_.skip(headerLength - kIpHeaderSize)) {
            return Decoded::StopReading;
        }
        consumed += headerLength - kIpHeaderSize;
    }
    remaining -= headerLength;

    frame.protocol = ip[9];
    frame.sourceAddress = readBigEndian32(ip + 12);
    frame.destinationAddress = readBigEndian32(ip + 16);
    if (frame.protocol == kProtocolTcp && includeTcp_ && remaining >= kTcpHeaderSize) {
        uint32_t ipTotalLength = readBigEndian16(ip + 2);
        uint32_t ipPayload = ipTotalLength > headerLength ? ipTotalLength - headerLength : 0;
        return decodeTcp(frame, remaining, ipPayload, wireLength, consumed);
    }
    if (frame.protocol == kProtocolUdp && includeUdp_ && remaining >= kUdpHeaderSize) {
        return decodeUdp(frame, ip, remaining, wireLength, consumed);
    }
    return Decoded::Dropped;
}

CaptureFileReader::Decoded CaptureFileReader::decodeUdp(FrameInfo& frame, const uint8_t* ip,
                                                        uint32_t remaining, uint32_t wireLength,
                                                        uint32_t& consumed) {
    uint32_t headerLength = (ip[0] & 0x0fu) * 4;
    frame.ipPayloadLength = static_cast<uint16_t>(readBigEndian16(ip + 2) - headerLength);
    frame.ipIdentification = readBigEndian16(ip + 4);
    uint16_t flags = readBigEndian16(ip + 6);
    frame.fragmentOffset = static_cast<uint16_t>((flags & 0x1fffu) * 8);
    frame.moreFragments = (flags & 0x2000u) != 0 ? 1 : 0;
    frame.sourcePort = 0;
    frame.destinationPort = 0;
    frame.udpLength = 0;
    if (frame.fragmentOffset == 0) {
        uint8_t udp[kUdpHeaderSize];
        if (file_.read(udp, sizeof udp) != sizeof udp) {
            diagnostic("Packet %d: Unable to read udp header\n", static_cast<int>(frame.number));
            return Decoded::Dropped;
        }
        consumed += kUdpHeaderSize;
        remaining -= kUdpHeaderSize;
        frame.sourcePort = readBigEndian16(udp);
        frame.destinationPort = readBigEndian16(udp + 2);
        if (frame.moreFragments == 0) {
            frame.udpLength = readBigEndian16(udp + 4);
        }
    }
    if (remaining == 0) {
        return Decoded::Dropped;
    }
    if (!readPayload(frame, remaining, wireLength, consumed)) {
        return Decoded::StopReading;
    }
    if (frame.moreFragments != 0 || frame.fragmentOffset != 0) {
        return fragments_.add(frame) ? Decoded::Accepted : Decoded::Dropped;
    }
    return Decoded::Accepted;
}

CaptureFileReader::Decoded CaptureFileReader::decodeTcp(FrameInfo& frame, uint32_t remaining,
                                                        uint32_t ipPayloadLength,
                                                        uint32_t wireLength, uint32_t& consumed) {
    uint8_t tcp[kTcpHeaderSize];
    if (file_.read(tcp, sizeof tcp) != sizeof tcp) {
        diagnostic("Packet %d: Unable to read tcp header\n", static_cast<int>(frame.number));
        return Decoded::Dropped;
    }
    consumed += kTcpHeaderSize;
    uint32_t offsetWords = tcp[12] >> 4;
    uint32_t headerLength = offsetWords < 6 ? kTcpHeaderSize : offsetWords * 4;
    if (headerLength >= remaining) {
        return Decoded::Dropped;  // no payload, or options running past the record
    }
    if (headerLength > kTcpHeaderSize) {
        if (!file_.skip(headerLength - kTcpHeaderSize)) {
            return Decoded::StopReading;
        }
        consumed += headerLength - kTcpHeaderSize;
    }
    remaining -= headerLength;
    // Ethernet pads short frames (a bare acknowledgement is 54 bytes); those bytes are not
    // segment data and would corrupt the reassembled byte stream. A total length that is zero
    // or too small (segmentation offload) leaves the captured length in charge.
    if (ipPayloadLength > headerLength && ipPayloadLength - headerLength < remaining) {
        remaining = ipPayloadLength - headerLength;
    } else if (ipPayloadLength == headerLength) {
        return Decoded::Dropped;
    }
    frame.sourcePort = readBigEndian16(tcp);
    frame.destinationPort = readBigEndian16(tcp + 2);
    frame.ipPayloadLength = 0;
    frame.ipIdentification = 0;
    frame.moreFragments = 0;
    frame.udpLength = 0;
    frame.fragmentOffset = 0;
    if (!readPayload(frame, remaining, wireLength, consumed)) {
        return Decoded::StopReading;
    }
    return Decoded::Accepted;
}

bool CaptureFileReader::readPayload(FrameInfo& frame, uint32_t length, uint32_t wireLength,
                                    uint32_t& consumed) {
    uint8_t* out = frame.preparePayload(length);
    if (file_.read(out, length) != length) {
        return false;
    }
    consumed += length;
    frame.headerOverhead = overheadOf(wireLength, length);
    return true;
}

}  // namespace varlowe
