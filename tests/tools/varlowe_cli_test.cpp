#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "capture_builder.h"

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
    std::ifstream in(errFile.path());
    std::stringstream text;
    text << in.rdbuf();
    run.err = text.str();
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

TEST(CliPackets, UnreadableFileReportsBothLinesAndExitsWithOne) {
    TempFile file("not-a-capture.txt");
    file.write(bytesOf("this is not a capture file at all"));
    CliRun run = runCli("packets " + file.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "PCAP: Invalid pcap file: " + file.path() +
                  "\n\nUnable to open or parse the specified file.  Please verify the file exists "
                  "and that it is a libpcap/Ethereal file.\n");
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
