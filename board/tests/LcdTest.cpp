#include "board/tests/BoardTesting.h"
#include "board/Lcd.h"

#include <gtest/gtest.h>

#include <functional>

using namespace board;

namespace {

// The LCD's pins worked by hand, one change at a time, a microsecond apart
// (12 MHz crystal): data on P1 (or P1.4-7), RS P3.5, RW P3.6, E P3.7.
struct Bus {
    Lcd lcd;
    PortState ports;
    uint64_t cycle = 10001;  // the power-on busy time is over

    explicit Bus(unsigned columns = 16, unsigned rows = 2, bool narrow = false, double osc = 270000)
        : lcd(Config(columns, rows, narrow, osc), 12e6)
    {
        set({3, 7}, false);
    }
    static Lcd::Config Config(unsigned columns, unsigned rows, bool narrow, double osc)
    {
        Lcd::Config c;
        c.columns = columns, c.rows = rows, c.oscHz = osc;
        c.data = *ParsePins(narrow ? "P1.4-7" : "P1");
        return c;
    }
    void set(Pin pin, bool high)
    {
        ports.level[pin.port] = high ? ports.level[pin.port] | pin.mask() : ports.level[pin.port] & ~pin.mask();
        lcd.pinsChanged(++cycle, ports);
    }
    void transfer(bool rs, uint8_t bits)
    {
        set({3, 5}, rs);
        set({3, 6}, false);
        ports.level[1] = bits;
        set({3, 7}, true);
        set({3, 7}, false);
    }
    // A byte, as one transfer or as two nibbles; then waits out the busy time.
    void send(bool rs, uint8_t value)
    {
        if (lcd.config().data.size() == 8) {
            transfer(rs, value);
        } else {  // D4-D7 on P1.4-7
            const bool nibbles = lcd.fourBitBus();
            transfer(rs, value & 0xF0);
            if (nibbles)
                transfer(rs, static_cast<uint8_t>(value << 4));
        }
        cycle += 2000;
    }
    void text(const char* s)
    {
        while (*s)
            send(true, static_cast<uint8_t>(*s++));
    }
    uint8_t readTransfer(bool rs)
    {
        set({3, 5}, rs);
        set({3, 6}, true);
        ports.level[1] = 0xFF;
        set({3, 7}, true);
        uint8_t low[4] = {0, 0, 0, 0};
        lcd.pullsLow(low);
        set({3, 7}, false);
        return static_cast<uint8_t>(~low[1]);
    }
    uint8_t read(bool rs)
    {
        if (lcd.config().data.size() == 8)
            return readTransfer(rs);
        const uint8_t high = readTransfer(rs) & 0xF0;
        return static_cast<uint8_t>(high | readTransfer(rs) >> 4);
    }
};

} // namespace

TEST(Lcd, InstructionsOnTheDisplay)
{
    const struct {
        const char* what;
        std::function<void(Bus&)> run;
        const char* row0;
        const char* row1;
        int ac;
    } cases[] = {
        {"text from home", [](Bus& b) { b.text("hello"); }, "hello           ", "                ", 5},
        {"second line", [](Bus& b) { b.send(false, 0xC0), b.text("ab"); }, "                ", "ab              ", 0x42},
        {"end of line 1 goes on at line 2", [](Bus& b) { b.send(false, 0x80 | 0x27), b.text("xy"); },
         "                ", "y               ", 0x41},
        {"clear", [](Bus& b) { b.text("abc"), b.send(false, 0x01); }, "                ", "                ", 0},
        {"decrement", [](Bus& b) { b.send(false, 0x04), b.send(false, 0x85), b.text("ab"); }, "    ba          ",
         "                ", 3},
        {"display shift left", [](Bus& b) { b.text("abc"), b.send(false, 0x18); }, "bc              ",
         "                ", 3},
        {"shift on write", [](Bus& b) { b.send(false, 0x07), b.send(false, 0x80 | 16), b.text("ab"); },
         "              ab", "                ", 18},
        {"cursor moves left", [](Bus& b) { b.text("abc"), b.send(false, 0x10), b.text("X"); }, "abX             ",
         "                ", 3},
        {"return home undoes the shift", [](Bus& b) { b.text("abc"), b.send(false, 0x18), b.send(false, 0x02); },
         "abc             ", "                ", 0},
        {"display off keeps DDRAM", [](Bus& b) { b.text("abc"), b.send(false, 0x08); }, "                ",
         "                ", 3},
        {"one line: no second row", [](Bus& b) { b.send(false, 0x30), b.send(false, 0xC0), b.text("z"); },
         "                ", "                ", 0x41},
        {"A00 characters", [](Bus& b) { b.send(true, 0x5C), b.send(true, 0x7E), b.send(true, 0xDF); },
         "¥→ﾟ             ", "                ", 3},
    };
    for (const auto& c : cases) {
        Bus b;
        b.send(false, 0x38), b.send(false, 0x0C), b.send(false, 0x06);
        c.run(b);
        EXPECT_EQ(b.lcd.rowText(0), c.row0) << c.what;
        EXPECT_EQ(b.lcd.rowText(1), c.row1) << c.what;
        EXPECT_EQ(b.lcd.addressCounter(), c.ac) << c.what;
        EXPECT_EQ(b.read(false), c.ac) << c.what << ": BF clear, AC read back";
    }
}

