#include "sip_diagram_frame.h"

#include <wx/imaglist.h>
#include <wx/menu.h>

#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <wx/clipbrd.h>
#include <wx/dcscreen.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/print.h>

#include "diagram/user_label_db.h"
#include "engine/capture/ipv6_address.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/media/stream_audio.h"
#include "engine/sip/item_search.h"
#include "extract_rtp_dialog.h"
#include "output/text_export.h"
#include "printing/diagram_image.h"
#include "printing/sip_diagram_printout.h"
#include "settings/app_settings.h"
#include "settings/export_settings.h"
#include "toolkit/command_ids.h"
#include "toolkit/resource_images.h"
#include "toolkit/toolkit_text.h"

namespace varlowe {

namespace {

enum TreeImage { kFilterImage = 0, kCallImage = 1, kBranchImage = 2 };

// What a tree item stands for; a call's branches are added when it is first expanded.
class FilterItemData : public wxTreeItemData {
  public:
    // The label is the tree's own text; a capture of 100,000 calls would keep it twice.
    explicit FilterItemData(FilterNode shown) : node(std::move(shown)) {
        node.label.clear();
        node.label.shrink_to_fit();
    }
    FilterNode node;
    bool branchesAdded = false;
};

constexpr int kMinimumPane = 16;

const char* const kSaveAdvice =
    " -- Please check permissions, available disk space, the path and try again.";

std::string notOverCapture(const std::string& path) {
    return "Unable to save " + path +
           " -- it is the capture shown in the window, which Varlowe never writes over.";
}

// Plain text onto the clipboard; nothing when it cannot be opened.
void putOnClipboard(const std::string& text) {
    if (text.empty() || !wxTheClipboard->Open()) {
        return;
    }
    wxTheClipboard->SetData(new wxTextDataObject(displayText(text)));
    wxTheClipboard->Flush();
    wxTheClipboard->Close();
}

// The size a new window gets as a tab of the main window's document area, so that its panes
// are laid out once at about their final size (a notebook in a pane of a few pixels upsets
// the toolkit).
wxSize initialSize(wxMDIParentFrame* parent) {
    wxWindow* area = parent != nullptr ? parent->GetClientWindow() : nullptr;
    const wxSize size = area != nullptr ? area->GetClientSize() : wxSize();
    return size.x >= 320 && size.y >= 240 ? size : wxSize(640, 480);
}

}  // namespace

SipDiagramFrame::SipDiagramFrame(wxMDIParentFrame* parent, const wxString& title,
                                 UserLabelDB* labels, IDiagramFrameHost* host)
    : wxMDIChildFrame(parent, wxID_ANY, title, wxDefaultPosition, initialSize(parent),
                      wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxRESIZE_BORDER,
                      "frame"),
      host_(host),
      labels_(labels) {
    const long splitterStyle = wxSP_LIVE_UPDATE | wxSP_3DSASH | wxSP_NO_XP_THEME;
    mainSplitter_ = new wxSplitterWindow(this, window::kMainSplitter, wxDefaultPosition,
                                         wxDefaultSize, splitterStyle);
    leftSplitter_ = new wxSplitterWindow(mainSplitter_, window::kLeftSplitter, wxDefaultPosition,
                                         wxDefaultSize, splitterStyle);
    rightSplitter_ = new wxSplitterWindow(mainSplitter_, window::kRightSplitter, wxDefaultPosition,
                                          wxDefaultSize, splitterStyle);
    callsSplitter_ = new wxSplitterWindow(rightSplitter_, window::kCallsSplitter, wxDefaultPosition,
                                          wxDefaultSize, splitterStyle);
    diagramSplitter_ = new wxSplitterWindow(callsSplitter_, window::kDiagramSplitter,
                                            wxDefaultPosition, wxDefaultSize, splitterStyle);
    for (wxSplitterWindow* splitter :
         {mainSplitter_, leftSplitter_, rightSplitter_, diagramSplitter_, callsSplitter_}) {
        splitter->SetMinimumPaneSize(kMinimumPane);
        splitter->Bind(wxEVT_SPLITTER_SASH_POS_CHANGED, &SipDiagramFrame::onSashMoved, this);
    }
    tree_ = new wxTreeCtrl(leftSplitter_, window::kFilterTree, wxDefaultPosition, wxDefaultSize,
                           wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE);
    auto* images = new wxImageList(16, 16, true, 3);
    for (const char* role : {"diagram_filter", "diagram_call_id", "diagram_branch_id"}) {
        images->Add(resourceBitmapAt(role, wxSize(16, 16)));
    }
    tree_->AssignImageList(images);
    callsPane_ = new CallsListPane(callsSplitter_, this);
    selectionPanel_ = new SipDiagramSelectionPanel(leftSplitter_);
    infoPanel_ = new SipDiagramInfoPanel(rightSplitter_);
    timeBar_ = new SipDiagramTimeBar(diagramSplitter_);
    diagram_ = new SipDiagram(diagramSplitter_, labels_, this);
    diagram_->state().addSelectionListener(infoPanel_);
    diagram_->state().addSelectionListener(selectionPanel_->selectionListener());
    diagram_->state().addBookmarkListener(selectionPanel_->bookmarkListener());
    infoPanel_->setDiagram(diagram_);
    selectionPanel_->setDiagram(diagram_);

    tree_->Bind(wxEVT_TREE_SEL_CHANGED, &SipDiagramFrame::onTreeSelection, this);
    tree_->Bind(wxEVT_TREE_ITEM_EXPANDING, &SipDiagramFrame::onTreeExpanding, this);
    // While calls chosen in the calls list are shown, a click on the tree's selected node
    // (which changes no selection) shows that node's rows again.
    tree_->Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& event) {
        int flags = 0;
        const wxTreeItemId hit = tree_->HitTest(event.GetPosition(), flags);
        if (!callItems_.empty() && hit.IsOk() && hit == tree_->GetSelection() &&
            (flags & wxTREE_HITTEST_ONITEMLABEL) != 0) {
            showTreeNodeAgain();
        }
        event.Skip();
    });
    bindCommands();
    Bind(wxEVT_MENU, [this](wxCommandEvent& event) { commands_.handle(event); });
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& event) { commands_.updateUi(event); });
    Bind(wxEVT_CLOSE_WINDOW, &SipDiagramFrame::onClose, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        mainSplitter_->SetSize(GetClientSize());
        event.Skip();
    });

    SettingsStore::instance().addListener(this);
    applyPaneLayout();
    diagram_->SetFocus();
}

