#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "support/capture_builder.h"
#include "support/media_test_util.h"

using namespace varlowe::testsupport;

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs varlowe-cli with a shell-quoted argument text.
CliRun runCli(const std::string& arguments) {
    TempFile errFile("stderr.txt");
    std::string command = std::string(VARLOWE_CLI) + " " + arguments + " 2>" + errFile.path();
    CliRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> chunk;
    size_t got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        run.out.append(chunk.data(), got);
    }
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = fileText(errFile.path());
    return run;
}

constexpr uint32_t kA = ipv4(127, 0, 0, 1);
constexpr uint32_t kB = ipv4(127, 0, 0, 2);

}  // namespace

TEST(CliPackets, ListsOneLinePerPacket) {
    CaptureBuilder builder;
    builder.add(udpFrame(kA, 5060, kB, 5062, bytesOf("hello")), 1700000000, 42);
    builder.add(ethernetFrame(Bytes(28, 0), 0x0806));
    builder.add(tcpFrame(kB, 5061, kA, 45000, bytesOf("0123456789")), 1700000001, 999999);
    TempFile file;
    builder.writeTo(file.path());
    CliRun run = runCli("packets " + file.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "1 1700000000.000042 UDP 127.0.0.1:5060 > 127.0.0.2:5062 5\n"
              "3 1700000001.999999 TCP 127.0.0.2:5061 > 127.0.0.1:45000 10\n");
    EXPECT_EQ(run.err, "");

    CliRun noTcp = runCli("packets --no-tcp " + file.path());
    EXPECT_EQ(noTcp.out, "1 1700000000.000042 UDP 127.0.0.1:5060 > 127.0.0.2:5062 5\n");
    CliRun noUdp = runCli("packets " + file.path() + " --no-udp");
    EXPECT_EQ(noUdp.out, "3 1700000001.999999 TCP 127.0.0.2:5061 > 127.0.0.1:45000 10\n");
    CliRun count = runCli("packets --count " + file.path());
    EXPECT_EQ(count.out, "packets 2\npayload-bytes 15\n");
}

TEST(CliPackets, TimesAfter2038StayPositive) {
    CaptureBuilder builder;
    builder.add(udpFrame(kA, 1, kB, 2, bytesOf("a")), 2147483647u, 999999);
    builder.add(udpFrame(kA, 1, kB, 2, bytesOf("b")), 2147483648u, 0);
    TempFile file;
    builder.writeTo(file.path());
    CliRun run = runCli("packets " + file.path());
    EXPECT_EQ(run.out,
              "1 2147483647.999999 UDP 127.0.0.1:1 > 127.0.0.2:2 1\n"
              "2 2147483648.000000 UDP 127.0.0.1:1 > 127.0.0.2:2 1\n");
}

TEST(CliPackets, UnreadableFileReportsBothLinesAndExitsWithOne) {
    TempFile file("not-a-capture.txt");
    file.write(bytesOf("this is not a capture file at all"));
    CliRun run = runCli("packets " + file.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "PCAP: Invalid pcap file: " + file.path() +
                  "\n\nUnable to open or parse the specified file.  Please verify the file exists "
                  "and that it is a libpcap/Ethereal file.\n\n" +
                  file.path() + ": not a libpcap or pcapng capture file\n");
}

