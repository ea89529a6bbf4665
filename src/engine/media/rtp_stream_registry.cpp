#include "rtp_stream_registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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

uint64_t callKey(std::string_view callId) {
    return usable(mix(std::hash<std::string_view>()(callId)));
}

// A duplicate has an equal transaction, so the same Call-ID: keyed with it, the list a new
// stream is compared with holds only streams of its own call on that address, not every
// stream ever announced there (video on port 0 from one host, say, in a long capture).
uint64_t announcedKey(std::string_view address, int32_t port, std::string_view callId) {
    const uint64_t h = std::hash<std::string_view>()(address) * 0x9E3779B97F4A7C15ull +
                       static_cast<uint32_t>(port);
    return usable(mix(h) ^ std::hash<std::string_view>()(callId));
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
        const std::vector<PayloadTypeView> types = media.description.presentPayloadTypes();
        if (types.empty()) {
            continue;
        }
        const std::string address = media.address.value_or("ERROR");
        const int32_t port = static_cast<int32_t>(leadingNumber(media.description.port));
        Announcement announcement;
        announcement.transaction = transaction;
        announcement.targetPort = port;
        announcement.rtcpPort = port + 1;
        // The binding depends only on address and port, so it is looked up once per media.
        std::string alternate;
        if (natLookup) {
            if (std::optional<NatBinding> rtp = natLookup(address, port)) {
                alternate = rtp->address;
                announcement.alternatePort = rtp->port;
            }
            if (std::optional<NatBinding> rtcp = natLookup(address, port + 1)) {
                announcement.alternateRtcpPort = rtcp->port;
            }
        }
        // The streams this SDP would register again (a retransmission) are those of the
        // equal announcements; the new ones join one announcement of their own.
        const std::vector<uint32_t> equals =
            equalAnnouncements(address, port, media.name, *transaction);
        std::vector<PayloadEntry> fresh;
        for (const PayloadTypeView& entry : types) {
            debugTrace(
                "** addRtpSource: TargetIP=%s, TargetPort=%d, format=%d/%.*s, "
                "sampleRate=%d, ssrc=%d\n",
                address.c_str(), port, entry.type, static_cast<int>(entry.encodingName.size()),
                entry.encodingName.data(), entry.clockRate, 0);
            if (findDuplicate(equals, 0, entry.type, entry.encodingName)) {
                continue;
            }
            const uint32_t encoding = texts_.intern(entry.encodingName);
            const bool repeated =
                std::any_of(fresh.begin(), fresh.end(), [&](const PayloadEntry& e) {
                    return e.payloadType == entry.type && e.encoding == encoding;
                });
            if (!repeated) {
                fresh.push_back(PayloadEntry{entry.type, encoding, entry.clockRate,
                                             media.description.namesPayloadType(entry.type)});
            }
        }
        if (fresh.empty()) {
            continue;
        }
        announcement.targetAddress = texts_.intern(address);
        announcement.alternateAddress = alternate.empty() ? kNoText : texts_.intern(alternate);
        announcement.mediaName = texts_.intern(media.name);
        addAnnouncement(std::move(announcement), fresh);
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
    const std::vector<uint32_t> equals =
        equalAnnouncements(targetAddress, targetPort, mediaName, transaction);
    if (std::optional<uint32_t> existing = findDuplicate(equals, ssrc, payloadType, encodingName)) {
        return materialise(static_cast<size_t>(*existing));
    }
    // The streams of one registration share one copy of the key.
    if (!lastTransaction_ || !(*lastTransaction_ == transaction)) {
        lastTransaction_ = std::make_shared<const TransactionKey>(transaction);
    }
    Announcement announcement;
    announcement.transaction = lastTransaction_;
    announcement.targetAddress = texts_.intern(targetAddress);
    announcement.targetPort = targetPort;
    announcement.alternateAddress =
        alternateAddress.empty() ? kNoText : texts_.intern(alternateAddress);
    announcement.alternatePort = alternatePort;
    announcement.rtcpPort = rtcpPort;
    announcement.alternateRtcpPort = alternateRtcpPort;
    announcement.mediaName = texts_.intern(mediaName.substr(0, 63));
    announcement.ssrc = ssrc;
    const uint32_t added =
        addAnnouncement(std::move(announcement),
                        {PayloadEntry{payloadType, texts_.intern(encodingName), clockRate}});
    return materialise(added, 0);
}

