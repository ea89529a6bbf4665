#include "sip_diagram_selection_panel.h"

#include <wx/sizer.h>

#include <algorithm>
#include <iterator>

#include "settings/app_settings.h"
#include "toolkit/command_ids.h"
#include "toolkit/resource_images.h"

namespace varlowe {

namespace {
constexpr int kToggleIds[] = {command::kShowSipInLists, command::kShowSturnInLists,
                              command::kShowAudioInLists, command::kShowVideoInLists};
}

SipDiagramSelectionPanel::SipDiagramSelectionPanel(wxWindow* parent, const wxPoint& position,
                                                   const wxSize& size)
    : wxPanel(parent, kWindowId, position, size, wxTAB_TRAVERSAL | wxNO_BORDER, "panel") {
    toolbar_ = new wxToolBar(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                             wxTB_HORIZONTAL | wxTB_FLAT | wxTB_NODIVIDER, "toolbar");
    toolbar_->SetToolBitmapSize(wxSize(16, 16));
    const char* roles[] = {"message_type_sip", "message_type_sturn", "message_type_audio",
                           "message_type_video"};
    const bool states[] = {
        AppSettings::selectionPaneShowSip(), AppSettings::selectionPaneShowSturn(),
        AppSettings::selectionPaneShowAudio(), AppSettings::selectionPaneShowVideo()};
    for (size_t i = 0; i < 4; ++i) {
        toolbar_->AddCheckTool(kToggleIds[i], wxEmptyString,
                               resourceBitmap(roles[i], wxSize(16, 16)));
    }
    toolbar_->Realize();
    for (size_t i = 0; i < 4; ++i) {
        toolbar_->ToggleTool(kToggleIds[i], states[i]);
    }
    notebook_ = new SipDiagramSelectionNotebook(this);

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(toolbar_, 0, wxEXPAND | wxALL, 5);
    sizer->Add(notebook_, 1, wxEXPAND | wxALL, 5);
    SetSizer(sizer);

    Bind(wxEVT_TOOL, &SipDiagramSelectionPanel::onTool, this);
    notebook_->onSelectionFilterChanged(states[0], states[1], states[2], states[3]);
}

SipDiagramSelectionPanel::~SipDiagramSelectionPanel() {
    storeToggles();
}

void SipDiagramSelectionPanel::storeToggles() const {
    AppSettings::setSelectionPaneShowSip(toolbar_->GetToolState(kToggleIds[0]));
    AppSettings::setSelectionPaneShowSturn(toolbar_->GetToolState(kToggleIds[1]));
    AppSettings::setSelectionPaneShowAudio(toolbar_->GetToolState(kToggleIds[2]));
    AppSettings::setSelectionPaneShowVideo(toolbar_->GetToolState(kToggleIds[3]));
}

void SipDiagramSelectionPanel::onTool(wxCommandEvent& event) {
    const int id = event.GetId();
    if (std::find(std::begin(kToggleIds), std::end(kToggleIds), id) == std::end(kToggleIds)) {
        event.Skip();
        return;
    }
    // Stored at once as well: the program saves its settings before its windows go.
    storeToggles();
    notebook_->onSelectionFilterChanged(
        toolbar_->GetToolState(kToggleIds[0]), toolbar_->GetToolState(kToggleIds[1]),
        toolbar_->GetToolState(kToggleIds[2]), toolbar_->GetToolState(kToggleIds[3]));
}

}  // namespace varlowe
