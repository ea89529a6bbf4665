#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "cli_support.h"
#include "engine/diagnostics.h"
#include "engine/product_info.h"

namespace varlowe::cli {

const std::vector<Subcommand>& subcommands() {
    static const std::vector<Subcommand> table = {
        {"packets", "list the UDP and TCP packets of a capture file", kPacketsUsage, runPackets},
        {"messages", "list the SIP, STUN/TURN and RTP stream items of a capture file",
         kMessagesUsage, runMessages},
        {"streams", "print the figures of every RTP stream", kStreamsUsage, runStreams},
        {"calls", "list the sessions with their parties, state, times and streams", kCallsUsage,
         runCalls},
        {"dtmf", "list the keys pressed: telephone events and SIP INFO digits", kDtmfUsage,
         runDtmf},
        {"extract", "write the payload of one RTP stream to a file", kExtractUsage, runExtract},
        {"audio", "decode one or two RTP streams to a WAV file", kAudioUsage, runAudio},
        {"export", "write the ladder diagram and the message log as text", kExportUsage, runExport},
    };
    return table;
}

const Subcommand& findSubcommand(const std::string& name) {
    for (const Subcommand& command : subcommands()) {
        if (name == command.name) {
            return command;
        }
    }
    throw std::logic_error("no subcommand " + name);
}

namespace {
void printOverview(std::FILE* stream) {
    std::fputs(
        "Usage: varlowe-cli SUBCOMMAND [OPTIONS] CAPTURE\n"
        "\n"
        "Reads a capture file (libpcap or pcapng; Ethernet, Linux cooked, raw IP, PPP or BSD\n"
        "loopback frames; IPv4 and IPv6, through PPPoE, MPLS, IP-in-IP, GRE and HEP) the way\n"
        "Varlowe does and prints what it finds. Diagnostics go to standard error.\n"
        "\n"
        "Subcommands:\n",
        stream);
    for (const Subcommand& command : subcommands()) {
        std::fprintf(stream, "  %-10s %s\n", command.name, command.summary);
    }
    std::fputs(
        "\n"
        "'varlowe-cli SUBCOMMAND --help' describes a subcommand and its options;\n"
        "'varlowe-cli --version' prints the version.\n"
        "Exit status: 0 success, 1 the capture or an output could not be used, 2 usage error.\n",
        stream);
}
}  // namespace

}  // namespace varlowe::cli

int main(int argc, char** argv) {
    using namespace varlowe::cli;
    varlowe::StandardErrorSink errorSink;
    varlowe::setDiagnosticsSink(&errorSink);
    if (argc < 2) {
        printOverview(stderr);
        return kExitUsage;
    }
    std::string name = argv[1];
    if (name == "--version") {
        std::printf("varlowe-cli %s\n", varlowe::kProductVersion);
        return 0;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview(stdout);
        return kExitOk;
    }
    for (const Subcommand& command : subcommands()) {
        if (name == command.name) {
            std::vector<std::string> arguments(argv + 2, argv + argc);
            int status = command.run(arguments);
            // A full disk or a closed pipe must not pass for a complete listing.
            if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
                std::fprintf(stderr, "varlowe-cli %s: cannot write to standard output: %s\n",
                             command.name, std::strerror(errno));
                status = kExitFailure;
            }
            varlowe::setDiagnosticsSink(nullptr);
            return status;
        }
    }
    std::fprintf(stderr, "varlowe-cli: unknown subcommand '%s'\n\n", name.c_str());
    printOverview(stderr);
    return kExitUsage;
}
