#pragma once

#include <wx/dialog.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "engine/sip/packet_analysis_driver.h"
#include "live/traffic_capture.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxStaticText;

namespace varlowe {

// What the capture dialog needs of the main window.
class ICaptureDialogHost {
  public:
    virtual std::optional<std::string> askSavePath(wxWindow* parent, const wxString& title,
                                                   const wxString& wildcard) = 0;
    virtual AnalysisOutcome openCapture(const std::string& path, bool fromLiveCapture) = 0;
    virtual void showHelpPage(const std::string& page) = 0;
    // Whether a diagram window shows that file (a recording must not write over it).
    virtual bool showsCapture(const std::string& path) const = 0;

  protected:
    ~ICaptureDialogHost() = default;
};

// The modal dialog that records one network interface into a capture file and opens it when
// the user stops. Closing it while recording discards the recording.
class CaptureDialog : public wxDialog, public TrafficCaptureListener {
  public:
    static constexpr int kDeviceListId = 6001;
    static constexpr int kCountLabelId = 6002;
    static constexpr int kPromiscuousId = 6003;
    static constexpr int kStartId = 6004;
    static constexpr int kStopId = 6005;
    static constexpr int kHelpId = 6006;

    // `devices` as TrafficCapture::listDevices() gives them (the main window does not show
    // the dialog without any).
    CaptureDialog(wxWindow* parent, const wxString& title, ICaptureDialogHost& host,
                  std::vector<std::string> devices);
    ~CaptureDialog() override;

    // The buttons' actions.
    void start();
    void stop();

    const TrafficCapture& capture() const { return capture_; }
    wxChoice* deviceList() const { return deviceList_; }
    wxStaticText* countLabel() const { return countLabel_; }
    wxCheckBox* promiscuousBox() const { return promiscuous_; }
    wxButton* startButton() const { return start_; }
    wxButton* stopButton() const { return stop_; }

    // TrafficCaptureListener: on the recording thread; both hand over to the dialog's thread.
    void captureStarted() override;
    void packetsCaptured(uint32_t count) override;
    void captureFailed(const std::string& reason) override;

  private:
    void showCount();
    void showFailure(const std::string& reason);
    void setRecording(bool recording);
    void finish(int code);
    void discardRunningRecording();

    ICaptureDialogHost& host_;
    std::vector<std::string> devices_;
    TrafficCapture capture_;
    std::atomic<bool> countPending_{false};
    wxChoice* deviceList_ = nullptr;
    wxStaticText* countLabel_ = nullptr;
    wxCheckBox* promiscuous_ = nullptr;
    wxButton* start_ = nullptr;
    wxButton* stop_ = nullptr;
};

// The dialog's texts.
extern const char* const kNoCaptureInterfacesTitle;
extern const char* const kNoCaptureInterfacesText;
// "%d packets captured."
std::string packetsCapturedText(uint32_t count);

}  // namespace varlowe
