#include "edit_column_label_dialog.h"

#include <wx/button.h>
#include <wx/cshelp.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "diagram_painter.h"
#include "toolkit/command_ids.h"

namespace varlowe {

EditColumnLabelDialog::EditColumnLabelDialog(wxWindow* parent, const std::string& initialLabel)
    : wxDialog(parent, window::kEditLabelDialog, "Edit Column Label", wxDefaultPosition,
               wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER, "dialog") {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, "Add a label to the column.", wxDefaultPosition,
                                wxSize(200, 15)),
               0, wxEXPAND | wxALL, 5);
    text_ = new wxTextCtrl(this, window::kEditLabelText, displayText(initialLabel),
                           wxDefaultPosition, wxSize(200, 25), 0, wxDefaultValidator, "text");
    sizer->Add(text_, 1, wxEXPAND | wxALL, 5);
    persist_ =
        new wxCheckBox(this, window::kEditLabelCheck, "Always use this label for this ip address.",
                       wxDefaultPosition, wxDefaultSize, 0, wxDefaultValidator, "check");
    persist_->SetValue(true);
    sizer->Add(persist_, 1, wxEXPAND | wxALL, 5);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    buttons->Add(ok, 0, wxALL, 10);
    buttons->Add(new wxButton(this, wxID_CANCEL, "Cancel"), 0, wxALL, 10);
    sizer->Add(buttons, 0, wxALIGN_CENTER);
    SetSizerAndFit(sizer);
    SetHelpText("EditLabel.htm");
    text_->SetFocus();
    text_->SelectAll();
}

}  // namespace varlowe
