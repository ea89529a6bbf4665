#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/capture/capture_file_reader.h"
#include "engine/capture/packet_record.h"
#include "engine/output_file.h"
#include "engine/sip/transaction_key.h"
#include "flat_key_map.h"
#include "rtcp_report.h"

namespace varlowe {

class SdpDescription;
struct FrameInfo;

// The local address and port of a client behind a NAT, learned from a STUN binding.
struct NatBinding {
    std::string address;
    int32_t port = 0;
};
// Finds the binding for a public address and port that an SDP announces; none when no
// binding response told a client that address.
using NatLookup =
    std::function<std::optional<NatBinding>(const std::string& address, int32_t port)>;

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
        void update(const RtpStream& stream);
    };
    DestinationKeys keys;
};

// What attribution needs of a packet: numeric destination, payload and, for the copies a
// stream keeps, the packet itself. Address texts are formatted only when a copy is made.
struct MediaPacket {
    uint32_t destinationAddress = 0;
    uint16_t destinationPort = 0;
    const uint8_t* payload = nullptr;
    size_t length = 0;
    PacketTime time;
    uint32_t headerOverhead = 0;
    uint32_t number = 0;
    // Where reading the file again yields the packet: its record, or for a datagram
    // reassembled from IPv4 fragments the record of its first fragment.
    uint64_t fileOffset = 0;
    const FrameInfo* frame = nullptr;
    const PacketRecord* record = nullptr;

    static MediaPacket of(const FrameInfo& frame);
    // None when the record's destination is not an IPv4 dotted quad and port as a capture
    // would give them (no such packet can match a stream).
    static std::optional<MediaPacket> of(const PacketRecord& record);
    void copyTo(PacketRecord& out) const;
    // The same for a record that is overwritten by every packet of a stream: `endpoints`
    // remembers which addresses and ports the record's texts hold, so that they are written
    // again only when they change.
    void copyTo(PacketRecord& out, std::array<uint64_t, 2>& endpoints) const;
};

// Parses "a.b.c.d" exactly as packets are written (no leading zeros, no blanks).
std::optional<uint32_t> parseDottedQuad(const std::string& text);

enum class StreamMatch { None, Rtp, Rtcp };

// The expected RTP streams of one capture, in registration order, with the indexes that let
// a packet find its stream without testing every stream.
class RtpStreamRegistry {
  public:
    explicit RtpStreamRegistry(std::string capturePath);
    RtpStreamRegistry(const RtpStreamRegistry&) = delete;
    RtpStreamRegistry& operator=(const RtpStreamRegistry&) = delete;

    const std::string& capturePath() const { return path_; }
    // What the analysis pass learnt of the file's layout (pcapng sections and interfaces).
    void setCaptureLayout(const CaptureLayout& layout) { layout_ = layout; }
    size_t streamCount() const { return streams_.size(); }
    const RtpStream& stream(size_t index) const { return *streams_[index]; }
    RtpStream& stream(size_t index) { return *streams_[index]; }

    // Registers one stream per present payload type of the audio and the video description,
    // under the transaction of the message that carried the SDP.
    void registerFromSdp(const SdpDescription& sdp,
                         const std::shared_ptr<const TransactionKey>& transaction,
                         const NatLookup& natLookup);
    // Registers one stream unless an equal one exists; returns the stream (new or existing).
    RtpStream* addRtpSource(const TransactionKey& transaction, const std::string& targetAddress,
                            int32_t targetPort, const std::string& alternateAddress,
                            int32_t alternatePort, int32_t payloadType,
                            const std::string& encodingName, const std::string& mediaName,
                            int32_t clockRate, int32_t rtcpPort, int32_t alternateRtcpPort,
                            uint32_t ssrc);

    // The stream the packet was counted into as RTP, or nullptr (also for RTCP, which is
    // decoded into the stream's reports).
    RtpStream* handleMediaPacket(const MediaPacket& packet, uint64_t fileOffset, bool includeRtcp);
    RtpStream* handleMediaPacket(const PacketRecord& packet, uint64_t fileOffset, bool includeRtcp);
    static StreamMatch matchStream(const MediaPacket& packet, const RtpStream& stream,
                                   bool includeRtcp);
    static StreamMatch matchStream(const PacketRecord& packet, const RtpStream& stream,
                                   bool includeRtcp);

