#include <cstdio>
#include <string>

#include "cli_commands.h"
#include "cli_support.h"
#include "engine/media/rtp_stream.h"
#include "engine/media/stream_audio.h"
#include "engine/sip/analysis_model.h"

namespace varlowe::cli {

const char* const kAudioUsage =
    "Usage: varlowe-cli audio [OPTIONS] --stream N [--stream M] -o FILE.wav CAPTURE\n"
    "\n"
    "Decodes stream N (counted from 1 as 'streams' lists them) to 16-bit PCM and writes it\n"
    "as a WAV file: G.711 mu-law and A-law and G.722 (spandsp), Opus (libopus). Packets go\n"
    "in sequence order, each at the place its RTP timestamp gives, so a lost packet leaves\n"
    "silence of its length. Given twice, the two streams (a call's two directions, say)\n"
    "become the left and right channels of one file, aligned by capture time.\n"
    "\n"
    "Options:\n"
    "  --stream N        the stream to decode (at most twice)\n"
    "  -o, --output FILE the WAV file to write (replaced once it is whole; never the capture)\n"
    "  --help            show this text\n";

int runAudio(const std::vector<std::string>& arguments) {
    const Subcommand& command = findSubcommand("audio");
    ArgumentParser parser(command, arguments);
    ParsingFlags parsing(parser);
    std::vector<std::string>& streamTexts = parser.repeatable("--stream");
    std::string& output = parser.option("--output", "-o");
    if (std::optional<int> exit = parser.parseOrExit(1, 1)) {
        return *exit;
    }
    if (streamTexts.empty() || streamTexts.size() > 2) {
        return usageError(command, "--stream N is required, once or twice");
    }
    if (output.empty()) {
        return usageError(command, "-o FILE.wav is required");
    }
    std::vector<long> numbers;
    for (const std::string& text : streamTexts) {
        const std::optional<long> number = streamNumber(text);
        if (!number) {
            return usageError(command, "--stream takes a stream number from 1, not '" + text + "'");
        }
        numbers.push_back(*number);
    }
    const std::string& capture = parser.operands()[0];
    std::unique_ptr<AnalysisModel> model = analyseCapture(capture, parsing.options());
    if (!model) {
        return kExitFailure;
    }
    const std::vector<const AnalysisItem*> streams = streamItems(*model);
    std::vector<StreamAudio> channels;
    for (long number : numbers) {
        if (static_cast<unsigned long>(number) > streams.size()) {
            std::fprintf(stderr, "varlowe-cli audio: no stream %ld; the capture has %zu stream%s\n",
                         number, streams.size(), streams.size() == 1 ? "" : "s");
            return kExitFailure;
        }
        std::string error;
        std::optional<StreamAudio> audio = decodeStreamAudio(
            *model->streamRegistry(), *streams[static_cast<size_t>(number - 1)]->stream, error);
        if (!audio) {
            std::fprintf(stderr, "varlowe-cli audio: stream %ld: %s\n", number, error.c_str());
            return kExitFailure;
        }
        channels.push_back(std::move(*audio));
    }
    std::string error;
    std::optional<MixedAudio> mixed = alignChannels(channels, error);
    if (!mixed) {
        std::fprintf(stderr, "varlowe-cli audio: %s\n", error.c_str());
        return kExitFailure;
    }
    const SaveOutcome saved = writeWav(*mixed, output, capture);
    if (saved == SaveOutcome::SameAsInput) {
        std::fprintf(stderr, "varlowe-cli audio: %s is the capture being read; not written\n",
                     output.c_str());
        return kExitFailure;
    }
    if (saved != SaveOutcome::Saved) {
        std::fprintf(stderr, "varlowe-cli audio: %s could not be written\n", output.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace varlowe::cli
