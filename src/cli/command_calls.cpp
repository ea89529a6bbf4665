#include <string>

#include "cli_commands.h"
#include "cli_support.h"
#include "engine/sip/analysis_model.h"
#include "engine/sip/call_list.h"

namespace varlowe::cli {

const char* const kCallsUsage =
    "Usage: varlowe-cli calls [OPTIONS] CAPTURE\n"
    "\n"
    "Lists the sessions (Call-IDs) of the analysed capture in order of their first message,\n"
    "a header line first, tab-separated:\n"
    "  START FROM TO CALL-ID METHOD STATE SETUP DURATION MESSAGES STREAMS WORST-LOSS\n"
    "FROM and TO are the display name and the user. STATE of an INVITE session is calling,\n"
    "ringing, in call, completed, busy, cancelled, rejected CODE or failed CODE; of another\n"
    "session its last final status, or no answer. SETUP runs from the INVITE to its first\n"
    "2xx, DURATION from there to the BYE (or the last message), both in seconds; WORST-LOSS\n"
    "is the largest share of packets lost among the session's streams.\n"
    "\n"
    "Options:\n"
    "  --csv           comma-separated values, quoted where needed\n"
    "  --help          show this text\n";

namespace {

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

// A tab-separated field: tabs and line ends would break the columns.
std::string tsvField(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

}  // namespace

int runCalls(const std::vector<std::string>& arguments) {
    const Subcommand& command = findSubcommand("calls");
    ArgumentParser parser(command, arguments);
    ParsingFlags parsing(parser);
    bool& csv = parser.flag("--csv");
    std::unique_ptr<AnalysisModel> model;
    if (std::optional<int> exit = parseAndAnalyse(parser, parsing, model)) {
        return *exit;
    }
    OutputBuffer out;
    auto line = [&](const std::vector<std::string>& fields) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) {
                out.put(csv ? ',' : '\t');
            }
            out.put(csv ? csvField(fields[i]) : tsvField(fields[i]));
        }
        out.put('\n');
    };
    std::vector<std::string> fields(kCallColumnCount);
    for (int column = 0; column < kCallColumnCount; ++column) {
        fields[static_cast<size_t>(column)] = callColumnTitle(static_cast<CallColumn>(column));
    }
    line(fields);
    for (const CallRow& row : buildCallList(*model)) {
        for (int column = 0; column < kCallColumnCount; ++column) {
            fields[static_cast<size_t>(column)] = callCell(row, static_cast<CallColumn>(column));
        }
        line(fields);
    }
    return kExitOk;
}

}  // namespace varlowe::cli