SipDiagramFrame::~SipDiagramFrame() {
    SettingsStore::instance().removeListener(this);
    // The panes see the selection cleared, go, and the model goes last.
    diagram_->setModel(nullptr);
    timeBar_->setModel(nullptr);
    DestroyChildren();
    model_.reset();
#if defined(__GLIBC__)
    // A large capture's model is millions of small blocks; freed, they stay with the process
    // unless the heap is trimmed, and closing the window would give nothing back.
    malloc_trim(0);
#endif
}

void SipDiagramFrame::setCapturePath(const wxString& path) {
    capturePath_ = path;
    SetTitle(path);
}

void SipDiagramFrame::setModel(std::unique_ptr<AnalysisModel> model) {
    model_ = std::move(model);
    callItems_.clear();
    fillTree();
    callsPane_->setModel(model_.get());
    selectionPanel_->setModel(model_.get());
    timeBar_->setModel(model_.get());
    infoPanel_->setRtpRegistry(model_ ? model_->streamRegistry() : nullptr);
    infoPanel_->setModel(model_.get());
    diagram_->setModel(model_.get());
    // The "diagram" switches apply from the start; then, as a new diagram does, the first
    // row is selected.
    applyFilter(true);
    if (diagram_->state().rowCount() > 0) {
        diagram_->selectRow(RowIndex(0));
    }
    // The keys go to the ladder, also once the window is shown (the toolkit then gives the
    // focus to the first pane that takes it, the message text).
    diagram_->SetFocus();
    CallAfter([this] {
        if (!closing_) {
            diagram_->SetFocus();
        }
    });
}

