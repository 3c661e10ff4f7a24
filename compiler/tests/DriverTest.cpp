// The compile driver: the three passes, the source model and the lists, with
// the documented worked examples byte for byte.

#include "compiler/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using m51test::Compile;
using m51test::Lines;
using m51test::Output;

TEST(Driver, WorkedExampleOfTheCompileCommand)
{
    const auto r = Compile({"PROCEDURE Blink ; main loop", "", "FOO", "ENDPROC"});
    EXPECT_EQ(r.Output, (Lines{"BLINK:     ;main loop", " ", " ", "Ret"}));
    EXPECT_EQ(r.ProcBox, (Lines{"0 BLINK"}));
    EXPECT_EQ(r.ErBox, (Lines{"2 FOO"}));
    EXPECT_TRUE(r.Definebox.empty());
    EXPECT_TRUE(r.InlineBox.empty());
}

TEST(Driver, WorkedExampleOfAnInlineBlock)
{
    const auto r = Compile({"IFA=0 INLINE NOP"});
    EXPECT_EQ(r.InlineBox, (Lines{"INLINE 1", "NOP", "INLINEEND"}));
    EXPECT_EQ(r.Output, (Lines{"JnZ PRS0001", "NOP", "PRS0001:"}));
    EXPECT_TRUE(r.ErBox.empty());
}

TEST(Driver, WorkedExampleOfAProgramFrame)
{
    const auto r = Compile({"PROCESOR 51", "BEGIN", "STARTPROC MAIN", "TIMER0 DISABLE", "PROCEDURE MAIN", "A 5",
                            "IFA=0 EXITPROC", "WRP1", "ENDPROC", "END"});
    EXPECT_EQ(r.Output, (Lines{"$MOD51", "$NOLIST", "ORG 00H", "JMP MAIN", "ORG 0BH", "RETI", ";-------------",
                               "MAIN:", "Mov A,#005", "JnZ PRS0001", "JMP EXP0001", "PRS0001:", "Mov P1,A",
                               "EXP0001:", "Ret", "END"}));
    EXPECT_EQ(r.ProcBox, (Lines{"4 MAIN"}));
    EXPECT_TRUE(r.ErBox.empty());
}

TEST(Driver, WorkedExampleOfConditionsAndLoops)
{
    const auto r = Compile({"COUNT1 10", "LOOP1 BLINK", "WHILEBIT P3.2", "SETBIT P1.0", "ENDWHILE",
                            "IFNOTCARY DONE", "2@IFA< 10 DONE"});
    EXPECT_EQ(r.Output, (Lines{"Mov 08,#010", "LP0001:", "CALL BLINK", "DJNZ 08,LP0001", "Whi0001:",
                               "JNB P3.2,EnW0001", "Setb P1.0", "JMP Whi0001", "EnW0001:", "JC PRS0001",
                               "Call DONE", "PRS0001:", "MOV A,11h", "CLR C", "SUBB A,#010", "JNC PRS0002",
                               "Call DONE", "PRS0002:"}));
    EXPECT_TRUE(r.ErBox.empty());
}

// One source line each: the output lines and the error list of a fresh compile.
TEST(Driver, LinesCommentsAndWords)
{
    struct Case {
        std::string line;
        Lines output;
        Lines errors;
    };
    const Case cases[] = {
        {"", {" "}, {}},
        {"   ", {" "}, {}},
        {";only a comment", {"    ;only a comment"}, {}},
        {"  ;  padded comment  ", {"    ;padded comment"}, {}},
        {"ENDPROC ;back", {"Ret     ;back"}, {}},
        {"NOP ;first;second", {"NOP     ;first"}, {}},
        {"NOP ;;;first", {"NOP     ;first"}, {}},
        {"NOP ;", {"NOP"}, {}},
        {"FOO", {" "}, {"0 FOO"}},
        {"FOO   BAR  BAZ ", {" "}, {"0 FOO BAR BAZ"}},  // the error shows the cleaned statement
        {"FOO ;note", {"    ;note"}, {"0 FOO"}},  // a typo beside a comment is reported all the same
        {"FOO  BAR ; wait here", {"    ;wait here"}, {"0 FOO BAR"}},
        {"ENDWHILE ; no loop", {"JMP Whi0000     ;no loop", "EnW0000:"}, {"0 ENDWHILE without an open WHILE loop"}},
        {"A     5", {"Mov A,#005"}, {}},
        {"A\t5", {" "}, {"0 A\t5"}},  // a tab does not separate words
        {"a 5", {"Mov A,#005"}, {}},   // word 1 is upper-cased, the others stay
        {"\tA 5\t", {"Mov A,#005"}, {}},
    };
    for (const Case& c : cases) {
        const auto r = Compile({c.line});
        EXPECT_EQ(r.Output, c.output) << "'" << c.line << "'";
        EXPECT_EQ(r.ErBox, c.errors) << "'" << c.line << "'";
    }
}

