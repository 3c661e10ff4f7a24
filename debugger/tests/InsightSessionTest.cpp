// Coverage and profile of a debugging session on the built-in simulator:
// the engine's runs and steps go through the recorder, a Reset clears the
// figures or adds the next run to them. s51 has none.
#include "debugger/tests/EngineHarness.h"
#include "debugger/InsightSession.h"

#include <gtest/gtest.h>

using namespace m51dbg;
using namespace m51dbg::test;

namespace {

const char* const Loop =
    "        ORG 0\n"            // 0
    "        MOV R2,#3\n"        // 1
    "AGAIN:  DJNZ R2,AGAIN\n"    // 2  jumps twice, goes on once
    "        NOP\n"              // 3
    "DONE:   SJMP DONE\n"        // 4
    "        END\n";

const insight::LineStats* Line(const insight::Report& report, int line)
{
    for (const insight::LineStats& stats : report.asmLines)
        if (stats.line == line)
            return &stats;
    return nullptr;
}

struct Session {
    QTemporaryDir dir;
    DebugEngine engine;
    InsightSession insight{&engine};
    bool start()
    {
        engine.start(AssembleProgram(Loop, dir));
        if (!WaitForStop(engine))
            return false;
        engine.setAsmBreakpoints({4});
        return true;
    }
    bool run()
    {
        engine.run();
        return WaitForStop(engine);
    }
};

} // namespace

TEST(InsightSession, RunsAndStepsAreRecordedAndAResetClearsOrKeeps)
{
    Session s;
    ASSERT_TRUE(s.start());
    if (!s.engine.core()) {  // s51
        EXPECT_EQ(s.insight.report(), nullptr);
        return;
    }
    // Stepping (through the recorder one step at a time) and a free run (its run loop).
    s.engine.stepInstruction();
    ASSERT_TRUE(WaitForStop(s.engine));
    ASSERT_TRUE(s.run());
    auto report = s.insight.report();
    ASSERT_TRUE(report && report->branchesKnown);
    const insight::LineStats* loop = Line(*report, 2);
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->hits, 3u);
    ASSERT_EQ(loop->branches.size(), 1u);
    EXPECT_EQ(loop->branches[0].taken, 2u);
    EXPECT_EQ(loop->branches[0].fallThrough, 1u);
    const uint64_t oneRun = report->totalCycles;
    EXPECT_EQ(oneRun, 1u + 3 * 2 + 1);  // MOV, three DJNZ, NOP

    s.engine.reset();
    ASSERT_TRUE(WaitForStop(s.engine));
    EXPECT_EQ(Line(*s.insight.report(), 2)->hits, 0u);
    EXPECT_EQ(s.insight.report()->totalCycles, 0u);

    s.insight.setKeptAcrossRuns(true);
    ASSERT_TRUE(s.run());
    s.engine.reset();
    ASSERT_TRUE(WaitForStop(s.engine));
    ASSERT_TRUE(s.run());
    report = s.insight.report();
    EXPECT_EQ(Line(*report, 2)->hits, 6u);
    EXPECT_EQ(Line(*report, 2)->branches[0].taken, 4u);
    EXPECT_EQ(report->totalCycles, 2 * oneRun);

    // Without recording the counts go on, the branch outcomes are unknown.
    s.insight.setRecording(false);
    EXPECT_FALSE(s.insight.report()->branchesKnown);
    EXPECT_EQ(Line(*s.insight.report(), 2)->hits, 6u);
}
