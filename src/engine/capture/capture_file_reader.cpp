#include "capture_file_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "byte_order.h"
#include "engine/diagnostics.h"

namespace varlowe {

namespace {

constexpr uint32_t kNanosecondMagic = 0xa1b23c4du;
constexpr uint32_t kSwappedNanosecondMagic = 0x4d3cb2a1u;
constexpr size_t kLinkTypeOffset = 20;

std::string unsupportedLinkType(uint32_t linkType) {
    return "link type " + std::to_string(linkType) + " (" + linkTypeName(linkType) +
           ") is not supported; Varlowe reads Ethernet, Linux cooked, raw IP, PPP and BSD "
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

const CaptureLayout CaptureFileReader::noLayout_;

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
        const uint32_t magic = readLittleEndian32(header);
        if (magic == kMagic || magic == kSwappedMagic || magic == kNanosecondMagic ||
            magic == kSwappedNanosecondMagic) {
            swap_ = magic == kSwappedMagic || magic == kSwappedNanosecondMagic;
            const bool nanoseconds = magic == kNanosecondMagic || magic == kSwappedNanosecondMagic;
            const uint32_t type = readLittleEndian32(header + kLinkTypeOffset);
            linkType_ = swap_ ? swapBytes32(type) : type;
            if (!linkTypeSupported(linkType_)) {
                openError_ = unsupportedLinkType(linkType_);
            } else {
                classic_ = std::make_unique<ClassicWalker>(file_, swap_, nanoseconds, linkType_);
            }
        } else if (magic == kPcapNgMagic) {
            pcapng_ = std::make_unique<PcapNgWalker>(file_, &linkTypeSupported);
            openError_ = pcapng_->open();
            if (openError_.empty()) {
                linkType_ = pcapng_->firstLinkType();
                if (!pcapng_->anyReadableInterface()) {
                    openError_ = unsupportedLinkType(linkType_);
                }
            }
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

void CaptureFileReader::useLayout(const CaptureLayout& layout) {
    if (pcapng_) {
        pcapng_->useLayout(layout);
    }
}

bool CaptureFileReader::seek(uint64_t offset) {
    if (!file_.isOpen()) {
        return false;
    }
    return pcapng_ ? pcapng_->seek(offset) : file_.seek(offset);
}

std::vector<std::string> CaptureFileReader::refusalSummary() const {
    std::vector<std::string> lines = decoder_.refusalSummary();
    if (lines.empty() && counter_ <= 1) {
        lines.push_back("0 records: the capture holds no packet");
    }
    return lines;
}

void CaptureFileReader::close() {
    classic_.reset();
    pcapng_.reset();
    file_.close();
    swap_ = false;
    linkType_ = 0;
}

bool CaptureFileReader::nextFrame(FrameInfo& frame, uint64_t* position) {
    if (!file_.isOpen()) {
        return false;
    }
    RawRecord record;
    for (;;) {
        ++counter_;
        const bool more = classic_ ? classic_->next(record) : pcapng_->next(record, counter_);
        if (position != nullptr && (more || classic_)) {
            *position = record.offset;
        }
        if (!more) {
            return false;
        }
        frame.number = counter_;
        frame.fileOffset = record.offset;
        frame.seconds = record.seconds;
        frame.microseconds = record.microseconds;
        switch (decoder_.decode(record.data, record.storedLength, record.wireLength,
                                record.linkType, frame)) {
            case FrameDecoder::Result::Accepted:
                return true;
            case FrameDecoder::Result::StopReading:
                return false;
            case FrameDecoder::Result::Dropped:
                break;
        }
    }
}

}  // namespace varlowe
