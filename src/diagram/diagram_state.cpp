#include "diagram_state.h"

#include <algorithm>
#include <unordered_set>

#include "user_label_db.h"

namespace varlowe {

void DiagramState::setModel(AnalysisModel* model) {
    model_ = model;
    if (model_ == nullptr) {
        visibleColumns_.clear();
        visibleIndex_.clear();
        selectRow(std::nullopt, nullptr);
        return;
    }
    rebuild();
}

void DiagramState::applyRowFilter(std::optional<std::vector<ItemIndex>> indices) {
    if (model_ == nullptr) {
        return;
    }
    model_->setVisible(std::move(indices));
    rebuild();
    selectRow(std::nullopt, nullptr);
}

void DiagramState::rebuild() {
    const std::optional<ItemIndex> previous = selectedIndex_;
    // Cleared without telling anyone: the reselection below tells the listeners once.
    selectedRow_.reset();
    selectedIndex_.reset();
    dialogRows_.clear();
    transactionRows_.clear();

    visibleColumns_.clear();
    visibleIndex_.clear();
    if (model_ == nullptr) {
        notifySelection(nullptr);
        return;
    }
    // The endpoints of the shown rows, source before destination, each once; read from the
    // model's compact summaries, not from every item's packet.
    std::vector<char> seenIds(model_->endpointCount(), 0);
    std::vector<std::string> shown;
    const size_t rows = model_->rowCount();
    for (size_t row = 0; row < rows; ++row) {
        const AnalysisModel::ItemSummary& summary =
            model_->summary(*model_->indexAtRow(RowIndex(row)));
        for (uint32_t id : {summary.source, summary.destination}) {
            if (!seenIds[id]) {
                seenIds[id] = 1;
                shown.push_back(model_->endpoint(id));
            }
        }
    }
    std::unordered_set<std::string> seen(shown.begin(), shown.end());
    std::unordered_set<std::string> known(allColumns_.begin(), allColumns_.end());
    std::vector<std::string> withoutAgent;
    for (const std::string& address : shown) {
        if (known.insert(address).second) {
            allColumns_.push_back(address);
        }
        if (userAgents_.find(address) == userAgents_.end()) {
            withoutAgent.push_back(address);
        }
    }
    const std::vector<std::optional<std::string>> agents = model_->firstUserAgents(withoutAgent);
    for (size_t k = 0; k < withoutAgent.size(); ++k) {
        if (agents[k] && !agents[k]->empty()) {
            userAgents_.emplace(withoutAgent[k], *agents[k]);
        }
    }
    for (const std::string& address : allColumns_) {
        if (seen.count(address) != 0) {
            visibleIndex_.emplace(address, visibleColumns_.size());
            visibleColumns_.push_back(address);
        }
    }

    std::optional<RowIndex> row;
    if (previous) {
        row = model_->rowOf(*previous);
    }
    if (!row && rows > 0) {
        row = RowIndex(0);
    }
    if (row) {
        selectRow(row);
    } else {
        notifySelection(nullptr);
    }
}

void DiagramState::orderVisibleColumns() {
    std::unordered_set<std::string> shown(visibleColumns_.begin(), visibleColumns_.end());
    visibleColumns_.clear();
    visibleIndex_.clear();
    for (const std::string& address : allColumns_) {
        if (shown.count(address) != 0) {
            visibleIndex_.emplace(address, visibleColumns_.size());
            visibleColumns_.push_back(address);
        }
    }
}

const AnalysisItem* DiagramState::selectedItem() const {
    return selectedRow_ ? itemAtRow(*selectedRow_) : nullptr;
}

bool DiagramState::selectRow(std::optional<RowIndex> row, const AnalysisItem* item) {
    if (row == selectedRow_ &&
        (row || selectedIndex_ == (item ? std::optional(item->index) : std::nullopt))) {
        return false;
    }
    selectedRow_ = row;
    dialogRows_.clear();
    transactionRows_.clear();
    if (item != nullptr && model_ != nullptr) {
        selectedIndex_ = item->index;
        if (options_.relationshipMarkers) {
            dialogRows_ = model_->relatedRows(item->index, AnalysisModel::RelationMode::Session);
        }
        if (options_.transactionMarkers) {
            transactionRows_ =
                model_->relatedRows(item->index, AnalysisModel::RelationMode::Transaction);
        }
    } else {
        selectedIndex_.reset();
    }
    notifySelection(item);
    return true;
}

void DiagramState::notifySelection(const AnalysisItem* item) {
    for (ISipDiagramSelectionListener* listener : selectionListeners_) {
        if (listener != nullptr) {
            listener->onSelectionChanged(item);
        }
    }
}

Relation DiagramState::relationToSelection(const AnalysisItem& item) const {
    if (!selectedIndex_ || model_ == nullptr) {
        return Relation::None;
    }
    if (model_->itemsMatch(item.index, *selectedIndex_)) {
        return Relation::SameTransaction;
    }
    const AnalysisItem* selected = model_->findItem(*selectedIndex_);
    if (selected != nullptr && item.sip && selected->sip && item.sip->sameSession(*selected->sip)) {
        return Relation::SameDialog;
    }
    return Relation::None;
}

std::vector<RowIndex> DiagramState::dialogRowsOfSelection() const {
    if (!selectedIndex_ || model_ == nullptr) {
        return {};
    }
    return model_->relatedRows(*selectedIndex_, AnalysisModel::RelationMode::Session);
}

std::vector<RowIndex> DiagramState::transactionRowsOfSelection() const {
    if (!selectedIndex_ || model_ == nullptr) {
        return {};
    }
    return model_->relatedRows(*selectedIndex_, AnalysisModel::RelationMode::Transaction);
}

bool DiagramState::step(const std::vector<RowIndex>& rows, bool forward) {
    if (rows.size() < 2 || !selectedRow_) {
        return false;
    }
    auto at = std::find(rows.begin(), rows.end(), *selectedRow_);
    if (at == rows.end()) {
        return false;
    }
    size_t i = static_cast<size_t>(at - rows.begin());
    size_t target = forward ? (i + 1 < rows.size() ? i + 1 : 0) : (i > 0 ? i - 1 : rows.size() - 1);
    return selectRow(rows[target]);
}

void DiagramState::toggleBookmark() {
    if (!selectedIndex_) {
        return;
    }
    if (isBookmarked(*selectedIndex_)) {
        removeBookmark(*selectedIndex_);
    } else {
        addBookmark(*selectedIndex_);
    }
}

void DiagramState::addBookmark(ItemIndex index) {
    const AnalysisItem* item = model_ != nullptr ? model_->findItem(index) : nullptr;
    if (item == nullptr) {
        return;
    }
    bookmarks_.push_back(index);
    for (ISipDiagramBookmarkListener* listener : bookmarkListeners_) {
        if (listener != nullptr) {
            listener->onBookmarkAdded(*item);
        }
    }
}

void DiagramState::removeBookmark(ItemIndex index) {
    const AnalysisItem* item = model_ != nullptr ? model_->findItem(index) : nullptr;
    size_t removed = 0;
    for (auto at = bookmarks_.begin(); at != bookmarks_.end();) {
        if (*at == index) {
            at = bookmarks_.erase(at);
            ++removed;
        } else {
            ++at;
        }
    }
    if (item == nullptr) {
        return;
    }
    for (size_t i = 0; i < removed; ++i) {
        for (ISipDiagramBookmarkListener* listener : bookmarkListeners_) {
            if (listener != nullptr) {
                listener->onBookmarkRemoved(*item);
            }
        }
    }
}

bool DiagramState::isBookmarked(ItemIndex index) const {
    return std::find(bookmarks_.begin(), bookmarks_.end(), index) != bookmarks_.end();
}

bool DiagramState::isFindMatch(ItemIndex index) const {
    return std::binary_search(findMatches_.begin(), findMatches_.end(), index);
}

std::optional<RowIndex> DiagramState::findStep(bool forward) const {
    if (model_ == nullptr || rowCount() == 0 || findMatches_.empty()) {
        return std::nullopt;
    }
    // Rows hold their items in ascending order: the matches after the selected item, then
    // round from the other end, the first that is shown. Each match is looked at once.
    const std::vector<ItemIndex>& m = findMatches_;
    const size_t count = m.size();
    size_t start;
    if (!selectedIndex_) {
        start = forward ? 0 : count - 1;
    } else if (forward) {
        start =
            static_cast<size_t>(std::upper_bound(m.begin(), m.end(), *selectedIndex_) - m.begin());
    } else {
        const size_t below =
            static_cast<size_t>(std::lower_bound(m.begin(), m.end(), *selectedIndex_) - m.begin());
        start = below == 0 ? count - 1 : below - 1;
    }
    for (size_t n = 0; n < count; ++n) {
        const size_t at = forward ? (start + n) % count : (start + count - n) % count;
        if (const std::optional<RowIndex> row = model_->rowOf(m[at])) {
            return row;
        }
    }
    return std::nullopt;
}

std::pair<size_t, size_t> DiagramState::findCount() const {
    size_t count = 0;
    size_t current = 0;
    if (model_ != nullptr) {
        for (ItemIndex match : findMatches_) {
            if (model_->rowOf(match)) {
                ++count;
                if (selectedIndex_ && *selectedIndex_ == match) {
                    current = count;
                }
            }
        }
    }
    return {count, current};
}

namespace {
template <typename Listener, size_t N>
bool addToSlots(std::array<Listener*, N>& slots, Listener* listener) {
    for (Listener*& slot : slots) {
        if (slot == nullptr) {
            slot = listener;
            return true;
        }
    }
    return false;
}
}  // namespace

bool DiagramState::addSelectionListener(ISipDiagramSelectionListener* listener) {
    return listener != nullptr && addToSlots(selectionListeners_, listener);
}

bool DiagramState::addBookmarkListener(ISipDiagramBookmarkListener* listener) {
    return listener != nullptr && addToSlots(bookmarkListeners_, listener);
}

std::optional<size_t> DiagramState::columnOf(const std::string& address) const {
    auto found = visibleIndex_.find(address);
    if (found == visibleIndex_.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool DiagramState::isHidden(const std::string& address) const {
    return std::find(hiddenColumns_.begin(), hiddenColumns_.end(), address) != hiddenColumns_.end();
}

std::string DiagramState::rememberedUserAgent(const std::string& address) const {
    auto found = userAgents_.find(address);
    return found == userAgents_.end() ? std::string() : found->second;
}

std::string DiagramState::columnLabel(size_t column) const {
    if (column >= visibleColumns_.size()) {
        return std::string();
    }
    const std::string& address = visibleColumns_[column];
    if (labels_ != nullptr) {
        std::string label = labels_->label(address);
        if (!label.empty()) {
            return label;
        }
    }
    return rememberedUserAgent(address);
}

std::optional<std::string> DiagramState::contextEndpoint() const {
    if (!contextColumn_ || *contextColumn_ >= visibleColumns_.size()) {
        return std::nullopt;
    }
    return visibleColumns_[*contextColumn_];
}

bool DiagramState::canMoveColumnLeft() const {
    return contextColumn_ && *contextColumn_ > 0 && *contextColumn_ < visibleColumns_.size();
}

bool DiagramState::canMoveColumnRight() const {
    return contextColumn_ && *contextColumn_ + 1 < visibleColumns_.size();
}

bool DiagramState::moveColumn(int direction) {
    if (direction < 0 ? !canMoveColumnLeft() : !canMoveColumnRight()) {
        return false;
    }
    const size_t here = *contextColumn_;
    const size_t there = direction < 0 ? here - 1 : here + 1;
    auto a = std::find(allColumns_.begin(), allColumns_.end(), visibleColumns_[here]);
    auto b = std::find(allColumns_.begin(), allColumns_.end(), visibleColumns_[there]);
    if (a == allColumns_.end() || b == allColumns_.end()) {
        return false;
    }
    std::iter_swap(a, b);
    orderVisibleColumns();
    return true;
}

bool DiagramState::toggleColumn(size_t n) {
    if (n >= allColumns_.size()) {
        return false;
    }
    const std::string& address = allColumns_[n];
    auto hidden = std::find(hiddenColumns_.begin(), hiddenColumns_.end(), address);
    if (hidden != hiddenColumns_.end()) {
        hiddenColumns_.erase(hidden);
    } else {
        hiddenColumns_.push_back(address);
    }
    return true;
}

}  // namespace varlowe
