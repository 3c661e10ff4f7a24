// The instruction set against the data sheet: cycles of every opcode, the
// flags of the arithmetic, the memories each chip has, the ports' latch and
// pins, run control and snapshots.

#include "sim/Disassembler.h"
#include "sim/tests/TestBoard.h"

#include <thread>

using namespace sim;
using namespace sim::test;

namespace {

// Machine cycles per opcode, rows 0x-Fx, from the data sheet (A5H: reserved, one cycle).
const char* const kCycles[16] = {
    "1221111111111111", "2221111111111111", "2221111111111111", "2221111111111111",
    "2212111111111111", "2212111111111111", "2212111111111111", "2222121111111111",
    "2222422222222222", "2222111111111111", "2212412222222222", "2211222222222222",
    "2211111111111111", "2211121122222222", "2222111111111111", "2222111111111111",
};

TEST(Cpu, EveryOpcodeTakesItsMachineCycles)
{
    Machine m(*findChip("8052"), Board{});
    for (unsigned op = 0; op < 256; ++op) {
        m.reset();
        const uint8_t bytes[3] = {static_cast<uint8_t>(op), 0, 0};
        m.loadCode(bytes, 3, 0x100);
        m.setPc(0x100);
        EXPECT_EQ(m.step(), static_cast<unsigned>(kCycles[op >> 4][op & 15] - '0')) << std::hex << "opcode " << op;
        EXPECT_EQ(m.cycles(), static_cast<uint64_t>(kCycles[op >> 4][op & 15] - '0'));
        EXPECT_EQ(kMachineCycles[op], kCycles[op >> 4][op & 15] - '0') << std::hex << "opcode " << op;
    }
}

TEST(Cpu, ArithmeticFlags)
{
    struct Case { const char* code; uint8_t a, b, psw; };  // psw: CY AC OV P as the data sheet defines them
    const Case cases[] = {
        {"MOV A,#7FH\nADD A,#1", 0x80, 0, 0x45},
        {"MOV A,#0FFH\nADD A,#1", 0x00, 0, 0xC0},
        {"MOV A,#80H\nADD A,#80H", 0x00, 0, 0x84},
        {"MOV A,#0FH\nSETB C\nADDC A,#0", 0x10, 0, 0x41},
        {"MOV A,#0\nSUBB A,#1", 0xFF, 0, 0xC0},
        {"MOV A,#80H\nSUBB A,#1", 0x7F, 0, 0x45},
        {"MOV A,#7FH\nSUBB A,#0FFH", 0x80, 0, 0x85},
        {"MOV A,#15H\nADD A,#27H\nDA A", 0x42, 0, 0x00},
        {"MOV A,#99H\nADD A,#1\nDA A", 0x00, 0, 0x80},
        {"MOV A,#80H\nMOV B,#2\nMUL AB", 0x00, 1, 0x04},
        {"MOV A,#0FBH\nMOV B,#12H\nDIV AB", 0x0D, 0x11, 0x01},
        {"MOV A,#5\nMOV B,#0\nSETB C\nDIV AB", 0x05, 0, 0x04},
        {"MOV A,#5\nCJNE A,#6,$+3", 0x05, 0, 0x80},
        {"MOV A,#7\nRLC A", 0x0E, 0, 0x01},
    };
    for (const Case& c : cases) {
        auto m = makeMachine(std::string(c.code) + "\nHERE: SJMP HERE\n");
        for (int i = 0; i < 5; ++i)
            m->step();
        EXPECT_EQ(m->read(Space::Sfr, 0xE0), c.a) << c.code;
        EXPECT_EQ(m->read(Space::Sfr, 0xF0), c.b) << c.code;
        EXPECT_EQ(m->read(Space::Sfr, 0xD0), c.psw) << c.code;
    }
}

TEST(Cpu, IndirectRamAbove7FhOnlyOn256ByteChips)
{
    const char* program = "MOV R0,#90H\nMOV @R0,#55H\nMOV A,@R0\nHERE: SJMP HERE\n";
    for (const char* chip : {"8051", "8052"}) {
        auto m = makeMachine(program, chip);
        ASSERT_TRUE(runTo(*m, 5, 100));
        const bool big = findChip(chip)->iramSize == 256;
        EXPECT_EQ(m->read(Space::Sfr, 0xE0), big ? 0x55 : 0xFF) << chip;
        EXPECT_EQ(m->read(Space::Sfr, 0x90), 0xFF) << chip;  // P1 is not reached through @R0
    }
}

TEST(Cpu, PortsReadPinsButReadModifyWriteUsesTheLatch)
{
    auto m = makeMachine("NOP\nMOV A,P1\nANL P1,#0FFH\nCPL P1.1\nMOV C,P1.0\nCLR P1.7\nHERE: SJMP HERE\n");
    Recorder rec;
    m->setListener(&rec);
    m->drivePin(1, 0, 0);  // pulled low from outside
    EXPECT_EQ(m->pins(1), 0xFE);
    ASSERT_TRUE(runTo(*m, 0x0C, 100));
    EXPECT_EQ(m->read(Space::Sfr, 0xE0), 0xFE);
    EXPECT_EQ(m->read(Space::Sfr, 0x90), 0x7D);  // latch: only CPL P1.1 and CLR P1.7
    EXPECT_EQ(m->read(Space::Sfr, 0xD0) & 0x80, 0);
    EXPECT_EQ(m->pins(1), 0x7C);
    m->drivePin(1, 0, -1);
    EXPECT_EQ(m->pins(1), 0x7D);
    ASSERT_EQ(rec.pins.size(), 4u);
    EXPECT_EQ(rec.pins[0].levels, 0xFE);
    EXPECT_EQ(rec.pins[1].levels, 0xFC);  // CPL P1.1: NOP 1 + MOV 1 + ANL 2 cycles, then its own first cycle
    EXPECT_EQ(rec.pins[1].cycle, 5u);
    EXPECT_EQ(rec.pins[2].levels, 0x7C);
    EXPECT_EQ(rec.pins[3].levels, 0x7D);
}

TEST(Cpu, SharedRangeRunsCodeWrittenWithMovx)
{
    Board board;
    board.sharedFrom = 0x8000;
    board.sharedTo = 0xFFFF;
    auto m = makeMachine("MOV DPTR,#8000H\nMOV A,#04H\nMOVX @DPTR,A\nINC DPTR\nMOV A,#22H\nMOVX @DPTR,A\n"
                         "MOV A,#7\nLCALL 8000H\nHERE: SJMP HERE\n",
                         "8052", board);
    ASSERT_TRUE(runTo(*m, 0x0F, 100));
    EXPECT_EQ(m->read(Space::Sfr, 0xE0), 8);  // INC A ran at 8000H
    EXPECT_EQ(m->read(Space::Code, 0x8001), 0x22);

    // The code the run fetches follows the debugger's writes and a restored state.
    const Snapshot before = m->snapshot();
    m->write(Space::Code, 0x8000, 0x14);  // DEC A
    m->write(Space::Sfr, 0xE0, 7);
    m->setPc(0x8000);
    m->run(1);
    EXPECT_EQ(m->read(Space::Sfr, 0xE0), 6);
    ASSERT_TRUE(m->restore(before));
    m->write(Space::Sfr, 0xE0, 7);
    m->setPc(0x8000);
    m->run(1);
    EXPECT_EQ(m->read(Space::Sfr, 0xE0), 8);

    // An operand byte written alone changes the instruction it belongs to,
    // and a breakpoint there stays.
    m->write(Space::Code, 0x8000, 0x74);  // MOV A,#22H
    m->setCodeBreakpoint(0x8000, true);
    for (const uint8_t data : {0x22, 0x5A}) {
        m->write(Space::Xram, 0x8001, data);
        m->setPc(0x7FFF);
        m->write(Space::Code, 0x7FFF, 0x00);  // NOP
        EXPECT_EQ(m->run(100), Stop::Breakpoint);
        m->run(1);
        EXPECT_EQ(m->read(Space::Sfr, 0xE0), data);
    }
}

TEST(Cpu, DualDataPointerOnChipsThatHaveIt)
{
    const char* program = "MOV DPTR,#1234H\nINC 0A2H\nMOV DPTR,#5678H\nINC 0A2H\nHERE: SJMP HERE\n";
    for (const char* chip : {"AT89S52", "8052"}) {
        auto m = makeMachine(program, chip);
        ASSERT_TRUE(runTo(*m, 0x0A, 100));
        const unsigned dptr = m->read(Space::Sfr, 0x83) << 8 | m->read(Space::Sfr, 0x82);
        EXPECT_EQ(dptr, findChip(chip)->dualDptr ? 0x1234u : 0x5678u) << chip;
    }
}

TEST(RunControl, BreakpointWatchBudgetAndCounts)
{
    auto m = makeMachine("LOOP: INC 30H\nNOP\nSJMP LOOP\n");
    m->setCodeBreakpoint(2, true);
    EXPECT_EQ(m->run(1000), Stop::Breakpoint);
    EXPECT_EQ(m->pc(), 2);
    m->setCodeBreakpoint(2, false);
    m->setWatch(Space::Iram, 0x30, false, true);
    EXPECT_EQ(m->run(1000), Stop::Watch);
    EXPECT_EQ(m->lastHit().address, 0x30u);
    EXPECT_TRUE(m->lastHit().write);
    EXPECT_EQ(m->pc(), 2);  // stopped after the writing instruction
    // A and R0, changed by instructions that do not name their address
    auto a = makeMachine("NOP\nMOV R0,#1\nINC A\nNOP\n");
    a->setWatch(Space::Sfr, 0xE0, false, true);
    a->setWatch(Space::Iram, 0x00, false, true);  // R0
    EXPECT_EQ(a->run(100), Stop::Watch);
    EXPECT_EQ(a->pc(), 3);
    EXPECT_EQ(a->lastHit().space, Space::Iram);
    EXPECT_EQ(a->run(100), Stop::Watch);
    EXPECT_EQ(a->pc(), 4);
    EXPECT_EQ(a->lastHit().address, 0xE0u);
    m->clearWatches();
    const uint64_t before = m->cycles();
    EXPECT_EQ(m->run(400), Stop::CycleLimit);
    EXPECT_GE(m->cycles() - before, 400u);
    EXPECT_LT(m->cycles() - before, 403u);
    EXPECT_LE(m->executionCounts()[0] - m->executionCounts()[2], 1u);
    m->setCondition([](const Machine& machine, void*) { return machine.read(Space::Iram, 0x30) == 0xF0; }, nullptr);
    EXPECT_EQ(m->run(100000), Stop::Condition);
    EXPECT_EQ(m->read(Space::Iram, 0x30), 0xF0);
    EXPECT_EQ(m->pc(), 2);
    EXPECT_EQ(m->executionCounts()[0], static_cast<uint32_t>(m->read(Space::Iram, 0x30)));
}

// A breakpoint met in the middle of a run stops before its instruction: the
// instruction is neither made nor counted, and the next run makes it.
TEST(RunControl, BreakpointStopsBeforeItsInstruction)
{
    auto m = makeMachine("LOOP: INC 30H\nNOP\nSJMP LOOP\n");
    m->setCodeBreakpoint(3, true);  // SJMP
    EXPECT_EQ(m->run(1000), Stop::Breakpoint);
    EXPECT_EQ(m->pc(), 3);
    EXPECT_EQ(m->instructions(), 2u);
    EXPECT_EQ(m->cycles(), 2u);
    EXPECT_EQ(m->executionCounts()[3], 0u);
    EXPECT_EQ(m->run(2), Stop::CycleLimit);
    EXPECT_EQ(m->pc(), 0);
    EXPECT_EQ(m->executionCounts()[3], 1u);
    EXPECT_EQ(m->instructions(), 3u);
}

// A breakpoint set inside a run of plain instructions the loop has decoded
// and made without a look between them stops there; cleared, the run goes
// on over it, every instruction counted once.
TEST(RunControl, BreakpointsInsideARunOfPlainInstructions)
{
    auto m = makeMachine("LOOP: INC R0\nMOV A,R0\nADD A,#3\nMOV 30H,A\nINC 31H\nMOV R1,A\nSJMP LOOP\n");
    m->run(100);
    m->setCodeBreakpoint(4, true);  // MOV 30H,A
    EXPECT_EQ(m->run(1000), Stop::Breakpoint);
    EXPECT_EQ(m->pc(), 4);
    EXPECT_EQ(m->executionCounts()[4] + 1, m->executionCounts()[2]);
    m->setCodeBreakpoint(4, false);
    EXPECT_EQ(m->run(1000), Stop::CycleLimit);
    uint64_t counted = 0;
    for (unsigned a = 0; a < 10; ++a)
        counted += m->executionCounts()[a];
    EXPECT_EQ(counted, m->instructions());
    EXPECT_LE(m->executionCounts()[0] - m->executionCounts()[9], 1u);
    EXPECT_EQ(m->read(Space::Iram, 0x31), static_cast<uint8_t>(m->executionCounts()[6]));
}

// Erased code memory is made as MOV R7,A (FFH) wherever a program strays,
// each address decoded when first reached, breakpoints there included.
TEST(RunControl, ErasedCodeRunsAndStopsAtItsBreakpoints)
{
    auto m = makeMachine("MOV A,#5\nLJMP 1000H\n");
    m->setCodeBreakpoint(0x1003, true);
    EXPECT_EQ(m->run(1000), Stop::Breakpoint);
    EXPECT_EQ(m->pc(), 0x1003);
    EXPECT_EQ(m->read(Space::Iram, 7), 5);
    m->clearCodeBreakpoints();
    m->step();
    EXPECT_EQ(m->run(10), Stop::CycleLimit);
    EXPECT_EQ(m->pc(), 0x100E);
    EXPECT_EQ(m->executionCounts()[0x1003], 1u);
}

TEST(RunControl, StopRequestFromAnotherThread)
{
    auto m = makeMachine("HERE: SJMP HERE\n");
    std::thread stopper([&m] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m->requestStop();
    });
    EXPECT_EQ(m->run(UINT64_MAX / 2), Stop::Requested);
    stopper.join();
}

