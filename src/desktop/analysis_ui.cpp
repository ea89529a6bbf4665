#include "analysis_ui.h"

#include <wx/msgdlg.h>

namespace varlowe {

ProgressDialogUi::~ProgressDialogUi() = default;

void ProgressDialogUi::begin(const std::string& title, const std::string& message, int range) {
    dialog_ = std::make_unique<wxProgressDialog>(
        wxString::FromUTF8(title), wxString::FromUTF8(message), range, parent_,
        wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_AUTO_HIDE | wxPD_REMAINING_TIME);
}

bool ProgressDialogUi::update(int value, const std::string& message) {
    if (!dialog_) {
        return true;
    }
    return dialog_->Update(std::min(value, dialog_->GetRange()), wxString::FromUTF8(message));
}

void ProgressDialogUi::end() {
    dialog_.reset();
}

void MessageBoxUi::showError(const std::string& title, const std::string& message) {
    wxMessageBox(wxString::FromUTF8(message), wxString::FromUTF8(title), wxOK | wxICON_ERROR,
                 parent_);
}

bool MessageBoxUi::askYesNo(const std::string& title, const std::string& message) {
    return wxMessageBox(wxString::FromUTF8(message), wxString::FromUTF8(title),
                        wxYES_NO | wxICON_QUESTION, parent_) == wxYES;
}

}  // namespace varlowe
