#include "call_list.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string_view>
#include <unordered_map>

#include "engine/media/rtp_stream.h"

namespace varlowe {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

double secondsBetween(PacketTime from, PacketTime to) {
    return (static_cast<double>(to.seconds) - static_cast<double>(from.seconds)) +
           (static_cast<double>(to.microseconds) - static_cast<double>(from.microseconds)) / 1e6;
}

// What a session's messages have shown so far.
struct Progress {
    bool invite = false;
    bool ringing = false;
    bool answered = false;
    bool bye = false;
    bool cancel = false;
    int finalFailure = 0;  // the INVITE's final status of 300 or more, before any 2xx
    // Non-INVITE sessions: the last final status and its reason (a view into the model's texts).
    int lastFinal = 0;
    std::string_view lastReason;
    PacketTime firstInvite;
    PacketTime answer;
    PacketTime byeTime;
    PacketTime last;
};

std::string inviteState(const Progress& p) {
    if (p.answered) {
        return p.bye ? "completed" : "in call";
    }
    if (p.finalFailure == 486 || p.finalFailure == 600) {
        return "busy";
    }
    if (p.finalFailure == 487 || (p.cancel && p.finalFailure == 0)) {
        return "cancelled";
    }
    if (p.finalFailure == 408 || p.finalFailure >= 500) {
        return "failed " + std::to_string(p.finalFailure);
    }
    if (p.finalFailure >= 300) {
        return "rejected " + std::to_string(p.finalFailure);
    }
    return p.ringing ? "ringing" : "calling";
}

}  // namespace

