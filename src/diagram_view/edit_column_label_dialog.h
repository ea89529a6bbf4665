#pragma once

#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

namespace varlowe {

// "Edit Column Label": the label of one endpoint's column, and whether to keep it for later
// runs.
class EditColumnLabelDialog : public wxDialog {
  public:
    EditColumnLabelDialog(wxWindow* parent, const std::string& initialLabel);

    wxString text() const { return text_->GetValue(); }
    bool persist() const { return persist_->GetValue(); }
    wxTextCtrl* textField() const { return text_; }
    wxCheckBox* persistBox() const { return persist_; }

  private:
    wxTextCtrl* text_;
    wxCheckBox* persist_;
};

}  // namespace varlowe
