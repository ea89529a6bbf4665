#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/capture/packet_record.h"
#include "engine/interned_texts.h"

namespace varlowe {

// The (address, port) pairs of a capture's items, each kept once and known by its number;
// a pair's texts stay where they are while more are added.
class EndpointTable {
  public:
    uint32_t intern(const std::string& address, const std::string& port);
    const std::string& address(uint32_t id) const { return ends_[id].address; }
    const std::string& port(uint32_t id) const { return ends_[id].port; }
    size_t size() const { return ends_.size(); }

  private:
    struct End {
        std::string address;
        std::string port;
    };
    std::deque<End> ends_;
    InternedTexts keys_;
    std::string key_;  // reused: address, a zero byte, port
    // The pairs met last: most packets come from and go to one of a few endpoints.
    uint32_t recent_[2] = {kNoEnd, kNoEnd};
    static constexpr uint32_t kNoEnd = ~uint32_t{0};
};

// A packet as an item keeps it: the record's numbers and payload, with its addresses and
// ports as numbers of the model's endpoint table rather than four texts of its own. One
// given a whole record outside a model keeps a table of its own.
class ItemPacket : public PacketNumbers {
  public:
    ItemPacket() = default;
    ItemPacket(ItemPacket&&) noexcept = default;
    ItemPacket& operator=(ItemPacket&&) noexcept = default;
    ItemPacket& operator=(const PacketRecord& record);

    // The record's numbers and, unless left out, its payload; its endpoints into the table,
    // which must outlive this packet.
    void assign(const PacketRecord& record, EndpointTable& table, bool withPayload);

    const std::string& sourceAddress() const;
    const std::string& sourcePort() const;
    const std::string& destinationAddress() const;
    const std::string& destinationPort() const;
    uint32_t sourceEnd() const { return source_; }
    uint32_t destinationEnd() const { return destination_; }

    // The whole record again, for code that takes one.
    PacketRecord record() const;

    // As PacketRecord's: the payload bytes and a zero byte after them, none when left out.
    const uint8_t* payloadData() const { return payload_.get(); }
    const char* payloadText() const {
        return payload_ ? reinterpret_cast<const char*>(payload_.get()) : "";
    }

  private:
    void assignNumbers(const PacketRecord& record, bool withPayload);

    std::unique_ptr<uint8_t[]> payload_;    // the record's payload vector, without its room
    const EndpointTable* table_ = nullptr;  // none: the packet has no endpoints yet
    std::unique_ptr<EndpointTable> own_;
    uint32_t source_ = 0;
    uint32_t destination_ = 0;
    uint32_t payloadBytes_ = 0;  // how many payload_ holds
};

}  // namespace varlowe
