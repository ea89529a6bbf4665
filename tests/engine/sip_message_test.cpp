#include <gtest/gtest.h>
#include <algorithm>
#include <optional>

#include "engine/sip/sip_message.h"

using varlowe::SipMessage;

namespace {
const char* const kInvite =
    "INVITE sip:bob@biloxi.example.com SIP/2.0\r\n"
    "Via: SIP/2.0/UDP pc33.atlanta.example.com;branch=z9hG4bK776asdhds;rport\r\n"
    "Max-Forwards: 70\r\n"
    "To: Bob <sip:bob@biloxi.example.com>\r\n"
    "From: Alice <sip:alice@atlanta.example.com>;tag=1928301774;x=y\r\n"
    "Call-ID: a84b4c76e66710@pc33.atlanta.example.com\r\n"
    "CSeq: 314159 INVITE\r\n"
    "Content-Type: application/sdp\r\n"
    "Content-Length: 13\r\n"
    "\r\n"
    "v=0\r\no=- 1 1\r\n";
}

TEST(SipMessage, RequestFieldsAndExtractions) {
    SipMessage m = SipMessage::parse(kInvite);
    EXPECT_FALSE(m.isResponse());
    EXPECT_EQ(m.startLine(), "INVITE sip:bob@biloxi.example.com SIP/2.0");
    EXPECT_EQ(m.method().value_or("?"), "INVITE");
    EXPECT_EQ(m.requestUri().value_or("?"), "sip:bob@biloxi.example.com");
    EXPECT_EQ(m.statusCode(), -1);
    EXPECT_EQ(m.callId().value_or("?"), "a84b4c76e66710@pc33.atlanta.example.com");
    EXPECT_EQ(m.fromUri().value_or("?"), "sip:alice@atlanta.example.com");
    EXPECT_EQ(m.fromTag().value_or("?"), "1928301774");
    EXPECT_EQ(m.toUri().value_or("?"), "sip:bob@biloxi.example.com");
    EXPECT_FALSE(m.toTag().has_value());
    EXPECT_EQ(m.cseqNumber(), 314159);
    EXPECT_EQ(m.cseqMethod(), "INVITE");
    EXPECT_EQ(m.transactionMethod(), "INVITE");
    EXPECT_EQ(m.branch().value_or("?"), "z9hG4bK776asdhds");
    EXPECT_TRUE(m.carriesSdp());
    EXPECT_EQ(m.body().value_or("?"), "v=0\r\no=- 1 1\r\n");
    ASSERT_EQ(m.headers().size(), 8u);
    EXPECT_EQ(m.headers()[1].name, "Max-Forwards");
}

TEST(SipMessage, StatusLines) {
    SipMessage ringing = SipMessage::parse("SIP/2.0 180 Ringing\r\nCSeq: 1 INVITE\r\n\r\n");
    EXPECT_TRUE(ringing.isResponse());
    EXPECT_EQ(ringing.statusCode(), 180);
    EXPECT_EQ(ringing.reasonPhrase(), "Ringing");
    EXPECT_EQ(ringing.transactionMethod(), "INVITE");
    EXPECT_FALSE(ringing.method().has_value());

    SipMessage bare = SipMessage::parse("SIP/2.0 200\r\n\r\n");
    EXPECT_EQ(bare.statusCode(), 200);
    EXPECT_EQ(bare.reasonPhrase(), "");

    SipMessage words = SipMessage::parse("SIP/2.0   486 Busy Here\r\n\r\n");
    EXPECT_EQ(words.statusCode(), 486);
    EXPECT_EQ(words.reasonPhrase(), "Busy Here");

    // "SIP/2.0" must be the whole first token.
    SipMessage notResponse = SipMessage::parse("SIP/2.0x 200 OK\r\n\r\n");
    EXPECT_FALSE(notResponse.isResponse());
    EXPECT_EQ(notResponse.method().value_or("?"), "SIP/2.0x");
}

TEST(SipMessage, RequestWithOnlyAMethodHasNoUri) {
    SipMessage m = SipMessage::parse("OPTIONS\r\n\r\n");
    EXPECT_EQ(m.method().value_or("?"), "OPTIONS");
    EXPECT_FALSE(m.requestUri().has_value());
}

