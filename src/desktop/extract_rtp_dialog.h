#pragma once

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <string>
#include <vector>

namespace varlowe {

struct RtpStream;

// The description of a stream in the extraction dialog: format, packets, elapsed time and
// bytes, a line each; "ERROR" without a stream.
std::string extractDescription(const RtpStream* stream);

// "Extract RTP Data": one of the streams of the selected item, the two header switches and
// the output path. The streams stay the registry's; the dialog is modal over them.
class ExtractRtpDialog : public wxDialog {
  public:
    enum Id {
        kStreamList = 532,
        kDescription = 533,
        kRtpHeaders = 534,
        kSaveAsLabel = 535,
        kPathField = 536,
        kBrowse = 537,
        kRecordHeaders = 538,
        kOk = 5100,
        kCancel = 5101,
    };

    ExtractRtpDialog(wxWindow* parent, std::vector<const RtpStream*> streams);

    const RtpStream* selectedStream() const;
    std::string path() const { return pathField_->GetValue().utf8_string(); }
    bool recordHeaders() const { return recordHeaders_->GetValue(); }
    bool rtpHeaders() const { return rtpHeaders_->GetValue(); }

    wxListBox* streamList() const { return list_; }
    wxStaticText* description() const { return description_; }
    wxTextCtrl* pathField() const { return pathField_; }
    wxCheckBox* recordHeadersBox() const { return recordHeaders_; }
    wxCheckBox* rtpHeadersBox() const { return rtpHeaders_; }
    wxButton* okButton() const { return ok_; }

    // What "OK" does: the switches and the path kept for next time, the dialog ended.
    void accept();

  private:
    void showDescription();
    void onBrowse(wxCommandEvent& event);

    std::vector<const RtpStream*> streams_;
    wxListBox* list_;
    wxStaticText* description_;
    wxCheckBox* recordHeaders_;
    wxCheckBox* rtpHeaders_;
    wxTextCtrl* pathField_;
    wxButton* ok_;
};

}  // namespace varlowe
