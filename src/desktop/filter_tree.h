#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/sip/analysis_model.h"

namespace varlowe {

// What the filter tree of a diagram window shows, without any window: the root "Filters"
// with "Call-Ids" (each call, and under it the branches of its transactions), "Methods",
// "To" and "From", and the item list each node selects.
struct FilterNode {
    enum class Kind { Root, Category, Call, Branch, Method, To, From };
    Kind kind = Kind::Root;
    std::string label;   // as the tree shows it
    std::string key;     // Call-ID, branch, method or URI
    std::string callId;  // of a branch
    std::vector<FilterNode> children;
};

// "%3.3s:%s": the method cut to three characters, padded on the left with blanks when
// shorter (three blanks without one), a colon, then the text.
std::string filterLabel(const std::optional<std::string>& method, const std::string& text);

// The whole tree. A call's branches come with it here; the window may add them when the
// call is first expanded (they are `branchesOf` then).
FilterNode buildFilterTree(const AnalysisModel& model, bool withBranches = true);
std::vector<FilterNode> branchesOf(const AnalysisModel& model, const std::string& callId);

// The switches of the "diagram" settings that take items out of the diagram.
struct ItemSwitches {
    bool sipMessages = true;
    bool sturnMessages = true;
    bool rtpMarkers = true;
    bool provisionalResponses = true;
};

// The items a node selects (all for the root, a category or nothing), less the switched-off
// kinds, the provisional responses when they are off (and SIP is on), and every item to or
// from a hidden endpoint; ascending.
std::vector<ItemIndex> filterItems(const AnalysisModel& model, const FilterNode* node,
                                   const ItemSwitches& switches,
                                   const std::vector<std::string>& hiddenEndpoints);
// The same for a list of items (ascending): those the switches and hidden endpoints leave.
std::vector<ItemIndex> shownItems(const AnalysisModel& model, std::vector<ItemIndex> items,
                                  const ItemSwitches& switches,
                                  const std::vector<std::string>& hiddenEndpoints);

}  // namespace varlowe
