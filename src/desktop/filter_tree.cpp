#include "filter_tree.h"

#include <algorithm>

#include "engine/text_search.h"

namespace varlowe {

std::string filterLabel(const std::optional<std::string>& method, const std::string& text) {
    std::string prefix = method.value_or("").substr(0, 3);
    prefix.insert(prefix.begin(), 3 - prefix.size(), ' ');
    return prefix + ":" + text;
}

std::vector<FilterNode> branchesOf(const AnalysisModel& model, const std::string& callId) {
    std::vector<FilterNode> out;
    for (const std::string& branch : model.branchesOfSession(callId)) {
        FilterNode node;
        node.kind = FilterNode::Kind::Branch;
        node.key = branch;
        node.callId = callId;
        node.label = filterLabel(model.methodOfTransaction(branch, callId), branch);
        out.push_back(std::move(node));
    }
    return out;
}

FilterNode buildFilterTree(const AnalysisModel& model, bool withBranches) {
    FilterNode root;
    root.kind = FilterNode::Kind::Root;
    root.label = "Filters";
    auto category = [](const char* label) {
        FilterNode node;
        node.kind = FilterNode::Kind::Category;
        node.label = label;
        return node;
    };
    FilterNode calls = category("Call-Ids");
    for (const std::string& callId : model.callIds()) {
        FilterNode call;
        call.kind = FilterNode::Kind::Call;
        call.key = callId;
        call.label = filterLabel(model.methodOfSession(callId), callId);
        if (withBranches) {
            call.children = branchesOf(model, callId);
        }
        calls.children.push_back(std::move(call));
    }
    FilterNode methods = category("Methods");
    for (const std::string& method : model.methods()) {
        methods.children.push_back(FilterNode{FilterNode::Kind::Method, method, method, "", {}});
    }
    FilterNode to = category("To");
    for (const std::string& uri : model.toUris()) {
        to.children.push_back(FilterNode{FilterNode::Kind::To, uri, uri, "", {}});
    }
    FilterNode from = category("From");
    for (const std::string& uri : model.fromUris()) {
        from.children.push_back(FilterNode{FilterNode::Kind::From, uri, uri, "", {}});
    }
    // Moved in one by one: a braced list would copy every call's node.
    root.children.reserve(4);
    root.children.push_back(std::move(calls));
    root.children.push_back(std::move(methods));
    root.children.push_back(std::move(to));
    root.children.push_back(std::move(from));
    return root;
}

std::vector<ItemIndex> filterItems(const AnalysisModel& model, const FilterNode* node,
                                   const ItemSwitches& switches,
                                   const std::vector<std::string>& hiddenEndpoints) {
    std::vector<ItemIndex> items;
    switch (node != nullptr ? node->kind : FilterNode::Kind::Root) {
        case FilterNode::Kind::Call:
            items = model.itemsWithCallId(node->key);
            break;
        case FilterNode::Kind::Branch:
            items = model.itemsWithBranch(node->key, node->callId);
            break;
        case FilterNode::Kind::Method:
            items = model.itemsWithMethod(node->key);
            break;
        case FilterNode::Kind::To:
            items = model.itemsTo(node->key);
            break;
        case FilterNode::Kind::From:
            items = model.itemsFrom(node->key);
            break;
        default:
            items = model.allItems();
            break;
    }
    // The indexes hold each item once and in capture order; a call's media items follow its
    // messages in its index, so order them.
    std::sort(items.begin(), items.end());
    return shownItems(model, std::move(items), switches, hiddenEndpoints);
}

std::vector<ItemIndex> shownItems(const AnalysisModel& model, std::vector<ItemIndex> items,
                                  const ItemSwitches& switches,
                                  const std::vector<std::string>& hiddenEndpoints) {
    if (!switches.sturnMessages) {
        model.removeKind(items, ItemKind::Stun);
    }
    if (!switches.rtpMarkers) {
        model.removeKind(items, ItemKind::Media);
    }
    if (!switches.sipMessages) {
        model.removeKind(items, ItemKind::Sip);
    } else if (!switches.provisionalResponses) {
        model.removeProvisionalResponses(items);
    }
    for (const std::string& address : hiddenEndpoints) {
        model.removeAddress(items, address);
    }
    return items;
}

}  // namespace varlowe
