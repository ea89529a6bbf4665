#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "analysis_item.h"
#include "engine/capture/packet_record.h"
#include "engine/media/name_value_pair.h"
#include "engine/media/rtp_stream_registry.h"
#include "sip_message.h"

namespace varlowe {

// The analysed capture: items in the order they were added, text-keyed indexes over them,
// the session table and the visible list of the diagram's filter.
class AnalysisModel {
  public:
    enum class RelationMode { Session = 1, Branch = 2, Transaction = 3 };

    AnalysisModel();
    ~AnalysisModel();
    AnalysisModel(AnalysisModel&&) noexcept;
    AnalysisModel& operator=(AnalysisModel&&) noexcept;

    ItemIndex addSip(const PacketRecord& packet, const SipMessage& message);
    // Takes the parsed message over instead of parsing its text again.
    ItemIndex addSip(const PacketRecord& packet, SipMessage&& message);
    ItemIndex addStun(const PacketRecord& packet, std::unique_ptr<NameValuePair> message);
    // One item per stream, with the stream's first packet; indexed by the Call-ID of the
    // transaction that announced it.
    ItemIndex addRtp(const PacketRecord& packet, const RtpStream& stream);

    // The capture's stream registry, owned by the model.
    void setStreamRegistry(std::unique_ptr<RtpStreamRegistry> registry);
    // Ends the pass: the registry drops the streams no packet reached and the media items
    // follow the streams that stay to their new places.
    void finishStreams();
    RtpStreamRegistry* streamRegistry() const { return registry_.get(); }

    size_t itemCount() const { return items_.size(); }
    // The item at a valid index (below itemCount()).
    const AnalysisItem& item(ItemIndex index) const { return *items_[index.value]; }
    // The item, or nullptr when the index lies outside the model.
    const AnalysisItem* findItem(ItemIndex index) const {
        return index.value < items_.size() ? items_[index.value].get() : nullptr;
    }

    // What a window needs of every item in one pass over thousands of rows, kept in one
    // array: the packet time in microseconds and the endpoints as numbers.
    struct ItemSummary {
        int64_t time = 0;
        uint32_t source = 0;
        uint32_t destination = 0;
    };
    const ItemSummary& summary(ItemIndex index) const { return summaries_[index.value]; }
    // The address of an endpoint number, and how many there are.
    const std::string& endpoint(uint32_t id) const { return endpoints_[id]; }
    size_t endpointCount() const { return endpoints_.size(); }

    // Rows: the items shown, in ascending index order.
    size_t rowCount() const { return visible_ ? visible_->size() : items_.size(); }
    // The item shown at the row, or nullptr when there is no such row.
    const AnalysisItem* itemAtRow(RowIndex row) const {
        std::optional<ItemIndex> index = indexAtRow(row);
        return index ? items_[index->value].get() : nullptr;
    }
    std::optional<ItemIndex> indexAtRow(RowIndex row) const;
    // The row showing the item; none when it is hidden or does not exist.
    std::optional<RowIndex> rowOf(ItemIndex index) const;
    // Installs the ascending list of shown item indexes; nullopt shows everything. Indexes
    // outside the model are left out.
    void setVisible(std::optional<std::vector<ItemIndex>> visible);
    bool hasVisibleList() const { return visible_.has_value(); }

    std::vector<ItemIndex> itemsWithCallId(const std::string& callId) const;
    std::vector<ItemIndex> itemsWithBranch(const std::string& branch,
                                           const std::string& callId) const;
    std::vector<ItemIndex> itemsWithStunTransaction(const std::string& id) const;
    std::vector<ItemIndex> itemsFrom(const std::string& uri) const;
    std::vector<ItemIndex> itemsTo(const std::string& uri) const;
    std::vector<ItemIndex> itemsWithMethod(const std::string& method) const;
    std::vector<ItemIndex> itemsFromAddress(const std::string& address) const;
    std::vector<ItemIndex> itemsToAddress(const std::string& address) const;

    // Distinct values in order of first occurrence.
    std::vector<std::string> callIds() const;
    std::vector<std::string> fromUris() const;
    std::vector<std::string> toUris() const;
    // Transaction methods without empty ones and "ACK".
    std::vector<std::string> methods() const;
    // Source then destination address of every shown item.
    std::vector<std::string> visibleAddresses() const;
    const std::vector<std::string>& branchesOfSession(const std::string& callId) const;

