#include "engine/sip/item_search.h"

#include <gtest/gtest.h>

#include "engine/sip/analysis_model.h"

using namespace varlowe;

TEST(ItemSearch, AnyCaseOfAsciiLettersAndBytesAsTheyAre) {
    EXPECT_TRUE(textHolds("INVITE sip:bob@h", "invite", false));
    EXPECT_FALSE(textHolds("INVITE sip:bob@h", "invite", true));
    EXPECT_TRUE(textHolds("INVITE sip:bob@h", "Bob@H", false));
    // A letter whose lower case stands early and upper case late, and the reverse.
    EXPECT_TRUE(textHolds("b b b b Bob", "BOB", false));
    EXPECT_TRUE(textHolds("B B B B bob", "bob", false));
    EXPECT_TRUE(textHolds("Call-ID: 42@x", "42@X", false));  // a digit first
    EXPECT_TRUE(textHolds("ends with xyz", "XYZ", false));   // at the very end
    EXPECT_FALSE(textHolds("ends with xy", "XYZ", false));   // would run past the end
    EXPECT_FALSE(textHolds("ab", "abc", false));
    EXPECT_FALSE(textHolds("anything", "", false));
    // The search runs from the needle's rarest byte ("z" or "q" here), wherever it stands.
    EXPECT_TRUE(textHolds("QZ at the start", "qz a", false));
    EXPECT_TRUE(textHolds("ends in a quiz", "A QUIZ", false));
    EXPECT_FALSE(textHolds("zz quiz", "xquiz", false));         // no room before the first z
    EXPECT_TRUE(textHolds("quiz quiz xquiz", "XQUIZ", false));  // the last of three
    EXPECT_FALSE(textHolds("quiz quiz xqu", "xquiz", false));
    // Bytes above 127 are not letters of some encoding: only themselves match.
    EXPECT_TRUE(textHolds("caf\xc3\xa9", "CAF\xc3\xa9", false));
    EXPECT_FALSE(textHolds("caf\xc3\xa9", "CAF\xc3\x89", false));
}

TEST(ItemSearch, FindsInStartLinesHeadersBodiesAndStunPairs) {
    AnalysisModel model;
    PacketRecord packet;
    packet.transport = TransportKind::Udp;
    packet.sourceAddress = "10.0.0.1";
    packet.sourcePort = "5060";
    packet.destinationAddress = "10.0.0.2";
    packet.destinationPort = "5060";
    const std::string head =
        "\r\nVia: SIP/2.0/UDP h;branch=z9hG4bK1\r\nCall-ID: c1\r\n"
        "CSeq: 1 INVITE\r\nContent-Length: ";
    model.addSip(packet, SipMessage::parse("INVITE sip:alice@h SIP/2.0" + head + "0\r\n\r\n"));
    model.addSip(packet, SipMessage::parse("SIP/2.0 200 OK" + head + "9\r\n\r\nm=audio 1"));
    auto stun = std::make_unique<NameValuePair>();
    stun->add("Message Type", "Binding Request");
    model.addStun(packet, std::move(stun));
    EXPECT_EQ(findItems(model, "ALICE", false), (std::vector<ItemIndex>{ItemIndex(0)}));
    EXPECT_EQ(findItems(model, "m=AUDIO", false), (std::vector<ItemIndex>{ItemIndex(1)}));
    EXPECT_EQ(findItems(model, "call-id: c1", false),
              (std::vector<ItemIndex>{ItemIndex(0), ItemIndex(1)}));
    EXPECT_EQ(findItems(model, "binding request", false), (std::vector<ItemIndex>{ItemIndex(2)}));
    EXPECT_TRUE(findItems(model, "binding request", true).empty());
    EXPECT_TRUE(findItems(model, "", false).empty());
}

// A capture large enough to be searched in slices side by side: the matches come back once
// each and in capture order, whichever slice found them.
TEST(ItemSearch, ALargeModelIsSearchedWholeAndInOrder) {
    AnalysisModel model;
    PacketRecord packet;
    packet.transport = TransportKind::Udp;
    packet.sourceAddress = "10.0.0.1";
    packet.sourcePort = "5060";
    packet.destinationAddress = "10.0.0.2";
    packet.destinationPort = "5060";
    std::vector<ItemIndex> expected;
    constexpr size_t kItems = 120000;
    for (size_t i = 0; i < kItems; ++i) {
        const bool marked = i % 997 == 0 || i == kItems - 1;
        const std::string text = std::string("OPTIONS sip:h SIP/2.0\r\nCall-ID: ") +
                                 (marked ? "Wanted-" : "other-") + std::to_string(i) +
                                 "\r\nCSeq: 1 OPTIONS\r\n\r\n";
        const ItemIndex index = model.addSip(packet, SipMessage::parse(text));
        if (marked) {
            expected.push_back(index);
        }
    }
    EXPECT_EQ(findItems(model, "call-id: wanted", false), expected);
    EXPECT_TRUE(findItems(model, "call-id: wanted", true).empty());
}
