#include <cinttypes>

#include "cli_commands.h"
#include "cli_support.h"
#include "engine/capture/byte_order.h"
#include "engine/capture/capture_file_reader.h"
#include "engine/capture/packet_record.h"
#include "engine/sip/packet_analysis_driver.h"

namespace varlowe::cli {

const char* const kPacketsUsage =
    "Usage: varlowe-cli packets [OPTIONS] CAPTURE\n"
    "\n"
    "Lists every packet the reader accepts, one line each, in file order:\n"
    "  NUMBER TIME UDP|TCP SOURCE:PORT > DESTINATION:PORT PAYLOAD-LENGTH\n"
    "A UDP datagram reassembled from IPv4 fragments is one line, with the number and time of\n"
    "the fragment that completed it.\n"
    "\n"
    "Options:\n"
    "  --count         print only the number of packets and of payload bytes\n"
    "  --help          show this text\n"
    "Of the parsing switches only --no-udp, --no-tcp and --no-hep change this listing.\n";

int runPackets(const std::vector<std::string>& arguments) {
    const Subcommand& command = findSubcommand("packets");
    ArgumentParser parser(command, arguments);
    ParsingFlags parsing(parser);
    bool& countOnly = parser.flag("--count");
    if (std::optional<int> exit = parser.parseOrExit(1, 1)) {
        return *exit;
    }

    CaptureFileReader reader;
    reader.setIncludeUdp(parsing.options().includeUdp);
    reader.setIncludeTcp(parsing.options().includeTcp);
    reader.setDecodeHep(parsing.options().includeHep);
    if (!reader.open(parser.operands()[0])) {
        std::fprintf(stderr, "%s\n",
                     openFailureMessage(parser.operands()[0], reader.openError()).c_str());
        return kExitFailure;
    }

    FrameInfo frame;
    uint64_t packets = 0;
    uint64_t payloadBytes = 0;
    OutputBuffer out;
    char line[128];
    while (reader.nextFrame(frame)) {
        PacketRecord record = PacketRecord::fromFrame(frame);
        ++packets;
        payloadBytes += record.payloadLength;
        if (countOnly) {
            continue;
        }
        putPacketPrefix(out, record, transportName(record.transport));
        size_t length = formatUnsigned(record.payloadLength, line);
        line[length++] = '\n';
        out.put(line, length);
    }
    if (std::optional<uint64_t> cut = reader.cutShortAt()) {
        std::fprintf(stderr, "%s: %s\n", parser.operands()[0].c_str(), cutShortNote(*cut).c_str());
    }
    if (packets == 0) {
        // The file was read; say why nothing in it was a packet.
        for (const std::string& reason : reader.refusalSummary()) {
            std::fprintf(stderr, "%s\n", reason.c_str());
        }
    }
    if (countOnly) {
        std::snprintf(line, sizeof line, "packets %" PRIu64 "\npayload-bytes %" PRIu64 "\n",
                      packets, payloadBytes);
        out.put(line);
    }
    return kExitOk;
}

}  // namespace varlowe::cli
