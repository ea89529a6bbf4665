#pragma once

#include <wx/progdlg.h>

#include <memory>

#include "engine/sip/packet_analysis_driver.h"

class wxWindow;

namespace varlowe {

// The pass's progress as the toolkit's modal progress dialog with a Cancel button.
class ProgressDialogUi : public IAnalysisProgress {
  public:
    explicit ProgressDialogUi(wxWindow* parent) : parent_(parent) {}
    ~ProgressDialogUi() override;
    void begin(const std::string& title, const std::string& message, int range) override;
    bool update(int value, const std::string& message) override;
    void end() override;

  private:
    wxWindow* parent_;
    std::unique_ptr<wxProgressDialog> dialog_;
};

// The pass's error box and question as the toolkit's message boxes.
class MessageBoxUi : public IAnalysisDialogs {
  public:
    explicit MessageBoxUi(wxWindow* parent) : parent_(parent) {}
    void showError(const std::string& title, const std::string& message) override;
    bool askYesNo(const std::string& title, const std::string& message) override;

  private:
    wxWindow* parent_;
};

}  // namespace varlowe
