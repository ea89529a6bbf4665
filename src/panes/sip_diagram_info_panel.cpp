#include "sip_diagram_info_panel.h"

#include <wx/stattext.h>

#include <wx/utils.h>
#include <algorithm>

#include "charts/ostrane_line_graph.h"
#include "diagram/message_info.h"
#include "diagram_view/diagram_painter.h"
#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_model.h"
#include "rtcp_info_panel.h"
#include "toolkit/toolkit_text.h"

namespace varlowe {

namespace {
// The graphs' green, dark enough for its legend text to read on the white plot (pure green
// on white has a contrast of 1.4 to 1).
const wxColour kGraphGreen(0, 130, 0);
const wxColour kGraphRed(200, 0, 0);
}  // namespace

namespace {

const char* const kInstructions = "\n\nPlease select an item in the diagram for more information.";

// A new page starts at the size the notebook gives its pages: the toolkit never gives a
// page less than its first size (and the pane is often lower than a list's best height),
// and a page laid out smaller first would squeeze its scroll bars below their minimum.
wxSize pageSizeOf(wxNotebook* book) {
    if (book->GetPageCount() > 0) {
        return book->GetPage(0)->GetSize();
    }
    const wxSize client = book->GetClientSize();
    return wxSize(std::max(16, client.x - 4), std::max(16, client.y - 40));
}

size_t slot(PageRole role) {
    return static_cast<size_t>(role);
}

}  // namespace

SipDiagramInfoPanel::SipDiagramInfoPanel(wxWindow* parent, const wxPoint& position,
                                         const wxSize& size)
    : wxNotebook(parent, kWindowId, position, size, 0, "notebook") {
    Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &SipDiagramInfoPanel::onPageChanged, this);
    // The panel starts on the instructions page.
    rebuilding_ = true;
    windows_[slot(PageRole::Instructions)] = createPage(PageRole::Instructions);
    AddPage(windows_[slot(PageRole::Instructions)], "Instructions", true);
    rebuilding_ = false;
}

SipDiagramInfoPanel::~SipDiagramInfoPanel() {
    // The graphs draw series this panel holds; they go first.
    rebuilding_ = true;
    DeleteAllPages();
}

void SipDiagramInfoPanel::setRtpRegistry(const RtpStreamRegistry* registry) {
    if (registry != registry_) {
        graphCache_.clear();
    }
    registry_ = registry;
}

OstraneLineGraph* SipDiagramInfoPanel::bandwidthGraph() const {
    return dynamic_cast<OstraneLineGraph*>(page(PageRole::Bandwidth));
}

OstraneLineGraph* SipDiagramInfoPanel::jitterGraph() const {
    return dynamic_cast<OstraneLineGraph*>(page(PageRole::Jitter));
}

RtcpInfoPanel* SipDiagramInfoPanel::rtcpPanel() const {
    return dynamic_cast<RtcpInfoPanel*>(page(PageRole::Rtcp));
}

wxNotebook* SipDiagramInfoPanel::mediaNotebook() const {
    return dynamic_cast<wxNotebook*>(page(PageRole::Media));
}

void SipDiagramInfoPanel::onSelectionChanged(const AnalysisItem* item) {
    if (item == last_) {
        return;
    }
    if (item != nullptr && item->kind != ItemKind::Sip && item->kind != ItemKind::Stun &&
        item->kind != ItemKind::Media) {
        return;
    }
    last_ = item;
    ++rebuilds_;

    InfoMode mode = InfoMode::Instructions;
    PageOffer offer;
    if (item != nullptr) {
        switch (item->kind) {
            case ItemKind::Sip:
                mode = InfoMode::Sip;
                offer.media = registry_ != nullptr && item->sip && item->sip->carriesSdp();
                break;
            case ItemKind::Stun:
                mode = InfoMode::Stun;
                break;
            case ItemKind::Media: {
                mode = InfoMode::Rtp;
                shownGraphs_.reset();
                if (registry_ != nullptr && item->stream != nullptr) {
                    std::unique_ptr<wxBusyCursor> busy;
                    if (!graphCache_.contains(item->stream)) {
                        busy = std::make_unique<wxBusyCursor>();
                    }
                    shownGraphs_ = graphCache_.graphs(registry_, item->stream);
                }
                offer.graphs = shownGraphs_ != nullptr;
                offer.rtcp = item->stream != nullptr && !item->stream->reports.empty();
                break;
            }
        }
    }

    // New pages must not take the keyboard from where the user is (the diagram, a list);
    // a focus inside this panel may be a page that goes.
    wxWindow* focus = wxWindow::FindFocus();
    if (focus != nullptr && (focus == this || IsDescendant(focus))) {
        focus = nullptr;
    }
    rebuilding_ = true;
    Freeze();
    apply(pages_.show(mode, offer));
    if (GetPageCount() > 0) {
        ChangeSelection(pages_.pageToShow());
    }
    Thaw();
    rebuilding_ = false;
    if (focus != nullptr && wxWindow::FindFocus() != focus) {
        focus->SetFocus();
    }
    Refresh();
}

