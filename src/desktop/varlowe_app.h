#pragma once

#include <wx/app.h>

#include <memory>
#include <string>
#include <vector>

#include "diagram/user_label_db.h"

namespace varlowe {

class MainFrame;

// The desktop program: the settings, the user labels, the main window at its stored place,
// and every capture named on the command line, opened in order.
class VarloweApp : public wxApp {
  public:
    bool OnInit() override;
    int OnExit() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;
    int OnRun() override;

    MainFrame* mainFrame() const { return frame_; }

  private:
    std::unique_ptr<UserLabelDB> labels_;
    MainFrame* frame_ = nullptr;
    std::vector<std::string> captures_;
    std::string imageOutput_;              // --export-image: write the ladder and end, no window
    std::vector<std::string> imageCalls_;  // --call-id: the image shows only these sessions
    int exitCode_ = 0;
};

// The ladder of a capture as an image file, as the diagram window shows it with the current
// settings (the kinds of messages and provisional responses switched on); no window. The exit
// status: 0 written, 1 the capture or the image failed (said on standard error).
// With Call-IDs, only those sessions' items (their media included).
int exportCaptureImage(const std::string& capture, const std::string& output, UserLabelDB* labels,
                       const std::vector<std::string>& callIds = {});

}  // namespace varlowe
