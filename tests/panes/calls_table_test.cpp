// The calls list without a window: the filter over every column, the sort by value, and a
// selection that is of calls, not of positions.
#include "panes/calls_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <numeric>

#include "engine/diagnostics.h"
#include "engine/sip/packet_analysis_driver.h"

using namespace varlowe;

namespace {

CallRow call(const std::string& callId, uint32_t start, const std::string& from,
             const std::string& state, std::optional<double> setup, size_t messages,
             std::vector<size_t> items) {
    CallRow row;
    row.callId = callId;
    row.start = PacketTime{start, 0};
    row.fromUser = from;
    row.toName = "Bob";
    row.toUser = "200";
    row.method = "INVITE";
    row.state = state;
    row.setupSeconds = setup;
    row.messages = messages;
    for (size_t item : items) {
        row.items.push_back(ItemIndex(item));
    }
    return row;
}

CallsTable threeCalls() {
    return CallsTable({call("a@h", 10, "100", "completed", 2.5, 7, {0, 2, 5}),
                       call("b@h", 11, "Alice", "busy", std::nullopt, 3, {1, 3}),
                       call("c@h", 12, "300", "completed", 0.25, 12, {4, 6})});
}

std::vector<std::string> shownIds(const CallsTable& table) {
    std::vector<std::string> ids;
    for (size_t i = 0; i < table.size(); ++i) {
        ids.push_back(table.row(i).callId);
    }
    return ids;
}

}  // namespace

TEST(CallsTable, SortsNumbersByValueTextsWithoutCaseAndTurnsRoundOnASecondClick) {
    CallsTable table = threeCalls();
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"a@h", "b@h", "c@h"}));
    EXPECT_EQ(table.sortColumn(), -1);
    // "12" sorts after "7" by value, though before it as text; a missing setup time first.
    table.sortByClick(CallColumn::Messages);
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"b@h", "a@h", "c@h"}));
    table.sortByClick(CallColumn::Messages);
    EXPECT_FALSE(table.ascending());
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"c@h", "a@h", "b@h"}));
    table.sortByClick(CallColumn::Setup);
    EXPECT_TRUE(table.ascending());
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"b@h", "c@h", "a@h"}));
    // Equal states keep capture order; "Alice" with "100" and "300" sorts as text.
    table.sortBy(CallColumn::State, true);
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"b@h", "a@h", "c@h"}));
    table.sortBy(CallColumn::From, false);
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"b@h", "c@h", "a@h"}));
    EXPECT_EQ(table.cell(0, CallColumn::To), "Bob <200>");
    EXPECT_EQ(table.cell(0, CallColumn::Setup), "");
    EXPECT_EQ(table.cell(1, CallColumn::Setup), "0.250");
}

TEST(CallsTable, FiltersOverEveryColumnInAnyCaseAndKeepsTheSortOrder) {
    CallsTable table = threeCalls();
    table.sortBy(CallColumn::Start, false);
    table.setFilter("COMPLETED");
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"c@h", "a@h"}));
    table.setFilter("alice");  // a From cell
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"b@h"}));
    table.setFilter("c@");  // a Call-ID
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"c@h"}));
    table.setFilter("2.500");  // a number as shown
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"a@h"}));
    table.setFilter("nowhere");
    EXPECT_EQ(table.size(), 0u);
    EXPECT_EQ(table.callCount(), 3u);
    table.setFilter("");
    EXPECT_EQ(shownIds(table), (std::vector<std::string>{"c@h", "b@h", "a@h"}));
    EXPECT_EQ(CallsTable().size(), 0u);
}

TEST(CallsTable, SelectedCallsGiveTheirItemsOnceAndFollowTheirRows) {
    CallsTable table = threeCalls();
    EXPECT_EQ(table.itemsOf({0, 2}),
              (std::vector<ItemIndex>{ItemIndex(0), ItemIndex(2), ItemIndex(4), ItemIndex(5),
                                      ItemIndex(6)}));
    EXPECT_TRUE(table.itemsOf({}).empty());
    EXPECT_TRUE(table.itemsOf({7}).empty());  // a row that is not there
    table.sortByClick(CallColumn::Messages);
    table.sortByClick(CallColumn::Messages);  // c, a, b
    EXPECT_EQ(table.shownIndexesOf({"a@h", "b@h"}), (std::vector<size_t>{1, 2}));
    table.setFilter("completed");
    EXPECT_EQ(table.shownIndexesOf({"a@h", "b@h"}), (std::vector<size_t>{1}));
    // Copied rows: the titles, then the shown rows' cells, tab-separated.
    const std::string text = table.text({1});
    EXPECT_EQ(text.substr(0, text.find('\n')),
              "Start\tFrom\tTo\tCall-ID\tMethod\tState\tSetup (s)\tDuration (s)\tMessages\t"
              "Streams\tWorst loss");
    EXPECT_EQ(text.substr(text.find('\n') + 1),
              "10.000000\t100\tBob <200>\ta@h\tINVITE\tcompleted\t2.500\t\t7\t0\t\n");
}

// The window's calls list and `varlowe-cli calls` agree, row for row and cell for cell, on
// every capture of the tests and the real ones.
TEST(CallsTable, TheWindowsListAndTheToolsTableAgreeOnEveryCapture) {
    std::vector<std::string> captures;
    for (const std::string& folder : {std::string(VARLOWE_SOURCE_DIR) + "/samples",
                                      std::string(VARLOWE_SOURCE_DIR) + "/tests/fixtures",
                                      std::string(VARLOWE_SHARED_CAPTURES)}) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const std::string name = entry.path().string();
            if (name.size() > 5 && (name.rfind(".pcap") == name.size() - 5 ||
                                    name.rfind(".pcapng") == name.size() - 7)) {
                captures.push_back(name);
            }
        }
    }
    ASSERT_GE(captures.size(), 5u);
    ScopedDiagnosticsCapture quiet;  // the passes' notes are the tool's business here
    size_t calls = 0;
    for (const std::string& capture : captures) {
        AnalysisResult result = PacketAnalysisDriver({}, nullptr, nullptr).analyse(capture, false);
        ASSERT_TRUE(result.model) << capture;
        const CallsTable table(buildCallList(*result.model));
        std::vector<size_t> every(table.size());
        std::iota(every.begin(), every.end(), size_t{0});
        std::string printed;
        const std::string command =
            std::string(VARLOWE_CLI) + " calls '" + capture + "' 2>/dev/null";
        if (std::FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            size_t read = 0;
            while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
                printed.append(buffer, read);
            }
            pclose(pipe);
        }
        EXPECT_EQ(table.text(every), printed) << capture;
        calls += table.size();
    }
    EXPECT_GT(calls, 10u);
    if (std::filesystem::exists(VARLOWE_SHARED_CAPTURES)) {
        EXPECT_GT(calls, 70u);  // the real captures' 70 calls of one among them
    }
}
