#pragma once

#include <wx/cmndata.h>
#include <wx/dialog.h>
#include <wx/string.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/sip/packet_analysis_driver.h"
#include "settings/setting_value.h"
#include "versioncheck/version_check_client.h"

namespace varlowe {

// What the desktop program asks of the world around it: the user's answers to its dialogs
// and boxes, the progress display of a pass, the browser, the capture devices, the clock and
// the version-check server. The main window is handed one; these defaults are the toolkit's
// and the system's, and tests answer in their place.
class DesktopServices {
  public:
    virtual ~DesktopServices() = default;

    // The pass's progress display and boxes; nullptr: the toolkit's progress dialog and
    // message boxes, parented to the main window.
    virtual IAnalysisProgress* analysisProgress() { return nullptr; }
    virtual IAnalysisDialogs* analysisDialogs() { return nullptr; }
    // A file to save into, asked with the toolkit's dialog; none on Cancel.
    virtual std::optional<std::string> askSavePath(wxWindow* parent, const wxString& title,
                                                   const wxString& wildcard);
    virtual int showModal(wxDialog& dialog) { return dialog.ShowModal(); }
    // The page setup dialog over `data`; false on Cancel (data unchanged).
    virtual bool editPageSetup(wxWindow* parent, wxPageSetupDialogData& data);
    // A message box: wxID_YES, wxID_NO or wxID_OK.
    virtual int messageBox(wxWindow* parent, const wxString& text, const wxString& title,
                           long style);
    virtual void openAddress(const wxString& address);
    virtual std::vector<std::string> captureDevices();
    virtual SettingDate now();
    virtual VersionServer versionServer() { return defaultVersionServer(); }
};

}  // namespace varlowe
