#include <gtest/gtest.h>

#include "engine/sip/analysis_model.h"
#include "engine/sip/call_list.h"

using namespace varlowe;

namespace {

// Builds sessions from start lines: each message of a call has its own Call-ID, CSeq and time.
class Calls {
  public:
    void add(const std::string& callId, const std::string& start, const std::string& cseq,
             uint32_t seconds, const std::string& from = "\"Alice\" <sip:100@h>;tag=a") {
        PacketRecord packet;
        packet.number = static_cast<uint32_t>(model_.itemCount() + 1);
        packet.seconds = seconds;
        packet.transport = TransportKind::Udp;
        packet.sourceAddress = "10.0.0.1";
        packet.sourcePort = "5060";
        packet.destinationAddress = "10.0.0.2";
        packet.destinationPort = "5060";
        const std::string text = start + "\r\nVia: SIP/2.0/UDP h;branch=z9hG4bK" + callId + cseq +
                                 "\r\nFrom: " + from + "\r\nTo: <sip:200@h>\r\nCall-ID: " + callId +
                                 "\r\nCSeq: " + cseq + "\r\nContent-Length: 0\r\n\r\n";
        model_.addSip(packet, SipMessage::parse(text));
    }
    std::vector<CallRow> rows() const { return buildCallList(model_); }

  private:
    AnalysisModel model_;
};

}  // namespace

TEST(CallList, EveryInviteOutcomeAndTheOtherSessionsFinalStatus) {
    Calls calls;
    const std::string invite = "INVITE sip:200@h SIP/2.0";
    calls.add("calling", invite, "1 INVITE", 10);
    calls.add("ringing", invite, "1 INVITE", 11);
    calls.add("ringing", "SIP/2.0 180 Ringing", "1 INVITE", 12);
    calls.add("completed", invite, "1 INVITE", 20);
    calls.add("completed", "SIP/2.0 200 OK", "1 INVITE", 22);
    calls.add("completed", "ACK sip:200@h SIP/2.0", "1 ACK", 22);
    calls.add("completed", "BYE sip:200@h SIP/2.0", "2 BYE", 82);
    calls.add("completed", "SIP/2.0 200 OK", "2 BYE", 82);
    calls.add("in call", invite, "1 INVITE", 30);
    calls.add("in call", "SIP/2.0 407 Proxy Authentication Required", "1 INVITE", 30);
    calls.add("in call", invite, "2 INVITE", 31);
    calls.add("in call", "SIP/2.0 200 OK", "2 INVITE", 33);
    calls.add("in call", "SIP/2.0 200 OK", "2 INVITE", 40);  // a retransmission, still in call
    calls.add("busy", invite, "1 INVITE", 50);
    calls.add("busy", "SIP/2.0 486 Busy Here", "1 INVITE", 51);
    calls.add("cancelled", invite, "1 INVITE", 60);
    calls.add("cancelled", "CANCEL sip:200@h SIP/2.0", "1 CANCEL", 61);
    calls.add("cancelled", "SIP/2.0 200 OK", "1 CANCEL", 61);
    calls.add("cancelled", "SIP/2.0 487 Request Terminated", "1 INVITE", 61);
    calls.add("rejected", invite, "1 INVITE", 70);
    calls.add("rejected", "SIP/2.0 403 Forbidden", "1 INVITE", 70);
    calls.add("failed", invite, "1 INVITE", 71);
    calls.add("failed", "SIP/2.0 503 Service Unavailable", "1 INVITE", 72);
    calls.add("register", "REGISTER sip:h SIP/2.0", "1 REGISTER", 80, "<sip:300@h>;tag=r");
    calls.add("register", "SIP/2.0 401 Unauthorized", "1 REGISTER", 80, "<sip:300@h>;tag=r");
    calls.add("register", "REGISTER sip:h SIP/2.0", "2 REGISTER", 80, "<sip:300@h>;tag=r");
    calls.add("register", "SIP/2.0 200 OK", "2 REGISTER", 80, "<sip:300@h>;tag=r");
    calls.add("options", "OPTIONS sip:h SIP/2.0", "1 OPTIONS", 90, "sip:400@h;tag=o");

    const std::vector<CallRow> rows = calls.rows();
    ASSERT_EQ(rows.size(), 10u);
    std::vector<std::string> states;
    for (const CallRow& row : rows) {
        states.push_back(row.callId + ": " + row.state);
    }
    EXPECT_EQ(states, (std::vector<std::string>{"calling: calling", "ringing: ringing",
                                                "completed: completed", "in call: in call",
                                                "busy: busy", "cancelled: cancelled",
                                                "rejected: rejected 403", "failed: failed 503",
                                                "register: 200 OK", "options: no answer"}));
    const CallRow& completed = rows[2];
    EXPECT_EQ(completed.start.seconds, 20u);
    EXPECT_EQ(completed.setupSeconds.value_or(-1), 2.0);
    EXPECT_EQ(completed.durationSeconds.value_or(-1), 60.0);
    EXPECT_EQ(completed.messages, 5u);
    EXPECT_EQ(completed.method, "INVITE");
    EXPECT_EQ(completed.fromName, "Alice");
    EXPECT_EQ(completed.fromUser, "100");
    EXPECT_EQ(completed.toName, "");
    EXPECT_EQ(completed.toUser, "200");
    // Set up after the challenge: from the first INVITE; no BYE yet: up to the last message.
    EXPECT_EQ(rows[3].setupSeconds.value_or(-1), 3.0);
    EXPECT_EQ(rows[3].durationSeconds.value_or(-1), 7.0);
    EXPECT_FALSE(rows[4].setupSeconds.has_value());
    EXPECT_EQ(rows[8].method, "REGISTER");
    EXPECT_EQ(rows[9].fromUser, "400");
    EXPECT_FALSE(rows[9].worstLoss.has_value());
}

TEST(CallList, PartiesWithAndWithoutNamesAndBrackets) {
    std::string name, user;
    splitParty("\"Bob Smith\" <sips:bob@example.com>;tag=1", name, user);
    EXPECT_EQ(name, "Bob Smith");
    EXPECT_EQ(user, "bob");
    splitParty("Carol <tel:+4930123>", name, user);
    EXPECT_EQ(name, "Carol");
    EXPECT_EQ(user, "+4930123");
    splitParty("sip:dave@[2001:db8::1];tag=z", name, user);
    EXPECT_EQ(name, "");
    EXPECT_EQ(user, "dave");
    splitParty("<sip:10.0.0.1:5060>", name, user);
    EXPECT_EQ(user, "10.0.0.1:5060");  // no user part: the host stands for it
    splitParty("\"unclosed <sip:x@h", name, user);
    EXPECT_EQ(user, "x");
}