void SipDiagramFrame::fillTree() {
    tree_->Freeze();
    tree_->DeleteAllItems();
    if (model_) {
        // Branches wait until their call is expanded: a capture of 100,000 calls fills the
        // tree with its calls at once, and a call's transactions cost nothing until wanted.
        FilterNode root = buildFilterTree(*model_, false);
        wxTreeItemId rootId =
            tree_->AddRoot(displayText(root.label), kFilterImage, -1,
                           new FilterItemData(FilterNode{root.kind, root.label, "", "", {}}));
        for (FilterNode& category : root.children) {
            std::vector<FilterNode> children = std::move(category.children);
            wxTreeItemId categoryId =
                tree_->AppendItem(rootId, displayText(category.label), kFilterImage, -1,
                                  new FilterItemData(category));
            const bool calls = category.label == "Call-Ids";
            for (FilterNode& child : children) {
                const wxString label = displayText(child.label);
                wxTreeItemId id = tree_->AppendItem(categoryId, label, calls ? kCallImage : -1, -1,
                                                    new FilterItemData(std::move(child)));
                if (calls && !model_->branchesOfSession(nodeOf(id)->key).empty()) {
                    tree_->SetItemHasChildren(id, true);
                }
            }
        }
        tree_->Expand(rootId);
        // The root (everything) starts selected; its filter is applied by setModel.
        filling_ = true;
        tree_->SelectItem(rootId);
        filling_ = false;
    }
    tree_->Thaw();
}

const FilterNode* SipDiagramFrame::nodeOf(const wxTreeItemId& item) const {
    if (!item.IsOk()) {
        return nullptr;
    }
    auto* data = dynamic_cast<FilterItemData*>(tree_->GetItemData(item));
    return data != nullptr ? &data->node : nullptr;
}

void SipDiagramFrame::onTreeExpanding(wxTreeEvent& event) {
    auto* data = dynamic_cast<FilterItemData*>(tree_->GetItemData(event.GetItem()));
    if (data == nullptr || data->branchesAdded || data->node.kind != FilterNode::Kind::Call ||
        !model_) {
        return;
    }
    data->branchesAdded = true;
    for (FilterNode& branch : branchesOf(*model_, data->node.key)) {
        const wxString label = displayText(branch.label);
        tree_->AppendItem(event.GetItem(), label, kBranchImage, -1,
                          new FilterItemData(std::move(branch)));
    }
}

void SipDiagramFrame::onTreeSelection(wxTreeEvent&) {
    if (!filling_) {
        // A node chosen in the tree takes over from the calls chosen in the list.
        if (!callItems_.empty()) {
            showTreeNodeAgain();
        } else {
            applyFilter(false);
        }
    }
}

void SipDiagramFrame::showTreeNodeAgain() {
    callItems_.clear();
    callsPane_->selectRows({});
    applyFilter(true);
}

void SipDiagramFrame::callsSelected(const std::vector<ItemIndex>& items) {
    if (items.empty() && callItems_.empty()) {
        return;
    }
    callItems_ = items;
    applyFilter(true);
    if (diagram_->state().rowCount() > 0) {
        diagram_->selectRow(RowIndex(0));
    }
}

void SipDiagramFrame::copyCallsText(const std::string& text) {
    putOnClipboard(text);
}

void SipDiagramFrame::extractCallStreams(const std::vector<const RtpStream*>& streams) {
    extractRtpOf(streams);
}

