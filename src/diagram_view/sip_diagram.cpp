#include "sip_diagram.h"

#include <wx/accel.h>
#include <wx/dcbuffer.h>
#include <wx/mdi.h>
#include <wx/menu.h>
#include <wx/settings.h>

#include <algorithm>

#include "diagram/user_label_db.h"
#include "edit_column_label_dialog.h"
#include "engine/media/stream_audio.h"
#include "settings/app_settings.h"
#include "sip_message_info_dialog.h"
#include "toolkit/command_ids.h"
#include "toolkit/menu_builder.h"

namespace varlowe {

namespace {
wxDEFINE_EVENT(kDiagramScrolled, wxCommandEvent);

bool insideInfoPanel(wxWindow* window) {
    for (; window != nullptr; window = window->GetParent()) {
        if (window->GetId() == window::kInfoPanel) {
            return true;
        }
    }
    return false;
}
}  // namespace

SipDiagram::SipDiagram(wxWindow* parent, UserLabelDB* labels, IDiagramOwner* owner)
    : wxWindow(parent, window::kDiagram, wxDefaultPosition, wxDefaultSize,
               wxVSCROLL | wxHSCROLL | wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE, "diagram"),
      state_(labels),
      labels_(labels),
      owner_(owner),
      handCursor_(wxCURSOR_HAND) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    reloadSettings();
    Bind(wxEVT_PAINT, &SipDiagram::onPaint, this);
    Bind(wxEVT_SIZE, &SipDiagram::onSize, this);
    for (const wxEventTypeTag<wxScrollWinEvent>& type :
         {wxEVT_SCROLLWIN_TOP, wxEVT_SCROLLWIN_BOTTOM, wxEVT_SCROLLWIN_LINEUP,
          wxEVT_SCROLLWIN_LINEDOWN, wxEVT_SCROLLWIN_PAGEUP, wxEVT_SCROLLWIN_PAGEDOWN,
          wxEVT_SCROLLWIN_THUMBTRACK, wxEVT_SCROLLWIN_THUMBRELEASE}) {
        Bind(type, &SipDiagram::onScroll, this);
    }
    Bind(wxEVT_MOUSEWHEEL, &SipDiagram::onMouseWheel, this);
    Bind(wxEVT_MOTION, &SipDiagram::onMotion, this);
    Bind(wxEVT_LEAVE_WINDOW, &SipDiagram::onLeave, this);
    Bind(wxEVT_LEFT_DOWN, &SipDiagram::onLeftDown, this);
    Bind(wxEVT_LEFT_DCLICK, &SipDiagram::onLeftDoubleClick, this);
    Bind(wxEVT_RIGHT_DOWN, &SipDiagram::onRightDown, this);
    Bind(wxEVT_KEY_DOWN, &SipDiagram::onKeyDown, this);
    Bind(wxEVT_MENU, &SipDiagram::onCommand, this);
    Bind(kDiagramScrolled, &SipDiagram::onScrolledNotification, this);
    // The accelerators of the item menu, so that they work wherever the diagram is.
    wxAcceleratorEntry keys[] = {
        {wxACCEL_CTRL, 'C', command::kCopy},
        {wxACCEL_CTRL, 'B', command::kToggleBookmark},
        {wxACCEL_CTRL, WXK_DOWN, command::kNextInTransaction},
        {wxACCEL_CTRL, WXK_UP, command::kPreviousInTransaction},
        {wxACCEL_ALT, WXK_DOWN, command::kNextInDialog},
        {wxACCEL_ALT, WXK_UP, command::kPreviousInDialog},
    };
    SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(std::size(keys)), keys));
}

SipDiagram::~SipDiagram() = default;

void SipDiagram::reloadSettings() {
    style_ = DiagramStyle::fromSettings();
    cache_.forgetTexts();
    DiagramState::Options options;
    options.relationshipMarkers = AppSettings::diagramShowRelationshipMarkers();
    options.transactionMarkers = AppSettings::diagramShowTransactionMarkers();
    state_.setOptions(options);
    SetBackgroundColour(style_.oddBackground);
    computeGeometry();
    updateScrollbars();
    Refresh();
}

