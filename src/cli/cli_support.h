#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sip/parsing_options.h"

namespace varlowe {
struct PacketRecord;
class ItemPacket;
class AnalysisModel;
struct AnalysisItem;
}  // namespace varlowe

namespace varlowe::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Subcommand {
    const char* name;
    const char* summary;  // one line for the overview
    const char* usage;    // full help text of the subcommand
    int (*run)(const std::vector<std::string>& arguments);
};

const std::vector<Subcommand>& subcommands();

// Splits a subcommand's arguments into known flags and positional operands.
class ArgumentParser {
  public:
    ArgumentParser(const Subcommand& command, const std::vector<std::string>& arguments);

    // Declares a flag; returns a reference that becomes true when it is given.
    bool& flag(const std::string& name);
    // Declares an option taking a value ("-o FILE" or "--stream=N" or "--stream N").
    std::string& option(const std::string& name, const std::string& alias = "");
    // An option that may be given several times; every value in order.
    std::vector<std::string>& repeatable(const std::string& name);
    // Whether the option was on the command line (its value may still be empty).
    bool given(const std::string& name) const;

    // Parses; the exit status when the subcommand must stop here (usage error or --help).
    std::optional<int> parseOrExit(size_t minOperands, size_t maxOperands);
    const std::vector<std::string>& operands() const { return operands_; }

  private:
    // False after printing a usage error; `helpShown` becomes true when --help printed the usage.
    bool parse(size_t minOperands, size_t maxOperands, bool& helpShown);

    const Subcommand& command_;
    std::vector<std::string> arguments_;
    std::vector<std::pair<std::string, bool*>> flags_;
    struct Option {
        std::string name;
        std::string alias;
        std::string* value;
        bool given = false;
        std::vector<std::string>* values = nullptr;
    };
    std::vector<Option> options_;
    std::vector<std::unique_ptr<bool>> flagStore_;
    std::vector<std::unique_ptr<std::string>> optionStore_;
    std::vector<std::unique_ptr<std::vector<std::string>>> repeatedStore_;
    std::vector<std::string> operands_;
};

int usageError(const Subcommand& command, const std::string& message);

// The seven parsing switches that every subcommand takes; the defaults are the program's.
extern const char* const kParsingOptionsHelp;
class ParsingFlags {
  public:
    explicit ParsingFlags(ArgumentParser& parser);
    ParsingOptions options() const;

  private:
    bool& noUdp_;
    bool& noTcp_;
    bool& noSip_;
    bool& noRtp_;
    bool& noRtcp_;
    bool& noSturn_;
    bool& encapsulated_;
    bool& noHep_;
    bool& noSymmetric_;
};

// A --stream value: a number from 1; none when the text is not one.
std::optional<long> streamNumber(const std::string& text);
// The stream items in diagram order: what --stream N counts from 1.
std::vector<const AnalysisItem*> streamItems(const AnalysisModel& model);

// Runs the analysis pass; prints the open failure and returns nullptr when the capture
// cannot be read.
std::unique_ptr<AnalysisModel> analyseCapture(const std::string& path,
                                              const ParsingOptions& options);
// Parses the arguments (one capture operand) and analyses the capture; the exit status when
// the subcommand stops here (usage error, --help, unreadable capture).
std::optional<int> parseAndAnalyse(ArgumentParser& parser, const ParsingFlags& parsing,
                                   std::unique_ptr<AnalysisModel>& model);

// With Call-IDs given, shows only the items of those sessions (every item otherwise).
void showOnlyCalls(AnalysisModel& model, const std::vector<std::string>& callIds);

class OutputBuffer;
// Writes "NUMBER TIME KIND SOURCE:PORT > DESTINATION:PORT " for a packet.
void putPacketPrefix(OutputBuffer& out, const PacketRecord& packet, const char* kind);
void putPacketPrefix(OutputBuffer& out, const ItemPacket& packet, const char* kind);

// Collects output in a large buffer and writes it in big blocks.
class OutputBuffer {
  public:
    explicit OutputBuffer(std::FILE* stream = stdout) : stream_(stream) { text_.reserve(1 << 16); }
    ~OutputBuffer() { flush(); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    OutputBuffer& put(const char* data, size_t length) {
        text_.append(data, length);
        if (text_.size() >= (1 << 16)) {
            flush();
        }
        return *this;
    }
    OutputBuffer& put(std::string_view text) { return put(text.data(), text.size()); }
    OutputBuffer& put(char c) { return put(&c, 1); }
    // Write errors stay on the stream's error flag, which the tool checks before it exits.
    void flush() {
        if (!text_.empty()) {
            std::fwrite(text_.data(), 1, text_.size(), stream_);
            text_.clear();
        }
    }

  private:
    std::FILE* stream_;
    std::string text_;
};

}  // namespace varlowe::cli
