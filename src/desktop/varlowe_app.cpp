#include "varlowe_app.h"

#include <wx/display.h>

#include <wx/cmdline.h>
#include <wx/image.h>

#include <climits>
#include <cstdio>

#include "diagram_view/diagram_style.h"
#include "engine/sip/call_list.h"
#include "filter_tree.h"
#include "main_frame.h"
#include "pane_layout.h"
#include "printing/diagram_image.h"
#include "settings/app_settings.h"
#include "settings/parsing_settings.h"
#include "settings/settings_store.h"
#include "toolkit/toolkit_font.h"

namespace varlowe {

int exportCaptureImage(const std::string& capture, const std::string& output, UserLabelDB* labels,
                       const std::vector<std::string>& callIds) {
    struct StandardError : IAnalysisDialogs {
        void showError(const std::string&, const std::string& message) override {
            std::fprintf(stderr, "varlowe: %s\n", message.c_str());
        }
        bool askYesNo(const std::string&, const std::string&) override { return false; }
    } dialogs;
    AnalysisResult result = PacketAnalysisDriver(parsingOptionsFromSettings(), nullptr, &dialogs)
                                .analyse(capture, false);
    if (!result.model) {
        return 1;
    }
    DiagramState state(labels);
    state.setModel(result.model.get());
    ItemSwitches switches;
    switches.sipMessages = AppSettings::diagramShowSipMessages();
    switches.sturnMessages = AppSettings::diagramShowSturnMessages();
    switches.rtpMarkers = AppSettings::diagramShowRtpMarkers();
    switches.provisionalResponses = AppSettings::diagramShowProvisionalResponses();
    state.applyRowFilter(
        callIds.empty()
            ? filterItems(*result.model, nullptr, switches, {})
            : shownItems(*result.model, itemsOfCalls(*result.model, callIds), switches, {}));
    const DiagramStyle style = DiagramStyle::fromSettings();
    ItemDrawCache cache;
    const diagram_image::Result written =
        diagram_image::write(state, style, cache, output, capture);
    const size_t rows = state.rowCount();
    state.setModel(nullptr);
    if (!written.refusal.empty()) {
        std::fprintf(stderr, "varlowe: %s\n", written.refusal.c_str());
        return 1;
    }
    if (written.outcome == SaveOutcome::SameAsInput) {
        std::fprintf(stderr, "varlowe: %s is the capture; not written\n", output.c_str());
        return 1;
    }
    if (written.outcome != SaveOutcome::Saved) {
        std::fprintf(stderr,
                     "varlowe: Unable to save %s -- Please check permissions, available disk "
                     "space, the path and try again.\n",
                     output.c_str());
        return 1;
    }
    std::printf("%s: %lld x %lld pixels, %zu rows\n", output.c_str(),
                static_cast<long long>(written.size.width),
                static_cast<long long>(written.size.height), rows);
    return 0;
}

void VarloweApp::OnInitCmdLine(wxCmdLineParser& parser) {
    parser.AddSwitch("h", "help", "show this text", wxCMD_LINE_OPTION_HELP);
    parser.AddOption("", "export-image",
                     "write the ladder of the one capture given as a PNG or SVG image (by the "
                     "file's extension) and end, without a window",
                     wxCMD_LINE_VAL_STRING);
    parser.AddOption("", "call-id",
                     "with --export-image: only the session of this Call-ID (repeatable)",
                     wxCMD_LINE_VAL_STRING);
    parser.AddParam("capture files to open", wxCMD_LINE_VAL_STRING,
                    wxCMD_LINE_PARAM_OPTIONAL | wxCMD_LINE_PARAM_MULTIPLE);
    parser.SetSwitchChars("-");
}

bool VarloweApp::OnCmdLineParsed(wxCmdLineParser& parser) {
    for (size_t i = 0; i < parser.GetParamCount(); ++i) {
        captures_.emplace_back(parser.GetParam(i).utf8_str());
    }
    for (const wxCmdLineArg& argument : parser.GetArguments()) {
        if (argument.GetKind() == wxCMD_LINE_OPTION && argument.GetLongName() == "call-id") {
            imageCalls_.push_back(argument.GetStrVal().utf8_string());
        }
    }
    wxString image;
    if (!imageCalls_.empty() && !parser.Found("export-image")) {
        std::fprintf(stderr, "varlowe: --call-id goes with --export-image\n");
        return false;
    }
    if (parser.Found("export-image", &image)) {
        imageOutput_ = image.utf8_string();
        if (captures_.size() != 1 || imageOutput_.empty()) {
            std::fprintf(stderr, "varlowe: --export-image OUT needs exactly one capture\n");
            return false;
        }
    }
    return true;
}

int VarloweApp::OnRun() {
    return imageOutput_.empty() ? wxApp::OnRun() : exitCode_;
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
    if (!imageOutput_.empty()) {
        exitCode_ = exportCaptureImage(captures_.front(), imageOutput_, labels_.get(), imageCalls_);
        return true;
    }
    const bool maximized = AppSettings::layoutFrameMaximized();
    SettingPoint position = AppSettings::layoutFramePosition();
    SettingSize size = AppSettings::layoutFrameSize();
    if (SettingsStore::instance().getSize("layout", "frameSize", SettingSize{-1, -1}).width < 0) {
        const wxRect area = wxDisplay(static_cast<unsigned>(0)).GetClientArea();
        const WindowRect place =
            firstWindowPlace(WindowRect{area.x, area.y, area.width, area.height});
        position = SettingPoint{place.x, place.y};
        size = SettingSize{place.width, place.height};
        // The dividers the user has not placed yet, to fit that window.
        const FirstSashes sashes = firstSashes(place);
        SettingsStore& store = SettingsStore::instance();
        if (store.getInt("layout", "sashVert", INT32_MIN) == INT32_MIN) {
            AppSettings::setLayoutSashVert(sashes.vertical);
        }
        if (store.getInt("layout", "sashDiagramInfo", INT32_MIN) == INT32_MIN) {
            AppSettings::setLayoutSashDiagramInfo(sashes.diagramInfo);
        }
    }
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
    frame_->startupVersionCheck();
    return true;
}

int VarloweApp::OnExit() {
    SettingsStore::shutdown();
    return wxApp::OnExit();
}

}  // namespace varlowe
