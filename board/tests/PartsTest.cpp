#include "board/tests/BoardTesting.h"

#include <gtest/gtest.h>

using namespace board;
using board::test::Rig;

namespace {

// Rows P1.0-3 driven low one at a time; the columns P1.4-7 read back into
// 30H-33H, one bit per column that reads low.
const char* const KeypadScan = R"(
        ORG 0
SCAN:   MOV R0,#30H
        MOV R2,#0FEH
ROW:    MOV P1,R2
        MOV A,P1
        SWAP A
        CPL A
        ANL A,#0FH
        MOV @R0,A
        INC R0
        MOV A,R2
        RL A
        MOV R2,A
        CJNE R0,#34H,ROW
        SJMP SCAN
)";

// Four digits "1234" multiplexed, each on for 250 us (the whole display at 1 kHz):
// segments on P0 (active high), digit selects P2.0-3 (active low).
const char* const Multiplex = R"(
        ORG 0
LOOP:   MOV R0,#0
DIG:    MOV P2,#0FFH
        MOV A,R0
        MOV DPTR,#SEGS
        MOVC A,@A+DPTR
        MOV P0,A
        MOV A,R0
        MOV DPTR,#SELS
        MOVC A,@A+DPTR
        MOV P2,A
        MOV R1,#118
W:      DJNZ R1,W
        INC R0
        CJNE R0,#4,DIG
        SJMP LOOP
        ORG 40H
PARK:   MOV P2,#0FFH
        MOV P0,#06H
        MOV P2,#0FEH
        SJMP $
SEGS:   DB 06H,5BH,4FH,0E6H
SELS:   DB 0FEH,0FDH,0FBH,0F7H
)";

} // namespace

TEST(Keypad, ScanningSeesThePressedKeysAndTheirGhosts)
{
    const struct { const char* keys; const char* columns; unsigned rowsOf4x4 = 4; } cases[] = {
        {"", "\0\0\0\0"},
        {"1", "\1\0\0\0"},
        {"6", "\0\4\0\0"},
        {"C", "\0\0\x8\0"},
        {"*", "\0\0\0\1"},
        {"D", "\0\0\0\x8"},
        {"25", "\2\2\0\0"},    // one column, two rows
        {"124", "\3\3\0\0"},   // three corners of a rectangle: the fourth key (5) reads pressed too
    };
    for (const auto& c : cases) {
        Rig rig(KeypadScan, "keypad 4x4 rows=P1.0-3 cols=P1.4-7\n");
        for (const char* k = c.keys; *k; ++k)
            ASSERT_TRUE(rig.board->setKey(0, *k, true));
        rig.run(200);
        for (unsigned r = 0; r < 4; ++r)
            EXPECT_EQ(rig.iram(0x30 + r), static_cast<uint8_t>(c.columns[r])) << "keys " << c.keys << " row " << r;
    }
    // Released, the key is gone at the next scan; a 3x4 keypad has no fourth column.
    Rig rig(KeypadScan, "keypad 3x4 rows=P1.0-3 cols=P1.4-6\n");
    EXPECT_FALSE(rig.board->setKey(0, 'A', true));
    rig.board->setKey(0, '#', true);
    rig.run(200);
    EXPECT_EQ(rig.iram(0x33), 4);
    rig.board->setKey(0, '#', false);
    rig.run(200);
    EXPECT_EQ(rig.iram(0x33), 0);
}

TEST(SevenSegment, MultiplexedDigitsShowSteadilyAndFadeWhenTheScanStops)
{
    Rig rig(Multiplex, "7seg 4 seg=P0 sel=P2.0-3 seg-active=high sel-active=low\n");
    auto* display = rig.board->find<SevenSegPart>(PartKind::SevenSeg);
    // Looked at every few milliseconds, at any phase of the scan, the eye sees all four.
    for (uint64_t at : {30000, 33000, 36100, 41700, 50000}) {
        rig.run(at - rig.machine->cycles());
        EXPECT_EQ(display->text(), "1234.") << "at " << at << " us";
    }
    for (unsigned d = 0; d < 4; ++d)
        EXPECT_GT(display->brightness(d)[1], 0.9f) << "segment b of digit " << d;
    EXPECT_LT(display->brightness(0)[0], 0.05f) << "segment a of the 1 stays dark (ghosts too short to see)";
    // Only the first digit left on: after one window the others are dark.
    rig.machine->setPc(0x40);  // PARK
    rig.run(25000);
    EXPECT_EQ(display->text(), "1   ");
    EXPECT_FLOAT_EQ(display->brightness(0)[1], 1.0f);
}

