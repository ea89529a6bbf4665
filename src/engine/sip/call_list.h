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

// The columns of a calls list, in the order they are shown and printed.
enum class CallColumn {
    Start,
    From,
    To,
    CallId,
    Method,
    State,
    Setup,
    Duration,
    Messages,
    Streams,
    WorstLoss
};
constexpr int kCallColumnCount = 11;

// "Start", "From", ..., "Worst loss".
const char* callColumnTitle(CallColumn column);
// A cell as the calls list shows it: a party as "Name <user>" (the user alone without a name),
// seconds to three decimals, the loss as "2.5%"; empty where there is no value.
std::string callCell(const CallRow& row, CallColumn column);
// Whether the column holds a number (sorted by value, not text).
bool callColumnIsNumber(CallColumn column);
// The value a number column sorts by; a missing value sorts before every other.
double callNumber(const CallRow& row, CallColumn column);

// Every item of the sessions with these Call-IDs (their media included), ascending, once each.
std::vector<ItemIndex> itemsOfCalls(const AnalysisModel& model,
                                    const std::vector<std::string>& callIds);

// The display name and the user of a From or To header value
// ("\"Alice\" <sip:100@h>;tag=x" gives "Alice" and "100").
void splitParty(std::string_view value, std::string& name, std::string& user);

}  // namespace varlowe
