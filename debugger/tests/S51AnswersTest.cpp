// The s51 answers below are copied from the simulator (ucsim 0.6.4).
#include "debugger/S51Answers.h"

#include <gtest/gtest.h>

using namespace m51dbg;

namespace {

const char* const StepAnswer =
    "step 2\n"
    "\n"
    "Stop at 0x00004a: (104) Breakpoint\n"
    "     R0 R1 R2 R3 R4 R5 R6 R7\n"
    "     08 70 d4 b2 8a 29 54 48\n"
    "@R0 05 .  ACC= 0x2c  44 ,  B= 0x01\n"
    "@R1 84 .  PSW= 0x81 CY=1 AC=0 OV=0 P=1\n"
    "SP 0x62 -> 00 3f 49 fa 78 44 bc b4\n"
    "   DPTR= 0x1234 @DPTR= 0x95 149 .\n"
    "\n"
    "0x004a    <.func$1>:\n"
    "0x004a F  c2 90    CLR    0x900x90 <P1>.0\x1b[0K\n"
    "F 0x00004a\n"
    "Simulated 72 ticks (6.510e-06 sec)\n";

} // namespace

TEST(S51Answers, CleanAnswerDropsEchoEscapesAndReturns)
{
    EXPECT_EQ(CleanAnswer("expression PC\r\n60\n", "expression PC"), "60\n");
    EXPECT_EQ(CleanAnswer("60\n", "expression PC"), "60\n");  // no echo
    EXPECT_EQ(CleanAnswer("a\x1b[0Kb\x1b[1;31mc\n", ""), "abc\n");
}

TEST(S51Answers, ExpressionValues)
{
    struct Case {
        const char* answer;
        std::optional<long long> value;
    } cases[] = {
        {"60\n", 60},
        {"\n  255 \n", 255},
        {"Parser error: syntax error\n0\n", std::nullopt},
        {"Warning: Invalid address p1\n", std::nullopt},
        {"", std::nullopt},
        {"Loading from blink.hex\n68 words read from blink.hex\n7\n", 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseExpressionValue(c.answer), c.value) << c.answer;
}

TEST(S51Answers, StopReportOfABreakpoint)
{
    const StopReport report = ParseStopReport(CleanAnswer(StepAnswer, "step 2"));
    EXPECT_EQ(report.reason, StopReason::Breakpoint);
    EXPECT_EQ(report.reasonCode, 104);
    EXPECT_EQ(report.pc, 0x4a);
    EXPECT_EQ(report.sp, 0x62);
    EXPECT_EQ(report.acc, 0x2c);
    EXPECT_EQ(report.b, 0x01);
    EXPECT_EQ(report.psw, 0x81);
    EXPECT_EQ(report.dptr, 0x1234);
    EXPECT_EQ(report.stack, (std::vector<uint8_t>{0x00, 0x3f, 0x49, 0xfa, 0x78, 0x44, 0xbc, 0xb4}));
    ASSERT_TRUE(report.r);
    EXPECT_EQ((*report.r)[0], 0x08);
    EXPECT_EQ((*report.r)[7], 0x48);
}

TEST(S51Answers, StopReasons)
{
    struct Case {
        const char* line;
        StopReason reason;
        int pc;
    } cases[] = {
        {"Stop at 0x000036: (109) stepped 72 ticks\nF 0x000036\n", StopReason::Stepped, 0x36},
        {"\nStop at 0x000068: (105) User stopped\nF 0x000068\n", StopReason::UserStopped, 0x68},
        {"Stop at 0x000100: (101) Invalid instruction\n", StopReason::Other, 0x100},
        {"Parser error: syntax error\n", StopReason::None, -1},
    };
    for (const Case& c : cases) {
        const StopReport report = ParseStopReport(c.line);
        EXPECT_EQ(report.reason, c.reason) << c.line;
        EXPECT_EQ(report.pc ? int(*report.pc) : -1, c.pc) << c.line;
    }
}

TEST(S51Answers, Dumps)
{
    const char* iram = "0x00 08 70 d4 b2 8a 29 54 48 .p...)TH\n"
                       "0x08 9a 0a bc d5 0e 18 a8 44 .......D\n";
    const auto bytes = ParseDump(iram, 0, 16);
    ASSERT_TRUE(bytes);
    EXPECT_EQ((*bytes)[0], 0x08);
    EXPECT_EQ((*bytes)[15], 0x44);

    // Wide address column (plain dump) and a character column that looks like bytes.
    const char* chip = "0x00                      ff 07 20 34 61 .. 4a\n"
                       "0x05                      00 00          ..\n";
    const auto sfr = ParseDump(chip, 0, 7);
    ASSERT_TRUE(sfr);
    EXPECT_EQ((*sfr)[4], 0x61);
    EXPECT_EQ((*sfr)[6], 0x00);

    EXPECT_FALSE(ParseDump(iram, 0, 17));                        // short
    EXPECT_FALSE(ParseDump("Warning: Invalid address\n", 0, 1));  // not a dump
    EXPECT_FALSE(ParseDump("0x00 08 zz\n", 0, 2));                // garbage byte
}

TEST(S51Answers, BreakpointNumbers)
{
    EXPECT_EQ(ParseBreakpointNumber("Breakpoint 3 at 0x00004a: 0x004a F? c2 90    CLR (cond=\"\")\n"), 3);
    EXPECT_EQ(ParseBreakpointNumber("Breakpoint at 0x00004a is already set.\n"), std::nullopt);
    EXPECT_EQ(FindErrorLine("Breakpoint at 0x00004a is already set.\n"), "Breakpoint at 0x00004a is already set.");
    EXPECT_EQ(FindErrorLine("60\n"), "");
}
