#include "traffic_capture.h"

#include <pcap/pcap.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace varlowe {

std::string deviceNameOf(const std::string& deviceText) {
    const size_t cut = deviceText.find(" (");
    return cut == std::string::npos ? deviceText : deviceText.substr(0, cut);
}

// libpcap's handles of one recording. The thread opens them; the user-interface thread
// closes them after the thread has ended, so that a stop can interrupt a waiting read.
struct TrafficCapture::Session {
    std::mutex mutex;  // guards `pcap` while the thread sets it and stop() interrupts it
    pcap_t* pcap = nullptr;
    pcap_dumper_t* dumper = nullptr;

    ~Session() {
        closeFile();
        if (pcap != nullptr) {
            pcap_close(pcap);
        }
    }
    // Flushes and closes the file; the system's reason when what was written did not all
    // reach it, else empty.
    std::string closeFile() {
        if (dumper == nullptr) {
            return "";
        }
        std::string error;
        if (pcap_dump_flush(dumper) != 0 || std::ferror(pcap_dump_file(dumper))) {
            error = std::strerror(errno);
        }
        pcap_dump_close(dumper);
        dumper = nullptr;
        return error;
    }
};

namespace {

uint32_t readOrdered(const unsigned char* at, bool swapped) {
    const uint32_t value = static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
    return swapped ? __builtin_bswap32(value) : value;
}

}  // namespace

uint32_t wholeRecordsIn(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    unsigned char header[24];
    uint32_t records = 0;
    if (std::fread(header, 1, sizeof header, file) == sizeof header) {
        const uint32_t magic = readOrdered(header, false);
        const bool swapped = magic == 0xd4c3b2a1u || magic == 0x4d3cb2a1u;
        if (swapped || magic == 0xa1b2c3d4u || magic == 0xa1b23c4du) {
            unsigned char record[16];
            while (std::fread(record, 1, sizeof record, file) == sizeof record) {
                const uint32_t captured = readOrdered(record + 8, swapped);
                if (std::fseek(file, static_cast<long>(captured), SEEK_CUR) != 0) {
                    break;
                }
                // A seek may pass the end: the record counts only when its last byte is there.
                if (captured > 0) {
                    if (std::fseek(file, -1, SEEK_CUR) != 0 || std::fgetc(file) == EOF) {
                        break;
                    }
                }
                ++records;
            }
        }
    }
    std::fclose(file);
    return records;
}

namespace {
// Starting and stopping of every recording of the process, one at a time.
std::mutex& captureLock() {
    static std::mutex lock;
    return lock;
}
}  // namespace

TrafficCapture::TrafficCapture() = default;

TrafficCapture::~TrafficCapture() {
    setListener(nullptr);
    stop();
}

std::vector<std::string> TrafficCapture::listDevices(std::string* error) {
    std::vector<std::string> texts;
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* devices = nullptr;
    if (pcap_findalldevs(&devices, errorBuffer) != 0) {
        if (error != nullptr) {
            *error = errorBuffer;
        }
        return texts;
    }
    for (pcap_if_t* device = devices; device != nullptr; device = device->next) {
        std::string text = device->name != nullptr ? device->name : "";
        text += " (";
        text += device->description != nullptr ? device->description : "";
        text += ")";
        texts.insert(texts.begin(), std::move(text));
    }
    pcap_freealldevs(devices);
    return texts;
}

void TrafficCapture::setListener(TrafficCaptureListener* listener) {
    std::lock_guard<std::mutex> guard(listenerMutex_);
    listener_ = listener;
}

std::string TrafficCapture::failure() const {
    std::lock_guard<std::mutex> guard(listenerMutex_);
    return failure_;
}

template <typename Call>
void TrafficCapture::tell(Call call) {
    std::lock_guard<std::mutex> guard(listenerMutex_);
    if (listener_ != nullptr) {
        call(*listener_);
    }
}

void TrafficCapture::fail(const std::string& reason) {
    {
        std::lock_guard<std::mutex> guard(listenerMutex_);
        failure_ = reason;
    }
    tell([&reason](TrafficCaptureListener& listener) { listener.captureFailed(reason); });
}