void SipDiagramFrame::applyFilter(bool force) {
    if (!model_ || closing_) {
        return;
    }
    const wxTreeItemId selected = tree_->GetSelection();
    if (!force && lastApplied_ && *lastApplied_ == selected) {
        return;
    }
    lastApplied_ = selected;
    ++filterApplications_;
    ItemSwitches switches;
    switches.sipMessages = AppSettings::diagramShowSipMessages();
    switches.sturnMessages = AppSettings::diagramShowSturnMessages();
    switches.rtpMarkers = AppSettings::diagramShowRtpMarkers();
    switches.provisionalResponses = AppSettings::diagramShowProvisionalResponses();
    const std::vector<std::string>& hidden = diagram_->state().hiddenColumns();
    diagram_->applyRowFilter(callItems_.empty()
                                 ? filterItems(*model_, nodeOf(selected), switches, hidden)
                                 : shownItems(*model_, callItems_, switches, hidden));
    timeBar_->setModel(model_.get());
    infoPanel_->setModel(model_.get());
    selectionPanel_->setModel(model_.get());
}

void SipDiagramFrame::syncTimeBar(size_t firstRow, size_t rowsFitting) {
    timeBar_->setVisibleRows(static_cast<int64_t>(firstRow), static_cast<int64_t>(rowsFitting));
}

void SipDiagramFrame::applyPaneLayout() {
    PaneSwitches on;
    on.filterPane = AppSettings::frameShowFilterPane();
    on.selectionPane = AppSettings::frameShowSelectionPane();
    on.timePane = AppSettings::frameShowTimePane();
    on.infoPane = AppSettings::frameShowInfoPane();
    const bool calls = AppSettings::frameShowCallsPane();
    const PaneLayout layout = paneLayout(on, true, true);

    // Each splitter shows both its panes or just the one that stays.
    auto arrange = [](wxSplitterWindow* splitter, wxWindow* first, wxWindow* second, bool both,
                      bool keepFirst, bool vertical, int sash) {
        wxWindow* kept = keepFirst ? first : second;
        wxWindow* dropped = keepFirst ? second : first;
        if (both) {
            if (!splitter->IsSplit()) {
                first->Show();
                second->Show();
                // A negative position is the size of the lower or right pane, which keeps
                // its size when the window grows.
                splitter->SetSashGravity(sash < 0 ? 1.0 : 0.0);
                if (vertical) {
                    splitter->SplitVertically(first, second, sash);
                } else {
                    splitter->SplitHorizontally(first, second, sash);
                }
            }
        } else if (splitter->IsSplit()) {
            splitter->Unsplit(dropped);
        } else if (splitter->GetWindow1() != kept) {
            dropped->Hide();
            kept->Show();
            splitter->Initialize(kept);
        }
    };
    // Outside in, so that every splitter has its size before it splits (a notebook in a pane
    // of a few pixels upsets the toolkit).
    mainSplitter_->SetSize(GetClientSize());
    arrange(mainSplitter_, leftSplitter_, rightSplitter_, layout.leftColumn, false, true,
            AppSettings::layoutSashVert());
    // The left column keeps whichever of its panes is on (the tree when neither is).
    arrange(leftSplitter_, tree_, selectionPanel_, layout.tree && layout.selection,
            layout.tree || !layout.selection, false, AppSettings::layoutSashTreeSel());
    arrange(rightSplitter_, callsSplitter_, infoPanel_, layout.info, true, false,
            AppSettings::layoutSashDiagramInfo());
    arrange(callsSplitter_, callsPane_, diagramSplitter_, calls, false, false,
            AppSettings::layoutSashCallsDiagram());
    if (calls) {
        callsPane_->fillIfStale();
    }
    arrange(diagramSplitter_, timeBar_, diagram_, layout.timeBar, false, true,
            AppSettings::layoutSashTimeDiagram());
}