TEST(SipMessage, CompactFormsAreExpandedInEitherCase) {
    SipMessage m = SipMessage::parse(
        "BYE sip:a SIP/2.0\r\ni: abc@host\r\nF: <sip:x>;tag=9\r\nt: sip:y;tag=8\r\n"
        "V: SIP/2.0/TCP h;branch=z9\r\nl: 0\r\nc: text/plain\r\nm: <sip:c>\r\ns: hi\r\n"
        "e: gzip\r\nk: 100rel\r\n\r\n");
    std::vector<std::string> names;
    for (const auto& h : m.headers()) {
        names.emplace_back(h.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Call-Id", "From", "To", "Via", "Content-Length",
                                               "Content-Type", "Contact", "Subject",
                                               "Content-Encoding", "k"}));
    EXPECT_EQ(m.callId().value_or("?"), "abc@host");
    EXPECT_EQ(m.fromTag().value_or("?"), "9");
    EXPECT_EQ(m.toUri().value_or("?"), "sip:y");
    EXPECT_EQ(m.toTag().value_or("?"), "8");
    EXPECT_EQ(m.branch().value_or("?"), "z9");
    // Looked up by their long names in any case, beside names that share a first letter.
    EXPECT_EQ(m.header("CALL-ID").value_or("?"), "abc@host");
    EXPECT_EQ(m.header("content-type").value_or("?"), "text/plain");
    EXPECT_EQ(m.header("Contact").value_or("?"), "<sip:c>");
    EXPECT_EQ(m.header("content-length").value_or("?"), "0");
    EXPECT_EQ(m.header("K").value_or("?"), "100rel");
    EXPECT_FALSE(m.header("i"));  // a compact form is answered by its long name only
    EXPECT_FALSE(m.header(""));
    const SipMessage spaced = SipMessage::parse(
        "BYE sip:a SIP/2.0\r\nCSeq: 1 BYE\r\ni : one\r\nCall-ID: two\r\nx\r\nCall-ID:\r\n\r\n");
    EXPECT_EQ(spaced.header("Call-ID").value_or("?"), "two");  // "i " is no compact form
    EXPECT_EQ(spaced.header("cseq").value_or("?"), "1 BYE");
}

TEST(SipMessage, FoldedHeaderKeepsTheLeadingBlank) {
    SipMessage m =
        SipMessage::parse("MESSAGE sip:a SIP/2.0\r\nSubject: first\r\n second\r\n\tthird\r\n\r\n");
    ASSERT_TRUE(m.header("subject"));
    EXPECT_EQ(*m.header("subject"), "first second");
    // A tab does not continue a header: "\tthird" is a line without a colon, dropped.
    EXPECT_EQ(m.headers().size(), 1u);
}

TEST(SipMessage, ContinuedValuesStayWholeInCopiesAndBesidePlainFields) {
    // The second message of a payload: its last line ends at the payload's end, and the
    // field values must come from its own lines.
    const std::string first = "OPTIONS sip:a SIP/2.0\r\nCall-ID: one\r\n\r\n";
    const std::string payload =
        first +
        "MESSAGE sip:b SIP/2.0\r\nSubject: a\r\n b\r\n  c\r\nf: <sip:x>;tag=1\r\n"
        "Warning: w\r\n more\r\ni:two";
    const SipMessage parsed =
        SipMessage::parseInPayload(payload.data(), payload.size(), first.size());
    const SipMessage copy = parsed;
    for (const SipMessage* m : {&parsed, &copy}) {
        EXPECT_EQ(m->header("Subject").value_or("?"), "a b  c");
        EXPECT_EQ(m->header("From").value_or("?"), "<sip:x>;tag=1");
        EXPECT_EQ(m->header("Warning").value_or("?"), "w more");
        EXPECT_EQ(m->callId().value_or("?"), "two");
        const std::vector<varlowe::HeaderField> fields = m->headers();
        ASSERT_EQ(fields.size(), 4u);
        EXPECT_EQ(fields[1].name, "From");
        EXPECT_EQ(fields[3].name, "Call-Id");
        EXPECT_EQ(fields[3].value, "two");
    }
    // A message keeps bytes of its own: the payload it was read from, and the message it was
    // copied from, can go.
    std::optional<SipMessage> kept;
    {
        std::string scratch = payload;
        const SipMessage original =
            SipMessage::parseInPayload(scratch.data(), scratch.size(), first.size());
        SipMessage assigned = SipMessage::parse("OPTIONS sip:z SIP/2.0\r\nCall-ID: z\r\n\r\n");
        assigned = original;
        std::fill(scratch.begin(), scratch.end(), 'x');
        kept = assigned;
    }
    EXPECT_EQ(kept->callId().value_or("?"), "two");
    EXPECT_EQ(kept->header("Subject").value_or("?"), "a b  c");
    EXPECT_EQ(kept->rawText().substr(0, 14), "MESSAGE sip:b ");
    EXPECT_EQ(kept->payloadText().size(), payload.size());
}

TEST(SipMessage, BlankBeforeTheColonIsPartOfTheName) {
    SipMessage m =
        SipMessage::parse("INVITE sip:a SIP/2.0\r\nVia : SIP/2.0/UDP h;branch=b1\r\n\r\n");
    ASSERT_EQ(m.headers().size(), 1u);
    EXPECT_EQ(m.headers()[0].name, "Via ");
    EXPECT_FALSE(m.header("Via"));
    EXPECT_FALSE(m.branch().has_value());
}

TEST(SipMessage, CSeqWithSeveralBlanks) {
    SipMessage m = SipMessage::parse("ACK sip:a SIP/2.0\r\nCSeq:    7   \t ACK\r\n\r\n");
    EXPECT_EQ(m.cseqNumber(), 7);
    EXPECT_EQ(m.cseqMethod(), "ACK");
    SipMessage none = SipMessage::parse("ACK sip:a SIP/2.0\r\n\r\n");
    EXPECT_EQ(none.cseqNumber(), -1);
    EXPECT_EQ(none.cseqMethod(), "");
}

