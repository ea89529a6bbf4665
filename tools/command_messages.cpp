#include "cli_commands.h"
#include "cli_support.h"
#include "media/stun_decoder.h"
#include "sip/packet_classification.h"
#include "sip/parsing_options.h"
#include "sip/sip_message.h"
#include "sip/sip_stream_assembler.h"

namespace varlowe::cli {

const char* const kMessagesUsage =
    "Usage: varlowe-cli messages [OPTIONS] CAPTURE\n"
    "\n"
    "Lists every SIP and STUN/TURN message, one line each, in the order the analysis sees them:\n"
    "  NUMBER TIME SIP SOURCE:PORT > DESTINATION:PORT START-LINE\n"
    "  NUMBER TIME STUN SOURCE:PORT > DESTINATION:PORT MSG_TYPE TRANSACTION_ID\n"
    "A SIP message assembled from several TCP segments carries the number and time of its\n"
    "first segment.\n"
    "\n"
    "Options:\n"
    "  --encapsulated  look for SIP start lines inside other bytes of TCP streams\n"
    "  --no-sip        do not look for SIP\n"
    "  --no-sturn      do not look for STUN/TURN\n"
    "  --no-udp        skip UDP datagrams\n"
    "  --no-tcp        skip TCP segments\n"
    "  --help          show this text\n";

int runMessages(const std::vector<std::string>& arguments) {
    const Subcommand& command = findSubcommand("messages");
    ArgumentParser parser(command, arguments);
    bool& encapsulated = parser.flag("--encapsulated");
    bool& noSip = parser.flag("--no-sip");
    bool& noSturn = parser.flag("--no-sturn");
    bool& noUdp = parser.flag("--no-udp");
    bool& noTcp = parser.flag("--no-tcp");
    if (std::optional<int> exit = parser.parseOrExit(1, 1)) {
        return *exit;
    }
    ParsingOptions options;
    options.includeEncapsulated = encapsulated;
    options.includeSip = !noSip;
    options.includeSturn = !noSturn;
    options.includeUdp = !noUdp;
    options.includeTcp = !noTcp;

    SipStreamAssembler assembler;
    assembler.setIncludeEncapsulated(options.includeEncapsulated);
    assembler.reader().setIncludeUdp(options.includeUdp);
    assembler.reader().setIncludeTcp(options.includeTcp);
    if (!assembler.open(parser.operands()[0])) {
        std::fprintf(stderr, "%s\n", kOpenFailureMessage);
        return kExitFailure;
    }
    OutputBuffer out;
    while (std::optional<PacketRecord> packet = assembler.nextPacket()) {
        PacketClass kind = classifyPacket(*packet, options.includeSip, options.includeSturn);
        if (kind.kind == PacketKind::Sip) {
            SipMessage message = SipMessage::parse(packet->payloadText() + kind.sipStart,
                                                   packet->payloadLength - kind.sipStart);
            putPacketPrefix(out, *packet, "SIP");
            out.put(message.startLine()).put('\n');
        } else if (kind.kind == PacketKind::Stun) {
            std::unique_ptr<NameValuePair> pairs =
                decodeStunMessage(packet->payloadData(), packet->payloadLength);
            if (pairs == nullptr) {
                continue;
            }
            putPacketPrefix(out, *packet, "STUN");
            out.put(*pairs->find("MSG_TYPE"))
                .put(' ')
                .put(*pairs->find("TRANSACTION_ID"))
                .put('\n');
        }
    }
    return kExitOk;
}

}  // namespace varlowe::cli