void SipDiagramFrame::onSashMoved(wxSplitterEvent& event) {
    auto* splitter = dynamic_cast<wxSplitterWindow*>(event.GetEventObject());
    if (splitter == nullptr || !splitter->IsSplit()) {
        event.Skip();
        return;
    }
    // A position stored from the lower or right edge (negative) stays one: the splitter
    // also reports the moves its resizing makes, and a window of another size must keep the
    // pane's size, not the sash's distance from the top.
    const int position = event.GetSashPosition();
    const wxSize size = splitter->GetClientSize();
    const int extent = splitter->GetSplitMode() == wxSPLIT_VERTICAL ? size.x : size.y;
    auto stored = [&](int current) {
        if (current >= 0) {
            return position;
        }
        return std::min(position - extent, -kMinimumPane);
    };
    if (extent < 4 * kMinimumPane) {
        // Not laid out yet: nothing a user chose.
    } else if (splitter == mainSplitter_) {
        AppSettings::setLayoutSashVert(stored(AppSettings::layoutSashVert()));
    } else if (splitter == rightSplitter_) {
        AppSettings::setLayoutSashDiagramInfo(stored(AppSettings::layoutSashDiagramInfo()));
    } else if (splitter == diagramSplitter_) {
        AppSettings::setLayoutSashTimeDiagram(stored(AppSettings::layoutSashTimeDiagram()));
    } else if (splitter == leftSplitter_) {
        AppSettings::setLayoutSashTreeSel(stored(AppSettings::layoutSashTreeSel()));
    } else if (splitter == callsSplitter_) {
        AppSettings::setLayoutSashCallsDiagram(stored(AppSettings::layoutSashCallsDiagram()));
    }
    event.Skip();
}

void SipDiagramFrame::onSettingsChanged(const std::string& groupName) {
    if (groupName == "frame") {
        applyPaneLayout();
    } else if (groupName == "diagram") {
        // A View switch changes what is drawn, not what the user is looking at: the selected
        // item stays selected when it is still shown.
        const std::optional<ItemIndex> selected = diagram_->state().selectedIndex();
        diagram_->reloadSettings();
        selectionPanel_->notebook()->reloadColours();
        applyFilter(true);
        if (selected && model_) {
            if (const std::optional<RowIndex> row = model_->rowOf(*selected)) {
                diagram_->selectRow(*row);
            }
        }
        diagram_->Refresh();
    }
}

void SipDiagramFrame::bindCommands() {
    using namespace command;
    commands_.on(kClose, [this] { Close(); });
    commands_.on(kExport, [this] { exportText(); });
    commands_.on(kExportImage, [this] { exportImage(); });
    commands_.on(kCopyAll, [this] { copyAll(); });
    commands_.on(kPrint, [this] { print(); });
    commands_.on(kPrintPreview, [this] { printPreview(); });
    commands_.on(
        kCopy, [this] { copySelected(); }, [this] { return diagram_->commandEnabled(kCopy); });
    commands_.on(
        kExtractRtp, [this] { extractRtp(); },
        [this] { return diagram_->commandEnabled(kExtractRtp); });
    commands_.on(
        kSaveAudio, [this] { saveAudio(); },
        [this] { return diagram_->commandEnabled(kSaveAudio); });
    commands_.on(
        kPlayAudio, [this] { playAudio(); },
        [this] { return diagram_->commandEnabled(kPlayAudio); });
    commands_.on(kFindNext, [this] { findStep(true); });
    commands_.on(kFindPrevious, [this] { findStep(false); });
    // Bookmarks and stepping are the ladder's own.
    for (int id : {kAddBookmark, kRemoveBookmark, kToggleBookmark, kNextInTransaction,
                   kPreviousInTransaction, kNextInDialog, kPreviousInDialog}) {
        const bool bookmark = id == kAddBookmark || id == kRemoveBookmark || id == kToggleBookmark;
        commands_.on(
            id,
            [this, id] {
                wxCommandEvent forwarded(wxEVT_MENU, id);
                forwarded.SetEventObject(diagram_);
                diagram_->GetEventHandler()->ProcessEvent(forwarded);
            },
            [this, id, bookmark] { return !bookmark || diagram_->commandEnabled(id); });
    }
}