TEST(Lcd, CgramCharactersAndReadingData)
{
    Bus b;
    b.send(false, 0x38), b.send(false, 0x0C);
    b.send(false, 0x40 | 8);  // character 1
    for (uint8_t row : {0x04, 0x0E, 0x1F, 0x0E, 0x04, 0x00, 0x00, 0xFF})
        b.send(true, row);
    b.send(false, 0x80);
    b.send(true, 0x09);  // character 1 again (8-15 are 0-7)
    b.text("Q");
    EXPECT_EQ(b.lcd.rowCodes(0)[0], 0x09);
    EXPECT_EQ(b.lcd.rowText(0).substr(0, 2), "?Q");
    const std::array<uint8_t, 8> glyph{0x04, 0x0E, 0x1F, 0x0E, 0x04, 0x00, 0x00, 0x1F};
    EXPECT_EQ(b.lcd.cgramGlyph(0x09), glyph);
    b.send(false, 0x81);
    EXPECT_EQ(b.read(true), 'Q');
    b.cycle += 100;
    EXPECT_EQ(b.read(false), 0x02) << "a data read moves the address counter";
}

TEST(Lcd, BusyTimesAtTheOscillator)
{
    const struct { uint8_t value; bool data; double osc; uint64_t busyUs; } cases[] = {
        {0x01, false, 270000, 1520}, {0x02, false, 270000, 1520}, {0x06, false, 270000, 37},
        {0x0C, false, 270000, 37},   {0x38, false, 270000, 37},   {0x80, false, 270000, 37},
        {'A', true, 270000, 37},     {0x01, false, 135000, 3040}, {0x06, false, 540000, 19},
    };
    for (const auto& c : cases) {
        Bus b(16, 2, false, c.osc);
        b.transfer(c.data, c.value);
        const uint64_t fell = b.cycle;  // E fell here: the controller starts
        EXPECT_TRUE(b.lcd.busy(fell + c.busyUs - 1)) << int(c.value) << " at " << c.osc;
        EXPECT_FALSE(b.lcd.busy(fell + c.busyUs)) << int(c.value) << " at " << c.osc;
        EXPECT_EQ(b.read(false) & 0x80, 0x80) << "BF read while busy";
    }
    // Power-on: busy for 10 ms; what comes meanwhile is not taken.
    Bus b;
    b.lcd.powerOn(0);
    b.cycle = 100;
    EXPECT_TRUE(b.lcd.busy(b.cycle));
    b.send(false, 0x0C);
    EXPECT_FALSE(b.lcd.displayOn());
    EXPECT_EQ(b.lcd.writesWhileBusy(), 1u);
    b.cycle = 10000;
    b.send(false, 0x0C);
    EXPECT_TRUE(b.lcd.displayOn());
}

TEST(Lcd, FourBitBusAndFourRows)
{
    Bus b(20, 4, true);
    for (int i = 0; i < 3; ++i)
        b.send(false, 0x30);  // 8-bit bus: the low nibble is not wired
    b.send(false, 0x20);
    EXPECT_TRUE(b.lcd.fourBitBus());
    b.send(false, 0x28), b.send(false, 0x0C), b.send(false, 0x01);
    b.text("Hi");
    b.send(false, 0x80 | 0x14), b.text("row3");
    b.send(false, 0x80 | 0x54), b.text("row4");
    b.send(false, 0xC0), b.text("row2");
    EXPECT_EQ(b.lcd.rowText(0), "Hi                  ");
    EXPECT_EQ(b.lcd.rowText(1), "row2                ");
    EXPECT_EQ(b.lcd.rowText(2), "row3                ");
    EXPECT_EQ(b.lcd.rowText(3), "row4                ");
    EXPECT_EQ(b.read(false), 0x44);
}

// The program on the chip: 4-bit bus on P1.4-7, busy flag polled before every
// byte, from power-on (the controller is still in its internal reset).
TEST(Lcd, ProgramPollingTheBusyFlag)
{
    const char* program = R"(
        ORG 0
        CLR P3.7
        ACALL BUSY8
        MOV A,#20H
        CLR P3.5
        ACALL NIB
        MOV A,#28H
        ACALL CMD
        MOV A,#0CH
        ACALL CMD
        MOV A,#01H
        ACALL CMD
        MOV A,#'O'
        ACALL DAT
        MOV A,#'K'
        ACALL DAT
DONE:   SJMP DONE
BUSY8:  ORL P1,#0F0H
        CLR P3.5
        SETB P3.6
B8:     SETB P3.7
        MOV C,P1.7
        CLR P3.7
        JC B8
        CLR P3.6
        RET
BUSY4:  ORL P1,#0F0H
        CLR P3.5
        SETB P3.6
B4:     SETB P3.7
        MOV C,P1.7
        CLR P3.7
        SETB P3.7
        CLR P3.7
        JC B4
        CLR P3.6
        RET
NIB:    MOV R0,A
        ANL P1,#0FH
        ANL A,#0F0H
        ORL P1,A
        SETB P3.7
        CLR P3.7
        MOV A,R0
        RET
CMD:    ACALL BUSY4
        CLR P3.5
        SJMP SEND
DAT:    ACALL BUSY4
        SETB P3.5
SEND:   ACALL NIB
        SWAP A
        ACALL NIB
        SWAP A
        RET
)";
    test::Rig rig(program, "lcd 16x2 data=P1.4-7 rs=P3.5 rw=P3.6 e=P3.7\n");
    rig.run(20000);
    const Lcd& lcd = rig.board->find<LcdPart>(PartKind::Lcd)->lcd();
    EXPECT_EQ(lcd.rowText(0), "OK              ");
    EXPECT_EQ(lcd.writesWhileBusy(), 0u);
}
