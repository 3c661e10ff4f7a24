// Conditions and loops.

#include "compiler/tests/TestSupport.h"

#include <gtest/gtest.h>

using m51test::Compile;
using m51test::ExpectTranslations;
using m51test::Lines;
using m51test::Output;

TEST(FlowRules, Conditions)
{
    ExpectTranslations({
        {{"IFA=0 BLINK"}, {"JnZ PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFA>0 BLINK"}, {"JZ PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFA=B BLINK"}, {"XRL A,B", "JnZ PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFA= 10 BLINK"}, {"XRL A,#010", "JnZ PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFA<B BLINK"}, {"CLR C", "SUBB A,B", "JNC PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFA< 0AH BLINK"}, {"CLR C", "SUBB A,#00AH", "JNC PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFA>=B BLINK"}, {"CLR C", "SUBB A,B", "JC PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFA>= 200 BLINK"}, {"CLR C", "SUBB A,#200", "JC PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFA<>B BLINK"}, {"XRL A,B", "JZ PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFA<> 1 BLINK"}, {"XRL A,#001", "JZ PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFBIT P1.0 BLINK"}, {"JnB P1.0,PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFNOTBIT 20H BLINK"}, {"JB 020H,PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFCARY BLINK"}, {"JnC PRS0001", "Call BLINK", "PRS0001:"}},
        {{"IFNOTCARY BLINK"}, {"JC PRS0001", "Call BLINK", "PRS0001:"}},
        // Missing operands leave their places empty; a missing action calls nothing.
        {{"IFA<"}, {"CLR C", "SUBB A,#", "JNC PRS0001", "Call ", "PRS0001:"}},
        {{"IFA=0"}, {"JnZ PRS0001", "Call ", "PRS0001:"}},
        // The operand must be a word of its own.
        {{"IFA=10 BLINK"}, {" "}},
        // The action word is called as written.
        {{"IFA=0 blink"}, {"JnZ PRS0001", "Call blink", "PRS0001:"}},
        {{"IFA=0 A", "IFA>0 B"}, {"JnZ PRS0001", "Call A", "PRS0001:", "JZ PRS0002", "Call B", "PRS0002:"}},
        {{"IFBIT P1.0 INLINE SETBIT P3.1"}, {"JnB P1.0,PRS0001", "Setb P3.1", "PRS0001:"}},
        {{"IFA= 10 INLINE WRP1 5"}, {"XRL A,#010", "JnZ PRS0001", "Mov P1,#005", "PRS0001:"}},
    });
}

TEST(FlowRules, BufferLoadPrefix)
{
    ExpectTranslations({
        {{"3@IFA>=B LEDON"}, {"MOV A,12h", "CLR C", "SUBB A,B", "JC PRS0001", "Call LEDON", "PRS0001:"}},
        {{"1@IFA=0 X"}, {"MOV A,10h", "JnZ PRS0001", "Call X", "PRS0001:"}},
        {{"9@IFA=B X"}, {"MOV A,18h", "XRL A,B", "JnZ PRS0001", "Call X", "PRS0001:"}},
        {{"9@IFCARY X"}, {" "}},  // the prefix belongs to the accumulator conditions
        // An invalid digit keeps the last buffer (none yet: empty).
        {{"0@IFA=0 X"}, {"MOV A,", "JnZ PRS0001", "Call X", "PRS0001:"}},
        {{"WRBUFFER4", "X@IFA>0 Y"}, {"MOV 13h,A", "MOV A,13h", "JZ PRS0001", "Call Y", "PRS0001:"}},
        // A prefix before no condition still loads A; the line stays untranslated.
        {{"2@IFAX Y"}, {"MOV A,11h", " "}},
    });
    EXPECT_EQ(Compile({"2@IFAX Y"}).ErBox, (Lines{"0 2@IFAX Y"}));
}

TEST(FlowRules, CompareAndJump)
{
    ExpectTranslations({
        // The jump tests the byte, loaded into A after the exclusive-or.
        {{"IF 30H=5 DONE"}, {"Xrl 30H,#5", "Mov A,30H", "JZ DONE"}},
        {{"IF X==Y Z"}, {"Xrl X,#Y", "Mov A,X", "JZ Z"}},
        {{"IF"}, {"Xrl ,#", "Mov A,", "JZ "}},
    });
}

TEST(FlowRules, CountedLoops)
{
    ExpectTranslations({
        {{"LOOP2 FLASH"}, {"LP0001:", "CALL FLASH", "DJNZ 09,LP0001"}},
        {{"COUNT8 3", "LOOP8 FLASH"}, {"Mov 0Fh,#003", "LP0001:", "CALL FLASH", "DJNZ 0Fh,LP0001"}},
        // No valid count register chosen yet.
        {{"LOOP9 X"}, {"LP0001:", "CALL X", "DJNZ ,LP0001"}},
        {{"LOOP3 A", "LOOP9 X"}, {"LP0001:", "CALL A", "DJNZ 0Ah,LP0001", "LP0002:", "CALL X", "DJNZ 0Ah,LP0002"}},
        // EXITPROC is no action word here; the line mention appends the exit label.
        {{"LOOP1 EXITPROC"}, {"LP0001: EXP0001", "CALL EXITPROC", "DJNZ 08,LP0001"}},
        {{"LOOP1 INLINE A+1"}, {"LP0001:", "Inc A", "DJNZ 08,LP0001"}},
    });
}

