#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/capture/capture_records.h"
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
