#include <gtest/gtest.h>

#include "engine/sip/sip_headline.h"
#include "engine/sip/sip_message.h"

using namespace varlowe;

namespace {

// Every accessor of the headline against the whole message's.
void expectSameAnswers(const SipMessage& message, const SipHeadline& headline) {
    EXPECT_EQ(headline.startLine(), message.startLine());
    EXPECT_EQ(headline.isResponse(), message.isResponse());
    EXPECT_EQ(headline.method(), message.method());
    EXPECT_EQ(headline.requestUri(), message.requestUri());
    EXPECT_EQ(headline.statusCode(), message.statusCode());
    EXPECT_EQ(headline.reasonPhrase(), message.reasonPhrase());
    EXPECT_EQ(headline.callId(), message.callId());
    EXPECT_EQ(headline.fromUri(), message.fromUri());
    EXPECT_EQ(headline.toUri(), message.toUri());
    EXPECT_EQ(headline.fromTag(), message.fromTag());
    EXPECT_EQ(headline.toTag(), message.toTag());
    EXPECT_EQ(headline.branch(), message.branch());
    EXPECT_EQ(headline.cseqNumber(), message.cseqNumber());
    EXPECT_EQ(headline.cseqMethod(), message.cseqMethod());
    EXPECT_EQ(headline.transactionMethod(), message.transactionMethod());
    EXPECT_EQ(headline.carriesSdp(), message.carriesSdp());
    EXPECT_TRUE(headline.transactionKey() == message.transactionKey());
    EXPECT_EQ(headline.dialogKey().text(), message.dialogKey().text());
    const std::optional<std::string_view> agent =
        message.isResponse() ? std::nullopt : message.header("User-Agent");
    EXPECT_EQ(headline.userAgent(), agent);
}

}  // namespace

TEST(SipHeadline, AnswersAsTheWholeMessageDoes) {
    const std::vector<std::string> texts = {
        "INVITE sip:b@h SIP/2.0\r\nv: SIP/2.0/UDP h;branch=z9hG4bK1\r\nf: <sip:a@h>;tag=x\r\n"
        "t: sip:b@h\r\ni: c1\r\nCSeq: 7 INVITE\r\nUser-Agent: phone 1.0\r\nc: application/sdp\r\n"
        "\r\nv=0\r\n",
        "SIP/2.0 200\r\nFrom: <sip:a@h>;tag=x\r\nTo: <sip:b@h>;tag=y\r\nCall-ID: c1\r\n"
        "User-Agent: not kept for a response\r\n\r\n",
        "SIP/2.0 486 Busy Here\r\nCall-ID: c2\r\nCSeq: x\r\n\r\n",
        "ACK sip:b@h SIP/2.0\r\nFrom: <sip:a@h>;tag=\r\nCSeq: 7 ACK\r\n\r\n",
        "no start line at all",
        "",
    };
    SipTexts tables;
    std::vector<SipHeadline> headlines;
    std::vector<SipMessage> messages;
    for (const std::string& text : texts) {
        messages.push_back(SipMessage::parse(text));
        headlines.push_back(SipHeadline::of(messages.back(), tables));
    }
    // Asked after all were made: the tables grew meanwhile, and the views hold.
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        expectSameAnswers(messages[i], headlines[i]);
    }
    EXPECT_TRUE(headlines[0].sameSession(headlines[1]));
    EXPECT_EQ(headlines[0].sameSession(headlines[1]), messages[0].sameSession(messages[1]));
    EXPECT_EQ(headlines[0].sameTransaction(headlines[3]), messages[0].sameTransaction(messages[3]));
    EXPECT_EQ(headlines[0].callIdNumber(), headlines[1].callIdNumber());
    EXPECT_NE(headlines[0].callIdNumber(), headlines[2].callIdNumber());
}

TEST(SipHeadline, AMessageInAPayloadKnowsWhereItStarts) {
    const std::string payload = std::string("\x01\x00", 2) + "OPTIONS sip:x SIP/2.0\r\n\r\n";
    const SipMessage message = SipMessage::parseInPayload(payload.data(), payload.size(), 2);
    SipTexts tables;
    const SipHeadline headline = SipHeadline::of(message, tables);
    EXPECT_EQ(headline.payloadStart(), 2u);
    EXPECT_EQ(headline.method(), std::optional<std::string_view>("OPTIONS"));
    // A start line longer than a chunk of the tables still reads whole.
    const std::string longLine = "MESSAGE sip:" + std::string(70000, 'u') + " SIP/2.0\r\n\r\n";
    const SipMessage big = SipMessage::parse(longLine);
    const SipHeadline bigHeadline = SipHeadline::of(big, tables);
    EXPECT_EQ(bigHeadline.requestUri(), big.requestUri());
    EXPECT_EQ(bigHeadline.startLine().size(), longLine.size() - 4);
}
