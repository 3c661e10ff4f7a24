#include "simrun/WatchList.h"
#include "simrun/Watches.h"

#include <gtest/gtest.h>

#include <array>

using namespace m51dbg;

namespace {

const char* const Source =
    "PROCESOR 51\n"
    "DEFINEBIT LED P1.0    ; the LED\n"
    "definebit SENT 20H.1\n"
    "DEFINEBIT RUNNING TR0\n"
    "DEFINE FLASHES 5\n"
    "DEFINE TABLE 40H\n"
    "DEFINE BROKEN\n";

struct Memory {
    std::array<uint8_t, 256> iram{}, sfr{};
    std::array<uint8_t, 65536> xram{};
    ByteReader reader()
    {
        return [this](WatchSpace s, unsigned a) -> uint8_t {
            switch (s) {
            case WatchSpace::Iram: return iram[a & 0xFF];
            case WatchSpace::Sfr: return sfr[a & 0xFF];
            case WatchSpace::Xram: return xram[a & 0xFFFF];
            case WatchSpace::Code: return 0x12;
            }
            return 0;
        };
    }
    ByteWriter writer()
    {
        return [this](WatchSpace s, unsigned a, uint8_t v) {
            (s == WatchSpace::Iram ? iram[a & 0xFF] : s == WatchSpace::Sfr ? sfr[a & 0xFF] : xram[a & 0xFFFF]) = v;
        };
    }
};

} // namespace

TEST(Watches, NamesOfTheSourceRegistersAndMemoriesRead)
{
    const SourceNames names = CollectSourceNames(Source);
    EXPECT_EQ(names.count("BROKEN"), 0u);
    Memory m;
    m.sfr[0x90] = 0xFE;               // P1: LED pin low
    m.iram[0x20] = 0x02;              // 20H.1
    m.sfr[0x88] = 0x10;               // TR0
    m.sfr[0xD0] = 0x08;               // bank 1
    m.iram[0x0B] = 0x77;              // R3 of bank 1, also COUNT4
    m.iram[0x12] = 0x33;              // BUFFER3
    m.iram[0x35] = 0x2C;              // MEM5
    m.iram[0x40] = 0x99;              // iram[TABLE]
    m.sfr[0x83] = 0x12, m.sfr[0x82] = 0x34;
    m.xram[0x1234] = 0x41;
    const struct { const char* expression; long value; } cases[] = {
        {"LED", 0}, {"sent", 1}, {"RUNNING", 1}, {"FLASHES", 5}, {"R3", 0x77}, {"COUNT4", 0x77}, {"BUFFER3", 0x33},
        {"MEM5", 0x2C}, {"iram[35]", 0x2C}, {"iram[ 35H ]", 0x2C}, {"iram[TABLE]", 0x99}, {"xram[1234]", 0x41},
        {"code[0]", 0x12}, {"sfr[90]", 0xFE}, {"P1", 0xFE}, {"A", 0}, {"DPTR", 0x1234}, {"PC", 0x0123}, {"P1.1", 1},
        {"PSW", 0x08}, {"RS0", 1},
    };
    for (const auto& c : cases) {
        const WatchParse p = ParseWatch(c.expression, names);
        ASSERT_TRUE(p.target) << c.expression << ": " << p.error;
        EXPECT_EQ(ReadWatch(*p.target, m.reader(), 0x0123), c.value) << c.expression;
    }
    for (const char* bad : {"", "NOSUCH", "iram[100]", "sfr[10]", "xram[10000]", "flash[0]", "iram[30", "BUFFER0", "COUNT9",
                            "MEM208", "P1.8"})
        EXPECT_FALSE(ParseWatch(bad, names).target) << bad;
}