void SipDiagram::computeGeometry() {
    geometry_ = baseGeometry(style_);
    const size_t columns = state_.visibleColumns().size();
    geometry_.columnWidth = DiagramGeometry::screenColumnWidth(
        DiagramGeometry::virtualWidth(columns), GetClientSize().GetWidth(), columns);
}

void SipDiagram::updateScrollbars() {
    const wxSize client = GetClientSize();
    const size_t columns = state_.visibleColumns().size();
    const int64_t rowUnits =
        (geometry_.virtualHeight(state_.rowCount()) + geometry_.rowHeight - 1) /
        geometry_.rowHeight;
    const int rowsShown = std::max(1, client.GetHeight() / geometry_.rowHeight);
    const int64_t stepUnits =
        (DiagramGeometry::virtualWidth(columns) + DiagramGeometry::kHorizontalStep - 1) /
        DiagramGeometry::kHorizontalStep;
    const int stepsShown = std::max(1, client.GetWidth() / DiagramGeometry::kHorizontalStep);
    const int64_t lastRow = std::max<int64_t>(0, rowUnits - rowsShown);
    const int64_t lastStep = std::max<int64_t>(0, stepUnits - stepsShown);
    view_.row = std::clamp<int64_t>(view_.row, 0, lastRow);
    view_.step = std::clamp<int64_t>(view_.step, 0, lastStep);
    SetScrollbar(wxVERTICAL, static_cast<int>(view_.row), rowsShown,
                 static_cast<int>(std::min<int64_t>(rowUnits, INT32_MAX)));
    SetScrollbar(wxHORIZONTAL, static_cast<int>(view_.step), stepsShown,
                 static_cast<int>(std::min<int64_t>(stepUnits, INT32_MAX)));
}

void SipDiagram::scrollTo(ViewStart view) {
    const ViewStart before = view_;
    view_ = view;
    updateScrollbars();
    if (view_.row != before.row || view_.step != before.step) {
        Refresh();
        if (view_.row != before.row) {
            postScrolled();
        }
    }
}

size_t SipDiagram::rowsFittingBelowHeader() const {
    const int height = GetClientSize().GetHeight() - geometry_.headerHeight;
    return height > 0 ? static_cast<size_t>(height / geometry_.rowHeight) : 0;
}

void SipDiagram::postScrolled() {
    wxCommandEvent* event = new wxCommandEvent(kDiagramScrolled, window::kDiagram);
    wxQueueEvent(this, event);
}

void SipDiagram::onScrolledNotification(wxCommandEvent&) {
    if (owner_ != nullptr) {
        owner_->syncTimeBar(static_cast<size_t>(view_.row), rowsFittingBelowHeader());
    }
}

void SipDiagram::setModel(AnalysisModel* model) {
    cache_ = ItemDrawCache();
    state_.setModel(model);
    computeGeometry();
    view_ = ViewStart{};
    updateScrollbars();
    Refresh();
    postScrolled();
}

void SipDiagram::applyRowFilter(std::optional<std::vector<ItemIndex>> indices) {
    cache_.forgetAnswers();
    state_.applyRowFilter(std::move(indices));
    computeGeometry();
    updateScrollbars();
    Refresh();
    postScrolled();
}

void SipDiagram::selectRow(std::optional<RowIndex> row, const AnalysisItem* item) {
    wxWindow* focus = wxWindow::FindFocus();
    const bool fromInfoPanel = insideInfoPanel(focus);
    state_.selectRow(row, item);
    if (item != nullptr && focus != nullptr && !fromInfoPanel && wxWindow::FindFocus() != focus) {
        focus->SetFocus();
    }
    if (!row || !ensureVisible(row->value)) {
        Refresh();
    }
}

