#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/sip/analysis_model.h"
#include "engine/sip/packet_analysis_driver.h"
#include "output/text_export.h"
#include "support/capture_builder.h"
#include "support/media_test_util.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

std::string request(const std::string& method, int cseq = 1) {
    return method + " sip:b@h SIP/2.0\r\nVia: SIP/2.0/UDP h;branch=z" + std::to_string(cseq) +
           "\r\nFrom: <sip:a@h>;tag=a\r\nTo: <sip:b@h>\r\nCall-ID: c\r\nCSeq: " +
           std::to_string(cseq) + " " + method + "\r\n\r\n";
}

std::string response(const std::string& status, const std::string& method) {
    return "SIP/2.0 " + status +
           "\r\nVia: SIP/2.0/UDP h;branch=z1\r\nFrom: <sip:a@h>;tag=a\r\nTo: <sip:b@h>;tag=b"
           "\r\nCall-ID: c\r\nCSeq: 1 " +
           method + "\r\n\r\n";
}

void addSip(AnalysisModel& model, const std::string& from, const std::string& to,
            const std::string& text, TransportKind transport = TransportKind::Udp,
            uint16_t fromPort = 5060, uint16_t toPort = 5062) {
    PacketRecord packet = udpRecord(from, fromPort, to, toPort, bytesOf(text), 0, 0,
                                    static_cast<uint32_t>(model.itemCount() + 1));
    packet.transport = transport;
    model.addSip(packet, SipMessage::parse(text));
}

std::string exported(const AnalysisModel& model, TextExportOptions options = {}) {
    TempFile file("export.txt");
    if (exportText(file.path(), model, options) != SaveOutcome::Saved) {
        return "(failed)";
    }
    Bytes bytes = file.read();
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        out.push_back(text.substr(start, end - start));
    }
    return out;
}

const TextExportOptions kDiagramOnly{false, true, true, false};

}  // namespace

TEST(TextExport, ColumnWidthsFollowTheEndpointCount) {
    EXPECT_EQ(TextSipDiagramWriter::columnWidth(1), 32u);
    EXPECT_EQ(TextSipDiagramWriter::columnWidth(2), 32u);
    EXPECT_EQ(TextSipDiagramWriter::columnWidth(3), 26u);
    EXPECT_EQ(TextSipDiagramWriter::columnWidth(4), 20u);
    EXPECT_EQ(TextSipDiagramWriter::columnWidth(5), 18u);
    EXPECT_EQ(TextSipDiagramWriter::columnWidth(64), 18u);

    AnalysisModel one;
    addSip(one, "10.0.0.1", "10.0.0.1", request("OPTIONS"));
    std::vector<std::string> text = lines(exported(one, kDiagramOnly));
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text[0], "   10.0.0.1");
    EXPECT_EQ(text[1], "   |");
    EXPECT_EQ(text[2], "1: |");  // a message to its own endpoint: the lifeline only

    AnalysisModel five;
    for (int i = 1; i <= 4; ++i) {
        addSip(five, "10.0.0." + std::to_string(i), "10.0.0." + std::to_string(i + 1),
               request("OPTIONS", i));
    }
    text = lines(exported(five, kDiagramOnly));
    EXPECT_EQ(text[0],
              "   10.0.0.1          10.0.0.2          10.0.0.3          10.0.0.4          "
              "10.0.0.5");
    EXPECT_EQ(text[1],
              "   |                 |                 |                 |                 |");
    EXPECT_EQ(text[5],
              "4: |                 |                 |                 |U----OPTIONS---->|");
}

