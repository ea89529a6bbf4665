#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine/media/name_value_pair.h"
#include "item_index.h"
#include "item_packet.h"
#include "sip_message.h"

namespace varlowe {

struct RtpStream;

enum class ItemKind : int { Sip = 1, Stun = 2, Media = 4 };

// One entry of the analysed capture: a SIP message, a STUN/TURN message or the first packet
// of an RTP stream, with its own copy of the packet. A SIP message holds the payload's text
// itself (SipMessage::payloadText): its packet keeps the payload's length, not its bytes.
struct AnalysisItem {
    ItemKind kind = ItemKind::Sip;
    ItemIndex index;
    ItemPacket packet;
    std::optional<SipMessage> sip;        // kind Sip; held in place, one allocation less
    std::unique_ptr<NameValuePair> stun;  // kind Stun
    const RtpStream* stream = nullptr;    // kind Media; owned by the stream registry
    // Kind Media: the Call-ID of the session that announced the stream (its stream's; empty
    // without one). Read from the stream so that SIP items do not carry an empty text.
    std::string_view mediaCallId() const;

    // The payload as text up to its first zero byte, wherever the item keeps it.
    std::string_view payloadText() const {
        return sip ? sip->payloadText() : std::string_view(packet.payloadText());
    }
};

// The text of an item for the clipboard and the text export: the SIP message, the STUN/TURN
// pairs as "name : value" lines, or the stream's payload line and figures; none for an empty
// STUN list.
std::optional<std::string> itemText(const AnalysisItem& item);

}  // namespace varlowe