TEST(CliPackets, DiagnosticsGoToStandardError) {
    IpFields broken;
    broken.headerLengthWords = 0;
    CaptureBuilder builder;
    builder.add(udpFrame(kA, 1, kB, 2, bytesOf("ok")));
    builder.add(udpFrame(kA, 1, kB, 2, bytesOf("bad"), broken));
    TempFile file;
    builder.writeTo(file.path());
    CliRun run = runCli("packets " + file.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1 0.000000 UDP 127.0.0.1:1 > 127.0.0.2:2 2\n");
    EXPECT_EQ(run.err, "Packet 2: Unable to read ip header\n");
}

TEST(CliUsage, ErrorsExitWithTwoAndHelpWithZero) {
    for (const char* arguments :
         {"", "packets", "packets --bogus x.pcap", "packets a.pcap b.pcap", "frobnicate x.pcap"}) {
        SCOPED_TRACE(arguments);
        CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("Usage: varlowe-cli"), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
    CliRun help = runCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("packets"), std::string::npos);
    CliRun packetsHelp = runCli("packets --help");
    EXPECT_EQ(packetsHelp.status, 0);
    EXPECT_NE(packetsHelp.out.find("--no-udp"), std::string::npos);
    EXPECT_NE(packetsHelp.out.find("--count"), std::string::npos);
}

namespace {

// An INVITE from 127.0.0.2 announcing 127.0.0.1:4000 (pcma) and its 200 OK announcing
// 127.0.0.2 with the port and formats given.
void addOfferAndAnswer(CaptureBuilder& builder, int answerPort, const std::string& formats) {
    builder.add(udpFrame(kA, 5060, kB, 5060,
                         bytesOf(sipWithSdp("INVITE sip:b@h SIP/2.0", "1 INVITE", "z1",
                                            audioSdp("127.0.0.1", 4000, "8")))),
                1700000000, 0);
    builder.add(udpFrame(kB, 5060, kA, 5060,
                         bytesOf(sipWithSdp("SIP/2.0 200 OK", "1 INVITE", "z1",
                                            audioSdp("127.0.0.2", answerPort, formats), "b"))),
                1700000000, 500);
}

// An INVITE announcing 127.0.0.1:4000 (pcma), its 200 OK announcing 127.0.0.2:5000, and
// three pcma packets each way, 20 ms apart.
std::string writeCall(const TempFile& file) {
    CaptureBuilder builder;
    addOfferAndAnswer(builder, 5000, "8");
    for (uint16_t i = 0; i < 3; ++i) {
        builder.add(udpFrame(kB, 5000, kA, 4000, rtpPacket({8, i, i * 160u, 0xabcdef01})),
                    1700000001, i * 20000);
        builder.add(
            udpFrame(kA, 4000, kB, 5000,
                     rtpPacket({8, i, i * 160u, 0x1234, 160, 0, -1, static_cast<uint8_t>(i)})),
            1700000001, i * 20000 + 100);
    }
    builder.writeTo(file.path());
    return file.path();
}

}  // namespace

// The answer announces a port its media never uses (as a phone behind a NAT does): the
// caller's flow from its announced port to the answerer's real one is still measured.
TEST(CliStreams, TheReverseOfAnAnnouncedStreamIsMeasuredUnlessTurnedOff) {
    CaptureBuilder builder;
    addOfferAndAnswer(builder, 5002, "8");
    for (uint16_t i = 0; i < 4; ++i) {
        builder.add(udpFrame(kB, 5000, kA, 4000, rtpPacket({8, i, i * 160u, 0xabcdef01})),
                    1700000001, i * 20000);
        if (i != 2) {  // one of the caller's packets lost
            builder.add(udpFrame(kA, 4000, kB, 5000, rtpPacket({8, i, i * 160u, 0x1234})),
                        1700000001, i * 20000 + 100);
        }
    }
    TempFile file;
    builder.writeTo(file.path());
    CliRun streams = runCli("streams " + file.path());
    EXPECT_EQ(streams.status, 0) << streams.err;
    EXPECT_NE(streams.out.find("Source : 127.0.0.2:5000\nDestination : 127.0.0.1:4000\n"
                               "Total Packets : 4\n"),
              std::string::npos)
        << streams.out;
    EXPECT_NE(streams.out.find("Source : 127.0.0.1:4000\nDestination : 127.0.0.2:5000\n"
                               "Total Packets : 3\n"),
              std::string::npos)
        << streams.out;
    EXPECT_NE(streams.out.find("Lost Packets : 1 (25.0%)\n"), std::string::npos) << streams.out;
    CliRun strict = runCli("streams --no-symmetric " + file.path());
    EXPECT_EQ(strict.status, 0) << strict.err;
    EXPECT_EQ(strict.out.find("Destination : 127.0.0.2:5000"), std::string::npos) << strict.out;
    EXPECT_NE(strict.out.find("Destination : 127.0.0.1:4000"), std::string::npos) << strict.out;
}

// Recorded with sipp: the caller announced 127.0.0.9 but sends from and receives on
// 127.0.0.2:18000, so only the callee's 127.0.0.1:16000 is announced for both flows. tshark
// lists both directions; so does this tool unless told not to.
TEST(CliStreams, TheRecordedOneSidedCallHasBothDirections) {
    const std::string capture =
        std::string(VARLOWE_SOURCE_DIR) + "/tests/fixtures/sip-call-one-sided.pcap";
    const std::string reverse =
        "Source : 127.0.0.1:16000\nDestination : 127.0.0.2:18000\n"
        "Total Packets : 130\n";
    CliRun streams = runCli("streams " + capture);
    EXPECT_EQ(streams.status, 0) << streams.err;
    EXPECT_NE(streams.out.find(reverse), std::string::npos) << streams.out;
    CliRun strict = runCli("streams --no-symmetric " + capture);
    EXPECT_EQ(strict.out.find("Destination : 127.0.0.2:18000"), std::string::npos);
    EXPECT_NE(strict.out.find("Destination : 127.0.0.1:16000"), std::string::npos);
}

// A receiver report naming a sender report the capture holds gives the round trip: from the
// SR's arrival to the report's, less the delay the reporter held it (1311/65536 s).
TEST(CliStreams, RoundTripFromTheReportThatNamesASenderReport) {
    CaptureBuilder builder;
    addOfferAndAnswer(builder, 5000, "8");
    for (uint16_t i = 0; i < 3; ++i) {
        builder.add(udpFrame(kB, 5000, kA, 4000, rtpPacket({8, i, i * 160u, 0xabcdef01})),
                    1700000001, i * 20000);
        builder.add(udpFrame(kA, 4000, kB, 5000, rtpPacket({8, i, i * 160u, 0x1234})), 1700000001,
                    i * 20000 + 100);
    }
    auto word = [](Bytes& b, uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
    };
    // B's sender report, NTP 0x00012345.0xABCD0000: its middle bits are 0x2345ABCD.
    Bytes sr = {0x80, 200, 0, 6};
    for (uint32_t v : {0xabcdef01u, 0x00012345u, 0xABCD0000u, 480u, 3u, 480u}) word(sr, v);
    builder.add(udpFrame(kB, 5001, kA, 4001, sr), 1700000002, 0);
    auto receiverReport = [&](uint32_t lastSr) {
        Bytes rr = {0x81, 201, 0, 7};
        for (uint32_t v : {0x1234u, 0xabcdef01u, 0u, 2u, 0u, lastSr, 1311u}) word(rr, v);
        return rr;
    };
    builder.add(udpFrame(kA, 4001, kB, 5001, receiverReport(0x2345ABCD)), 1700000002, 30000);
    builder.add(udpFrame(kA, 4001, kB, 5001, receiverReport(0x11111111)), 1700000002, 60000);
    TempFile file;
    builder.writeTo(file.path());
    CliRun streams = runCli("streams " + file.path());
    EXPECT_EQ(streams.status, 0) << streams.err;
    EXPECT_NE(streams.out.find("Destination : 127.0.0.2:5000\n"), std::string::npos);
    EXPECT_NE(streams.out.find("Mean Round Trip (ms) : 9.996\nMax Round Trip (ms) : 9.996\n"),
              std::string::npos)
        << streams.out;
    EXPECT_EQ(streams.out.find("Round Trip", streams.out.find("Round Trip") + 40),
              std::string::npos)
        << "only the stream the reports came to has round trips";
}

// A lost packet is one packet of silence; two streams are the channels of one file.
TEST(CliAudio, ALostPacketIsSilenceAndTwoStreamsAreTwoChannels) {
    CaptureBuilder builder;
    addOfferAndAnswer(builder, 5000, "0");
    for (uint16_t i = 0; i < 4; ++i) {
        if (i != 2) {
            builder.add(udpFrame(kB, 5000, kA, 4000,
                                 rtpPacket({8, static_cast<uint16_t>(65534 + i), i * 160u, 0x77,
                                            160, 0, -1, 0x55})),
                        1700000001, i * 20000);
        }
        builder.add(
            udpFrame(kA, 4000, kB, 5000, rtpPacket({0, i, i * 160u, 0x88, 160, 0, -1, 0x00})),
            1700000001, 10000 + i * 20000);
    }
    TempFile capture;
    builder.writeTo(capture.path());
    TempFile wav("out.wav");
    CliRun mono = runCli("audio --stream 1 -o " + wav.path() + " " + capture.path());
    ASSERT_EQ(mono.status, 0) << mono.err;
    Bytes bytes = wav.read();
    ASSERT_EQ(bytes.size(), 44u + 4 * 160 * 2);  // the header, four packets of samples
    auto sample = [&](size_t index) {
        return static_cast<int16_t>(bytes[44 + 2 * index] | (bytes[45 + 2 * index] << 8));
    };
    EXPECT_EQ(sample(0), -8);  // A-law 0x55
    EXPECT_EQ(sample(319), -8);
    for (size_t i = 320; i < 480; ++i) ASSERT_EQ(sample(i), 0) << i;  // across the wrap
    EXPECT_EQ(sample(480), -8);

    CliRun stereo = runCli("audio --stream 1 --stream 2 -o " + wav.path() + " " + capture.path());
    ASSERT_EQ(stereo.status, 0) << stereo.err;
    bytes = wav.read();
    // The second channel starts 10 ms (80 samples) later: 720 frames of two samples.
    ASSERT_EQ(bytes.size(), 44u + 720 * 2 * 2);
    EXPECT_EQ(bytes[22], 2);  // channels
    EXPECT_EQ(sample(2 * 0), -8);
    EXPECT_EQ(sample(2 * 0 + 1), 0);
    EXPECT_EQ(sample(2 * 80 + 1), -32124);  // mu-law 0x00
    EXPECT_EQ(sample(2 * 719 + 1), -32124);

    EXPECT_EQ(runCli("audio --stream 3 -o " + wav.path() + " " + capture.path()).status, 1);
    EXPECT_EQ(runCli("audio -o " + wav.path() + " " + capture.path()).status, 2);
    EXPECT_EQ(runCli("audio --stream 1 -o " + capture.path() + " " + capture.path()).status, 1);
}

TEST(CliStreams, MessagesStreamsAndExtractOnACall) {
    TempFile file;
    writeCall(file);
    CliRun messages = runCli("messages " + file.path());
    EXPECT_EQ(messages.status, 0);
    EXPECT_NE(messages.out.find("3 1700000001.000000 MEDIA 127.0.0.2:5000 > 127.0.0.1:4000 "
                                "audio/pcma 0xABCDEF01\n"
                                "4 1700000001.000100 MEDIA 127.0.0.1:4000 > 127.0.0.2:5000 "
                                "audio/pcma 0x00001234\n"),
              std::string::npos)
        << messages.out;

    CliRun streams = runCli("streams " + file.path());
    EXPECT_EQ(streams.status, 0);
    const std::string second =
        "Payload: audio/pcma(8)\n"
        "Source : 127.0.0.1:4000\n"
        "Destination : 127.0.0.2:5000\n"
        "Total Packets : 3\n"
        "Out of Order Packets : 0\n"
        "Dropped Packets : 0\n"
        "Elapsed time (s) : 0.040000\n"
        "Total Bytes : 642\n"
        "Average KBytes/Sec : 15.67\n"
        "Average Jitter (ms) : 13.33\n"
        "Start/End Packet # : 4/8\n"
        "Mean Jitter (ms) : 0.000\n"
        "Max Jitter (ms) : 0.000\n"
        "Max Delta (ms) : 20.000\n"
        "Lost Packets : 0 (0.0%)\n"
        "Estimated MOS : 4.4\n"
        "Mean Delta (ms) : 20.000\n"
        "Expected Packets : 3\n"
        "Sequence Errors : 0\n"
        "Duplicate Packets : 0\n"
        "Max Delta at Packet # : 6 (0.020000 s into the stream)\n";
    EXPECT_EQ(streams.out.find("Payload: audio/pcma(8)\nSource : 127.0.0.2:5000\n"), 0u);
    ASSERT_GT(streams.out.size(), second.size() + 1);
    EXPECT_EQ(streams.out.substr(streams.out.size() - second.size() - 2), "\n\n" + second);

    TempFile out("out.raw");
    CliRun extract = runCli("extract --stream 2 -o " + out.path() + " " + file.path());
    EXPECT_EQ(extract.status, 0) << extract.err;
    Bytes expected;
    for (uint8_t i = 0; i < 3; ++i) expected.insert(expected.end(), 160, i);
    EXPECT_EQ(out.read(), expected);
    extract = runCli("extract --rtp-headers --record-headers --stream=1 --output " + out.path() +
                     " " + file.path());
    EXPECT_EQ(extract.status, 0);
    EXPECT_EQ(out.read().size(), 3u * (12 + 172));
}

TEST(CliStreams, ExtractErrorsAreClear) {
    TempFile file;
    writeCall(file);
    TempFile out("out.raw");
    CliRun beyond = runCli("extract --stream 3 -o " + out.path() + " " + file.path());
    EXPECT_EQ(beyond.status, 1);
    EXPECT_NE(beyond.err.find("no stream 3; the capture has 2 streams"), std::string::npos)
        << beyond.err;
    for (const char* stream : {"0", "-1", "99999999999999999999"}) {
        CliRun run = runCli(std::string("extract --stream ") + stream + " -o " + out.path() + " " +
                            file.path());
        EXPECT_EQ(run.status, 2) << stream;
        EXPECT_NE(run.err.find("--stream takes a stream number from 1"), std::string::npos);
    }
    CliRun unwritable =
        runCli("extract --stream 1 -o " + out.folder() + "/missing/x.raw " + file.path());
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("Unable to save RTP contents to a file."), std::string::npos);
    for (const char* arguments :
         {"extract -o x.raw", "extract --stream 1", "extract --stream x -o y"}) {
        CliRun run = runCli(std::string(arguments) + " " + file.path());
        EXPECT_EQ(run.status, 2) << arguments;
    }
    CliRun missing = runCli("streams " + out.folder() + "/none.pcap");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("libpcap/Ethereal file."), std::string::npos);
}

