// Coverage, branch outcomes and the cycle profile on programs whose paths are
// known, and the lcov and CSV files made from them.
#include "insight/tests/InsightHarness.h"
#include "insight/Writers.h"

#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <numeric>

using namespace insight;
using namespace insight::test;

namespace {

const char* const Branches = R"(ORG 0
LJMP MAIN
ORG 30H
MAIN: MOV SP,#60H
MOV R2,#3
AGAIN: MOV A,R2
XRL A,#2
JZ SKIP1            ; both: R2=2 jumps, R2=3 and 1 go on
NOP
SKIP1: CLR C
JC NEVERJ           ; carry is clear: never jumps
LCALL SUB
DJNZ R2,AGAIN       ; both: repeats twice, ends once
MOV A,#1
JNZ DONE            ; always jumps
JZ DONE             ; never runs
NEVERJ: NOP
DONE: SJMP DONE
SUB: NOP
RET
END
)";

TEST(Coverage, ConditionalJumpsOfAnAssemblyProgram)
{
    auto run = Start(Branches, false);
    ASSERT_TRUE(run);
    run->go(1000, run->label("DONE"));
    ASSERT_EQ(run->machine->pc(), run->label("DONE"));
    const Report report = run->report();
    struct Case {
        const char* line;
        bool executed;
        BranchState state;
        uint64_t taken, fallThrough;
    } cases[] = {
        {"JZ SKIP1", true, BranchState::Both, 1, 2},
        {"JC NEVERJ", true, BranchState::OnlyFallThrough, 0, 3},
        {"DJNZ R2", true, BranchState::Both, 2, 1},
        {"JNZ DONE", true, BranchState::OnlyTaken, 1, 0},
        {"JZ DONE", false, BranchState::Never, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const LineStats* stats = StatsOf(report.asmLines, LineOf(Branches, c.line));
        ASSERT_TRUE(stats);
        EXPECT_EQ(stats->executed(), c.executed);
        ASSERT_EQ(stats->branches.size(), 1u);
        EXPECT_EQ(StateOf(stats->branches[0]), c.state);
        EXPECT_EQ(stats->branches[0].taken, c.taken);
        EXPECT_EQ(stats->branches[0].fallThrough, c.fallThrough);
    }
    EXPECT_FALSE(StatsOf(report.asmLines, LineOf(Branches, "NEVERJ: NOP"))->executed());
    EXPECT_EQ(StatsOf(report.asmLines, LineOf(Branches, "AGAIN:"))->hits, 3u);
}

TEST(Profile, CallsCountWithTheirCaller)
{
    auto run = Start(Branches, false);
    ASSERT_TRUE(run);
    run->go(1000, run->label("DONE"));
    const Report report = run->report();
    // Every cycle lands on one line and in one procedure.
    const auto lineSum = std::accumulate(report.asmLines.begin(), report.asmLines.end(), uint64_t{0},
                                         [](uint64_t s, const LineStats& l) { return s + l.cycles; });
    const auto ownSum = std::accumulate(report.procedures.begin(), report.procedures.end(), uint64_t{0},
                                        [](uint64_t s, const ProcedureStats& p) { return s + p.ownCycles; });
    EXPECT_EQ(lineSum, report.totalCycles);
    EXPECT_EQ(ownSum, report.totalCycles);
    const ProcedureStats* main = run->procedure(report, "MAIN");
    const ProcedureStats* sub = run->procedure(report, "SUB");
    ASSERT_TRUE(main && sub);
    EXPECT_EQ(sub->entries, 3u);
    EXPECT_EQ(sub->ownCycles, 3u * (1 + 2));  // NOP, RET
    EXPECT_EQ(sub->inclusiveCycles, sub->ownCycles);
    EXPECT_EQ(main->inclusiveCycles, main->ownCycles + sub->ownCycles);
    // The loop label is no procedure of an assembly program.
    for (const ProcedureStats& p : report.procedures)
        EXPECT_NE(p.info.name, "AGAIN");
}

TEST(Profile, InterruptHandlersAreCountedApart)
{
    const char* const program = R"(ORG 0
LJMP MAIN
ORG 0BH
LJMP T0ISR
ORG 30H
MAIN: MOV SP,#60H
MOV TMOD,#02H
MOV TH0,#0C0H
MOV TL0,#0C0H
MOV IE,#82H
SETB TR0
LCALL SUB
CLR TR0
DONE: SJMP DONE
SUB: MOV R7,#200
WAIT: DJNZ R7,WAIT
RET
T0ISR: INC 40H
RETI
END
)";
    auto run = Start(program, false);
    ASSERT_TRUE(run);
    run->go(100000, run->label("DONE"));
    ASSERT_EQ(run->machine->pc(), run->label("DONE"));
    const Report report = run->report();
    const ProcedureStats* main = run->procedure(report, "MAIN");
    const ProcedureStats* sub = run->procedure(report, "SUB");
    const ProcedureStats* vector = run->procedure(report, "timer 0 interrupt");
    const ProcedureStats* handler = run->procedure(report, "T0ISR");
    ASSERT_TRUE(main && sub && vector && handler);
    const uint8_t entries = run->machine->read(sim::Space::Iram, 0x40);
    ASSERT_GT(entries, 3u);
    EXPECT_EQ(vector->entries, entries);
    EXPECT_TRUE(handler->info.handler);
    // Entry (2) and LJMP (2), INC direct (1), RETI (2) per interrupt.
    EXPECT_EQ(vector->inclusiveCycles, entries * 7u);
    EXPECT_EQ(vector->ownCycles + handler->ownCycles, vector->inclusiveCycles);
    EXPECT_EQ(main->inclusiveCycles, main->ownCycles + sub->ownCycles);
    const auto lineSum = std::accumulate(report.asmLines.begin(), report.asmLines.end(), uint64_t{0},
                                         [](uint64_t s, const LineStats& l) { return s + l.cycles; });
    EXPECT_EQ(lineSum, report.totalCycles);
}

