#pragma once

#include <wx/cmndata.h>
#include <wx/dialog.h>
#include <wx/mdi.h>
#include <wx/splitter.h>
#include <wx/treectrl.h>
#include <wx/weakref.h>

#include <memory>
#include <optional>
#include <string>

#include "diagram_view/sip_diagram.h"
#include "diagram_view/sip_diagram_selection_panel.h"
#include "diagram_view/sip_diagram_time_bar.h"
#include "engine/sip/analysis_model.h"
#include "filter_tree.h"
#include "pane_layout.h"
#include "panes/calls_list_pane.h"
#include "panes/sip_diagram_info_panel.h"
#include "playback_dialog.h"
#include "settings/settings_store.h"
#include "toolkit/command_handlers.h"

class wxMenuBar;

namespace varlowe {

class UserLabelDB;
class SipDiagramFrame;

// What a diagram window needs of the main window.
class IDiagramFrameHost {
  public:
    // A menu bar for a diagram window (the program's menus with its recent files).
    virtual wxMenuBar* makeMenuBar() = 0;
    // The window is about to go.
    virtual void diagramFrameClosing(SipDiagramFrame* frame) = 0;
    // The error boxes, shown over a window.
    virtual void showError(wxWindow* parent, const std::string& title,
                           const std::string& message) = 0;
    // A file to save to (a save dialog); none when the user cancels.
    virtual std::optional<std::string> askSavePath(wxWindow* parent, const wxString& title,
                                                   const wxString& wildcard) = 0;
    // Shows a modal dialog and gives its result.
    virtual int showModal(wxDialog& dialog) = 0;
    // Find: the text to look for (empty: none yet), asking for one, and the count to show.
    virtual std::string findText() const = 0;
    virtual void startFind() = 0;
    virtual void showFindStatus(const wxString& text) = 0;
    // The paper and margins of printing (the main window's page setup).
    virtual wxPageSetupDialogData& pageSetupData() = 0;
    virtual ~IDiagramFrameHost() = default;
};

// One opened capture: the filter tree, the selection lists, the time bar, the diagram and the
// info panel in four splitters, the row filter from the tree,
// the "diagram" switches and the hidden columns, and the window's commands. It owns the
// capture's model.
class SipDiagramFrame : public wxMDIChildFrame,
                        public IAppSettingsListener,
                        public IDiagramOwner,
                        public ICallsListOwner {
  public:
    SipDiagramFrame(wxMDIParentFrame* parent, const wxString& title, UserLabelDB* labels,
                    IDiagramFrameHost* host);
    ~SipDiagramFrame() override;

    void setModel(std::unique_ptr<AnalysisModel> model);
    AnalysisModel* model() const { return model_.get(); }
    // The full path of the capture, which is the window's title.
    const wxString& capturePath() const { return capturePath_; }
    void setCapturePath(const wxString& path);

    SipDiagram* diagram() const { return diagram_; }
    SipDiagramTimeBar* timeBar() const { return timeBar_; }
    SipDiagramSelectionPanel* selectionPanel() const { return selectionPanel_; }
    SipDiagramInfoPanel* infoPanel() const { return infoPanel_; }
    wxTreeCtrl* filterTree() const { return tree_; }
    wxSplitterWindow* mainSplitter() const { return mainSplitter_; }
    wxSplitterWindow* leftSplitter() const { return leftSplitter_; }
    wxSplitterWindow* rightSplitter() const { return rightSplitter_; }
    wxSplitterWindow* diagramSplitter() const { return diagramSplitter_; }
    wxSplitterWindow* callsSplitter() const { return callsSplitter_; }
    CallsListPane* callsPane() const { return callsPane_; }
    // How often the row filter was applied (for tests of "applied once").
    int filterApplications() const { return filterApplications_; }

    // IDiagramOwner
    void applyFilter(bool force) override;
    void syncTimeBar(size_t firstRow, size_t rowsFitting) override;
    // IAppSettingsListener
    void onSettingsChanged(const std::string& groupName) override;
    // ICallsListOwner
    void callsSelected(const std::vector<ItemIndex>& items) override;
    void copyCallsText(const std::string& text) override;
    void extractCallStreams(const std::vector<const RtpStream*>& streams) override;

    // Shows the panes the "frame" switches ask for.
    void applyPaneLayout();
    // The tree node a tree item stands for; none for the root or no item.
    const FilterNode* nodeOf(const wxTreeItemId& item) const;

    // Fills the filter tree from the model again.
    void fillTree();

    // The window's commands of getting results out.
    void exportText();
    void exportImage();
    void copySelected();
    void copyAll();
    void extractRtp();
    // The selected stream, or the call's two directions as a stereo file, as WAV.
    void saveAudio();
    // The same audio played, in a window with its position and Stop.
    void playAudio();
    PlaybackDialog* playback() const { return playback_; }
    // The extraction dialog over the given streams.
    void extractRtpOf(std::vector<const RtpStream*> streams);
    void print();
    void printPreview();
    // Find Next and Find Previous: the next row whose message holds the find text, selected.
    void findStep(bool forward);
    // The streams the extraction offers for the selected item.
    std::vector<const RtpStream*> extractableStreams() const;

  private:
    CommandHandlers commands_;
    // False, with a box, when the paper and margins leave no room for a row.
    bool printableOrSay();
    void onTreeSelection(wxTreeEvent& event);
    // The calls list's choice dropped: the tree's selected node makes the rows again.
    void showTreeNodeAgain();
    void onTreeExpanding(wxTreeEvent& event);
    void onSashMoved(wxSplitterEvent& event);
    void bindCommands();
    void onClose(wxCloseEvent& event);
    // The item's audio decoded, or none after a box titled so that says why.
    std::optional<MixedAudio> itemAudio(const std::string& title);

    IDiagramFrameHost* host_;
    UserLabelDB* labels_;
    std::unique_ptr<AnalysisModel> model_;
    wxString capturePath_;
    wxSplitterWindow* mainSplitter_;
    wxSplitterWindow* leftSplitter_;
    wxWeakRef<PlaybackDialog> playback_;  // the window owns itself
    wxSplitterWindow* rightSplitter_;
    wxSplitterWindow* diagramSplitter_;
    wxSplitterWindow* callsSplitter_;
    wxTreeCtrl* tree_;
    CallsListPane* callsPane_;
    SipDiagramSelectionPanel* selectionPanel_;
    SipDiagramInfoPanel* infoPanel_;
    SipDiagramTimeBar* timeBar_;
    SipDiagram* diagram_;
    std::optional<wxTreeItemId> lastApplied_;
    // The items of the calls selected in the calls list; while there are any they, not the
    // tree's node, make the ladder's rows.
    std::vector<ItemIndex> callItems_;
    std::string foundText_;  // what the find matches are of
    int filterApplications_ = 0;
    bool closing_ = false;
    bool filling_ = false;
};

}  // namespace varlowe