TEST(Snapshot, RestoresAndComparesTheWholeMachine)
{
    auto m = makeMachine("MOV TMOD,#1\nSETB TR0\nLOOP: INC 30H\nMOVX @DPTR,A\nINC DPTR\nSJMP LOOP\n");
    m->run(100);
    const Snapshot shot = m->snapshot();
    const uint64_t cycles = m->cycles();
    m->run(500);
    EXPECT_NE(m->snapshot(), shot);
    ASSERT_TRUE(m->restore(Snapshot::fromBytes(shot.bytes())));
    EXPECT_EQ(m->snapshot(), shot);
    EXPECT_EQ(m->cycles(), cycles);
    std::vector<uint8_t> broken = shot.bytes();
    broken.resize(broken.size() / 2);
    EXPECT_FALSE(m->restore(Snapshot::fromBytes(broken)));
    EXPECT_EQ(m->snapshot(), shot);
}

// The pins follow what drives them besides the latch (mode 0's data on RXD,
// TXD in a frame, timer 2's clock output, a part outside) into a machine
// that restores the state, and let go of it at a reset.
TEST(Snapshot, PinsComeBackWithWhatDrivesThem)
{
    struct Case {
        const char* name;
        const char* program;
        const char* chip;
        unsigned port;
        uint8_t low;  // the pin that goes low
    };
    const Case cases[] = {
        {"mode 0 data", "MOV SCON,#0\nMOV SBUF,#0\nSJMP $\n", "8052", 3, 0x01},
        {"TXD start bit", "MOV TMOD,#20H\nMOV TH1,#0FFH\nSETB TR1\nMOV SCON,#40H\nMOV SBUF,#0\nSJMP $\n", "8052", 3, 0x02},
        {"clock output", "MOV RCAP2H,#0FFH\nMOV RCAP2L,#0F0H\nMOV TH2,#0FFH\nMOV TL2,#0F0H\nMOV 0C9H,#02H\nSETB TR2\nSJMP $\n", "AT89C52", 1, 0x01},
    };
    for (const Case& c : cases) {
        auto m = makeMachine(c.program, c.chip);
        m->drivePin(0, 5, 0);
        for (unsigned steps = 0; (m->pins(c.port) & c.low) && steps < 10000; ++steps)
            m->step();
        ASSERT_EQ(m->pins(c.port) & c.low, 0) << c.name;
        auto other = makeMachine(c.program, c.chip);
        other->drivePin(c.port, 7, 0);
        ASSERT_TRUE(other->restore(m->snapshot()));
        for (unsigned port = 0; port < 4; ++port)
            EXPECT_EQ(other->pins(port), m->pins(port)) << c.name << ", P" << port;
        other->reset();
        EXPECT_EQ(other->pins(c.port), other->outsideDrive(c.port)) << c.name << ": the latch is 0FFH after a reset";
    }
}