bool SipDiagram::ensureVisible(size_t row) {
    const AnalysisItem* item = state_.itemAtRow(RowIndex(row));
    size_t column = 0;
    if (item != nullptr) {
        column = state_.columnOf(item->packet.sourceAddress()).value_or(0);
    }
    const wxSize client = GetClientSize();
    if (client.GetHeight() <= geometry_.headerHeight || client.GetWidth() <= 0) {
        return false;  // not laid out yet: nothing is in view, nothing to scroll to
    }
    std::optional<ViewStart> next =
        viewToShow(row, column, view_, geometry_, client.GetWidth(), client.GetHeight());
    if (!next) {
        return false;
    }
    const ViewStart before = view_;
    scrollTo(*next);
    return view_.row != before.row || view_.step != before.step;
}

void SipDiagram::onPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    paintView(dc);
}

void SipDiagram::paintView(wxDC& dc) {
    dc.SetBackground(wxBrush(style_.oddBackground));
    dc.Clear();
    const wxSize client = GetClientSize();
    const int64_t originY = static_cast<int64_t>(geometry_.rowHeight) * view_.row;
    PaintArea area;
    area.rows = drawnRows(static_cast<size_t>(view_.row), client.GetHeight(), geometry_.rowHeight,
                          state_.rowCount());
    area.xOffset = static_cast<int>(-DiagramGeometry::kHorizontalStep * view_.step);
    // The header stays at the top and the time margin at the left while the rows scroll.
    area.headerY = 0;
    area.stickyMargin = true;
    area.firstRowY = static_cast<int>(geometry_.rowTop(area.rows.first) - originY);
    area.fillX = 0;
    area.fillWidth = client.GetWidth();
    area.lifelineTop = geometry_.headerHeight;
    area.lifelineBottom = static_cast<int>(std::min<int64_t>(
        geometry_.virtualHeight(state_.rowCount()) - originY, client.GetHeight() + 1));
    area.showTimeDeltas = AppSettings::diagramShowTimeDeltas();
    area.showAbsoluteTime = AppSettings::diagramShowAbsTime();
    DiagramPainter painter(state_, geometry_, style_, cache_);
    // Rows first, then the header over them.
    painter.paintRows(dc, area);
    painter.paintHeader(dc, area);
    painter.paintEmptyReasons(dc, area);
}

void SipDiagram::onSize(wxSizeEvent& event) {
    computeGeometry();
    updateScrollbars();
    postScrolled();
    Refresh();
    event.Skip();
}

int64_t SipDiagram::pageOf(bool vertical) const {
    const wxSize client = GetClientSize();
    return vertical ? std::max(1, client.GetHeight() / geometry_.rowHeight - 1)
                    : std::max(1, client.GetWidth() / DiagramGeometry::kHorizontalStep);
}

void SipDiagram::onScroll(wxScrollWinEvent& event) {
    const bool vertical = event.GetOrientation() == wxVERTICAL;
    ViewStart next = view_;
    int64_t& position = vertical ? next.row : next.step;
    const int64_t page = pageOf(vertical);
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_SCROLLWIN_TOP) {
        position = 0;
    } else if (type == wxEVT_SCROLLWIN_BOTTOM) {
        position = INT32_MAX;
    } else if (type == wxEVT_SCROLLWIN_LINEUP) {
        position -= 1;
    } else if (type == wxEVT_SCROLLWIN_LINEDOWN) {
        position += 1;
    } else if (type == wxEVT_SCROLLWIN_PAGEUP) {
        position -= page;
    } else if (type == wxEVT_SCROLLWIN_PAGEDOWN) {
        position += page;
    } else {
        // The bar moved itself (dragged, or on its way to a page it was clicked for, which
        // the toolkit animates): follow it without setting it, as setting it would end the
        // animation at its first step.
        followScrollbar(vertical, event.GetPosition());
        return;
    }
    position = std::max<int64_t>(position, 0);
    scrollTo(next);
}

void SipDiagram::followScrollbar(bool vertical, int position) {
    ViewStart next = view_;
    (vertical ? next.row : next.step) = std::max(0, position);
    if (next.row == view_.row && next.step == view_.step) {
        return;
    }
    view_ = next;
    Refresh();
    if (vertical) {
        postScrolled();
    }
}

