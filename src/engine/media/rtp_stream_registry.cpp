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
           x.toTag == y.toTag && x.fromUri == y.fromUri && x.fromTag == y.fromTag;
}

constexpr uint64_t kNoKey = ~uint64_t{0};

uint64_t mix(uint64_t value) {
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdull;
    value ^= value >> 33;
    return value;
}

// Never the key the flat maps reserve.
uint64_t usable(uint64_t key) {
    return key == kNoKey ? key - 1 : key;
}

uint64_t callKey(const std::string& callId) {
    return usable(mix(std::hash<std::string>()(callId)));
}

// A duplicate has an equal transaction, so the same Call-ID: keyed with it, the list a new
// stream is compared with holds only streams of its own call on that address, not every
// stream ever announced there (video on port 0 from one host, say, in a long capture).
uint64_t announcedKey(const std::string& address, int32_t port, const std::string& callId) {
    const uint64_t h =
        std::hash<std::string>()(address) * 0x9E3779B97F4A7C15ull + static_cast<uint32_t>(port);
    return usable(mix(h) ^ std::hash<std::string>()(callId));
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
        const std::vector<PayloadTypeEntry> types = media.description.presentPayloadTypes();
        if (types.empty()) {
            continue;
        }
        Announcement announcement;
        announcement.transaction = transaction;
        announcement.targetAddress = media.address.value_or("ERROR");
        announcement.targetPort = static_cast<int32_t>(leadingNumber(media.description.port));
        announcement.rtcpPort = announcement.targetPort + 1;
        announcement.mediaName = media.name;
        // The binding depends only on address and port, so it is looked up once per media.
        if (natLookup) {
            if (std::optional<NatBinding> rtp =
                    natLookup(announcement.targetAddress, announcement.targetPort)) {
                announcement.alternateAddress = rtp->address;
                announcement.alternatePort = rtp->port;
            }
            if (std::optional<NatBinding> rtcp =
                    natLookup(announcement.targetAddress, announcement.targetPort + 1)) {
                announcement.alternateRtcpPort = rtcp->port;
            }
        }
        // The streams this SDP would register again (a retransmission) are those of the
        // equal announcements; the new ones join one announcement of their own.
        std::vector<uint32_t> equals =
            equalAnnouncements(announcement.targetAddress, announcement.targetPort,
                               announcement.mediaName, *transaction);
        std::optional<uint32_t> added;
        for (const PayloadTypeEntry& entry : types) {
            debugTrace(
                "** addRtpSource: TargetIP=%s, TargetPort=%d, format=%d/%s, "
                "sampleRate=%d, ssrc=%d\n",
                announcement.targetAddress.c_str(), announcement.targetPort, entry.type,
                entry.slot.encodingName.c_str(), entry.slot.clockRate, 0);
            if (findDuplicate(equals, 0, entry.type, entry.slot.encodingName)) {
                continue;
            }
            if (!added) {
                added = addAnnouncement(announcement);
                equals.push_back(*added);
            }
            addRegistration(*added, entry.type, entry.slot.encodingName, entry.slot.clockRate, 0);
        }
    }
}

RtpStream* RtpStreamRegistry::addRtpSource(
    const TransactionKey& transaction, const std::string& targetAddress, int32_t targetPort,
    const std::string& alternateAddress, int32_t alternatePort, int32_t payloadType,
    const std::string& encodingName, const std::string& mediaName, int32_t clockRate,
    int32_t rtcpPort, int32_t alternateRtcpPort, uint32_t ssrc) {
    debugTrace(
        "** addRtpSource: TargetIP=%s, TargetPort=%d, format=%d/%s, sampleRate=%d, ssrc=%d\n",
        targetAddress.c_str(), targetPort, payloadType, encodingName.c_str(), clockRate,
        static_cast<int>(ssrc));
    const std::string media = mediaName.substr(0, 63);
    const std::vector<uint32_t> equals =
        equalAnnouncements(targetAddress, targetPort, mediaName, transaction);
    if (std::optional<uint32_t> existing = findDuplicate(equals, ssrc, payloadType, encodingName)) {
        return materialise(*existing);
    }
    // The streams of one registration share one copy of the key.
    if (!lastTransaction_ || !sameKey(*lastTransaction_, transaction)) {
        lastTransaction_ = std::make_shared<const TransactionKey>(transaction);
    }
    Announcement announcement;
    announcement.transaction = lastTransaction_;
    announcement.targetAddress = targetAddress;
    announcement.targetPort = targetPort;
    announcement.alternateAddress = alternateAddress;
    announcement.alternatePort = alternatePort;
    announcement.rtcpPort = rtcpPort;
    announcement.alternateRtcpPort = alternateRtcpPort;
    announcement.mediaName = media;
    const uint32_t added = addAnnouncement(std::move(announcement));
    return materialise(addRegistration(added, payloadType, encodingName, clockRate, ssrc));
}

