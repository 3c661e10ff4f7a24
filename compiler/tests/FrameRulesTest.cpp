// The frame of a program: procedures and calls, directives, definitions,
// vectors, plain assembly, exits; and the shape of the chain itself.

#include "compiler/tests/TestSupport.h"
#include "compiler/Translator.h"

#include <gtest/gtest.h>

using m51test::Compile;
using m51test::ExpectTranslations;
using m51test::Lines;
using m51test::Output;

TEST(FrameRules, Translations)
{
    ExpectTranslations({
        {{"BEGIN"}, {"$NOLIST"}},
        {{"PROCESOR 51"}, {"$MOD51"}},
        {{"PROCESOR"}, {"$MOD"}},
        {{"STARTADRESS 100H"}, {"ORG 100H"}},
        {{"STARTADRESS 0H"}, {"ORG 000H"}},
        {{"STARTADRESS 8"}, {"ORG 008"}},
        {{"STARTPROC MAIN"}, {"ORG 00H", "JMP MAIN"}},
        {{"STARTPROC"}, {"ORG 00H", "JMP "}},
        {{"procedure Main"}, {"MAIN:"}},
        {{"NOP"}, {"NOP"}},
        {{"ENDPROC"}, {"Ret"}},
        {{"ENDINTERRUPT"}, {"Reti"}},
        {{"END"}, {"END"}},
        {{"ASM: MOV A,@R0"}, {" MOV A,@R0"}},
        {{"asm:CPL   P1.0"}, {"CPL P1.0"}},  // the cleaned line: blank runs are single
        {{"ASM:"}, {" "}},
        {{"ASM:" + std::string(300, 'x')}, {std::string(200, 'x')}},
        {{"DEFINEBIT LED P1.0"}, {"LED BIT P1.0"}},
        {{"DEFINEBIT FLAG 7"}, {"FLAG BIT 007"}},
        {{"DEFINE LIMIT 10"}, {"LIMIT EQU 010"}},
        {{"DEFINE MASK 0FH"}, {"MASK EQU 00FH"}},
    });
}

TEST(FrameRules, AssemblyInsideInlineBlocks)
{
    // The block holds the text after ASM: of the inline statement itself.
    auto r = Compile({"IFCARY INLINE ASM: CPL P1.0"});
    EXPECT_EQ(r.InlineBox, (Lines{"INLINE 1", " CPL P1.0", "INLINEEND"}));
    EXPECT_EQ(r.Output, (Lines{"JnC PRS0001", " CPL P1.0", "PRS0001:"}));
    r = Compile({"IFA= 5 inline asm:NOP", "X INLINE Y INLINE ASM:  RL   A", "IFCARY INLINE ASM:"});
    EXPECT_EQ(r.InlineBox, (Lines{"INLINE 1", "NOP", "INLINEEND", "INLINE 2", " RL A", "INLINEEND", "INLINE 3",
                                  "INLINEEND"}));
}

TEST(FrameRules, InterruptVectors)
{
    struct Vector {
        const char* keyword;
        const char* org;
    };
    for (const Vector v : {Vector{"EXTER0", "ORG 03H"}, Vector{"EXTER1", "ORG 13H"}, Vector{"TIMER0", "ORG 0BH"},
                           Vector{"TIMER1", "ORG 01BH"}, Vector{"SERIAL", "ORG 023H"}}) {
        EXPECT_EQ(Output({std::string(v.keyword) + " disable"}), (Lines{v.org, "RETI", ";-------------"}));
        EXPECT_EQ(Output({std::string(v.keyword) + " Isr"}), (Lines{v.org, "JMP Isr", ";-------------"}));
        EXPECT_EQ(Output({std::string(v.keyword)}), (Lines{v.org, "JMP ", ";-------------"}));
    }
}

TEST(FrameRules, Definitions)
{
    const auto r = Compile({"NOP", "NOP", "NOP", "NOP", "DEFINE LIMIT 10", "DEFINEBIT LED P1.0"});
    EXPECT_EQ(r.Definebox, (Lines{"4 LIMIT"}));
    EXPECT_TRUE(r.ErBox.empty());
}

TEST(FrameRules, ProcedureCalls)
{
    ExpectTranslations({
        {{"procedure Main", "main"}, {"MAIN:", "Call MAIN"}},
        {{"procedure Main", "main 7"}, {"MAIN:", "Mov A,#007", "Call MAIN"}},
        {{"main", "PROCEDURE MAIN"}, {"Call MAIN", "MAIN:"}},  // a call may precede the definition
        {{"PROCEDURE P", "P 0FFH"}, {"P:", "Mov A,#0FFH", "Call P"}},
        // A procedure named like a keyword: the call lines in LB, the keyword's line.
        {{"PROCEDURE NOP", "NOP 5"}, {"NOP:", "NOP", "Call NOP"}},
        {{"PROCEDURE END", "END"}, {"END:", "END"}},
    });
}

TEST(FrameRules, ExitProtocol)
{
    ExpectTranslations({
        // EXITPROC mentioned without an exit jump: appended to whatever the line wrote.
        {{"JUMP EXITPROC", "ENDPROC"}, {"Jmp EXITPROC EXP0001", "EXP0001:", "Ret"}},
        {{"FOO myexitproc2"}, {" EXP0001"}},
        {{"JUMP EXITPROC", "JUMP EXITPROC", "ENDPROC", "JUMP EXITPROC"},
         {"Jmp EXITPROC EXP0001", "Jmp EXITPROC EXP0001", "EXP0001:", "Ret", "Jmp EXITPROC EXP0002"}},
        // An action word EXITPROC takes the exit itself; rule 42 stays out.
        {{"IFA= 10 EXITPROC", "ENDPROC"}, {"XRL A,#010", "JnZ PRS0001", "JMP EXP0001", "PRS0001:", "EXP0001:", "Ret"}},
        // A comment is no part of the statement.
        {{"NOP ;EXITPROC", "ENDPROC"}, {"NOP     ;EXITPROC", "Ret"}},
    });
}

TEST(RuleChain, IsOneOrderedTable)
{
    const auto chain = m51::RuleChain();
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(chain.front().number, 1);
    EXPECT_EQ(chain.back().number, 42);
    int previous = 0;
    for (const m51::Rule& rule : chain) {
        EXPECT_GE(rule.number, previous) << rule.keyword;
        EXPECT_TRUE(rule.action != nullptr) << rule.number;
        EXPECT_TRUE(!rule.keyword.empty() || rule.test != nullptr) << rule.number;
        previous = rule.number;
    }
    for (int n = 1; n <= 42; ++n) {
        bool present = false;
        for (const m51::Rule& rule : chain)
            present = present || rule.number == n;
        EXPECT_TRUE(present) << "rule " << n;
    }
}
