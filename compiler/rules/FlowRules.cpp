// Conditions and loops: one-statement conditions with an action word, the
// buffer-load prefix, compare-and-jump, counted loops, bit waits, WHILE loops.

#include "compiler/rules/Rules.h"

#include "compiler/Helpers.h"
#include "compiler/MyVision.h"

#include <algorithm>

namespace m51::rules {

using namespace MyVision;

namespace {

// How a condition keyword is translated. The jump is taken when the condition
// does not hold, skipping the action.
struct ConditionForm {
    std::string_view keyword;
    std::string_view carryLine;    // "CLR C" before a subtraction, or empty
    std::string_view compareLine;  // the comparing instruction, or empty
    bool compareWithValue;         // compareLine + N(w2)
    std::string_view jump;
    bool jumpOnBit;                // jump + N(w2) + ","
    int actionSlot;                // the word that holds the action
};

constexpr ConditionForm kConditions[] = {
    {"IFA=0", {}, {}, false, "JnZ ", false, 2},
    {"IFA>0", {}, {}, false, "JZ ", false, 2},
    {"IFA=B", {}, "XRL A,B", false, "JnZ ", false, 2},
    {"IFA=", {}, "XRL A,#", true, "JnZ ", false, 3},
    {"IFA<B", "CLR C", "SUBB A,B", false, "JNC ", false, 2},
    {"IFA<", "CLR C", "SUBB A,#", true, "JNC ", false, 3},
    {"IFA>=B", "CLR C", "SUBB A,B", false, "JC ", false, 2},
    {"IFA>=", "CLR C", "SUBB A,#", true, "JC ", false, 3},
    {"IFA<>B", {}, "XRL A,B", false, "JZ ", false, 2},
    {"IFA<>", {}, "XRL A,#", true, "JZ ", false, 3},
    {"IFBIT", {}, {}, false, "JnB ", true, 3},
    {"IFNOTBIT", {}, {}, false, "JB ", true, 3},
    {"IFCARY", {}, {}, false, "JnC ", false, 2},
    {"IFNOTCARY", {}, {}, false, "JC ", false, 2},
};

} // namespace

bool StartsLoop(const CompileContext& c)
{
    return Chars(c.W(1), 1, 4) == "LOOP";
}

// LOOPn NAME | LOOPn INLINE statement: "LP" label, the call (or the next inline
// block), then DJNZ on the bank-1 register chosen by digit n (COUNTn loads it).
// Also fires for LOOPWHILEBIT/LOOPWHILENOTBIT, whose lines rule 27 discards.
void CountedLoop(CompileContext& c, const Rule&)
{
    ++c.LoopCounter;
    const std::string d = LabelDigits(c.LoopCounter);
    ChooseCountRegister(c, DigitAt(c.W(1), 5));
    c.MainLine = "LP" + d + ":";
    if (!EqualsUpper(c.W(2), "INLINE"))
        c.LB.push_back("CALL " + c.W(2));
    else
        EmitAction(c, 2);
    c.LB.push_back("DJNZ " + c.CountRegister + ",LP" + d);
}

// n@IFA...: the condition first loads A from buffer n.
bool HasBufferPrefix(const CompileContext& c)
{
    return Chars(c.W(1), 2, 5) == "@IFA";
}

// Shortens w1 in place ("3@IFA>=B" becomes "IFA>=B") so that the condition
// rules after this one see the plain keyword.
void BufferPrefix(CompileContext& c, const Rule&)
{
    ChooseBufferRegister(c, DigitAt(c.W(1), 1));
    c.LoadLine = "MOV A," + c.BufferRegister;
    c.StatementWords[0].erase(0, 2);
}

void Condition(CompileContext& c, const Rule&)
{
    for (const ConditionForm& form : kConditions) {
        if (c.W(1) != form.keyword)
            continue;
        if (!form.carryLine.empty())
            c.CarryLine = form.carryLine;
        if (!form.compareLine.empty()) {
            c.CompareLine = form.compareLine;
            if (form.compareWithValue)
                c.CompareLine += NormalizeNumber(c.W(2));
        }
        c.MainLine = form.jump;
        if (form.jumpOnBit)
            c.MainLine += NormalizeNumber(c.W(2)) + ",";
        c.MainLine += NextLabel(1, c);
        EmitAction(c, form.actionSlot);
        c.LB.push_back(NextLabel(0, c) + ":");
        return;
    }
}

// LOOPWHILEBIT bit: wait on the spot while the bit is set (JB) or clear (JNB).
void BitWait(CompileContext& c, const Rule& rule)
{
    c.MainLine = std::string(rule.text) + NormalizeNumber(c.W(2)) + ",$";
    c.LB.clear();
}

void WhileBit(CompileContext& c, const Rule& rule)
{
    ++c.WhileCounter;
    const std::string d = LabelDigits(c.WhileCounter);
    c.MainLine = "Whi" + d + ":";
    c.LB.push_back(std::string(rule.text) + NormalizeNumber(c.W(2)) + ",EnW" + d);
    c.OpenWhileLoops.emplace_back(c.WhileCounter, c.SourceLine);
}

// WHILEA=0 / WHILEA>0 take no operand; a word given anyway stands verbatim
// between the jump and the label.
void WhileAccumulator(CompileContext& c, const Rule& rule)
{
    ++c.WhileCounter;
    const std::string d = LabelDigits(c.WhileCounter);
    c.MainLine = "Whi" + d + ":";
    c.LB.push_back(std::string(rule.text) + c.W(2) + "EnW" + d);
    c.OpenWhileLoops.emplace_back(c.WhileCounter, c.SourceLine);
}

// ENDWHILE closes the most recently opened WHILE number (loops do not nest).
// One with no open loop of that number repeats a jump and a label the
// assembler rejects, so Check reports it; the lines stay as they are.
void EndWhile(CompileContext& c, const Rule&)
{
    const std::string d = LabelDigits(c.WhileCounter);
    c.MainLine = "JMP Whi" + d;
    c.LB.push_back("EnW" + d + ":");
    auto& open = c.OpenWhileLoops;
    const auto loop = std::find_if(open.begin(), open.end(), [&c](const auto& l) { return l.first == c.WhileCounter; });
    if (loop != open.end())
        open.erase(loop);
    else
        c.AddError(c.SourceLine, ErrorKind::EndwhileWithoutWhile, "ENDWHILE without an open WHILE loop");
}

void Djnz(CompileContext& c, const Rule&)
{
    c.MainLine = "DJNZ " + c.W(2) + " " + c.W(3) + " " + c.W(4);
}

// IF address=value target: exclusive-or the byte with the value (the result
// stays in the byte) and jump when it became zero. JZ tests the accumulator,
// so the byte is loaded into A first; without that the jump would depend on
// whatever A held.
void CompareJump(CompileContext& c, const Rule&)
{
    const std::string address(ExtractFieldView('=', c.W(2), 1));
    c.MainLine = "Xrl " + address + ",#" + std::string(ExtractFieldView('=', c.W(2), 2));
    c.LB.push_back("Mov A," + address);
    c.LB.push_back("JZ " + c.W(3));
}

} // namespace m51::rules
