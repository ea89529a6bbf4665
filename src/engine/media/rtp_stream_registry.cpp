#include "rtp_stream_registry.h"

#include <algorithm>
#include <cstdio>

#include "engine/capture/byte_order.h"
#include "engine/capture/capture_file_reader.h"
#include "engine/capture/frame_info.h"
#include "engine/diagnostics.h"
#include "engine/text_search.h"
#include "rtp_header.h"
#include "rtp_statistics.h"
#include "sdp_description.h"

namespace varlowe {

namespace {

bool sameKey(const TransactionKey& a, const TransactionKey& b) {
    const DialogKey& x = a.dialog;
    const DialogKey& y = b.dialog;
    return a.cseq == b.cseq && a.branch == b.branch && x.callId == y.callId && x.toUri == y.toUri &&
           x.toTag == y.toTag && x.fromUri == y.fromUri && x.fromTag == y.fromTag &&
           x.toUriWithTag == y.toUriWithTag && x.fromUriWithTag == y.fromUriWithTag;
}

// A duplicate has an equal transaction, so the same Call-ID: keyed with it, the list a new
// stream is compared with holds only streams of its own call on that address, not every
// stream ever announced there (video on port 0 from one host, say, in a long capture).
std::string announcedKey(const std::string& address, int32_t port, const std::string& callId) {
    std::string key = address;
    key += ' ';
    key += std::to_string(port);
    key += ' ';
    key += callId;
    return key;
}

void appendOnce(std::vector<RtpStream*>& list, RtpStream* stream) {
    if (list.empty() || list.back() != stream) {
        list.push_back(stream);
    }
}

constexpr uint64_t kNoKey = ~uint64_t{0};

// A destination key (48 bits) with a payload type (7 bits).
uint64_t rtpCandidateKey(uint64_t destination, uint64_t payloadType) {
    return (destination << 7) | payloadType;
}

}  // namespace

// The whole path is kept: a path cut to a fixed length would point elsewhere, and graphs
// and extraction would fail for captures in deep folders.
RtpStreamRegistry::RtpStreamRegistry(std::string capturePath) : path_(std::move(capturePath)) {}

void RtpStreamRegistry::registerFromSdp(const SdpDescription& sdp,
                                        const std::shared_ptr<const TransactionKey>& transaction,
                                        const NatLookup& natLookup) {
    struct Media {
        std::optional<std::string> address;
        const SdpMedia& description;
        const char* name;
    };
    for (const Media& media : {Media{sdp.audioAddress(), sdp.audio(), "audio"},
                               Media{sdp.videoAddress(), sdp.video(), "video"}}) {
        const std::string address = media.address.value_or("ERROR");
        const int32_t port = static_cast<int32_t>(leadingNumber(media.description.port));
        // The binding depends only on address and port, so it is looked up once per media.
        std::optional<NatBinding> rtp;
        std::optional<NatBinding> rtcp;
        const std::vector<PayloadTypeEntry> types = media.description.presentPayloadTypes();
        if (!types.empty() && natLookup) {
            rtp = natLookup(address, port);
            rtcp = natLookup(address, port + 1);
        }
        for (const PayloadTypeEntry& entry : types) {
            addRtpSource(transaction, address, port, rtp ? rtp->address : std::string(),
                         rtp ? rtp->port : 0, entry.type, entry.slot.encodingName, media.name,
                         entry.slot.clockRate, port + 1, rtcp ? rtcp->port : 0, 0);
        }
    }
}

RtpStream* RtpStreamRegistry::addRtpSource(
    const TransactionKey& transaction, const std::string& targetAddress, int32_t targetPort,
    const std::string& alternateAddress, int32_t alternatePort, int32_t payloadType,
    const std::string& encodingName, const std::string& mediaName, int32_t clockRate,
    int32_t rtcpPort, int32_t alternateRtcpPort, uint32_t ssrc) {
    // The streams of one registration share one copy of the key.
    if (!lastTransaction_ || !sameKey(*lastTransaction_, transaction)) {
        lastTransaction_ = std::make_shared<const TransactionKey>(transaction);
    }
    return addRtpSource(lastTransaction_, targetAddress, targetPort, alternateAddress,
                        alternatePort, payloadType, encodingName, mediaName, clockRate, rtcpPort,
                        alternateRtcpPort, ssrc);
}

RtpStream* RtpStreamRegistry::addRtpSource(
    const std::shared_ptr<const TransactionKey>& shared, const std::string& targetAddress,
    int32_t targetPort, const std::string& alternateAddress, int32_t alternatePort,
    int32_t payloadType, const std::string& encodingName, const std::string& mediaName,
    int32_t clockRate, int32_t rtcpPort, int32_t alternateRtcpPort, uint32_t ssrc) {
    const TransactionKey& transaction = *shared;
    debugTrace(
        "** addRtpSource: TargetIP=%s, TargetPort=%d, format=%d/%s, sampleRate=%d, ssrc=%d\n",
        targetAddress.c_str(), targetPort, payloadType, encodingName.c_str(), clockRate,
        static_cast<int>(ssrc));
    auto existing = byAnnouncedAddress_.find(
        announcedKey(targetAddress, targetPort, transaction.dialog.callId));
    if (existing != byAnnouncedAddress_.end()) {
        for (RtpStream* stream : existing->second) {
            bool sameAddress =
                (stream->targetAddress == targetAddress && stream->targetPort == targetPort) ||
                (stream->hasAlternate() && stream->alternateAddress == targetAddress &&
                 stream->alternatePort == targetPort);
            if (sameAddress && stream->ssrc == ssrc && stream->payloadType == payloadType &&
                stream->encodingName == encodingName && stream->mediaName == mediaName &&
                stream->transaction().transactionMatches(transaction)) {
                return stream;
            }
        }
    }
    RtpStream* stream = newStream();
    stream->transactionKey = shared;
    stream->ssrc = ssrc;
    stream->targetAddress = targetAddress;
    stream->targetPort = targetPort;
    stream->alternateAddress = alternateAddress;
    stream->alternatePort = alternatePort;
    stream->payloadType = payloadType;
    stream->encodingName = encodingName;
    stream->clockRate = clockRate;
    stream->mediaName = mediaName.substr(0, 63);
    stream->rtcpPort = rtcpPort;
    stream->alternateRtcpPort = alternateRtcpPort;
    streams_.push_back(stream);
    indexStream(stream, streams_.size() - 1);
    return stream;
}

RtpStream* RtpStreamRegistry::newStream() {
    if (chunkUsed_ == kChunkSize) {
        chunks_.push_back(std::make_unique<RtpStream[]>(kChunkSize));
        chunkUsed_ = 0;
    }
    return &chunks_.back()[chunkUsed_++];
}

void RtpStreamRegistry::appendCandidate(CandidateList& list, RtpStream* stream, size_t order) {
    if (list.tail != kEndOfList && links_[list.tail].stream == stream) {
        return;  // target and alternate on one key
    }
    const uint32_t link = static_cast<uint32_t>(links_.size());
    links_.push_back(CandidateLink{stream, order, kEndOfList});
    if (list.tail == kEndOfList) {
        list.head = link;
    } else {
        links_[list.tail].next = link;
    }
    list.tail = link;
}

void RtpStreamRegistry::indexStream(RtpStream* stream, size_t order) {
    stream->keys.update(*stream);
    const RtpStream::DestinationKeys& keys = stream->keys;
    for (uint64_t key : {keys.rtp, keys.alternateRtp}) {
        if (key != kNoKey && stream->payloadType >= 0 && stream->payloadType < 128) {
            appendCandidate(
                rtpByDestination_[rtpCandidateKey(key, static_cast<uint64_t>(stream->payloadType))],
                stream, order);
        }
    }
    for (uint64_t key : {keys.rtcp, keys.alternateRtcp}) {
        if (key != kNoKey) {
            appendCandidate(rtcpByDestination_[key], stream, order);
        }
    }
    const std::string& callId = stream->transaction().dialog.callId;
    appendOnce(byAnnouncedAddress_[announcedKey(stream->targetAddress, stream->targetPort, callId)],
               stream);
    if (stream->hasAlternate()) {
        appendOnce(byAnnouncedAddress_[announcedKey(stream->alternateAddress, stream->alternatePort,
                                                    callId)],
                   stream);
    }
    appendOnce(byCallId_[stream->transaction().dialog.callId], stream);
}

void RtpStreamRegistry::rebuildIndexes() {
    rtpByDestination_ = FlatKeyMap<CandidateList>();
    rtcpByDestination_ = FlatKeyMap<CandidateList>();
    std::vector<CandidateLink>().swap(links_);
    byAnnouncedAddress_ = {};
    byCallId_ = {};
    for (size_t i = 0; i < streams_.size(); ++i) {
        indexStream(streams_[i], i);
    }
}

StreamMatch RtpStreamRegistry::matchStream(const MediaPacket& packet, const RtpStream& stream,
                                           bool includeRtcp) {
    const uint64_t destination = destinationKey(packet);
    const RtpStream::DestinationKeys& keys = stream.keys;
    if (destination == keys.rtcp || destination == keys.alternateRtcp) {
        if (includeRtcp && mentionsSsrc(packet.payload, packet.length, stream.ssrc)) {
            return StreamMatch::Rtcp;
        }
        return StreamMatch::None;
    }
    if (destination != keys.rtp && destination != keys.alternateRtp) {
        return StreamMatch::None;
    }
    const std::optional<RtpHeader> header = RtpHeader::parse(packet.payload, packet.length);
    if (!header) {
        return StreamMatch::None;
    }
    bool sameSource = stream.ssrc == 0 || stream.ssrc == header->ssrc;
    bool sameType = header->payloadType == stream.payloadType;
    return sameSource && sameType ? StreamMatch::Rtp : StreamMatch::None;
}

RtpStream* RtpStreamRegistry::findStream(const MediaPacket& packet, bool includeRtcp,
                                         StreamMatch& how) const {
    how = StreamMatch::None;
    if (packet.payload == nullptr || packet.length < 2) {
        return nullptr;
    }
    // Only these streams can match; merged in registration order, which decides between
    // several matches: the first active one, else the last inactive one.
    const uint64_t destination = destinationKey(packet);
    const uint64_t type = rtpPayloadType(packet.payload);
    const CandidateList* rtpFound = rtpByDestination_.find(rtpCandidateKey(destination, type));
    const CandidateList* rtcpFound = rtcpByDestination_.find(destination);
    uint32_t i = rtpFound != nullptr ? rtpFound->head : kEndOfList;
    uint32_t j = rtcpFound != nullptr ? rtcpFound->head : kEndOfList;
    RtpStream* lastInactive = nullptr;
    StreamMatch lastInactiveMatch = StreamMatch::None;
    const RtpStream* previous = nullptr;
    while (i != kEndOfList || j != kEndOfList) {
        RtpStream* stream;
        if (j == kEndOfList || (i != kEndOfList && links_[i].order <= links_[j].order)) {
            stream = links_[i].stream;
            i = links_[i].next;
        } else {
            stream = links_[j].stream;
            j = links_[j].next;
        }
        if (stream == previous) {
            continue;  // listed in both roles
        }
        previous = stream;
        StreamMatch match = matchStream(packet, *stream, includeRtcp);
        if (match == StreamMatch::None) {
            continue;
        }
        if (stream->active) {
            how = match;
            return stream;
        }
        lastInactive = stream;
        lastInactiveMatch = match;
    }
    how = lastInactiveMatch;
    return lastInactive;
}

RtpStream* RtpStreamRegistry::handleMediaPacket(const MediaPacket& packet, uint64_t fileOffset,
                                                bool includeRtcp) {
    if (!mayBeRtp(packet.payload, packet.length)) {
        return nullptr;
    }
    StreamMatch how = StreamMatch::None;
    RtpStream* stream = findStream(packet, includeRtcp, how);
    if (stream == nullptr) {
        return nullptr;
    }
    if (how == StreamMatch::Rtp) {
        if (!stream->sequence) {
            // The first packet of the stream: join the RTP session's sequence space, which a
            // stream of another payload type may have opened already.
            const SessionKey key{destinationKey(packet),
                                 RtpHeader::parse(packet.payload, packet.length)->ssrc};
            std::shared_ptr<SequenceSpace>& space = sessions_[key];
            if (space) {
                stream->sequence = space;
            }
            countRtpPacket(*stream, packet, fileOffset);
            if (!space) {
                space = stream->sequence;
            }
            return stream;
        }
        countRtpPacket(*stream, packet, fileOffset);
        return stream;
    }
    decodeRtcp(packet.payload, packet.length, stream->reports);
    return nullptr;
}

void RtpStreamRegistry::deactivateDialogStream(const DialogKey& dialog) {
    auto found = byCallId_.find(dialog.callId);
    if (found == byCallId_.end()) {
        return;
    }
    for (RtpStream* stream : found->second) {
        if (stream->active && stream->transaction().dialog.sessionMatches(dialog)) {
            stream->active = false;
            return;
        }
    }
}

void RtpStreamRegistry::deactivateTransactionStream(const TransactionKey& transaction) {
    auto found = byCallId_.find(transaction.dialog.callId);
    if (found == byCallId_.end()) {
        return;
    }
    for (RtpStream* stream : found->second) {
        if (stream->active && stream->transaction().transactionMatches(transaction)) {
            stream->active = false;
            return;
        }
    }
}

std::vector<const RtpStream*> RtpStreamRegistry::streamsOfTransaction(
    const TransactionKey& transaction, const SdpDescription* sdp, size_t maxCount) const {
    std::vector<const RtpStream*> out;
    auto found = byCallId_.find(transaction.dialog.callId);
    if (found == byCallId_.end()) {
        return out;
    }
    for (const RtpStream* stream : found->second) {
        if (out.size() >= maxCount) {
            break;
        }
        if (!stream->transaction().transactionMatches(transaction)) {
            continue;
        }
        if (sdp == nullptr || sdp->isMediaAddress(stream->targetAddress) ||
            sdp->isMediaAddress(stream->alternateAddress)) {
            out.push_back(stream);
        }
    }
    return out;
}

RtpStreamRegistry::StreamMoves RtpStreamRegistry::finishAnalysis() {
    // Numbers still missing count against the stream that skipped them; only streams that
    // counted packets skip numbers, so every owner is kept.
    for (RtpStream* stream : streams_) {
        if (SequenceSpace* space = stream->sequence.get()) {
            for (size_t i = 0; i < space->missing.size(); ++i) {
                ++space->missing.owner(i)->dropped;
            }
            space->missing.clear();
        }
    }
    // The streams that counted packets move into chunks of their own; the old chunks go
    // whole, with every stream no packet reached.
    std::vector<std::unique_ptr<RtpStream[]>> oldChunks = std::move(chunks_);
    chunks_.clear();
    chunkUsed_ = kChunkSize;
    std::vector<RtpStream*> kept;
    StreamMoves moves;
    for (RtpStream* stream : streams_) {
        if (stream->packets == 0) {
            continue;
        }
        RtpStream* moved = newStream();
        *moved = std::move(*stream);
        moves.emplace(stream, moved);
        kept.push_back(moved);
    }
    streams_ = std::move(kept);
    sessions_ = {};
    lastTransaction_.reset();
    rebuildIndexes();
    oldChunks.clear();
    return moves;
}

std::optional<std::string> RtpStreamRegistry::canonicalName(uint32_t ssrc) const {
    for (const auto& stream : streams_) {
        if (std::optional<std::string> name = canonicalNameIn(stream->reports, ssrc)) {
            return name;
        }
    }
    return std::nullopt;
}

}  // namespace varlowe