TEST(FlowRules, BitWaits)
{
    ExpectTranslations({
        {{"LOOPWHILEBIT P1.0"}, {"JB P1.0,$"}},
        {{"LOOPWHILENOTBIT 7"}, {"JNB 007,$"}},
        // The loop counter advanced for the bit wait too.
        {{"LOOPWHILEBIT P1.0", "LOOP1 X"}, {"JB P1.0,$", "LP0002:", "CALL X", "DJNZ 08,LP0002"}},
        // ... and so did the inline counter: the next INLINE action takes block 2.
        {{"LOOPWHILEBIT INLINE NOP", "IFCARY INLINE A 1"}, {"JB INLINE,$", "JnC PRS0001", "Mov A,#001", "PRS0001:"}},
    });
}

TEST(FlowRules, WhileLoops)
{
    ExpectTranslations({
        {{"WHILEBIT P3.2", "ENDWHILE"}, {"Whi0001:", "JNB P3.2,EnW0001", "JMP Whi0001", "EnW0001:"}},
        {{"WHILENOTBIT 5"}, {"Whi0001:", "JB 005,EnW0001"}},
        {{"WHILEA=0"}, {"Whi0001:", "JNZ EnW0001"}},
        {{"WHILEA>0 X"}, {"Whi0001:", "JZ XEnW0001"}},
        {{"ENDWHILE"}, {"JMP Whi0000", "EnW0000:"}},
        // No nesting: both ENDWHILEs close the inner loop.
        {{"WHILEA=0", "WHILEA>0", "ENDWHILE", "ENDWHILE"},
         {"Whi0001:", "JNZ EnW0001", "Whi0002:", "JZ EnW0002", "JMP Whi0002", "EnW0002:", "JMP Whi0002", "EnW0002:"}},
    });
}

TEST(FlowRules, JumpsAndCalls)
{
    ExpectTranslations({
        {{"JUMP Top"}, {"Jmp Top"}},
        {{"SKIP Sub"}, {"Call Sub"}},
        {{"NEXTLOOP LP0001"}, {"JMP LP0001"}},
        {{"DJNZ R2,TOP"}, {"DJNZ R2,TOP  "}},
        {{"DJNZ a b c d"}, {"DJNZ a b c"}},
    });
}

TEST(FlowRules, LoopNumbersRestartAfterTheInlinePass)
{
    // The inline pass made LP0001 and Whi0001 inside the block; the main pass
    // numbers its loops from 1 again, while PRS labels go on.
    EXPECT_EQ(Output({"IFCARY INLINE LOOP1 X", "LOOP1 Y"}),
              (Lines{"JnC PRS0001", "LP0001:", "CALL X", "DJNZ 08,LP0001", "PRS0001:", "LP0001:", "CALL Y",
                     "DJNZ 08,LP0001"}));
}

// Programs that compile to lines the assembler cannot build are reported at
// Check; their lines stay as the rules make them (WhileLoops above).
TEST(FlowRules, ProgramsThatCannotBuildAreReported)
{
    const struct {
        Lines source;
        Lines errors;
    } cases[] = {
        {{"WHILEA=0", "ENDWHILE"}, {}},
        {{"WHILEA=0"}, {"0 WHILE loop without ENDWHILE"}},
        {{"NOP", "WHILEBIT P1.0", "NOP"}, {"1 WHILE loop without ENDWHILE"}},
        {{"ENDWHILE"}, {"0 ENDWHILE without an open WHILE loop"}},
        {{"WHILEA=0", "ENDWHILE", "ENDWHILE"}, {"2 ENDWHILE without an open WHILE loop"}},
        // Nested: the second ENDWHILE repeats the inner end, the outer never ends.
        {{"WHILEA=0", "WHILEA>0", "ENDWHILE", "ENDWHILE"},
         {"3 ENDWHILE without an open WHILE loop", "0 WHILE loop without ENDWHILE"}},
        // A WHILE inside an inline block belongs to the inline pass.
        {{"IFA=0 INLINE WHILEA=0"}, {}},
        // Only the exit label came out of the line: no statement made code.
        {{"PROCEDURE X", "3@3@IFA=0 EXITPROC", "ENDPROC"}, {"1 3@3@IFA=0 EXITPROC"}},
        {{"PROCEDURE X", "JUMP EXITPROC", "IFA=0 EXITPROC", "ENDPROC"}, {}},
        // A block cannot hold another INLINE: the inner condition is left out.
        {{"IFA=0 INLINE IFA=0 INLINE A 1"}, {"0 INLINE inside an inline block"}},
        {{"IFA= 5 INLINE IFA= 6 INLINE X"}, {"0 INLINE inside an inline block"}},
        {{"IFA=0 INLINE A 1", "IFA= 5 inline X"}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Compile(c.source).ErBox, c.errors) << ::testing::PrintToString(c.source);

    // The lines are those of the rules, reported or not.
    EXPECT_EQ(Output({"PROCEDURE X", "3@3@IFA=0 EXITPROC", "ENDPROC"}), (Lines{"X:", " EXP0001", "EXP0001:", "Ret"}));
    EXPECT_EQ(Output({"IFA=0 INLINE IFA=0 INLINE A 1"}), (Lines{"JnZ PRS0001", "Mov A,#001", "PRS0001:"}));
}
