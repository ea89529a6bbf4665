#include <gtest/gtest.h>

#include "engine/media/stun_decoder.h"

using namespace varlowe;

namespace {

using Bytes = std::vector<uint8_t>;

// A message of the given type with the attribute bytes appended and the length field set.
Bytes stun(uint16_t type, const Bytes& attributes, bool cookie = false) {
    Bytes message = {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type),
                     static_cast<uint8_t>(attributes.size() >> 8),
                     static_cast<uint8_t>(attributes.size())};
    for (int i = 0; i < 16; ++i) {
        message.push_back(static_cast<uint8_t>(0x10 + i));
    }
    if (cookie) {
        message[4] = 0x21, message[5] = 0x12, message[6] = 0xa4, message[7] = 0x42;
    }
    message.insert(message.end(), attributes.begin(), attributes.end());
    return message;
}

// An attribute as senders write it: the value padded with zeros to a multiple of four.
Bytes attribute(uint16_t type, const Bytes& value) {
    Bytes a = {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type),
               static_cast<uint8_t>(value.size() >> 8), static_cast<uint8_t>(value.size())};
    a.insert(a.end(), value.begin(), value.end());
    a.resize(4 + (value.size() + 3) / 4 * 4, 0);
    return a;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::pair<std::string, std::string>> decode(const Bytes& message) {
    auto pairs = decodeStunMessage(message.data(), message.size());
    if (!pairs) {
        return {};
    }
    return pairs->pairs();
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

Bytes bytesOf25() {
    std::string text = "Tw5XmGABTU55u6F2:31e58bb6";
    return Bytes(text.begin(), text.end());
}

}  // namespace

TEST(StunDecoder, BareBindingRequestHasTwoPairs) {
    Bytes message = stun(0x0001, {});
    ASSERT_TRUE(isStunMessage(message.data(), message.size()));
    EXPECT_EQ(decode(message), (Pairs{{"MSG_TYPE", "STUN_BIND_REQUEST"},
                                      {"TRANSACTION_ID", "101112131415161718191A1B1C1D1E1F"}}));
}

TEST(StunDecoder, LengthMustAccountForThePayloadExactly) {
    Bytes message = stun(0x0001, Bytes(12, 0));
    message[3] = 8;
    EXPECT_FALSE(isStunMessage(message.data(), message.size()));
    EXPECT_EQ(decodeStunMessage(message.data(), message.size()), nullptr);
    Bytes unknownType = stun(0x0005, {});
    EXPECT_FALSE(isStunMessage(unknownType.data(), unknownType.size()));
    Bytes rtp(19, 0x80);
    EXPECT_FALSE(isStunMessage(rtp.data(), rtp.size()));
}

TEST(StunDecoder, XorMappedAddressWithTheMagicCookie) {
    // 192.0.2.1:32853 XORed with 2112A442.
    Bytes value = {0x00, 0x01, 0xa1 ^ 0x21 ^ 0x21, 0x47, 0xe1, 0x12, 0xa6, 0x43};
    value[2] = 0x80 ^ 0x21;
    value[3] = 0x55 ^ 0x12;
    value[4] = 192 ^ 0x21, value[5] = 0 ^ 0x12, value[6] = 2 ^ 0xa4, value[7] = 1 ^ 0x42;
    for (uint16_t type : {uint16_t{0x0020}, uint16_t{0x8020}}) {
        Bytes message = stun(0x0101, attribute(type, value), true);
        Pairs pairs = decode(message);
        ASSERT_EQ(pairs.size(), 3u);
        EXPECT_EQ(pairs[2], (std::pair<std::string, std::string>{"STUN_XOR_MAPPED_ADDRESS",
                                                                 "192.0.2.1:32853"}));
    }
}

TEST(StunDecoder, ValueFormats) {
    Bytes attributes = attribute(0x0001, {0, 1, 0x13, 0xc4, 10, 0, 0, 7}) +  // address
                       attribute(0x0001, Bytes(12, 0)) +                     // IPv6
                       attribute(0x0009, {0, 0, 0x04, 0x1e, 'U', 'n', 'a', 'u', 't', 'h', 'o', 'r',
                                          'i', 'z', 'e', 'd'}) +      // error code
                       attribute(0x000A, {0x00, 0x1a, 0x00, 0x1a}) +  // list
                       attribute(0x000A, {0x00, 0x1a}) +              // bad list
                       attribute(0x000D, {0, 0, 0x02, 0x58}) +        // number
                       attribute(0x0010, {0, 1}) +                    // bad number
                       attribute(0x0006, {'a', 'l', 'i', 0, 'x'}) +   // text
                       attribute(0x0015, {}) +                        // empty text
                       attribute(0x0003, {0, 0, 0, 6}) +              // hex
                       attribute(0x0030, {0xab, 0x00, 0xff}) +        // unknown
                       attribute(0x0009, {0, 0});                     // short code
    Pairs pairs = decode(stun(0x0111, attributes));
    EXPECT_EQ(pairs, (Pairs{{"MSG_TYPE", "STUN_BIND_ERROR_RESPONSE"},
                            {"TRANSACTION_ID", "101112131415161718191A1B1C1D1E1F"},
                            {"STUN_MAPPED_ADDRESS", "10.0.0.7:5060"},
                            {"STUN_MAPPED_ADDRESS", "<<Invalid Length>>"},
                            {"STUN_ERROR_CODE", "430: Unauthorized"},
                            {"STUN_UNKNOWN_ATTRIBUTE", "001A 001A "},
                            {"STUN_UNKNOWN_ATTRIBUTE", "<<Invalid Length>>"},
                            {"TURN_LIFETIME", "600"},
                            {"TURN_BANDWIDTH", "<<Invalid Length>>"},
                            {"STUN_USERNAME", "ali"},
                            {"TURN_REALM", ""},
                            {"STUN_CHANGE_REQUEST", "00000006"},
                            {"0030", "AB00FF"},
                            {"STUN_ERROR_CODE", "<<Invalid Length>>"}}));
}

