#include "board/BoardFile.h"

#include <gtest/gtest.h>

using namespace board;

TEST(BoardPins, ListsRangesAndWholePortsReadAndWrittenBack)
{
    const struct { const char* text; std::vector<Pin> pins; const char* formatted; } cases[] = {
        {"P1.3", {{1, 3}}, "P1.3"},
        {"p2", {{2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}}, "P2"},
        {"P1.0-3", {{1, 0}, {1, 1}, {1, 2}, {1, 3}}, "P1.0-3"},
        {"P1.7-4", {{1, 7}, {1, 6}, {1, 5}, {1, 4}}, "P1.7-4"},
        {"P3.2,P0.1-2", {{3, 2}, {0, 1}, {0, 2}}, "P3.2,P0.1-2"},
    };
    for (const auto& c : cases) {
        auto pins = ParsePins(c.text);
        ASSERT_TRUE(pins) << c.text;
        EXPECT_EQ(*pins, c.pins) << c.text;
        EXPECT_EQ(FormatPins(*pins), c.formatted);
    }
    for (const char* bad : {"", "P4.0", "P1.8", "P1.", "P1.0-", "Q1.0", "P1.0-9", "P1.0,", "P1.0-3x"})
        EXPECT_FALSE(ParsePins(bad)) << bad;
}

TEST(BoardFile, EveryPartReadAndWrittenBackTheSame)
{
    const std::string text =
        "# the trainer board\n"
        "led P2.0 low\n"
        "ledbar P1 high label=\"Port 1\"\n"
        "\n"
        "button P3.2 low key=Space\n"
        "switch P3.3 high key=S\n"
        "7seg 4 seg=P0 sel=P2.0-3 seg-active=low sel-active=high\n"
        "7seg 1 seg=P1 seg-active=high\n"
        "keypad 3x4 rows=P1.0-3 cols=P1.4-6\n"
        "lcd 20x4 data=P1.4-7 rs=P3.5 e=P3.7 osc=250000\n"
        "lcd 16x2 data=P0 rs=P2.0 rw=P2.1 e=P2.2\n"
        "trace P1.0 P3.5\n";
    const BoardParse parse = ParseBoard(text);
    ASSERT_TRUE(parse.errors.empty()) << parse.errors[0].line << ": " << parse.errors[0].message;
    ASSERT_EQ(parse.board.parts.size(), 10u);
    const PartSpec& lcd = parse.board.parts[7];
    EXPECT_EQ(lcd.kind, PartKind::Lcd);
    EXPECT_EQ(lcd.columns, 20u);
    EXPECT_EQ(lcd.rows, 4u);
    EXPECT_EQ(lcd.pins.size(), 4u);
    EXPECT_FALSE(lcd.hasRw);
    EXPECT_EQ(lcd.oscHz, 250000.0);
    EXPECT_EQ(lcd.line, 10);
    EXPECT_TRUE(parse.board.parts[4].activeLow);  // segments active low, digits high
    EXPECT_FALSE(parse.board.parts[4].selectActiveLow);
    EXPECT_FALSE(parse.board.parts[5].activeLow);
    EXPECT_EQ(parse.board.parts[1].label, "Port 1");

    // What is written back reads back as the same board, and is written the same again.
    const std::string saved = FormatBoard(parse.board);
    const BoardParse again = ParseBoard(saved);
    ASSERT_TRUE(again.errors.empty());
    EXPECT_EQ(FormatBoard(again.board), saved);
    EXPECT_NE(saved.find("led P2.0 low\n"), std::string::npos);
    EXPECT_NE(saved.find("lcd 20x4 data=P1.4-7 rs=P3.5 e=P3.7 osc=250000\n"), std::string::npos);
}