TEST(Driver, EveryListCountsLinesFromZero)
{
    const auto r = Compile({"PROCEDURE P", "DEFINE X 1", "FOO", "PROCEDURE P"});
    EXPECT_EQ(r.ProcBox, (Lines{"0 P", "3 ERROR - Duplicate P", "3 P"}));
    EXPECT_EQ(r.Definebox, (Lines{"1 X"}));
    EXPECT_EQ(r.ErBox, (Lines{"3 Duplicate procedure P", "2 FOO"}));
}

TEST(Driver, EntriesAndOutputLinesKnowTheirSourceLine)
{
    const auto r = Compile({"PROCEDURE P", "DEFINE X 1", "FOO", "PROCEDURE P", "IFA=0 INLINE DEFINE Y 2",
                            "WRMEM 1010B"});
    const auto lines = [](const std::vector<m51::ListEntry>& list) {
        std::vector<int> out;
        for (const m51::ListEntry& e : list)
            out.push_back(e.line);
        return out;
    };
    EXPECT_EQ(lines(r.full.ProcBox), (std::vector<int>{0, 3, 3}));
    // The inline pass numbers its definitions 0 in the text; the entry keeps the real line.
    EXPECT_EQ(r.Definebox, (Lines{"0 Y", "1 X"}));
    EXPECT_EQ(lines(r.full.Definebox), (std::vector<int>{4, 1}));
    EXPECT_EQ(lines(r.full.InlineBox), (std::vector<int>{4, 4, 4}));
    EXPECT_EQ(lines(r.full.ErBox), (std::vector<int>{3, 2, 5}));
    // P: / Y EQU 002 / " " / P: / JnZ PRS0001, Y EQU 002, PRS0001: / ERORR - binary value
    EXPECT_EQ(r.full.LineMap, (std::vector<int>{0, 1, 2, 3, 4, 4, 4, 5}));
    EXPECT_EQ(r.full.LineMap.size(), r.Output.size());
}

TEST(Driver, DuplicateProcedures)
{
    // Different case: the reports show the later name as written, the entries upper-case.
    auto r = Compile({"PROCEDURE Blink", "procedure blink"});
    EXPECT_EQ(r.ProcBox, (Lines{"0 BLINK", "1 ERROR - Duplicate blink", "1 BLINK"}));
    EXPECT_EQ(r.ErBox, (Lines{"1 Duplicate procedure blink"}));

    // A third definition is reported once for each earlier one.
    r = Compile({"PROCEDURE X", "PROCEDURE X", "PROCEDURE x"});
    EXPECT_EQ(r.ProcBox, (Lines{"0 X", "1 ERROR - Duplicate X", "1 X", "2 ERROR - Duplicate x",
                                "2 ERROR - Duplicate x", "2 X"}));
    EXPECT_EQ(r.ErBox, (Lines{"1 Duplicate procedure X", "2 Duplicate procedure x", "2 Duplicate procedure x"}));

    // The word ERROR of a report is a name field like any other.
    r = Compile({"PROCEDURE A1", "PROCEDURE A1", "PROCEDURE Error"});
    EXPECT_EQ(r.ProcBox, (Lines{"0 A1", "1 ERROR - Duplicate A1", "1 A1", "2 ERROR - Duplicate Error", "2 ERROR"}));

    // A call resolves once per entry of its name: two Call lines for an argument call.
    r = Compile({"PROCEDURE F", "PROCEDURE F", "F 7", "F"});
    EXPECT_EQ(r.Output, (Lines{"F:", "F:", "Mov A,#007", "Call F", "Call F", "Call F"}));
    // ... and a call of ERROR hits each duplicate report.
    r = Compile({"PROCEDURE F", "PROCEDURE F", "error 1"});
    EXPECT_EQ(r.Output, (Lines{"F:", "F:", "Mov A,#001", "Call ERROR"}));
}

