#include "capture_file_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "byte_order.h"
#include "diagnostics.h"

namespace varlowe {

namespace {
constexpr uint32_t kEthernetHeaderSize = 14;
constexpr uint32_t kIpHeaderSize = 20;
constexpr uint32_t kUdpHeaderSize = 8;
constexpr uint32_t kTcpHeaderSize = 20;
constexpr uint16_t kEthernetTypeIpv4 = 0x0800;
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

namespace {

constexpr uint32_t kNanosecondMagic = 0xa1b23c4du;
constexpr uint32_t kSwappedNanosecondMagic = 0x4d3cb2a1u;
constexpr uint32_t kPcapNgMagic = 0x0a0d0d0au;
constexpr size_t kLinkTypeOffset = 20;

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
        if (magic == kMagic || magic == kSwappedMagic) {
            swap_ = magic == kSwappedMagic;
            linkType_ = readLittleEndian32(header + kLinkTypeOffset);
            if (swap_) {
                linkType_ = swapBytes32(linkType_);
            }
            if (linkType_ != kLinkTypeEthernet) {
                openError_ = "link type " + std::to_string(linkType_) + " (" +
                             linkTypeName(linkType_) +
                             ") is not supported; Varlowe reads Ethernet captures";
            }
        } else if (magic == kNanosecondMagic || magic == kSwappedNanosecondMagic) {
            openError_ = "a libpcap file with nanosecond times, which Varlowe does not read";
        } else if (magic == kPcapNgMagic) {
            openError_ = "a pcapng file, which Varlowe does not read; save it as libpcap (pcap)";
        } else {
            openError_ = "not a libpcap capture file";
        }
    }
    if (!openError_.empty()) {
        file_.close();
        swap_ = false;
        diagnostic("PCAP: Invalid pcap file: %s\n\n", path.c_str());
        return false;
    }
    return true;
}

bool CaptureFileReader::seek(uint64_t offset) {
    return file_.isOpen() && file_.seek(offset);
}

void CaptureFileReader::close() {
    file_.close();
    swap_ = false;
}

bool CaptureFileReader::nextFrame(FrameInfo& frame, uint64_t* position) {
    if (!file_.isOpen()) {
        return false;
    }
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
            fields[i] = readLittleEndian32(header + 4 * i);
            if (swap_) {
                fields[i] = swapBytes32(fields[i]);
            }
        }
        uint32_t storedLength = fields[2];
        if (storedLength > file_.remaining()) {
            return false;  // cut short: the same as the end of the file
        }
        frame.seconds = fields[0];
        frame.microseconds = fields[1];
        frame.number = counter_;
        frame.fileOffset = recordOffset;

        uint32_t consumed = 0;
        Decoded result = decodeFrame(frame, storedLength, fields[3], consumed);
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

CaptureFileReader::Decoded CaptureFileReader::decodeFrame(FrameInfo& frame, uint32_t storedLength,
                                                          uint32_t wireLength, uint32_t& consumed) {
    if (storedLength < kEthernetHeaderSize) {
        return Decoded::Dropped;
    }
    uint8_t ethernet[kEthernetHeaderSize];
    if (file_.read(ethernet, sizeof ethernet) != sizeof ethernet) {
        diagnostic("Packet %d: Unable to read ethernet header\n", static_cast<int>(frame.number));
        return Decoded::StopReading;
    }
    consumed = kEthernetHeaderSize;
    uint32_t remaining = storedLength - kEthernetHeaderSize;
    if (readBigEndian16(ethernet + 12) != kEthernetTypeIpv4 || remaining < kIpHeaderSize) {
        return Decoded::Dropped;
    }

    uint8_t ip[kIpHeaderSize];
    if (file_.read(ip, sizeof ip) != sizeof ip) {
        diagnostic("Packet %d: Unable to read ip header\n", static_cast<int>(frame.number));
        return Decoded::StopReading;
    }
    consumed += kIpHeaderSize;
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