TEST(SevenSegment, DirectDigitsAndTheirPatterns)
{
    const struct { uint8_t p1; const char* text; } cases[] = {
        {0x3F, "0"}, {0x6D, "5"}, {0x7D, "6"}, {0x77, "A"}, {0x5E, "d"}, {0x40, "-"}, {0x00, " "}, {0x86, "1."},
        {0x49, "?"},
    };
    for (const auto& c : cases) {
        // Active low: the program writes the complement.
        const std::string program = "MOV P1,#" + std::to_string(static_cast<uint8_t>(~c.p1)) + "\nSJMP $\n";
        Rig rig(program, "7seg 1 seg=P1 seg-active=low\n");
        rig.run(30000);
        EXPECT_EQ(rig.board->find<SevenSegPart>(PartKind::SevenSeg)->text(), c.text) << int(c.p1);
    }
}

TEST(Board, ButtonsSwitchesAndLedsAtTheirActiveLevels)
{
    // P1.0 follows the button on P3.2, P1.1 the switch on P3.3.
    const char* program = "LOOP: MOV C,P3.2\nMOV P1.0,C\nMOV C,P3.3\nMOV P1.1,C\nSJMP LOOP\n";
    const char* layout = "button P3.2 low\nswitch P3.3 high\nled P1.0 low\nled P1.1 high\ntrace P1.0\n";
    const struct { bool button, sw; bool led0, led1; } cases[] = {
        {false, false, false, false},
        {true, false, true, false},
        {false, true, false, true},
        {true, true, true, true},
    };
    for (const auto& c : cases) {
        Rig rig(program, layout);
        rig.board->setClosed(0, c.button);
        rig.board->setClosed(1, c.sw);
        rig.run(50);
        EXPECT_EQ(static_cast<LedPart&>(rig.board->part(2)).lit(0), c.led0) << c.button << c.sw;
        EXPECT_EQ(static_cast<LedPart&>(rig.board->part(3)).lit(0), c.led1) << c.button << c.sw;
    }
    // The trace has P1.0 at the cycle it changed; a part that is not a button is not pressed.
    Rig rig(program, layout);
    EXPECT_FALSE(rig.board->setClosed(2, true));
    rig.run(20);
    rig.board->setClosed(0, true);
    const uint64_t pressed = rig.machine->cycles();
    rig.run(20);
    rig.board->setClosed(0, false);
    rig.run(20);
    const auto& edges = rig.board->find<TracePart>(PartKind::Trace)->edges();
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_EQ(edges[1].levels, 0);
    EXPECT_GT(edges[1].cycle, pressed);
    EXPECT_LE(edges[1].cycle, pressed + 7);  // within one pass of the loop
    EXPECT_EQ(rig.board->find<TracePart>(PartKind::Trace)->levelsAt(edges[1].cycle + 1), 0);
}

// The parts see the board's own drives whether the machine reports them back
// (the board hears it) or not (attached with no listener set yet).
TEST(Board, PartsSeeTheBoardsOwnDrivesWithOrWithoutReports)
{
    for (const bool heard : {true, false}) {
        Rig rig("SJMP $\n", "button P3.2 low\nled P3.2 low\n");
        if (!heard)
            rig.machine->setListener(nullptr);
        const auto& led = static_cast<const LedPart&>(rig.board->part(1));
        rig.board->setClosed(0, true);
        EXPECT_TRUE(led.lit(0)) << heard;
        rig.board->setClosed(0, false);
        EXPECT_FALSE(led.lit(0)) << heard;
    }
}