TEST(CliStreams, EverySubcommandTakesTheSevenParsingSwitches) {
    TempFile file;
    writeCall(file);
    const std::string switches =
        " --no-udp --no-tcp --no-sip --no-rtp --no-rtcp --no-sturn --encapsulated ";
    for (const char* command : {"packets", "messages", "streams"}) {
        CliRun run = runCli(command + switches + file.path());
        EXPECT_EQ(run.status, 0) << command << run.err;
        EXPECT_EQ(run.out, "") << command;  // nothing is read without UDP and TCP
    }
    CliRun noRtp = runCli("messages --no-rtp " + file.path());
    EXPECT_EQ(noRtp.out.find("MEDIA"), std::string::npos);
    EXPECT_NE(noRtp.out.find("SIP/2.0 200 OK"), std::string::npos);
    CliRun noSip = runCli("streams --no-sip " + file.path());
    EXPECT_EQ(noSip.out, "");
    CliRun help = runCli("streams --help");
    EXPECT_NE(help.out.find("--no-rtcp"), std::string::npos);
}

TEST(CliExport, WritesTheLadderAndTheLogToAFileOrStandardOutput) {
    TempFile file;
    writeCall(file);
    CliRun out = runCli("export " + file.path());
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out.find("   127.0.0.1                       127.0.0.2\r\n"
                           "   |                               |\r\n"
                           "1: |U------------INVITE----------->|\r\n"
                           "2: |<--------200 OK/INVITE--------U|\r\n"
                           "3: |<--------audio/pcma(8)--------U|\r\n"),
              0u)
        << out.out;
    TempFile exported("export.txt");
    CliRun toFile = runCli("export -o " + exported.path() + " " + file.path());
    EXPECT_EQ(toFile.status, 0);
    EXPECT_EQ(toFile.out, "");
    Bytes bytes = exported.read();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), out.out);
    EXPECT_EQ(runCli("export -o - " + file.path()).out, out.out);

    CliRun logOnly = runCli("export --no-diagram " + file.path());
    EXPECT_EQ(logOnly.out.find("<<<"), 0u);
    EXPECT_EQ(logOnly.out.find("Generated"), std::string::npos);
    CliRun diagramOnly = runCli("export --no-log --no-transport --ports " + file.path());
    EXPECT_NE(diagramOnly.out.find("1: |--5060-------INVITE------5060->|\r\n"), std::string::npos)
        << diagramOnly.out;
    EXPECT_EQ(diagramOnly.out.find("Msg #"), std::string::npos);
}

