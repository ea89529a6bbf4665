#include "capture_builder.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <tuple>

namespace varlowe::testsupport {

namespace {
void putBe16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void putBe32(Bytes& out, uint32_t v) {
    putBe16(out, static_cast<uint16_t>(v >> 16));
    putBe16(out, static_cast<uint16_t>(v));
}
uint16_t checksum(const Bytes& data, size_t begin, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) {
        sum += (uint32_t{data[begin + i]} << 8) | data[begin + i + 1];
    }
    if (length % 2 != 0) {
        sum += uint32_t{data[begin + length - 1]} << 8;
    }
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum);
}
}  // namespace

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes ethernetFrame(const Bytes& ipPacket, uint16_t etherType, VlanTag vlan) {
    Bytes frame = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb};
    if (vlan.present) {
        putBe16(frame, 0x8100);
        putBe16(frame, vlan.id);
    }
    putBe16(frame, etherType);
    frame.insert(frame.end(), ipPacket.begin(), ipPacket.end());
    return frame;
}

Bytes ipv4Packet(uint32_t source, uint32_t destination, uint8_t protocol, const Bytes& body,
                 const IpFields& fields) {
    Bytes options = fields.options;
    while (options.size() % 4 != 0) {
        options.push_back(0);
    }
    size_t headerLength = 20 + options.size();
    Bytes packet;
    uint8_t words = fields.headerLengthWords >= 0 ? static_cast<uint8_t>(fields.headerLengthWords)
                                                  : static_cast<uint8_t>(headerLength / 4);
    packet.push_back(static_cast<uint8_t>(0x40 | (words & 0x0f)));
    packet.push_back(0);
    putBe16(packet, static_cast<uint16_t>(fields.totalLength >= 0 ? fields.totalLength
                                                                  : headerLength + body.size()));
    putBe16(packet, fields.identification);
    uint16_t flags = static_cast<uint16_t>((fields.fragmentOffset / 8) & 0x1fff);
    if (fields.moreFragments) {
        flags |= 0x2000;
    }
    putBe16(packet, flags);
    packet.push_back(fields.ttl);
    packet.push_back(protocol);
    putBe16(packet, 0);
    putBe32(packet, source);
    putBe32(packet, destination);
    packet.insert(packet.end(), options.begin(), options.end());
    uint16_t sum = checksum(packet, 0, packet.size());
    packet[10] = static_cast<uint8_t>(sum >> 8);
    packet[11] = static_cast<uint8_t>(sum);
    packet.insert(packet.end(), body.begin(), body.end());
    return packet;
}

Bytes udpDatagram(uint16_t sourcePort, uint16_t destinationPort, const Bytes& payload) {
    Bytes datagram;
    putBe16(datagram, sourcePort);
    putBe16(datagram, destinationPort);
    putBe16(datagram, static_cast<uint16_t>(8 + payload.size()));
    putBe16(datagram, 0);  // no checksum
    datagram.insert(datagram.end(), payload.begin(), payload.end());
    return datagram;
}

Bytes tcpSegment(uint16_t sourcePort, uint16_t destinationPort, const Bytes& payload,
                 const Bytes& options, uint32_t sequence, uint8_t flags) {
    Bytes padOptions = options;
    while (padOptions.size() % 4 != 0) {
        padOptions.push_back(1);  // no-operation
    }
    Bytes segment;
    putBe16(segment, sourcePort);
    putBe16(segment, destinationPort);
    putBe32(segment, sequence);
    putBe32(segment, 0);
    segment.push_back(static_cast<uint8_t>(((20 + padOptions.size()) / 4) << 4));
    segment.push_back(flags);
    putBe16(segment, 65535);
    putBe16(segment, 0);
    putBe16(segment, 0);
    segment.insert(segment.end(), padOptions.begin(), padOptions.end());
    segment.insert(segment.end(), payload.begin(), payload.end());
    return segment;
}

Bytes udpFrame(uint32_t source, uint16_t sourcePort, uint32_t destination, uint16_t destinationPort,
               const Bytes& payload, const IpFields& fields) {
    return ethernetFrame(ipv4Packet(source, destination, 17,
                                    udpDatagram(sourcePort, destinationPort, payload), fields));
}

