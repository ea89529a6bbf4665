#include "varlowe_app.h"

#include <wx/cmdline.h>
#include <wx/image.h>

#include "app_settings.h"
#include "main_frame.h"
#include "toolkit_font.h"

namespace varlowe {

void VarloweApp::OnInitCmdLine(wxCmdLineParser& parser) {
    parser.AddSwitch("h", "help", "show this text", wxCMD_LINE_OPTION_HELP);
    parser.AddParam("capture files to open", wxCMD_LINE_VAL_STRING,
                    wxCMD_LINE_PARAM_OPTIONAL | wxCMD_LINE_PARAM_MULTIPLE);
    parser.SetSwitchChars("-");
}

bool VarloweApp::OnCmdLineParsed(wxCmdLineParser& parser) {
    for (size_t i = 0; i < parser.GetParamCount(); ++i) {
        captures_.emplace_back(parser.GetParam(i).utf8_str());
    }
    return true;
}

bool VarloweApp::OnInit() {
    if (!wxApp::OnInit()) {
        return false;
    }
    SetAppName(AppSettings::kApplicationName);
    SetVendorName(SettingsStore::kVendor);
    wxInitAllImageHandlers();
    // The registry, then the labels and the settings, all before any window.
    AppSettings::registerSettings(normalToolkitFont());
    labels_ = std::make_unique<UserLabelDB>();
    AppSettings::loadSettings(labels_.get());
    const bool maximized = AppSettings::layoutFrameMaximized();
    const SettingPoint position = AppSettings::layoutFramePosition();
    const SettingSize size = AppSettings::layoutFrameSize();
    frame_ = new MainFrame(labels_.get(), wxPoint(position.x, position.y),
                           wxSize(size.width, size.height));
    frame_->Show();
    SetTopWindow(frame_);
    if (maximized) {
        frame_->Maximize();
    }
    // Each capture in turn; one that fails leaves the others opening.
    for (const std::string& capture : captures_) {
        frame_->openCapture(capture, false);
    }
    return true;
}

int VarloweApp::OnExit() {
    SettingsStore::shutdown();
    return wxApp::OnExit();
}

}  // namespace varlowe