// A snapshot taken again into an older one's storage (as the history takes
// its checkpoints) holds the bytes of a fresh one, whether code or xram moved
// since that storage was filled or not, and across restores.
TEST(Snapshot, TakenAgainIntoOldStorageMatchesAFreshOne)
{
    auto m = makeMachine("LOOP: INC 30H\nMOV A,30H\nJNB ACC.4,SKIP\nMOVX @DPTR,A\nINC DPTR\nSKIP: SJMP LOOP\n");
    Snapshot reused, other;
    m->snapshot(reused);
    m->snapshot(other);
    for (int round = 0; round < 60; ++round) {
        m->run(7);
        if (round % 10 == 3)
            m->write(Space::Code, 0x100 + round, static_cast<uint8_t>(round));
        if (round % 10 == 6) {
            ASSERT_TRUE(m->restore(other));
        }
        if (round % 10 == 8)
            m->snapshot(other);
        m->snapshot(reused);
        ASSERT_EQ(reused, m->snapshot()) << "round " << round;
    }
}

TEST(Chip, TableNamesAndSizes)
{
    ASSERT_NE(findChip("at89s52"), nullptr);
    EXPECT_EQ(findChip("AT89S52")->iramSize, 256u);
    EXPECT_TRUE(findChip("8052")->timer2);
    EXPECT_FALSE(findChip("8051")->timer2);
    EXPECT_EQ(findChip("AT89C2051")->codeSize, 2048u);
    EXPECT_EQ(findChip("z80"), nullptr);
    const auto names = chipNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "STC89C52RC"), names.end());
}

}  // namespace
