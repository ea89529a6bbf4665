#include "desktop_services.h"

#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/printdlg.h>
#include <wx/utils.h>

#include "live/traffic_capture.h"
#include "settings/app_settings.h"

namespace varlowe {

std::optional<std::string> DesktopServices::askSavePath(wxWindow* parent, const wxString& title,
                                                        const wxString& wildcard) {
    wxFileDialog dialog(parent, title, wxEmptyString, wxEmptyString, wildcard,
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT, wxDefaultPosition, wxDefaultSize,
                        "filedlg");
    if (dialog.ShowModal() != wxID_OK) {
        return std::nullopt;
    }
    std::string path = dialog.GetPath().utf8_string();
    // The type chosen decides the format of an image: its extension when the name has none.
    if (wildcard.Contains("*.svg") && wxFileName(dialog.GetPath()).GetExt().empty()) {
        path += dialog.GetFilterIndex() == 1 ? ".svg" : ".png";
    }
    return path;
}

bool DesktopServices::editPageSetup(wxWindow* parent, wxPageSetupDialogData& data) {
    wxPageSetupDialog dialog(parent, &data);
    if (dialog.ShowModal() != wxID_OK) {
        return false;
    }
    data = dialog.GetPageSetupDialogData();
    return true;
}

int DesktopServices::messageBox(wxWindow* parent, const wxString& text, const wxString& title,
                                long style) {
    const int answer = wxMessageBox(text, title, style, parent);
    return answer == wxYES ? wxID_YES : answer == wxNO ? wxID_NO : wxID_OK;
}

void DesktopServices::openAddress(const wxString& address) {
    wxLaunchDefaultBrowser(address);
}

std::vector<std::string> DesktopServices::captureDevices() {
    return TrafficCapture::listDevices();
}

SettingDate DesktopServices::now() {
    return currentLocalTime();
}

}  // namespace varlowe