    void deactivateDialogStream(const DialogKey& dialog);
    void deactivateTransactionStream(const TransactionKey& transaction);
    // Streams of the transaction (and, with an SDP, on one of its media addresses), in order.
    std::vector<const RtpStream*> streamsOfTransaction(const TransactionKey& transaction,
                                                       const SdpDescription* sdp,
                                                       size_t maxCount) const;
    // Drops streams that counted nothing and folds the missing lists into dropped. The
    // streams that stay move to new places; the map tells where each went, for those who
    // point at them (the model's media items).
    using StreamMoves = std::unordered_map<const RtpStream*, RtpStream*>;
    StreamMoves finishAnalysis();
    // The first CNAME of the SSRC among the reports of all streams.
    std::optional<std::string> canonicalName(uint32_t ssrc) const;

    // Re-reads the stream's RTP packets from the capture, from its first to its last packet.
    // visit(nullptr) is called once at the end. False when nothing could be read.
    bool forEachStreamPacket(const RtpStream& stream,
                             const std::function<bool(const PacketRecord*)>& visit) const;
    // Writes the stream's packets to an open stream: per packet an optional 12-byte record
    // header, then the RTP packet or its payload. False when the capture cannot be read
    // again or a write fails.
    bool writeStream(const RtpStream& stream, std::FILE* out, bool recordHeaders,
                     bool rtpHeaders) const;
    // Writes the stream's packets to `path`, which is replaced only when the whole stream was
    // written; the capture itself is never written over.
    SaveOutcome extractStream(const RtpStream& stream, const std::string& path, bool recordHeaders,
                              bool rtpHeaders) const;

  private:
    RtpStream* addRtpSource(const std::shared_ptr<const TransactionKey>& transaction,
                            const std::string& targetAddress, int32_t targetPort,
                            const std::string& alternateAddress, int32_t alternatePort,
                            int32_t payloadType, const std::string& encodingName,
                            const std::string& mediaName, int32_t clockRate, int32_t rtcpPort,
                            int32_t alternateRtcpPort, uint32_t ssrc);
    // Reads the capture from the stream's first packet to its last and hands each RTP packet
    // of the stream to visit, which returns false to stop. The number of frames read, or
    // none when the capture cannot be reopened or positioned.
    using FrameVisit = std::function<bool(const FrameInfo& frame, const MediaPacket& packet)>;
    std::optional<size_t> walkStreamFrames(const RtpStream& stream, const FrameVisit& visit) const;

    RtpStream* findStream(const MediaPacket& packet, bool includeRtcp, StreamMatch& how) const;
    void indexStream(RtpStream* stream, size_t order);
    void rebuildIndexes();
    RtpStream* newStream();

    std::string path_;
    CaptureLayout layout_;
    // Streams live in chunks of their own, apart from the rest of the analysis: an SDP
    // registers a stream per payload type and most never see a packet, so a long capture
    // makes and drops millions of them; freed chunk by chunk they leave no holes between
    // the messages that stay (holes that slow every later allocation of the program).
    static constexpr size_t kChunkSize = 1024;
    std::vector<std::unique_ptr<RtpStream[]>> chunks_;
    size_t chunkUsed_ = kChunkSize;
    std::vector<RtpStream*> streams_;  // in registration order
    // The streams a packet can match: those listening for RTP of its payload type on its
    // destination, keyed by destination key and payload type, and those listening there for
    // RTCP, keyed by destination key; each list in registration order, linked through one
    // array instead of a vector per key.
    static constexpr uint32_t kEndOfList = ~uint32_t{0};
    struct CandidateList {
        uint32_t head = kEndOfList;
        uint32_t tail = kEndOfList;
    };
    struct CandidateLink {
        RtpStream* stream;
        size_t order;
        uint32_t next;
    };
    void appendCandidate(CandidateList& list, RtpStream* stream, size_t order);
    std::vector<CandidateLink> links_;
    FlatKeyMap<CandidateList> rtpByDestination_;
    FlatKeyMap<CandidateList> rtcpByDestination_;
    // "address port" texts of target and alternate, for the duplicate test.
    std::unordered_map<std::string, std::vector<RtpStream*>> byAnnouncedAddress_;
    std::unordered_map<std::string, std::vector<RtpStream*>> byCallId_;
    std::shared_ptr<const TransactionKey> lastTransaction_;
    // The sequence space of each RTP session by destination key and SSRC.
    struct SessionKey {
        uint64_t destination;
        uint32_t ssrc;
        bool operator==(const SessionKey& other) const {
            return destination == other.destination && ssrc == other.ssrc;
        }
    };
    struct SessionKeyHash {
        size_t operator()(const SessionKey& key) const {
            return std::hash<uint64_t>()(key.destination * 0x9E3779B97F4A7C15ull ^ key.ssrc);
        }
    };
    std::unordered_map<SessionKey, std::shared_ptr<SequenceSpace>, SessionKeyHash> sessions_;
};

}  // namespace varlowe