// Past 100 reports of one line or Call lines of one call, one error entry
// counts the rest, and later lines see every definition as before.
TEST(Driver, LongRunsOfDuplicatesStayBounded)
{
    Lines source(150, "PROCEDURE X");
    source.push_back("X 1");
    source.push_back("PROCEDURE Error");
    const auto r = Compile(source);
    const auto count = [](const Lines& list, const std::string& text) {
        return std::count(list.begin(), list.end(), text);
    };
    EXPECT_EQ(count(r.ErBox, "100 Duplicate procedure X"), 100);
    EXPECT_EQ(count(r.ErBox, "101 Duplicate procedure X"), 100);
    EXPECT_EQ(count(r.ProcBox, "149 ERROR - Duplicate X"), 100);
    EXPECT_EQ(count(r.ErBox, "100 ... and 0 more duplicates of X"), 0);
    EXPECT_EQ(count(r.ErBox, "101 ... and 1 more duplicates of X"), 1);
    EXPECT_EQ(count(r.ErBox, "149 ... and 49 more duplicates of X"), 1);
    // 150 entries of X: 100 Call lines.
    EXPECT_EQ(count(r.Output, "Call X"), 100);
    EXPECT_EQ(count(r.ErBox, "150 ... and 50 more calls of X"), 1);
    // The reports left out still count as entries named ERROR: 149 * 150 / 2.
    EXPECT_EQ(count(r.ErBox, "151 ... and 11075 more duplicates of Error"), 1);
    // Reports of lines 1..100, 101 entries for each of lines 101..149 and 151, the call's entry last.
    EXPECT_EQ(r.ErBox.size(), 5050u + 49 * 101 + 101 + 1);
    EXPECT_EQ(r.full.ErBox.back().line, 150);
}

TEST(Driver, ProcedureWithoutName)
{
    const auto r = Compile({"PROCEDURE"});
    EXPECT_EQ(r.ProcBox, (Lines{"0 "}));
    EXPECT_EQ(r.Output, (Lines{":"}));
}

