#include "analysis_model.h"

#include <algorithm>

#include "engine/capture/ipv6_address.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/text_search.h"

namespace varlowe {

namespace {
const std::string* stunTransactionId(const AnalysisItem& item) {
    return item.stun ? item.stun->find("TRANSACTION_ID") : nullptr;
}
}  // namespace

AnalysisModel::AnalysisModel() = default;
AnalysisModel::~AnalysisModel() = default;
AnalysisModel::AnalysisModel(AnalysisModel&&) noexcept = default;
AnalysisModel& AnalysisModel::operator=(AnalysisModel&&) noexcept = default;

void AnalysisModel::setStreamRegistry(std::unique_ptr<RtpStreamRegistry> registry) {
    registry_ = std::move(registry);
}

uint32_t AnalysisModel::endpointId(const std::string& address) {
    const uint32_t id = endpointTexts_.intern(address);
    if (id == endpoints_.size()) {
        endpoints_.push_back(address);
    }
    return id;
}

void AnalysisModel::keepPacket(AnalysisItem& item, const PacketRecord& packet, bool withPayload) {
    item.packet.assign(packet, *ends_, withPayload);
    while (addressOfEnd_.size() < ends_->size()) {
        addressOfEnd_.push_back(endpointId(ends_->address(addressOfEnd_.size())));
    }
    const ItemPacket& p = item.packet;
    summaries_.push_back(ItemSummary{static_cast<int64_t>(p.seconds) * 1000000 + p.microseconds,
                                     addressOfEnd_[p.sourceEnd()],
                                     addressOfEnd_[p.destinationEnd()]});
}

void AnalysisModel::finishStreams() {
    if (!registry_) {
        return;
    }
    const RtpStreamRegistry::StreamMoves moves = registry_->finishAnalysis();
    for (size_t i = 0; i < items_.size(); ++i) {
        AnalysisItem& item = items_[i];
        if (item.stream != nullptr) {
            auto moved = moves.find(item.stream);
            // Media items exist only for streams that counted packets, which all stay.
            item.stream = moved != moves.end() ? moved->second : nullptr;
        }
    }
}

AnalysisItem& AnalysisModel::addItem(ItemKind kind) {
    const ItemIndex index(items_.size());
    AnalysisItem& item = items_.emplace_back();
    item.kind = kind;
    item.index = index;
    return item;
}

AnalysisItem& AnalysisModel::addSipItem(const PacketRecord& packet, const SipMessage& message) {
    AnalysisItem& item = addItem(ItemKind::Sip);
    keepPacket(item, packet, false);
    item.sip = SipHeadline::of(message, *texts_);
    return item;
}

ItemIndex AnalysisModel::addSip(const PacketRecord& packet, const SipMessage& message) {
    return addSip(packet, SipMessage(message));
}

ItemIndex AnalysisModel::addSip(const PacketRecord& packet, SipMessage&& message) {
    AnalysisItem& item = addSipItem(packet, message);
    item.heldSip = std::make_unique<const SipMessage>(std::move(message));
    return indexSip(item);
}

ItemIndex AnalysisModel::addSipFromCapture(const PacketRecord& packet, const SipMessage& message) {
    return indexSip(addSipItem(packet, message));
}

SipMessage AnalysisModel::sipMessage(const AnalysisItem& item, FrameRereader* through) const {
    if (item.heldSip) {
        return *item.heldSip;
    }
    if (!item.sip) {
        return SipMessage();
    }
    thread_local FrameInfo frame;
    if (readAgain(item, through, frame)) {
        return SipMessage::parseInPayload(reinterpret_cast<const char*>(frame.payloadData()),
                                          frame.payloadLength, item.sip->payloadStart());
    }
    return SipMessage::parse(startLineAlone(*item.sip));
}

std::string AnalysisModel::startLineAlone(const SipHeadline& sip) {
    return std::string(sip.startLine()) + "\r\n";
}

bool AnalysisModel::readAgain(const AnalysisItem& item, FrameRereader* through,
                              FrameInfo& frame) const {
    FrameRereader* reader = through != nullptr ? through : capture_.get();
    if (reader == nullptr || !reader->read(item.packet, frame)) {
        return false;
    }
    // The message must start where it started, with the line it had.
    const size_t start = item.sip->payloadStart();
    const std::string_view line = item.sip->startLine();
    const auto* bytes = reinterpret_cast<const char*>(frame.payloadData());
    return start <= frame.payloadLength &&
           std::string_view(bytes + start, frame.payloadLength - start).substr(0, line.size()) ==
               line;
}

std::string AnalysisModel::payloadText(const AnalysisItem& item, FrameRereader* through) const {
    if (item.heldSip) {
        return std::string(item.heldSip->payloadText());
    }
    if (!item.sip) {
        return std::string(item.packet.payloadText());
    }
    // The text alone, without parsing the message again.
    thread_local FrameInfo frame;
    if (readAgain(item, through, frame)) {
        return std::string(reinterpret_cast<const char*>(frame.payloadData()),
                           textLength(frame.payloadData(), frame.payloadLength));
    }
    return startLineAlone(*item.sip);
}

ItemIndex AnalysisModel::addRtp(const PacketRecord& packet, const RtpStream& stream) {
    AnalysisItem& item = addItem(ItemKind::Media);
    const ItemIndex index = item.index;
    keepPacket(item, packet, true);
    item.stream = &stream;
    byCallId_.add(texts_->callIds.intern(stream.transaction().callId()),
                  static_cast<uint32_t>(index.value));
    return index;
}

ItemIndex AnalysisModel::indexSip(const AnalysisItem& item) {
    const SipHeadline& sip = *item.sip;
    const ItemIndex index = item.index;

    // The distinct values of the filter tree, in order of first occurrence, kept as they come.
    const uint32_t call = sip.callIdNumber();
    if (call != InternedTexts::kNone) {
        distinctCallIds_.add(call);
    }
    const uint32_t from = sip.fromUriNumber();
    if (from != InternedTexts::kNone) {
        distinctFrom_.add(from);
    }
    const uint32_t to = sip.toUriNumber();
    if (to != InternedTexts::kNone) {
        distinctTo_.add(to);
    }
    std::string_view method = sip.transactionMethod();
    const bool isAck = equalsIgnoringCase(method, "ACK");
    uint32_t methodId = sip.transactionMethodNumber();
    if (!method.empty() && !isAck) {
        distinctMethods_.add(methodId);
    }
    if (!isIndexed(sip)) {
        return index;  // drawn and listed, but in no index
    }
    const uint32_t number = static_cast<uint32_t>(index.value);
    byCallId_.add(call, number);
    byTo_.add(to, number);
    byFrom_.add(from, number);
    if (!method.empty()) {
        if (isAck) {
            // The ACK of a non-2xx final response shares the INVITE's transaction.
            byCallId_.forEach(call, [&](uint32_t other) {
                const AnalysisItem& candidate = at(ItemIndex(other));
                if (other != number && candidate.sip && !candidate.sip->isResponse() &&
                    candidate.sip->sameTransaction(sip)) {
                    method = candidate.sip->method().value_or(method);
                    methodId = texts_->methods.intern(method);
                    return false;
                }
                return true;
            });
        }
        byMethod_.add(methodId, number);
    }
    if (const uint32_t branchId = sip.branchNumber(); branchId != InternedTexts::kNone) {
        const uint64_t key = (uint64_t{branchId} << 32) | call;
        const uint32_t* known = transactions_.find(key);
        uint32_t transaction;
        if (known != nullptr) {
            transaction = *known;
        } else {
            transaction = static_cast<uint32_t>(transactions_.size());
            transactions_[key] = transaction;
            branchesOfCall_.add(call, branchId);
        }
        byTransaction_.add(transaction, number);
    }
    return index;
}

ItemIndex AnalysisModel::addStun(const PacketRecord& packet,
                                 std::unique_ptr<NameValuePair> message) {
    AnalysisItem& item = addItem(ItemKind::Stun);
    const ItemIndex index = item.index;
    keepPacket(item, packet, true);
    item.stun = std::move(message);
    if (const std::string* id = stunTransactionId(item)) {
        byStunTransaction_.emplace(*id, index);
    }
    noteBinding(index);
    return index;
}

void AnalysisModel::noteBinding(ItemIndex index) {
    const AnalysisItem& item = at(index);
    const std::string* id = stunTransactionId(item);
    const std::string* type = id != nullptr ? item.stun->find("MSG_TYPE") : nullptr;
    if (id == nullptr || type == nullptr || *type != "STUN_BIND_RESPONSE") {
        return;
    }
    const std::string* mapped = item.stun->find("STUN_XOR_MAPPED_ADDRESS");
    if (mapped == nullptr) {
        mapped = item.stun->find("STUN_MAPPED_ADDRESS");
    }
    if (mapped == nullptr) {
        return;
    }
    // The walk goes from the greatest identifier down and, under one identifier, from the
    // latest item back; the item it meets first is kept.
    auto [entry, inserted] = bindings_.emplace(*mapped, index);
    if (!inserted && *stunTransactionId(at(entry->second)) <= *id) {
        entry->second = index;
    }
}

std::optional<ItemIndex> AnalysisModel::natBinding(const std::string& mappedAddress) const {
    auto found = bindings_.find(mappedAddress);
    if (found == bindings_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<NatBinding> AnalysisModel::localAddressBehindNat(const std::string& address,
                                                               int32_t port) const {
    // STUN writes an IPv6 address in its canonical form; an SDP may write it otherwise.
    std::string canonical = address;
    if (address.find(':') != std::string::npos) {
        if (std::optional<Ipv6Bytes> six = parseIpv6(address)) {
            canonical = ipv6Text(*six);
        }
    }
    std::optional<ItemIndex> binding = natBinding(endpointText(canonical, std::to_string(port)));
    if (!binding) {
        return std::nullopt;
    }
    const ItemPacket& packet = at(*binding).packet;
    return NatBinding{packet.destinationAddress(),
                      static_cast<int32_t>(leadingNumber(packet.destinationPort()))};
}

std::optional<ItemIndex> AnalysisModel::indexAtRow(RowIndex row) const {
    if (visible_) {
        if (row.value >= visible_->size()) {
            return std::nullopt;
        }
        return (*visible_)[row.value];
    }
    if (row.value >= items_.size()) {
        return std::nullopt;
    }
    return ItemIndex(row.value);
}

std::optional<RowIndex> AnalysisModel::rowOf(ItemIndex index) const {
    if (!visible_) {
        return index.value < items_.size() ? std::optional<RowIndex>(RowIndex(index.value))
                                           : std::nullopt;
    }
    auto found = std::lower_bound(visible_->begin(), visible_->end(), index);
    if (found == visible_->end() || *found != index) {
        return std::nullopt;
    }
    return RowIndex(static_cast<size_t>(found - visible_->begin()));
}

void AnalysisModel::setVisible(std::optional<std::vector<ItemIndex>> visible) {
    if (visible) {
        const ItemIndex end(items_.size());
        visible->erase(std::remove_if(visible->begin(), visible->end(),
                                      [end](ItemIndex index) { return index >= end; }),
                       visible->end());
    }
    visible_ = std::move(visible);
}

std::vector<ItemIndex> AnalysisModel::lookup(const SortedIndex& index, const std::string& key) {
    std::vector<ItemIndex> out;
    auto range = index.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) {
        out.push_back(it->second);
    }
    return out;
}

std::vector<ItemIndex> AnalysisModel::itemsOf(const KeyedItemLists& lists, uint32_t key) {
    std::vector<ItemIndex> out;
    lists.forEach(key, [&out](uint32_t item) {
        out.push_back(ItemIndex(item));
        return true;
    });
    return out;
}

std::vector<ItemIndex> AnalysisModel::itemsOf(const KeyedItemLists& lists,
                                              const InternedTexts& table, std::string_view text) {
    return itemsOf(lists, table.find(text));
}

std::vector<std::string> AnalysisModel::DistinctIds::texts(const InternedTexts& table) const {
    std::vector<std::string> out;
    out.reserve(order_.size());
    for (uint32_t id : order_) {
        out.emplace_back(table.text(id));
    }
    return out;
}

uint32_t AnalysisModel::transactionOf(std::string_view branch, std::string_view callId) const {
    const uint32_t branchId = texts_->branches.find(branch);
    const uint32_t call = texts_->callIds.find(callId);
    if (branchId == InternedTexts::kNone || call == InternedTexts::kNone) {
        return InternedTexts::kNone;
    }
    const uint32_t* found = transactions_.find((uint64_t{branchId} << 32) | call);
    return found != nullptr ? *found : InternedTexts::kNone;
}

std::vector<ItemIndex> AnalysisModel::itemsWithCallId(std::string_view k) const {
    return itemsOf(byCallId_, texts_->callIds, k);
}
std::vector<ItemIndex> AnalysisModel::itemsWithBranch(std::string_view branch,
                                                      std::string_view callId) const {
    return itemsOf(byTransaction_, transactionOf(branch, callId));
}
std::vector<ItemIndex> AnalysisModel::itemsWithStunTransaction(const std::string& k) const {
    return lookup(byStunTransaction_, k);
}
std::vector<ItemIndex> AnalysisModel::itemsFrom(std::string_view k) const {
    return itemsOf(byFrom_, texts_->uris, k);
}
std::vector<ItemIndex> AnalysisModel::itemsTo(std::string_view k) const {
    return itemsOf(byTo_, texts_->uris, k);
}
std::vector<ItemIndex> AnalysisModel::itemsWithMethod(std::string_view k) const {
    return itemsOf(byMethod_, texts_->methods, k);
}
bool AnalysisModel::isIndexed(const SipHeadline& sip) {
    return sip.callId() && sip.toUri() && sip.fromUri();
}

bool AnalysisModel::inAddressIndex(const AnalysisItem& item) {
    return item.kind == ItemKind::Stun || (item.sip && isIndexed(*item.sip));
}

std::vector<ItemIndex> AnalysisModel::itemsWithAddress(std::string_view address,
                                                       bool source) const {
    std::vector<ItemIndex> out;
    const uint32_t id = endpointTexts_.find(address);
    if (id == InternedTexts::kNone) {
        return out;
    }
    for (size_t i = 0; i < summaries_.size(); ++i) {
        const ItemSummary& ends = summaries_[i];
        if ((source ? ends.source : ends.destination) == id && inAddressIndex(items_[i])) {
            out.emplace_back(i);
        }
    }
    return out;
}

std::vector<ItemIndex> AnalysisModel::itemsFromAddress(std::string_view k) const {
    return itemsWithAddress(k, true);
}
std::vector<ItemIndex> AnalysisModel::itemsToAddress(std::string_view k) const {
    return itemsWithAddress(k, false);
}

std::vector<std::string> AnalysisModel::callIds() const {
    return distinctCallIds_.texts(texts_->callIds);
}
std::vector<std::string> AnalysisModel::fromUris() const {
    return distinctFrom_.texts(texts_->uris);
}
std::vector<std::string> AnalysisModel::toUris() const {
    return distinctTo_.texts(texts_->uris);
}

std::vector<std::string> AnalysisModel::methods() const {
    return distinctMethods_.texts(texts_->methods);
}

std::vector<std::string> AnalysisModel::visibleAddresses() const {
    DistinctIds out;
    for (size_t row = 0; row < rowCount(); ++row) {
        const ItemSummary& ends = summaries_[indexAtRow(RowIndex(row))->value];
        out.add(ends.source);
        out.add(ends.destination);
    }
    return out.texts(endpointTexts_);
}

std::vector<std::string> AnalysisModel::branchesOfSession(std::string_view callId) const {
    std::vector<std::string> out;
    branchesOfCall_.forEach(texts_->callIds.find(callId), [&](uint32_t branch) {
        out.emplace_back(texts_->branches.text(branch));
        return true;
    });
    return out;
}

std::vector<std::optional<std::string>> AnalysisModel::firstUserAgents(
    const std::vector<std::string>& addresses) const {
    std::vector<std::optional<std::string>> out(addresses.size());
    // The places in `out` of each address number asked for; one pass over the items finds
    // them all, however many addresses there are.
    std::vector<std::vector<size_t>> wanted(endpoints_.size());
    size_t missing = 0;
    for (size_t k = 0; k < addresses.size(); ++k) {
        const uint32_t id = endpointTexts_.find(addresses[k]);
        if (id != InternedTexts::kNone) {
            wanted[id].push_back(k);
            ++missing;
        }
    }
    for (size_t i = 0; i < summaries_.size() && missing > 0; ++i) {
        std::vector<size_t>& places = wanted[summaries_[i].source];
        const AnalysisItem& item = items_[i];
        if (places.empty() || !item.sip || item.sip->isResponse() || !inAddressIndex(item)) {
            continue;
        }
        if (std::optional<std::string_view> agent = item.sip->userAgent()) {
            for (size_t k : places) {
                out[k] = std::string(*agent);
            }
            missing -= places.size();
            places.clear();
        }
    }
    return out;
}

std::optional<std::string> AnalysisModel::userAgentOf(std::string_view address) const {
    return firstUserAgents({std::string(address)}).front();
}

std::vector<std::string> AnalysisModel::userAgentsOf(
    const std::vector<std::string>& addresses) const {
    std::vector<std::string> out;
    for (std::optional<std::string>& agent : firstUserAgents(addresses)) {
        out.push_back(agent.value_or(""));
    }
    return out;
}

std::optional<std::string> AnalysisModel::firstRequestMethod(
    const std::vector<ItemIndex>& indexes) const {
    for (ItemIndex index : indexes) {
        const AnalysisItem& item = at(index);
        if (item.sip && !item.sip->isResponse() && item.sip->method() &&
            !item.sip->method()->empty()) {
            return std::string(*item.sip->method());
        }
    }
    return std::nullopt;
}

std::optional<std::string> AnalysisModel::methodOfSession(std::string_view callId) const {
    return firstRequestMethod(itemsWithCallId(callId));
}

std::optional<std::string> AnalysisModel::methodOfTransaction(std::string_view branch,
                                                              std::string_view callId) const {
    return firstRequestMethod(itemsWithBranch(branch, callId));
}

std::vector<ItemIndex> AnalysisModel::allItems() const {
    std::vector<ItemIndex> out(items_.size());
    for (size_t i = 0; i < out.size(); ++i) out[i] = ItemIndex(i);
    return out;
}

void AnalysisModel::removeProvisionalResponses(std::vector<ItemIndex>& list) const {
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](ItemIndex i) {
                                  const AnalysisItem& item = at(i);
                                  return item.sip && item.sip->isResponse() &&
                                         item.sip->statusCode() < 200;
                              }),
               list.end());
}