void SipDiagramFrame::findStep(bool forward) {
    if (!model_ || host_ == nullptr) {
        return;
    }
    const std::string text = host_->findText();
    if (text.empty()) {
        host_->startFind();
        return;
    }
    DiagramState& state = diagram_->state();
    if (text != foundText_) {
        wxBusyCursor busy;
        state.setFindMatches(findItems(*model_, text, false));
        foundText_ = text;
    }
    if (const std::optional<RowIndex> row = state.findStep(forward)) {
        diagram_->selectRow(*row);  // scrolled into view
    }
    diagram_->Refresh();
    const auto [count, current] = state.findCount();
    const wxString quoted = "\"" + displayText(text) + "\"";
    if (count == 0) {
        host_->showFindStatus("No match for " + quoted +
                              (state.findMatches().empty() ? "" : " in the rows shown"));
    } else {
        host_->showFindStatus(wxString::Format("Match %zu of %zu for ", current, count) + quoted);
    }
}

void SipDiagramFrame::onClose(wxCloseEvent& event) {
    closing_ = true;
    if (host_ != nullptr) {
        host_->diagramFrameClosing(this);
    }
    event.Skip();  // the toolkit destroys the window
}

void SipDiagramFrame::exportText() {
    if (!model_ || host_ == nullptr) {
        return;
    }
    std::optional<std::string> path =
        host_->askSavePath(this, "Export As", "Text Diagram/Log (*.txt)|*.txt");
    if (!path) {
        return;
    }
    const SaveOutcome saved = varlowe::exportText(*path, *model_, textExportOptionsFromSettings());
    if (saved == SaveOutcome::SameAsInput) {
        host_->showError(this, "Error", notOverCapture(*path));
    } else if (saved != SaveOutcome::Saved) {
        host_->showError(this, "Error", "Unable to save " + *path + kSaveAdvice);
    }
}

void SipDiagramFrame::exportImage() {
    if (!model_ || host_ == nullptr) {
        return;
    }
    std::optional<std::string> path = host_->askSavePath(
        this, "Export Image", "PNG image (*.png)|*.png|SVG drawing (*.svg)|*.svg");
    if (!path) {
        return;
    }
    wxBusyCursor busy;
    const RtpStreamRegistry* registry = model_->streamRegistry();
    const diagram_image::Result written =
        diagram_image::write(diagram_->state(), diagram_->style(), diagram_->drawCache(), *path,
                             registry != nullptr ? registry->capturePath() : std::string());
    if (!written.refusal.empty()) {
        host_->showError(this, "Export Image", written.refusal);
    } else if (written.outcome == SaveOutcome::SameAsInput) {
        host_->showError(this, "Error", notOverCapture(*path));
    } else if (written.outcome != SaveOutcome::Saved) {
        host_->showError(this, "Error", "Unable to save " + *path + kSaveAdvice);
    }
}

void SipDiagramFrame::copySelected() {
    const AnalysisItem* item = diagram_->state().selectedItem();
    if (item == nullptr || !model_) {
        return;
    }
    if (std::optional<std::string> text = itemText(*model_, *item)) {
        putOnClipboard(*text);
    }
}

void SipDiagramFrame::copyAll() {
    if (!model_ || host_ == nullptr) {
        return;
    }
    wxBusyCursor busy;
    CopyAllText copied = copyAllText(*model_, textExportOptionsFromSettings());
    switch (copied.outcome) {
        case CopyAllText::Outcome::ExportFailed:
            host_->showError(this, "Error",
                             std::string("Unable to save to temp file.") + kSaveAdvice);
            return;
        case CopyAllText::Outcome::NoMemory:
            host_->showError(this, "Insufficient Memory",
                             "Diagram is too large to be copied.  Make a smaller selection and try "
                             "again.");
            return;
        case CopyAllText::Outcome::Copied:
            putOnClipboard(copied.text);
            return;
    }
}

