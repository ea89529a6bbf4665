#include "sip_message_info_dialog.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "diagram/message_info.h"
#include "diagram_painter.h"

namespace varlowe {

SipMessageInfoDialog::SipMessageInfoDialog(wxWindow* parent, wxWindowID id, const wxString& title,
                                           const AnalysisModel& model, const AnalysisItem& item)
    : wxDialog(parent, id, title, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER, "dialog") {
    SetTitle(displayText(message_info::title(item)));
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* heading = new wxStaticText(this, wxID_ANY, displayText(message_info::heading(item)),
                                     wxDefaultPosition, wxSize(400, 15), 0, "staticText");
    sizer->Add(heading, 0, wxEXPAND | wxALL, 5);
    auto* text =
        new wxTextCtrl(this, wxID_ANY, displayText(message_info::content(model, item)),
                       wxDefaultPosition, wxSize(400, 240),
                       wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP, wxDefaultValidator, "text");
    text->SetFont(wxFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE)));
    sizer->Add(text, 1, wxEXPAND | wxALL, 5);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* close = new wxButton(this, wxID_OK, "Close", wxDefaultPosition, wxDefaultSize, 0,
                               wxDefaultValidator, "button");
    buttons->Add(close, 0, wxALL, 10);
    sizer->Add(buttons, 0, wxALIGN_CENTER);
    SetSizerAndFit(sizer);
    SetSize(wxSize(std::max(GetSize().GetWidth(), 640), std::max(GetSize().GetHeight(), 480)));
    close->SetDefault();
    // The message from its first line, however long it is.
    text->SetInsertionPoint(0);
    text->ShowPosition(0);
    // Closed is gone: a hidden dialog per message read would pile up.
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
}

}  // namespace varlowe