void AnalysisModel::removeKind(std::vector<ItemIndex>& list, ItemKind kind) const {
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this, kind](ItemIndex i) { return at(i).kind == kind; }),
               list.end());
}

void AnalysisModel::removeAddress(std::vector<ItemIndex>& list, const std::string& address) const {
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this, &address](ItemIndex i) {
                                  const ItemPacket& p = at(i).packet;
                                  return p.sourceAddress() == address ||
                                         p.destinationAddress() == address;
                              }),
               list.end());
}

bool AnalysisModel::itemsMatch(ItemIndex a, ItemIndex b) const {
    const AnalysisItem* first = findItem(a);
    const AnalysisItem* second = findItem(b);
    if (first == nullptr || second == nullptr) {
        return false;
    }
    const AnalysisItem& x = *first;
    const AnalysisItem& y = *second;
    if (x.kind != y.kind) {
        return false;
    }
    if (x.sip && y.sip) {
        return x.sip->sameTransaction(*y.sip);
    }
    const std::string* idX = stunTransactionId(x);
    const std::string* idY = stunTransactionId(y);
    return x.kind == ItemKind::Stun && idX && idY && *idX == *idY;
}

std::vector<RowIndex> AnalysisModel::relatedRows(ItemIndex index, RelationMode mode) const {
    std::vector<ItemIndex> related;
    const AnalysisItem* found = findItem(index);
    if (found == nullptr) {
        return {};
    }
    const AnalysisItem& item = *found;
    if (item.sip) {
        const SipHeadline& sip = *item.sip;
        const std::string_view callId = sip.callId().value_or("");
        if (mode == RelationMode::Session) {
            related = itemsWithCallId(callId);
        } else if (mode == RelationMode::Branch) {
            related = itemsWithBranch(sip.branch().value_or(""), callId);
        } else {
            for (ItemIndex other : itemsWithCallId(callId)) {
                const AnalysisItem& candidate = at(other);
                if (candidate.sip && candidate.sip->sameTransaction(sip)) {
                    related.push_back(other);
                }
            }
        }
    } else if (item.stun) {
        const std::string* id = stunTransactionId(item);
        if (mode == RelationMode::Session && id != nullptr) {
            const ItemPacket& p = item.packet;
            for (const auto& entry : byStunTransaction_) {
                const ItemPacket& q = at(entry.second).packet;
                bool sameEnds = q.sourceAddress() == p.sourceAddress() &&
                                q.sourcePort() == p.sourcePort() &&
                                q.destinationAddress() == p.destinationAddress() &&
                                q.destinationPort() == p.destinationPort();
                bool reversed = q.sourceAddress() == p.destinationAddress() &&
                                q.sourcePort() == p.destinationPort() &&
                                q.destinationAddress() == p.sourceAddress() &&
                                q.destinationPort() == p.sourcePort();
                if (entry.first == *id || sameEnds || reversed) {
                    related.push_back(entry.second);
                }
            }
        } else if (mode == RelationMode::Transaction && id != nullptr) {
            related = itemsWithStunTransaction(*id);
        }
    } else if (item.stream != nullptr && mode == RelationMode::Session) {
        // The stream's extent: itself and the last shown item before its last packet.
        related.push_back(index);
        ItemIndex last = index;
        const uint32_t end = item.stream->lastPacket().number;
        size_t row = visible_
                         ? static_cast<size_t>(std::lower_bound(visible_->begin(), visible_->end(),
                                                                ItemIndex(index.value + 1)) -
                                               visible_->begin())
                         : index.value + 1;
        for (; row < rowCount(); ++row) {
            const AnalysisItem& next = *itemAtRow(RowIndex(row));
            if (next.packet.number >= end) {
                break;
            }
            last = next.index;
        }
        related.push_back(last);
    }
    std::vector<RowIndex> rows;
    rows.reserve(related.size());
    for (ItemIndex i : related) {
        if (std::optional<RowIndex> row = rowOf(i)) {
            rows.push_back(*row);
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool AnalysisModel::isAnswered(ItemIndex index) const {
    const AnalysisItem* found = findItem(index);
    if (found == nullptr) {
        return false;
    }
    const AnalysisItem& item = *found;
    std::vector<RowIndex> rows = relatedRows(index, RelationMode::Transaction);
    if (item.sip) {
        for (RowIndex row : rows) {
            const AnalysisItem& other = *itemAtRow(row);
            if (other.sip && other.sip->isResponse() && other.sip->statusCode() >= 200) {
                return true;
            }
        }
        return false;
    }
    if (item.stun) {
        const std::string* type = item.stun->find("MSG_TYPE");
        if (type == nullptr || type->find("_REQUEST") == std::string::npos) {
            return true;
        }
        std::string prefix = type->substr(0, type->find("_REQUEST"));
        for (RowIndex row : rows) {
            const AnalysisItem& other = *itemAtRow(row);
            const std::string* otherType = other.stun ? other.stun->find("MSG_TYPE") : nullptr;
            if (otherType && otherType->find("_RESPONSE") != std::string::npos &&
                otherType->find(prefix) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

std::vector<ItemIndex> AnalysisModel::stunTransactionsDescending() const {
    std::vector<ItemIndex> out;
    for (auto it = byStunTransaction_.rbegin(); it != byStunTransaction_.rend(); ++it) {
        out.push_back(it->second);
    }
    return out;
}

}  // namespace varlowe
