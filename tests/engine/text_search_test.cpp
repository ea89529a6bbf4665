#include <gtest/gtest.h>

#include "engine/text_search.h"

using namespace varlowe;

// Windows show captured bytes through this: nothing may vanish, UTF-8 reads as itself, and
// the stray bytes of a Latin-1 display name read as Latin-1.
TEST(CapturedCharacters, UnicodeAsItIsOtherBytesAsLatin1) {
    EXPECT_EQ(capturedCharacters("From: sipp"), U"From: sipp");
    EXPECT_EQ(capturedCharacters("Gr\xc3\xbc\xc3\x9f"
                                 "e \xe2\x82\xac \xf0\x9f\x93\x9e"),
              U"Grüße € 📞");
    EXPECT_EQ(capturedCharacters("Jos\xe9 M\xfcller"), U"José Müller");
    // Mixed: the UTF-8 stays UTF-8 next to the stray byte.
    EXPECT_EQ(capturedCharacters("\xc3\xa9=\xe9"), U"é=é");
    // Cut, overlong, surrogate and beyond-Unicode sequences: byte by byte.
    EXPECT_EQ(capturedCharacters("\xe2\x82"), std::u32string({0xe2, 0x82}));
    EXPECT_EQ(capturedCharacters("\xc0\xaf"), std::u32string({0xc0, 0xaf}));
    EXPECT_EQ(capturedCharacters("\xed\xa0\x80"), std::u32string({0xed, 0xa0, 0x80}));
    EXPECT_EQ(capturedCharacters("\xf4\x90\x80\x80"), std::u32string({0xf4, 0x90, 0x80, 0x80}));
    EXPECT_EQ(capturedCharacters(std::string("a\0b", 3)), std::u32string(U"a\0b", 3));
    EXPECT_EQ(capturedCharacters(""), U"");
}