void splitParty(std::string_view value, std::string& name, std::string& user) {
    name.clear();
    user.clear();
    std::string_view uri = value;
    const size_t open = value.find('<');
    if (open != std::string_view::npos) {
        std::string_view display = trimmed(value.substr(0, open));
        if (display.size() >= 2 && display.front() == '"' && display.back() == '"') {
            display = display.substr(1, display.size() - 2);
        }
        name.assign(display);
        const size_t close = value.find('>', open);
        uri = value.substr(
            open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
    } else {
        uri = trimmed(value.substr(0, value.find(';')));
    }
    const size_t colon = uri.find(':');
    std::string_view rest = colon == std::string_view::npos ? uri : uri.substr(colon + 1);
    const size_t at = rest.find('@');
    user.assign(at == std::string_view::npos ? rest : rest.substr(0, at));
}

std::vector<CallRow> buildCallList(const AnalysisModel& model) {
    std::vector<CallRow> rows;
    std::vector<Progress> progress;
    // Keyed by views into the model's own texts, which outlive the pass: no copy per message.
    std::unordered_map<std::string_view, size_t> byCallId;
    // One row per Call-ID: reserved, so that 100,000 rows are not copied as they grow.
    rows.reserve(model.callIdCount());
    progress.reserve(model.callIdCount());
    byCallId.reserve(model.callIdCount() + 16);
    auto rowOf = [&](std::string_view callId, PacketTime time) -> size_t {
        auto [found, added] = byCallId.emplace(callId, rows.size());
        if (added) {
            rows.emplace_back();
            rows.back().callId.assign(callId);
            rows.back().start = time;
            progress.emplace_back();
        }
        return found->second;
    };
    for (size_t i = 0; i < model.itemCount(); ++i) {
        const AnalysisItem& item = model.item(ItemIndex(i));
        const PacketTime time = item.packet.time();
        if (item.kind == ItemKind::Media && item.stream != nullptr) {
            CallRow& row = rows[rowOf(item.mediaCallId(), time)];
            row.items.push_back(item.index);
            ++row.streams;
            const RtpStream& stream = *item.stream;
            const double expected = static_cast<double>(stream.packets + stream.dropped);
            if (expected > 0) {
                const double loss = static_cast<double>(stream.dropped) / expected;
                row.worstLoss = std::max(row.worstLoss.value_or(0.0), loss);
            }
            continue;
        }
        if (!item.sip) {
            continue;
        }
        const SipHeadline& sip = *item.sip;
        const std::optional<std::string_view> callId = sip.callId();
        if (!callId) {
            continue;
        }
        const size_t index = rowOf(*callId, time);
        CallRow& row = rows[index];
        Progress& p = progress[index];
        row.items.push_back(item.index);
        ++row.messages;
        p.last = time;
        const std::string_view method = sip.transactionMethod();
        if (!sip.isResponse()) {
            if (row.method.empty()) {
                row.method.assign(method);
                // The parties' display names are in the message only, read once per call.
                const SipMessage whole = model.sipMessage(item);
                if (const auto from = whole.header("From")) {
                    splitParty(*from, row.fromName, row.fromUser);
                }
                if (const auto to = whole.header("To")) {
                    splitParty(*to, row.toName, row.toUser);
                }
            }
            if (method == "INVITE" && !p.invite) {
                p.invite = true;
                p.firstInvite = time;
            } else if (method == "INVITE" && !p.answered &&
                       (p.finalFailure == 401 || p.finalFailure == 407)) {
                p.finalFailure = 0;  // asked again with credentials
            } else if (method == "BYE" && !p.bye) {
                p.bye = true;
                p.byeTime = time;
            } else if (method == "CANCEL") {
                p.cancel = true;
            }
            continue;
        }
        const int status = sip.statusCode();
        if (method == "INVITE") {
            if (status >= 180 && status < 200) {
                p.ringing = true;
            } else if (status >= 200 && status < 300 && !p.answered) {
                p.answered = true;
                p.answer = time;
            } else if (status >= 300 && !p.answered && p.finalFailure == 0) {
                p.finalFailure = status;
            }
        } else if (status >= 200) {
            p.lastFinal = status;
            p.lastReason = sip.reasonPhrase();
        }
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        CallRow& row = rows[i];
        const Progress& p = progress[i];
        if (p.invite) {
            row.state = inviteState(p);
            if (p.answered) {
                row.setupSeconds = secondsBetween(p.firstInvite, p.answer);
                row.durationSeconds = secondsBetween(p.answer, p.bye ? p.byeTime : p.last);
            }
        } else {
            if (p.lastFinal == 0) {
                row.state = "no answer";
            } else {
                row.state = std::to_string(p.lastFinal);
                if (!p.lastReason.empty()) {
                    row.state.append(" ").append(p.lastReason);
                }
            }
        }
    }
    return rows;
}

namespace {

std::string party(const std::string& name, const std::string& user) {
    return name.empty() ? user : name + " <" + user + ">";
}

std::string threeDecimals(const std::optional<double>& value) {
    if (!value) {
        return std::string();
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", *value);
    return text;
}

}  // namespace

std::vector<ItemIndex> itemsOfCalls(const AnalysisModel& model,
                                    const std::vector<std::string>& callIds) {
    std::vector<ItemIndex> items;
    for (const std::string& callId : callIds) {
        const std::vector<ItemIndex> own = model.itemsWithCallId(callId);
        items.insert(items.end(), own.begin(), own.end());
    }
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    return items;
}

const char* callColumnTitle(CallColumn column) {
    static const char* const kTitles[kCallColumnCount] = {
        "Start",     "From",         "To",       "Call-ID", "Method",    "State",
        "Setup (s)", "Duration (s)", "Messages", "Streams", "Worst loss"};
    return kTitles[static_cast<int>(column)];
}

std::string callCell(const CallRow& row, CallColumn column) {
    switch (column) {
        case CallColumn::Start: {
            char start[40];
            formatPacketTime(row.start, start, sizeof start);
            return start;
        }
        case CallColumn::From:
            return party(row.fromName, row.fromUser);
        case CallColumn::To:
            return party(row.toName, row.toUser);
        case CallColumn::CallId:
            return row.callId;
        case CallColumn::Method:
            return row.method;
        case CallColumn::State:
            return row.state;
        case CallColumn::Setup:
            return threeDecimals(row.setupSeconds);
        case CallColumn::Duration:
            return threeDecimals(row.durationSeconds);
        case CallColumn::Messages:
            return std::to_string(row.messages);
        case CallColumn::Streams:
            return std::to_string(row.streams);
        case CallColumn::WorstLoss: {
            if (!row.worstLoss) {
                return std::string();
            }
            char text[16];
            std::snprintf(text, sizeof text, "%.1f%%", *row.worstLoss * 100.0);
            return text;
        }
    }
    return std::string();
}

bool callColumnIsNumber(CallColumn column) {
    switch (column) {
        case CallColumn::Start:
        case CallColumn::Setup:
        case CallColumn::Duration:
        case CallColumn::Messages:
        case CallColumn::Streams:
        case CallColumn::WorstLoss:
            return true;
        default:
            return false;
    }
}

double callNumber(const CallRow& row, CallColumn column) {
    constexpr double kMissing = -std::numeric_limits<double>::infinity();
    switch (column) {
        case CallColumn::Start:  // in microseconds: exact in a double (below 2^53)
            return static_cast<double>(row.start.seconds) * 1e6 +
                   static_cast<double>(row.start.microseconds);
        case CallColumn::Setup:
            return row.setupSeconds.value_or(kMissing);
        case CallColumn::Duration:
            return row.durationSeconds.value_or(kMissing);
        case CallColumn::Messages:
            return static_cast<double>(row.messages);
        case CallColumn::Streams:
            return static_cast<double>(row.streams);
        case CallColumn::WorstLoss:
            return row.worstLoss.value_or(kMissing);
        default:
            return kMissing;
    }
}

}  // namespace varlowe