TEST(CliExport, ACaptureWithoutEndpointsFails) {
    CaptureBuilder builder;
    builder.add(udpFrame(kA, 1, kB, 2, bytesOf("not sip")));
    TempFile file;
    builder.writeTo(file.path());
    CliRun run = runCli("export " + file.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("no endpoint to draw"), std::string::npos);
    // The log alone of nothing is an empty, successful export.
    EXPECT_EQ(runCli("export --no-diagram " + file.path()).status, 0);
    TempFile call;
    writeCall(call);
    CliRun unwritable = runCli("export -o " + call.folder() + "/none/x.txt " + call.path());
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("Unable to save "), std::string::npos);
}

TEST(CliUsage, EverySubcommandDescribesItsOptions) {
    struct Expected {
        const char* command;
        std::vector<const char*> options;
    };
    for (const Expected& e : std::vector<Expected>{
             {"packets", {"--count"}},
             {"messages", {"MEDIA"}},
             {"streams", {"average rate"}},
             {"extract", {"--stream", "--output", "--rtp-headers", "--record-headers"}},
             {"export", {"--output", "--ports", "--no-transport", "--no-diagram", "--no-log"}}}) {
        CliRun help = runCli(std::string(e.command) + " --help");
        EXPECT_EQ(help.status, 0) << e.command;
        EXPECT_EQ(help.out.find(std::string("Usage: varlowe-cli ") + e.command), 0u);
        for (const char* text : e.options) {
            EXPECT_NE(help.out.find(text), std::string::npos) << e.command << " " << text;
        }
        for (const char* parsing : {"--no-udp", "--no-tcp", "--no-sip", "--no-rtp", "--no-rtcp",
                                    "--no-sturn", "--encapsulated"}) {
            EXPECT_NE(help.out.find(parsing), std::string::npos) << e.command << " " << parsing;
        }
        CliRun overview = runCli("--help");
        EXPECT_NE(overview.out.find(std::string("  ") + e.command + " "), std::string::npos);
    }
}