void SipDiagram::onMouseWheel(wxMouseEvent& event) {
    if (event.GetWheelRotation() == 0 || event.GetWheelDelta() == 0) {
        return;
    }
    const int lines = event.GetWheelRotation() / event.GetWheelDelta() * event.GetLinesPerAction();
    ViewStart next = view_;
    if (event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL) {
        next.step = std::max<int64_t>(0, next.step + lines);
    } else {
        next.row = std::max<int64_t>(0, next.row - lines);
    }
    scrollTo(next);
}

std::optional<RowIndex> SipDiagram::hitRow(wxPoint point) const {
    std::optional<size_t> row = rowUnder(point.x, point.y, view_, geometry_, state_.rowCount());
    if (!row || state_.itemAtRow(RowIndex(*row)) == nullptr) {
        return std::nullopt;
    }
    return RowIndex(*row);
}

std::optional<RowIndex> SipDiagram::hitItem(wxPoint point) const {
    const std::optional<RowIndex> row = hitRow(point);
    if (!row) {
        return std::nullopt;
    }
    const AnalysisItem* item = state_.itemAtRow(*row);
    std::optional<size_t> source = state_.columnOf(item->packet.sourceAddress());
    std::optional<size_t> destination = state_.columnOf(item->packet.destinationAddress());
    if (!source || !destination) {
        return std::nullopt;
    }
    if (!hitsArrow(point.x, view_, geometry_.columnCentre(*source),
                   geometry_.columnCentre(*destination))) {
        return std::nullopt;
    }
    return row;
}

void SipDiagram::onMotion(wxMouseEvent& event) {
    lastMouse_ = event.GetPosition();
    SetCursor(hitItem(lastMouse_) ? handCursor_ : *wxSTANDARD_CURSOR);
    event.Skip();
}

void SipDiagram::onLeave(wxMouseEvent& event) {
    SetCursor(*wxSTANDARD_CURSOR);
    event.Skip();
}

void SipDiagram::onLeftDown(wxMouseEvent& event) {
    SetFocus();
    lastMouse_ = event.GetPosition();
    // Anywhere on a row selects it, as its highlight spans the row.
    std::optional<RowIndex> hit = hitRow(lastMouse_);
    if (hit && hit != state_.selectedRow()) {
        selectRow(hit);
    } else if (state_.selectedRow() || state_.selectedIndex()) {
        selectRow(std::nullopt, nullptr);
    }
    event.Skip();
}

void SipDiagram::onLeftDoubleClick(wxMouseEvent& event) {
    std::optional<RowIndex> hit = hitRow(event.GetPosition());
    if (hit) {
        if (const AnalysisItem* item = state_.itemAtRow(*hit)) {
            openMessageDialog(*item);
        }
    }
}

void SipDiagram::onRightDown(wxMouseEvent& event) {
    SetFocus();
    const wxPoint point = event.GetPosition();
    lastMouse_ = point;
    std::optional<size_t> column =
        headerColumnUnder(point.x, point.y, view_, geometry_, state_.visibleColumns().size());
    const bool inHeader = point.y <= geometry_.headerHeight;
    if (inHeader) {
        state_.setContextColumn(column);
        std::unique_ptr<wxMenu> menu(makeColumnMenu());
        showPopup(*menu, point);
        return;
    }
    std::optional<RowIndex> hit = hitRow(point);
    if (!hit) {
        return;
    }
    if (hit != state_.selectedRow()) {
        selectRow(hit);
    }
    if (const AnalysisItem* item = state_.itemAtRow(*hit)) {
        openItemMenu(*item, point);
    }
}

void SipDiagram::openItemMenu(const AnalysisItem& item, wxPoint at) {
    std::unique_ptr<wxMenu> menu(makeItemMenu(item));
    menuItem_ = &item;
    showPopup(*menu, at);
    menuItem_ = nullptr;
}