// Code packed from address 0 (as a linker places modules) runs over the
// vector addresses: it is the program's own, no interrupt handler.
TEST(Profile, CodePackedFromTheStartHasNoVectors)
{
    auto run = Start("ORG 0\nLJMP MAIN\nMAIN: MOV SP,#60H\nMOV R7,#8\nLOOP: INC A\nMOV 30H,A\nDJNZ R7,LOOP\n"
                     "DONE: SJMP DONE\nEND\n",
                     false);
    ASSERT_TRUE(run);
    run->go(1000, run->label("DONE"));
    const Report report = run->report();
    for (const ProcedureStats& p : report.procedures)
        EXPECT_LT(p.info.vector, 0) << p.info.name;
    const ProcedureStats* main = run->procedure(report, "MAIN");
    ASSERT_TRUE(main);
    EXPECT_EQ(main->inclusiveCycles, report.totalCycles - 2);  // all but the reset's LJMP
}

TEST(Profile, IdleCyclesAreCountedApart)
{
    // Sleeps in idle mode until timer 0 wakes it, five times.
    const char* const program = R"(ORG 0
LJMP MAIN
ORG 0BH
RETI
ORG 30H
MAIN: MOV TMOD,#02H
MOV IE,#82H
SETB TR0
MOV R3,#5
SLEEP: ORL PCON,#1
DJNZ R3,SLEEP
DONE: SJMP DONE
END
)";
    auto run = Start(program, false);
    ASSERT_TRUE(run);
    run->go(100000, run->label("DONE"));
    ASSERT_EQ(run->machine->pc(), run->label("DONE"));
    const Report report = run->report();
    EXPECT_GT(report.idleCycles, 5u * 200);
    const auto lineSum = std::accumulate(report.asmLines.begin(), report.asmLines.end(), uint64_t{0},
                                         [](uint64_t s, const LineStats& l) { return s + l.cycles; });
    EXPECT_EQ(lineSum + report.idleCycles, report.totalCycles);
    EXPECT_EQ(run->procedure(report, "timer 0 interrupt")->entries, 5u);
}

const char* const Conditions = R"(PROCESOR 51
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
IFA=0 INLINE A 7
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