// The manual page must not fall behind the tool: every subcommand and every option that a
// subcommand's --help names appears in it.
TEST(CliUsage, TheManualPageCoversEverySubcommandAndOption) {
    const std::string raw = fileText(std::string(VARLOWE_SOURCE_DIR) + "/docs/varlowe-cli.1");
    ASSERT_FALSE(raw.empty()) << "docs/varlowe-cli.1";
    std::string page;
    for (char c : raw) {
        if (c != '\\')
            page += c;  // "\-" is a plain minus
    }
    for (const char* command : {"packets", "messages", "streams", "extract", "export"}) {
        EXPECT_NE(page.find(std::string(".B ") + command), std::string::npos) << command;
        std::string help = runCli(std::string(command) + " --help").out;
        for (size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
            size_t end = help.find_first_of(" ,\n=", at);
            std::string option = help.substr(at, end - at);
            if (option == "--help" || option.size() <= 2)
                continue;
            EXPECT_NE(page.find(option), std::string::npos) << command << " " << option;
        }
    }
}

TEST(CliOutputs, TheCaptureIsNeverWrittenOver) {
    TempFile file;
    writeCall(file);
    const Bytes capture = file.read();
    const std::string link = file.folder() + "/link.pcap";
    ASSERT_EQ(::symlink(file.path().c_str(), link.c_str()), 0);
    for (const std::string& output : {file.path(), link}) {
        CliRun extract = runCli("extract --stream 1 -o " + output + " " + file.path());
        EXPECT_EQ(extract.status, 1);
        EXPECT_NE(extract.err.find("is the capture being read; not written"), std::string::npos)
            << extract.err;
        CliRun exported = runCli("export -o " + output + " " + link);
        EXPECT_EQ(exported.status, 1);
        EXPECT_NE(exported.err.find("is the capture being read; not written"), std::string::npos);
        EXPECT_EQ(file.read(), capture);
    }
    ::unlink(link.c_str());
}

