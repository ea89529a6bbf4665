#include "rtp_stream.h"

#include <algorithm>

#include "media_packet.h"

namespace varlowe {

const std::shared_ptr<const TransactionKey>& emptyTransactionKey() {
    static const std::shared_ptr<const TransactionKey> empty =
        std::make_shared<const TransactionKey>();
    return empty;
}

namespace {
const PacketRecord& noPacket() {
    static const PacketRecord empty;
    return empty;
}
}  // namespace

const PacketRecord& RtpStream::firstPacket() const {
    return counted ? counted->first : noPacket();
}

const PacketRecord& RtpStream::lastPacket() const {
    return counted ? counted->last : noPacket();
}

RtpStream::CountedPackets& RtpStream::countedPackets() {
    if (!counted) {
        counted = std::make_unique<CountedPackets>();
    }
    return *counted;
}

bool MissingSequences::remove(uint16_t number) {
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [number](const Entry& entry) { return entry.number == number; });
    if (found == entries_.end()) {
        return false;
    }
    entries_.erase(found);
    return true;
}

RtpStream* MissingSequences::append(uint16_t number, RtpStream* owner) {
    RtpStream* evicted = nullptr;
    if (entries_.size() == kCapacity) {
        evicted = entries_.front().owner;
        entries_.erase(entries_.begin());
    }
    entries_.push_back(Entry{number, owner});
    return evicted;
}

}  // namespace varlowe
