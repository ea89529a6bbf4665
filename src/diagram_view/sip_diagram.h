#pragma once

#include <wx/window.h>

#include <optional>

#include "diagram/diagram_geometry.h"
#include "diagram/diagram_state.h"
#include "diagram_painter.h"
#include "diagram_style.h"

class wxMenu;

namespace varlowe {

class UserLabelDB;

// What the diagram asks of the window that holds it.
class IDiagramOwner {
  public:
    // Apply the row filter again (a column was hidden or shown); `force` even when the
    // filter tree's selection did not change.
    virtual void applyFilter(bool force) = 0;
    // The view now starts at `firstRow` and `rowsFitting` rows fit below the header.
    virtual void syncTimeBar(size_t firstRow, size_t rowsFitting) = 0;
    virtual ~IDiagramOwner() = default;
};

// The ladder diagram control. It keeps no state of its own beyond the view: the diagram's
// state is a DiagramState, its arithmetic DiagramGeometry, its drawing DiagramPainter. It
// scrolls by rows vertically and by 60-pixel steps sideways, and draws relative to the first
// row in view, so that captures of any length scroll, paint and hit-test alike.
class SipDiagram : public wxWindow {
  public:
    SipDiagram(wxWindow* parent, UserLabelDB* labels, IDiagramOwner* owner = nullptr);
    ~SipDiagram() override;

    DiagramState& state() { return state_; }
    const DiagramState& state() const { return state_; }
    const DiagramGeometry& geometry() const { return geometry_; }
    const DiagramStyle& style() const { return style_; }
    ItemDrawCache& drawCache() { return cache_; }

    void setOwner(IDiagramOwner* owner) { owner_ = owner; }
    void setModel(AnalysisModel* model);
    void applyRowFilter(std::optional<std::vector<ItemIndex>> indices);
    // Rebuilds pens, brushes, fonts and heights from the settings ("diagram" changed).
    void reloadSettings();

    // Selects a row (none clears) with its item, as a click or a list does, and brings it
    // into view.
    void selectRow(std::optional<RowIndex> row, const AnalysisItem* item);
    void selectRow(std::optional<RowIndex> row) {
        selectRow(row, row ? state_.itemAtRow(*row) : nullptr);
    }

    // The view start: rows vertically, 60-pixel steps sideways.
    ViewStart viewStart() const { return view_; }
    void scrollTo(ViewStart view);
    size_t rowsFittingBelowHeader() const;

    // The menus that a right click opens, built and with their states set; the caller owns
    // them. The column menu is for the context column.
    wxMenu* makeColumnMenu() const;
    wxMenu* makeItemMenu(const AnalysisItem& item) const;
    // Opens the item menu for an item at a client point (a list's right click); its
    // commands act on that item.
    void openItemMenu(const AnalysisItem& item, wxPoint at);
    // The item of the item menu while it is open.
    const AnalysisItem* menuItem() const { return menuItem_; }
    // Whether a command of the pop-up menus is enabled now.
    bool commandEnabled(int id) const;

    // The message dialog of an item, shown modeless; returns it (owned by this window).
    wxWindow* openMessageDialog(const AnalysisItem& item);
    void editColumnLabel();
    void restoreColumnLabel();

    // The client point's item, when the point hits one.
    // The row under a point, and the row whose arrow is under it.
    std::optional<RowIndex> hitRow(wxPoint point) const;
    std::optional<RowIndex> hitItem(wxPoint point) const;

    // Paints what the window shows onto a device context of the client size.
    void paintView(wxDC& dc);

  protected:
    // Shows a pop-up menu at a client point (tests record it instead of running its loop).
    virtual void showPopup(wxMenu& menu, wxPoint at);
    // Asks for a column label; false when cancelled.
    virtual bool askColumnLabel(std::string& text, bool& persist);

  private:
    void computeGeometry();
    void updateScrollbars();
    void postScrolled();
    void onPaint(wxPaintEvent& event);
    void onSize(wxSizeEvent& event);
    void onScroll(wxScrollWinEvent& event);
    // Rows (or horizontal steps) of one page.
    int64_t pageOf(bool vertical) const;
    // Takes the view start the scroll bar shows, leaving the bar alone.
    void followScrollbar(bool vertical, int position);
    void onMouseWheel(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void onLeave(wxMouseEvent& event);
    void onLeftDown(wxMouseEvent& event);
    void onLeftDoubleClick(wxMouseEvent& event);
    void onRightDown(wxMouseEvent& event);
    void onKeyDown(wxKeyEvent& event);
    void onCommand(wxCommandEvent& event);
    void onScrolledNotification(wxCommandEvent& event);
    bool ensureVisible(size_t row);

    DiagramState state_;
    DiagramStyle style_;
    DiagramGeometry geometry_;
    mutable ItemDrawCache cache_;  // filled on first use by paints and menu states
    UserLabelDB* labels_;
    IDiagramOwner* owner_;
    ViewStart view_;
    wxPoint lastMouse_;
    wxCursor handCursor_;
    const AnalysisItem* menuItem_ = nullptr;  // the item of the open item menu
};

}  // namespace varlowe
