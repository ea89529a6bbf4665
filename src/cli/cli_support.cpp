#include "cli_support.h"

#include "engine/capture/byte_order.h"
#include "engine/capture/packet_record.h"
#include "engine/capture/packet_time.h"
#include "engine/sip/analysis_model.h"
#include "engine/sip/call_list.h"
#include "engine/sip/packet_analysis_driver.h"

namespace varlowe::cli {

const char* const kParsingOptionsHelp =
    "Parsing switches (as in Varlowe's preferences):\n"
    "  --no-udp        skip UDP datagrams\n"
    "  --no-tcp        skip TCP segments\n"
    "  --no-sip        do not look for SIP\n"
    "  --no-rtp        do not attribute RTP (nor RTCP) to streams\n"
    "  --no-rtcp       do not decode RTCP\n"
    "  --no-sturn      do not look for STUN/TURN\n"
    "  --encapsulated  look for SIP start lines inside other bytes of TCP streams\n"
    "  --no-hep        read UDP port 9060 as it is, not as HEP-encapsulated packets\n"
    "  --no-symmetric  measure only streams towards announced addresses, not also the flows\n"
    "                  an announced address and port send from\n";

ParsingFlags::ParsingFlags(ArgumentParser& parser)
    : noUdp_(parser.flag("--no-udp")),
      noTcp_(parser.flag("--no-tcp")),
      noSip_(parser.flag("--no-sip")),
      noRtp_(parser.flag("--no-rtp")),
      noRtcp_(parser.flag("--no-rtcp")),
      noSturn_(parser.flag("--no-sturn")),
      encapsulated_(parser.flag("--encapsulated")),
      noHep_(parser.flag("--no-hep")),
      noSymmetric_(parser.flag("--no-symmetric")) {}

ParsingOptions ParsingFlags::options() const {
    ParsingOptions options;
    options.includeUdp = !noUdp_;
    options.includeTcp = !noTcp_;
    options.includeSip = !noSip_;
    options.includeRtp = !noRtp_;
    options.includeRtcp = !noRtcp_;
    options.includeSturn = !noSturn_;
    options.includeEncapsulated = encapsulated_;
    options.includeHep = !noHep_;
    options.measureFromAnnounced = !noSymmetric_;
    return options;
}

std::optional<int> parseAndAnalyse(ArgumentParser& parser, const ParsingFlags& parsing,
                                   std::unique_ptr<AnalysisModel>& model) {
    if (std::optional<int> exit = parser.parseOrExit(1, 1)) {
        return exit;
    }
    model = analyseCapture(parser.operands()[0], parsing.options());
    return model ? std::nullopt : std::optional<int>(kExitFailure);
}

std::unique_ptr<AnalysisModel> analyseCapture(const std::string& path,
                                              const ParsingOptions& options) {
    PacketAnalysisDriver driver(options, nullptr, nullptr);
    AnalysisResult result = driver.analyse(path, false);
    if (result.outcome != AnalysisOutcome::Analysed) {
        std::fprintf(stderr, "%s\n", openFailureMessage(path, result.failureReason).c_str());
        return nullptr;
    }
    if (!result.model->readNote().empty()) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), result.model->readNote().c_str());
    }
    for (const std::string& reason : result.model->emptyReasons()) {
        std::fprintf(stderr, "%s\n", reason.c_str());
    }
    return std::move(result.model);
}

ArgumentParser::ArgumentParser(const Subcommand& command, const std::vector<std::string>& arguments)
    : command_(command), arguments_(arguments) {}

bool& ArgumentParser::flag(const std::string& name) {
    flagStore_.push_back(std::make_unique<bool>(false));
    flags_.emplace_back(name, flagStore_.back().get());
    return *flagStore_.back();
}

std::string& ArgumentParser::option(const std::string& name, const std::string& alias) {
    optionStore_.push_back(std::make_unique<std::string>());
    options_.push_back(Option{name, alias, optionStore_.back().get()});
    return *optionStore_.back();
}

std::vector<std::string>& ArgumentParser::repeatable(const std::string& name) {
    optionStore_.push_back(std::make_unique<std::string>());
    repeatedStore_.push_back(std::make_unique<std::vector<std::string>>());
    options_.push_back(
        Option{name, "", optionStore_.back().get(), false, repeatedStore_.back().get()});
    return *repeatedStore_.back();
}

