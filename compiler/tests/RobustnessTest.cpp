// Any byte sequence is a valid source: nothing crashes, every line yields at
// least one output line, and long lines keep their leading words.

#include "compiler/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using m51test::Compile;
using m51test::Lines;
using m51test::Output;

TEST(Robustness, NulAndHighBytes)
{
    const std::string nul("A\0B", 3);
    auto r = Compile({nul, "A " + nul, std::string(1, '\0'), "\xff\xfe ;\x80\x9a", "IFA=0 \xe8\xed"});
    EXPECT_EQ(r.Output, (Lines{" ", "Mov A,#" + nul, " ", "    ;\x80\x9a", "JnZ PRS0001", "Call \xe8\xed",
                               "PRS0001:"}));
    // A NUL inside a word stays; at the ends of a line it is trimmed like a blank.
    EXPECT_EQ(r.ErBox, (Lines{"0 " + nul, "3 \xff\xfe"}));

    // Every byte value as a one-byte line and as word 2.
    Lines source;
    for (int b = 0; b < 256; ++b) {
        source.emplace_back(1, static_cast<char>(b));
        source.push_back("WRP1 " + std::string(1, static_cast<char>(b)));
    }
    r = Compile(source);
    EXPECT_GE(r.Output.size(), source.size());
}

TEST(Robustness, MegabyteLines)
{
    const std::string big(1 << 20, 'x');
    auto r = Compile({"A " + big, "ASM:" + big, big, std::string(1 << 20, ' '), std::string(1 << 20, ';'),
                      "NOP ;" + big});
    ASSERT_EQ(r.Output.size(), 6u);
    EXPECT_EQ(r.Output[0], "Mov A,#" + big);
    EXPECT_EQ(r.Output[1], std::string(200, 'x'));
    EXPECT_EQ(r.Output[2], " ");
    EXPECT_EQ(r.Output[3], " ");
    EXPECT_EQ(r.Output[4], " ");
    EXPECT_EQ(r.Output[5], "NOP     ;" + big);
    ASSERT_EQ(r.ErBox.size(), 1u);
    EXPECT_EQ(r.ErBox[0].size(), 2 + big.size());
}

TEST(Robustness, HundredThousandWords)
{
    std::string words;
    for (int i = 0; i < 100000; ++i)
        words += " w" + std::to_string(i);
    EXPECT_EQ(Output({"DJNZ" + words}), (Lines{"DJNZ w0 w1 w2"}));
    // The inline pass reads the line's words 2 to 11; after both INLINE shifts
    // the block starts at word 5.
    const auto r = Compile({"X INLINE Y INLINE DJNZ" + words});
    EXPECT_EQ(r.InlineBox, (Lines{"INLINE 1", "DJNZ W0 W1 W2", "INLINEEND"}));
    // Many blanks between the words count as single blanks.
    std::string spaced = "DJNZ";
    for (int i = 0; i < 100000; ++i)
        spaced += "    v" + std::to_string(i);
    EXPECT_EQ(Output({spaced}), (Lines{"DJNZ v0 v1 v2"}));
}

TEST(Robustness, ExitMentionInsideALongLine)
{
    const std::string filler(500000, 'y');
    EXPECT_EQ(Output({"JUMP " + filler + " " + filler + "exitPROC"}), (Lines{"Jmp " + filler + " EXP0001"}));
}

TEST(Robustness, RandomLinesAlwaysYieldOutput)
{
    // Fragments of keywords, operands and separators, glued at random.
    const std::vector<std::string> pieces = {
        "IFA=0", "IFA=", "INLINE", "inline", "EXITPROC", "LOOP", "LOOPWHILEBIT", "WHILEA=0", "ENDWHILE", "PROCEDURE",
        "ENDPROC", "WRMEM", "RDMEM", "1@IFA<", "COUNT", "WRBUFFER", "RD", "WR", "SP", "ASM:", "DJNZ", "IF", "=",
        "5", "0FFH", "1010B", "300", "P1.0", " ", " ", "  ", ";", "\t", std::string(1, '\0'), "\xff", "\x9a", "X",
        "B", "+", "DEFINE", "TIMER0", "DISABLE", "PUSH", "A", "H"};
    std::mt19937 random(51);
    for (int round = 0; round < 40; ++round) {
        Lines source;
        for (int i = 0; i < 200; ++i) {
            std::string line;
            const int n = static_cast<int>(random() % 12);
            for (int k = 0; k < n; ++k)
                line += pieces[random() % pieces.size()];
            source.push_back(line);
        }
        const auto r = Compile(source);
        ASSERT_GE(r.Output.size(), source.size());
        // Every entry of the numbered lists starts with a line index and a blank.
        for (const auto* list : {&r.ProcBox, &r.Definebox, &r.ErBox})
            for (const std::string& entry : *list) {
                const std::size_t blank = entry.find(' ');
                ASSERT_NE(blank, std::string::npos) << entry;
                ASSERT_GT(blank, 0u) << entry;
                ASSERT_LT(std::stoul(entry.substr(0, blank)), source.size()) << entry;
            }
    }
}
