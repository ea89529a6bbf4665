#include <cinttypes>

#include "cli_commands.h"
#include "cli_support.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_model.h"

namespace varlowe::cli {

const char* const kMessagesUsage =
    "Usage: varlowe-cli messages [OPTIONS] CAPTURE\n"
    "\n"
    "Lists the items of the analysed capture, one line each, in the order of the diagram:\n"
    "  NUMBER TIME SIP SOURCE:PORT > DESTINATION:PORT START-LINE\n"
    "  NUMBER TIME STUN SOURCE:PORT > DESTINATION:PORT MSG_TYPE TRANSACTION_ID\n"
    "  NUMBER TIME MEDIA SOURCE:PORT > DESTINATION:PORT MEDIA/ENCODING 0xSSRC\n"
    "A SIP message assembled from several TCP segments carries the number and time of its\n"
    "first segment; a MEDIA line is the first packet of an RTP stream announced by SDP.\n"
    "\n"
    "Options:\n"
    "  --call-id ID    only the items of that session (may be given again)\n"
    "  --help          show this text\n";

int runMessages(const std::vector<std::string>& arguments) {
    const Subcommand& command = findSubcommand("messages");
    ArgumentParser parser(command, arguments);
    ParsingFlags parsing(parser);
    std::vector<std::string>& callIds = parser.repeatable("--call-id");
    std::unique_ptr<AnalysisModel> model;
    if (std::optional<int> exit = parseAndAnalyse(parser, parsing, model)) {
        return *exit;
    }
    showOnlyCalls(*model, callIds);
    OutputBuffer out;
    for (size_t row = 0; row < model->rowCount(); ++row) {
        const AnalysisItem& item = *model->itemAtRow(RowIndex(row));
        switch (item.kind) {
            case ItemKind::Sip:
                putPacketPrefix(out, item.packet, "SIP");
                out.put(item.sip->startLine()).put('\n');
                break;
            case ItemKind::Stun: {
                const std::string* type = item.stun->find("MSG_TYPE");
                const std::string* id = item.stun->find("TRANSACTION_ID");
                putPacketPrefix(out, item.packet, "STUN");
                out.put(type ? *type : "").put(' ').put(id ? *id : "").put('\n');
                break;
            }
            case ItemKind::Media: {
                const RtpStream& stream = *item.stream;
                char ssrc[16];
                std::snprintf(ssrc, sizeof ssrc, "0x%08" PRIX32, stream.ssrc);
                putPacketPrefix(out, item.packet, "MEDIA");
                out.put(stream.mediaName).put('/').put(stream.encodingName).put(' ').put(ssrc);
                out.put('\n');
                break;
            }
        }
    }
    return kExitOk;
}

}  // namespace varlowe::cli
