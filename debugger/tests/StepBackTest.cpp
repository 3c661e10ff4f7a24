// Stepping back in the engine: every Step Back returns exactly the core's
// snapshot of the line start it goes to, over timer interrupts and calls;
// Reverse Continue finds the earlier breakpoint hits and watch changes; a
// saved state loads back exactly. s51 offers none of it.
#include "debugger/tests/EngineHarness.h"

#include "sim/Machine.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace m51dbg;
using namespace m51dbg::test;

namespace {

// Timer 0 interrupts every 16 cycles, so most lines are interrupted; WORK
// is called from the loop and waits in a line of its own.
const char* const Ticking =
    "        ORG 0\n"              // 0
    "        LJMP MAIN\n"          // 1
    "        ORG 0BH\n"            // 2
    "        LJMP TICK\n"          // 3
    "        ORG 30H\n"            // 4
    "MAIN:   MOV SP,#60H\n"        // 5
    "        MOV TMOD,#02H\n"      // 6
    "        MOV TH0,#0F0H\n"      // 7
    "        MOV TL0,#0F0H\n"      // 8
    "        SETB TR0\n"           // 9
    "        MOV IE,#82H\n"        // 10
    "LOOP:   INC 30H\n"            // 11
    "        LCALL WORK\n"         // 12
    "        MOV A,30H\n"          // 13
    "        ADD A,31H\n"          // 14
    "        MOV 32H,A\n"          // 15  the breakpoint
    "        SJMP LOOP\n"          // 16
    "WORK:   MOV R0,#3\n"          // 17
    "AGAIN:  DJNZ R0,AGAIN\n"      // 18
    "        INC 31H\n"            // 19
    "        RET\n"                // 20
    "TICK:   INC 40H\n"            // 21
    "        PUSH ACC\n"           // 22
    "        MOV A,40H\n"          // 23
    "        POP ACC\n"            // 24
    "        RETI\n"               // 25
    "        END\n";

class StepBack : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_engine.start(AssembleProgram(Ticking, m_dir));
        ASSERT_EQ(WaitForStopReason(m_engine).toStdString(), "");
    }
    bool onCore() const { return m_engine.options().kind == SimulatorKind::Core; }
    sim::Snapshot now() { return m_engine.core()->snapshot(); }
    // Waits for the stop; the shown state must be the core's.
    void expectShown(const sim::Snapshot& wanted)
    {
        ASSERT_TRUE(WaitForStop(m_engine));
        ASSERT_TRUE(now() == wanted);
        const sim::Machine& core = *m_engine.core();
        EXPECT_EQ(m_engine.machine().pc, core.pc());
        EXPECT_EQ(m_engine.machine().ticks, core.cycles() * 12);
        for (unsigned a = 0; a < 256; ++a)
            ASSERT_EQ(m_engine.machine().iram[a], core.read(sim::Space::Iram, a)) << a;
        EXPECT_EQ(m_engine.machine().a(), core.read(sim::Space::Sfr, 0xE0));
    }
    QTemporaryDir m_dir;
    DebugEngine m_engine;
};

} // namespace

TEST_F(StepBack, StepBackReturnsEachEarlierLineExactlyAndReplaysForward)
{
    if (!onCore()) {
        EXPECT_FALSE(m_engine.canStepBack());
        return;
    }
    EXPECT_FALSE(m_engine.canStepBack());  // nothing behind the reset
    std::vector<sim::Snapshot> before;
    for (int i = 0; i < 60; ++i) {
        before.push_back(now());
        m_engine.stepLine();
        ASSERT_TRUE(WaitForStop(m_engine));
    }
    const sim::Snapshot present = now();
    ASSERT_GT(m_engine.machine().iram[0x40], 3);  // interrupts were taken on the way
    for (int i = 59; i >= 0; --i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(m_engine.canStepBack());
        m_engine.stepBack();
        expectShown(before[i]);
        EXPECT_TRUE(m_engine.isReplaying());
    }
    EXPECT_FALSE(m_engine.canStepBack());
    // Forward again: the same lines, replayed, up to the present.
    for (int i = 1; i < 60; ++i) {
        m_engine.stepLine();
        expectShown(before[i]);
    }
    m_engine.stepLine();
    expectShown(present);
    EXPECT_FALSE(m_engine.isReplaying());
}

TEST_F(StepBack, ReverseContinueStopsAtEarlierBreakpointsAndWatchChanges)
{
    if (!onCore()) {
        EXPECT_FALSE(m_engine.reverseContinue());
        return;
    }
    m_engine.setAsmBreakpoints({15});
    std::vector<sim::Snapshot> hits;
    for (int i = 0; i < 3; ++i) {
        m_engine.run();
        ASSERT_TRUE(WaitForStop(m_engine));
        hits.push_back(now());
    }
    EXPECT_TRUE(m_engine.reverseContinue());
    expectShown(hits[1]);
    EXPECT_TRUE(m_engine.reverseContinue());
    expectShown(hits[0]);
    // A watched byte: back to the instruction that wrote 31H, before the write.
    m_engine.setAsmBreakpoints({});
    m_engine.run(2000);
    ASSERT_TRUE(WaitForStop(m_engine));
    const uint8_t value = m_engine.machine().iram[0x31];
    EXPECT_TRUE(m_engine.reverseContinue({{SimulatorBackend::Memory::Iram, 0x31}}));
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(m_engine.currentAsmLine(), 19);
    EXPECT_EQ(m_engine.machine().iram[0x31], static_cast<uint8_t>(value - 1));
    // None before the first write: at the reset, the oldest step kept.
    m_engine.setAsmBreakpoints({15});
    int found = 0;
    for (bool more = true; more && found < 1000; ++found) {
        more = m_engine.reverseContinue();
        ASSERT_TRUE(WaitForStop(m_engine));
    }
    EXPECT_GT(found, 1);
    EXPECT_EQ(m_engine.machine().pc, 0);
    EXPECT_EQ(m_engine.machine().ticks, 0u);
}

TEST_F(StepBack, SavedStateLoadsBackExactly)
{
    const QString path = m_dir.filePath("session.state");
    if (!onCore()) {
        EXPECT_FALSE(m_engine.saveState(path).isEmpty());
        return;
    }
    m_engine.run(500);
    ASSERT_TRUE(WaitForStop(m_engine));
    const sim::Snapshot saved = now();
    ASSERT_EQ(m_engine.saveState(path), "");
    m_engine.run(500);
    ASSERT_TRUE(WaitForStop(m_engine));
    ASSERT_EQ(m_engine.loadState(path), "");
    expectShown(saved);
    EXPECT_FALSE(m_engine.canStepBack());  // the loaded state is the new beginning

    const QString missing = m_dir.filePath("none.state");
    EXPECT_TRUE(m_engine.loadState(missing).startsWith(missing + ": "));
    // A state of another program is refused, and nothing changes.
    DebugEngine other;
    other.start(AssembleProgram("        ORG 0\nL: INC 30H\n        SJMP L\n        END\n", m_dir));
    ASSERT_TRUE(WaitForStop(other));
    EXPECT_EQ(other.loadState(path), path + ": the state is of another program (its code differs from this build)");
    EXPECT_EQ(other.machine().pc, 0);
}
