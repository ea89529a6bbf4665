#include "rtcp_info_panel.h"

#include <wx/imaglist.h>
#include <wx/sizer.h>

#include <algorithm>

#include "engine/media/rtcp_report_view.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_model.h"
#include "toolkit/resource_images.h"
#include "toolkit/toolkit_text.h"

namespace varlowe {

namespace {

// The report rows, drawn from the texts the reports give (a virtual list: a long call has
// hundreds of reports).
class ReportList : public wxListCtrl {
  public:
    explicit ReportList(wxWindow* parent)
        : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                     wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL | wxLC_HRULES | wxLC_VRULES) {}

    void setRows(std::vector<rtcp_view::Row> rows) {
        rows_ = std::move(rows);
        SetItemCount(static_cast<long>(rows_.size()));
        Refresh();
    }

  protected:
    wxString OnGetItemText(long item, long column) const override {
        if (item < 0 || static_cast<size_t>(item) >= rows_.size()) {
            return wxString();
        }
        const rtcp_view::Row& row = rows_[static_cast<size_t>(item)];
        const std::string* cells[] = {&row.ssrc,
                                      &row.ntpTime,
                                      &row.fractionLost,
                                      &row.cumulativeLost,
                                      &row.jitter,
                                      &row.packetsSent,
                                      &row.bytesSent,
                                      &row.roundTrip,
                                      &row.mosLq,
                                      &row.mosCq,
                                      &row.rFactor,
                                      &row.discardRate,
                                      &row.burstGapDensity,
                                      &row.endSystemDelay};
        constexpr long kColumns = sizeof cells / sizeof cells[0];
        return column >= 0 && column < kColumns ? displayText(*cells[column]) : wxString();
    }
    int OnGetItemImage(long item) const override {
        return item >= 0 && static_cast<size_t>(item) < rows_.size()
                   ? rows_[static_cast<size_t>(item)].image
                   : -1;
    }

  private:
    std::vector<rtcp_view::Row> rows_;
};

}  // namespace

RtcpInfoPanel::RtcpInfoPanel(wxWindow* parent, const AnalysisModel* model, const RtpStream* stream,
                             const wxSize& size)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, size), model_(model), stream_(stream) {
    combo_ = new wxComboBox(this, kComboId, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                            nullptr, wxCB_READONLY);
    list_ = new ReportList(this);
    auto* images = new wxImageList(16, 16, true, 2);
    images->Add(resourceBitmapAt("rtcp_rr", wxSize(16, 16)));
    images->Add(resourceBitmapAt("rtcp_sr", wxSize(16, 16)));
    list_->AssignImageList(images, wxIMAGE_LIST_SMALL);
    // At least the classic widths, and wide enough for the texts in this toolkit's font.
    const int ssrcWidth = list_->GetTextExtent("0xDDDDDDDD").x + 16 + 24;
    const int timeWidth =
        list_->GetTextExtent(wxString::FromUTF8(rtcp_view::ntpTimeText(3'000'000'000u, 0))).x + 24;
    list_->AppendColumn("SSRC", wxLIST_FORMAT_LEFT, std::max(100, ssrcWidth));
    list_->AppendColumn("NTP Time", wxLIST_FORMAT_LEFT, std::max(140, timeWidth));
    // The figures keep the default width unless their title needs more.
    std::vector<const char*> figures = {"FPL", "CPL", "Jitter", "Packets Sent", "Bytes Sent"};
    figures.insert(figures.end(), std::begin(rtcp_view::kExtraColumns),
                   std::end(rtcp_view::kExtraColumns));
    for (const char* title : figures) {
        list_->AppendColumn(
            title, wxLIST_FORMAT_LEFT,
            std::max<int>(wxLIST_DEFAULT_COL_WIDTH, list_->GetTextExtent(title).x + 24));
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
        combo_->Append(displayText(label));
    }
    // Without any reported source the list is that of "All", and the box says so.
    const int initial = rtcp_view::initialSelection(labels);
    combo_->SetSelection(initial < 0 ? 0 : initial);
    filter_ = rtcp_view::filterOfLabel(labels[static_cast<size_t>(initial < 0 ? 0 : initial)]);
}

void RtcpInfoPanel::fillList() {
    static_cast<ReportList*>(list_)->setRows(stream_ != nullptr
                                                 ? rtcp_view::rows(stream_->reports, filter_)
                                                 : std::vector<rtcp_view::Row>());
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
