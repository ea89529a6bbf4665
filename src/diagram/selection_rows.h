#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/sip/analysis_model.h"

namespace varlowe {

// Which kinds of items the selection lists show (the four toggles above them).
struct SelectionSwitches {
    bool sip = true;
    bool stun = true;
    bool audio = true;
    bool video = true;
};

// The text colour of a list row, taken from the "diagram" colours.
enum class RowColour { ErrorResponse, Redirect, FinalResponse, ProvisionalResponse, Black };

// One row of a selection list.
struct SelectionRow {
    const AnalysisItem* item = nullptr;
    int image = -1;  // 0 SIP, 1 STUN/TURN, 2 audio, 3 video, -1 none
    std::string number;
    std::string description;
    std::string delta;
    RowColour colour = RowColour::Black;
};

// The rows of the lists, computed without a window.
namespace selection_rows {

constexpr size_t kAllLimit = 10000;

bool shown(const AnalysisItem& item, const SelectionSwitches& switches);
// The row of the item with its Delta from the reference; none when its kind is switched off.
std::optional<SelectionRow> rowOf(const AnalysisItem& item, const AnalysisItem& reference,
                                  const SelectionSwitches& switches);

// "All": the first 10,000 shown rows of the diagram, the Delta from the first row listed.
std::vector<SelectionRow> allRows(const AnalysisModel& model, const SelectionSwitches& switches,
                                  size_t limit = kAllLimit);
// "Session" (mode Session) or "Trans" (mode Transaction) of an item: the shown rows related
// to it, the Delta from the first of them.
std::vector<SelectionRow> relatedRows(const AnalysisModel& model, const AnalysisItem& item,
                                      AnalysisModel::RelationMode mode,
                                      const SelectionSwitches& switches);

// Where a new bookmark goes: before the first row of a larger index.
size_t bookmarkPosition(const std::vector<SelectionRow>& rows, ItemIndex index);
// The bookmark row at that position: Delta from the row before it, or zero when first.
std::optional<SelectionRow> bookmarkRow(const std::vector<SelectionRow>& rows, size_t position,
                                        const AnalysisItem& item,
                                        const SelectionSwitches& switches);
// The Delta the bookmark row at `position` shows from the row before it (zero when first):
// a bookmark added or removed before it changes it.
std::string bookmarkDelta(const std::vector<SelectionRow>& rows, size_t position);

}  // namespace selection_rows
}  // namespace varlowe
