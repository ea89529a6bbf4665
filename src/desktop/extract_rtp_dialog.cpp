#include "extract_rtp_dialog.h"

#include <wx/filedlg.h>
#include <wx/sizer.h>

#include <cinttypes>
#include <cstdio>

#include "engine/capture/packet_time.h"
#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"
#include "settings/app_settings.h"
#include "toolkit/toolkit_text.h"

namespace varlowe {

std::string extractDescription(const RtpStream* stream) {
    if (stream == nullptr) {
        return "ERROR";
    }
    char line[512];
    std::string text;
    std::snprintf(line, sizeof line, "Format: %s/%s/%u\n", stream->mediaName.c_str(),
                  stream->encodingName.c_str(), static_cast<unsigned>(stream->payloadType));
    text += line;
    std::snprintf(line, sizeof line, "Total Packets: %" PRId64 "\n", stream->packets);
    text += line;
    text += "Elapsed time (s): " + packetTimeText(elapsedTime(*stream)) + "\n";
    std::snprintf(line, sizeof line, "Total Bytes: %" PRId64 "\n",
                  stream->payloadBytes + stream->headerBytes);
    text += line;
    std::snprintf(line, sizeof line, "Total Bytes (w/o headers): %" PRId64 "\n",
                  stream->payloadBytes);
    text += line;
    return text;
}

ExtractRtpDialog::ExtractRtpDialog(wxWindow* parent, std::vector<const RtpStream*> streams)
    : wxDialog(parent, wxID_ANY, "Extract RTP Data", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      streams_(std::move(streams)) {
    list_ = new wxListBox(this, kStreamList);
    for (const RtpStream* stream : streams_) {
        list_->Append(displayText(stream->encodingName));
    }
    description_ = new wxStaticText(this, kDescription, wxEmptyString);
    recordHeaders_ = new wxCheckBox(this, kRecordHeaders, "Include Varlowe Headers");
    rtpHeaders_ = new wxCheckBox(this, kRtpHeaders, "Include RTP Headers");
    auto* saveAs = new wxStaticText(this, kSaveAsLabel, "Save As: ");
    pathField_ = new wxTextCtrl(this, kPathField, wxEmptyString);
    auto* browse =
        new wxButton(this, kBrowse, "...", wxDefaultPosition, wxSize(16, 16), wxBU_EXACTFIT);
    ok_ = new wxButton(this, kOk, "OK");
    auto* cancel = new wxButton(this, kCancel, "Cancel");

    auto* pathRow = new wxBoxSizer(wxHORIZONTAL);
    pathRow->Add(saveAs, 0, wxALIGN_CENTER_VERTICAL);
    pathRow->Add(pathField_, 1, wxEXPAND);
    pathRow->Add(browse, 0, wxEXPAND);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(description_, 1, wxEXPAND | wxALL, 5);
    column->Add(recordHeaders_, 0, wxALL, 5);
    column->Add(rtpHeaders_, 0, wxALL, 5);
    column->Add(pathRow, 0, wxEXPAND | wxALL, 5);
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(list_, 1, wxEXPAND | wxALL, 5);
    top->Add(column, 3, wxEXPAND);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(ok_, 0, wxALL, 10);
    buttons->Add(cancel, 0, wxALL, 10);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(top, 1, wxEXPAND);
    sizer->Add(buttons, 0, wxALIGN_CENTER);
    SetSizerAndFit(sizer);
    SetMinSize(wxSize(520, 240));
    SetSize(wxSize(560, 260));

    if (!streams_.empty()) {
        list_->SetSelection(0);
    }
    rtpHeaders_->SetValue(AppSettings::extractRtpDialogIncludeRtpHeaders());
    recordHeaders_->SetValue(AppSettings::extractRtpDialogIncludeVarloweHeaders());
    pathField_->ChangeValue(wxString::FromUTF8(AppSettings::extractRtpDialogLastFile()));
    showDescription();
    ok_->Enable(!pathField_->IsEmpty());

    list_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { showDescription(); });
    pathField_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { ok_->Enable(!pathField_->IsEmpty()); });
    browse->Bind(wxEVT_BUTTON, &ExtractRtpDialog::onBrowse, this);
    ok_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { accept(); });
    cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); });
    SetEscapeId(kCancel);
}

const RtpStream* ExtractRtpDialog::selectedStream() const {
    const int selection = list_->GetSelection();
    if (selection < 0 || static_cast<size_t>(selection) >= streams_.size()) {
        return nullptr;
    }
    return streams_[static_cast<size_t>(selection)];
}

void ExtractRtpDialog::showDescription() {
    const int selection = list_->GetSelection();
    if (selection == wxNOT_FOUND) {
        description_->SetLabel(wxEmptyString);
        return;
    }
    description_->SetLabel(displayText(extractDescription(selectedStream())));
}

void ExtractRtpDialog::onBrowse(wxCommandEvent&) {
    wxFileDialog chooser(this, "Select output file", wxEmptyString, pathField_->GetValue(),
                         "RTP export (*.rtp)|*.rtp|All Files (*.*)|*.*",
                         wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (chooser.ShowModal() == wxID_OK) {
        pathField_->SetValue(chooser.GetPath());
    }
}

void ExtractRtpDialog::accept() {
    AppSettings::setExtractRtpDialogIncludeRtpHeaders(rtpHeaders_->GetValue());
    AppSettings::setExtractRtpDialogIncludeVarloweHeaders(recordHeaders_->GetValue());
    AppSettings::setExtractRtpDialogLastFile(pathField_->GetValue().utf8_string());
    if (IsModal()) {
        EndModal(wxID_OK);
    } else {
        SetReturnCode(wxID_OK);
    }
}

}  // namespace varlowe
