// Timers, interrupts and power modes against the data sheet's timing.

#include "sim/tests/TestBoard.h"

using namespace sim;
using namespace sim::test;

namespace {

uint8_t sfr(const Machine& m, unsigned a) { return m.read(Space::Sfr, a); }

// Counts from the timer's start to the overflow flag, stepping NOPs of one cycle.
unsigned countsToFlag(Machine& m, unsigned sfrAddress, uint8_t flag, unsigned limit = 100000)
{
    for (unsigned k = 1; k <= limit; ++k) {
        m.step();
        if (sfr(m, sfrAddress) & flag)
            return k;
    }
    return 0;
}

TEST(Timers, OverflowAfterTheRightNumberOfCounts)
{
    struct Case { const char* setup; unsigned first, second; };  // counts to the first and second overflow
    const Case cases[] = {
        {"MOV TMOD,#01H\nMOV TH0,#0FFH\nMOV TL0,#0F0H\nSETB TR0", 16, 0},   // 16 bits (then from 0)
        {"MOV TMOD,#00H\nMOV TH0,#0FFH\nMOV TL0,#00H\nSETB TR0", 32, 8192},     // 13 bits
        {"MOV TMOD,#00H\nMOV TH0,#0FFH\nMOV TL0,#0FEH\nSETB TR0", 2, 8192},     // TL0 bits 5-7 are not counted
        {"MOV TMOD,#02H\nMOV TH0,#0F0H\nMOV TL0,#0F0H\nSETB TR0", 16, 16},      // 8 bits reloaded from TH0
        {"MOV TMOD,#03H\nMOV TH0,#00H\nMOV TL0,#0F0H\nSETB TR0", 16, 256},      // mode 3: TL0 alone
    };
    for (const Case& c : cases) {
        auto m = makeMachine(std::string(c.setup) + "\nNOP\n" + std::string(200, '\n'));
        while (m->pc() < 10 && !(sfr(*m, 0x88) & 0x10))
            m->step();
        // the rest of the code space is 0FFH (MOV R7,A: one cycle), as good as NOPs
        EXPECT_EQ(countsToFlag(*m, 0x88, 0x20), c.first) << c.setup;
        if (!c.second) {
            EXPECT_EQ(sfr(*m, 0x8C) << 8 | sfr(*m, 0x8A), 0) << c.setup;
            continue;
        }
        m->write(Space::Sfr, 0x88, sfr(*m, 0x88) & ~0x20);
        EXPECT_EQ(countsToFlag(*m, 0x88, 0x20), c.second) << c.setup;
    }
}

TEST(Timers, Mode3Th0RunsOnTr1AndSetsTf1)
{
    auto m = makeMachine("MOV TMOD,#03H\nMOV TH0,#0FCH\nSETB TR1\n");
    for (int i = 0; i < 3; ++i)
        m->step();
    EXPECT_EQ(countsToFlag(*m, 0x88, 0x80), 4u);
    EXPECT_EQ(sfr(*m, 0x8A), 0);  // TL0 stays: TR0 is clear
}

TEST(Timers, GateCountsOnlyWhileInt0IsHigh)
{
    auto m = makeMachine("MOV TMOD,#09H\nSETB TR0\n");
    m->step(), m->step();
    m->drivePin(3, 2, 0);
    for (int i = 0; i < 10; ++i)
        m->step();
    EXPECT_EQ(sfr(*m, 0x8A), 0);
    m->drivePin(3, 2, -1);
    for (int i = 0; i < 10; ++i)
        m->step();
    EXPECT_EQ(sfr(*m, 0x8A), 10);
}

TEST(Timers, CounterCountsFallingEdgesOnT1)
{
    auto m = makeMachine("MOV TMOD,#50H\nSETB TR1\n");
    m->step(), m->step();
    for (int i = 0; i < 7; ++i) {
        m->drivePin(3, 5, 0);
        m->step();
        m->drivePin(3, 5, -1);
        m->step();
    }
    EXPECT_EQ(sfr(*m, 0x8B), 7);
}

// T1 went low while timer 1 timed; counting starts later and an edge on
// another input (INT0) must not count that old fall.
TEST(Timers, CounterSeesNoEdgeFromBeforeItCounted)
{
    auto m = makeMachine("CLR P3.5\nMOV TMOD,#50H\nSETB TR1\nCLR P3.2\nSETB P3.2\nSETB P3.5\nCLR P3.5\n"
                         "HERE: SJMP HERE\n");
    m->run(100);
    EXPECT_EQ(sfr(*m, 0x8B), 1);  // only the fall after counting started

    // T2 held low by the board through a reset: its fall came before timer 2 counted.
    auto t2 = makeMachine("MOV T2CON,#06H\nCLR P3.2\nSETB P3.2\nHERE: SJMP HERE\n");
    t2->drivePin(1, 0, 0);
    t2->reset();
    t2->run(100);
    EXPECT_EQ(sfr(*t2, 0xCC), 0);
}

TEST(Timer2, AutoReloadCaptureAndBitRate)
{
    // auto-reload from RCAP2 every 16 counts
    auto m = makeMachine("MOV RCAP2H,#0FFH\nMOV RCAP2L,#0F0H\nMOV TH2,#0FFH\nMOV TL2,#0F0H\nSETB TR2\n");
    for (int i = 0; i < 5; ++i)
        m->step();
    EXPECT_EQ(countsToFlag(*m, 0xC8, 0x80), 16u);
    m->write(Space::Sfr, 0xC8, sfr(*m, 0xC8) & 0x7F);
    EXPECT_EQ(countsToFlag(*m, 0xC8, 0x80), 16u);
    EXPECT_EQ(sfr(*m, 0xCB) << 8 | sfr(*m, 0xCA), 0xFFF0);

    // capture on a falling edge of T2EX
    auto c = makeMachine("MOV T2CON,#0DH\n");  // EXEN2, TR2, CP/RL2
    for (int i = 0; i < 21; ++i)
        c->step();
    c->drivePin(1, 1, 0);
    EXPECT_TRUE(sfr(*c, 0xC8) & 0x40);  // EXF2
    EXPECT_EQ(sfr(*c, 0xCA), 21);       // the count at the edge: MOV's second cycle and 20 more
    EXPECT_EQ(sfr(*c, 0xCB), 0);
}

TEST(Interrupts, EntryTakesTwoCyclesAndClearsTheTimerFlag)
{
    auto m = makeMachine("ORG 0\nLJMP MAIN\nORG 0BH\nINC 30H\nRETI\nORG 40H\n"
                         "MAIN: MOV TMOD,#02H\nMOV TH0,#0FCH\nMOV TL0,#0FCH\nMOV IE,#82H\nSETB TR0\n"
                         "LOOP: NOP\nSJMP LOOP\n");
    ASSERT_TRUE(runTo(*m, 0x4E, 100));  // SETB TR0 done
    const uint64_t start = m->cycles();
    while (m->pendingInterrupt() < 0)
        m->step();
    EXPECT_EQ(m->cycles() - start, 4u);  // four counts to the overflow, polled at the end of that instruction
    EXPECT_TRUE(sfr(*m, 0x88) & 0x20);
    EXPECT_EQ(m->step(), 2u);
    EXPECT_EQ(m->pc(), 0x0B);
    EXPECT_FALSE(sfr(*m, 0x88) & 0x20);
}

TEST(Interrupts, PriorityLevelsAndTheInstructionAfterReti)
{
    // INT0 (low) and timer 0 (high) pending together: timer 0 first; a high
    // handler is not interrupted by a low one; after RETI one instruction runs.
    auto m = makeMachine("ORG 0\nLJMP MAIN\nORG 03H\nINC 30H\nRETI\nORG 0BH\nINC 31H\nRETI\nORG 40H\n"
                         "MAIN: SETB IT0\nSETB TF0\nSETB IE0\nMOV IP,#02H\nMOV IE,#83H\nNOP\nNOP\nNOP\nHERE: SJMP HERE\n");
    std::vector<uint16_t> entries;
    for (int i = 0; i < 30; ++i) {
        if (m->pendingInterrupt() >= 0) {
            m->step();
            entries.push_back(m->pc());
            continue;
        }
        m->step();
    }
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], 0x0B);
    EXPECT_EQ(entries[1], 0x03);
    EXPECT_EQ(m->read(Space::Iram, 0x30), 1);
    EXPECT_EQ(m->read(Space::Iram, 0x31), 1);
    // MOV IE delays by one instruction: the entry follows the first NOP, not MOV IE
    auto n = makeMachine("SETB TF0\nMOV IE,#82H\nNOP\nNOP\n");
    n->step(), n->step();
    EXPECT_EQ(n->pendingInterrupt(), -1);
    n->step();
    EXPECT_EQ(n->pendingInterrupt(), 1);
}