std::vector<uint32_t> RtpStreamRegistry::equalAnnouncements(
    const std::string& targetAddress, int32_t targetPort, const std::string& mediaName,
    const TransactionKey& transaction) const {
    std::vector<uint32_t> out;
    forEachIn(
        byAnnouncedAddress_, announcedKey(targetAddress, targetPort, transaction.dialog.callId),
        [&](uint32_t index) {
            const Announcement& a = announcements_[index];
            bool sameAddress = (a.targetAddress == targetAddress && a.targetPort == targetPort) ||
                               (a.hasAlternate() && a.alternateAddress == targetAddress &&
                                a.alternatePort == targetPort);
            if (sameAddress && a.mediaName == mediaName &&
                a.transaction->transactionMatches(transaction)) {
                out.push_back(index);
            }
            return true;
        });
    return out;
}

std::optional<uint32_t> RtpStreamRegistry::findDuplicate(const std::vector<uint32_t>& equals,
                                                         uint32_t ssrc, int32_t payloadType,
                                                         const std::string& encodingName) const {
    auto encoding = encodingIds_.find(encodingName);
    if (encoding == encodingIds_.end()) {
        return std::nullopt;  // no stream has that encoding yet
    }
    for (uint32_t index : equals) {
        const Announcement& a = announcements_[index];
        for (uint32_t r = a.firstRegistration; r < a.firstRegistration + a.registrationCount; ++r) {
            const Registration& registration = registrations_[r];
            if (registration.payloadType == payloadType &&
                registration.encoding == encoding->second && ssrcOf(registration) == ssrc) {
                return r;
            }
        }
    }
    return std::nullopt;
}

uint32_t RtpStreamRegistry::addAnnouncement(Announcement announcement) {
    RtpStream::DestinationKeys& keys = announcement.keys;
    keys.rtp = destinationKey(announcement.targetAddress, announcement.targetPort).value_or(kNoKey);
    keys.rtcp = destinationKey(announcement.targetAddress, announcement.rtcpPort).value_or(kNoKey);
    if (announcement.hasAlternate()) {
        keys.alternateRtp =
            destinationKey(announcement.alternateAddress, announcement.alternatePort)
                .value_or(kNoKey);
        keys.alternateRtcp =
            destinationKey(announcement.alternateAddress, announcement.alternateRtcpPort)
                .value_or(kNoKey);
    }
    announcement.firstRegistration = static_cast<uint32_t>(registrations_.size());
    const uint32_t index = static_cast<uint32_t>(announcements_.size());
    announcements_.push_back(std::move(announcement));
    const Announcement& a = announcements_.back();
    for (uint64_t key : {a.keys.rtp, a.keys.alternateRtp}) {
        if (key != kNoKey) {
            append(rtpByDestination_, key, index);
        }
    }
    for (uint64_t key : {a.keys.rtcp, a.keys.alternateRtcp}) {
        if (key != kNoKey) {
            append(rtcpByDestination_, key, index);
        }
    }
    const std::string& callId = a.transaction->dialog.callId;
    append(byAnnouncedAddress_, announcedKey(a.targetAddress, a.targetPort, callId), index);
    if (a.hasAlternate()) {
        append(byAnnouncedAddress_, announcedKey(a.alternateAddress, a.alternatePort, callId),
               index);
    }
    append(byCallId_, callKey(callId), index);
    return index;
}

uint32_t RtpStreamRegistry::addRegistration(uint32_t announcement, int32_t payloadType,
                                            const std::string& encodingName, int32_t clockRate,
                                            uint32_t ssrc) {
    Announcement& a = announcements_[announcement];
    Registration r;
    r.announcement = announcement;
    r.payloadType = payloadType;
    r.ssrc = ssrc;
    r.clockRate = clockRate;
    auto [encoding, added] =
        encodingIds_.emplace(encodingName, static_cast<uint32_t>(encodingNames_.size()));
    if (added) {
        encodingNames_.push_back(encodingName);
    }
    r.encoding = encoding->second;
    if (payloadType >= 0 && payloadType < 128) {
        a.payloadTypes[static_cast<size_t>(payloadType) / 64] |= uint64_t{1} << (payloadType % 64);
    }
    ++a.registrationCount;
    registrations_.push_back(r);
    return static_cast<uint32_t>(registrations_.size() - 1);
}

