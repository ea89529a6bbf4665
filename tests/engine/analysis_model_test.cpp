#include <gtest/gtest.h>

#include "engine/sip/analysis_model.h"
#include "support/position_lists.h"

using namespace varlowe;
using varlowe::testsupport::items;
using varlowe::testsupport::rows;
using Mode = AnalysisModel::RelationMode;

namespace {

PacketRecord packetFrom(const std::string& source, const std::string& destination,
                        uint32_t number) {
    PacketRecord p;
    p.number = number;
    p.transport = TransportKind::Udp;
    p.sourceAddress = source;
    p.sourcePort = "5060";
    p.destinationAddress = destination;
    p.destinationPort = "5060";
    return p;
}

std::string sip(const std::string& start, const std::string& from, const std::string& to,
                const std::string& cseq, const std::string& branch, const std::string& extra = "") {
    return start + "\r\nVia: SIP/2.0/UDP h;branch=" + branch + "\r\nFrom: " + from +
           "\r\nTo: " + to + "\r\nCall-ID: call-1\r\nCSeq: " + cseq + "\r\n" + extra + "\r\n";
}

// INVITE, 180, 486, ACK (same branch), then a second INVITE answered 200 and its ACK (new
// branch), then BYE from the callee and its 200.
AnalysisModel callModel() {
    AnalysisModel model;
    const std::string a = "10.0.0.1", b = "10.0.0.2";
    const std::string alice = "<sip:a@h>;tag=a", bob = "<sip:b@h>", bobTagged = "<sip:b@h>;tag=b";
    auto add = [&model](const std::string& src, const std::string& dst, const std::string& text) {
        model.addSip(packetFrom(src, dst, static_cast<uint32_t>(model.itemCount() + 1)),
                     SipMessage::parse(text));
    };
    add(a, b,
        sip("INVITE sip:b@h SIP/2.0", alice, bob, "1 INVITE", "z1", "User-Agent: PhoneA\r\n"));
    add(b, a,
        sip("SIP/2.0 180 Ringing", alice, bobTagged, "1 INVITE", "z1", "User-Agent: PhoneB\r\n"));
    add(b, a, sip("SIP/2.0 486 Busy Here", alice, bobTagged, "1 INVITE", "z1"));
    add(a, b, sip("ACK sip:b@h SIP/2.0", alice, bobTagged, "1 ACK", "z1"));
    add(a, b, sip("INVITE sip:b@h SIP/2.0", alice, bob, "2 INVITE", "z2"));
    add(b, a, sip("SIP/2.0 200 OK", alice, bobTagged, "2 INVITE", "z2"));
    add(a, b, sip("ACK sip:b@h SIP/2.0", alice, bobTagged, "2 ACK", "z3"));
    add(b, a,
        sip("BYE sip:a@h SIP/2.0", bobTagged, alice, "1 BYE", "z4", "User-Agent: PhoneB\r\n"));
    add(b, a, sip("SIP/2.0 200 OK", bobTagged, alice, "1 BYE", "z4"));
    return model;
}

std::unique_ptr<NameValuePair> stun(const std::string& type, const std::string& id) {
    auto pairs = std::make_unique<NameValuePair>();
    pairs->add("MSG_TYPE", type);
    pairs->add("TRANSACTION_ID", id);
    return pairs;
}

}  // namespace

