#include "item_packet.h"

#include <cstring>

namespace varlowe {

uint32_t EndpointTable::intern(const std::string& address, const std::string& port) {
    for (uint32_t id : recent_) {
        if (id != kNoEnd && ends_[id].port == port && ends_[id].address == address) {
            return id;
        }
    }
    key_.assign(address);
    key_.push_back('\0');
    key_.append(port);
    const uint32_t id = keys_.intern(key_);
    if (id == ends_.size()) {
        ends_.push_back(End{address, port});
    }
    recent_[1] = recent_[0];
    recent_[0] = id;
    return id;
}

void ItemPacket::assignNumbers(const PacketRecord& record, bool withPayload) {
    static_cast<PacketNumbers&>(*this) = record;
    payload_.reset();
    payloadBytes_ = 0;
    if (withPayload && !record.payload.empty()) {
        payloadBytes_ = static_cast<uint32_t>(record.payload.size());
        payload_.reset(new uint8_t[payloadBytes_]);
        std::memcpy(payload_.get(), record.payload.data(), payloadBytes_);
    }
}

void ItemPacket::assign(const PacketRecord& record, EndpointTable& table, bool withPayload) {
    assignNumbers(record, withPayload);
    own_.reset();
    table_ = &table;
    source_ = table.intern(record.sourceAddress, record.sourcePort);
    destination_ = table.intern(record.destinationAddress, record.destinationPort);
}

ItemPacket& ItemPacket::operator=(const PacketRecord& record) {
    auto own = std::make_unique<EndpointTable>();
    assign(record, *own, true);
    own_ = std::move(own);
    return *this;
}

namespace {
const std::string& noText() {
    static const std::string empty;
    return empty;
}
}  // namespace

const std::string& ItemPacket::sourceAddress() const {
    return table_ != nullptr ? table_->address(source_) : noText();
}
const std::string& ItemPacket::sourcePort() const {
    return table_ != nullptr ? table_->port(source_) : noText();
}
const std::string& ItemPacket::destinationAddress() const {
    return table_ != nullptr ? table_->address(destination_) : noText();
}
const std::string& ItemPacket::destinationPort() const {
    return table_ != nullptr ? table_->port(destination_) : noText();
}

PacketRecord ItemPacket::record() const {
    PacketRecord copy;
    static_cast<PacketNumbers&>(copy) = *this;
    copy.sourceAddress = sourceAddress();
    copy.sourcePort = sourcePort();
    copy.destinationAddress = destinationAddress();
    copy.destinationPort = destinationPort();
    if (payload_) {
        copy.payload.assign(payload_.get(), payload_.get() + payloadBytes_);
    }
    return copy;
}

}  // namespace varlowe