TEST(Interrupts, HighPriorityPreemptsALowHandler)
{
    auto m = makeMachine("ORG 0\nLJMP MAIN\nORG 03H\nSETB TF0\nNOP\nNOP\nRETI\nORG 0BH\nRETI\nORG 40H\n"
                         "MAIN: SETB IT0\nSETB IE0\nMOV IP,#02H\nMOV IE,#83H\nHERE: SJMP HERE\n");
    std::vector<uint16_t> entries;
    for (int i = 0; i < 20 && entries.size() < 2; ++i) {
        const bool entering = m->pendingInterrupt() >= 0;
        m->step();
        if (entering)
            entries.push_back(m->pc());
    }
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], 0x03);
    EXPECT_EQ(entries[1], 0x0B);
}

TEST(Interrupts, Int0EdgeOnceLevelWhileLow)
{
    for (bool edge : {true, false}) {
        auto m = makeMachine(std::string("ORG 0\nLJMP MAIN\nORG 03H\nINC 30H\nRETI\nORG 40H\nMAIN: ") +
                             (edge ? "SETB IT0\n" : "CLR IT0\n") + "MOV IE,#81H\nHERE: SJMP HERE\n");
        ASSERT_TRUE(runTo(*m, 0x45, 100));
        m->drivePin(3, 2, 0);
        for (int i = 0; i < 40; ++i)
            m->step();
        const uint8_t count = m->read(Space::Iram, 0x30);
        if (edge)
            EXPECT_EQ(count, 1);
        else
            EXPECT_GT(count, 5);
    }
}