std::vector<uint32_t> RtpStreamRegistry::equalAnnouncements(
    const std::string& targetAddress, int32_t targetPort, const std::string& mediaName,
    const TransactionKey& transaction) const {
    std::vector<uint32_t> out;
    const uint32_t address = texts_.find(targetAddress);
    const uint32_t media = texts_.find(mediaName);
    if (address == InternedTexts::kNone || media == InternedTexts::kNone) {
        return out;  // no stream was ever announced there, or for that media
    }
    forEachIn(byAnnouncedAddress_, announcedKey(targetAddress, targetPort, transaction.callId()),
              [&](uint32_t index) {
                  const Announcement& a = announcements_[index];
                  bool sameAddress = (a.targetAddress == address && a.targetPort == targetPort) ||
                                     (a.hasAlternate() && a.alternateAddress == address &&
                                      a.alternatePort == targetPort);
                  if (sameAddress && a.mediaName == media &&
                      a.transaction->transactionMatches(transaction)) {
                      out.push_back(index);
                  }
                  return true;
              });
    return out;
}

std::optional<uint32_t> RtpStreamRegistry::findDuplicate(const std::vector<uint32_t>& equals,
                                                         uint32_t ssrc, int32_t payloadType,
                                                         std::string_view encodingName) const {
    if (equals.empty()) {
        return std::nullopt;
    }
    const uint32_t encoding = texts_.find(encodingName);
    if (encoding == InternedTexts::kNone) {
        return std::nullopt;  // no stream has that encoding yet
    }
    for (uint32_t index : equals) {
        const Announcement& a = announcements_[index];
        for (uint32_t k = 0; k < listOf(a).count; ++k) {
            const PayloadEntry& entry = entryOf(a, k);
            if (entry.payloadType == payloadType && entry.encoding == encoding &&
                ssrcOf(a, a.firstRegistration + k) == ssrc) {
                return a.firstRegistration + k;
            }
        }
    }
    return std::nullopt;
}

uint32_t RtpStreamRegistry::internList(const std::vector<PayloadEntry>& list) {
    std::string bytes(list.size() * 16, '\0');
    char* at = bytes.data();
    for (const PayloadEntry& entry : list) {
        for (uint32_t value :
             {static_cast<uint32_t>(entry.payloadType), entry.encoding,
              static_cast<uint32_t>(entry.clockRate), static_cast<uint32_t>(entry.named)}) {
            std::memcpy(at, &value, sizeof value);
            at += sizeof value;
        }
    }
    auto [found, added] =
        payloadListIds_.emplace(std::move(bytes), static_cast<uint32_t>(payloadLists_.size()));
    if (added) {
        PayloadList shared;
        shared.first = static_cast<uint32_t>(entries_.size());
        shared.count = static_cast<uint32_t>(list.size());
        for (const PayloadEntry& entry : list) {
            if (entry.payloadType >= 0 && entry.payloadType < 128) {
                shared.types[static_cast<size_t>(entry.payloadType) / 64] |=
                    uint64_t{1} << (entry.payloadType % 64);
            }
            entries_.push_back(entry);
        }
        payloadLists_.push_back(shared);
    }
    return found->second;
}

uint32_t RtpStreamRegistry::addAnnouncement(Announcement announcement,
                                            const std::vector<PayloadEntry>& list) {
    RtpStream::DestinationKeys& keys = announcement.keys;
    const std::string target(texts_.text(announcement.targetAddress));
    keys.rtp = destinationKey(target, announcement.targetPort).value_or(kNoKey);
    keys.rtcp = destinationKey(target, announcement.rtcpPort).value_or(kNoKey);
    std::string alternate;
    if (announcement.hasAlternate()) {
        alternate = std::string(texts_.text(announcement.alternateAddress));
        keys.alternateRtp = destinationKey(alternate, announcement.alternatePort).value_or(kNoKey);
        keys.alternateRtcp =
            destinationKey(alternate, announcement.alternateRtcpPort).value_or(kNoKey);
    }
    announcement.payloadList = internList(list);
    announcement.firstRegistration = registrationCount_;
    registrationCount_ += static_cast<uint32_t>(list.size());
    const uint32_t index = static_cast<uint32_t>(announcements_.size());
    if (reverseCount_ > 0 && !announcement.reverse) {
        retireReverseStreams(keys.rtp);
        retireReverseStreams(keys.alternateRtp);
    }
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
    const std::string_view callId = a.transaction->callId();
    append(byAnnouncedAddress_, announcedKey(target, a.targetPort, callId), index);
    if (a.hasAlternate()) {
        append(byAnnouncedAddress_, announcedKey(alternate, a.alternatePort, callId), index);
    }
    append(byCallId_, callKey(callId), index);
    return index;
}

