// The UART and the serial line: frame lengths from the data sheet, bytes sent
// back to back on a real line, a byte lost only where the chip loses it, and
// a program that measures the line's bit rate on RXD.

#include "sim/tests/TestBoard.h"

using namespace sim;
using namespace sim::test;

namespace {

const char* const kEcho =
    "MOV TMOD,#20H\nMOV TH1,#0FDH\nMOV TL1,#0FDH\nSETB TR1\nMOV SCON,#50H\n"
    "LOOP: JNB RI,LOOP\nCLR RI\nMOV A,SBUF\nINC A\nMOV SBUF,A\nJNB TI,$\nCLR TI\nSJMP LOOP\n";

TEST(Uart, FrameLengthAndTransmitFlag)
{
    // 11.0592 MHz: timer 1 reloaded with FDH overflows every 3 cycles.
    const char* timer1 = "MOV TMOD,#20H\nMOV TH1,#0FDH\nMOV TL1,#0FDH\nSETB TR1\n";
    // timer 2 as the bit-rate clock: fosc / (32 x (65536 - RCAP2)), 9600 bit/s with FFDCH
    const char* timer2 = "MOV RCAP2H,#0FFH\nMOV RCAP2L,#0DCH\nMOV TH2,#0FFH\nMOV TL2,#0DCH\nMOV T2CON,#34H\n";
    struct Case { const char* clock; unsigned scon, pcon; double bit; unsigned bits; };
    const Case cases[] = {
        {timer1, 0x40, 0x00, 96, 10},        // mode 1, 9600 bit/s
        {timer1, 0x40, 0x80, 48, 10},        // mode 1, SMOD: 19200 bit/s
        {timer1, 0xC0, 0x00, 96, 11},        // mode 3: nine data bits
        {timer1, 0x80, 0x00, 64 / 12.0, 11}, // mode 2: fosc/64
        {timer1, 0x80, 0x80, 32 / 12.0, 11}, // mode 2, SMOD: fosc/32
        {timer2, 0x40, 0x00, 96, 10},        // mode 1 from timer 2 (SMOD does not apply)
        {timer2, 0x40, 0x80, 96, 10},
    };
    for (const Case& c : cases) {
        char setup[300];
        std::snprintf(setup, sizeof setup,
                      "%sMOV PCON,#%03XH\nMOV SCON,#%03XH\nMOV A,#55H\nMOV SBUF,A\nJNB TI,$\nHERE: SJMP HERE\n",
                      c.clock, c.pcon, c.scon);
        auto m = makeMachine(setup);
        Recorder rec;
        m->setListener(&rec);
        while (m->read(Space::Code, m->pc()) != 0xF5)
            m->step();
        m->step();
        const uint64_t start = m->cycles() - 1 + 1;  // SBUF written at the end of MOV's only cycle
        while (!(m->read(Space::Sfr, 0x98) & 0x02) && m->cycles() < start + 5000)
            m->step();
        // The frame starts at the next rollover of the divide-by-16 counter:
        // up to one bit after the write.
        const double slack = c.bit / 2 + c.bit / 16 + 2;
        EXPECT_NEAR(static_cast<double>(m->cycles() - start), c.bit * (c.bits - 0.5), slack) << "TI, SCON " << c.scon << ' ' << c.clock;
        m->run(2000);
        ASSERT_EQ(rec.sent, "U");
        EXPECT_NEAR(static_cast<double>(rec.sentAt[0] - start), c.bit * (c.bits + 0.5), slack) << "stop, SCON " << c.scon;
    }
}

TEST(SerialLine, EchoesBytesSentBackToBack)
{
    struct Case { SerialLine line; double baud; };
    const Case cases[] = {{SerialLine::RealLine, 9600}, {SerialLine::RealLine, 0}, {SerialLine::Ideal, 0}};
    for (const Case& c : cases) {
        Board board;
        board.serial = c.line;
        board.lineBaud = c.baud;
        auto m = makeMachine(kEcho, "8052", board);
        Recorder rec;
        m->setListener(&rec);
        m->run(100);
        const std::string text = "HAL 9000";
        m->sendSerial(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        m->run(960 * (text.size() + 3));
        EXPECT_EQ(rec.sent, "IBM!:111") << "line baud " << c.baud;
        EXPECT_EQ(rec.lost, "");
        if (c.line == SerialLine::RealLine) {  // as fast as the line carries them and no faster
            EXPECT_GT(rec.sentAt.back(), 960u * text.size());
        }
    }
}

TEST(SerialLine, ByteLostOnlyWhenRiIsNotCleared)
{
    Board board;
    board.serial = SerialLine::RealLine;
    board.lineBaud = 9600;
    auto m = makeMachine("MOV TMOD,#20H\nMOV TH1,#0FDH\nMOV TL1,#0FDH\nSETB TR1\nMOV SCON,#50H\nSJMP $\n", "8052",
                         board);
    Recorder rec;
    m->setListener(&rec);
    m->sendSerial(reinterpret_cast<const uint8_t*>("AB"), 2);
    m->run(960 * 4);
    EXPECT_EQ(m->read(Space::Sfr, 0x99), 'A');
    EXPECT_EQ(rec.lost, "B");
}

// Waits for a space on RXD, measures its low time (start bit and five zero
// bits) in loops of 32 cycles, sampled in the middle; a sixth of the count is
// 256-TH1 for SMOD clear. Then sets the bit rate, says "!" and echoes.
const char* const kAutoBaud =
    "START: JB P3.0,START\n"
    "MOV R3,#7\nD1: DJNZ R3,D1\n"
    "MOV R2,#0\n"
    "MEAS: INC R2\nMOV R3,#14\nD2: DJNZ R3,D2\nJNB P3.0,MEAS\n"
    "MOV A,R2\nMOV B,#6\nDIV AB\nMOV R2,A\n"
    "CLR C\nCLR A\nSUBB A,R2\nMOV TH1,A\nMOV TL1,A\nMOV TMOD,#20H\nSETB TR1\n"
    "JB P3.0,$\nJNB P3.0,$\n"  // the rest of the space: bits 6 and 7 low, then the stop bit
    "MOV SCON,#50H\nMOV SBUF,#'!'\nJNB TI,$\nCLR TI\n"
    "ECHO: JNB RI,ECHO\nCLR RI\nMOV A,SBUF\nMOV SBUF,A\nJNB TI,$\nCLR TI\nSJMP ECHO\n";

TEST(SerialLine, AutoBaudProgramMeasuresASpace)
{
    struct Case { double baud; uint8_t th1; };
    for (const Case& c : {Case{2400, 0xF4}, Case{4800, 0xFA}, Case{9600, 0xFD}}) {
        Board board;
        board.serial = SerialLine::RealLine;
        board.lineBaud = c.baud;
        auto m = makeMachine(kAutoBaud, "8052", board);
        Recorder rec;
        m->setListener(&rec);
        m->run(5000);
        m->sendSerial(reinterpret_cast<const uint8_t*>(" "), 1);
        const double bit = 11059200.0 / 12 / c.baud;
        for (int i = 0; i < 40 && rec.sent.empty(); ++i)
            m->run(static_cast<uint64_t>(bit));
        EXPECT_EQ(m->read(Space::Sfr, 0x8D), c.th1) << c.baud;
        m->sendSerial(reinterpret_cast<const uint8_t*>("OK"), 2);
        m->run(static_cast<uint64_t>(bit * 40));
        EXPECT_EQ(rec.sent, "!OK") << c.baud;
    }
}

}  // namespace
