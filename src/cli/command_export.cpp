#include "cli_commands.h"
#include "cli_support.h"
#include "engine/sip/analysis_model.h"
#include "output/text_export.h"

namespace varlowe::cli {

const char* const kExportUsage =
    "Usage: varlowe-cli export [OPTIONS] CAPTURE [-o FILE]\n"
    "\n"
    "Writes the text export of the desktop program: the ladder diagram (one column per\n"
    "endpoint, one numbered line per message or stream) and then the log with every message\n"
    "in full. Lines end in CR LF. Without -o, or with -o -, the export goes to standard\n"
    "output. A file is replaced only once the export is complete; the capture itself is never\n"
    "written over.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE  the file to write (replaced when it exists)\n"
    "  --ports            show the ports on the arrows (with three columns or fewer)\n"
    "  --no-transport     leave out the U/T transport letter at the start of each arrow\n"
    "  --no-diagram       leave out the ladder diagram\n"
    "  --no-log           leave out the message log\n"
    "  --call-id ID       only the items of that session (may be given again)\n"
    "  --help             show this text\n";

int runExport(const std::vector<std::string>& arguments) {
    const Subcommand& command = findSubcommand("export");
    ArgumentParser parser(command, arguments);
    ParsingFlags parsing(parser);
    std::string& output = parser.option("--output", "-o");
    bool& ports = parser.flag("--ports");
    bool& noTransport = parser.flag("--no-transport");
    bool& noDiagram = parser.flag("--no-diagram");
    bool& noLog = parser.flag("--no-log");
    std::vector<std::string>& callIds = parser.repeatable("--call-id");
    std::unique_ptr<AnalysisModel> model;
    if (std::optional<int> exit = parseAndAnalyse(parser, parsing, model)) {
        return *exit;
    }
    showOnlyCalls(*model, callIds);
    TextExportOptions options;
    options.showPort = ports;
    options.showTransport = !noTransport;
    options.showDiagram = !noDiagram;
    options.showLog = !noLog;
    if (options.showDiagram && model->rowCount() == 0) {
        std::fprintf(stderr,
                     "varlowe-cli export: the capture holds no SIP, STUN/TURN or RTP stream item, "
                     "so there is no endpoint to draw\n");
        return kExitFailure;
    }
    if (output.empty() && parser.given("--output")) {
        return usageError(command, "-o needs a file name (or - for standard output)");
    }
    if (output.empty() || output == "-") {
        if (!writeText(stdout, *model, options)) {
            return kExitFailure;  // the write error is reported on the way out
        }
        return kExitOk;
    }
    SaveOutcome saved = exportText(output, *model, options);
    if (saved == SaveOutcome::SameAsInput) {
        std::fprintf(stderr, "varlowe-cli export: %s is the capture being read; not written\n",
                     output.c_str());
        return kExitFailure;
    }
    if (saved != SaveOutcome::Saved) {
        std::fprintf(stderr,
                     "varlowe-cli export: Unable to save %s -- Please check permissions, "
                     "available disk space, the path and try again.\n",
                     output.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace varlowe::cli