RtpStream* RtpStreamRegistry::materialise(size_t index) const {
    Registration& r = registrations_[index];
    if (r.stream != nullptr) {
        return r.stream;
    }
    const Announcement& a = announcements_[r.announcement];
    RtpStream* stream = newStream();
    stream->transactionKey = a.transaction;
    stream->ssrc = r.ssrc;
    stream->active = r.active;
    stream->targetAddress = a.targetAddress;
    stream->targetPort = a.targetPort;
    stream->alternateAddress = a.alternateAddress;
    stream->alternatePort = a.alternatePort;
    stream->payloadType = r.payloadType;
    stream->encodingName = encodingNames_[r.encoding];
    stream->clockRate = r.clockRate;
    stream->mediaName = a.mediaName;
    stream->rtcpPort = a.rtcpPort;
    stream->alternateRtcpPort = a.alternateRtcpPort;
    stream->keys = a.keys;
    r.stream = stream;
    return stream;
}

RtpStream* RtpStreamRegistry::newStream() const {
    if (chunkUsed_ == kChunkSize) {
        chunks_.push_back(std::make_unique<RtpStream[]>(kChunkSize));
        chunkUsed_ = 0;
    }
    return &chunks_.back()[chunkUsed_++];
}

void RtpStreamRegistry::append(FlatKeyMap<AnnouncementList>& lists, uint64_t key,
                               uint32_t announcement) {
    AnnouncementList& list = lists[key];
    if (list.tail != kEndOfList && links_[list.tail].announcement == announcement) {
        return;  // target and alternate on one key
    }
    const uint32_t link = static_cast<uint32_t>(links_.size());
    links_.push_back(Link{announcement, kEndOfList});
    if (list.tail == kEndOfList) {
        list.head = link;
    } else {
        links_[list.tail].next = link;
    }
    list.tail = link;
}

template <typename Visit>
void RtpStreamRegistry::forEachIn(const FlatKeyMap<AnnouncementList>& lists, uint64_t key,
                                  Visit visit) const {
    const AnnouncementList* list = lists.find(key);
    for (uint32_t link = list != nullptr ? list->head : kEndOfList; link != kEndOfList;
         link = links_[link].next) {
        if (!visit(links_[link].announcement)) {
            return;
        }
    }
}