void SipDiagramInfoPanel::apply(const std::vector<PageStep>& steps) {
    for (const PageStep& step : steps) {
        const size_t at = slot(step.role);
        switch (step.action) {
            case PageStep::Action::RemoveAll:
                DeleteAllPages();
                windows_.fill(nullptr);
                break;
            case PageStep::Action::Remove: {
                const int index = FindPage(windows_[at]);
                if (index != wxNOT_FOUND) {
                    DeletePage(static_cast<size_t>(index));
                }
                windows_[at] = nullptr;
                break;
            }
            case PageStep::Action::InsertFirst:
            case PageStep::Action::Append:
                windows_[at] = createPage(step.role);
                fillPage(step.role);
                if (step.action == PageStep::Action::InsertFirst) {
                    InsertPage(0, windows_[at], pageTitle(step.role), step.select);
                } else {
                    AddPage(windows_[at], pageTitle(step.role), step.select);
                }
                break;
            case PageStep::Action::Refill:
                fillPage(step.role);
                break;
            case PageStep::Action::EmptyMedia:
                if (wxNotebook* media = mediaNotebook()) {
                    media->DeleteAllPages();
                }
                break;
        }
    }
}

wxString SipDiagramInfoPanel::pageTitle(PageRole role) const {
    switch (role) {
        case PageRole::Contents:
            return "Contents";
        case PageRole::PacketInfo:
            return "Packet Info";
        case PageRole::Media:
            return "Media";
        case PageRole::Bandwidth:
            return "Bandwidth";
        case PageRole::Jitter:
            return "Jitter";
        case PageRole::InterarrivalJitter:
            return "RFC 3550 Jitter";
        case PageRole::Rtcp:
            return "RTCP Reports";
        case PageRole::Instructions:
            return "Instructions";
    }
    return wxString();
}

wxListCtrl* SipDiagramInfoPanel::makeList(wxNotebook* parent) {
    auto* list =
        new wxListCtrl(parent, wxID_ANY, wxDefaultPosition, pageSizeOf(parent),
                       wxLC_REPORT | wxLC_SINGLE_SEL | wxLC_NO_HEADER | wxLC_HRULES | wxLC_VRULES,
                       wxDefaultValidator, "listCtrl");
    list->AppendColumn("Name");
    list->AppendColumn("Value");
    return list;
}

void SipDiagramInfoPanel::fillList(wxListCtrl* list, const info_content::Rows& rows) {
    list->Freeze();
    list->DeleteAllItems();
    long row = 0;
    for (const auto& [name, value] : rows) {
        list->InsertItem(row, displayText(name));
        list->SetItem(row, 1, displayText(value));
        ++row;
    }
    list->SetColumnWidth(0, wxLIST_AUTOSIZE);
    list->SetColumnWidth(1, wxLIST_AUTOSIZE);
    list->Thaw();
}

