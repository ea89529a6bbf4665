#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine/media/name_value_pair.h"
#include "item_index.h"
#include "item_packet.h"
#include "sip_headline.h"
#include "sip_message.h"

namespace varlowe {

class AnalysisModel;
class FrameRereader;
struct RtpStream;

enum class ItemKind : int { Sip = 1, Stun = 2, Media = 4 };

// One entry of the analysed capture: a SIP message, a STUN/TURN message or the first packet
// of an RTP stream, with its own copy of the packet. A SIP item keeps the message's headline;
// the whole message is read again from the capture (AnalysisModel::sipMessage), or kept here
// when the capture cannot give it again. Its packet keeps the payload's length, not its bytes.
struct AnalysisItem {
    ItemKind kind = ItemKind::Sip;
    ItemIndex index;
    ItemPacket packet;
    std::optional<SipHeadline> sip;             // kind Sip
    std::unique_ptr<const SipMessage> heldSip;  // kind Sip, when not read again
    std::unique_ptr<NameValuePair> stun;        // kind Stun
    const RtpStream* stream = nullptr;          // kind Media; owned by the stream registry

    // Kind Media: the Call-ID of the session that announced the stream (its stream's; empty
    // without one). Read from the stream so that SIP items do not carry an empty text.
    std::string_view mediaCallId() const;
};

// The text of an item for the clipboard and the text export: the SIP message, the STUN/TURN
// pairs as "name : value" lines, or the stream's payload line and figures; none for an empty
// STUN list.
// A SIP message is read again through `reader` when one is given (AnalysisModel::sipMessage).
std::optional<std::string> itemText(const AnalysisModel& model, const AnalysisItem& item,
                                    FrameRereader* reader = nullptr);

}  // namespace varlowe
