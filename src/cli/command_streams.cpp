#include <cerrno>
#include <cstdlib>

#include "cli_commands.h"
#include "cli_support.h"
#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_model.h"

namespace varlowe::cli {

std::optional<long> streamNumber(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || number < 1 || errno == ERANGE) {
        return std::nullopt;
    }
    return number;
}

std::vector<const AnalysisItem*> streamItems(const AnalysisModel& model) {
    std::vector<const AnalysisItem*> out;
    for (size_t i = 0; i < model.itemCount(); ++i) {
        const AnalysisItem& item = model.item(ItemIndex(i));
        if (item.kind == ItemKind::Media) {
            out.push_back(&item);
        }
    }
    return out;
}

const char* const kStreamsUsage =
    "Usage: varlowe-cli streams [OPTIONS] CAPTURE\n"
    "\n"
    "Prints the figures of every RTP stream announced by SDP and seen in the capture, in the\n"
    "order of their first packets, with a blank line between streams: payload, source,\n"
    "destination, packets, packets out of order, dropped packets, elapsed time, bytes,\n"
    "average rate, mean packet spacing (labelled jitter) and first/last packet numbers.\n"
    "\n"
    "Options:\n"
    "  --help          show this text\n";

const char* const kExtractUsage =
    "Usage: varlowe-cli extract [OPTIONS] --stream N -o OUTPUT CAPTURE\n"
    "\n"
    "Writes the packets of stream N (counted from 1 as 'streams' lists them) to OUTPUT:\n"
    "the RTP payloads, concatenated, unless the switches below add headers.\n"
    "\n"
    "Options:\n"
    "  --stream N        the stream to write\n"
    "  -o, --output FILE the file to write (replaced once the whole stream is written;\n"
    "                    never the capture itself), or - for standard output\n"
    "  --rtp-headers     keep each packet's RTP header, CSRCs and extension\n"
    "  --record-headers  put a 12-byte record header before each packet: seconds and\n"
    "                    microseconds, then the data length (32 bits each, big-endian;\n"
    "                    the length's first 2 bytes are zero up to 65,535 bytes)\n"
    "  --help            show this text\n";

int runStreams(const std::vector<std::string>& arguments) {
    const Subcommand& command = findSubcommand("streams");
    ArgumentParser parser(command, arguments);
    ParsingFlags parsing(parser);
    std::unique_ptr<AnalysisModel> model;
    if (std::optional<int> exit = parseAndAnalyse(parser, parsing, model)) {
        return *exit;
    }
    OutputBuffer out;
    bool first = true;
    for (const AnalysisItem* item : streamItems(*model)) {
        std::string text = itemText(*model, *item).value_or("");
        if (!first) {
            out.put('\n');
        }
        first = false;
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;) {
            text.erase(at, 1);
        }
        out.put(text);
    }
    return kExitOk;
}

int runExtract(const std::vector<std::string>& arguments) {
    const Subcommand& command = findSubcommand("extract");
    ArgumentParser parser(command, arguments);
    ParsingFlags parsing(parser);
    std::string& streamText = parser.option("--stream");
    std::string& output = parser.option("--output", "-o");
    bool& rtpHeaders = parser.flag("--rtp-headers");
    bool& recordHeaders = parser.flag("--record-headers");
    if (std::optional<int> exit = parser.parseOrExit(1, 1)) {
        return *exit;
    }
    if (streamText.empty()) {
        return usageError(command, "--stream N is required");
    }
    if (output.empty()) {
        return usageError(command, "-o OUTPUT is required");
    }
    const std::optional<long> chosen = streamNumber(streamText);
    if (!chosen) {
        return usageError(command,
                          "--stream takes a stream number from 1, not '" + streamText + "'");
    }
    const long number = *chosen;
    std::unique_ptr<AnalysisModel> model = analyseCapture(parser.operands()[0], parsing.options());
    if (!model) {
        return kExitFailure;
    }
    std::vector<const AnalysisItem*> streams = streamItems(*model);
    if (static_cast<unsigned long>(number) > streams.size()) {
        std::fprintf(stderr, "varlowe-cli extract: no stream %s; the capture has %zu stream%s\n",
                     streamText.c_str(), streams.size(), streams.size() == 1 ? "" : "s");
        return kExitFailure;
    }
    const RtpStream& stream = *streams[static_cast<size_t>(number - 1)]->stream;
    const RtpStreamRegistry& registry = *model->streamRegistry();
    if (output == "-") {
        if (!registry.writeStream(stream, stdout, recordHeaders, rtpHeaders)) {
            std::fprintf(stderr, "varlowe-cli extract: the capture could not be read again\n");
            return kExitFailure;
        }
        return kExitOk;
    }
    SaveOutcome saved = registry.extractStream(stream, output, recordHeaders, rtpHeaders);
    if (saved == SaveOutcome::SameAsInput) {
        std::fprintf(stderr, "varlowe-cli extract: %s is the capture being read; not written\n",
                     output.c_str());
        return kExitFailure;
    }
    if (saved != SaveOutcome::Saved) {
        std::fprintf(stderr,
                     "varlowe-cli extract: Unable to save RTP contents to a file.  Please check "
                     "file paths, permissions, and available storage space. (%s)\n",
                     output.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace varlowe::cli