TEST(PowerModes, IdleWakesOnAnInterruptPowerDownStops)
{
    auto m = makeMachine("ORG 0\nLJMP MAIN\nORG 0BH\nINC 30H\nRETI\nORG 40H\n"
                         "MAIN: MOV TMOD,#01H\nMOV TH0,#0FFH\nMOV TL0,#00H\nMOV IE,#82H\nSETB TR0\n"
                         "ORL PCON,#01H\nINC 31H\nORL PCON,#02H\nINC 32H\n");
    EXPECT_EQ(m->run(10000), Stop::PowerDown);
    EXPECT_EQ(m->read(Space::Iram, 0x30), 1);
    EXPECT_EQ(m->read(Space::Iram, 0x31), 1);
    EXPECT_EQ(m->read(Space::Iram, 0x32), 0);
    EXPECT_GT(m->cycles(), 256u);  // idle lasted until timer 0 overflowed
}

}  // namespace

// Up/down counting (T2MOD.DCEN): with T2EX low the timer counts down, underflows
// when it equals RCAP2, reloads 0FFFFH and toggles EXF2; with T2EX high it counts up.
TEST(Timers, Timer2CountsDownWhileT2exIsLow)
{
    struct Case { bool t2exHigh; unsigned first, second; uint16_t after; };
    const Case cases[] = {
        {false, 5, 16, 0xFFFF},  // FFF4 down to FFF0, then the 16 counts of FFFF..FFF0
        {true, 12, 16, 0xFFF0},  // FFF4 up past FFFF, reloaded from RCAP2
    };
    for (const Case& c : cases) {
        auto m = makeMachine("MOV 0CBH,#0FFH\nMOV 0CAH,#0F0H\nMOV 0CDH,#0FFH\nMOV 0CCH,#0F4H\nMOV 0C9H,#01H\n"
                             "SETB TR2\n",
                             "AT89S52");
        m->drivePin(1, 1, c.t2exHigh ? 1 : 0);
        for (int i = 0; i < 6; ++i)
            m->step();
        EXPECT_EQ(countsToFlag(*m, 0xC8, 0x80), c.first) << c.t2exHigh;
        EXPECT_EQ(sfr(*m, 0xCD) << 8 | sfr(*m, 0xCC), c.after) << c.t2exHigh;
        EXPECT_TRUE(sfr(*m, 0xC8) & 0x40) << "EXF2 toggles with the first overflow";
        m->write(Space::Sfr, 0xC8, sfr(*m, 0xC8) & ~0x80);
        EXPECT_EQ(countsToFlag(*m, 0xC8, 0x80), c.second) << c.t2exHigh;
        EXPECT_FALSE(sfr(*m, 0xC8) & 0x40) << "and back with the second";
    }
}

