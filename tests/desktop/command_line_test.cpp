// `varlowe --help` and `--version` answered before the toolkit, so without a display.
#include "desktop/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/product_info.h"

using namespace varlowe;

namespace {

struct Answer {
    std::optional<int> status;
    std::string text;
};

Answer answer(std::initializer_list<const char*> arguments) {
    std::vector<const char*> argv{"varlowe"};
    argv.insert(argv.end(), arguments);
    std::FILE* out = std::tmpfile();
    Answer got;
    got.status = answerWithoutDisplay(static_cast<int>(argv.size()), argv.data(), out);
    std::rewind(out);
    char buffer[4096];
    const size_t read = std::fread(buffer, 1, sizeof buffer, out);
    got.text.assign(buffer, read);
    std::fclose(out);
    return got;
}

}  // namespace

TEST(DesktopCommandLine, HelpAndVersionAreAnsweredAndEverythingElseIsLeftToTheToolkit) {
    const Answer version = answer({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.text, std::string("varlowe ") + kProductVersion + "\n");
    for (const char* help : {"--help", "-h"}) {
        const Answer usage = answer({"a.pcap", help});
        EXPECT_EQ(usage.status, 0) << help;
        EXPECT_EQ(usage.text.rfind("Usage: varlowe [OPTIONS] [CAPTURE...]\n", 0), 0u) << help;
        EXPECT_NE(usage.text.find("--export-image OUT"), std::string::npos);
    }
    // Captures, other options, and a file named like an option after "--".
    EXPECT_FALSE(answer({}).status);
    EXPECT_FALSE(answer({"a.pcap", "b.pcapng"}).status);
    EXPECT_FALSE(answer({"--export-image", "x.png", "a.pcap"}).status);
    const Answer named = answer({"--", "--help"});
    EXPECT_FALSE(named.status);
    EXPECT_TRUE(named.text.empty());
}