Bytes tcpFrame(uint32_t source, uint16_t sourcePort, uint32_t destination, uint16_t destinationPort,
               const Bytes& payload, const Bytes& options, std::optional<uint32_t> sequence,
               uint8_t flags) {
    // Each direction's next sequence number, so that frames built one after the other make
    // one byte stream.
    static std::map<std::tuple<uint32_t, uint16_t, uint32_t, uint16_t>, uint32_t> next;
    uint32_t& following = next[std::make_tuple(source, sourcePort, destination, destinationPort)];
    const uint32_t first = sequence ? *sequence : following;
    following = first + static_cast<uint32_t>(payload.size()) + ((flags & 0x03) != 0 ? 1 : 0);
    IpFields fields;
    return ethernetFrame(ipv4Packet(
        source, destination, 6,
        tcpSegment(sourcePort, destinationPort, payload, options, first, flags), fields));
}

std::vector<Bytes> fragmentedUdpFrames(uint32_t source, uint16_t sourcePort, uint32_t destination,
                                       uint16_t destinationPort, const Bytes& payload,
                                       uint16_t identification, size_t fragmentSize) {
    Bytes datagram = udpDatagram(sourcePort, destinationPort, payload);
    size_t step = fragmentSize / 8 * 8;
    if (step == 0) {
        throw std::invalid_argument("fragment size below 8");
    }
    std::vector<Bytes> frames;
    for (size_t offset = 0; offset < datagram.size(); offset += step) {
        size_t length = std::min(step, datagram.size() - offset);
        IpFields fields;
        fields.identification = identification;
        fields.fragmentOffset = static_cast<uint16_t>(offset);
        fields.moreFragments = offset + length < datagram.size();
        Bytes piece(datagram.begin() + static_cast<long>(offset),
                    datagram.begin() + static_cast<long>(offset + length));
        frames.push_back(ethernetFrame(ipv4Packet(source, destination, 17, piece, fields)));
    }
    return frames;
}

Bytes padded(Bytes frame, uint8_t fill) {
    if (frame.size() < 60) {
        frame.resize(60, fill);
    }
    return frame;
}

CaptureBuilder::CaptureBuilder(FileByteOrder order, uint32_t magic, uint32_t linkType)
    : order_(order) {
    put32(magic);
    put16(2);
    put16(4);
    put32(0);
    put32(0);
    put32(262144);
    put32(linkType);
}