void SipDiagram::onKeyDown(wxKeyEvent& event) {
    const size_t rows = state_.rowCount();
    if (rows == 0 || event.HasAnyModifiers()) {
        event.Skip();
        return;
    }
    const std::optional<RowIndex> selected = state_.selectedRow();
    switch (event.GetKeyCode()) {
        case WXK_END:
        case WXK_NUMPAD_END:
            selectRow(RowIndex(rows - 1));
            return;
        case WXK_HOME:
        case WXK_NUMPAD_HOME:
            selectRow(RowIndex(0));
            return;
        case WXK_UP:
        case WXK_NUMPAD_UP:
            if (selected && selected->value >= 1) {
                selectRow(RowIndex(selected->value - 1));
            }
            return;
        case WXK_DOWN:
        case WXK_NUMPAD_DOWN:
            if (!selected) {
                selectRow(RowIndex(0));
            } else if (selected->value + 1 < rows) {
                selectRow(RowIndex(selected->value + 1));
            }
            return;
        case WXK_PAGEUP:
        case WXK_NUMPAD_PAGEUP:
        case WXK_PAGEDOWN:
        case WXK_NUMPAD_PAGEDOWN: {
            // A page of rows, the selection unchanged, as the toolkit's scrolled window does;
            // done here because the toolkit animates it and ends up a row or two on.
            const bool up =
                event.GetKeyCode() == WXK_PAGEUP || event.GetKeyCode() == WXK_NUMPAD_PAGEUP;
            ViewStart next = view_;
            next.row = std::max<int64_t>(0, next.row + (up ? -pageOf(true) : pageOf(true)));
            scrollTo(next);
            return;
        }
        default:
            event.Skip();
    }
}

wxMenu* SipDiagram::makeColumnMenu() const {
    wxMenu* menu = buildMenu(menus::columnHeader());
    const std::vector<std::string>& all = state_.allColumns();
    for (size_t n = 0; n < all.size() && n < static_cast<size_t>(command::kColumnToggleCount);
         ++n) {
        const int id = command::kFirstColumnToggle + static_cast<int>(n);
        menu->AppendCheckItem(id, displayText(all[n]), "Show/Hide Column");
        menu->Check(id, !state_.isHidden(all[n]));
    }
    for (int id :
         {command::kMoveColumnLeft, command::kMoveColumnRight, command::kRestoreColumnLabel}) {
        menu->Enable(id, commandEnabled(id));
    }
    return menu;
}

wxMenu* SipDiagram::makeItemMenu(const AnalysisItem& item) const {
    wxMenu* menu = buildMenu(item.kind == ItemKind::Stun ? menus::itemWithoutExtraction()
                                                         : menus::itemWithExtraction());
    menu->Delete(state_.selectionIsBookmarked() ? command::kAddBookmark : command::kRemoveBookmark);
    for (int id : {command::kExtractRtp, command::kSaveAudio, command::kPlayAudio,
                   command::kAddBookmark, command::kRemoveBookmark, command::kCopy}) {
        if (menu->FindItem(id) != nullptr) {
            menu->Enable(id, commandEnabled(id));
        }
    }
    return menu;
}

bool SipDiagram::commandEnabled(int id) const {
    const AnalysisItem* selected = state_.selectedItem();
    switch (id) {
        case command::kMoveColumnLeft:
            return state_.canMoveColumnLeft();
        case command::kMoveColumnRight:
            return state_.canMoveColumnRight();
        case command::kRestoreColumnLabel: {
            std::optional<std::string> endpoint = state_.contextEndpoint();
            return endpoint && labels_ != nullptr && labels_->hasLabel(*endpoint);
        }
        case command::kSaveAudio:
        case command::kPlayAudio:
            return selected != nullptr && selected->kind == ItemKind::Media &&
                           selected->stream != nullptr
                       ? canDecodeAudio(*selected->stream)
                       : commandEnabled(command::kExtractRtp);
        case command::kExtractRtp: {
            if (selected == nullptr) {
                return false;
            }
            if (selected->kind == ItemKind::Media) {
                return true;
            }
            if (selected->sip && state_.model() != nullptr) {
                ItemDrawCache::Media media = cache_.mediaOf(*state_.model(), *selected);
                return media.audio || media.video;
            }
            return false;
        }
        case command::kAddBookmark:
            return selected != nullptr && !state_.selectionIsBookmarked();
        case command::kRemoveBookmark:
            return selected != nullptr && state_.selectionIsBookmarked();
        case command::kToggleBookmark:
        case command::kCopy:
            return selected != nullptr;
        default:
            return true;
    }
}

