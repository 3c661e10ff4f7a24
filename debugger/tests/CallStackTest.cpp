// The call stack read from a stopped M51 program's stack, and breakpoints
// with conditions and hit counts, on the simulator (core and s51).
#include "simrun/CallStack.h"
#include "sim/Disassembler.h"
#include "debugger/tests/EngineHarness.h"
#include "debugger/ProgramBuilder.h"
#include "toolchain/CBuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace m51dbg;
using namespace m51dbg::test;
using Cause = DebugEngine::StopCause;

namespace {

const char* const Nested =
    "PROCESOR 51\n"
    "BEGIN\n"
    "STARTPROC MAIN\n"
    "EXTER0 DISABLE\n"
    "TIMER0 T0ISR\n"
    "EXTER1 DISABLE\n"
    "TIMER1 DISABLE\n"
    "SERIAL DISABLE\n"
    "STARTADRESS 30H\n"
    "PROCEDURE MAIN\n"
    "WRSP 60H\n"
    "WRTMOD 02H\n"
    "WRIE 82H\n"
    "OUTER\n"             // 13
    "SETBIT TR0\n"
    "PROCEDURE PARK\n"
    "INCADR 40H\n"        // 16: counts the passes of the loop
    "OUTER\n"             // 17
    "JUMP PARK\n"
    "PROCEDURE OUTER\n"
    "PUSH A\n"
    "INNER\n"             // 21
    "POP A\n"
    "ENDPROC\n"
    "PROCEDURE INNER\n"
    "NOP\n"               // 25
    "ENDPROC\n"
    "PROCEDURE T0ISR\n"
    "PUSH PSW\n"
    "NOP\n"               // 29
    "POP PSW\n"
    "ENDINTERRUPT\n"
    "END\n";

class Stack : public ::testing::Test {
protected:
    void SetUp() override
    {
        const BuildOutput built = BuildM51(Nested, m_dir.path() + "/nested.M51", m_dir.path());
        ASSERT_TRUE(built.ok) << (built.messages().empty() ? std::string() : built.messages().front().toStdString());
        m_program = built.program;
        for (const std::string& name : ProcedureNames(Nested))
            for (const auto& [label, address] : m_program.codeLabels())
                if (label == name)
                    m_procedures.push_back({label, address});
        m_engine.start(m_program);
        ASSERT_EQ(WaitForStopReason(m_engine).toStdString(), "");
    }
    Cause Run()
    {
        Cause cause{};
        m_engine.run();
        EXPECT_TRUE(WaitForStop(m_engine, 5000, &cause));
        return cause;
    }
    StackView Read() const { return ReadStack(m_engine.machine(), m_program.code, m_program.map, m_procedures, true); }

    QTemporaryDir m_dir;
    DebugEngine m_engine;
    Program m_program;
    std::vector<CodeName> m_procedures;
};

} // namespace

TEST_F(Stack, FramesNamedByProcedureWithTheirLines)
{
    struct Frame {
        const char* procedure;
        int line;
        StackFrame::Entry entry;
    };
    using E = StackFrame::Entry;
    struct Case {
        int breakpoint;
        std::vector<Frame> frames;  // innermost first
    } cases[] = {
        {25, {{"INNER", 25, E::Call}, {"OUTER", 21, E::Call}, {"MAIN", 13, E::Reset}}},
        // The timer's handler interrupts the loop (the frame below it is PARK or a procedure it calls).
        {29, {{"T0ISR", 29, E::Interrupt}}},
    };
    for (const Case& c : cases) {
        m_engine.setSourceBreakpoints({c.breakpoint});
        ASSERT_EQ(Run(), Cause::Breakpoint) << c.breakpoint;
        const StackView view = Read();
        EXPECT_EQ(view.base, 0x61u);
        ASSERT_GE(view.frames.size(), c.frames.size()) << c.breakpoint;
        for (size_t i = 0; i < c.frames.size(); ++i) {
            EXPECT_EQ(view.frames[i].procedure, c.frames[i].procedure) << c.breakpoint << " frame " << i;
            EXPECT_EQ(view.frames[i].sourceLine, c.frames[i].line) << c.breakpoint << " frame " << i;
            EXPECT_EQ(view.frames[i].enteredBy, c.frames[i].entry) << c.breakpoint << " frame " << i;
        }
        if (c.breakpoint == 29) {
            EXPECT_EQ(view.frames[0].interruptSource, 1);
            EXPECT_EQ(view.frames.back().enteredBy, E::Reset);
            // The interrupted code, not the pushed PSW taken for a return address.
            ASSERT_GE(view.frames.size(), 2u);
            EXPECT_NE(view.frames[1].at, 0) << view.frames[1].procedure;
            EXPECT_EQ(view.frames[0].returnSlot, int(m_engine.machine().sp()) - 2);
            const std::vector<InterruptState> states = InterruptStates(m_engine.machine(), view, true);
            ASSERT_EQ(states.size(), 6u);
            for (size_t s = 0; s < states.size(); ++s) {
                EXPECT_EQ(states[s].inService, s == 1) << states[s].name;
                EXPECT_EQ(states[s].enabled, s == 1) << states[s].name;
            }
        }
    }
}