TEST(TextExport, ArrowsLabelsPortsAndCrossings) {
    AnalysisModel model;
    addSip(model, "10.0.0.1", "10.0.0.2", request("INVITE"));
    addSip(model, "10.0.0.2", "10.0.0.1", response("180 Ringing", "INVITE"), TransportKind::Tcp);
    addSip(model, "10.0.0.3", "10.0.0.1",
           response("407 Proxy Authentication Required With A Very Long Reason", "INVITE"));
    // Three columns: w = 26, so ports are shown.
    std::vector<std::string> plain = lines(exported(model, kDiagramOnly));
    ASSERT_GE(plain.size(), 5u);
    EXPECT_EQ(plain[2], "1: |U---------INVITE-------->|                         |");
    EXPECT_EQ(plain[3], "2: |<---180 Ringing/INVITE--T|                         |");
    // Right to left over the middle lifeline: "+" where the arrow crosses it, the label cut
    // to the available width (2 w - 5) and centred.
    EXPECT_EQ(plain[4], "3: |<-407 Proxy Authentication Required With A Very L-U|");
    TextExportOptions withPorts = kDiagramOnly;
    withPorts.showPort = true;
    withPorts.showTransport = false;
    std::vector<std::string> ports = lines(exported(model, withPorts));
    EXPECT_EQ(ports[2], "1: |--5060----INVITE---5062->|                         |");
    // The label gives way to the ports: 2 w - 5 - 10 characters are left.
    EXPECT_EQ(ports[3], "2: |<-5062-180 Ringing-5060--|                         |");

    AnalysisModel crossing;
    addSip(crossing, "10.0.0.1", "10.0.0.2", request("X"));
    addSip(crossing, "10.0.0.3", "10.0.0.4", request("Y"));
    addSip(crossing, "10.0.0.1", "10.0.0.4", request("Z"));
    std::vector<std::string> four = lines(exported(crossing, kDiagramOnly));
    EXPECT_EQ(four[4], "3: |U------------------+---------Z---------+------------------>|");
    // Ports never show below a width of 22.
    TextExportOptions portsOn = kDiagramOnly;
    portsOn.showPort = true;
    EXPECT_EQ(lines(exported(crossing, portsOn))[4], four[4]);
}

TEST(TextExport, RowPrefixWidthAndTheGeneratedByLine) {
    AnalysisModel model;
    for (int i = 0; i < 12; ++i) {
        addSip(model, "10.0.0.1", "10.0.0.2", request("MESSAGE", i + 1));
    }
    std::vector<std::string> text = lines(exported(model, kDiagramOnly));
    ASSERT_EQ(text.size(), 2u + 12 + 4);
    EXPECT_EQ(text[0].substr(0, 5), "    1");
    EXPECT_EQ(text[2].substr(0, 5), "1 : |");
    EXPECT_EQ(text[10].substr(0, 5), "9 : |");
    EXPECT_EQ(text[11].substr(0, 5), "10: |");
    EXPECT_EQ(text[13].substr(0, 5), "12: |");
    EXPECT_EQ(text[14], "");
    EXPECT_EQ(text[15],
              "Generated Varlowe by Ostrane Software, Inc. (https://varlowe.ostrane.com)");
    EXPECT_EQ(text[16], "");
    EXPECT_EQ(text[17], "");
}

TEST(TextExport, TheLogAloneAndItsSeparators) {
    AnalysisModel model;
    addSip(model, "10.0.0.1", "10.0.0.2", request("OPTIONS"));
    auto pairs = std::make_unique<NameValuePair>();
    pairs->add("MSG_TYPE", "STUN_BIND_REQUEST");
    model.addStun(
        udpRecord("192.168.100.100", 40000, "192.168.100.101", 65000, {}, 0, 0, 4000000000u),
        std::move(pairs));
    TextExportOptions logOnly{false, true, false, true};
    std::string text = exported(model, logOnly);
    std::string separator = std::string(39, '<') + std::string(39, '>');
    std::string title = " Msg #1 / Packet #1: 10.0.0.1:5060 --> 10.0.0.2:5062 ";
    separator.replace((78 - title.size()) / 2, title.size(), title);
    EXPECT_EQ(text, separator + "\r\n" + request("OPTIONS") + "\r\n" +
                        // 78 characters: the title alone, without arrows
                        " Msg #2 / Packet #4000000000: 192.168.100.100:40000 --> "
                        "192.168.100.101:65000 \r\n"
                        "MSG_TYPE : STUN_BIND_REQUEST\r\n\r\n");
    EXPECT_EQ(text.find("Generated"), std::string::npos);
    EXPECT_EQ(separator.size(), 78u);
    EXPECT_EQ(separator.substr(0, 3), "<<<");
}

