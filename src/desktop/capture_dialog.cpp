#include "capture_dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <unistd.h>

#include "settings/app_settings.h"

namespace varlowe {

const char* const kNoCaptureInterfacesTitle = "No capture interfaces";
const char* const kNoCaptureInterfacesText =
    "Varlowe was unable to find a capture device.  You may need administrator privileges to "
    "capture.";

std::string packetsCapturedText(uint32_t count) {
    return std::to_string(count) + " packets captured.";
}

CaptureDialog::CaptureDialog(wxWindow* parent, const wxString& title, ICaptureDialogHost& host,
                             std::vector<std::string> devices)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE,
               "dialog"),
      host_(host),
      devices_(std::move(devices)) {
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(this, wxID_ANY, "Live capture of network traffic."), 0, wxALL, 5);
    wxArrayString choices;
    for (const std::string& device : devices_) {
        choices.Add(wxString::FromUTF8(device));
    }
    deviceList_ = new wxChoice(this, kDeviceListId, wxDefaultPosition, wxSize(700, 30), choices);
    column->Add(deviceList_, 0, wxALL | wxEXPAND, 5);
    countLabel_ = new wxStaticText(this, kCountLabelId, "", wxDefaultPosition, wxSize(700, 30),
                                   wxST_NO_AUTORESIZE);
    column->Add(countLabel_, 0, wxALL | wxEXPAND, 5);
    promiscuous_ = new wxCheckBox(this, kPromiscuousId, "Promiscuous Mode");
    column->Add(promiscuous_, 0, wxALL, 5);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    start_ = new wxButton(this, kStartId, "Start");
    stop_ = new wxButton(this, kStopId, "Stop");
    auto* help = new wxButton(this, kHelpId, "Help");
    buttons->Add(start_, 0, wxALL, 5);
    buttons->Add(stop_, 0, wxALL, 5);
    buttons->Add(help, 0, wxALL, 5);
    column->Add(buttons, 0, wxALIGN_CENTER | wxALL, 5);
    SetSizerAndFit(column);
    start_->SetDefault();
    stop_->Disable();

    const int32_t saved = AppSettings::captureDialogAdapterIndex();
    const bool inList = saved >= 0 && static_cast<size_t>(saved) < devices_.size();
    if (!devices_.empty()) {
        deviceList_->SetSelection(inList ? saved : 0);
    }
    promiscuous_->SetValue(AppSettings::captureDialogPromiscuousCapture());

    start_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { start(); });
    stop_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { stop(); });
    help->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { host_.showHelpPage("Capture.htm"); });
    capture_.setListener(this);
    CentreOnParent();
}

CaptureDialog::~CaptureDialog() {
    discardRunningRecording();
}

void CaptureDialog::discardRunningRecording() {
    const bool wasRunning = capture_.running();
    capture_.stop();
    capture_.setListener(nullptr);
    if (wasRunning && !capture_.filePath().empty()) {
        unlink(capture_.filePath().c_str());
    }
}

void CaptureDialog::setRecording(bool recording) {
    start_->Enable(!recording);
    stop_->Enable(recording);
    deviceList_->Enable(!recording);
    promiscuous_->Enable(!recording);
}

void CaptureDialog::start() {
    setRecording(true);
    const std::string text = std::string(deviceList_->GetStringSelection().utf8_str());
    capture_.setDeviceName(deviceNameOf(text));
    capture_.setPromiscuous(promiscuous_->GetValue());
    std::optional<std::string> path =
        host_.askSavePath(this, "Save As", "Network Capture (*.pcap)|*.pcap");
    if (!path) {
        finish(wxID_CANCEL);
        return;
    }
    if (host_.showsCapture(*path)) {
        setRecording(false);
        countLabel_->SetLabel(wxString::FromUTF8(*path) +
                              " is open in Varlowe; choose another file to record into.");
        return;
    }
    countLabel_->SetLabel("");
    capture_.start(*path);
}

void CaptureDialog::stop() {
    setRecording(false);
    capture_.stop();
    AppSettings::setCaptureDialogAdapterIndex(deviceList_->GetSelection());
    AppSettings::setCaptureDialogPromiscuousCapture(promiscuous_->GetValue());
    if (!capture_.failure().empty()) {
        countLabel_->SetLabel(wxString::FromUTF8(capture_.failure()));  // the last write failed
        return;
    }
    // One packet is kept but not opened: the recording was most likely stopped at once.
    if (capture_.packetCount() > 1) {
        host_.openCapture(capture_.filePath(), true);
    }
    finish(wxID_OK);
}

void CaptureDialog::finish(int code) {
    if (IsModal()) {
        EndModal(code);
    } else {
        SetReturnCode(code);
        Hide();
    }
}

void CaptureDialog::captureStarted() {
    CallAfter(&CaptureDialog::showCount);
}

void CaptureDialog::packetsCaptured(uint32_t) {
    // One update in flight at a time: a busy interface would flood the event queue.
    if (!countPending_.exchange(true)) {
        CallAfter(&CaptureDialog::showCount);
    }
}

void CaptureDialog::captureFailed(const std::string& reason) {
    CallAfter([this, reason] { showFailure(reason); });
}

void CaptureDialog::showCount() {
    countPending_ = false;
    if (capture_.running()) {
        countLabel_->SetLabel(packetsCapturedText(capture_.packetCount()));
    }
}

void CaptureDialog::showFailure(const std::string& reason) {
    capture_.stop();
    setRecording(false);
    countLabel_->SetLabel(wxString::FromUTF8(reason));
}

}  // namespace varlowe