TEST_F(Stack, ConditionalBreakpointStopsOnlyWhenItHoldsAndCountsItsHits)
{
    const BreakpointRef loop{false, 16};
    ASSERT_EQ(m_engine.setSourceBreakpoints({16}), std::set<int>{16});
    struct Case {
        const char* condition;
        int first, second;  // 40H at the first and second stop
    } cases[] = {{"", 0, 1}, {"iram[40] >= 5", 5, 6}, {"iram[40] = 9", 9, -1}};
    for (const Case& c : cases) {
        m_engine.reset();
        ASSERT_TRUE(WaitForStop(m_engine));
        m_engine.write(DebugEngine::Memory::Iram, 0x40, 0);
        ASSERT_TRUE(WaitForStop(m_engine));
        EXPECT_EQ(m_engine.breakpointSettings(loop).hits, 0u) << "reset clears the hits";
        EXPECT_EQ(m_engine.setBreakpointCondition(loop, c.condition), QString()) << c.condition;
        ASSERT_EQ(Run(), Cause::Breakpoint) << c.condition;
        EXPECT_EQ(m_engine.machine().iram[0x40], c.first) << c.condition;
        EXPECT_EQ(m_engine.breakpointSettings(loop).hits, 1u) << c.condition;
        if (c.second < 0)
            continue;
        ASSERT_EQ(Run(), Cause::Breakpoint) << c.condition;
        EXPECT_EQ(m_engine.machine().iram[0x40], c.second) << c.condition;
        EXPECT_EQ(m_engine.breakpointSettings(loop).hits, 2u) << c.condition;
    }
    // A condition in error is said and leaves the breakpoint stopping every time.
    EXPECT_FALSE(m_engine.setBreakpointCondition(loop, "iram[40] >").isEmpty());
    ASSERT_EQ(Run(), Cause::Breakpoint);
    // Disabled: the program runs on past it, without counting.
    const uint64_t hits = m_engine.breakpointSettings(loop).hits;
    m_engine.setBreakpointEnabled(loop, false);
    m_engine.run();
    EXPECT_FALSE(WaitForStop(m_engine, 300));
    m_engine.stop();
    EXPECT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(m_engine.breakpointSettings(loop).hits, hits);
}

TEST(StackOfAnAssemblySource, FramesNamedByTheCallsTargetLabels)
{
    const char* const source =
        "        ORG 0\n"
        "        LJMP MAIN\n"
        "        ORG 30H\n"
        "MAIN:   MOV SP,#50H\n"
        "LOOP:   ACALL SUB\n"      // 4
        "        SJMP LOOP\n"
        "SUB:    PUSH ACC\n"
        "INNER:  NOP\n"            // 7: a label inside SUB, not a procedure of its own
        "        POP ACC\n"
        "        RET\n"
        "        END\n";
    QTemporaryDir dir;
    const BuildOutput built = BuildAssembly(source, dir.path() + "/calls.a51", dir.path());
    ASSERT_TRUE(built.ok);
    std::vector<CodeName> labels;
    for (const auto& [name, address] : built.program.codeLabels())
        labels.push_back({name, address});
    DebugEngine engine;
    engine.start(built.program);
    ASSERT_TRUE(WaitForStop(engine));
    engine.setSourceBreakpoints({7});
    engine.run();
    ASSERT_TRUE(WaitForStop(engine));
    const StackView view = ReadStack(engine.machine(), built.program.code, built.program.map, labels, false);
    EXPECT_EQ(view.base, 0x51u);
    ASSERT_EQ(view.frames.size(), 2u);
    EXPECT_EQ(view.frames[0].procedure, "SUB");
    EXPECT_EQ(view.frames[0].sourceLine, 7);
    EXPECT_EQ(view.frames[0].returnSlot, 0x51);  // below the pushed ACC
    EXPECT_EQ(view.frames[1].procedure, "LOOP");
    EXPECT_EQ(view.frames[1].sourceLine, 4);
}

