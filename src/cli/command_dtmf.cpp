#include <cstdio>
#include <string>

#include "cli_commands.h"
#include "cli_support.h"
#include "engine/capture/packet_time.h"
#include "engine/media/dtmf.h"
#include "engine/sip/analysis_model.h"

namespace varlowe::cli {

const char* const kDtmfUsage =
    "Usage: varlowe-cli dtmf [OPTIONS] CAPTURE\n"
    "\n"
    "Lists the keys pressed in the capture's calls, one line a digit in time order:\n"
    "  TIME DIGIT DURATION-MS SOURCE > DESTINATION\n"
    "from the RFC 4733 telephone-event streams that SDP announced (one digit per event:\n"
    "the end packet's retransmissions and repeated packets count once; the duration is the\n"
    "event's longest) and from SIP INFO requests with application/dtmf-relay or\n"
    "application/dtmf bodies (marked INFO after the destination).\n"
    "\n"
    "Options:\n"
    "  --help          show this text\n";

int runDtmf(const std::vector<std::string>& arguments) {
    const Subcommand& command = findSubcommand("dtmf");
    ArgumentParser parser(command, arguments);
    ParsingFlags parsing(parser);
    std::unique_ptr<AnalysisModel> model;
    if (std::optional<int> exit = parseAndAnalyse(parser, parsing, model)) {
        return *exit;
    }
    OutputBuffer out;
    for (const DtmfDigit& digit : captureDigits(*model)) {
        char time[40];
        formatPacketTime(digit.time, time, sizeof time);
        out.put(std::string(time) + " " + digit.digit + " " + std::to_string(digit.durationMs) +
                " " + digit.source + " > " + digit.destination + (digit.fromInfo ? " INFO" : "") +
                "\n");
    }
    return kExitOk;
}

}  // namespace varlowe::cli