    std::optional<std::string> userAgentOf(const std::string& address) const;
    std::vector<std::string> userAgentsOf(const std::vector<std::string>& addresses) const;
    std::optional<std::string> methodOfSession(const std::string& callId) const;
    std::optional<std::string> methodOfTransaction(const std::string& branch,
                                                   const std::string& callId) const;

    // List filters that build the diagram's visible list.
    std::vector<ItemIndex> allItems() const;
    void removeProvisionalResponses(std::vector<ItemIndex>& list) const;
    void removeKind(std::vector<ItemIndex>& list, ItemKind kind) const;
    void removeAddress(std::vector<ItemIndex>& list, const std::string& address) const;

    // The shown rows of the items related to the item, ascending; empty for an index outside
    // the model.
    std::vector<RowIndex> relatedRows(ItemIndex index, RelationMode mode) const;
    bool isAnswered(ItemIndex index) const;
    bool itemsMatch(ItemIndex a, ItemIndex b) const;
    // Item indexes of the STUN transaction index from its greatest key downwards.
    std::vector<ItemIndex> stunTransactionsDescending() const;
    // The first STUN Binding Response of that walk whose mapped address ("address:port") is
    // the given one.
    std::optional<ItemIndex> natBinding(const std::string& mappedAddress) const;
    // The local address that the binding response for the public (address, port) was sent
    // to; what stream registration uses to follow media behind a NAT.
    std::optional<NatBinding> localAddressBehindNat(const std::string& address, int32_t port) const;

  private:
    ItemIndex indexSip(std::unique_ptr<AnalysisItem> item);
    void summarise(const AnalysisItem& item);
    uint32_t endpointId(const std::string& address);
    void noteBinding(ItemIndex index);
    const AnalysisItem& at(ItemIndex index) const { return *items_[index.value]; }

    // Item indexes by a text, each list in ascending order (items are added in order).
    // Hashed: a sorted tree of text keys costs a cache miss per level on every message.
    class TextIndex {
      public:
        void add(const std::string& key, ItemIndex index) { lists_[key].push_back(index); }
        const std::vector<ItemIndex>& find(const std::string& key) const {
            static const std::vector<ItemIndex> none;
            auto found = lists_.find(key);
            return found == lists_.end() ? none : found->second;
        }

      private:
        std::unordered_map<std::string, std::vector<ItemIndex>> lists_;
    };
    static std::vector<ItemIndex> lookup(const TextIndex& index, const std::string& key) {
        return index.find(key);
    }
    // STUN transactions are walked in key order.
    using SortedIndex = std::multimap<std::string, ItemIndex>;
    static std::vector<ItemIndex> lookup(const SortedIndex& index, const std::string& key);
    std::optional<std::string> firstRequestMethod(const std::vector<ItemIndex>& indexes) const;
    // Texts in order of first occurrence, each once, collected in time linear in the texts.
    class DistinctTexts {
      public:
        void add(const std::string& text) {
            if (seen_.insert(text).second) {
                texts_.push_back(text);
            }
        }
        const std::vector<std::string>& texts() const { return texts_; }

      private:
        std::unordered_set<std::string> seen_;
        std::vector<std::string> texts_;
    };

    std::vector<std::unique_ptr<AnalysisItem>> items_;
    std::vector<ItemSummary> summaries_;
    DistinctTexts distinctCallIds_, distinctFrom_, distinctTo_, distinctMethods_;
    std::vector<std::string> endpoints_;
    std::unordered_map<std::string, uint32_t> endpointIds_;
    TextIndex byCallId_, bySource_, byDestination_, byTo_, byFrom_, byMethod_, byTransaction_;
    SortedIndex byStunTransaction_;
    std::map<std::string, std::vector<std::string>> sessions_;
    std::optional<std::vector<ItemIndex>> visible_;
    // Mapped address to the binding response that the descending STUN walk meets first.
    std::map<std::string, ItemIndex> bindings_;
    std::unique_ptr<RtpStreamRegistry> registry_;
};

}  // namespace varlowe