void RtpStreamRegistry::retireReverseStreams(uint64_t key) {
    if (key == kNoKey) {
        return;
    }
    forEachIn(rtpByDestination_, key, [&](uint32_t index) {
        const Announcement& a = announcements_[index];
        if (a.reverse) {
            for (uint32_t k = 0; k < listOf(a).count; ++k) {
                deactivate(index, k);
            }
        }
        return true;
    });
}

RtpStream* RtpStreamRegistry::recordOf(const Announcement& a, uint32_t registration) const {
    if (a.recorded == 0) {
        return nullptr;
    }
    RtpStream* const* found = records_.find(registration);
    return found != nullptr ? *found : nullptr;
}

uint32_t RtpStreamRegistry::ssrcOf(const Announcement& a, uint32_t registration) const {
    const RtpStream* record = recordOf(a, registration);
    return record != nullptr ? record->ssrc : a.ssrc;
}

bool RtpStreamRegistry::isActive(const Announcement& a, uint32_t registration) const {
    return isActive(recordOf(a, registration), registration);
}

bool RtpStreamRegistry::isActive(const RtpStream* record, uint32_t registration) const {
    return record != nullptr ? record->active : !inactiveUnrecorded(registration);
}

bool RtpStreamRegistry::inactiveUnrecorded(uint32_t registration) const {
    return registration < inactiveUnrecorded_.size() && inactiveUnrecorded_[registration];
}

void RtpStreamRegistry::deactivate(uint32_t announcement, uint32_t k) {
    const Announcement& a = announcements_[announcement];
    const uint32_t registration = a.firstRegistration + k;
    if (RtpStream* record = recordOf(a, registration)) {
        record->active = false;
        return;
    }
    // A bit, not a record: most calls end without their streams having met a packet.
    if (registration >= inactiveUnrecorded_.size()) {
        inactiveUnrecorded_.resize(registration + 1);
    }
    inactiveUnrecorded_[registration] = true;
}

RtpStream* RtpStreamRegistry::materialise(size_t registration) const {
    // The announcement whose numbers include it: the last one starting at or before it.
    size_t low = 0;
    size_t high = announcements_.size();  // the first one starting after it lies in [low, high]
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (registration < announcements_[middle].firstRegistration) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    const auto index = static_cast<uint32_t>(low - 1);
    return materialise(
        index, static_cast<uint32_t>(registration - announcements_[index].firstRegistration));
}

RtpStream* RtpStreamRegistry::materialise(uint32_t announcement, uint32_t k) const {
    const Announcement& a = announcements_[announcement];
    const uint32_t registration = a.firstRegistration + k;
    if (RtpStream* record = recordOf(a, registration)) {
        return record;
    }
    const PayloadEntry& entry = entryOf(a, k);
    RtpStream* stream = newStream();
    stream->transactionKey = a.transaction;
    stream->ssrc = a.ssrc;
    stream->active = !inactiveUnrecorded(registration);
    stream->targetAddress = texts_.text(a.targetAddress);
    stream->targetPort = a.targetPort;
    if (a.hasAlternate()) {
        stream->alternateAddress = texts_.text(a.alternateAddress);
    }
    stream->alternatePort = a.alternatePort;
    stream->payloadType = entry.payloadType;
    stream->encodingName = texts_.text(entry.encoding);
    stream->clockRate = entry.clockRate;
    stream->mediaName = texts_.text(a.mediaName);
    stream->rtcpPort = a.rtcpPort;
    stream->alternateRtcpPort = a.alternateRtcpPort;
    stream->keys = a.keys;
    records_[registration] = stream;
    recordList_.emplace_back(registration, stream);
    ++a.recorded;
    return stream;
}