void RtpStreamRegistry::rebuildIndexes() {
    rtpByDestination_ = FlatKeyMap<AnnouncementList>();
    rtcpByDestination_ = FlatKeyMap<AnnouncementList>();
    byAnnouncedAddress_ = FlatKeyMap<AnnouncementList>();
    byCallId_ = FlatKeyMap<AnnouncementList>();
    std::vector<Link>().swap(links_);
    std::vector<Announcement>().swap(announcements_);
    std::vector<Registration> streams;
    streams.swap(registrations_);
    // One announcement per stream, from what the stream holds now.
    for (Registration& r : streams) {
        const RtpStream& stream = *r.stream;
        Announcement a;
        a.transaction = stream.transactionKey;
        a.targetAddress = stream.targetAddress;
        a.targetPort = stream.targetPort;
        a.alternateAddress = stream.alternateAddress;
        a.alternatePort = stream.alternatePort;
        a.rtcpPort = stream.rtcpPort;
        a.alternateRtcpPort = stream.alternateRtcpPort;
        a.mediaName = stream.mediaName;
        const uint32_t index = addAnnouncement(std::move(a));
        addRegistration(index, stream.payloadType, stream.encodingName, stream.clockRate,
                        stream.ssrc);
        registrations_.back().stream = r.stream;
        r.stream->keys = announcements_[index].keys;
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

StreamMatch RtpStreamRegistry::matchRegistration(const MediaPacket& packet, uint64_t destination,
                                                 const Registration& r, bool includeRtcp) const {
    if (r.stream != nullptr) {
        return matchStream(packet, *r.stream, includeRtcp);
    }
    const RtpStream::DestinationKeys& keys = announcements_[r.announcement].keys;
    if (destination == keys.rtcp || destination == keys.alternateRtcp) {
        if (includeRtcp && mentionsSsrc(packet.payload, packet.length, r.ssrc)) {
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
    bool sameSource = r.ssrc == 0 || r.ssrc == header->ssrc;
    bool sameType = header->payloadType == r.payloadType;
    return sameSource && sameType ? StreamMatch::Rtp : StreamMatch::None;
}

std::optional<uint32_t> RtpStreamRegistry::findStream(const MediaPacket& packet, bool includeRtcp,
                                                      StreamMatch& how) const {
    how = StreamMatch::None;
    if (packet.payload == nullptr || packet.length < 2) {
        return std::nullopt;
    }
    // Only the announcements on the destination can match; merged in order, which decides
    // between several matches: the first active stream, else the last inactive one.
    const uint64_t destination = destinationKey(packet);
    const uint32_t type = static_cast<uint32_t>(rtpPayloadType(packet.payload));
    const AnnouncementList* rtpFound = rtpByDestination_.find(destination);
    const AnnouncementList* rtcpFound = rtcpByDestination_.find(destination);
    uint32_t i = rtpFound != nullptr ? rtpFound->head : kEndOfList;
    uint32_t j = rtcpFound != nullptr ? rtcpFound->head : kEndOfList;
    std::optional<uint32_t> lastInactive;
    StreamMatch lastInactiveMatch = StreamMatch::None;
    uint32_t previous = kEndOfList;
    while (i != kEndOfList || j != kEndOfList) {
        uint32_t index;
        if (j == kEndOfList ||
            (i != kEndOfList && links_[i].announcement <= links_[j].announcement)) {
            index = links_[i].announcement;
            i = links_[i].next;
        } else {
            index = links_[j].announcement;
            j = links_[j].next;
        }
        if (index == previous) {
            continue;  // listed in both roles
        }
        previous = index;
        const Announcement& a = announcements_[index];
        const bool rtcpHere = destination == a.keys.rtcp || destination == a.keys.alternateRtcp;
        if (!rtcpHere && !a.hasPayloadType(type)) {
            continue;  // RTP of a type it never announced
        }
        for (uint32_t r = a.firstRegistration; r < a.firstRegistration + a.registrationCount; ++r) {
            const Registration& registration = registrations_[r];
            StreamMatch match = matchRegistration(packet, destination, registration, includeRtcp);
            if (match == StreamMatch::None) {
                continue;
            }
            if (isActive(registration)) {
                how = match;
                return r;
            }
            lastInactive = r;
            lastInactiveMatch = match;
        }
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
    std::optional<uint32_t> found = findStream(packet, includeRtcp, how);
    if (!found) {
        return nullptr;
    }
    RtpStream* stream = materialise(*found);
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
    forEachIn(byCallId_, callKey(dialog.callId), [&](uint32_t index) {
        const Announcement& a = announcements_[index];
        if (!a.transaction->dialog.sessionMatches(dialog)) {
            return true;
        }
        for (uint32_t r = a.firstRegistration; r < a.firstRegistration + a.registrationCount; ++r) {
            if (isActive(registrations_[r])) {
                deactivate(registrations_[r]);
                return false;
            }
        }
        return true;
    });
}

void RtpStreamRegistry::deactivateTransactionStream(const TransactionKey& transaction) {
    forEachIn(byCallId_, callKey(transaction.dialog.callId), [&](uint32_t index) {
        const Announcement& a = announcements_[index];
        if (!a.transaction->transactionMatches(transaction)) {
            return true;
        }
        for (uint32_t r = a.firstRegistration; r < a.firstRegistration + a.registrationCount; ++r) {
            if (isActive(registrations_[r])) {
                deactivate(registrations_[r]);
                return false;
            }
        }
        return true;
    });
}

std::vector<const RtpStream*> RtpStreamRegistry::streamsOfTransaction(
    const TransactionKey& transaction, const SdpDescription* sdp, size_t maxCount) const {
    std::vector<const RtpStream*> out;
    forEachIn(byCallId_, callKey(transaction.dialog.callId), [&](uint32_t index) {
        const Announcement& a = announcements_[index];
        if (!a.transaction->transactionMatches(transaction)) {
            return true;
        }
        if (sdp != nullptr && !sdp->isMediaAddress(a.targetAddress) &&
            !sdp->isMediaAddress(a.alternateAddress)) {
            return true;
        }
        for (uint32_t r = a.firstRegistration; r < a.firstRegistration + a.registrationCount; ++r) {
            if (out.size() >= maxCount) {
                return false;
            }
            out.push_back(materialise(r));
        }
        return out.size() < maxCount;
    });
    return out;
}

RtpStreamRegistry::StreamMoves RtpStreamRegistry::finishAnalysis() {
    // Numbers still missing count against the stream that skipped them; only streams that
    // counted packets skip numbers, so every owner is kept.
    for (const Registration& r : registrations_) {
        SequenceSpace* space = r.stream != nullptr ? r.stream->sequence.get() : nullptr;
        if (space != nullptr) {
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
    std::vector<Registration> kept;
    StreamMoves moves;
    for (const Registration& r : registrations_) {
        if (r.stream == nullptr || r.stream->packets == 0) {
            continue;
        }
        RtpStream* moved = newStream();
        *moved = std::move(*r.stream);
        moves.emplace(r.stream, moved);
        Registration stays = r;
        stays.stream = moved;
        kept.push_back(stays);
    }
    registrations_ = std::move(kept);
    encodingNames_.clear();
    encodingIds_.clear();
    sessions_ = {};
    lastTransaction_.reset();
    rebuildIndexes();
    oldChunks.clear();
    return moves;
}

std::optional<std::string> RtpStreamRegistry::canonicalName(uint32_t ssrc) const {
    for (const Registration& r : registrations_) {
        if (r.stream == nullptr) {
            continue;
        }
        if (std::optional<std::string> name = canonicalNameIn(r.stream->reports, ssrc)) {
            return name;
        }
    }
    return std::nullopt;
}

}  // namespace varlowe