void showOnlyCalls(AnalysisModel& model, const std::vector<std::string>& callIds) {
    if (!callIds.empty()) {
        model.setVisible(itemsOfCalls(model, callIds));
    }
}

bool ArgumentParser::given(const std::string& name) const {
    for (const Option& option : options_) {
        if (option.name == name) {
            return option.given;
        }
    }
    return false;
}

bool ArgumentParser::parse(size_t minOperands, size_t maxOperands, bool& helpShown) {
    helpShown = false;
    bool onlyOperands = false;
    for (size_t i = 0; i < arguments_.size(); ++i) {
        const std::string& argument = arguments_[i];
        if (onlyOperands || argument == "-" || argument.empty() || argument[0] != '-') {
            operands_.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyOperands = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            std::fputs(command_.usage, stdout);
            std::fprintf(stdout, "\n%s", kParsingOptionsHelp);
            helpShown = true;
            return true;
        }
        bool known = false;
        for (auto& [name, target] : flags_) {
            if (argument == name) {
                *target = true;
                known = true;
            }
        }
        for (Option& option : options_) {
            std::string given = argument;
            std::string value;
            bool inlineValue = false;
            size_t equals = argument.find('=');
            if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
                given = argument.substr(0, equals);
                value = argument.substr(equals + 1);
                inlineValue = true;
            }
            if (given != option.name && (option.alias.empty() || given != option.alias)) {
                continue;
            }
            if (!inlineValue) {
                if (i + 1 >= arguments_.size()) {
                    usageError(command_, "option " + given + " needs a value");
                    return false;
                }
                value = arguments_[++i];
            }
            *option.value = value;
            if (option.values != nullptr) {
                option.values->push_back(value);
            }
            option.given = true;
            known = true;
        }
        if (!known) {
            usageError(command_, "unknown option " + argument);
            return false;
        }
    }
    if (operands_.size() < minOperands) {
        usageError(command_, "missing capture file");
        return false;
    }
    if (operands_.size() > maxOperands) {
        usageError(command_, "too many arguments");
        return false;
    }
    return true;
}

namespace {
void putPrefix(OutputBuffer& out, uint32_t number, PacketTime time,
               const std::string& sourceAddress, const std::string& sourcePort,
               const std::string& destinationAddress, const std::string& destinationPort,
               const char* kind) {
    char text[48];
    size_t length = formatUnsigned(number, text);
    text[length++] = ' ';
    length += static_cast<size_t>(formatPacketTime(time, text + length, sizeof text - length));
    out.put(text, length).put(' ').put(kind).put(' ');
    // An IPv6 address goes in brackets before its port.
    auto putEndpoint = [&out](const std::string& address, const std::string& port) {
        if (address.find(':') != std::string::npos) {
            out.put('[').put(address).put(']');
        } else {
            out.put(address);
        }
        out.put(':').put(port);
    };
    putEndpoint(sourceAddress, sourcePort);
    out.put(" > ", 3);
    putEndpoint(destinationAddress, destinationPort);
    out.put(' ');
}
}  // namespace

void putPacketPrefix(OutputBuffer& out, const PacketRecord& packet, const char* kind) {
    putPrefix(out, packet.number, packet.time(), packet.sourceAddress, packet.sourcePort,
              packet.destinationAddress, packet.destinationPort, kind);
}

void putPacketPrefix(OutputBuffer& out, const ItemPacket& packet, const char* kind) {
    putPrefix(out, packet.number, packet.time(), packet.sourceAddress(), packet.sourcePort(),
              packet.destinationAddress(), packet.destinationPort(), kind);
}

std::optional<int> ArgumentParser::parseOrExit(size_t minOperands, size_t maxOperands) {
    bool helpShown = false;
    if (!parse(minOperands, maxOperands, helpShown)) {
        return kExitUsage;
    }
    if (helpShown) {
        return kExitOk;
    }
    return std::nullopt;
}

int usageError(const Subcommand& command, const std::string& message) {
    std::fprintf(stderr, "varlowe-cli %s: %s\n\n%s\n%s", command.name, message.c_str(),
                 command.usage, kParsingOptionsHelp);
    return kExitUsage;
}

}  // namespace varlowe::cli