TEST(Coverage, M51ConditionsAndLoops)
{
    auto run = Start(Conditions, true);
    ASSERT_TRUE(run);
    run->go(5000, run->label("PARK"));
    ASSERT_EQ(run->machine->pc(), run->label("PARK"));
    const Report report = run->report();
    struct Case {
        const char* line;
        uint64_t hits;
        int branches;
        BranchState state;
    } cases[] = {
        {"IFA=0 INLINE A 5", 1, 1, BranchState::OnlyFallThrough},  // held: the action ran
        {"IFA=0 INLINE A 7", 1, 1, BranchState::OnlyTaken},        // A is 5: skipped
        {"LOOP1 TICK", 3, 1, BranchState::Both},
        {"WHILEA>0", 3, 1, BranchState::Both},
        {"A-1", 2, 0, BranchState::Never},
        {"INCADR 40H", 3, 0, BranchState::Never},
        {"INCADR 41H", 0, 0, BranchState::Never},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const LineStats* stats = StatsOf(report.sourceLines, LineOf(Conditions, c.line));
        ASSERT_TRUE(stats);
        EXPECT_EQ(stats->hits, c.hits);
        ASSERT_EQ(stats->branches.size(), static_cast<size_t>(c.branches));
        if (c.branches) {
            EXPECT_EQ(StateOf(stats->branches[0]), c.state);
        }
    }
    // Procedures are the program's own labels, not the compiler's.
    std::vector<std::string> names;
    for (const ProcedureStats& p : report.procedures)
        names.push_back(p.info.name);
    EXPECT_EQ(names, (std::vector<std::string>{"reset", "external interrupt 0", "timer 0 interrupt",
                                               "external interrupt 1", "timer 1 interrupt", "serial interrupt", "MAIN",
                                               "PARK", "TICK", "UNUSED"}));
    const ProcedureStats* tick = run->procedure(report, "TICK");
    ASSERT_TRUE(tick);
    EXPECT_EQ(tick->entries, 3u);
    EXPECT_EQ(tick->sourceLine, LineOf(Conditions, "INCADR 40H"));
    EXPECT_EQ(run->procedure(report, "UNUSED")->entries, 0u);
}

TEST(Coverage, EveryCycleOfASampleWithInterruptsIsAccountedFor)
{
    auto run = Start(ReadText(M51_EXAMPLES_DIR "/interrupts.M51"), true);
    ASSERT_TRUE(run);
    run->go(20000);
    const Report report = run->report();
    const auto lineSum = std::accumulate(report.asmLines.begin(), report.asmLines.end(), uint64_t{0},
                                         [](uint64_t s, const LineStats& l) { return s + l.cycles; });
    EXPECT_EQ(lineSum + report.idleCycles, report.totalCycles);
    uint64_t handlers = 0;
    for (const ProcedureStats& p : report.procedures)
        if (p.info.vector >= 0)
            handlers += p.entries;
    EXPECT_GE(handlers, 5u + 2 + 1);  // five timer overflows, both pins, the byte sent
}

// Writes the trace of the Conditions program and lets genhtml render it.
TEST(Files, LcovTraceAndProfileCsv)
{
    auto run = Start(Conditions, true);
    ASSERT_TRUE(run);
    run->go(5000, run->label("PARK"));
    const Report report = run->report();
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("m51insight-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
    const fs::path source = dir / "conditions.M51", asmFile = dir / "conditions.asm", trace = dir / "run.info";
    std::ofstream(source, std::ios::binary) << Conditions;
    std::ofstream(asmFile, std::ios::binary) << run->code.assembly;
    const std::string lcov = LcovTrace(report, "conditions", source.string(), asmFile.string());
    std::ofstream(trace, std::ios::binary) << lcov;

    const int ifLine = LineOf(Conditions, "IFA=0 INLINE A 7") + 1;
    EXPECT_NE(lcov.find("BRDA:" + std::to_string(ifLine) + ",0,0,1\n"), std::string::npos);
    EXPECT_NE(lcov.find("BRDA:" + std::to_string(ifLine) + ",0,1,0\n"), std::string::npos);
    EXPECT_NE(lcov.find("DA:" + std::to_string(LineOf(Conditions, "INCADR 41H") + 1) + ",0\n"), std::string::npos);
    EXPECT_NE(lcov.find("FNDA:3,TICK\n"), std::string::npos);
    size_t records = 0;
    for (size_t at = 0; (at = lcov.find("end_of_record", at)) != std::string::npos; ++at)
        ++records;
    EXPECT_EQ(records, 2u);

    const std::string genhtml = M51_GENHTML;
    if (!genhtml.empty()) {
        const std::string command = genhtml + " --quiet --branch-coverage --output-directory " + (dir / "html").string()
            + " " + trace.string() + " > " + (dir / "genhtml.log").string() + " 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << ReadText((dir / "genhtml.log").string());
        EXPECT_TRUE(fs::exists(dir / "html" / "index.html"));
    }

    const std::string csv = ProfileCsv(report, "conditions.M51", "conditions.asm");
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "kind,file,line,name,count,cycles,inclusive_cycles,seconds,share");
    EXPECT_NE(csv.find("\nprocedure,conditions.M51," + std::to_string(LineOf(Conditions, "INCADR 40H") + 1) + ",TICK,3,"),
              std::string::npos);
    fs::remove_all(dir);
}

} // namespace
