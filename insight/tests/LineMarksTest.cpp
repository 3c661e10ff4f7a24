// The editor's marks made from a run with known paths: each line's coverage
// with and without recorded branch outcomes, and the shade of the hottest.
#include "insight/tests/InsightHarness.h"
#include "insight/LineMarks.h"

#include <algorithm>

using namespace insight;
using namespace insight::test;

namespace {

const char* const Paths = R"(PROCESOR 51
BEGIN
STARTPROC MAIN
EXTER0 DISABLE
TIMER0 DISABLE
EXTER1 DISABLE
TIMER1 DISABLE
SERIAL DISABLE
STARTADRESS 30H
PROCEDURE MAIN
WRSP 60H
A 0
IFA=0 INLINE A 5
COUNT1 3
LOOP1 TICK
A 2
WHILEA>0
A-1
ENDWHILE
PROCEDURE PARK
JUMP PARK
PROCEDURE TICK
INCADR 40H
ENDPROC
PROCEDURE UNUSED
INCADR 41H
ENDPROC
END
)";

const LineMark* MarkOf(const std::vector<LineMark>& marks, int line)
{
    for (const LineMark& mark : marks)
        if (mark.line == line)
            return &mark;
    return nullptr;
}

TEST(LineMarks, CoverageOfEachLineWithAndWithoutBranchOutcomes)
{
    auto run = Start(Paths, true);
    ASSERT_TRUE(run);
    run->go(5000, run->label("PARK"));
    run->go(2000);  // PARK becomes the hottest line by far
    const std::vector<LineMark> recorded = MarksOf(run->report().sourceLines, true);
    const Report bare = BuildReport(*run->machine, run->program, run->procedures, nullptr);
    const std::vector<LineMark> unrecorded = MarksOf(bare.sourceLines, bare.branchesKnown);
    struct Case {
        const char* line;
        LineCoverage withBranches, withoutBranches;
    } cases[] = {
        {"IFA=0 INLINE A 5", LineCoverage::Partial, LineCoverage::Executed},  // the jump never skipped the action
        {"LOOP1 TICK", LineCoverage::Executed, LineCoverage::Executed},       // repeated and ended
        {"WHILEA>0", LineCoverage::Executed, LineCoverage::Executed},
        {"INCADR 40H", LineCoverage::Executed, LineCoverage::Executed},
        {"INCADR 41H", LineCoverage::Never, LineCoverage::Never},
        {"JUMP PARK", LineCoverage::Executed, LineCoverage::Executed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const int line = LineOf(Paths, c.line);
        const LineMark* with = MarkOf(recorded, line);
        const LineMark* without = MarkOf(unrecorded, line);
        ASSERT_TRUE(with && without);
        EXPECT_EQ(with->coverage, c.withBranches);
        EXPECT_EQ(without->coverage, c.withoutBranches);
        EXPECT_EQ(with->hits, without->hits);
    }
    EXPECT_EQ(MarkOf(recorded, LineOf(Paths, "INCADR 40H"))->hits, 3u);
    EXPECT_EQ(TipOf(*MarkOf(recorded, LineOf(Paths, "INCADR 41H")), true, 11059200, 1000), "Never executed");
    const std::string partial = TipOf(*MarkOf(recorded, LineOf(Paths, "IFA=0")), true, 11059200, 1000);
    EXPECT_NE(partial.find("never jumped"), std::string::npos) << partial;
}

TEST(LineMarks, OnlyTheHottestLinesAreShaded)
{
    auto run = Start(Paths, true);
    ASSERT_TRUE(run);
    run->go(5000, run->label("PARK"));
    run->go(2000);
    const std::vector<LineMark> marks = MarksOf(run->report().sourceLines, true);
    int shaded = 0;
    for (const LineMark& mark : marks) {
        shaded += mark.heat > 0;
        EXPECT_TRUE(mark.heat == 0 || mark.cycles > 0);
    }
    EXPECT_EQ(MarkOf(marks, LineOf(Paths, "JUMP PARK"))->heat, HeatLevels);
    // The rest ran a few times beside 2000 jumps: too light to shade.
    EXPECT_EQ(shaded, 1);
    // Shaded: lines with 5% of all the lines' cycles at least, ten at most.
    const struct { std::vector<uint64_t> cycles; int shaded; } shares[] = {
        {std::vector<uint64_t>(30, 10), 0}, {{100, 6, 6, 6}, 4}, {{1000, 40, 30}, 1}, {std::vector<uint64_t>(12, 10), 10},
    };
    for (const auto& share : shares) {
        std::vector<LineStats> lines;
        for (uint64_t cycles : share.cycles)
            lines.push_back(LineStats{int(lines.size()), 1, cycles, {}});
        const auto shadedMarks = MarksOf(lines, false);
        EXPECT_EQ(std::count_if(shadedMarks.begin(), shadedMarks.end(), [](const LineMark& m) { return m.heat > 0; }),
                  share.shaded);
    }
    // Without a run nothing is hot.
    auto fresh = Start(Paths, true);
    for (const LineMark& mark : MarksOf(fresh->report().sourceLines, true))
        EXPECT_EQ(mark.heat, 0);
}

} // namespace
