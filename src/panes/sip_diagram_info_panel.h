#pragma once

#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/textctrl.h>

#include <array>
#include <memory>

#include "diagram/diagram_listeners.h"
#include "info_panel_content.h"
#include "info_panel_pages.h"
#include "stream_graph_cache.h"

namespace varlowe {

class AnalysisModel;
class OstraneLineGraph;
class RtcpInfoPanel;
class RtpStreamRegistry;
class SipDiagram;

// The pane below the diagram: the selected item's message or decoded fields, its packet,
// the media a SIP message set up, and for an RTP stream its figures, bandwidth and jitter
// graphs and RTCP reports, on notebook pages that are reused from one item to the next.
class SipDiagramInfoPanel : public wxNotebook, public ISipDiagramSelectionListener {
  public:
    static constexpr int kWindowId = 1308;
    static constexpr size_t kMaxMediaTabs = 32;

    explicit SipDiagramInfoPanel(wxWindow* parent, const wxPoint& position = wxDefaultPosition,
                                 const wxSize& size = wxDefaultSize);
    ~SipDiagramInfoPanel() override;

    void setRtpRegistry(const RtpStreamRegistry* registry);
    void setModel(const AnalysisModel* model) { model_ = model; }
    void setDiagram(SipDiagram* diagram) { diagram_ = diagram; }

    // ISipDiagramSelectionListener
    void onSelectionChanged(const AnalysisItem* item) override;

    const InfoPanelPages& pageState() const { return pages_; }
    // The page of a role, when the panel has it.
    wxWindow* page(PageRole role) const { return windows_[static_cast<size_t>(role)]; }
    OstraneLineGraph* bandwidthGraph() const;
    OstraneLineGraph* jitterGraph() const;
    RtcpInfoPanel* rtcpPanel() const;
    wxNotebook* mediaNotebook() const;
    // How often the pages were rebuilt for a new item.
    int rebuildCount() const { return rebuilds_; }
    StreamGraphCache& graphCache() { return graphCache_; }

  private:
    void apply(const std::vector<PageStep>& steps);
    wxWindow* createPage(PageRole role);
    void fillPage(PageRole role);
    wxString pageTitle(PageRole role) const;
    wxListCtrl* makeList(wxNotebook* parent);
    void fillList(wxListCtrl* list, const info_content::Rows& rows);
    void fillMedia();
    void onPageChanged(wxBookCtrlEvent& event);

    const RtpStreamRegistry* registry_ = nullptr;
    const AnalysisModel* model_ = nullptr;
    SipDiagram* diagram_ = nullptr;
    const AnalysisItem* last_ = nullptr;
    InfoPanelPages pages_;
    std::array<wxWindow*, 8> windows_{};
    StreamGraphCache graphCache_;
    std::shared_ptr<const RtpGraphData> shownGraphs_;  // what the graph pages draw
    bool rebuilding_ = false;
    int rebuilds_ = 0;
};

}  // namespace varlowe
