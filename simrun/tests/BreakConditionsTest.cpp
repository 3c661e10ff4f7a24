#include "simrun/BreakConditions.h"

#include <gtest/gtest.h>

#include <array>

using namespace m51dbg;

TEST(BreakCondition, ParsedAndEvaluatedAgainstTheMachine)
{
    const SourceNames names = CollectSourceNames("DEFINEBIT SENT 20H.1\nDEFINE LIMIT 10\nDEFINE TABLE 40H\n");
    std::array<uint8_t, 256> iram{}, sfr{};
    iram[0x30] = 11;
    iram[0x40] = 3;
    iram[0x20] = 0x02;  // bit 20H.1 set
    sfr[0xE0] = 5;      // A
    const ByteReader read = [&](WatchSpace space, unsigned a) -> uint8_t {
        return space == WatchSpace::Sfr ? sfr[a & 0xFF] : space == WatchSpace::Iram ? iram[a & 0xFF] : 0;
    };
    struct Case {
        const char* text;
        bool holds;
    } cases[] = {
        {"A = 5", true},           {"A == 6", false},         {"a<>5", false},
        {"A != 4", true},          {"iram[30] > 10", true},   {"iram[30] > 11", false},
        {"iram[30] >= 11", true},  {"iram[30] <= 10", false}, {"iram[30] < 0CH", true},
        {"iram[TABLE] = 3", true}, {"iram[30] > LIMIT", true}, {"SENT", true},
        {"SENT = 0", false},       {"A = 'a'", false},        {"A > -1", true},
    };
    for (const Case& c : cases) {
        const ConditionParse parse = ParseCondition(c.text, names);
        ASSERT_TRUE(parse.condition) << c.text << ": " << parse.error;
        EXPECT_EQ(EvaluateCondition(*parse.condition, read, 0), c.holds) << c.text;
    }
}

TEST(BreakCondition, MistakesComeBackAsMessages)
{
    const SourceNames names = CollectSourceNames("DEFINE LIMIT 10\n");
    for (const char* text : {"A =", "= 5", "A ! 5", "NOSUCH > 3", "iram[30 > 1", "A = 5Q", "xdata[3] = 1"}) {
        const ConditionParse parse = ParseCondition(text, names);
        EXPECT_FALSE(parse.condition) << text;
        EXPECT_FALSE(parse.error.empty()) << text;
    }
    // No text: a breakpoint without a condition.
    const ConditionParse none = ParseCondition("  ", names);
    EXPECT_FALSE(none.condition);
    EXPECT_TRUE(none.error.empty());
}
