// m51sim's run on the simulator core, through the same calls m51sim makes:
// the program kinds, the end conditions and the serial line with a script.
#include "simrun/CoreRun.h"
#include "toolchain/Build.h"

#include <gtest/gtest.h>

using namespace m51sim;
using End = CoreRunResult::End;

namespace {

// Echoes every byte it receives plus one, counting the bytes at 32H
// (28800 baud at 11.0592 MHz).
const char* const EchoPlus =
    "PROCESOR 51\nSTARTPROC MAIN\nEXTER0 DISABLE\nTIMER0 DISABLE\nEXTER1 DISABLE\nTIMER1 DISABLE\n"
    "SERIAL DISABLE\nSTARTADRESS 30H\nPROCEDURE MAIN\nWRSP 60H\nWRTMOD 20H\nWRTH1 0FFH\nSETBIT TR1\n"
    "WRSCON 50H\nA 0\nWRADR 32H\nPROCEDURE NEXT\nLOOPWHILENOTBIT RI\nCLEARBIT RI\nRDSBUF\nASM: INC A\n"
    "WRSBUF\nLOOPWHILENOTBIT TI\nCLEARBIT TI\nINCADR 32H\nJUMP NEXT\nEND\n";

const char* const CountAsm =
    "        ORG 0\n"       // 1
    "        MOV R0,#0\n"   // 2
    "LOOP:   INC R0\n"      // 3
    "        CJNE R0,#10,LOOP\n"  // 4
    "        MOV 30H,R0\n"  // 5
    "PARK:   SJMP PARK\n"   // 6
    "        END\n";

struct Board {
    explicit Board(const toolchain::Program& code, double lineBaud = 0)
    {
        sim::Board board;
        if (lineBaud > 0) {
            board.serial = sim::SerialLine::RealLine;
            board.lineBaud = lineBaud;
        }
        machine = std::make_unique<sim::Machine>(*sim::findChip("8052"), board);
        machine->loadCode(code.code.data(), code.code.size());
        machine->reset();
    }
    std::unique_ptr<sim::Machine> machine;
};

} // namespace

TEST(CoreRun, ProgramKindsGiveOneImage)
{
    const toolchain::Program assembled = toolchain::AssembleProgram(CountAsm, "count.asm");
    ASSERT_TRUE(assembled.ok);
    const toolchain::Program fromHex = toolchain::ReadHexProgram(assembled.hex);
    ASSERT_TRUE(fromHex.ok);
    EXPECT_EQ(fromHex.code, assembled.code);
    EXPECT_FALSE(toolchain::ReadHexProgram(":10000000\n").ok);

    const toolchain::Program broken = toolchain::CompileM51("PROCESOR 51\nFROBNICATE 7\nEND\n", "b.asm");
    ASSERT_FALSE(broken.ok);
    ASSERT_FALSE(broken.diagnostics.empty());
    EXPECT_EQ(toolchain::FormatBuildMessage(toolchain::NamedDiagnostics(broken, "b.M51", "b.asm")[0]).rfind("b.M51:2: ", 0), 0u);
    const toolchain::Program badAsm = toolchain::AssembleProgram("        FROB A\n        END\n", "x.asm");
    ASSERT_FALSE(badAsm.ok);
    EXPECT_EQ(toolchain::FormatBuildMessage(toolchain::NamedDiagnostics(badAsm, "x.asm", "x.asm")[0]).rfind("x.asm:1: ", 0), 0u);
}

TEST(CoreRun, EndsAtTheLineOrTheStepLimit)
{
    const toolchain::Program code = toolchain::AssembleProgram(CountAsm, "count.asm");
    ASSERT_TRUE(code.ok);
    const auto park = code.map.asmLineAddress(5);
    ASSERT_TRUE(park);
    {
        Board board(code);
        CoreRunSettings settings;
        settings.untilAddress = park;
        const CoreRunResult result = RunOnCore(*board.machine, settings);
        EXPECT_EQ(result.end, End::Until);
        EXPECT_EQ(result.instructions, 1u + 2 * 10 + 1);
        EXPECT_EQ(CaptureState(*board.machine).iram[0x30], 10);
        // MOV 1, INC 1, CJNE 2 (ten times), MOV direct,Rn 2.
        EXPECT_EQ(board.machine->cycles(), 1u + 10 * 3 + 2);
    }
    {
        Board board(code);
        CoreRunSettings settings;
        settings.untilAddress = park;
        settings.steps = 5;
        const CoreRunResult result = RunOnCore(*board.machine, settings);
        EXPECT_EQ(result.end, End::Steps);
        EXPECT_EQ(result.instructions, 5u);
    }
}

// Bytes sent back to back at the program's bit rate all arrive and come
// back, from a serial-in file and from a script, in the ideal and the real
// line.
TEST(CoreRun, EchoesBytesSentBackToBack)
{
    const toolchain::Program code = toolchain::CompileM51(EchoPlus, "echo.asm");
    ASSERT_TRUE(code.ok);
    const auto parse = [](const std::string& text) {
        return ParseSerialScript(text, "s", WholeFiles([](const std::string&, std::string&) { return std::nullopt; })).commands;
    };
    for (double baud : {0.0, 28800.0}) {
        Board board(code, baud);
        CoreRunSettings settings;
        settings.steps = 20000;
        // On the real line the bytes start once the program's UART has its clock
        // (timer 1 overflows first after 256 cycles: TL1 starts at 0).
        if (baud > 0)
            settings.script = parse("wait 400\nsend HAL\nwait 2000\n");
        else
            settings.serialIn = "HAL";
        const CoreRunResult result = RunOnCore(*board.machine, settings);
        EXPECT_EQ(result.serialOut, "IBM") << baud;
        EXPECT_EQ(board.machine->read(sim::Space::Iram, 0x32), 3) << baud;
        EXPECT_EQ(result.bytesLost, 0u) << baud;
    }
    {
        Board board(code);
        CoreRunSettings settings;
        settings.script = parse("send HA\nexpect IB\nwait 500\nsend L\nexpect M\n");
        const CoreRunResult result = RunOnCore(*board.machine, settings);
        EXPECT_EQ(result.end, End::ScriptDone);
        EXPECT_EQ(result.serialOut, "IBM");
    }
    {
        Board board(code);
        CoreRunSettings settings;
        settings.steps = 20000;
        settings.script = parse("send HAL\nexpect IBX\n");
        const CoreRunResult result = RunOnCore(*board.machine, settings);
        EXPECT_EQ(result.end, End::ExpectNotMet);
        EXPECT_EQ(result.waitingFor, "IBX");
        EXPECT_EQ(result.waitingLine, 2);
    }
}
