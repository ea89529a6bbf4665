#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "diagram_listeners.h"
#include "engine/sip/analysis_model.h"

namespace varlowe {

class UserLabelDB;

// How an item stands to the selected one, for colouring.
enum class Relation { None = 0, SameDialog = 1, SameTransaction = 3 };

// The state of a ladder diagram over an analysed capture, without any window: the rows, the
// endpoint columns, the selection with the rows of its dialog and transaction, bookmarks,
// hidden and reordered columns, the endpoint labels and the listeners. The diagram control
// owns one and forwards to it; every operation is tested without a display.
class DiagramState {
  public:
    static constexpr size_t kListenerSlots = 8;

    // What a selection computes; the control reads these from the settings.
    struct Options {
        bool relationshipMarkers = true;
        bool transactionMarkers = true;
    };

    explicit DiagramState(UserLabelDB* labels = nullptr) : labels_(labels) {}

    // Attaches the model (not owned) and rebuilds; nullptr detaches: no columns, nothing
    // selected (the listeners hear of it).
    void setModel(AnalysisModel* model);
    AnalysisModel* model() const { return model_; }
    void setOptions(Options options) { options_ = options; }
    const Options& options() const { return options_; }

    // Installs the row filter (nullopt shows everything), rebuilds and clears the selection.
    void applyRowFilter(std::optional<std::vector<ItemIndex>> indices);
    // Recomputes the columns and reselects the item selected before (row 0 when it is gone).
    void rebuild();

    size_t rowCount() const { return model_ != nullptr ? model_->rowCount() : 0; }
    const AnalysisItem* itemAtRow(RowIndex row) const {
        return model_ != nullptr ? model_->itemAtRow(row) : nullptr;
    }

    // Selection. `item` is the item to select, possibly one the filter hides (row none).
    // Returns false when nothing changed (the same row again): the caller still brings the
    // row into view.
    bool selectRow(std::optional<RowIndex> row, const AnalysisItem* item);
    bool selectRow(std::optional<RowIndex> row) {
        return selectRow(row, row ? itemAtRow(*row) : nullptr);
    }
    std::optional<RowIndex> selectedRow() const { return selectedRow_; }
    std::optional<ItemIndex> selectedIndex() const { return selectedIndex_; }
    const AnalysisItem* selectedItem() const;
    const std::vector<RowIndex>& dialogRows() const { return dialogRows_; }
    const std::vector<RowIndex>& transactionRows() const { return transactionRows_; }
    Relation relationToSelection(const AnalysisItem& item) const;

    // "Next/Previous In Dialog" and "... In Transaction", wrapping at the ends; false when
    // nothing changed.
    bool stepInDialog(bool forward) { return step(dialogRowsOfSelection(), forward); }
    bool stepInTransaction(bool forward) { return step(transactionRowsOfSelection(), forward); }

    // Bookmarks, kept by item index in the order they were added.
    void toggleBookmark();
    void addBookmark(ItemIndex index);
    void removeBookmark(ItemIndex index);
    bool isBookmarked(ItemIndex index) const;
    bool selectionIsBookmarked() const { return selectedIndex_ && isBookmarked(*selectedIndex_); }
    const std::vector<ItemIndex>& bookmarks() const { return bookmarks_; }

    // Find: the items whose text holds the searched text (ascending), marked in the ladder.
    void setFindMatches(std::vector<ItemIndex> items) { findMatches_ = std::move(items); }
    const std::vector<ItemIndex>& findMatches() const { return findMatches_; }
    bool isFindMatch(ItemIndex index) const;
    // The shown row of the next (or previous) match after the selected row, wrapping round;
    // the first (last) without a selection; none when no shown row matches.
    std::optional<RowIndex> findStep(bool forward) const;
    // How many shown rows match, and which of them the selected row is (1 up; 0: not one).
    std::pair<size_t, size_t> findCount() const;

    bool addSelectionListener(ISipDiagramSelectionListener* listener);
    bool addBookmarkListener(ISipDiagramBookmarkListener* listener);

    // Columns: the endpoints ever seen in this window (user order), those of the shown rows
    // (in that order) and those the user hid.
    const std::vector<std::string>& allColumns() const { return allColumns_; }
    const std::vector<std::string>& visibleColumns() const { return visibleColumns_; }
    const std::vector<std::string>& hiddenColumns() const { return hiddenColumns_; }
    // The visible column of an address; none when it has none.
    std::optional<size_t> columnOf(const std::string& address) const;
    bool isHidden(const std::string& address) const;
    // The header's second line: the user label when set, else the remembered User-Agent.
    std::string columnLabel(size_t column) const;
    std::string rememberedUserAgent(const std::string& address) const;

    // The visible column under the last right click in the header; none before the first.
    void setContextColumn(std::optional<size_t> column) { contextColumn_ = column; }
    std::optional<size_t> contextColumn() const { return contextColumn_; }
    // The endpoint of the context column when it is a visible column.
    std::optional<std::string> contextEndpoint() const;
    bool canMoveColumnLeft() const;
    bool canMoveColumnRight() const;
    bool moveColumnLeft() { return moveColumn(-1); }
    bool moveColumnRight() { return moveColumn(+1); }
    // Hides or shows entry n of the all-columns list; true when the row filter must be
    // applied again (always, for a valid n).
    bool toggleColumn(size_t n);

  private:
    std::vector<RowIndex> dialogRowsOfSelection() const;
    std::vector<RowIndex> transactionRowsOfSelection() const;
    bool step(const std::vector<RowIndex>& rows, bool forward);
    bool moveColumn(int direction);
    void orderVisibleColumns();
    void notifySelection(const AnalysisItem* item);

    AnalysisModel* model_ = nullptr;
    UserLabelDB* labels_;
    Options options_;

    std::optional<RowIndex> selectedRow_;
    std::optional<ItemIndex> selectedIndex_;
    std::vector<RowIndex> dialogRows_;
    std::vector<RowIndex> transactionRows_;
    std::vector<ItemIndex> bookmarks_;
    std::vector<ItemIndex> findMatches_;

    std::vector<std::string> allColumns_;
    std::vector<std::string> visibleColumns_;
    std::vector<std::string> hiddenColumns_;
    std::unordered_map<std::string, size_t> visibleIndex_;  // address -> visible column
    std::unordered_map<std::string, std::string> userAgents_;
    std::optional<size_t> contextColumn_;

    std::array<ISipDiagramSelectionListener*, kListenerSlots> selectionListeners_{};
    std::array<ISipDiagramBookmarkListener*, kListenerSlots> bookmarkListeners_{};
};

}  // namespace varlowe
