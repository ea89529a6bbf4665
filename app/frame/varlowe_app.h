#pragma once

#include <wx/app.h>

#include <memory>
#include <string>
#include <vector>

#include "user_label_db.h"

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

    MainFrame* mainFrame() const { return frame_; }

  private:
    std::unique_ptr<UserLabelDB> labels_;
    MainFrame* frame_ = nullptr;
    std::vector<std::string> captures_;
};

}  // namespace varlowe