TEST(CliOutputs, StandardOutputAndItsWriteErrors) {
    TempFile file;
    writeCall(file);
    TempFile out("out.raw");
    ASSERT_EQ(
        runCli("extract --stream 1 --record-headers -o " + out.path() + " " + file.path()).status,
        0);
    CliRun piped = runCli("extract --stream 1 --record-headers -o - " + file.path());
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(bytesOf(piped.out), out.read());
    EXPECT_FALSE(piped.out.empty());

    CliRun empty = runCli("export -o '' " + file.path());
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("-o needs a file name"), std::string::npos);

    if (access("/dev/full", W_OK) == 0) {
        for (const char* command : {"packets", "messages", "streams", "export"}) {
            CliRun full = runCli(std::string(command) + " " + file.path() + " >/dev/full");
            EXPECT_EQ(full.status, 1) << command;
            EXPECT_NE(full.err.find("cannot write to standard output"), std::string::npos)
                << command << ": " << full.err;
        }
    }
}

TEST(CliPackets, AnEmptyResultSaysWhyAndEncapsulatedSipIsRead) {
    const std::string options =
        "OPTIONS sip:b SIP/2.0\r\nVia: SIP/2.0/UDP a;branch=z9hG4bK9\r\nCall-ID: dsl\r\nCSeq: 1 "
        "OPTIONS\r\nContent-Length: 0\r\n\r\n";
    const Bytes ip = ipv4Packet(kA, kB, 17, udpDatagram(5060, 5060, bytesOf(options)));
    CaptureBuilder dsl;
    dsl.add(ethernetFrame(pppoeSession(ip), 0x8864), 1700000000, 0);
    dsl.add(ethernetFrame(ipv4Packet(ipv4(192, 0, 2, 1), ipv4(192, 0, 2, 2), 47,
                                     greBody(ip, 0x0800, false, true))),
            1700000001, 0);
    TempFile dslFile;
    dsl.writeTo(dslFile.path());
    CliRun messages = runCli("messages " + dslFile.path());
    EXPECT_EQ(messages.status, 0);
    EXPECT_EQ(messages.out,
              "1 1700000000.000000 SIP 127.0.0.1:5060 > 127.0.0.2:5060 OPTIONS sip:b SIP/2.0\n"
              "2 1700000001.000000 SIP 127.0.0.1:5060 > 127.0.0.2:5060 OPTIONS sip:b SIP/2.0\n");
    EXPECT_EQ(messages.err, "");

    CaptureBuilder unread;
    for (int i = 0; i < 3; ++i) {
        unread.add(ethernetFrame(Bytes(60, 0x60), 0x86dd));  // next header 0x60: no transport
    }
    unread.add(ethernetFrame(Bytes(28, 0), 0x0806));
    unread.add(udpFrame(kA, 53, kB, 53, bytesOf("dns")));
    TempFile unreadFile;
    unread.writeTo(unreadFile.path());
    for (const char* command : {"messages", "streams"}) {
        CliRun run = runCli(std::string(command) + " " + unreadFile.path());
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(run.err,
                  "1 record: neither IPv4 nor IPv6 (ARP and other link protocols)\n"
                  "3 records: IP protocols other than UDP and TCP (ICMP, ESP and the like)\n"
                  "1 packet: UDP or TCP without SIP or STUN, and no RTP announced by SDP\n")
            << command;
    }
    // packets lists the DNS datagram; nothing to explain then.
    CliRun packets = runCli("packets " + unreadFile.path());
    EXPECT_EQ(packets.err, "");
    CaptureBuilder none;
    none.add(ethernetFrame(Bytes(60, 0x60), 0x86dd));
    TempFile noneFile;
    none.writeTo(noneFile.path());
    CliRun nothing = runCli("packets --count " + noneFile.path());
    EXPECT_EQ(nothing.status, 0);
    EXPECT_EQ(nothing.out, "packets 0\npayload-bytes 0\n");
    EXPECT_EQ(nothing.err,
              "1 record: IP protocols other than UDP and TCP (ICMP, ESP and the like)\n");
}

