// Code page 1250 to UTF-8 and back: every byte survives, Czech text reads as
// it should, and what the code page lacks keeps the UTF-16 columns.
#include "common/CodePage1250.h"

#include <gtest/gtest.h>

TEST(CodePage1250, EveryByteSurvivesTheWayThroughUtf8)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(cp1250::FromUtf8(cp1250::ToUtf8(all)), all);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(cp1250::FromUnicode(cp1250::ToUnicode(static_cast<unsigned char>(b))), b) << b;
}

TEST(CodePage1250, TextBothWays)
{
    const struct {
        const char* utf8;
        const char* bytes;
    } cases[] = {
        {"Příliš žluťoučký kůň", "P\xf8\xedli\x9a \x9elu\x9dou\xe8k\xfd k\xf9\xf2"},
        {"€ „x“ ˇ", "\x80 \x84x\x93 \xa1"},
        {"a中b", "a?b"},            // not in the code page: one UTF-16 unit, one '?'
        {"a\xF0\x9F\x98\x80" "b", "a??b"},  // beyond 16 bits: two units, two '?'
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(cp1250::FromUtf8(c.utf8), c.bytes);
    }
    EXPECT_EQ(cp1250::ToUtf8("\x8a\x9a\xe8"), "Ššč");
    EXPECT_EQ(cp1250::FromUtf8("x\xC3"), "x?");      // cut off
    EXPECT_EQ(cp1250::FromUtf8("\xFF" "a"), "?a");   // not UTF-8
}