TEST(AnalysisModel, SessionsTransactionsAndMethods) {
    AnalysisModel model = callModel();
    ASSERT_EQ(model.itemCount(), 9u);
    EXPECT_EQ(model.relatedRows(ItemIndex(0), Mode::Session).size(), 9u);
    EXPECT_EQ(model.relatedRows(ItemIndex(0), Mode::Transaction), rows({0, 1, 2, 3}));
    EXPECT_EQ(model.relatedRows(ItemIndex(7), Mode::Transaction), rows({7, 8}));
    EXPECT_EQ(model.relatedRows(ItemIndex(4), Mode::Branch), rows({4, 5}));
    // The ACK of the 486 shares the INVITE's branch and is filed under INVITE.
    EXPECT_EQ(model.itemsWithMethod("INVITE"), items({0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(model.itemsWithMethod("ACK"), items({6}));
    EXPECT_EQ(model.methods(), (std::vector<std::string>{"INVITE", "BYE"}));
    EXPECT_EQ(model.branchesOfSession("call-1"),
              (std::vector<std::string>{"z1", "z2", "z3", "z4"}));
    EXPECT_EQ(model.methodOfSession("call-1").value_or("?"), "INVITE");
    EXPECT_EQ(model.methodOfTransaction("z4", "call-1").value_or("?"), "BYE");
    EXPECT_TRUE(model.isAnswered(ItemIndex(0)));
    EXPECT_TRUE(model.isAnswered(ItemIndex(7)));
    EXPECT_TRUE(model.itemsMatch(ItemIndex(0), ItemIndex(2)));
    EXPECT_FALSE(model.itemsMatch(ItemIndex(0), ItemIndex(4)));
}

TEST(AnalysisModel, LabelsAndDistinctValues) {
    AnalysisModel model = callModel();
    EXPECT_EQ(model.userAgentOf("10.0.0.1").value_or("?"), "PhoneA");
    // The 180 carries a User-Agent but is a response; the BYE is the first request from B.
    EXPECT_EQ(model.userAgentOf("10.0.0.2").value_or("?"), "PhoneB");
    EXPECT_EQ(model.userAgentsOf({"10.0.0.1", "10.9.9.9"}),
              (std::vector<std::string>{"PhoneA", ""}));
    // Many addresses, one asked twice, in one pass: each place gets its own answer.
    EXPECT_EQ(
        model.firstUserAgents({"10.0.0.2", "10.9.9.9", "10.0.0.1", "10.0.0.2"}),
        (std::vector<std::optional<std::string>>{"PhoneB", std::nullopt, "PhoneA", "PhoneB"}));
    EXPECT_EQ(model.callIds(), (std::vector<std::string>{"call-1"}));
    EXPECT_EQ(model.fromUris(), (std::vector<std::string>{"sip:a@h", "sip:b@h"}));
    EXPECT_EQ(model.visibleAddresses(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
}

// The lists by address hold STUN and the SIP messages with Call-ID, From and To, as the
// other indexes do; a user agent comes only from a request among them.
TEST(AnalysisModel, AddressListsAndUserAgentsCountOnlyIndexedMessages) {
    AnalysisModel model;
    model.addSip(packetFrom("10.0.0.7", "10.0.0.8", 1),
                 SipMessage::parse("OPTIONS sip:x SIP/2.0\r\nCall-ID: q\r\nTo: <sip:x>\r\n"
                                   "User-Agent: NoFrom\r\n\r\n"));
    model.addSip(packetFrom("10.0.0.7", "10.0.0.8", 2),
                 SipMessage::parse(sip("SIP/2.0 200 OK", "<sip:a@h>;tag=a", "<sip:x>", "1 OPTIONS",
                                       "z1", "User-Agent: Answer\r\n")));
    model.addStun(packetFrom("10.0.0.8", "10.0.0.7", 3), stun("STUN_BIND_REQUEST", "AA"));
    model.addSip(packetFrom("10.0.0.7", "10.0.0.8", 4),
                 SipMessage::parse(sip("OPTIONS sip:x SIP/2.0", "<sip:a@h>;tag=a", "<sip:x>",
                                       "2 OPTIONS", "z2", "User-Agent: Phone\r\n")));
    EXPECT_EQ(model.itemsFromAddress("10.0.0.7"), items({1, 3}));
    EXPECT_EQ(model.itemsToAddress("10.0.0.7"), items({2}));
    EXPECT_EQ(model.itemsToAddress("10.0.0.8"), items({1, 3}));
    EXPECT_TRUE(model.itemsFromAddress("10.9.9.9").empty());
    // Not the message without From, not the response: the request after them.
    EXPECT_EQ(model.userAgentOf("10.0.0.7").value_or("?"), "Phone");
    EXPECT_FALSE(model.userAgentOf("10.0.0.8").has_value());  // STUN only
}

TEST(AnalysisModel, ItemsKeepTheirEndpointsOnceAndAsGiven) {
    AnalysisModel model;
    const std::string text = "OPTIONS sip:x SIP/2.0\r\nCall-ID: q\r\n\r\n";
    PacketRecord first = packetFrom("10.0.0.1", "2001:db8::1", 1);
    PacketRecord second = packetFrom("10.0.0.1", "2001:db8::1", 2);
    second.sourcePort = "5061";
    model.addSip(first, SipMessage::parse(text));
    model.addSip(second, SipMessage::parse(text));
    for (uint32_t n = 3; n < 3000; ++n) {  // many more endpoints after the first ones
        model.addSip(packetFrom("10.1." + std::to_string(n / 256) + "." + std::to_string(n % 256),
                                "10.0.0.1", n),
                     SipMessage::parse(text));
    }
    model.addSip(first, SipMessage::parse(text));
    const ItemPacket& a = model.item(ItemIndex(0)).packet;
    const ItemPacket& b = model.item(ItemIndex(1)).packet;
    const ItemPacket& again = model.item(ItemIndex(model.itemCount() - 1)).packet;
    EXPECT_EQ(a.sourceAddress() + " " + a.sourcePort(), "10.0.0.1 5060");
    EXPECT_EQ(b.sourceAddress() + " " + b.sourcePort(), "10.0.0.1 5061");
    EXPECT_EQ(a.destinationAddress() + " " + a.destinationPort(), "2001:db8::1 5060");
    EXPECT_NE(a.sourceEnd(), b.sourceEnd());  // another port is another endpoint
    EXPECT_EQ(again.sourceEnd(), a.sourceEnd());
    EXPECT_EQ(model.summary(ItemIndex(0)).source, model.summary(ItemIndex(1)).source);
    EXPECT_EQ(model.item(ItemIndex(2000)).packet.record().sourceAddress, "10.1.7.209");

    // Given a whole record outside a model, a packet keeps its own endpoints through a move.
    ItemPacket alone;
    EXPECT_EQ(alone.sourceAddress(), "");
    alone = second;
    ItemPacket moved = std::move(alone);
    EXPECT_EQ(moved.sourcePort(), "5061");
    EXPECT_EQ(moved.record().destinationAddress, "2001:db8::1");
}

TEST(AnalysisModel, VisibleListMapsRowsAndHidesItems) {
    AnalysisModel model = callModel();
    std::vector<ItemIndex> list = model.allItems();
    model.removeProvisionalResponses(list);
    EXPECT_EQ(list.size(), 8u);
    list.erase(list.begin());  // hide the first INVITE
    model.setVisible(list);
    EXPECT_EQ(model.rowCount(), 7u);
    EXPECT_EQ(model.itemAtRow(RowIndex(0))->index, ItemIndex(2));
    // The 486's transaction without the hidden INVITE and the provisional 180, as rows.
    EXPECT_EQ(model.relatedRows(ItemIndex(2), Mode::Transaction), rows({0, 1}));
    EXPECT_TRUE(model.relatedRows(ItemIndex(99), Mode::Session).empty());
}

TEST(AnalysisModel, MessagesWithoutFromAreInNoIndex) {
    AnalysisModel model;
    model.addSip(packetFrom("1.1.1.1", "2.2.2.2", 1),
                 SipMessage::parse("OPTIONS sip:x SIP/2.0\r\nCall-ID: q\r\nTo: <sip:x>\r\n\r\n"));
    EXPECT_EQ(model.itemCount(), 1u);
    EXPECT_TRUE(model.itemsWithCallId("q").empty());
    EXPECT_TRUE(model.itemsFromAddress("1.1.1.1").empty());
    std::vector<ItemIndex> list = model.allItems();
    model.removeAddress(list, "2.2.2.2");
    EXPECT_TRUE(list.empty());
}

// A transaction is a Via branch within a Call-ID: the pair, not the two texts run together,
// so a colon in either cannot join two transactions.
TEST(AnalysisModel, BranchesAreKeptApartPerCallEvenWhenTheTextsRunTogetherAlike) {
    AnalysisModel model;
    auto add = [&model](const std::string& branch, const std::string& callId) {
        model.addSip(packetFrom("1.1.1.1", "2.2.2.2", static_cast<uint32_t>(model.itemCount() + 1)),
                     SipMessage::parse("OPTIONS sip:x SIP/2.0\r\nVia: SIP/2.0/UDP h;branch=" +
                                       branch + "\r\nFrom: <sip:a@h>;tag=1\r\nTo: <sip:x>\r\n" +
                                       "Call-ID: " + callId + "\r\nCSeq: 1 OPTIONS\r\n\r\n"));
    };
    add("z:1", "c");
    add("z", "1:c");
    add("z:1", "c");
    add("z", "c");
    EXPECT_EQ(model.itemsWithBranch("z:1", "c"), items({0, 2}));
    EXPECT_EQ(model.itemsWithBranch("z", "1:c"), items({1}));
    EXPECT_EQ(model.branchesOfSession("c"), (std::vector<std::string>{"z:1", "z"}));
    EXPECT_EQ(model.branchesOfSession("1:c"), (std::vector<std::string>{"z"}));
    EXPECT_TRUE(model.itemsWithBranch("z", "nowhere").empty());
    EXPECT_TRUE(model.branchesOfSession("nowhere").empty());
    EXPECT_EQ(model.itemsFromAddress("1.1.1.1"), items({0, 1, 2, 3}));
}

TEST(AnalysisModel, StunTransactionsAndAnswers) {
    AnalysisModel model;
    PacketRecord request = packetFrom("10.0.0.1", "74.0.0.1", 1);
    request.sourcePort = "50000";
    request.destinationPort = "3478";
    PacketRecord response = packetFrom("74.0.0.1", "10.0.0.1", 2);
    response.sourcePort = "3478";
    response.destinationPort = "50000";
    model.addStun(request, stun("STUN_BIND_REQUEST", "AA"));
    model.addStun(response, stun("STUN_BIND_ERROR_RESPONSE", "AA"));
    model.addStun(request, stun("STUN_BIND_REQUEST", "BB"));
    model.addStun(packetFrom("9.9.9.9", "8.8.8.8", 4), stun("TURN_ALLOCATE_REQUEST", "CC"));
    EXPECT_TRUE(model.isAnswered(ItemIndex(0)));   // an error response answers too
    EXPECT_FALSE(model.isAnswered(ItemIndex(2)));  // no response with BB
    EXPECT_TRUE(model.isAnswered(ItemIndex(1)));   // not a request
    EXPECT_EQ(model.relatedRows(ItemIndex(0), Mode::Transaction), rows({0, 1}));
    // Session: same transaction, or the same two address/port pairs either way.
    EXPECT_EQ(model.relatedRows(ItemIndex(2), Mode::Session), rows({0, 1, 2}));
    EXPECT_TRUE(model.itemsMatch(ItemIndex(0), ItemIndex(1)));
    EXPECT_FALSE(model.itemsMatch(ItemIndex(0), ItemIndex(2)));
    EXPECT_EQ(model.stunTransactionsDescending(), items({3, 2, 1, 0}));
    EXPECT_EQ(model.itemsFromAddress("10.0.0.1"), items({0, 2}));
}

TEST(AnalysisModel, AnRfc3261BranchMakesTheTransactionWhateverTheUrisAndCancelIsItsOwn) {
    const std::string a = "10.0.0.1", b = "10.0.0.2";
    const std::string from = "<sip:100@h>;tag=f", to = "<sip:699818@10.186.205.131:6060>";
    // The answering device drops the port from the To URI of its answers.
    const std::string rewritten = "<sip:699818@10.186.205.131>;tag=t";
    for (const char* branch : {"z9hG4bKg547", "1234abcd"}) {
        SCOPED_TRACE(branch);
        const bool cookie = std::string(branch).rfind("z9hG4bK", 0) == 0;
        AnalysisModel model;
        auto add = [&](const std::string& src, const std::string& dst, const std::string& text) {
            model.addSip(packetFrom(src, dst, static_cast<uint32_t>(model.itemCount() + 1)),
                         SipMessage::parse(text));
        };
        add(a, b,
            sip("INVITE sip:699818@10.186.205.131:6060 SIP/2.0", from, to, "5 INVITE", branch));
        add(b, a, sip("SIP/2.0 100 Trying", from, to, "5 INVITE", branch));
        add(b, a, sip("SIP/2.0 180 Ringing", from, rewritten, "5 INVITE", branch));
        add(b, a, sip("SIP/2.0 200 OK", from, rewritten, "5 INVITE", branch));
        // A second call: cancelled; the CANCEL carries its INVITE's branch.
        add(a, b, sip("INVITE sip:b@h SIP/2.0", from, "<sip:b@h>", "6 INVITE", "z9hG4bKc"));
        add(a, b, sip("CANCEL sip:b@h SIP/2.0", from, "<sip:b@h>", "6 CANCEL", "z9hG4bKc"));
        add(b, a, sip("SIP/2.0 200 OK", from, "<sip:b@h>;tag=x", "6 CANCEL", "z9hG4bKc"));
        add(b, a,
            sip("SIP/2.0 487 Request Terminated", from, "<sip:b@h>;tag=x", "6 INVITE", "z9hG4bKc"));
        add(a, b, sip("ACK sip:b@h SIP/2.0", from, "<sip:b@h>;tag=x", "6 ACK", "z9hG4bKc"));
        if (cookie) {
            EXPECT_EQ(model.relatedRows(ItemIndex(0), Mode::Transaction), rows({0, 1, 2, 3}));
            EXPECT_TRUE(model.isAnswered(ItemIndex(0)));
        } else {
            // Without the cookie the URIs decide, as they always did.
            EXPECT_EQ(model.relatedRows(ItemIndex(0), Mode::Transaction), rows({0, 1}));
            EXPECT_FALSE(model.isAnswered(ItemIndex(0)));
        }
        EXPECT_EQ(model.relatedRows(ItemIndex(4), Mode::Transaction), rows({4, 7, 8}));
        EXPECT_EQ(model.relatedRows(ItemIndex(5), Mode::Transaction), rows({5, 6}));
        EXPECT_TRUE(model.isAnswered(ItemIndex(5)));
        // The keys the streams use agree with the messages.
        const SipHeadline& invite = *model.item(ItemIndex(0)).sip;
        const SipHeadline& ok = *model.item(ItemIndex(3)).sip;
        EXPECT_EQ(invite.transactionKey().transactionMatches(ok.transactionKey()), cookie);
        EXPECT_EQ(invite.sameTransaction(ok), cookie);
        // A headline names the transaction as its whole message does.
        const SipMessage whole = model.sipMessage(model.item(ItemIndex(0)));
        EXPECT_TRUE(invite.transactionKey() == whole.transactionKey());
        EXPECT_EQ(whole.sameTransaction(model.sipMessage(model.item(ItemIndex(3)))), cookie);
        EXPECT_FALSE(model.item(ItemIndex(4))
                         .sip->transactionKey()
                         .transactionMatches(model.item(ItemIndex(5)).sip->transactionKey()));
        EXPECT_TRUE(model.item(ItemIndex(4))
                        .sip->transactionKey()
                        .transactionMatches(model.item(ItemIndex(8)).sip->transactionKey()));
    }
}