// T2OE: timer 2 counts the oscillator halved and toggles P1.0 at each
// reload, without TF2; a chip without T2MOD keeps P1.0 and sets TF2.
TEST(Timer2, ClockOutTogglesP1_0OnChipsWithT2mod)
{
    const char* program = "MOV RCAP2H,#0FFH\nMOV RCAP2L,#0F0H\nMOV TH2,#0FFH\nMOV TL2,#0F0H\n"
                          "MOV 0C9H,#02H\nSETB TR2\nSJMP $\n";
    for (const char* chip : {"AT89C52", "8052"}) {
        Recorder rec;
        auto m = makeMachine(program, chip);
        m->setListener(&rec);
        m->run(16 + 160);
        unsigned toggles = 0;
        for (const auto& p : rec.pins)
            toggles += p.port == 1;
        const bool clockOut = findChip(chip)->t2mod;
        if (clockOut)
            EXPECT_NEAR(toggles, 160 * 6 / 16, 2) << "16 counts a half period, 6 counts a cycle";
        else
            EXPECT_EQ(toggles, 0u) << chip;
        EXPECT_EQ((sfr(*m, 0xC8) & 0x80) != 0, !clockOut) << chip;
    }
}

// Taking P1.0 back from the clock output (C/T2 set while it is low) raises
// the pin at once, reported as its own change, not with the next port write.
TEST(Timer2, P1_0ComesBackWhenTheClockOutputStops)
{
    Recorder rec;
    auto m = makeMachine("MOV RCAP2H,#0FFH\nMOV RCAP2L,#0\nMOV TH2,#0FFH\nMOV TL2,#0\n"
                         "MOV 0C9H,#02H\nSETB TR2\nWAIT: JB P1.0,WAIT\nSETB 0C9H\nNOP\nNOP\nCLR P1.5\nSJMP $\n",
                         "AT89C52");
    m->setListener(&rec);
    m->run(400);
    ASSERT_GE(rec.pins.size(), 3u);
    const auto& back = rec.pins[rec.pins.size() - 2];
    EXPECT_EQ(back.levels, 0xFF) << "P1.0 high again before P1.5 is written";
    EXPECT_EQ(rec.pins.back().levels, 0xDF);
    EXPECT_LT(back.cycle, rec.pins.back().cycle);
}

// Mode 0 sends on RXD with TXD as the clock: a shift register taking RXD at
// each rising edge of TXD reads the byte, least significant bit first.
TEST(Uart, Mode0SendsOnRxdWithTheClockOnTxd)
{
    Recorder rec;
    auto m = makeMachine("MOV SCON,#0\nMOV SBUF,#0A5H\nHERE: JNB TI,HERE\nSJMP $\n");
    m->setListener(&rec);
    m->run(40);
    unsigned byte = 0, bits = 0;
    uint8_t last = 0xFF;
    for (const auto& p : rec.pins) {
        if (p.port != 3)
            continue;
        if (!(last & 0x02) && (p.levels & 0x02))
            byte |= (p.levels & 1u) << bits++;
        last = p.levels;
    }
    EXPECT_EQ(bits, 8u);
    EXPECT_EQ(byte, 0xA5u);
    EXPECT_EQ(m->pins(3) & 0x03, 0x03) << "both released after the byte";
    EXPECT_EQ(rec.sent, "\xA5");
}

// Mode 0 shifts RXD in, one bit per machine cycle, least significant bit first.
TEST(Uart, Mode0ReceivesTheBitsOnRxd)
{
    auto m = makeMachine("MOV SCON,#10H\n");
    m->drivePin(3, 0, 0);
    m->step();  // the write's own second cycle samples the first bit (low)
    const int levels[] = {1, 0, 1, 1, 0, 0, 1};
    for (int level : levels) {
        m->drivePin(3, 0, level);
        m->step();  // one cycle each (0FFH: MOV R7,A)
    }
    EXPECT_TRUE(sfr(*m, 0x98) & 0x01);
    EXPECT_EQ(sfr(*m, 0x99), 0x9A);  // bit 0 low, then 1,0,1,1,0,0,1
}
