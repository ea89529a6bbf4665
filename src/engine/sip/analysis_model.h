#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis_item.h"
#include "engine/capture/frame_rereader.h"
#include "engine/capture/packet_record.h"
#include "engine/chunked_vector.h"
#include "engine/interned_texts.h"
#include "engine/media/flat_key_map.h"
#include "engine/media/name_value_pair.h"
#include "engine/media/rtp_stream_registry.h"
#include "sip_headline.h"
#include "sip_message.h"

namespace varlowe {

// The analysed capture: items in the order they were added, indexes over them by interned text,
// the session table and the visible list of the diagram's filter.
class AnalysisModel {
  public:
    enum class RelationMode { Session = 1, Branch = 2, Transaction = 3 };

    AnalysisModel();
    ~AnalysisModel();
    AnalysisModel(AnalysisModel&&) noexcept;
    AnalysisModel& operator=(AnalysisModel&&) noexcept;

    // The item keeps the message whole, as one the capture cannot give again (assembled from
    // TCP segments, or added without a capture).
    ItemIndex addSip(const PacketRecord& packet, const SipMessage& message);
    // Takes the parsed message over instead of parsing its text again.
    ItemIndex addSip(const PacketRecord& packet, SipMessage&& message);
    // The item keeps the headline only: the message is read again from the capture (see
    // setCapture) when asked for. For a message that lies in the packet's own payload.
    ItemIndex addSipFromCapture(const PacketRecord& packet, const SipMessage& message);
    // The capture the pass read, kept open to read messages again.
    void setCapture(std::unique_ptr<FrameRereader> capture) { capture_ = std::move(capture); }
    // The whole message of a SIP item: the one it keeps, or the one read again from the
    // capture. When the capture no longer holds it (changed since the pass), a message of
    // the start line alone. An empty message for an item that is not SIP.
    // `through`, when given, reads it (see captureReader).
    SipMessage sipMessage(const AnalysisItem& item, FrameRereader* through = nullptr) const;
    // A reader of the capture of its own, for a walk over many messages; none without a
    // capture, and then sipMessage reads through the model's.
    std::unique_ptr<FrameRereader> captureReader() const {
        return capture_ ? capture_->another() : nullptr;
    }
    // The SDP of a SIP item's message, parsed anew; nullptr when it carries none.
    std::unique_ptr<const SdpDescription> sdpOf(const AnalysisItem& item) const {
        return item.sip && item.sip->carriesSdp() ? sipMessage(item).sdp() : nullptr;
    }
    // The payload as text up to its first zero byte: a SIP item's message's payload.
    std::string payloadText(const AnalysisItem& item, FrameRereader* through = nullptr) const;
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
    // Why a capture gave nothing to show, a line per cause with its count ("32 records:
    // ..."); empty when there are items.
    void setEmptyReasons(std::vector<std::string> reasons) { emptyReasons_ = std::move(reasons); }
    const std::vector<std::string>& emptyReasons() const { return emptyReasons_; }
    // A word on how the file was read ("cut short ..."); empty when it was read whole.
    void setReadNote(std::string note) { readNote_ = std::move(note); }
    const std::string& readNote() const { return readNote_; }
    // The item at a valid index (below itemCount()).
    const AnalysisItem& item(ItemIndex index) const { return items_[index.value]; }
    // The item, or nullptr when the index lies outside the model.
    const AnalysisItem* findItem(ItemIndex index) const {
        return index.value < items_.size() ? &items_[index.value] : nullptr;
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
        return index ? &items_[index->value] : nullptr;
    }
    std::optional<ItemIndex> indexAtRow(RowIndex row) const;
    // The row showing the item; none when it is hidden or does not exist.
    std::optional<RowIndex> rowOf(ItemIndex index) const;
    // Installs the ascending list of shown item indexes; nullopt shows everything. Indexes
    // outside the model are left out.
    void setVisible(std::optional<std::vector<ItemIndex>> visible);
    bool hasVisibleList() const { return visible_.has_value(); }

    std::vector<ItemIndex> itemsWithCallId(std::string_view callId) const;
    std::vector<ItemIndex> itemsWithBranch(std::string_view branch, std::string_view callId) const;
    std::vector<ItemIndex> itemsWithStunTransaction(const std::string& id) const;
    std::vector<ItemIndex> itemsFrom(std::string_view uri) const;
    std::vector<ItemIndex> itemsTo(std::string_view uri) const;
    std::vector<ItemIndex> itemsWithMethod(std::string_view method) const;
    std::vector<ItemIndex> itemsFromAddress(std::string_view address) const;
    std::vector<ItemIndex> itemsToAddress(std::string_view address) const;

    // Distinct values in order of first occurrence.
    std::vector<std::string> callIds() const;
    size_t callIdCount() const { return distinctCallIds_.size(); }
    std::vector<std::string> fromUris() const;
    std::vector<std::string> toUris() const;
    // Transaction methods without empty ones and "ACK".
    std::vector<std::string> methods() const;
    // Source then destination address of every shown item.
    std::vector<std::string> visibleAddresses() const;
    std::vector<std::string> branchesOfSession(std::string_view callId) const;