std::vector<std::pair<uint32_t, RtpStream*>> RtpStreamRegistry::recordsInOrder() const {
    std::vector<std::pair<uint32_t, RtpStream*>> out = recordList_;
    std::sort(out.begin(), out.end());
    return out;
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

void RtpStreamRegistry::rebuildIndexes(const std::vector<RtpStream*>& streams) {
    rtpByDestination_ = FlatKeyMap<AnnouncementList>();
    rtcpByDestination_ = FlatKeyMap<AnnouncementList>();
    byAnnouncedAddress_ = FlatKeyMap<AnnouncementList>();
    byCallId_ = FlatKeyMap<AnnouncementList>();
    records_ = FlatKeyMap<RtpStream*>();
    links_.clear();
    announcements_.clear();
    std::vector<PayloadEntry>().swap(entries_);
    std::vector<PayloadList>().swap(payloadLists_);
    std::vector<std::pair<uint32_t, RtpStream*>>().swap(recordList_);
    payloadListIds_ = {};
    texts_ = InternedTexts();
    registrationCount_ = 0;
    // One announcement per stream, from what the stream holds now.
    for (RtpStream* stream : streams) {
        Announcement a;
        a.transaction = stream->transactionKey;
        a.targetAddress = texts_.intern(stream->targetAddress);
        a.targetPort = stream->targetPort;
        a.alternateAddress =
            stream->hasAlternate() ? texts_.intern(stream->alternateAddress) : kNoText;
        a.alternatePort = stream->alternatePort;
        a.rtcpPort = stream->rtcpPort;
        a.alternateRtcpPort = stream->alternateRtcpPort;
        a.mediaName = texts_.intern(stream->mediaName);
        a.ssrc = stream->ssrc;
        const uint32_t index = addAnnouncement(
            std::move(a), {PayloadEntry{stream->payloadType, texts_.intern(stream->encodingName),
                                        stream->clockRate}});
        const Announcement& added = announcements_[index];
        stream->keys = added.keys;
        records_[added.firstRegistration] = stream;
        recordList_.emplace_back(added.firstRegistration, stream);
        ++added.recorded;
    }
}

namespace {
// The one rule for a stream with a record and for one that is still only announced.
template <typename PayloadType>
StreamMatch matchDestination(const MediaPacket& packet, uint64_t destination,
                             const RtpStream::DestinationKeys& keys, uint32_t ssrc,
                             PayloadType payloadType, bool includeRtcp) {
    if (destination == keys.rtcp || destination == keys.alternateRtcp) {
        if (includeRtcp && mentionsSsrc(packet.payload, packet.length, ssrc)) {
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
    bool sameSource = ssrc == 0 || ssrc == header->ssrc;
    bool sameType = header->payloadType == payloadType;
    return sameSource && sameType ? StreamMatch::Rtp : StreamMatch::None;
}
}  // namespace

StreamMatch RtpStreamRegistry::matchStream(const MediaPacket& packet, const RtpStream& stream,
                                           bool includeRtcp) {
    return matchDestination(packet, destinationKey(packet), stream.keys, stream.ssrc,
                            stream.payloadType, includeRtcp);
}

StreamMatch RtpStreamRegistry::matchUnrecorded(const MediaPacket& packet, uint64_t destination,
                                               const Announcement& a, const PayloadEntry& entry,
                                               bool includeRtcp) const {
    return matchDestination(packet, destination, a.keys, a.ssrc, entry.payloadType, includeRtcp);
}

std::optional<RtpStreamRegistry::Found> RtpStreamRegistry::findStream(const MediaPacket& packet,
                                                                      bool includeRtcp,
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
    std::optional<Found> lastInactive;
    StreamMatch lastInactiveMatch = StreamMatch::None;
    // The first active match, and the latest active one whose SDP named the payload type.
    std::optional<Found> first;
    StreamMatch firstMatch = StreamMatch::None;
    bool firstNamed = false;
    std::optional<Found> latestNaming;
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
        const PayloadList& list = listOf(a);
        const bool rtcpHere = destination == a.keys.rtcp || destination == a.keys.alternateRtcp;
        if (!rtcpHere && !list.hasPayloadType(type)) {
            continue;  // RTP of a type it never announced
        }
        for (uint32_t k = 0; k < list.count; ++k) {
            const PayloadEntry& entry = entries_[list.first + k];
            if (!rtcpHere && static_cast<uint32_t>(entry.payloadType) != type) {
                continue;  // RTP matches its own payload type only: no record to look up
            }
            const uint32_t registration = a.firstRegistration + k;
            const RtpStream* record = recordOf(a, registration);
            StreamMatch match = record != nullptr
                                    ? matchStream(packet, *record, includeRtcp)
                                    : matchUnrecorded(packet, destination, a, entry, includeRtcp);
            if (match == StreamMatch::None) {
                continue;
            }
            const bool active = isActive(record, registration);
            if (match == StreamMatch::Rtp && active && entry.named) {
                latestNaming = Found{index, k};
            }
            if (active && !first) {
                first = Found{index, k};
                firstMatch = match;
                firstNamed = match != StreamMatch::Rtp || entry.named;
                if (firstNamed) {
                    how = match;
                    return first;
                }
            }
            if (!active) {
                lastInactive = Found{index, k};
                lastInactiveMatch = match;
            }
        }
    }
    // Two calls in turn on one address and port: the packet belongs to the latest that
    // named its payload type rather than to an earlier one that only had it preset.
    if (latestNaming) {
        how = StreamMatch::Rtp;
        return latestNaming;
    }
    if (first) {
        how = firstMatch;
        return first;
    }
    how = lastInactiveMatch;
    return lastInactive;
}

RtpStream* RtpStreamRegistry::handleMediaPacket(const MediaPacket& packet, uint64_t fileOffset,
                                                bool includeRtcp) {
    if (!mayBeRtp(packet.payload, packet.length)) {
        return nullptr;
    }
    if (!origin_) {
        origin_ = packet.time;
    }
    StreamMatch how = StreamMatch::None;
    std::optional<Found> found = findStream(packet, includeRtcp, how);
    if (!found && measureFromAnnounced_) {
        found = registerReverse(packet);
        how = found ? StreamMatch::Rtp : StreamMatch::None;
    }
    if (!found) {
        return nullptr;
    }
    RtpStream* stream = materialise(found->announcement, found->k);
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
            countRtpPacket(*stream, packet, fileOffset, *origin_);
            if (!space) {
                space = stream->sequence;
            }
            return stream;
        }
        countRtpPacket(*stream, packet, fileOffset, *origin_);
        return stream;
    }
    const size_t before = stream->reports.size();
    decodeRtcp(packet.payload, packet.length, stream->reports);
    noteRoundTrips(packet, stream->reports, before);
    return nullptr;
}

