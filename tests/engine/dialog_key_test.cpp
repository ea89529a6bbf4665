#include <gtest/gtest.h>

#include "engine/sip/sip_message.h"

using varlowe::SipMessage;

namespace {
SipMessage message(const std::string& start, const std::string& from, const std::string& to,
                   const std::string& cseq, const std::string& branch) {
    return SipMessage::parse(start + "\r\nVia: SIP/2.0/UDP h;branch=" + branch +
                             "\r\nFrom: " + from + "\r\nTo: " + to +
                             "\r\nCall-ID: call-1\r\nCSeq: " + cseq + "\r\n\r\n");
}
}  // namespace

TEST(DialogKey, OneCallSeenFromBothSides) {
    SipMessage invite =
        message("INVITE sip:b@h SIP/2.0", "<sip:a@h>;tag=a", "<sip:b@h>", "1 INVITE", "z1");
    SipMessage ringing =
        message("SIP/2.0 180 Ringing", "<sip:a@h>;tag=a", "<sip:b@h>;tag=b", "1 INVITE", "z1");
    SipMessage ok =
        message("SIP/2.0 200 OK", "<sip:a@h>;tag=a", "<sip:b@h>;tag=b", "1 INVITE", "z1");
    SipMessage ack =
        message("ACK sip:b@h SIP/2.0", "<sip:a@h>;tag=a", "<sip:b@h>;tag=b", "1 ACK", "z2");
    SipMessage bye =
        message("BYE sip:a@h SIP/2.0", "<sip:b@h>;tag=b", "<sip:a@h>;tag=a", "1 BYE", "z3");
    for (const SipMessage* m : {&ringing, &ok, &ack, &bye}) {
        EXPECT_TRUE(invite.dialogKey().sessionMatches(m->dialogKey())) << m->startLine();
        EXPECT_TRUE(m->dialogKey().sessionMatches(invite.dialogKey())) << m->startLine();
    }
    EXPECT_TRUE(invite.transactionKey().transactionMatches(ringing.transactionKey()));
    EXPECT_TRUE(invite.transactionKey().transactionMatches(ok.transactionKey()));
    EXPECT_FALSE(invite.transactionKey().transactionMatches(ack.transactionKey()));
    EXPECT_FALSE(invite.transactionKey().transactionMatches(bye.transactionKey()));
    EXPECT_EQ(ok.dialogKey().text(), "callId=call-1 to=sip:b@h;tag=b from=sip:a@h;tag=a");
    EXPECT_EQ(invite.transactionKey().text(), "callId=call-1 to=sip:b@h from=sip:a@h;tag=a cseq=1");
}

TEST(DialogKey, DifferentFromTagsAreDifferentSessions) {
    SipMessage one =
        message("INVITE sip:b@h SIP/2.0", "<sip:a@h>;tag=x", "<sip:b@h>", "1 INVITE", "z1");
    SipMessage two =
        message("INVITE sip:b@h SIP/2.0", "<sip:a@h>;tag=y", "<sip:b@h>", "1 INVITE", "z1");
    EXPECT_FALSE(one.dialogKey().sessionMatches(two.dialogKey()));
    // Two different non-empty To tags are not compatible either.
    SipMessage forkB =
        message("SIP/2.0 180 Ringing", "<sip:a@h>;tag=x", "<sip:b@h>;tag=1", "1 INVITE", "z1");
    SipMessage forkC =
        message("SIP/2.0 180 Ringing", "<sip:a@h>;tag=x", "<sip:b@h>;tag=2", "1 INVITE", "z1");
    EXPECT_FALSE(forkB.dialogKey().sessionMatches(forkC.dialogKey()));
    EXPECT_TRUE(one.dialogKey().sessionMatches(forkB.dialogKey()));
}

TEST(DialogKey, MissingPartsAreEmpty) {
    SipMessage bare = SipMessage::parse("OPTIONS sip:x SIP/2.0\r\n\r\n");
    EXPECT_EQ(bare.transactionKey().cseq, -1);
    EXPECT_EQ(bare.transactionKey().branch(), "");
    EXPECT_EQ(bare.dialogKey().text(), "callId= to= from=");
    EXPECT_TRUE(bare.transactionKey().transactionMatches(bare.transactionKey()));
}

// A key keeps its parts in one buffer: each comes back whole, and parts that run together
// alike ("ab" + "c", "a" + "bc") still make different keys.
TEST(DialogKey, TransactionKeyPartsStayApart) {
    SipMessage a = message("INVITE sip:b@h SIP/2.0", "<sip:a@h>;tag=ab", "<sip:b@h>;tag=c",
                           "5 INVITE", "z9hG4bKx");
    SipMessage b = message("INVITE sip:b@h SIP/2.0", "<sip:a@h>;tag=a", "<sip:b@h>;tag=bc",
                           "5 INVITE", "z9hG4bKx");
    const varlowe::TransactionKey& key = a.transactionKey();
    EXPECT_EQ(key.text(), "callId=call-1 to=sip:b@h;tag=c from=sip:a@h;tag=ab cseq=5");
    EXPECT_EQ(key.branch(), "z9hG4bKx");
    EXPECT_EQ(key.cseqMethod(), "INVITE");
    EXPECT_EQ(key.dialog().toUri, "sip:b@h");
    EXPECT_EQ(key.dialog().fromTag, "ab");
    EXPECT_FALSE(key == b.transactionKey());
    EXPECT_TRUE(key == varlowe::TransactionKey::of(a));
    EXPECT_FALSE(key.dialog().toTag == b.transactionKey().dialog().toTag);
}

// The pass compares messages without building their keys; it must agree with the keys on
// every pair, tags and directions mixed.
TEST(DialogKey, ComparingMessagesAgreesWithComparingTheirKeys) {
    std::vector<SipMessage> all;
    for (const char* from : {"<sip:a@h>;tag=a", "<sip:a@h>", "sip:b@h;tag=b", "<sip:b@h>;tag=c"}) {
        for (const char* to : {"<sip:b@h>", "<sip:b@h>;tag=b", "<sip:a@h>;tag=a", "sip:a@h"}) {
            for (const char* branch : {"z1", "z2"}) {
                all.push_back(message("INVITE sip:b@h SIP/2.0", from, to, "1 INVITE", branch));
                all.push_back(message("SIP/2.0 200 OK", from, to, "2 INVITE", branch));
            }
        }
    }
    all.push_back(SipMessage::parse("OPTIONS sip:x SIP/2.0\r\n\r\n"));
    size_t sessions = 0;
    size_t transactions = 0;
    for (const SipMessage& x : all) {
        for (const SipMessage& y : all) {
            const bool session = x.dialogKey().sessionMatches(y.dialogKey());
            const bool transaction = x.transactionKey().transactionMatches(y.transactionKey());
            ASSERT_EQ(x.sameSession(y), session) << x.rawText() << y.rawText();
            ASSERT_EQ(x.sameTransaction(y), transaction) << x.rawText() << y.rawText();
            sessions += session;
            transactions += transaction;
        }
    }
    // Both answers occur, so the agreement is not on one side only.
    EXPECT_GT(sessions, all.size());
    EXPECT_LT(sessions, all.size() * all.size());
    EXPECT_GT(transactions, all.size());
    EXPECT_LT(transactions, sessions);
}
