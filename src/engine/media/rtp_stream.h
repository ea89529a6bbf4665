#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/capture/packet_record.h"
#include "engine/capture/packet_time.h"
#include "engine/sip/transaction_key.h"
#include "rtcp_report.h"
#include "stream_quality.h"

namespace varlowe {

struct RtpStream;

// Sequence numbers skipped and not yet arrived, oldest first, at most 128, each with the
// stream whose packet skipped it (the stream the number counts against if it never comes).
class MissingSequences {
  public:
    static constexpr size_t kCapacity = 128;

    size_t size() const { return entries_.size(); }
    uint16_t operator[](size_t index) const { return entries_[index].number; }
    RtpStream* owner(size_t index) const { return entries_[index].owner; }
    // False when the number was not missing.
    bool remove(uint16_t number);
    // Appends; when full the oldest entry is evicted and its stream returned.
    RtpStream* append(uint16_t number, RtpStream* owner);
    void clear() { entries_ = {}; }

  private:
    struct Entry {
        uint16_t number;
        RtpStream* owner;
    };
    // Grows only when numbers go missing: most registered streams never count a packet.
    std::vector<Entry> entries_;
};

// The sequence numbers of one RTP session: one SSRC towards one destination. The streams of
// its payload types (audio and RFC 4733 telephone events, say) share it, so that a number
// another payload type received is never missing for its sibling.
struct SequenceSpace {
    uint16_t lastSequence = 0;  // highest number seen in order
    MissingSequences missing;
    StreamQuality quality;
};

const std::shared_ptr<const TransactionKey>& emptyTransactionKey();

// One RTP stream announced by SDP, with the figures of the packets counted into it.
struct RtpStream {
    // The announcing transaction; the streams of one SDP share one immutable copy.
    std::shared_ptr<const TransactionKey> transactionKey = emptyTransactionKey();
    const TransactionKey& transaction() const { return *transactionKey; }
    uint32_t ssrc = 0;
    bool active = true;
    std::string targetAddress;
    int32_t targetPort = 0;
    std::string alternateAddress;  // local address behind a NAT, from a STUN binding
    int32_t alternatePort = 0;
    int32_t payloadType = 0;
    std::string encodingName;
    int32_t clockRate = 0;
    std::string mediaName;  // "audio" or "video"
    int32_t rtcpPort = 0;
    int32_t alternateRtcpPort = 0;

    PacketTime firstTime;
    uint64_t firstOffset = 0;  // where reading the stream again starts (see MediaPacket)
    PacketTime lastTime;
    uint64_t lastOffset = 0;  // the record that completed the last packet: reading ends there
    // Copies of the first and the last counted packet; empty records before the first. Kept
    // apart, so that the many streams an SDP registers and no packet reaches stay small.
    struct CountedPackets {
        PacketRecord first;
        PacketRecord last;
        std::array<uint64_t, 2> lastEndpoints{~uint64_t{0}, ~uint64_t{0}};
    };
    std::unique_ptr<CountedPackets> counted;
    const PacketRecord& firstPacket() const;
    const PacketRecord& lastPacket() const;
    CountedPackets& countedPackets();
    // Sums are 64-bit so that long or heavy streams cannot overflow them.
    int64_t intervalSum = 0;  // milliseconds
    int64_t payloadBytes = 0;
    int64_t headerBytes = 0;
    int64_t packets = 0;
    int64_t dropped = 0;
    int64_t outOfOrder = 0;
    // Shared with the streams of the other payload types of the same RTP session; set by the
    // first counted packet.
    std::shared_ptr<SequenceSpace> sequence;
    std::vector<RtcpReport> reports;

    bool hasAlternate() const { return !alternateAddress.empty(); }

    // Numeric destination keys of the four addresses, set when the stream is registered;
    // an address no packet can have gets a key no packet has.
    struct DestinationKeys {
        uint64_t rtp = ~uint64_t{0};
        uint64_t rtcp = ~uint64_t{0};
        uint64_t alternateRtp = ~uint64_t{0};
        uint64_t alternateRtcp = ~uint64_t{0};
    };
    DestinationKeys keys;
};

}  // namespace varlowe
