#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "engine/diagnostics.h"
#include "engine/sip/sip_framing.h"

using namespace varlowe;

namespace {

const uint8_t* bytes(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

// The search as first described: restart a C-string search at every offset.
std::optional<size_t> quadraticFindSipStart(const std::string& run) {
    const size_t length = run.size();
    if (length <= 16) {
        return std::nullopt;
    }
    std::string text = run + '\0';
    const char* base = text.c_str();
    for (size_t offset = 0; offset + 9 < length; ++offset) {
        if (const char* hit = std::strstr(base + offset, "SIP/2.0 ")) {
            return static_cast<size_t>(hit - base);
        }
    }
    static const char* const methods[] = {"INVITE",  "ACK",       "NOTIFY", "BYE",
                                          "OPTIONS", "PING",      "REFER",  "MESSAGE",
                                          "PUBLISH", "SUBSCRIBE", "INFO"};
    auto isMethodAt = [&](size_t p) {
        for (const char* m : methods) {
            if (length - p >= std::strlen(m) && std::memcmp(base + p, m, std::strlen(m)) == 0) {
                return true;
            }
        }
        return false;
    };
    auto blank = [&](size_t p) { return base[p] == ' ' || base[p] == '\t'; };
    for (size_t offset = 0; offset + 10 < length; ++offset) {
        const char* hit = std::strstr(base + offset, "SIP/2.0\r\n");
        if (hit == nullptr) {
            continue;
        }
        size_t p = static_cast<size_t>(hit - base);
        if (p == 0)
            return std::nullopt;
        --p;
        if (blank(p)) {
            while (p > 0 && blank(p)) --p;
            while (p > 0 && !blank(p)) --p;
            if (p == 0)
                return std::nullopt;
        }
        if (p == 0)
            return std::nullopt;
        --p;
        while (p > 0 && !isMethodAt(p)) --p;
        if (!isMethodAt(p))
            return std::nullopt;
        return p;
    }
    return std::nullopt;
}

}  // namespace

TEST(FindSipStart, FindsStartLinesBehindBinaryBytes) {
    std::string status = std::string("\x01\x00\x02\x00", 4) + "junkSIP/2.0 200 OK\r\n\r\n";
    EXPECT_EQ(findSipStart(bytes(status), status.size()).value_or(999), 8u);
    std::string request =
        std::string("\x17\x00\xff", 3) + "xINVITE sip:bob@h SIP/2.0\r\nVia: x\r\n";
    EXPECT_EQ(findSipStart(bytes(request), request.size()).value_or(999), 4u);
    // Status lines are preferred even when a request line comes first.
    std::string both = "\x01\x02INVITE sip:a SIP/2.0\r\nVia: SIP/2.0 x\r\n";
    EXPECT_EQ(findSipStart(bytes(both), both.size()).value_or(999), 29u);
    std::string tooShort = "SIP/2.0 200 OK\r\n";  // 16 bytes
    EXPECT_FALSE(findSipStart(bytes(tooShort), tooShort.size()).has_value());
    std::string unknownMethod = "\x01\x02WHATEVER sip:a SIP/2.0\r\n\r\n";
    EXPECT_FALSE(findSipStart(bytes(unknownMethod), unknownMethod.size()).has_value());
}

// The linear search must give exactly what restarting at every offset gives, on inputs made
// of the pieces that matter: patterns, method names, blanks, tabs, zero bytes.
TEST(FindSipStart, AgreesWithTheRestartAtEveryOffsetSearch) {
    const std::vector<std::string> pieces = {
        "SIP/2.0 ", "SIP/2.0\r\n",        "SIP/2.0", "INVITE",  "BYE",  "INFO",    " ",
        "\t",       std::string(1, '\0'), "x",       "sip:a@b", "\r\n", "SUBSCRIB"};
    std::mt19937 random(12345);
    int found = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string run;
        int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            run += pieces[random() % pieces.size()];
        }
        auto expected = quadraticFindSipStart(run);
        auto actual = findSipStart(bytes(run), run.size());
        ASSERT_EQ(actual, expected) << "input of " << run.size() << " bytes, round " << round;
        found += expected.has_value();
    }
    EXPECT_GT(found, 1000);  // the generator reaches both outcomes often
}