std::vector<const RtpStream*> SipDiagramFrame::extractableStreams() const {
    const AnalysisItem* item = diagram_->state().selectedItem();
    const RtpStreamRegistry* registry = model_ ? model_->streamRegistry() : nullptr;
    if (item == nullptr || registry == nullptr) {
        return {};
    }
    if (item->kind == ItemKind::Media && item->stream != nullptr) {
        return {item->stream};
    }
    if (std::unique_ptr<const SdpDescription> sdp = model_->sdpOf(*item)) {
        return registry->streamsOfTransaction(item->sip->transactionKey(), sdp.get(),
                                              SipDiagramInfoPanel::kMaxMediaTabs);
    }
    return {};
}

void SipDiagramFrame::extractRtp() {
    extractRtpOf(extractableStreams());
}

void SipDiagramFrame::extractRtpOf(std::vector<const RtpStream*> streams) {
    const RtpStreamRegistry* registry = model_ ? model_->streamRegistry() : nullptr;
    if (streams.empty() || registry == nullptr || host_ == nullptr) {
        return;
    }
    ExtractRtpDialog dialog(this, std::move(streams));
    if (host_->showModal(dialog) != wxID_OK || dialog.selectedStream() == nullptr) {
        return;
    }
    wxBusyCursor busy;
    const SaveOutcome saved = registry->extractStream(*dialog.selectedStream(), dialog.path(),
                                                      dialog.recordHeaders(), dialog.rtpHeaders());
    if (saved == SaveOutcome::SameAsInput) {
        host_->showError(this, "Save RTP Data", notOverCapture(dialog.path()));
    } else if (saved != SaveOutcome::Saved) {
        host_->showError(this, "Save RTP Data",
                         "Unable to save RTP contents to a file.  Please check file paths, "
                         "permissions, and available storage space.");
    }
}

std::optional<MixedAudio> SipDiagramFrame::itemAudio(const std::string& title) {
    const RtpStreamRegistry* registry = model_ ? model_->streamRegistry() : nullptr;
    // A SIP message stands for its call: both directions, whichever message announced them.
    std::vector<const RtpStream*> candidates = extractableStreams();
    const AnalysisItem* item = diagram_->state().selectedItem();
    if (model_ && item != nullptr && item->sip) {
        candidates.clear();
        const std::string_view callId = item->sip->callId().value_or("");
        for (size_t i = 0; i < model_->itemCount(); ++i) {
            const AnalysisItem& media = model_->item(ItemIndex(i));
            if (media.kind == ItemKind::Media && media.stream != nullptr &&
                media.stream->transaction().callId() == callId) {
                candidates.push_back(media.stream);
            }
        }
    }
    const std::vector<const RtpStream*> streams = audioChannelsOf(candidates);
    if (registry == nullptr || host_ == nullptr) {
        return std::nullopt;
    }
    if (streams.empty()) {
        host_->showError(this, title,
                         "None of the item's streams has audio Varlowe can decode (G.711, "
                         "G.722 or Opus).");
        return std::nullopt;
    }
    std::vector<StreamAudio> channels;
    std::string error;
    {
        wxBusyCursor busy;
        for (const RtpStream* stream : streams) {
            std::optional<StreamAudio> audio = decodeStreamAudio(*registry, *stream, error);
            if (!audio) {
                break;
            }
            channels.push_back(std::move(*audio));
        }
    }
    std::optional<MixedAudio> mixed;
    if (channels.size() == streams.size()) {
        mixed = alignChannels(channels, error);
    }
    if (!mixed) {
        host_->showError(this, title, error + ".");
    }
    return mixed;
}