    // The User-Agent of the first request from the address that has one.
    std::optional<std::string> userAgentOf(std::string_view address) const;
    std::vector<std::string> userAgentsOf(const std::vector<std::string>& addresses) const;
    // The same for many addresses in one pass; none where no request has one.
    std::vector<std::optional<std::string>> firstUserAgents(
        const std::vector<std::string>& addresses) const;
    std::optional<std::string> methodOfSession(std::string_view callId) const;
    std::optional<std::string> methodOfTransaction(std::string_view branch,
                                                   std::string_view callId) const;

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
    std::vector<std::string> emptyReasons_;
    std::string readNote_;
    // A new last item of that kind, with its index.
    AnalysisItem& addItem(ItemKind kind);
    // Indexes the SIP item just added (the last).
    ItemIndex indexSip(const AnalysisItem& item);
    AnalysisItem& addSipItem(const PacketRecord& packet, const SipMessage& message);
    uint32_t endpointId(const std::string& address);
    // Reads a SIP item's frame again and checks that its message is still there.
    bool readAgain(const AnalysisItem& item, FrameRereader* through, FrameInfo& frame) const;
    // What a message the capture no longer holds shows: its start line and a line end.
    static std::string startLineAlone(const SipHeadline& sip);
    // The item's packet with its endpoints in the model's table, and its summary.
    void keepPacket(AnalysisItem& item, const PacketRecord& packet, bool withPayload);
    void noteBinding(ItemIndex index);
    // A SIP message with Call-ID, To and From: one the indexes hold.
    static bool isIndexed(const SipHeadline& sip);
    // Whether the item counts in the lists by address: STUN, and indexed SIP.
    static bool inAddressIndex(const AnalysisItem& item);
    std::vector<ItemIndex> itemsWithAddress(std::string_view address, bool source) const;
    const AnalysisItem& at(ItemIndex index) const { return items_[index.value]; }

    // Numbers of interned texts in order of first occurrence, each once.
    class DistinctIds {
      public:
        void add(uint32_t id) {
            if (id >= seen_.size()) {
                seen_.resize(id + 1);
            }
            if (!seen_[id]) {
                seen_[id] = true;
                order_.push_back(id);
            }
        }
        std::vector<std::string> texts(const InternedTexts& table) const;
        size_t size() const { return order_.size(); }

      private:
        std::vector<bool> seen_;
        std::vector<uint32_t> order_;
    };
    // The items of a text of the table, ascending; empty for a text never seen.
    static std::vector<ItemIndex> itemsOf(const KeyedItemLists& lists, const InternedTexts& table,
                                          std::string_view text);
    static std::vector<ItemIndex> itemsOf(const KeyedItemLists& lists, uint32_t key);
    // The number of the transaction (Via branch, Call-ID), or kNone.
    uint32_t transactionOf(std::string_view branch, std::string_view callId) const;
    // STUN transactions are walked in key order.
    using SortedIndex = std::multimap<std::string, ItemIndex>;
    static std::vector<ItemIndex> lookup(const SortedIndex& index, const std::string& key);
    std::optional<std::string> firstRequestMethod(const std::vector<ItemIndex>& indexes) const;

    // An item is a place in its chunk, not an allocation of its own, and stays where it is
    // while more are added.
    ChunkedVector<AnalysisItem> items_;
    ChunkedVector<ItemSummary> summaries_;
    // The texts the headlines refer to and the indexes are keyed by (URIs of From and To
    // share one table); held apart so that they stay where the headlines point.
    std::unique_ptr<SipTexts> texts_ = std::make_unique<SipTexts>();
    InternedTexts endpointTexts_;
    DistinctIds distinctCallIds_, distinctFrom_, distinctTo_, distinctMethods_;
    std::vector<std::string> endpoints_;
    // The items' (address, port) pairs, and the address number of each.
    std::unique_ptr<EndpointTable> ends_ = std::make_unique<EndpointTable>();
    std::vector<uint32_t> addressOfEnd_;
    // Item lists by the number of a Call-ID, a URI, a method or a transaction.
    KeyedItemLists byCallId_, byTo_, byFrom_, byMethod_, byTransaction_;
    // Transaction numbers by (branch number, Call-ID number).
    FlatKeyMap<uint32_t> transactions_;
    // The branch numbers of each Call-ID number, in order of first occurrence.
    KeyedItemLists branchesOfCall_;
    SortedIndex byStunTransaction_;
    std::optional<std::vector<ItemIndex>> visible_;
    // Mapped address to the binding response that the descending STUN walk meets first.
    std::map<std::string, ItemIndex> bindings_;
    std::unique_ptr<RtpStreamRegistry> registry_;
    std::unique_ptr<FrameRereader> capture_;
};

}  // namespace varlowe
