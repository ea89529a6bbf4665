#include <gtest/gtest.h>

#include <algorithm>

#include "desktop/filter_tree.h"
#include "desktop/pane_layout.h"
#include "engine/sip/packet_analysis_driver.h"
#include "support/media_test_util.h"
#include "support/position_lists.h"
#include "toolkit/menu_items.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

std::vector<std::string> labelsOf(const FilterNode& node) {
    std::vector<std::string> out;
    for (const FilterNode& child : node.children) out.push_back(child.label);
    return out;
}

// Two calls: an INVITE call with a STUN exchange beside it, and a SUBSCRIBE call whose
// first message is a response (so its session has no request at first).
std::unique_ptr<AnalysisModel> crafted() {
    auto model = std::make_unique<AnalysisModel>();
    auto sipItem = [&model](const std::string& from, const std::string& to,
                            const std::string& start, const std::string& callId,
                            const std::string& cseq, const std::string& branch,
                            const std::string& toUri) {
        std::string text = start + "\r\nVia: SIP/2.0/UDP h;branch=" + branch +
                           "\r\nFrom: <sip:a@h>;tag=a\r\nTo: <" + toUri +
                           ">\r\nCall-ID: " + callId + "\r\nCSeq: " + cseq + "\r\n\r\n";
        model->addSip(udpRecord(from, 5060, to, 5060, bytesOf(text), 100,
                                static_cast<uint32_t>(model->itemCount()),
                                static_cast<uint32_t>(model->itemCount() + 1)),
                      SipMessage::parse(text));
    };
    sipItem("10.0.0.1", "10.0.0.2", "INVITE sip:b@h SIP/2.0", "c1", "1 INVITE", "z1", "sip:b@h");
    sipItem("10.0.0.2", "10.0.0.1", "SIP/2.0 180 Ringing", "c1", "1 INVITE", "z1", "sip:b@h");
    auto stun = std::make_unique<NameValuePair>();
    stun->add("MSG_TYPE", "STUN_BIND_REQUEST");
    stun->add("TRANSACTION_ID", "AA");
    model->addStun(udpRecord("10.0.0.1", 4000, "10.0.0.9", 3478, {}, 100, 3, 3), std::move(stun));
    sipItem("10.0.0.3", "10.0.0.1", "SIP/2.0 200 OK", "c2", "7 SUBSCRIBE", "y1", "sip:c@h");
    sipItem("10.0.0.1", "10.0.0.3", "SUBSCRIBE sip:c@h SIP/2.0", "c2", "8 SUBSCRIBE", "y2",
            "sip:c@h");
    sipItem("10.0.0.1", "10.0.0.2", "BYE sip:b@h SIP/2.0", "c1", "2 BYE", "z2", "sip:b@h");
    return model;
}

}  // namespace

TEST(FilterTree, LabelsCarryThreeCharactersOfTheMethod) {
    EXPECT_EQ(filterLabel(std::string("INVITE"), "c1"), "INV:c1");
    EXPECT_EQ(filterLabel(std::string("BYE"), "z"), "BYE:z");
    EXPECT_EQ(filterLabel(std::string("OK"), "z"), " OK:z");  // padded on the left
    EXPECT_EQ(filterLabel(std::nullopt, "c9"), "   :c9");
}

TEST(FilterTree, ContentOfTheBundledSampleAndOfACraftedModel) {
    AnalysisResult sample =
        PacketAnalysisDriver({}, nullptr, nullptr)
            .analyse(std::string(VARLOWE_SOURCE_DIR) + "/samples/sip-call-loopback.pcap", false);
    ASSERT_TRUE(sample.model);
    FilterNode root = buildFilterTree(*sample.model);
    EXPECT_EQ(root.label, "Filters");
    EXPECT_EQ(labelsOf(root), (std::vector<std::string>{"Call-Ids", "Methods", "To", "From"}));
    ASSERT_EQ(root.children[0].children.size(), 1u);
    const FilterNode& call = root.children[0].children[0];
    EXPECT_EQ(call.label, "INV:1-4533@127.0.0.2");
    EXPECT_EQ(labelsOf(call),
              (std::vector<std::string>{"INV:z9hG4bK-4533-1-0", "ACK:z9hG4bK-4533-1-4",
                                        "BYE:z9hG4bK-4533-1-9"}));
    EXPECT_EQ(labelsOf(root.children[1]), (std::vector<std::string>{"INVITE", "BYE"}));
    EXPECT_EQ(labelsOf(root.children[2]), (std::vector<std::string>{"sip:service@127.0.0.1:5060"}));
    EXPECT_EQ(labelsOf(root.children[3]), (std::vector<std::string>{"sip:sipp@127.0.0.2:5070"}));
    // Without branches (the window adds them when a call is opened).
    EXPECT_TRUE(buildFilterTree(*sample.model, false).children[0].children[0].children.empty());

    std::unique_ptr<AnalysisModel> model = crafted();
    FilterNode tree = buildFilterTree(*model);
    EXPECT_EQ(labelsOf(tree.children[0]), (std::vector<std::string>{"INV:c1", "SUB:c2"}));
    // The first branch of c2 belongs to a lone response: no request, three blanks.
    EXPECT_EQ(labelsOf(tree.children[0].children[1]),
              (std::vector<std::string>{"   :y1", "SUB:y2"}));
    EXPECT_EQ(labelsOf(tree.children[1]), (std::vector<std::string>{"INVITE", "SUBSCRIBE", "BYE"}));
    EXPECT_EQ(labelsOf(tree.children[2]), (std::vector<std::string>{"sip:b@h", "sip:c@h"}));
}

