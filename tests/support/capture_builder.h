#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Writes capture files from frame descriptions, for tests, fuzz seeds and benchmarks.
namespace varlowe::testsupport {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return (uint32_t{a} << 24) | (uint32_t{b} << 16) | (uint32_t{c} << 8) | d;
}

Bytes bytesOf(const std::string& text);

struct IpFields {
    uint16_t identification = 1;
    uint16_t fragmentOffset = 0;  // bytes, a multiple of 8
    bool moreFragments = false;
    Bytes options;               // appended to the 20-byte header (padded to 4 bytes)
    int headerLengthWords = -1;  // overrides the header-length nibble when >= 0
    int totalLength = -1;        // overrides the total-length field when >= 0
    uint8_t ttl = 64;
};

struct VlanTag {
    bool present = false;
    uint16_t id = 100;
};

Bytes ethernetFrame(const Bytes& ipPacket, uint16_t etherType = 0x0800, VlanTag vlan = {});
Bytes ipv4Packet(uint32_t source, uint32_t destination, uint8_t protocol, const Bytes& body,
                 const IpFields& fields = {});
Bytes udpDatagram(uint16_t sourcePort, uint16_t destinationPort, const Bytes& payload);
Bytes tcpSegment(uint16_t sourcePort, uint16_t destinationPort, const Bytes& payload,
                 const Bytes& options = {}, uint32_t sequence = 1, uint8_t flags = 0x18);

// Whole Ethernet frames.
Bytes udpFrame(uint32_t source, uint16_t sourcePort, uint32_t destination, uint16_t destinationPort,
               const Bytes& payload, const IpFields& fields = {});
// Without a sequence number the segment follows the last one built for the same direction,
// as a connection's next segment would.
Bytes tcpFrame(uint32_t source, uint16_t sourcePort, uint32_t destination, uint16_t destinationPort,
               const Bytes& payload, const Bytes& options = {},
               std::optional<uint32_t> sequence = std::nullopt, uint8_t flags = 0x18);
// Splits one UDP datagram into IPv4 fragments whose IP payloads hold at most
// `fragmentSize` bytes (rounded down to a multiple of 8), in offset order.
std::vector<Bytes> fragmentedUdpFrames(uint32_t source, uint16_t sourcePort, uint32_t destination,
                                       uint16_t destinationPort, const Bytes& payload,
                                       uint16_t identification, size_t fragmentSize);
// Pads a frame to the 60-byte Ethernet minimum with the given byte.
Bytes padded(Bytes frame, uint8_t fill = 0);

enum class FileByteOrder { Little, Big };
// A whole file as text; empty when it cannot be read.
std::string fileText(const std::string& path);
// Writes a whole file; throws when it cannot.
void writeBytes(const std::string& path, const Bytes& bytes);
// Appends the low `bytes` bytes of `value` in the byte order.
void putOrdered(Bytes& out, uint32_t value, int bytes, FileByteOrder order);

// Builds a capture file in memory, record by record.
class CaptureBuilder {
  public:
    static constexpr uint32_t kMicrosecondMagic = 0xa1b2c3d4u;
    static constexpr uint32_t kNanosecondMagic = 0xa1b23c4du;

    explicit CaptureBuilder(FileByteOrder order = FileByteOrder::Little,
                            uint32_t magic = kMicrosecondMagic, uint32_t linkType = 1);

    // A whole frame.
    CaptureBuilder& add(const Bytes& frame, uint32_t seconds = 0, uint32_t microseconds = 0);
    // A frame stored up to `snapshotLength` bytes, with its full length as wire length.
    CaptureBuilder& addSnapshot(const Bytes& frame, uint32_t snapshotLength, uint32_t seconds = 0,
                                uint32_t microseconds = 0);
    // A record whose header announces the whole frame but whose data is cut after `kept`
    // bytes; only sensible as the last record.
    CaptureBuilder& addTruncated(const Bytes& frame, uint32_t kept, uint32_t seconds = 0,
                                 uint32_t microseconds = 0);
    // A record header with arbitrary lengths followed by the given bytes.
    CaptureBuilder& addRaw(uint32_t capturedLength, uint32_t wireLength, const Bytes& data,
                           uint32_t seconds = 0, uint32_t microseconds = 0);
    // Stray bytes (for instance half a record header).
    CaptureBuilder& appendBytes(const Bytes& data);

    const Bytes& bytes() const { return bytes_; }
    // Hands out what was built so far and keeps building after it (for streaming writers).
    Bytes takeBytes();
    size_t recordCount() const { return records_; }
    void writeTo(const std::string& path) const;

  private:
    void put32(uint32_t value);
    void put16(uint16_t value);

    FileByteOrder order_;
    Bytes bytes_;
    size_t records_ = 0;
};

