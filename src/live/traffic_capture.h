#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace varlowe {

// Told by the recording thread what happens; called on that thread, so implementations hand
// the news to their own thread (the capture dialog queues it to the user-interface thread).
class TrafficCaptureListener {
  public:
    // The device is open and the file created: packets from now on are recorded.
    virtual void captureStarted() = 0;
    // The running count, 1 for the first packet.
    virtual void packetsCaptured(uint32_t count) = 0;
    // The recording could not start or ended on an error; the text says why.
    virtual void captureFailed(const std::string& reason) = 0;
    virtual ~TrafficCaptureListener() = default;
};

// The device name in a device text "name (description)": the part before the first " (".
std::string deviceNameOf(const std::string& deviceText);

// The number of whole packet records in a libpcap file (a record cut short is not counted).
uint32_t wholeRecordsIn(const std::string& path);

// Records the packets of one network interface into a capture file (libpcap's format, whole
// packets) on a thread of its own, until stopped. One recording at a time per object; a
// stopped object may start again.
class TrafficCapture {
  public:
    TrafficCapture();
    ~TrafficCapture();
    TrafficCapture(const TrafficCapture&) = delete;
    TrafficCapture& operator=(const TrafficCapture&) = delete;

    // "name (description)" per interface, in the reverse of libpcap's order; empty when
    // libpcap lists none or fails (then `error` holds its text when given).
    static std::vector<std::string> listDevices(std::string* error = nullptr);

    void setDeviceName(const std::string& name) { deviceName_ = name; }
    void setPromiscuous(bool promiscuous) { promiscuous_ = promiscuous; }
    void setListener(TrafficCaptureListener* listener);

    // Starts recording into `path` (the whole path). False when already running.
    bool start(const std::string& path);
    // Asks the thread to end, waits for it and closes the file. Harmless when not running.
    void stop();

    bool running() const { return running_; }
    // Between captureStarted() and the end of the recording.
    bool recording() const { return recording_.load(); }
    const std::string& filePath() const { return path_; }
    uint32_t packetCount() const { return count_.load(); }
    // What ended the recording early (the device or the file could not be opened, a read or
    // a write failed); empty otherwise. After a failed write the count is that of the
    // packets the file holds.
    std::string failure() const;

    // Whole packets: SIP messages with SDP are longer than any short snapshot.
    static constexpr int kSnapshotLength = 65535;
    // Bounds how long a stop waits when no traffic arrives.
    static constexpr int kReadTimeoutMs = 1000;

  private:
    struct Session;
    void run(Session* session);
    void fail(const std::string& reason);
    void failWriting(const std::string& error);
    // Calls the listener, when there is one, under the listener lock.
    template <typename Call>
    void tell(Call call);

    std::string deviceName_;
    bool promiscuous_ = true;
    std::string path_;
    bool running_ = false;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> recording_{false};
    std::atomic<uint32_t> count_{0};
    std::unique_ptr<Session> session_;
    std::thread worker_;
    mutable std::mutex listenerMutex_;
    TrafficCaptureListener* listener_ = nullptr;
    std::string failure_;
};

}  // namespace varlowe