// A sender report is remembered by its NTP time's middle bits and the endpoint it came from;
// a later report block naming those bits, sent to that endpoint, measures the round trip as
// its arrival less the SR's, less the delay the reporter says it held the SR.
void RtpStreamRegistry::noteRoundTrips(const MediaPacket& packet, std::vector<RtcpReport>& reports,
                                       size_t first) {
    const std::optional<uint64_t> source = packet.sourceKey();
    for (size_t i = first; i < reports.size(); ++i) {
        RtcpReport& report = reports[i];
        if (report.type == RtcpType::SenderReport && source) {
            RecentSenderReports& recent = senderReports_[*source];
            recent.ntpMiddle[1] = recent.ntpMiddle[0];
            recent.arrival[1] = recent.arrival[0];
            recent.ntpMiddle[0] = report.ntpMiddle();
            recent.arrival[0] = packet.time;
            recent.count = static_cast<uint8_t>(std::min(recent.count + 1, 2));
        }
        if (!report.block || report.block->lastSr == 0) {
            continue;
        }
        const RecentSenderReports* recent = senderReports_.find(destinationKey(packet));
        if (recent == nullptr) {
            continue;
        }
        const PacketTime* sent = nullptr;
        for (uint8_t k = 0; k < recent->count && sent == nullptr; ++k) {
            if (recent->ntpMiddle[k] == report.block->lastSr) {
                sent = &recent->arrival[k];
            }
        }
        if (sent == nullptr) {
            continue;
        }
        const PacketTime gap = timeDifference(packet.time, *sent);
        report.block->roundTripMs = static_cast<double>(gap.seconds) * 1000.0 +
                                    static_cast<double>(gap.microseconds) / 1000.0 -
                                    report.block->delaySinceLastSr / 65.536;
    }
}