void SipDiagram::onCommand(wxCommandEvent& event) {
    const int id = event.GetId();
    if (id >= command::kFirstColumnToggle &&
        id < command::kFirstColumnToggle + command::kColumnToggleCount) {
        if (state_.toggleColumn(static_cast<size_t>(id - command::kFirstColumnToggle)) &&
            owner_ != nullptr) {
            owner_->applyFilter(true);
        }
        return;
    }
    switch (id) {
        case command::kMoveColumnLeft:
            if (state_.moveColumnLeft()) {
                Refresh();
            }
            return;
        case command::kMoveColumnRight:
            if (state_.moveColumnRight()) {
                Refresh();
            }
            return;
        case command::kEditColumnLabel:
            editColumnLabel();
            return;
        case command::kRestoreColumnLabel:
            restoreColumnLabel();
            return;
        case command::kContents:
            // From a list's menu the item may be one the diagram does not show.
            if (const AnalysisItem* item =
                    menuItem_ != nullptr ? menuItem_ : state_.selectedItem()) {
                openMessageDialog(*item);
            }
            return;
        case command::kAddBookmark:
        case command::kRemoveBookmark:
        case command::kToggleBookmark:
            state_.toggleBookmark();
            Refresh();
            return;
        case command::kNextInTransaction:
        case command::kPreviousInTransaction:
        case command::kNextInDialog:
        case command::kPreviousInDialog: {
            const bool forward = id == command::kNextInTransaction || id == command::kNextInDialog;
            const bool changed = id == command::kNextInDialog || id == command::kPreviousInDialog
                                     ? state_.stepInDialog(forward)
                                     : state_.stepInTransaction(forward);
            if (changed && state_.selectedRow()) {
                if (!ensureVisible(state_.selectedRow()->value)) {
                    Refresh();
                }
            }
            return;
        }
        default:
            event.Skip();  // copy, extraction and the rest belong to the window
    }
}

wxWindow* SipDiagram::openMessageDialog(const AnalysisItem& item) {
    // The window of the capture: a document window inside the main window is no top-level
    // window of its own, and the dialog must go when it goes.
    wxWindow* parent = this;
    while (parent->GetParent() != nullptr && !parent->IsTopLevel() &&
           dynamic_cast<wxMDIChildFrame*>(parent) == nullptr) {
        parent = parent->GetParent();
    }
    auto* dialog = new SipMessageInfoDialog(parent, wxID_ANY, "Message", *state_.model(), item);
    dialog->Show();
    return dialog;
}

void SipDiagram::editColumnLabel() {
    std::optional<std::string> endpoint = state_.contextEndpoint();
    if (!endpoint) {
        return;
    }
    std::string initial = labels_ != nullptr ? labels_->label(*endpoint) : std::string();
    if (initial.empty()) {
        initial = state_.rememberedUserAgent(*endpoint);
    }
    bool persist = true;
    if (askColumnLabel(initial, persist) && labels_ != nullptr) {
        labels_->setLabel(*endpoint, initial, persist);
    }
    Refresh();
}

void SipDiagram::showPopup(wxMenu& menu, wxPoint at) {
    PopupMenu(&menu, at);
}

bool SipDiagram::askColumnLabel(std::string& text, bool& persist) {
    EditColumnLabelDialog dialog(GetParent() != nullptr ? GetParent() : this, text);
    if (dialog.ShowModal() != wxID_OK) {
        return false;
    }
    text = std::string(dialog.text().utf8_str());
    persist = dialog.persist();
    return true;
}

void SipDiagram::restoreColumnLabel() {
    std::optional<std::string> endpoint = state_.contextEndpoint();
    if (endpoint && labels_ != nullptr) {
        labels_->removeLabel(*endpoint);
    }
    Refresh();
}

}  // namespace varlowe