TEST(Watches, FormsAndEditing)
{
    const SourceNames names = CollectSourceNames(Source);
    const WatchTarget byte = *ParseWatch("iram[30]", names).target;
    const WatchTarget bit = *ParseWatch("LED", names).target;
    const WatchTarget word = *ParseWatch("DPTR", names).target;
    const struct { const WatchTarget* target; long value; WatchFormat format; const char* text; } cases[] = {
        {&byte, 0x2C, WatchFormat::Hex, "2CH"},       {&byte, 0x2C, WatchFormat::Decimal, "44"},
        {&byte, 0x2C, WatchFormat::Binary, "00101100"}, {&byte, 0x41, WatchFormat::Char, "'A'"},
        {&byte, 0x07, WatchFormat::Char, "\xC2\xB7"}, {&bit, 1, WatchFormat::Hex, "1"},
        {&bit, 1, WatchFormat::Binary, "1"},          {&word, 0x1234, WatchFormat::Hex, "1234H"},
        {&word, 0x8001, WatchFormat::Binary, "1000000000000001"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatWatch(*c.target, c.value, c.format), c.text) << c.text;

    const struct { const char* text; std::optional<long> value; } values[] = {
        {"25", 25}, {"0FFH", 255}, {"FFH", 255}, {"0x1F", 31}, {"1010B", 10}, {"'A'", 65}, {"-3", -3}, {"zz", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& v : values)
        EXPECT_EQ(ParseWatchValue(v.text), v.value) << v.text;
    // Typed into a column: plain digits in its base, marked values as marked.
    const struct { const char* text; WatchFormat column; std::optional<long> value; } typed[] = {
        {"52", WatchFormat::Hex, 0x52},     {"1b", WatchFormat::Hex, 0x1B},     {"0FFH", WatchFormat::Hex, 255},
        {"0x10", WatchFormat::Hex, 16},     {"52", WatchFormat::Decimal, 52},   {"101", WatchFormat::Binary, 5},
        {"12", WatchFormat::Binary, std::nullopt}, {"A", WatchFormat::Char, 65}, {"'A'", WatchFormat::Char, 65},
        {"zz", WatchFormat::Hex, std::nullopt},
    };
    for (const auto& v : typed)
        EXPECT_EQ(ParseWatchValue(v.text, v.column), v.value) << v.text;

    Memory m;
    m.sfr[0x90] = 0xFF;
    EXPECT_TRUE(WriteWatch(bit, 0, m.reader(), m.writer()));
    EXPECT_EQ(m.sfr[0x90], 0xFE) << "only the bit changes";
    m.sfr[0xD0] = 0x10;  // bank 2
    EXPECT_TRUE(WriteWatch(*ParseWatch("R1", names).target, 0x55, m.reader(), m.writer()));
    EXPECT_EQ(m.iram[0x11], 0x55);
    EXPECT_TRUE(WriteWatch(word, 0xBEEF, m.reader(), m.writer()));
    EXPECT_EQ(m.sfr[0x83] << 8 | m.sfr[0x82], 0xBEEF);
    EXPECT_FALSE(WriteWatch(*ParseWatch("FLASHES", names).target, 1, m.reader(), m.writer()));
    EXPECT_FALSE(WriteWatch(*ParseWatch("code[10]", names).target, 1, m.reader(), m.writer()));
    EXPECT_FALSE(WriteWatch(*ParseWatch("PC", names).target, 1, m.reader(), m.writer()));
}

TEST(WatchList, ChangesMarkedAgainstTheLastStopAndNamesOfANewBuild)
{
    Memory m;
    WatchList list;
    list.setNames(CollectSourceNames("DEFINEBIT LED P1.1\n"));
    list.add("iram[30]");
    list.add("LED");
    list.add("COUNTER");  // not (yet) a name of the program
    EXPECT_FALSE(list.entries()[2].target);
    list.sample(m.reader(), 0, true);
    EXPECT_FALSE(list.entries()[0].changed) << "nothing to compare with at the first stop";
    m.iram[0x30] = 7;
    list.sample(m.reader(), 0, false);  // while running
    EXPECT_TRUE(list.entries()[0].changed);
    EXPECT_EQ(list.entries()[0].value, 7);
    list.sample(m.reader(), 0, true);  // the stop: still changed since the one before
    EXPECT_TRUE(list.entries()[0].changed);
    list.sample(m.reader(), 0, true);
    EXPECT_FALSE(list.entries()[0].changed);
    // A new build defines COUNTER and moves LED.
    list.setNames(CollectSourceNames("DEFINE COUNTER 30H\nDEFINEBIT LED P1.2\n"));
    ASSERT_TRUE(list.entries()[2].target);
    EXPECT_FALSE(list.entries()[1].known) << "a moved name starts afresh";
    list.setExpression(2, "iram[COUNTER]");
    list.sample(m.reader(), 0, true);
    EXPECT_EQ(list.entries()[2].value, 7);
    EXPECT_TRUE(list.write(2, 9, m.reader(), m.writer()));
    EXPECT_EQ(m.iram[0x30], 9);
    list.remove(0);
    EXPECT_EQ(list.size(), 2u);
}