TEST(StunDecoder, ValuesArePaddedToFourBytes) {
    // A WebRTC connectivity check: a 25-byte USERNAME, then PRIORITY; the last value's padding
    // may be missing at the very end.
    Bytes user = bytesOf25();
    Bytes attributes = attribute(0x0006, user) + attribute(0x0024, {0x6e, 0x00, 0x1e, 0xff}) +
                       Bytes{0x80, 0x22, 0x00, 0x03, 'a', 'b', 'c'};
    Pairs pairs = decode(stun(0x0001, attributes, true));
    ASSERT_EQ(pairs.size(), 5u);
    EXPECT_EQ(pairs[2], (std::pair<std::string, std::string>{
                            "STUN_USERNAME", std::string(user.begin(), user.end())}));
    EXPECT_EQ(pairs[3], (std::pair<std::string, std::string>{"STUN_PRIORITY", "1845501695"}));
    EXPECT_EQ(pairs[4].second, "abc");
}

TEST(StunDecoder, UnknownAttributeRunningPastTheEndIsReadAsFurtherHeaders) {
    // 0030 claims 255 bytes; its 10 value bytes hold a padded 1-byte-value attribute, then
    // 2 bytes are left at a header position.
    Bytes attributes =
        Bytes{0x00, 0x30, 0x00, 0xff} + attribute(0x0031, {0xee}) + Bytes{0x12, 0x34};
    Pairs pairs = decode(stun(0x0001, attributes));
    EXPECT_EQ(pairs, (Pairs{{"MSG_TYPE", "STUN_BIND_REQUEST"},
                            {"TRANSACTION_ID", "101112131415161718191A1B1C1D1E1F"},
                            {"ERROR", "Corrupt packet (attr length)"},
                            {"0030", ""},
                            {"0031", "EE"},
                            {"ERROR", "Corrupt packet (attr header)"}}));
}

TEST(StunDecoder, KnownAttributeRunningPastTheEndStopsTheList) {
    Bytes attributes = Bytes{0x00, 0x06, 0x01, 0x00, 'a', 'b'};
    Pairs pairs = decode(stun(0x0001, attributes));
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[2],
              (std::pair<std::string, std::string>{"ERROR", "Corrupt packet (attr length)"}));
    EXPECT_EQ(pairs[3],
              (std::pair<std::string, std::string>{"STUN_USERNAME", "<<Invalid Length>>"}));
}

TEST(StunDecoder, LongValuesAreCutToTheTextLimit) {
    Bytes longText(20000, 'q');
    Bytes longHex(7000, 0xab);
    Pairs pairs = decode(stun(0x0001, attribute(0x0006, longText) + attribute(0x0013, longHex) +
                                          attribute(0x7777, longHex)));
    ASSERT_EQ(pairs.size(), 5u);
    EXPECT_EQ(pairs[2].second.size(), kStunValueTextLimit);
    EXPECT_LE(pairs[3].second.size(), kStunValueTextLimit);
    EXPECT_EQ(pairs[3].second.substr(0, 4), "ABAB");
    EXPECT_LE(pairs[4].second.size(), kStunValueTextLimit);
}

TEST(StunDecoder, NameTables) {
    EXPECT_STREQ(messageTypeName(0x0115), "TURN_DATA_INDICATION");
    EXPECT_EQ(messageTypeName(0x0005), nullptr);
    EXPECT_STREQ(attributeName(0x8022), "STUN_SERVER");
    EXPECT_EQ(attributeName(0x000C), nullptr);
    NameValuePair pairs;
    pairs.add("A", "1");
    pairs.add("A", "2");
    ASSERT_NE(pairs.find("A"), nullptr);
    EXPECT_EQ(*pairs.find("A"), "1");
    EXPECT_EQ(pairs.find("a"), nullptr);
}

TEST(StunDecoder, Ipv6AddressesPlainAndXoredWithTheCookieAndTransaction) {
    // 2001:db8::1:2 port 3478; the XOR key is the cookie and the transaction id (RFC 5389).
    const Bytes address = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2};
    Bytes plain = {0x00, 0x02, 0x0d, 0x96};
    plain.insert(plain.end(), address.begin(), address.end());
    const Bytes header = stun(0x0101, {}, true);
    Bytes xored = plain;
    xored[2] ^= header[4];
    xored[3] ^= header[5];
    for (size_t i = 0; i < 16; ++i) {
        xored[4 + i] ^= header[4 + i];
    }
    Bytes message = stun(0x0101, attribute(0x0001, plain) + attribute(0x0020, xored), true);
    Pairs pairs = decode(message);
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[2].second, "[2001:db8::1:2]:3478");
    EXPECT_EQ(pairs[3], (std::pair<std::string, std::string>{"STUN_XOR_MAPPED_ADDRESS",
                                                             "[2001:db8::1:2]:3478"}));
}
