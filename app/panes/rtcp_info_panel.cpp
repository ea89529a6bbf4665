#include "rtcp_info_panel.h"

#include <wx/imaglist.h>
#include <wx/sizer.h>

#include "media/rtcp_report_view.h"
#include "media/rtp_stream.h"
#include "resource_images.h"
#include "sip/analysis_model.h"

namespace varlowe {

RtcpInfoPanel::RtcpInfoPanel(wxWindow* parent, const AnalysisModel* model, const RtpStream* stream)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(16, 16)), model_(model), stream_(stream) {
    combo_ = new wxComboBox(this, kComboId, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                            nullptr, wxCB_READONLY);
    // Small at first, so that the page fits a low pane.
    list_ = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(16, 16),
                           wxLC_REPORT | wxLC_SINGLE_SEL | wxLC_HRULES | wxLC_VRULES);
    auto* images = new wxImageList(16, 16, true, 2);
    images->Add(resourceBitmapAt("rtcp_rr", wxSize(16, 16)));
    images->Add(resourceBitmapAt("rtcp_sr", wxSize(16, 16)));
    list_->AssignImageList(images, wxIMAGE_LIST_SMALL);
    list_->AppendColumn("SSRC", wxLIST_FORMAT_LEFT, 100);
    list_->AppendColumn("NTP Time", wxLIST_FORMAT_LEFT, 140);
    for (const char* title : {"FPL", "CPL", "Jitter", "Packets Sent", "Bytes Sent"}) {
        list_->AppendColumn(title);
    }

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(combo_, 0, wxALL, 5);
    sizer->Add(list_, 1, wxEXPAND | wxALL, 5);
    SetSizer(sizer);

    combo_->Bind(wxEVT_COMBOBOX, &RtcpInfoPanel::onCombo, this);
    fillSources();
    fillList();
}

void RtcpInfoPanel::fillSources() {
    if (stream_ == nullptr) {
        return;
    }
    const RtpStreamRegistry* registry = model_ != nullptr ? model_->streamRegistry() : nullptr;
    rtcp_view::NameLookup lookup;
    if (registry != nullptr) {
        lookup = [registry](uint32_t ssrc) { return registry->canonicalName(ssrc); };
    }
    const std::vector<std::string> labels = rtcp_view::sourceLabels(stream_->reports, lookup);
    for (const std::string& label : labels) {
        combo_->Append(wxString::FromUTF8(label));
    }
    // Without any reported source the list is that of "All", and the box says so.
    const int initial = rtcp_view::initialSelection(labels);
    combo_->SetSelection(initial < 0 ? 0 : initial);
    filter_ = rtcp_view::filterOfLabel(labels[static_cast<size_t>(initial < 0 ? 0 : initial)]);
}

void RtcpInfoPanel::fillList() {
    list_->DeleteAllItems();
    if (stream_ == nullptr) {
        return;
    }
    long row = 0;
    for (const rtcp_view::Row& report : rtcp_view::rows(stream_->reports, filter_)) {
        list_->InsertItem(row, wxString::FromUTF8(report.ssrc), report.image);
        const std::string* cells[] = {&report.ntpTime, &report.fractionLost, &report.cumulativeLost,
                                      &report.jitter,  &report.packetsSent,  &report.bytesSent};
        for (int column = 1; column <= 6; ++column) {
            list_->SetItem(row, column, wxString::FromUTF8(*cells[column - 1]));
        }
        ++row;
    }
}

void RtcpInfoPanel::chooseSource(int entry) {
    if (entry < 0 || entry >= static_cast<int>(combo_->GetCount())) {
        return;
    }
    combo_->SetSelection(entry);
    filter_ =
        rtcp_view::filterOfLabel(combo_->GetString(static_cast<unsigned>(entry)).utf8_string());
    fillList();
}

void RtcpInfoPanel::onCombo(wxCommandEvent& event) {
    chooseSource(event.GetSelection());
}

}  // namespace varlowe
