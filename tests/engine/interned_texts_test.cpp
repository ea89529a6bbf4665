#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/chunked_vector.h"
#include "engine/interned_texts.h"

using namespace varlowe;

TEST(InternedTexts, NumbersTextsInOrderOfFirstAppearanceThroughGrowth) {
    InternedTexts table;
    EXPECT_EQ(table.find("a"), InternedTexts::kNone);
    // Enough texts to grow the table several times; every text keeps its number and bytes.
    for (uint32_t i = 0; i < 5000; ++i) {
        ASSERT_EQ(table.intern("call-" + std::to_string(i) + "@host"), i);
    }
    EXPECT_EQ(table.intern("call-17@host"), 17u);
    EXPECT_EQ(table.size(), 5000u);
    for (uint32_t i = 0; i < 5000; i += 499) {
        EXPECT_EQ(table.text(i), "call-" + std::to_string(i) + "@host");
        EXPECT_EQ(table.find("call-" + std::to_string(i) + "@host"), i);
    }
    EXPECT_EQ(table.find("call-5000@host"), InternedTexts::kNone);
    EXPECT_EQ(table.find("call-1"), InternedTexts::kNone);  // a prefix is another text
}

TEST(InternedTexts, TellsApartTextsThatDifferOnlyInBytesAfterAZeroOrInLength) {
    InternedTexts table;
    const std::string withZero("ab\0c", 4);
    const uint32_t empty = table.intern("");
    const uint32_t zero = table.intern(withZero);
    const uint32_t shorter = table.intern("ab");
    EXPECT_NE(empty, zero);
    EXPECT_NE(zero, shorter);
    EXPECT_EQ(table.text(empty), "");
    EXPECT_EQ(table.text(zero), withZero);
    EXPECT_EQ(table.find(std::string("ab\0d", 4)), InternedTexts::kNone);
}

TEST(KeyedItemLists, KeepsEachKeysItemsInOrderAndStopsWhenAsked) {
    KeyedItemLists lists;
    lists.add(3, 10);
    lists.add(0, 11);
    lists.add(3, 12);
    lists.add(3, 13);
    auto of = [&lists](uint32_t key, size_t limit = 100) {
        std::vector<uint32_t> out;
        lists.forEach(key, [&](uint32_t item) {
            out.push_back(item);
            return out.size() < limit;
        });
        return out;
    };
    EXPECT_EQ(of(3), (std::vector<uint32_t>{10, 12, 13}));
    EXPECT_EQ(of(0), (std::vector<uint32_t>{11}));
    EXPECT_EQ(of(3, 2), (std::vector<uint32_t>{10, 12}));
    EXPECT_TRUE(of(1).empty());  // a key between used ones
    EXPECT_TRUE(of(KeyedItemLists::kEnd).empty());
}

// Holders keep references to elements while more are added (an announcement while its lists
// grow): across chunk boundaries nothing moves, and clearing starts afresh.
TEST(ChunkedVector, ElementsStayWhereTheyAreAcrossChunksAndClearStartsAfresh) {
    struct Large {
        std::string text;
        char room[3000];
    };
    ChunkedVector<Large> large;
    EXPECT_EQ(ChunkedVector<Large>::kChunk, 16u);  // the least a chunk holds
    large.emplace_back().text = "first";
    const Large* first = &large[0];
    for (int i = 1; i < 100; ++i) {
        large.push_back(Large{"n" + std::to_string(i), {}});
    }
    EXPECT_EQ(first, &large[0]);
    EXPECT_EQ(large[0].text, "first");
    EXPECT_EQ(large[16].text, "n16");  // the first of the second chunk
    EXPECT_EQ(large.back().text, "n99");
    EXPECT_EQ(large.size(), 100u);

    ChunkedVector<uint32_t> small;
    EXPECT_EQ(ChunkedVector<uint32_t>::kChunk, 16384u);  // 64 KB of them
    for (uint32_t i = 0; i < 40000; ++i) {
        small.push_back(i * 3);
    }
    EXPECT_EQ(small[16383] + 3, small[16384]);
    small.clear();
    EXPECT_TRUE(small.empty());
    small.push_back(7);
    EXPECT_EQ(small.size(), 1u);
    EXPECT_EQ(small.back(), 7u);
}
