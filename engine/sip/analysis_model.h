#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/packet_record.h"
#include "media/name_value_pair.h"
#include "sip_message.h"

namespace varlowe {

struct RtpStream;
class RtpStreamRegistry;

enum class ItemKind : int { Sip = 1, Stun = 2, Media = 4 };

// One entry of the analysed capture: a SIP message, a STUN/TURN message or the first packet
// of an RTP stream, with its own copy of the packet.
struct AnalysisItem {
    ItemKind kind = ItemKind::Sip;
    size_t index = 0;
    PacketRecord packet;
    std::unique_ptr<SipMessage> sip;      // kind Sip
    std::unique_ptr<NameValuePair> stun;  // kind Stun
    const RtpStream* stream = nullptr;    // kind Media; owned by the stream registry
    std::string mediaCallId;              // kind Media: Call-ID of the announcing session
};

// The analysed capture: items in the order they were added, text-keyed indexes over them,
// the session table and the visible list of the diagram's filter.
class AnalysisModel {
  public:
    enum class RelationMode { Session = 1, Branch = 2, Transaction = 3 };

    AnalysisModel();
    ~AnalysisModel();
    AnalysisModel(AnalysisModel&&) noexcept;
    AnalysisModel& operator=(AnalysisModel&&) noexcept;

    size_t addSip(const PacketRecord& packet, const SipMessage& message);
    // Takes the parsed message over instead of parsing its text again.
    size_t addSip(const PacketRecord& packet, SipMessage&& message);
    size_t addStun(const PacketRecord& packet, std::unique_ptr<NameValuePair> message);
    // One item per stream, with the stream's first packet; indexed by the Call-ID of the
    // transaction that announced it.
    size_t addRtp(const PacketRecord& packet, const RtpStream& stream);

    // The capture's stream registry, owned by the model.
    void setStreamRegistry(std::unique_ptr<RtpStreamRegistry> registry);
    RtpStreamRegistry* streamRegistry() const { return registry_.get(); }

    size_t itemCount() const { return items_.size(); }
    const AnalysisItem& item(size_t index) const { return *items_[index]; }
    size_t visibleCount() const { return visible_ ? visible_->size() : items_.size(); }
    const AnalysisItem& itemAtRow(size_t row) const {
        return *items_[visible_ ? (*visible_)[row] : row];
    }
    // Installs the ascending list of shown item indexes; nullopt shows everything.
    void setVisible(std::optional<std::vector<size_t>> visible) { visible_ = std::move(visible); }
    bool hasVisibleList() const { return visible_.has_value(); }

    std::vector<size_t> itemsWithCallId(const std::string& callId) const;
    std::vector<size_t> itemsWithBranch(const std::string& branch, const std::string& callId) const;
    std::vector<size_t> itemsWithStunTransaction(const std::string& id) const;
    std::vector<size_t> itemsFrom(const std::string& uri) const;
    std::vector<size_t> itemsTo(const std::string& uri) const;
    std::vector<size_t> itemsWithMethod(const std::string& method) const;
    std::vector<size_t> itemsFromAddress(const std::string& address) const;
    std::vector<size_t> itemsToAddress(const std::string& address) const;

    // Distinct values in order of first occurrence.
    std::vector<std::string> callIds() const;
    std::vector<std::string> fromUris() const;
    std::vector<std::string> toUris() const;
    // Transaction methods without empty ones and "ACK".
    std::vector<std::string> methods() const;
    // Source then destination address of every visible item.
    std::vector<std::string> visibleAddresses() const;
    const std::vector<std::string>& branchesOfSession(const std::string& callId) const;

    std::optional<std::string> userAgentOf(const std::string& address) const;
    std::vector<std::string> userAgentsOf(const std::vector<std::string>& addresses) const;
    std::optional<std::string> methodOfSession(const std::string& callId) const;
    std::optional<std::string> methodOfTransaction(const std::string& branch,
                                                   const std::string& callId) const;

    // List filters that build the diagram's visible list.
    std::vector<size_t> allItems() const;
    void removeProvisionalResponses(std::vector<size_t>& list) const;
    void removeKind(std::vector<size_t>& list, ItemKind kind) const;
    void removeAddress(std::vector<size_t>& list, const std::string& address) const;

    // Related items as ascending visible rows.
    std::vector<size_t> relatedItems(size_t index, RelationMode mode) const;
    bool isAnswered(size_t index) const;
    bool itemsMatch(size_t a, size_t b) const;
    // Item indexes of the STUN transaction index from its greatest key downwards.
    std::vector<size_t> stunTransactionsDescending() const;
    // The first STUN Binding Response of that walk whose mapped address ("address:port") is
    // the given one.
    std::optional<size_t> natBinding(const std::string& mappedAddress) const;

  private:
    size_t indexSip(std::unique_ptr<AnalysisItem> item);
    void noteBinding(size_t index);
    std::optional<size_t> rowOf(size_t index) const;

    using Index = std::multimap<std::string, size_t>;
    static std::vector<size_t> lookup(const Index& index, const std::string& key);
    std::optional<std::string> firstRequestMethod(const std::vector<size_t>& indexes) const;
    using SipField = const std::optional<std::string>& (SipMessage::*)() const;
    std::vector<std::string> distinctSipValues(SipField field) const;

    std::vector<std::unique_ptr<AnalysisItem>> items_;
    Index byCallId_, bySource_, byDestination_, byTo_, byFrom_, byMethod_, byStunTransaction_,
        byTransaction_;
    std::map<std::string, std::vector<std::string>> sessions_;
    std::optional<std::vector<size_t>> visible_;
    // Mapped address to the binding response that the descending STUN walk meets first.
    std::map<std::string, size_t> bindings_;
    std::unique_ptr<RtpStreamRegistry> registry_;
};

}  // namespace varlowe
