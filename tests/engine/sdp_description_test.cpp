#include <gtest/gtest.h>

#include "engine/media/sdp_description.h"
#include "engine/sip/sip_message.h"

using varlowe::SdpDescription;

TEST(SdpDescription, AudioDescriptionWithRtpmapsOverPresets) {
    SdpDescription sdp(
        "v=0\r\no=alice 2890844526 2890844527 IN IP4 10.0.0.9\r\ns=-\r\nc=IN IP4 10.0.0.1\r\n"
        "t=0 0\r\nm=audio 49170 RTP/AVP 0 8 101\r\na=rtpmap:8 PCMA/8000\r\n"
        "a=rtpmap:101 telephone-event/8000\r\na=rtpmap:300 bogus/1\r\na=rtpmap:96 "
        "opus/48000/2\r\n");
    EXPECT_EQ(sdp.origin()[0], "alice");
    EXPECT_EQ(sdp.origin()[5], "10.0.0.9");
    EXPECT_EQ(sdp.audio().port, "49170");
    EXPECT_EQ(sdp.audio().transport, "RTP/AVP");
    EXPECT_EQ(sdp.audio().formats, "0 8 101");
    EXPECT_EQ(sdp.audio().payloadType(8).encodingName, "PCMA");
    EXPECT_EQ(sdp.audio().payloadType(0).encodingName, "pcmu");
    EXPECT_TRUE(sdp.audio().payloadType(101).present);
    EXPECT_EQ(sdp.audio().payloadType(101).clockRate, 8000);
    EXPECT_EQ(sdp.audio().payloadType(96).clockRate, 48000);
    EXPECT_FALSE(sdp.audio().payloadType(1).present);
    EXPECT_FALSE(sdp.video().payloadType(0).present);
    EXPECT_TRUE(sdp.video().payloadType(34).present);
    // Session-level "c=" applies to both media; the video port is empty.
    EXPECT_EQ(sdp.audioAddress().value_or("?"), "10.0.0.1");
    EXPECT_EQ(sdp.videoAddress().value_or("?"), "10.0.0.1");
    EXPECT_EQ(sdp.video().port, "");
    EXPECT_TRUE(sdp.isMediaAddress("10.0.0.1"));
    EXPECT_FALSE(sdp.isMediaAddress("10.0.0.9"));
}

TEST(SdpDescription, MediaConnectionsAndTheOriginFallback) {
    SdpDescription sdp(
        "o=- 1 1 IN IP4 192.0.2.5\nm=audio 4000 RTP/AVP 0\nc=IN IP4 192.0.2.10\n"
        "m=video 5000 RTP/AVP 34\na=rtpmap:34 H263/90000\nm=application 9 TCP x\n"
        "a=rtpmap:35 ignored/1\nc=IN IP4 198.51.100.1\n\n");
    EXPECT_EQ(sdp.audioAddress().value_or("?"), "192.0.2.10");
    EXPECT_EQ(sdp.sessionConnection().address, "198.51.100.1");  // outside audio and video
    EXPECT_EQ(sdp.videoAddress().value_or("?"), "198.51.100.1");
    EXPECT_EQ(sdp.video().payloadType(34).encodingName, "H263");
    EXPECT_FALSE(sdp.video().payloadType(35).present);
    SdpDescription originOnly("o=- 1 1 IN IP4 192.0.2.5\r\nm=audio 1 RTP/AVP 0\r\n");
    EXPECT_EQ(originOnly.audioAddress().value_or("?"), "192.0.2.5");
    EXPECT_FALSE(SdpDescription("v=0\r\n").audioAddress().has_value());
}

TEST(SdpDescription, LastLineCountsOnlyWhenSomethingFollowsItsLineEnd) {
    EXPECT_EQ(SdpDescription("m=audio 10 RTP/AVP 0\r\n").audio().port, "10");
    EXPECT_EQ(SdpDescription("m=audio 10 RTP/AVP 0\n").audio().port, "");
    EXPECT_EQ(SdpDescription("m=audio 10 RTP/AVP 0").audio().port, "");
    EXPECT_EQ(SdpDescription("xm=audio 10\r\nm =audio 11\r\n").audio().port, "");
}

TEST(SdpDescription, MessageParsesItsSdpBodyOnlyWithTheSdpType) {
    varlowe::SipMessage invite = varlowe::SipMessage::parse(
        "INVITE sip:b SIP/2.0\r\nContent-Type: application/sdp\r\n\r\nc=IN IP4 10.1.1.1\r\n"
        "m=audio 7078 RTP/AVP 0\r\n");
    const std::unique_ptr<const SdpDescription> sdp = invite.sdp();
    ASSERT_NE(sdp, nullptr);
    EXPECT_EQ(sdp->audio().port, "7078");
    varlowe::SipMessage text = varlowe::SipMessage::parse(
        "MESSAGE sip:b SIP/2.0\r\nContent-Type: text/plain\r\n\r\nm=audio 7078 RTP/AVP 0\r\n");
    EXPECT_FALSE(text.carriesSdp());
    EXPECT_EQ(text.sdp(), nullptr);
    varlowe::SipMessage bye = varlowe::SipMessage::parse("BYE sip:b SIP/2.0\r\n\r\n");
    EXPECT_EQ(bye.sdp(), nullptr);
}

TEST(SdpDescription, TheFormatListAndRtpmapLinesNameTypesThePresetsDoNot) {
    SdpDescription sdp(
        "v=0\r\nc=IN IP6 FD17:625C:F037:2::0001\r\nm=audio 6000 RTP/AVP 0 08 101 "
        "123456789012345678901234567890\r\na=rtpmap:97 opus/48000/2\r\n");
    const varlowe::SdpMedia& audio = sdp.audio();
    EXPECT_TRUE(audio.namesPayloadType(0));
    EXPECT_TRUE(audio.namesPayloadType(8));
    EXPECT_TRUE(audio.namesPayloadType(101));
    EXPECT_TRUE(audio.namesPayloadType(97));   // by its rtpmap line
    EXPECT_FALSE(audio.namesPayloadType(18));  // preset, never named
    EXPECT_TRUE(audio.payloadType(18).present);
    // An IPv6 connection address in the form packets show it.
    EXPECT_EQ(sdp.audioAddress().value_or(""), "fd17:625c:f037:2::1");
}