TEST(BoardFile, MistakesReportedOnTheirLinesAndTheRestKept)
{
    const struct { const char* line; const char* message; } cases[] = {
        {"lamp P1.0", "unknown part 'lamp'"},
        {"led P1", "led takes one pin"},
        {"led P5.0", "not a pin list"},
        {"led P1.0 dim", "low or high"},
        {"button P3.2 low colour=red", "unknown option colour="},
        {"7seg 9 seg=P0", "1 to 8"},
        {"7seg 2 seg=P0", "seg= needs 16 pins"},
        {"7seg 4 seg=P0 sel=P2.0-2", "sel= needs 4 pins"},
        {"7seg 4 seg=P0 sel=P0.0-3", "used twice"},
        {"keypad 5x4 rows=P1.0-3 cols=P1.4-7", "3x4 or 4x4"},
        {"keypad 4x4 rows=P1.0-3", "missing cols="},
        {"lcd 16x2 data=P1.0-5 rs=P3.5 e=P3.7", "8 pins"},
        {"lcd 16x2 data=P1 e=P3.7", "missing rs="},
        {"lcd 16 data=P1 rs=P3.5 e=P3.7", "16x2"},
        {"lcd 16x2 data=P1 rs=P3.5 e=P3.7 osc=fast", "osc="},
        {"lcd 16x2 data=P1 rs=P3.5 e=P3.7 osc=nan", "osc="},
        {"lcd 16x2 data=P1 rs=P3.5 e=P3.7 osc=inf", "osc="},
        {"lcd 16x2 data=P1 rs=P3.5 e=P3.7 osc=1e400", "osc="},
        {"\x1B]0;title\x07 P1.0", "unknown part '\\x1B]0;title\\x07'"},
        {"led P1.0 label=a label=b", "given twice"},
        {"led P1.0 label=\"open", "quote"},
        {"trace", "1 to 8 pins"},
    };
    std::string text = "led P2.0\n";
    for (const auto& c : cases)
        text += std::string(c.line) + "\n";
    text += "led P2.1\n";
    const BoardParse parse = ParseBoard(text);
    ASSERT_EQ(parse.errors.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(parse.errors[i].line, static_cast<int>(i) + 2) << cases[i].line;
        EXPECT_NE(parse.errors[i].message.find(cases[i].message), std::string::npos)
            << cases[i].line << " -> " << parse.errors[i].message;
    }
    ASSERT_EQ(parse.board.parts.size(), 2u);
    EXPECT_EQ(parse.board.parts[1].pins[0], (Pin{2, 1}));
}

// Whatever label or key a file can hold (any byte but the quote and the line
// end, blanks of every kind among them) is written so that it reads back the
// same; past a hundred mistakes of one kind one line counts the rest.
TEST(BoardFile, WriterAndReaderAgreeOnEveryByteAndMistakesAreBounded)
{
    std::string bytes;
    for (int c = 1; c < 256; ++c)
        if (c != '"' && c != '\n')
            bytes += static_cast<char>(c);
    for (std::size_t start = 0; start < bytes.size(); start += 7) {
        PartSpec part;
        part.kind = PartKind::Button;
        part.pins = {Pin{3, 2}};
        part.label = bytes.substr(start, 1 + start % 13);
        part.key = bytes.substr(bytes.size() - 1 - start % 50, 1);
        BoardDescription board;
        board.parts = {part};
        const BoardParse back = ParseBoard(FormatBoard(board));
        ASSERT_TRUE(back.errors.empty()) << FormatBoard(board) << back.errors[0].message;
        ASSERT_EQ(back.board.parts.size(), 1u);
        EXPECT_EQ(back.board.parts[0].label, part.label) << start;
        EXPECT_EQ(back.board.parts[0].key, part.key) << start;
    }

    std::string flood;
    for (int i = 0; i < 1000; ++i)
        flood += "lamp P1.0\n";
    const BoardParse parse = ParseBoard(flood);
    ASSERT_EQ(parse.errors.size(), 101u);
    EXPECT_EQ(parse.errors.back().line, 0);
    EXPECT_NE(parse.errors.back().message.find("900 more errors like this not shown"), std::string::npos);
}