TEST(Driver, WhichLinesCarryInlineBlocks)
{
    struct Case {
        std::string line;
        Lines inlineBox;
    };
    const Case cases[] = {
        {"INLINE NOP", {}},
        {"IFA=0 INLINE NOP", {"INLINE 1", "NOP", "INLINEEND"}},
        {"IFA=0 inline nop", {"INLINE 1", "NOP", "INLINEEND"}},
        {"IFA= 5 INLINE SETBIT P1.0", {"INLINE 1", "Setb P1.0", "INLINEEND"}},
        {"IFA= 5 X INLINE NOP", {}},
        {"IFCARY INLINE FOO", {"INLINE 1", "INLINEEND"}},
        {"IFCARY INLINE", {"INLINE 1", "INLINEEND"}},
        {"IFCARY INLINE A 5 ;comment stays out", {"INLINE 1", "Mov A,#005", "INLINEEND"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Compile({c.line}).InlineBox, c.inlineBox) << c.line;
}

TEST(Driver, InlineBlocksInSourceOrder)
{
    const auto r = Compile({"PROCEDURE Flash", "IFCARY INLINE flash", "IFA=0 INLINE WRP1 3",
                            "IFBIT P1.0 INLINE SETBIT P3.1", "ENDPROC"});
    EXPECT_EQ(r.InlineBox, (Lines{"INLINE 1", "Call FLASH", "INLINEEND", "INLINE 2", "Mov P1,#003", "INLINEEND",
                                  "INLINE 3", "Setb P3.1", "INLINEEND"}));
    EXPECT_EQ(r.Output, (Lines{"FLASH:", "JnC PRS0001", "Call FLASH", "PRS0001:", "JnZ PRS0002", "Mov P1,#003",
                               "PRS0002:", "JnB P1.0,PRS0003", "Setb P3.1", "PRS0003:", "Ret"}));
}

TEST(Driver, LabelsOfInlineBlocksStayUnique)
{
    const auto r = Compile({"IFA=0 INLINE IFCARY DONE", "IFA>0 DONE"});
    EXPECT_EQ(r.InlineBox, (Lines{"INLINE 1", "JnC PRS0001", "Call DONE", "PRS0001:", "INLINEEND"}));
    EXPECT_EQ(r.Output, (Lines{"JnZ PRS0002", "JnC PRS0001", "Call DONE", "PRS0001:", "PRS0002:", "JZ PRS0003",
                               "Call DONE", "PRS0003:"}));
}

TEST(Driver, InlinePassKeepsDefinitionsButDropsErrors)
{
    const auto r = Compile({"NOP", "IFA=0 INLINE WRMEM 1010B", "IFCARY INLINE DEFINE X 5"});
    EXPECT_EQ(r.InlineBox, (Lines{"INLINE 1", "ERORR - binary value", "INLINEEND", "INLINE 2", "X EQU 005",
                                  "INLINEEND"}));
    EXPECT_TRUE(r.ErBox.empty());
    EXPECT_EQ(r.Definebox, (Lines{"0 X"}));  // the inline pass has no line index
}

TEST(Driver, InlineActionWithoutBlockAddsNothing)
{
    EXPECT_EQ(Output({"IFA=0 NOP", "IFCARY INLINE"}),
              (Lines{"JnZ PRS0001", "Call NOP", "PRS0001:", "JnC PRS0002", "PRS0002:"}));
    // The main pass takes block n for its n-th INLINE action.
    EXPECT_EQ(Output({"IFCARY INLINE A 1", "IFA=0 INLINE A 2"}),
              (Lines{"JnC PRS0001", "Mov A,#001", "PRS0001:", "JnZ PRS0002", "Mov A,#002", "PRS0002:"}));
}

TEST(Driver, ExitLabelsPerProcedure)
{
    const auto r = Compile({"PROCEDURE P", "IFA=0 EXITPROC", "IFCARY exitproc", "ENDPROC", "PROCEDURE Q",
                            "IFA>0 EXITPROC", "ENDPROC", "PROCEDURE R", "ENDPROC"});
    EXPECT_EQ(r.Output, (Lines{"P:", "JnZ PRS0001", "JMP EXP0001", "PRS0001:", "JnC PRS0002", "JMP EXP0001",
                               "PRS0002:", "EXP0001:", "Ret", "Q:", "JZ PRS0003", "JMP EXP0002", "PRS0003:",
                               "EXP0002:", "Ret", "R:", "Ret"}));
}

TEST(Driver, CompilingTwiceGivesTheSameOutput)
{
    const Lines source = {"IFA=0 INLINE IFCARY X", "LOOP1 Y", "WHILEA=0", "ENDWHILE", "IFA>0 EXITPROC", "ENDPROC"};
    const auto first = Compile(source);
    const auto second = Compile(source);
    EXPECT_EQ(first.Output, second.Output);
    EXPECT_EQ(first.InlineBox, second.InlineBox);
    EXPECT_EQ(first.Output.front(), "JnZ PRS0002");
    EXPECT_EQ(Output({"IFA=0 X"}).front(), "JnZ PRS0001");
}

TEST(Driver, EmptySource)
{
    const auto r = Compile({});
    EXPECT_TRUE(r.Output.empty());
    EXPECT_TRUE(r.ProcBox.empty());
    EXPECT_TRUE(r.ErBox.empty());
}

TEST(Driver, StreamingGivesTheSameLines)
{
    const Lines source = {"PROCEDURE Blink ; main loop", "", "FOO", "IFA=0 INLINE NOP", "ENDPROC"};
    struct Collect : m51::OutputSink {
        Lines lines;
        std::vector<int> map;
        void Line(std::string_view l, int sourceLine) override
        {
            lines.emplace_back(l);
            map.push_back(sourceLine);
        }
    } sink;
    const std::vector<std::string_view> views(source.begin(), source.end());
    const auto streamed = m51::CompileSource(std::span<const std::string_view>(views), sink);
    const auto kept = Compile(source).full;
    EXPECT_TRUE(streamed.Output.empty());
    EXPECT_TRUE(streamed.LineMap.empty());
    EXPECT_EQ(sink.lines, kept.Output);
    EXPECT_EQ(sink.map, kept.LineMap);
    EXPECT_EQ(streamed.ErBox, kept.ErBox);
    EXPECT_EQ(streamed.ProcBox, kept.ProcBox);
    EXPECT_EQ(streamed.InlineBox, kept.InlineBox);
}