wxWindow* SipDiagramInfoPanel::createPage(PageRole role) {
    switch (role) {
        case PageRole::Instructions:
            return new wxStaticText(this, wxID_ANY, kInstructions, wxDefaultPosition,
                                    pageSizeOf(this),
                                    wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
        case PageRole::Contents:
            if (pages_.mode() == InfoMode::Sip) {
                auto* text = new wxTextCtrl(
                    this, wxID_ANY, wxEmptyString, wxDefaultPosition, pageSizeOf(this),
                    wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP, wxDefaultValidator, "text");
                text->SetFont(
                    wxFontInfo(text->GetFont().GetPointSize()).Family(wxFONTFAMILY_TELETYPE));
                return text;
            }
            return makeList(this);
        case PageRole::PacketInfo:
            return makeList(this);
        case PageRole::Media:
            return new wxNotebook(this, wxID_ANY, wxDefaultPosition, pageSizeOf(this), 0,
                                  "notebook");
        case PageRole::Bandwidth:
        case PageRole::Jitter:
        case PageRole::InterarrivalJitter:
            return new OstraneLineGraph(this, wxID_ANY, wxDefaultPosition, pageSizeOf(this));
        case PageRole::Rtcp:
            return new RtcpInfoPanel(this, model_, last_ != nullptr ? last_->stream : nullptr,
                                     pageSizeOf(this));
    }
    return nullptr;
}

void SipDiagramInfoPanel::fillPage(PageRole role) {
    wxWindow* window = windows_[slot(role)];
    if (window == nullptr || last_ == nullptr || model_ == nullptr) {
        return;
    }
    switch (role) {
        case PageRole::Contents:
            if (auto* text = dynamic_cast<wxTextCtrl*>(window)) {
                text->ChangeValue(displayText(message_info::content(*model_, *last_)));
            } else if (auto* list = dynamic_cast<wxListCtrl*>(window)) {
                fillList(list, last_->kind == ItemKind::Media && last_->stream != nullptr
                                   ? info_content::streamRows(registry_, *last_->stream)
                                   : info_content::stunRows(*last_));
            }
            break;
        case PageRole::PacketInfo:
            fillList(static_cast<wxListCtrl*>(window),
                     info_content::packetInfoRows(info_content::describedPacket(*last_)));
            break;
        case PageRole::Media:
            fillMedia();
            break;
        case PageRole::Bandwidth: {
            auto* graph = static_cast<OstraneLineGraph*>(window);
            graph->setLabels("Bandwidth Usage", "time (s)", "bandwidth (bytes)");
            if (shownGraphs_) {
                graph->addSeries(shownGraphs_->series[RtpGraphData::IpHeaders].get(), kGraphGreen);
                graph->addSeries(shownGraphs_->series[RtpGraphData::Payload].get(), *wxBLUE);
                graph->addSeries(shownGraphs_->series[RtpGraphData::Total].get(), *wxBLACK);
            }
            break;
        }
        case PageRole::Jitter: {
            auto* graph = static_cast<OstraneLineGraph*>(window);
            graph->setLabels("Jitter", "time (packet #s)", "Jitter (usecs)");
            if (shownGraphs_) {
                graph->addSeries(shownGraphs_->series[RtpGraphData::TransmitDelta].get(),
                                 kGraphGreen);
                graph->addSeries(shownGraphs_->series[RtpGraphData::RollingAverage].get(),
                                 *wxBLACK);
            }
            break;
        }
        case PageRole::InterarrivalJitter: {
            // Its own page: the transit figures above can reach billions on a reordered
            // stream, where a jitter of milliseconds would lie flat on their axis.
            auto* graph = static_cast<OstraneLineGraph*>(window);
            graph->setLabels("RFC 3550 Jitter", "time (packet #s)", "Jitter (usecs)");
            if (shownGraphs_) {
                graph->addSeries(shownGraphs_->series[RtpGraphData::InterarrivalJitter].get(),
                                 kGraphRed);
            }
            break;
        }
        case PageRole::Rtcp:
        case PageRole::Instructions:
            break;
    }
}

void SipDiagramInfoPanel::fillMedia() {
    wxNotebook* media = mediaNotebook();
    if (media == nullptr || last_ == nullptr) {
        return;
    }
    media->DeleteAllPages();
    const std::unique_ptr<const SdpDescription> sdp =
        model_ != nullptr ? model_->sdpOf(*last_) : nullptr;
    if (registry_ == nullptr || sdp == nullptr) {
        return;
    }
    for (const RtpStream* stream :
         registry_->streamsOfTransaction(last_->sip->transactionKey(), sdp.get(), kMaxMediaTabs)) {
        wxListCtrl* list = makeList(media);
        fillList(list, streamFigureRows(*stream));
        media->AddPage(list, displayText(info_content::mediaTabTitle(*stream)));
    }
}

void SipDiagramInfoPanel::onPageChanged(wxBookCtrlEvent& event) {
    // The Media page's own tabs are not pages of this panel.
    if (event.GetEventObject() != this) {
        return;
    }
    if (!rebuilding_ && event.GetSelection() >= 0) {
        pages_.pageChosen(static_cast<size_t>(event.GetSelection()));
    }
}

}  // namespace varlowe