void putOrdered(Bytes& out, uint32_t value, int bytes, FileByteOrder order) {
    for (int i = 0; i < bytes; ++i) {
        const int shift = order == FileByteOrder::Little ? 8 * i : 8 * (bytes - 1 - i);
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void CaptureBuilder::put32(uint32_t value) {
    putOrdered(bytes_, value, 4, order_);
}

void CaptureBuilder::put16(uint16_t value) {
    putOrdered(bytes_, value, 2, order_);
}

CaptureBuilder& CaptureBuilder::addRaw(uint32_t capturedLength, uint32_t wireLength,
                                       const Bytes& data, uint32_t seconds, uint32_t microseconds) {
    put32(static_cast<uint32_t>(seconds));
    put32(static_cast<uint32_t>(microseconds));
    put32(capturedLength);
    put32(wireLength);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    ++records_;
    return *this;
}

CaptureBuilder& CaptureBuilder::add(const Bytes& frame, uint32_t seconds, uint32_t microseconds) {
    auto length = static_cast<uint32_t>(frame.size());
    return addRaw(length, length, frame, seconds, microseconds);
}

CaptureBuilder& CaptureBuilder::addSnapshot(const Bytes& frame, uint32_t snapshotLength,
                                            uint32_t seconds, uint32_t microseconds) {
    auto kept = std::min<uint32_t>(snapshotLength, static_cast<uint32_t>(frame.size()));
    return addRaw(kept, static_cast<uint32_t>(frame.size()),
                  Bytes(frame.begin(), frame.begin() + kept), seconds, microseconds);
}

CaptureBuilder& CaptureBuilder::addTruncated(const Bytes& frame, uint32_t kept, uint32_t seconds,
                                             uint32_t microseconds) {
    auto length = static_cast<uint32_t>(frame.size());
    kept = std::min(kept, length);
    return addRaw(length, length, Bytes(frame.begin(), frame.begin() + kept), seconds,
                  microseconds);
}

CaptureBuilder& CaptureBuilder::appendBytes(const Bytes& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

Bytes CaptureBuilder::takeBytes() {
    Bytes out;
    out.swap(bytes_);
    return out;
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CaptureBuilder::writeTo(const std::string& path) const {
    writeBytes(path, bytes_);
}

Bytes taggedEthernetFrame(const Bytes& ipPacket, const std::vector<uint16_t>& tagTypes,
                          uint16_t etherType) {
    Bytes frame = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb};
    uint16_t vlan = 100;
    for (uint16_t type : tagTypes) {
        putBe16(frame, type);
        putBe16(frame, vlan++);
    }
    putBe16(frame, etherType);
    frame.insert(frame.end(), ipPacket.begin(), ipPacket.end());
    return frame;
}

Ipv6Address ipv6(const std::string& text) {
    Ipv6Address address{};
    if (inet_pton(AF_INET6, text.c_str(), address.data()) != 1) {
        throw std::invalid_argument("not an IPv6 address: " + text);
    }
    return address;
}

Bytes ipv6Packet(const Ipv6Address& source, const Ipv6Address& destination, uint8_t protocol,
                 const Bytes& body, const std::vector<std::pair<uint8_t, Bytes>>& extensions) {
    Bytes chain;
    for (size_t i = 0; i < extensions.size(); ++i) {
        const uint8_t next = i + 1 < extensions.size() ? extensions[i + 1].first : protocol;
        Bytes header = extensions[i].second;
        header.insert(header.begin(), next);
        chain.insert(chain.end(), header.begin(), header.end());
    }
    chain.insert(chain.end(), body.begin(), body.end());
    Bytes packet = {0x60, 0, 0, 0};
    putBe16(packet, static_cast<uint16_t>(chain.size()));
    packet.push_back(extensions.empty() ? protocol : extensions.front().first);
    packet.push_back(64);
    packet.insert(packet.end(), source.begin(), source.end());
    packet.insert(packet.end(), destination.begin(), destination.end());
    packet.insert(packet.end(), chain.begin(), chain.end());
    return packet;
}

Bytes ipv6FragmentHeader(uint16_t offset, bool more, uint32_t identification) {
    Bytes header = {0};
    putBe16(header, static_cast<uint16_t>((offset & 0xfff8) | (more ? 1 : 0)));
    putBe32(header, identification);
    return header;
}

Bytes pppoeSession(const Bytes& packet, uint16_t pppProtocol) {
    Bytes body = {0x11, 0x00, 0x12, 0x34};  // version 1, type 1, session data, session id
    putBe16(body, static_cast<uint16_t>(packet.size() + 2));
    putBe16(body, pppProtocol);
    body.insert(body.end(), packet.begin(), packet.end());
    return body;
}

Bytes mplsStack(const Bytes& packet, const std::vector<uint32_t>& labels) {
    Bytes body;
    for (size_t i = 0; i < labels.size(); ++i) {
        putBe32(body, (labels[i] << 12) | (i + 1 == labels.size() ? 0x100u : 0u) | 64u);
    }
    body.insert(body.end(), packet.begin(), packet.end());
    return body;
}

Bytes greBody(const Bytes& packet, uint16_t carriedType, bool checksum, bool key, bool sequence) {
    Bytes body;
    putBe16(body, static_cast<uint16_t>((checksum ? 0x8000 : 0) | (key ? 0x2000 : 0) |
                                        (sequence ? 0x1000 : 0)));
    putBe16(body, carriedType);
    if (checksum) {
        putBe32(body, 0);
    }
    if (key) {
        putBe32(body, 0xcafe);
    }
    if (sequence) {
        putBe32(body, 7);
    }
    body.insert(body.end(), packet.begin(), packet.end());
    return body;
}

Bytes hep3Payload(const HepInner& inner, const Bytes& payload) {
    Bytes chunks;
    auto chunk = [&chunks](uint16_t type, const Bytes& value) {
        putBe16(chunks, 0);
        putBe16(chunks, type);
        putBe16(chunks, static_cast<uint16_t>(6 + value.size()));
        chunks.insert(chunks.end(), value.begin(), value.end());
    };
    auto be = [](uint32_t value, int bytes) {
        Bytes out;
        for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
            out.push_back(static_cast<uint8_t>(value >> shift));
        }
        return out;
    };
    chunk(1, {2});
    chunk(2, {inner.protocol});
    chunk(3, be(inner.source, 4));
    chunk(4, be(inner.destination, 4));
    chunk(7, be(inner.sourcePort, 2));
    chunk(8, be(inner.destinationPort, 2));
    chunk(9, be(inner.seconds, 4));
    chunk(10, be(inner.microseconds, 4));
    chunk(11, {1});
    chunk(12, be(2001, 4));
    chunk(15, payload);
    Bytes out = {'H', 'E', 'P', '3'};
    putBe16(out, static_cast<uint16_t>(6 + chunks.size()));
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

Bytes hep2Payload(const HepInner& inner, const Bytes& payload) {
    Bytes out = {2, 16, 2, inner.protocol};
    putBe16(out, inner.sourcePort);
    putBe16(out, inner.destinationPort);
    putBe32(out, inner.source);
    putBe32(out, inner.destination);
    for (uint32_t value : {inner.seconds, inner.microseconds}) {
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<uint8_t>(value >> shift));
        }
    }
    out.insert(out.end(), {0xd1, 0x07, 0, 0});  // capture id, padding
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes cookedFrame(const Bytes& ipPacket, bool version2, const std::vector<uint16_t>& tagTypes,
                  uint16_t protocol) {
    const uint16_t first = tagTypes.empty() ? protocol : tagTypes.front();
    Bytes frame;
    if (version2) {
        putBe16(frame, first);  // protocol type
        putBe16(frame, 0);      // reserved
        putBe32(frame, 1);      // interface index
        putBe16(frame, 1);      // ARPHRD_ETHER
        frame.push_back(0);     // packet type: to us
        frame.push_back(6);     // address length
        for (uint8_t b : {0x02, 0x42, 0xac, 0x11, 0x00, 0x02, 0x00, 0x00}) frame.push_back(b);
    } else {
        putBe16(frame, 0);  // packet type: to us
        putBe16(frame, 1);  // ARPHRD_ETHER
        putBe16(frame, 6);  // address length
        for (uint8_t b : {0x02, 0x42, 0xac, 0x11, 0x00, 0x02, 0x00, 0x00}) frame.push_back(b);
        putBe16(frame, first);
    }
    for (size_t i = 0; i < tagTypes.size(); ++i) {
        putBe16(frame, static_cast<uint16_t>(200 + i));
        putBe16(frame, i + 1 < tagTypes.size() ? tagTypes[i + 1] : protocol);
    }
    frame.insert(frame.end(), ipPacket.begin(), ipPacket.end());
    return frame;
}

Bytes loopbackFrame(const Bytes& ipPacket, FileByteOrder order, uint32_t family) {
    Bytes frame;
    putOrdered(frame, family, 4, order);
    frame.insert(frame.end(), ipPacket.begin(), ipPacket.end());
    return frame;
}

void PcapNgBuilder::put32(Bytes& out, uint32_t value) const {
    putOrdered(out, value, 4, order_);
}

void PcapNgBuilder::put16(Bytes& out, uint16_t value) const {
    putOrdered(out, value, 2, order_);
}

void PcapNgBuilder::finish(uint32_t type, Bytes body) {
    while (body.size() % 4 != 0) body.push_back(0);
    lastBlock_ = bytes_.size();
    const auto length = static_cast<uint32_t>(body.size() + 12);
    put32(bytes_, type);
    put32(bytes_, length);
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    put32(bytes_, length);
}

PcapNgBuilder& PcapNgBuilder::section(FileByteOrder order) {
    order_ = order;
    Bytes body;
    put32(body, 0x1a2b3c4du);
    put16(body, 1);
    put16(body, 0);
    put32(body, 0xffffffffu);  // section length not given
    put32(body, 0xffffffffu);
    finish(0x0a0d0d0au, body);
    return *this;
}

PcapNgBuilder& PcapNgBuilder::interface(uint16_t linkType, uint32_t snapLength, int resolution,
                                        int64_t offsetSeconds) {
    Bytes body;
    put16(body, linkType);
    put16(body, 0);
    put32(body, snapLength);
    if (resolution >= 0) {
        put16(body, 9);
        put16(body, 1);
        body.push_back(static_cast<uint8_t>(resolution));
        body.insert(body.end(), 3, 0);
    }
    if (offsetSeconds != 0) {
        put16(body, 14);
        put16(body, 8);
        const auto value = static_cast<uint64_t>(offsetSeconds);
        if (order_ == FileByteOrder::Little) {
            put32(body, static_cast<uint32_t>(value));
            put32(body, static_cast<uint32_t>(value >> 32));
        } else {
            put32(body, static_cast<uint32_t>(value >> 32));
            put32(body, static_cast<uint32_t>(value));
        }
    }
    if (resolution >= 0 || offsetSeconds != 0) {
        put16(body, 0);
        put16(body, 0);
    }
    finish(1, body);
    return *this;
}

PcapNgBuilder& PcapNgBuilder::enhanced(uint32_t interfaceId, uint64_t timestamp, const Bytes& frame,
                                       uint32_t wireLength) {
    Bytes body;
    put32(body, interfaceId);
    put32(body, static_cast<uint32_t>(timestamp >> 32));
    put32(body, static_cast<uint32_t>(timestamp));
    put32(body, static_cast<uint32_t>(frame.size()));
    put32(body, wireLength != 0 ? wireLength : static_cast<uint32_t>(frame.size()));
    body.insert(body.end(), frame.begin(), frame.end());
    finish(6, body);
    return *this;
}

PcapNgBuilder& PcapNgBuilder::simple(const Bytes& frame, uint32_t wireLength) {
    Bytes body;
    put32(body, wireLength != 0 ? wireLength : static_cast<uint32_t>(frame.size()));
    body.insert(body.end(), frame.begin(), frame.end());
    finish(3, body);
    return *this;
}

PcapNgBuilder& PcapNgBuilder::obsolete(uint16_t interfaceId, uint64_t timestamp,
                                       const Bytes& frame) {
    Bytes body;
    put16(body, interfaceId);
    put16(body, 0);
    put32(body, static_cast<uint32_t>(timestamp >> 32));
    put32(body, static_cast<uint32_t>(timestamp));
    put32(body, static_cast<uint32_t>(frame.size()));
    put32(body, static_cast<uint32_t>(frame.size()));
    body.insert(body.end(), frame.begin(), frame.end());
    finish(2, body);
    return *this;
}

PcapNgBuilder& PcapNgBuilder::block(uint32_t type, const Bytes& body) {
    finish(type, body);
    return *this;
}

PcapNgBuilder& PcapNgBuilder::appendBytes(const Bytes& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

void PcapNgBuilder::patch32(size_t offset, uint32_t value) {
    Bytes word;
    put32(word, value);
    std::copy(word.begin(), word.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PcapNgBuilder::writeTo(const std::string& path) const {
    writeBytes(path, bytes_);
}

TempFile::TempFile(const std::string& name) {
    std::string pattern = (std::filesystem::temp_directory_path() / "varlowe-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    folder_ = buffer.data();
    path_ = folder_ + "/" + name;
}

TempFile::~TempFile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void TempFile::write(const Bytes& data) const {
    writeBytes(path_, data);
}

Bytes TempFile::read() const {
    std::ifstream in(path_, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace varlowe::testsupport