void SipDiagramFrame::playAudio() {
    std::optional<MixedAudio> mixed = itemAudio("Play Audio");
    if (!mixed) {
        return;
    }
    if (playback_) {
        playback_->Destroy();  // one sound at a time
    }
    const AnalysisItem* item = diagram_->state().selectedItem();
    std::string what;
    if (item != nullptr && item->sip) {
        what = "Call-ID " + std::string(item->sip->callId().value_or(""));
    } else if (item != nullptr && item->stream != nullptr) {
        const PacketRecord& first = item->stream->firstPacket();
        what = item->stream->mediaName + "/" + item->stream->encodingName + "  " +
               endpointText(first.sourceAddress, first.sourcePort) + " > " +
               endpointText(first.destinationAddress, first.destinationPort);
    }
    auto* dialog = new PlaybackDialog(this, displayText(what));
    const std::string message = dialog->start(*mixed);
    if (!message.empty()) {
        dialog->Destroy();
        host_->showError(this, "Play Audio", message);
        return;
    }
    playback_ = dialog;
    dialog->Show();
}

void SipDiagramFrame::saveAudio() {
    const RtpStreamRegistry* registry = model_ ? model_->streamRegistry() : nullptr;
    std::optional<MixedAudio> mixed = itemAudio("Save Audio");
    if (!mixed) {
        return;
    }
    std::optional<std::string> path =
        host_->askSavePath(this, "Save Audio As", "WAV files (*.wav)|*.wav");
    if (!path) {
        return;
    }
    if (wxFileName(wxString::FromUTF8(*path)).GetExt().empty()) {
        *path += ".wav";
    }
    wxBusyCursor busy;
    const SaveOutcome saved = writeWav(*mixed, *path, registry->capturePath());
    if (saved == SaveOutcome::SameAsInput) {
        host_->showError(this, "Save Audio", notOverCapture(*path));
    } else if (saved != SaveOutcome::Saved) {
        host_->showError(this, "Save Audio",
                         "Unable to save the audio to " + *path +
                             ". Please check the path, its permissions and the free space.");
    }
}

bool SipDiagramFrame::printableOrSay() {
    const wxSize ppi = wxScreenDC().GetPPI();
    const DiagramGeometry base = baseGeometry(diagram_->style());
    const PageGeometry geometry = computePageGeometry(
        pageSetupOf(host_->pageSetupData()), Resolution{ppi.x, ppi.y}, base.headerHeight,
        base.rowHeight, diagram_->state().visibleColumns().size(), diagram_->state().rowCount());
    if (!geometry.printable()) {
        host_->showError(this, "Printing",
                         "The paper and its margins leave no room for the diagram. Make the "
                         "margins smaller in File > Page Setup.");
        return false;
    }
    return true;
}

void SipDiagramFrame::print() {
    if (!model_ || host_ == nullptr || !printableOrSay()) {
        return;
    }
    wxPageSetupDialogData& setup = host_->pageSetupData();
    wxPrintDialogData data(setup.GetPrintData());
    wxPrinter printer(&data);
    SipDiagramPrintout printout(GetTitle(), diagram_, pageSetupOf(setup));
    if (!printer.Print(diagram_, &printout, true)) {
        if (wxPrinter::GetLastError() == wxPRINTER_ERROR) {
            host_->showError(this, "Printing",
                             "There was a problem printing.\nPerhaps your current printer is not "
                             "set correctly?");
        } else {
            host_->showError(this, "Printing", "You canceled printing");
        }
        return;
    }
    setup.SetPrintData(printer.GetPrintDialogData().GetPrintData());
}

void SipDiagramFrame::printPreview() {
    if (!model_ || host_ == nullptr || !printableOrSay()) {
        return;
    }
    wxPageSetupDialogData& setup = host_->pageSetupData();
    wxPrintDialogData data(setup.GetPrintData());
    auto* preview =
        new wxPrintPreview(new SipDiagramPrintout(GetTitle(), diagram_, pageSetupOf(setup)),
                           new SipDiagramPrintout(GetTitle(), diagram_, pageSetupOf(setup)), &data);
    if (!preview->IsOk()) {
        delete preview;
        host_->showError(this, "Print Preview", "There was a problem with previewing.\n");
        return;
    }
    auto* frame = new SipDiagramPreviewFrame(preview, this, GetTitle());
    frame->Centre(wxBOTH);
    frame->Initialize();
    frame->Show();
}

}  // namespace varlowe