TEST(CliCalls, OneLinePerSessionTabSeparatedOrCsv) {
    TempFile file;
    writeCall(file);
    CliRun calls = runCli("calls " + file.path());
    EXPECT_EQ(calls.status, 0);
    const std::string header =
        "Start\tFrom\tTo\tCall-ID\tMethod\tState\tSetup (s)\tDuration (s)\tMessages\tStreams\t"
        "Worst loss\n";
    ASSERT_EQ(calls.out.rfind(header, 0), 0u) << calls.out;
    const std::string row = calls.out.substr(header.size());
    EXPECT_EQ(std::count(row.begin(), row.end(), '\n'), 1) << row;
    EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 10) << row;
    EXPECT_NE(row.find("\tINVITE\t"), std::string::npos) << row;

    CaptureBuilder builder;
    builder.add(
        udpFrame(kA, 5060, kB, 5060,
                 bytesOf("OPTIONS sip:b SIP/2.0\r\nFrom: \"Smith, Bob\" <sip:bob@h>;tag=1\r\n"
                         "To: <sip:b@h>\r\nCall-ID: q\"uote\r\nCSeq: 1 OPTIONS\r\n"
                         "Content-Length: 0\r\n\r\n")),
        1700000000, 5);
    TempFile options;
    builder.writeTo(options.path());
    CliRun csv = runCli("calls --csv " + options.path());
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out,
              "Start,From,To,Call-ID,Method,State,Setup (s),Duration (s),Messages,Streams,"
              "Worst loss\n"
              "1700000000.000005,\"Smith, Bob <bob>\",b,\"q\"\"uote\",OPTIONS,no answer,,,1,0,\n");
}