std::optional<RtpStreamRegistry::Found> RtpStreamRegistry::registerReverse(
    const MediaPacket& packet) {
    const uint64_t destination = destinationKey(packet);
    if (rtpByDestination_.find(destination) != nullptr ||
        rtcpByDestination_.find(destination) != nullptr) {
        return std::nullopt;  // an announced destination: its own streams decide
    }
    const std::optional<uint64_t> source = packet.sourceKey();
    const std::optional<RtpHeader> header = RtpHeader::parse(packet.payload, packet.length);
    if (!source || !header || header->payloadType >= 128) {
        return std::nullopt;
    }
    const uint32_t type = header->payloadType;
    std::optional<uint32_t> chosen;
    forEachIn(rtpByDestination_, *source, [&](uint32_t index) {
        const Announcement& a = announcements_[index];
        if (a.reverse || !listOf(a).hasPayloadType(type)) {
            return true;
        }
        for (uint32_t k = 0; k < listOf(a).count; ++k) {
            if (static_cast<uint32_t>(entryOf(a, k).payloadType) == type &&
                isActive(a, a.firstRegistration + k)) {
                chosen = index;  // the latest such announcement wins
            }
        }
        return true;
    });
    if (!chosen) {
        return std::nullopt;
    }
    PacketRecord texts;
    packet.copyTo(texts);
    const Announcement& from = announcements_[*chosen];
    Announcement reverse;
    reverse.transaction = from.transaction;
    reverse.targetAddress = texts_.intern(texts.destinationAddress);
    reverse.targetPort = packet.destinationPort;
    reverse.rtcpPort = packet.destinationPort < 65535 ? packet.destinationPort + 1 : 0;
    reverse.mediaName = from.mediaName;
    reverse.reverse = true;
    const PayloadList& list = listOf(from);
    const std::vector<PayloadEntry> entries(entries_.begin() + list.first,
                                            entries_.begin() + list.first + list.count);
    const uint32_t index = addAnnouncement(std::move(reverse), entries);
    ++reverseCount_;
    for (uint32_t k = 0; k < entries.size(); ++k) {
        if (static_cast<uint32_t>(entries[k].payloadType) == type) {
            return Found{index, k};
        }
    }
    return std::nullopt;
}

template <typename Matches>
void RtpStreamRegistry::deactivateFirstActive(std::string_view callId, Matches matches) {
    forEachIn(byCallId_, callKey(callId), [&](uint32_t index) {
        const Announcement& a = announcements_[index];
        if (!matches(*a.transaction)) {
            return true;
        }
        for (uint32_t k = 0; k < listOf(a).count; ++k) {
            if (isActive(a, a.firstRegistration + k)) {
                deactivate(index, k);
                return false;
            }
        }
        return true;
    });
}

void RtpStreamRegistry::deactivateDialogStream(const DialogKey& dialog) {
    deactivateFirstActive(dialog.callId, [&dialog](const TransactionKey& key) {
        return sessionsMatch(key.dialog(), dialog);
    });
}

void RtpStreamRegistry::deactivateTransactionStream(const TransactionKey& transaction) {
    deactivateFirstActive(transaction.callId(), [&transaction](const TransactionKey& key) {
        return key.transactionMatches(transaction);
    });
}

std::vector<const RtpStream*> RtpStreamRegistry::streamsOfTransaction(
    const TransactionKey& transaction, const SdpDescription* sdp, size_t maxCount) const {
    std::vector<const RtpStream*> out;
    forEachIn(byCallId_, callKey(transaction.callId()), [&](uint32_t index) {
        const Announcement& a = announcements_[index];
        if (!a.transaction->transactionMatches(transaction)) {
            return true;
        }
        if (sdp != nullptr && !sdp->isMediaAddress(std::string(texts_.text(a.targetAddress))) &&
            !sdp->isMediaAddress(a.hasAlternate() ? std::string(texts_.text(a.alternateAddress))
                                                  : std::string())) {
            return true;
        }
        for (uint32_t k = 0; k < listOf(a).count; ++k) {
            if (out.size() >= maxCount) {
                return false;
            }
            out.push_back(materialise(index, k));
        }
        return out.size() < maxCount;
    });
    return out;
}

RtpStreamRegistry::StreamMoves RtpStreamRegistry::finishAnalysis() {
    const std::vector<std::pair<uint32_t, RtpStream*>> records = recordsInOrder();
    // Numbers still missing count against the stream that skipped them; only streams that
    // counted packets skip numbers, so every owner is kept.
    for (const auto& record : records) {
        if (SequenceSpace* space = record.second->sequence.get()) {
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
    for (const auto& record : records) {
        RtpStream* stream = record.second;
        if (stream->packets == 0) {
            continue;
        }
        RtpStream* moved = newStream();
        *moved = std::move(*stream);
        moves.emplace(stream, moved);
        kept.push_back(moved);
    }
    sessions_ = {};
    senderReports_ = {};
    lastTransaction_.reset();
    rebuildIndexes(kept);
    oldChunks.clear();
    return moves;
}

std::optional<std::string> RtpStreamRegistry::canonicalName(uint32_t ssrc) const {
    // The first in stream order, whatever order the records were made in.
    std::optional<std::string> name;
    uint32_t first = ~uint32_t{0};
    for (const auto& record : recordList_) {
        if (record.first < first) {
            if (std::optional<std::string> found = canonicalNameIn(record.second->reports, ssrc)) {
                name = std::move(found);
                first = record.first;
            }
        }
    }
    return name;
}

}  // namespace varlowe
