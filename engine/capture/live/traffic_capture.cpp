#include "traffic_capture.h"

#include <pcap/pcap.h>

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
        if (dumper != nullptr) {
            pcap_dump_flush(dumper);
            pcap_dump_close(dumper);
        }
        if (pcap != nullptr) {
            pcap_close(pcap);
        }
    }
};

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
    }
    session_.reset();  // flushes and closes the file
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
        const uint32_t count = ++count_;
        tell([count](TrafficCaptureListener& listener) { listener.packetsCaptured(count); });
    }
    recording_ = false;
}

}  // namespace varlowe
