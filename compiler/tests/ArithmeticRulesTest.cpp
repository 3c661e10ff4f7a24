// Arithmetic, logic and bit statements.

#include "compiler/tests/TestSupport.h"

#include <gtest/gtest.h>

using m51test::Compile;
using m51test::ExpectTranslations;
using m51test::Lines;

TEST(ArithmeticRules, RegisterBOrValue)
{
    ExpectTranslations({
        {{"+ B"}, {"Add A,B"}},
        {{"+ b"}, {"Add A,#b"}},  // the register test is case-sensitive
        {{"+ 5"}, {"Add A,#005"}},
        {{"- B"}, {"Subb A,B"}},
        {{"- 10H"}, {"Subb A,#010H"}},
        {{"AND 0FH"}, {"Anl A,#00FH"}},
        {{"AND B"}, {"Anl A,B"}},
        {{"OR 128"}, {"Orl A,#128"}},
        {{"OR B"}, {"Orl A,B"}},
        {{"XOR 1"}, {"Xrl A,#001"}},
        {{"XOR B"}, {"Xrl A,B"}},
        {{"and mask"}, {"Anl A,#mask"}},
    });
    // Without an operand nothing is written and the line is reported.
    for (const char* line : {"+", "-", "AND", "OR", "XOR"}) {
        const auto r = Compile({line});
        EXPECT_EQ(r.Output, (Lines{" "})) << line;
        EXPECT_EQ(r.ErBox, (Lines{std::string("0 ") + line})) << line;
    }
}

TEST(ArithmeticRules, FixedOperands)
{
    ExpectTranslations({
        {{"A+1"}, {"Inc A"}},          {{"A-1"}, {"Dec A"}},        {{"B+1"}, {"Inc B"}},
        {{"B-1"}, {"Dec B"}},          {{"NOT"}, {"Cpl A"}},        {{"*B"}, {"Mul AB"}},
        {{"/B"}, {"Div AB"}},          {{"SHIFTLEFT"}, {"RL A"}},   {{"SHIFTRIGHT"}, {"RR A"}},
        {{"SHIFTLEFTCARY"}, {"RLC A"}}, {{"SHIFTRIGHTCARY"}, {"RRC A"}}, {{"SWAPNIBLES"}, {"swap A"}},
        {{"DA"}, {"DA A"}},            {{"A+C+B"}, {"ADDC A,B"}},   {{"+@R0"}, {"ADD A,@R0"}},
        {{"+@R1"}, {"ADD A,@R1"}},     {{"-@R0"}, {"SUBB A,@R0"}},  {{"-@R1"}, {"SUBB A,@R1"}},
        {{"CLEAR_C"}, {"CLR C"}},      {{"CLEAR_A"}, {"CLR A"}},    {{"NOT 5"}, {"Cpl A"}},
    });
}

TEST(ArithmeticRules, ValuesAddressesAndBits)
{
    ExpectTranslations({
        {{"A+C+ 3"}, {"ADDC A,#003"}}, {{"A+C+"}, {"ADDC A,#"}},      {{"+ADR 30H"}, {"ADD A,030H"}},
        {{"-ADR X"}, {"SUBB A,X"}},    {{"A+C+ADR 7FH"}, {"ADDC A,07FH"}},
        {{"INCADR 30H"}, {"Inc 030H"}}, {{"DECADR COUNTER"}, {"Dec COUNTER"}},
        {{"SETBIT P1.0"}, {"Setb P1.0"}}, {{"CLEARBIT LED"}, {"Clr LED"}}, {{"NOTBIT 20H"}, {"CPL 020H"}},
        {{"SETBIT"}, {"Setb "}},       {{"SETBIT 7"}, {"Setb 007"}},
    });
}