bool TrafficCapture::start(const std::string& path) {
    std::lock_guard<std::mutex> guard(captureLock());
    if (running_) {
        return false;
    }
    path_ = path;
    count_ = 0;
    stopRequested_ = false;
    {
        std::lock_guard<std::mutex> failureGuard(listenerMutex_);
        failure_.clear();
    }
    session_ = std::make_unique<Session>();
    worker_ = std::thread(&TrafficCapture::run, this, session_.get());
    running_ = true;
    return true;
}

void TrafficCapture::stop() {
    std::lock_guard<std::mutex> guard(captureLock());
    if (running_) {
        running_ = false;
        stopRequested_ = true;
        if (session_ != nullptr) {
            std::lock_guard<std::mutex> sessionGuard(session_->mutex);
            if (session_->pcap != nullptr) {
                pcap_breakloop(session_->pcap);
            }
        }
        if (worker_.joinable()) {
            worker_.join();
        }
        const std::string error = session_ != nullptr ? session_->closeFile() : "";
        if (!error.empty()) {
            failWriting(error);
        }
    }
    session_.reset();
}

namespace {
// Opens the device for whole packets, delivered as they arrive (without immediate mode the
// loopback interface hands packets over in blocks, once a second when traffic is light).
pcap_t* openDevice(const std::string& name, bool promiscuous, std::string& reason) {
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_t* pcap = pcap_create(name.c_str(), errorBuffer);
    if (pcap == nullptr) {
        reason = errorBuffer;
        return nullptr;
    }
    pcap_set_snaplen(pcap, TrafficCapture::kSnapshotLength);
    pcap_set_promisc(pcap, promiscuous ? 1 : 0);
    pcap_set_timeout(pcap, TrafficCapture::kReadTimeoutMs);
    pcap_set_immediate_mode(pcap, 1);
    const int status = pcap_activate(pcap);
    if (status < 0) {
        const std::string detail = pcap_geterr(pcap);
        reason = pcap_statustostr(status);
        if (!detail.empty() && detail != reason) {
            reason = status == PCAP_ERROR ? detail : reason + " (" + detail + ")";
        }
        pcap_close(pcap);
        return nullptr;
    }
    return pcap;
}
}  // namespace

void TrafficCapture::run(Session* session) {
    std::string reason;
    pcap_t* pcap = openDevice(deviceName_, promiscuous_, reason);
    if (pcap == nullptr) {
        fail("Could not open " + deviceName_ + ": " + reason);
        return;
    }
    {
        std::lock_guard<std::mutex> sessionGuard(session->mutex);
        session->pcap = pcap;
    }
    if (stopRequested_) {
        return;
    }
    session->dumper = pcap_dump_open(pcap, path_.c_str());
    if (session->dumper == nullptr) {
        // Counting packets that go nowhere would look like a recording.
        fail("Could not write " + path_ + ": " + pcap_geterr(pcap));
        return;
    }
    recording_ = true;
    tell([](TrafficCaptureListener& listener) { listener.captureStarted(); });
    while (!stopRequested_) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = pcap_next_ex(pcap, &header, &data);
        if (result == 0) {
            continue;  // the read timed out
        }
        if (result < 0) {
            if (result != PCAP_ERROR_BREAK && !stopRequested_) {
                fail("Capture on " + deviceName_ + " ended: " + pcap_geterr(pcap));
            }
            break;
        }
        if (stopRequested_) {
            break;
        }
        pcap_dump(reinterpret_cast<u_char*>(session->dumper), header, data);
        // libpcap's writer says nothing of a failed write (a full disk): the stream does.
        if (std::ferror(pcap_dump_file(session->dumper))) {
            const std::string error = std::strerror(errno);
            recording_ = false;
            session->closeFile();
            failWriting(error);
            return;
        }
        const uint32_t count = ++count_;
        tell([count](TrafficCaptureListener& listener) { listener.packetsCaptured(count); });
    }
    recording_ = false;
}

void TrafficCapture::failWriting(const std::string& error) {
    // What was written up to the failure is kept: it is what was recorded, and it reads.
    const uint32_t kept = wholeRecordsIn(path_);
    count_ = kept;
    fail("Could not write " + path_ + ": " + error + ". The recording stopped; the file holds " +
         std::to_string(kept) + (kept == 1 ? " packet." : " packets."));
}

}  // namespace varlowe