TEST(CliCalls, CallIdsLimitMessagesAndTheExportToThoseSessions) {
    const std::string capture =
        std::string(VARLOWE_SOURCE_DIR) + "/tests/fixtures/sip-two-calls-one-port.pcap";
    CliRun calls = runCli("calls " + capture);
    std::vector<std::string> ids;
    for (size_t at = calls.out.find('\n'); at != std::string::npos && at + 1 < calls.out.size();
         at = calls.out.find('\n', at + 1)) {
        std::string line = calls.out.substr(at + 1, calls.out.find('\n', at + 1) - at - 1);
        size_t field = 0;
        for (int tab = 0; tab < 3; ++tab) {
            field = line.find('\t', field) + 1;
        }
        ids.push_back(line.substr(field, line.find('\t', field) - field));
    }
    ASSERT_EQ(ids.size(), 2u) << calls.out;
    CliRun all = runCli("messages " + capture);
    CliRun second = runCli("messages --call-id " + ids[1] + " " + capture);
    CliRun both = runCli("messages --call-id " + ids[1] + " --call-id=" + ids[0] + " " + capture);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(std::count(second.out.begin(), second.out.end(), '\n'), 8) << second.out;
    EXPECT_EQ(second.out.find("PCMU"), std::string::npos);
    EXPECT_NE(second.out.find("audio/PCMA"), std::string::npos);
    EXPECT_EQ(both.out, all.out);
    CliRun exported = runCli("export --no-log --call-id " + ids[0] + " " + capture);
    EXPECT_EQ(exported.status, 0);
    EXPECT_NE(exported.out.find("INVITE"), std::string::npos);
    EXPECT_EQ(exported.out.find("PCMA"), std::string::npos);
    CliRun unknown = runCli("messages --call-id nothing " + capture);
    EXPECT_EQ(unknown.status, 0);
    EXPECT_EQ(unknown.out, "");
}

TEST(CliUsage, VersionAndACaptureCutShortAreSaid) {
    CliRun version = runCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("varlowe-cli ", 0), 0u) << version.out;
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1);

    TempFile call;
    writeCall(call);
    const std::string whole = fileText(call.path());
    TempFile cut("cut.pcap");
    writeBytes(cut.path(), Bytes(whole.begin(), whole.end() - 10));
    CliRun messages = runCli("messages " + cut.path());
    EXPECT_EQ(messages.status, 0);
    EXPECT_NE(
        messages.err.find(cut.path() + ": the capture is cut short: the packet record at byte "),
        std::string::npos)
        << messages.err;
    EXPECT_FALSE(messages.out.empty());  // what came before was read
    CliRun intact = runCli("messages " + call.path());
    EXPECT_EQ(intact.err, "");
    TempFile header("header.pcap");
    writeBytes(header.path(), Bytes(whole.begin(), whole.begin() + 30));
    CliRun packets = runCli("packets " + header.path());
    EXPECT_EQ(packets.status, 0);
    EXPECT_NE(packets.err.find("the packet record at byte 24 is incomplete"), std::string::npos)
        << packets.err;
}

// The keys of the recorded DTMF call: "1" and "5" of 280 ms each way, as tshark decodes its
// telephone events (event 1 and 5, duration 2240 at 8 kHz); an INFO digit from a crafted
// capture, marked INFO.
TEST(CliDtmf, TelephoneEventsAndInfoDigitsOneLineEach) {
    const std::string capture =
        std::string(VARLOWE_SOURCE_DIR) + "/tests/fixtures/sip-call-dtmf.pcap";
    CliRun run = runCli("dtmf " + capture);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "1796777183.916684 1 280 127.0.0.2:18000 > 127.0.0.1:16000\n"
              "1796777183.916729 1 280 127.0.0.1:16000 > 127.0.0.2:18000\n"
              "1796777184.878683 5 280 127.0.0.2:18000 > 127.0.0.1:16000\n"
              "1796777184.878719 5 280 127.0.0.1:16000 > 127.0.0.2:18000\n");

    const std::string info =
        "INFO sip:b@h SIP/2.0\r\nVia: SIP/2.0/UDP h;branch=z9hG4bKi\r\nCall-ID: i\r\n"
        "CSeq: 2 INFO\r\nContent-Type: application/dtmf-relay\r\nContent-Length: 24\r\n\r\n"
        "Signal=#\r\nDuration=250\r\n";
    TempFile file("info.pcap");
    CaptureBuilder().add(udpFrame(kA, 5060, kB, 5060, bytesOf(info)), 50, 7).writeTo(file.path());
    CliRun digits = runCli("dtmf " + file.path());
    EXPECT_EQ(digits.status, 0);
    EXPECT_EQ(digits.out, "50.000007 # 250 127.0.0.1:5060 > 127.0.0.2:5060 INFO\n");
    EXPECT_EQ(runCli("dtmf --help").out.rfind("Usage: varlowe-cli dtmf", 0), 0u);
}
