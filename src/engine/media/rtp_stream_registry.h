#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/capture/capture_records.h"
#include "engine/chunked_vector.h"
#include "engine/interned_texts.h"
#include "engine/output_file.h"
#include "engine/sip/transaction_key.h"
#include "flat_key_map.h"
#include "media_packet.h"
#include "rtp_stream.h"

namespace varlowe {

class SdpDescription;

// The local address and port of a client behind a NAT, learned from a STUN binding.
struct NatBinding {
    std::string address;
    int32_t port = 0;
};
// Finds the binding for a public address and port that an SDP announces; none when no
// binding response told a client that address.
using NatLookup =
    std::function<std::optional<NatBinding>(const std::string& address, int32_t port)>;

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
    // Whether the pass read HEP; reading the capture again must read it alike.
    void setDecodeHep(bool decode) { decodeHep_ = decode; }
    // Whether RTP from an announced address and port towards a destination no SDP announced
    // registers the reverse stream (symmetric RTP); on by default.
    void setMeasureFromAnnounced(bool on) { measureFromAnnounced_ = on; }
    // The capture's first packet time, from which the quality figures count (else the first
    // media packet's).
    void setTimeOrigin(PacketTime origin) {
        if (!origin_) {
            origin_ = origin;
        }
    }
    // Streams are registered by the dozen per SDP and most never see a packet: a stream's
    // record is made when a packet (or a caller) first asks for it, else only a compact
    // registration stands for it.
    size_t streamCount() const { return registrationCount_; }
    const RtpStream& stream(size_t index) const { return *materialise(index); }
    RtpStream& stream(size_t index) { return *materialise(index); }

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
    static StreamMatch matchStream(const MediaPacket& packet, const RtpStream& stream,
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

    // Reads the stream's packets again from the capture and hands each to visit (false stops);
    // false when the capture cannot be read again.
    bool visitStreamPackets(const RtpStream& stream,
                            const std::function<bool(const MediaPacket& packet)>& visit) const;

  private:
    // Reads the capture from the stream's first packet to its last and hands each RTP packet
    // of the stream to visit, which returns false to stop. The number of frames read, or
    // none when the capture cannot be reopened or positioned.
    using FrameVisit = std::function<bool(const FrameInfo& frame, const MediaPacket& packet)>;
    std::optional<size_t> walkStreamFrames(const RtpStream& stream, const FrameVisit& visit) const;
    // Remembers the sender reports among reports[first...] and gives each report block that
    // names one it saw its round trip.
    void noteRoundTrips(const MediaPacket& packet, std::vector<RtcpReport>& reports, size_t first);
    // The last two sender reports from each endpoint (a report block names the last SR its
    // sender received, or the one before when a newer one crossed it): the middle of the NTP
    // time and the arrival.
    struct RecentSenderReports {
        std::array<uint32_t, 2> ntpMiddle{};
        std::array<PacketTime, 2> arrival{};
        uint8_t count = 0;
    };
    FlatKeyMap<RecentSenderReports> senderReports_;

    static constexpr uint32_t kNoText = ~uint32_t{0};
    // A stream's payload type, encoding name (in texts_) and clock rate.
    struct PayloadEntry {
        int32_t payloadType = 0;
        uint32_t encoding = 0;
        int32_t clockRate = 0;
        bool named = true;  // false for a preset slot the SDP itself does not name
    };
    // The payload types an announcement registers, shared by every announcement with the
    // same list: most SDP bodies of a capture offer the same codecs.
    struct PayloadList {
        uint32_t first = 0;  // in entries_
        uint32_t count = 0;
        std::array<uint64_t, 2> types{};  // the types 0 to 127 among them
        bool hasPayloadType(uint32_t type) const {
            return type < 128 && ((types[type / 64] >> (type % 64)) & 1) != 0;
        }
    };
    // What one SDP media description (or one caller's stream) announced: everything its
    // streams share. Its streams are numbered from firstRegistration, one per list entry; a
    // stream gets a record (an RtpStream) only when a packet, a deactivation or a caller
    // asks for it, and the record then holds its SSRC and active flag.
    struct Announcement {
        std::shared_ptr<const TransactionKey> transaction;
        uint32_t targetAddress = 0;  // texts in texts_
        uint32_t alternateAddress = kNoText;
        uint32_t mediaName = 0;
        int32_t targetPort = 0;
        int32_t alternatePort = 0;
        int32_t rtcpPort = 0;
        int32_t alternateRtcpPort = 0;
        uint32_t ssrc = 0;
        uint32_t firstRegistration = 0;
        uint32_t payloadList = 0;
        mutable uint32_t recorded = 0;  // how many of its streams have a record
        RtpStream::DestinationKeys keys;
        bool reverse = false;  // registered from the source of a packet, not from an SDP
        bool hasAlternate() const { return alternateAddress != kNoText; }
    };
    const PayloadList& listOf(const Announcement& a) const { return payloadLists_[a.payloadList]; }
    const PayloadEntry& entryOf(const Announcement& a, uint32_t k) const {
        return entries_[listOf(a).first + k];
    }
    RtpStream* recordOf(const Announcement& a, uint32_t registration) const;
    uint32_t ssrcOf(const Announcement& a, uint32_t registration) const;
    bool isActive(const Announcement& a, uint32_t registration) const;
    bool isActive(const RtpStream* record, uint32_t registration) const;
    // Whether a registration without a record was deactivated (BYE, CANCEL, a failure).
    bool inactiveUnrecorded(uint32_t registration) const;
    // Deactivates the k-th stream of the announcement; a record made later starts inactive.
    void deactivate(uint32_t announcement, uint32_t k);
    // Deactivates the first active stream among the call's announcements whose key matches.
    template <typename Matches>
    void deactivateFirstActive(std::string_view callId, Matches matches);
    // The registrations deactivated before they had a record, a bit each.
    std::vector<bool> inactiveUnrecorded_;
    // The record of the k-th stream of the announcement, made now when it has none.
    RtpStream* materialise(uint32_t announcement, uint32_t k) const;
    RtpStream* materialise(size_t registration) const;

    uint32_t internList(const std::vector<PayloadEntry>& list);
    uint32_t addAnnouncement(Announcement announcement, const std::vector<PayloadEntry>& list);
    // The first stream of the announcements equal to this one (same addresses, media and
    // transaction) with that SSRC, type and encoding; what a retransmitted SDP finds again.
    std::optional<uint32_t> findDuplicate(const std::vector<uint32_t>& equals, uint32_t ssrc,
                                          int32_t payloadType, std::string_view encodingName) const;
    std::vector<uint32_t> equalAnnouncements(const std::string& targetAddress, int32_t targetPort,
                                             const std::string& mediaName,
                                             const TransactionKey& transaction) const;
    struct Found {
        uint32_t announcement;
        uint32_t k;
    };
    std::optional<Found> findStream(const MediaPacket& packet, bool includeRtcp,
                                    StreamMatch& how) const;
    StreamMatch matchUnrecorded(const MediaPacket& packet, uint64_t destination,
                                const Announcement& a, const PayloadEntry& entry,
                                bool includeRtcp) const;
    // Registers the stream towards the packet's destination from the latest active
    // announcement of the packet's source that names its payload type; none when there is
    // no such announcement.
    std::optional<Found> registerReverse(const MediaPacket& packet);
    // An SDP now announces the destination: the reverse streams there stop taking packets.
    void retireReverseStreams(uint64_t key);
    void rebuildIndexes(const std::vector<RtpStream*>& streams);
    RtpStream* newStream() const;
    std::vector<std::pair<uint32_t, RtpStream*>> recordsInOrder() const;

    std::string path_;
    CaptureLayout layout_;
    bool decodeHep_ = true;
    bool measureFromAnnounced_ = true;
    uint32_t reverseCount_ = 0;
    std::optional<PacketTime> origin_;
    // Stream records live in chunks of their own, apart from the rest of the analysis, so
    // that dropping those no packet reached leaves no holes between the messages that stay.
    static constexpr size_t kChunkSize = 1024;
    mutable std::vector<std::unique_ptr<RtpStream[]>> chunks_;
    mutable size_t chunkUsed_ = kChunkSize;
    ChunkedVector<Announcement> announcements_;  // in order of their first stream
    uint32_t registrationCount_ = 0;
    // The records made, by stream number, and in the order they were made.
    mutable FlatKeyMap<RtpStream*> records_;
    mutable std::vector<std::pair<uint32_t, RtpStream*>> recordList_;
    std::vector<PayloadEntry> entries_;
    std::vector<PayloadList> payloadLists_;
    std::unordered_map<std::string, uint32_t> payloadListIds_;  // by the bytes of the entries
    InternedTexts texts_;  // addresses, media and encoding names

    // Lists of announcements in order, linked through one array instead of a vector per key:
    // those listening for RTP and those listening for RTCP on a destination key; those on an
    // address and port of a call (hashed, for the duplicate test); those of a call (by the
    // hash of its Call-ID). A hash shared by two texts only lengthens a list: every use
    // compares the texts themselves.
    static constexpr uint32_t kEndOfList = ~uint32_t{0};
    struct AnnouncementList {
        uint32_t head = kEndOfList;
        uint32_t tail = kEndOfList;
    };
    struct Link {
        uint32_t announcement;
        uint32_t next;
    };
    void append(FlatKeyMap<AnnouncementList>& lists, uint64_t key, uint32_t announcement);
    template <typename Visit>
    void forEachIn(const FlatKeyMap<AnnouncementList>& lists, uint64_t key, Visit visit) const;
    ChunkedVector<Link> links_;
    FlatKeyMap<AnnouncementList> rtpByDestination_;
    FlatKeyMap<AnnouncementList> rtcpByDestination_;
    FlatKeyMap<AnnouncementList> byAnnouncedAddress_;
    FlatKeyMap<AnnouncementList> byCallId_;
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
