#pragma once

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/listbook.h>

#include <functional>
#include <string>
#include <vector>

#include "preference_group_panel.h"

namespace varlowe {

// "Varlowe Preferences": one page per preference page of the registry in a list-book, all
// changes in an edit batch of the settings store until OK or Apply; Cancel (or the close
// box) drops them.
class PreferenceDlg : public wxDialog {
  public:
    enum Id { kOk = 8002, kCancel = 8003, kApply = 8004, kRestore = 8005 };

    // `showHelp` opens a help page (the main window's help viewer).
    PreferenceDlg(wxWindow* parent, std::function<void(const std::string&)> showHelp);
    ~PreferenceDlg() override;

    wxListbook* book() const { return book_; }
    const std::vector<PreferenceGroupPanel*>& panels() const { return panels_; }
    PreferenceGroupPanel* panel(const std::string& group) const;

    // What the buttons do.
    void ok();
    void apply();
    void restore();
    void cancel();

  private:
    void fill(PreferenceGroupPanel* panel, const std::string& group, bool fromDefault);
    void applyAll();
    void onHelp(wxHelpEvent& event);

    wxListbook* book_;
    std::vector<PreferenceGroupPanel*> panels_;
    std::vector<std::string> groups_;
    std::function<void(const std::string&)> showHelp_;
    bool editing_ = false;
};

}  // namespace varlowe
