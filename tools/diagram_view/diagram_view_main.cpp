// varlowe-diagram-view [--select ROW] [--size WxH] CAPTURE: the diagram of a capture in a bare
// window, reading the user's settings but never writing them.
#include <wx/app.h>
#include <wx/cmdline.h>

#include "diagram_view_frame.h"
#include "engine/sip/packet_analysis_driver.h"
#include "settings/app_settings.h"
#include "toolkit/toolkit_font.h"

namespace varlowe {

class DiagramViewApp : public wxApp {
  public:
    bool OnInit() override {
        wxCmdLineParser parser(argc, argv);
        parser.AddOption("s", "select", "row to select", wxCMD_LINE_VAL_NUMBER);
        parser.AddOption("z", "size", "window size WxH");
        parser.AddParam("capture");
        if (parser.Parse() != 0) {
            return false;
        }
        AppSettings::registerSettings(normalToolkitFont());
        AppSettings::loadSettings(&labels_);
        const std::string path(parser.GetParam(0).utf8_str());
        AnalysisResult result =
            PacketAnalysisDriver(ParsingOptions{}, nullptr, nullptr).analyse(path, false);
        if (!result.model) {
            std::fprintf(stderr, "%s\n", openFailureMessage(path, result.failureReason).c_str());
            return false;
        }
        wxSize size(1200, 800);
        wxString sizeText;
        if (parser.Found("size", &sizeText)) {
            long w = 0, h = 0;
            if (sizeText.BeforeFirst('x').ToLong(&w) && sizeText.AfterFirst('x').ToLong(&h)) {
                size = wxSize(static_cast<int>(w), static_cast<int>(h));
            }
        }
        auto* frame =
            new DiagramViewFrame(std::move(result.model), &labels_, wxString::FromUTF8(path), size);
        long row = -1;
        if (parser.Found("select", &row) && row >= 0) {
            frame->diagram()->selectRow(RowIndex(static_cast<size_t>(row)));
        }
        frame->Show();
        return true;
    }
    int OnExit() override {
        SettingsStore::shutdown();
        return 0;
    }

  private:
    UserLabelDB labels_;
};

}  // namespace varlowe

wxIMPLEMENT_APP(varlowe::DiagramViewApp);