TEST(MessageExtent, CompleteMessagesAndWhatFollows) {
    std::string one = "BYE sip:a SIP/2.0\r\nContent-Length: 4\r\n\r\nbody";
    MessageExtent exact = messageExtent(bytes(one), one.size(), false);
    EXPECT_TRUE(exact.complete);
    EXPECT_EQ(exact.start, 0u);
    EXPECT_EQ(exact.end, one.size());
    EXPECT_TRUE(exact.endsAtEnd);

    std::string two = one + "SIP/2.0 200 OK\r\nl: 0\r\n\r\n";
    MessageExtent first = messageExtent(bytes(two), two.size(), false);
    EXPECT_TRUE(first.complete);
    EXPECT_EQ(first.end, one.size());
    EXPECT_FALSE(first.endsAtEnd);
    std::string rest = two.substr(first.end);
    MessageExtent second = messageExtent(bytes(rest), rest.size(), false);
    EXPECT_TRUE(second.complete);  // compact length header
    EXPECT_TRUE(second.endsAtEnd);
}

TEST(MessageExtent, IncompleteRuns) {
    for (const std::string& run : {
             std::string("BYE sip:a SIP/2.0\r\nCall-ID: x\r\n\r\n"),         // no length
             std::string("BYE sip:a SIP/2.0\r\nContent-Length: 0\r\n"),      // no empty line
             std::string("BYE sip:a SIP/2.0\r\nContent-Length: "),           // value missing
             std::string("BYE sip:a SIP/2.0\r\nContent-length: 0\r\n\r\n"),  // other spelling
             std::string("Call-ID: x\r\nVia: SIP/2.0/TCP\r\nl: 0\r\n\r\n"),  // no start line
         }) {
        SCOPED_TRACE(run);
        ScopedDiagnosticsCapture diagnostics;
        MessageExtent extent = messageExtent(bytes(run), run.size(), false);
        EXPECT_FALSE(extent.complete);
        EXPECT_EQ(diagnostics.text(), "");
    }
}

TEST(MessageExtent, ShortBodyTellsHowMuchIsNeededAndWritesNothing) {
    std::string run = "INVITE sip:a SIP/2.0\r\nContent-Length: 10\r\n\r\n12345";
    ScopedDiagnosticsCapture diagnostics;
    MessageExtent extent = messageExtent(bytes(run), run.size(), false);
    EXPECT_FALSE(extent.complete);
    EXPECT_EQ(extent.neededLength, run.size() + 5);
    EXPECT_EQ(diagnostics.text(), "");  // the assembler says it, once per message
}

TEST(MessageExtent, ALengthThatIsNoNumberCountsAsZero) {
    for (const char* value : {"-5", "abc", "12abc", "", "+3"}) {
        std::string run = std::string("BYE sip:a SIP/2.0\r\nContent-Length: ") + value +
                          "\r\nCall-ID: x\r\n\r\nSIP/2.0 200 OK\r\n";
        SCOPED_TRACE(run);
        MessageExtent extent = messageExtent(bytes(run), run.size(), false);
        EXPECT_TRUE(extent.complete);
        EXPECT_TRUE(extent.invalidLength);
        EXPECT_EQ(extent.lengthText, value);
        EXPECT_EQ(extent.end, run.find("SIP/2.0 200"));
    }
    std::string blanks = "BYE sip:a SIP/2.0\r\nContent-Length: \t 2 \r\n\r\nok";
    MessageExtent valid = messageExtent(bytes(blanks), blanks.size(), false);
    EXPECT_TRUE(valid.complete);
    EXPECT_FALSE(valid.invalidLength);
    EXPECT_EQ(valid.end, blanks.size());
}

TEST(MessageExtent, EncapsulatedStartOnlyWithTheSwitch) {
    std::string run =
        std::string("\x05\x00\x07", 3) + "abcdefghINFO sip:a SIP/2.0\r\nl: 2\r\n\r\nok";
    EXPECT_FALSE(messageExtent(bytes(run), run.size(), false).complete);
    MessageExtent extent = messageExtent(bytes(run), run.size(), true);
    EXPECT_TRUE(extent.complete);
    EXPECT_EQ(extent.start, 11u);
    EXPECT_EQ(extent.end, run.size());
}
