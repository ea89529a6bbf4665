#include "packet_analysis_driver.h"

#include <cstdio>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "analysis_model.h"
#include "engine/capture/frame_info.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/media/stun_decoder.h"
#include "packet_classification.h"
#include "sip_message.h"
#include "sip_stream_assembler.h"

namespace varlowe {

// The trailing blanks reserve room for the longer messages that follow.
const char* const kParsingProgressTitle = "Progress";
const char* const kParsingProgressMessage = "Varlowe is parsing your file.             ";
const char* const kOpenFailureText =
    "Unable to open or parse the specified file.  Please verify the file exists and that it is "
    "a libpcap/Ethereal file.";

std::string cutShortNote(uint64_t offset) {
    return "the capture is cut short: the packet record at byte " + std::to_string(offset) +
           " is incomplete; everything before it was read";
}

std::string openFailureMessage(const std::string& path, const std::string& reason) {
    std::string text = kOpenFailureText;
    if (!reason.empty()) {
        text += "\n\n" + path + ": " + reason;
    }
    return text;
}

namespace {

// A message that came in one frame (a datagram, or a TCP segment that holds it alone) is read
// again from the capture when it is wanted; one assembled from TCP segments is kept whole.
void handleSip(AnalysisModel& model, RtpStreamRegistry& registry, const PacketRecord& packet,
               size_t start, bool inOneFrame, bool includeRtp) {
    SipMessage parsed =
        SipMessage::parseInPayload(packet.payloadText(), packet.payloadLength, start);
    const SipMessage* kept = &parsed;
    if (inOneFrame) {
        model.addSipFromCapture(packet, parsed);
    } else {
        kept = model.item(model.addSip(packet, std::move(parsed))).heldSip.get();
    }
    const SipMessage& message = *kept;
    if (!includeRtp) {
        // No packet is offered to the streams: registering them would cost memory and time
        // for streams the end of the pass drops unused anyway.
    } else if (std::unique_ptr<const SdpDescription> sdp = message.sdp()) {
        registry.registerFromSdp(*sdp, message.sharedTransactionKey(),
                                 [&model](const std::string& address, int32_t port) {
                                     return model.localAddressBehindNat(address, port);
                                 });
    } else if (!message.isResponse() && (message.method() == std::string("BYE") ||
                                         message.method() == std::string("CANCEL"))) {
        registry.deactivateDialogStream(DialogKey::of(message));
    } else if (message.isResponse() && message.statusCode() >= 300) {
        registry.deactivateTransactionStream(TransactionKey::of(message));
    }
}

}  // namespace

AnalysisResult PacketAnalysisDriver::analyse(const std::string& path, bool fromLiveCapture) {
    AnalysisResult result;
    auto model = std::make_unique<AnalysisModel>();
    model->setStreamRegistry(std::make_unique<RtpStreamRegistry>(path));
    RtpStreamRegistry& registry = *model->streamRegistry();

    SipStreamAssembler assembler;
    if (progress_ != nullptr) {
        progress_->begin(kParsingProgressTitle, kParsingProgressMessage, 100);
    }
    assembler.setIncludeEncapsulated(options_.includeEncapsulated);
    assembler.reader().setIncludeTcp(options_.includeTcp);
    assembler.reader().setIncludeUdp(options_.includeUdp);
    assembler.reader().setDecodeHep(options_.includeHep);
    registry.setDecodeHep(options_.includeHep);
    registry.setMeasureFromAnnounced(options_.measureFromAnnounced);
    if (!assembler.open(path)) {
        if (progress_ != nullptr) {
            progress_->end();
        }
        result.failureReason = assembler.reader().openError();
        if (dialogs_ != nullptr) {
            dialogs_->showError("Error", openFailureMessage(path, result.failureReason));
        }
        result.outcome = AnalysisOutcome::OpenFailed;
        return result;
    }
    // Opened before the pass, so that what it reads stays readable while the window is open.
    auto capture = std::make_unique<FrameRereader>();
    if (!capture->open(path, options_.includeUdp, options_.includeTcp, options_.includeHep)) {
        capture.reset();
    }
    const uint64_t fileSize = assembler.reader().fileSize();
    int lastPercent = -1;
    uint64_t position = 0;
    AssembledPacket next;
    uint64_t packetsRead = 0;
    while (assembler.next(next, &position)) {
        if (++packetsRead == 1) {
            registry.setTimeOrigin(next.frame != nullptr
                                       ? PacketTime{next.frame->seconds, next.frame->microseconds}
                                       : next.message->time());
        }
        if (progress_ != nullptr && fileSize > 0) {
            int percent = static_cast<int>(position * 100 / fileSize);
            if (percent > lastPercent) {
                char message[64];
                std::snprintf(message, sizeof message, "Varlowe is parsing packet number %d.",
                              static_cast<int>(next.number()));
                if (!progress_->update(percent, message)) {
                    result.cancelled = true;
                    break;
                }
                lastPercent = percent;
            }
        }
        PacketClass kind = classifyPacket(next.payload(), next.length(), options_.includeSip,
                                          options_.includeSturn);
        if (kind.kind == PacketKind::Sip) {
            handleSip(*model, registry, next.record(), kind.sipStart,
                      (next.frame != nullptr || next.wholeSegment) && capture != nullptr,
                      options_.includeRtp);
        } else if (kind.kind == PacketKind::Stun) {
            if (std::unique_ptr<NameValuePair> stun =
                    decodeStunMessage(next.payload(), next.length())) {
                model->addStun(next.record(), std::move(stun));
            }
        } else if (options_.includeRtp) {
            std::optional<MediaPacket> media;
            if (next.frame != nullptr) {
                media = MediaPacket::of(*next.frame);
            } else {
                media = MediaPacket::of(*next.message);
            }
            if (media) {
                RtpStream* stream =
                    registry.handleMediaPacket(*media, position, options_.includeRtcp);
                if (stream != nullptr && stream->packets == 1) {
                    model->addRtp(stream->firstPacket(), *stream);
                }
            }
        }
    }
    if (progress_ != nullptr) {
        progress_->end();
    }
    // Graphs and extraction read the file again; they start from what this pass learnt.
    registry.setCaptureLayout(assembler.reader().layout());
    if (capture) {
        capture->useLayout(assembler.reader().layout());
        model->setCapture(std::move(capture));
    }
    if (model->itemCount() == 0 && fromLiveCapture && dialogs_ != nullptr) {
        std::string question =
            "There are no packets that can be displayed.\n\n" + path + "\n\nDelete capture?";
        if (dialogs_->askYesNo("Network Capture", question)) {
            assembler.reader().close();
            std::remove(path.c_str());
            result.outcome = AnalysisOutcome::EmptyCaptureDeleted;
            return result;
        }
    }
    model->finishStreams();
    if (std::optional<uint64_t> cut = assembler.reader().cutShortAt()) {
        model->setReadNote(cutShortNote(*cut));
    }
    if (model->itemCount() == 0 && !result.cancelled) {
        // An empty ladder says why; the file itself was read.
        std::vector<std::string> reasons = assembler.reader().refusalSummary();
        if (packetsRead > 0) {
            reasons.push_back(std::to_string(packetsRead) +
                              (packetsRead == 1 ? " packet" : " packets") +
                              ": UDP or TCP without SIP or STUN, and no RTP announced by SDP");
        }
        model->setEmptyReasons(std::move(reasons));
    }
#if defined(__GLIBC__)
    // The pass freed millions of small blocks (streams no packet reached, parsing
    // temporaries); left scattered they slow every later allocation of the windows and hold
    // memory the system could use. One trim merges them and returns what it can.
    malloc_trim(0);
#endif
    result.outcome = AnalysisOutcome::Analysed;
    result.model = std::move(model);
    return result;
}

}  // namespace varlowe