TEST(TextExport, ShownRowsOnlyAndFailures) {
    AnalysisModel model;
    addSip(model, "10.0.0.1", "10.0.0.2", request("INVITE"));
    addSip(model, "10.0.0.2", "10.0.0.1", response("100 Trying", "INVITE"));
    addSip(model, "10.0.0.2", "10.0.0.3", response("200 OK", "INVITE"));
    model.setVisible(std::vector<ItemIndex>{ItemIndex(0), ItemIndex(2)});
    std::vector<std::string> text = lines(exported(model, kDiagramOnly));
    EXPECT_EQ(text[0], "   10.0.0.1                  10.0.0.2                  10.0.0.3");
    EXPECT_EQ(text[3], "2: |                         |U-----200 OK/INVITE----->|");
    EXPECT_EQ(text[4], "");

    AnalysisModel empty;
    EXPECT_EQ(exported(empty), "(failed)");
    EXPECT_EQ(exported(empty, TextExportOptions{false, true, false, true}), "");
    EXPECT_EQ(exportText("/nonexistent-dir/x.txt", model, {}), SaveOutcome::Failed);
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(exportText("/dev/full", model, {}), SaveOutcome::Failed);
    }
}

TEST(TextExport, EndpointsBeyondTheSixtyFourthColumnKeepTheirRow) {
    AnalysisModel model;
    for (int i = 0; i < 33; ++i) {
        addSip(model, "10.0.1." + std::to_string(i), "10.0.2." + std::to_string(i),
               request("OPTIONS", i + 1));
    }
    DiagramColumns columns;
    for (int i = 0; i < 65; ++i) {
        EXPECT_EQ(columns.add("c" + std::to_string(i)), i < 64);
    }
    EXPECT_EQ(columns.count(), 64u);
    EXPECT_FALSE(columns.at(64));
    EXPECT_EQ(columns.find("c63"), 63);
    EXPECT_EQ(columns.find("c64"), -1);
    std::vector<std::string> text = lines(exported(model, kDiagramOnly));
    ASSERT_EQ(text.size(), 2u + 33 + 4);
    const std::string& last = text[2 + 32];
    EXPECT_EQ(last.substr(0, 4), "33: ");
    EXPECT_NE(last.find("|  [10.0.1.32 > 10.0.2.32 OPTIONS]"), std::string::npos) << last;
    EXPECT_EQ(last.find('-'), std::string::npos);
    EXPECT_NE(text[2 + 31].find("OPTIONS"), std::string::npos);
}

// The bundled sample and the recorded fixtures, byte for byte.
TEST(TextExport, GoldenExportsOfRecordedCaptures) {
    for (const char* name :
         {"samples/sip-call-loopback.pcap", "tests/fixtures/sip-tcp-segmented.pcap",
          "tests/fixtures/sip-udp-fragmented.pcap"}) {
        SCOPED_TRACE(name);
        std::string capture = std::string(VARLOWE_SOURCE_DIR) + "/" + name;
        AnalysisResult result = PacketAnalysisDriver({}, nullptr, nullptr).analyse(capture, false);
        ASSERT_TRUE(result.model);
        std::string base = capture.substr(capture.rfind('/') + 1);
        std::string fixture = std::string(VARLOWE_SOURCE_DIR) + "/tests/fixtures/" +
                              base.substr(0, base.size() - 5) + ".export.txt";
        std::string expected = fileText(fixture);
        ASSERT_FALSE(expected.empty()) << fixture;
        EXPECT_EQ(exported(*result.model), expected);
    }
}

// "Copy All" holds what the export writes, and leaves no temporary file behind.
TEST(TextExport, CopyAllIsTheExportThroughATemporaryFile) {
    const std::string capture = std::string(VARLOWE_SOURCE_DIR) + "/samples/sip-call-loopback.pcap";
    AnalysisResult result = PacketAnalysisDriver({}, nullptr, nullptr).analyse(capture, false);
    ASSERT_TRUE(result.model);
    auto temporaries = [] {
        size_t count = 0;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
            count += entry.path().filename().string().rfind("varlowe-copy-", 0) == 0;
        }
        return count;
    };
    const size_t before = temporaries();
    CopyAllText copied = copyAllText(*result.model, TextExportOptions{});
    EXPECT_EQ(copied.outcome, CopyAllText::Outcome::Copied);
    EXPECT_EQ(copied.text, exported(*result.model));
    EXPECT_EQ(temporaries(), before);

    // Nothing to draw: the export fails and nothing is copied.
    AnalysisModel empty;
    CopyAllText none = copyAllText(empty, TextExportOptions{});
    EXPECT_EQ(none.outcome, CopyAllText::Outcome::ExportFailed);
    EXPECT_TRUE(none.text.empty());
    EXPECT_EQ(temporaries(), before);
}