TEST(FilterTree, NodesSwitchesAndHiddenEndpointsChooseTheItems) {
    std::unique_ptr<AnalysisModel> model = crafted();
    FilterNode tree = buildFilterTree(*model);
    const ItemSwitches all;
    EXPECT_EQ(filterItems(*model, nullptr, all, {}), items({0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(filterItems(*model, &tree, all, {}), items({0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(filterItems(*model, &tree.children[1], all, {}), items({0, 1, 2, 3, 4, 5}));
    const FilterNode& c1 = tree.children[0].children[0];
    EXPECT_EQ(filterItems(*model, &c1, all, {}), items({0, 1, 5}));
    EXPECT_EQ(filterItems(*model, &c1.children[0], all, {}), items({0, 1}));  // branch z1
    EXPECT_EQ(filterItems(*model, &tree.children[1].children[1], all, {}), items({3, 4}));
    EXPECT_EQ(filterItems(*model, &tree.children[2].children[1], all, {}), items({3, 4}));

    ItemSwitches noProvisional;
    noProvisional.provisionalResponses = false;
    EXPECT_EQ(filterItems(*model, &c1, noProvisional, {}), items({0, 5}));
    ItemSwitches noSip;
    noSip.sipMessages = false;
    noSip.provisionalResponses = false;  // nothing more goes with SIP hidden
    EXPECT_EQ(filterItems(*model, nullptr, noSip, {}), items({2}));
    ItemSwitches noStun;
    noStun.sturnMessages = false;
    EXPECT_EQ(filterItems(*model, nullptr, noStun, {}), items({0, 1, 3, 4, 5}));
    // Hiding 10.0.0.2 takes every message to or from it, of any call.
    EXPECT_EQ(filterItems(*model, nullptr, all, {"10.0.0.2"}), items({2, 3, 4}));
}

TEST(MenuTables, FileAndHelpMenusInTheirOrderWithAccelerators) {
    std::vector<std::string> labels;
    for (const MenuItemSpec& row : menus::file()) {
        labels.push_back(row.isSeparator() ? "-" : menuLabel(row));
    }
    EXPECT_EQ(labels, (std::vector<std::string>{
                          "Open...\tCtrl+O", "Close\tCtrl+W", "Close All", "-", "Recent Files", "-",
                          "Export...\tCtrl+E", "Export Image...", "-",
                          "Capture Live Network Traffic...\tCtrl+T", "-", "Page Setup\tCtrl+G",
                          "Print...\tCtrl+P", "Print Preview\tCtrl+R", "-", "Exit\tAlt+F4"}));
    const std::vector<MenuItemSpec>& help = menus::help();
    ASSERT_EQ(help.size(), 7u);
    EXPECT_EQ(menuLabel(help[0]), "Help...\tF1");
    EXPECT_TRUE(help[3].isSeparator());
    EXPECT_EQ(help[4].label, "Check for updates...");
    EXPECT_TRUE(help[5].isSeparator());
    EXPECT_EQ(help[6].label, "About...");
    // The View row of the STUN switch describes itself.
    auto stun = std::find_if(menus::view().begin(), menus::view().end(),
                             [](const MenuItemSpec& row) { return row.id == 308; });
    ASSERT_NE(stun, menus::view().end());
    EXPECT_EQ(stun->help, "Show Stun Messages");
}

// The first start: most of the screen, centred, never below 750 x 550 unless the screen is;
// the dividers grow with the window within their bounds.
TEST(FirstStart, TheWindowFitsTheScreenAndItsDividersTheWindow) {
    const WindowRect wide = firstWindowPlace(WindowRect{0, 32, 1920, 1048});
    EXPECT_EQ(wide.width, 1728);
    EXPECT_EQ(wide.height, 943);
    EXPECT_EQ(wide.x, 96);
    EXPECT_EQ(wide.y, 32 + 52);
    const WindowRect small = firstWindowPlace(WindowRect{0, 0, 800, 600});
    EXPECT_EQ(small.width, 750);  // the floor, though 9/10 would be 720
    EXPECT_EQ(small.height, 550);
    const WindowRect tiny = firstWindowPlace(WindowRect{10, 10, 640, 480});
    EXPECT_EQ(tiny.width, 640);  // never beyond the screen
    EXPECT_EQ(tiny.height, 480);
    EXPECT_EQ(tiny.x, 10);

    EXPECT_EQ(firstSashes(wide).vertical, 380);
    EXPECT_EQ(firstSashes(wide).diagramInfo, -282);
    EXPECT_EQ(firstSashes(small).vertical, 250);
    EXPECT_EQ(firstSashes(small).diagramInfo, -165);
    EXPECT_EQ(firstSashes(WindowRect{0, 0, 3000, 2000}).diagramInfo, -340);
}