#ifdef M51_SDCC

// An SDCC program: the handler's return address lies below what it pushed
// (the saved registers are no interrupt return), and SDCC's library code,
// which no C function holds, is a frame its caller called.
TEST(StackOfACProgram, InterruptReturnBelowTheHandlersPushesAndLibraryCalls)
{
    if (qEnvironmentVariable("M51_SIMULATOR") == QLatin1String("s51"))
        GTEST_SKIP() << "C programs are debugged on the built-in simulator";
    const char* const source =
        "#include <8052.h>\n"
        "volatile unsigned char ticks;\n"
        "long total;\n"
        "long scale(long v, unsigned char k)\n"
        "{\n"
        "    return v * k;\n"             // 5
        "}\n"
        "void main(void)\n"
        "{\n"
        "    unsigned char i = 1;\n"
        "    TMOD = 0x01;\n"
        "    ET0 = 1;\n"
        "    EA = 1;\n"
        "    TR0 = 1;\n"
        "    while (1)\n"
        "        total = scale(total + 1, i++);\n"
        "}\n"
        "void tick(void) __interrupt(1)\n"
        "{\n"
        "    ticks += P1;\n"              // 19
        "}\n";
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/main.c";
    std::ofstream(path) << source;
    toolchain::Program built = toolchain::CBuild(M51_SDCC).run({{}, path, "main.asm"});
    ASSERT_TRUE(built.ok) << (built.diagnostics.empty() ? "" : built.diagnostics.front().message);
    const Program program(std::move(built), dir.path() + "/main.ihx");
    DebugEngine engine;
    engine.start(program);
    ASSERT_TRUE(WaitForStop(engine));
    auto read = [&] { return ReadStack(engine.machine(), program, ProceduresOf(program), true); };
    auto interrupts = [](const StackView& view) {
        return std::count_if(view.frames.begin(), view.frames.end(),
                             [](const StackFrame& f) { return f.enteredBy == StackFrame::Entry::Interrupt; });
    };

    // Into the multiplication of SDCC's library, before the timer first overflows.
    ASSERT_EQ(engine.runToLine({0, 5}).toStdString(), "");
    ASSERT_TRUE(WaitForStop(engine));
    for (int i = 0; i < 40 && program.functionAt(engine.machine().pc); ++i) {
        engine.stepInstruction();
        ASSERT_TRUE(WaitForStop(engine));
    }
    ASSERT_EQ(program.functionAt(engine.machine().pc), nullptr);
    StackView view = read();
    ASSERT_GE(view.frames.size(), 3u);
    EXPECT_EQ(view.frames[0].procedure, "");
    EXPECT_EQ(view.frames[0].enteredBy, StackFrame::Entry::Call);
    EXPECT_EQ(view.frames[1].procedure, "scale");
    EXPECT_EQ(view.frames.back().procedure, "main");
    EXPECT_EQ(interrupts(view), 0);

    // In the handler, after the registers it saves.
    engine.setSourceBreakpoints(0, {19});
    engine.run();
    ASSERT_TRUE(WaitForStop(engine));
    const toolchain::Function* tick = program.functionAt(engine.machine().pc);
    ASSERT_TRUE(tick && tick->name == "tick");
    int pushes = 0;
    for (unsigned a = tick->start; a < engine.machine().pc; a += sim::instructionLength(program.code[a]))
        pushes += program.code[a] == 0xC0;
    ASSERT_GT(pushes, 0);
    view = read();
    ASSERT_GE(view.frames.size(), 2u);
    EXPECT_EQ(view.frames[0].procedure, "tick");
    EXPECT_EQ(view.frames[0].enteredBy, StackFrame::Entry::Interrupt);
    EXPECT_EQ(view.frames[0].returnSlot, int(engine.machine().sp()) - pushes - 1);
    EXPECT_EQ(view.frames.back().procedure, "main");
    EXPECT_EQ(interrupts(view), 1);
}

#endif
