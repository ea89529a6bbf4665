#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis_model.h"
#include "engine/capture/packet_time.h"

namespace varlowe {

// One session of a capture (its Call-ID) as a calls list shows it.
struct CallRow {
    std::string callId;
    PacketTime start;
    std::string fromName;  // the display name, without quotes; empty when there is none
    std::string fromUser;  // the user part of the URI (or the whole URI when it has none)
    std::string toName;
    std::string toUser;
    std::string method;  // of the first request
    // INVITE sessions: "calling", "ringing", "in call", "completed", "busy", "cancelled",
    // "rejected NNN", "failed NNN"; others the last final status ("200 OK") or "no answer".
    std::string state;
    std::optional<double> setupSeconds;     // the first INVITE to its first 2xx
    std::optional<double> durationSeconds;  // that 2xx to the BYE, or to the last message
    size_t messages = 0;                    // SIP messages
    size_t streams = 0;
    std::optional<double> worstLoss;  // the largest share of packets lost among its streams
    std::vector<ItemIndex> items;     // every item of the session, ascending
};

// The sessions in order of their first message; one pass over the items.
std::vector<CallRow> buildCallList(const AnalysisModel& model);

// The display name and the user of a From or To header value
// ("\"Alice\" <sip:100@h>;tag=x" gives "Alice" and "100").
void splitParty(std::string_view value, std::string& name, std::string& user);

}  // namespace varlowe