TEST(SipMessage, LineEndsAndBody) {
    SipMessage lf = SipMessage::parse("NOTIFY sip:a SIP/2.0\nTo: <sip:b>\n\nbody\n");
    EXPECT_EQ(lf.toUri().value_or("?"), "sip:b");
    EXPECT_EQ(lf.body().value_or("?"), "body\n");
    SipMessage cr = SipMessage::parse("NOTIFY sip:a SIP/2.0\rTo: <sip:b\r\rrest");
    EXPECT_EQ(cr.toUri().value_or("?"), "sip:b");  // no ">": to the end
    EXPECT_EQ(cr.body().value_or("?"), "rest");
    SipMessage noBody = SipMessage::parse("NOTIFY sip:a SIP/2.0\r\n\r\n");
    EXPECT_FALSE(noBody.body().has_value());
    // The text ends at its first zero byte.
    const char withZero[] = "INFO sip:a SIP/2.0\r\nCall-ID: x\0y\r\n";
    SipMessage zero = SipMessage::parse(withZero, sizeof withZero - 1);
    EXPECT_EQ(zero.callId().value_or("?"), "x");
}

TEST(SipMessage, HeadersWithoutColonOrValueAreDropped) {
    SipMessage m =
        SipMessage::parse("INVITE sip:a SIP/2.0\r\nGarbage line\r\nEmpty:\r\nX:  \r\n\r\n");
    ASSERT_EQ(m.headers().size(), 1u);
    EXPECT_EQ(m.headers()[0].name, "X");
    EXPECT_EQ(m.headers()[0].value, "");
}

TEST(SipMessage, CarriesSdpOnlyForTheExactTypeAndABody) {
    auto with = [](const std::string& type, const std::string& body) {
        return SipMessage::parse("INVITE sip:a SIP/2.0\r\nContent-Type: " + type + "\r\n\r\n" +
                                 body)
            .carriesSdp();
    };
    EXPECT_TRUE(with("APPLICATION/SDP", "v=0"));
    EXPECT_FALSE(with("application/sdp;charset=utf-8", "v=0"));
    EXPECT_FALSE(with("application/sdp", ""));
    EXPECT_FALSE(with("multipart/mixed", "v=0"));
}

TEST(SipMessage, AddressRules) {
    EXPECT_EQ(SipMessage::uriOfAddress("\"A\" <sip:a@h;transport=tcp>;tag=1"),
              "sip:a@h;transport=tcp");
    EXPECT_EQ(SipMessage::uriOfAddress("sip:a@h;tag=1"), "sip:a@h");
    EXPECT_EQ(SipMessage::uriOfAddress("sip:a@h"), "sip:a@h");
    EXPECT_EQ(SipMessage::tagOfAddress("<sip:a>;x=1;tag=abc;y=2").value_or("?"), "abc");
    EXPECT_FALSE(SipMessage::tagOfAddress("<sip:a>;TAG=abc").has_value());
    EXPECT_EQ(SipMessage::tagOfAddress("<sip:a>;tag=").value_or("?"), "");
}

TEST(SipMessage, EmptyOrJunkTextGivesEmptyFields) {
    for (const char* text : {"", "\r\n\r\n", "just some words"}) {
        SipMessage m = SipMessage::parse(text);
        EXPECT_FALSE(m.callId().has_value());
        EXPECT_EQ(m.cseqNumber(), -1);
        EXPECT_FALSE(m.branch().has_value());
        EXPECT_FALSE(m.carriesSdp());
    }
}

TEST(SipMessage, ContainsSipStopsAtTheFirstZeroByte) {
    const uint8_t yes[] = "xx SIP/2.0 yy";
    EXPECT_TRUE(varlowe::containsSip(yes, sizeof yes - 1));
    const uint8_t hidden[] = "xx\0 SIP/2.0 yy";
    EXPECT_FALSE(varlowe::containsSip(hidden, sizeof hidden - 1));
    EXPECT_FALSE(varlowe::containsSip(yes, 9));  // cut by the length
}

// Field positions are kept narrow in a text under 64 KB: a longer one (a big header or body
// over TCP) must still find fields that start beyond 64 KB, and one just under must too.
TEST(SipMessage, FieldsBeyondSixtyFourKilobytesAreFound) {
    for (size_t filler : {size_t{65400}, size_t{70000}}) {
        const std::string text = "MESSAGE sip:a SIP/2.0\r\nX-Big: " + std::string(filler, 'a') +
                                 "\r\nCall-ID: far\r\nSubject: s\r\n\r\n";
        const SipMessage m = SipMessage::parse(text);
        EXPECT_EQ(m.callId().value_or("?"), "far") << text.size();
        EXPECT_EQ(m.header("Subject").value_or("?"), "s") << text.size();
        EXPECT_EQ(m.header("X-Big").value_or("").size(), filler);
        const SipMessage copy = m;
        EXPECT_EQ(copy.headers().back().name, "Subject");
    }
}