// Frames of the other link layers around an IPv4 packet (or any carried type).
// Ethernet with tags: each entry a tag protocol identifier (0x8100 or 0x88a8), outermost first.
Bytes taggedEthernetFrame(const Bytes& ipPacket, const std::vector<uint16_t>& tagTypes,
                          uint16_t etherType = 0x0800);
// Linux cooked capture, v1 (16-byte header) or v2 (20 bytes), optionally with tags.
Bytes cookedFrame(const Bytes& ipPacket, bool version2, const std::vector<uint16_t>& tagTypes = {},
                  uint16_t protocol = 0x0800);
// An IPv6 packet; `extensions` are (next-header value, header bytes) pairs placed in order
// before the body, each header's next-header byte filled in.
using Ipv6Address = std::array<uint8_t, 16>;
Ipv6Address ipv6(const std::string& text);
Bytes ipv6Packet(const Ipv6Address& source, const Ipv6Address& destination, uint8_t protocol,
                 const Bytes& body, const std::vector<std::pair<uint8_t, Bytes>>& extensions = {});
// An IPv6 fragment header's bytes (after the next-header byte's place).
Bytes ipv6FragmentHeader(uint16_t offset, bool more, uint32_t identification);

// The body of a PPPoE session frame (Ethernet type 0x8864) carrying a PPP protocol.
Bytes pppoeSession(const Bytes& packet, uint16_t pppProtocol = 0x0021);
// An MPLS label stack (Ethernet type 0x8847), the last entry marked bottom of stack.
Bytes mplsStack(const Bytes& packet, const std::vector<uint32_t>& labels);
// A GRE header (version 0) with the optional checksum, key and sequence number.
Bytes greBody(const Bytes& packet, uint16_t carriedType, bool checksum = false, bool key = false,
              bool sequence = false);
// The packet a HEP datagram carries.
struct HepInner {
    uint32_t source = 0;
    uint32_t destination = 0;
    uint16_t sourcePort = 5060;
    uint16_t destinationPort = 5060;
    uint8_t protocol = 17;
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
};
// The UDP payload of HEP version 3 (chunks) and of version 2 (the fixed header, times in
// little-endian order as x86 senders write them).
Bytes hep3Payload(const HepInner& inner, const Bytes& payload);
Bytes hep2Payload(const HepInner& inner, const Bytes& payload);
// BSD loopback: the 4-byte address family in the given byte order.
Bytes loopbackFrame(const Bytes& ipPacket, FileByteOrder order, uint32_t family = 2);

// Builds a pcapng file in memory, block by block; each section in its own byte order.
class PcapNgBuilder {
  public:
    explicit PcapNgBuilder(FileByteOrder order = FileByteOrder::Little) { section(order); }

    PcapNgBuilder& section(FileByteOrder order);
    // An interface description; `resolution` is the if_tsresol byte (none when negative),
    // `offsetSeconds` the if_tsoffset option (none when 0).
    PcapNgBuilder& interface(uint16_t linkType, uint32_t snapLength = 262144, int resolution = -1,
                             int64_t offsetSeconds = 0);
    // Packets: enhanced, simple and the obsolete packet block; wire length as the frame's
    // unless given.
    PcapNgBuilder& enhanced(uint32_t interfaceId, uint64_t timestamp, const Bytes& frame,
                            uint32_t wireLength = 0);
    PcapNgBuilder& simple(const Bytes& frame, uint32_t wireLength = 0);
    PcapNgBuilder& obsolete(uint16_t interfaceId, uint64_t timestamp, const Bytes& frame);
    // Any other block with its body (padded to 4 bytes).
    PcapNgBuilder& block(uint32_t type, const Bytes& body);
    // Stray bytes.
    PcapNgBuilder& appendBytes(const Bytes& data);

    // Offset of the last block written and the whole file.
    size_t lastBlock() const { return lastBlock_; }
    Bytes& bytes() { return bytes_; }
    void writeTo(const std::string& path) const;
    // Overwrites a 32-bit value at `offset` in the current section's byte order.
    void patch32(size_t offset, uint32_t value);

  private:
    void put32(Bytes& out, uint32_t value) const;
    void put16(Bytes& out, uint16_t value) const;
    void finish(uint32_t type, Bytes body);

    FileByteOrder order_ = FileByteOrder::Little;
    Bytes bytes_;
    size_t lastBlock_ = 0;
};

// A file in a fresh temporary folder, removed with the folder when the object goes.
class TempFile {
  public:
    explicit TempFile(const std::string& name = "capture.pcap");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }
    void write(const Bytes& data) const;
    Bytes read() const;

  private:
    std::string folder_;
    std::string path_;
};

}  // namespace varlowe::testsupport
