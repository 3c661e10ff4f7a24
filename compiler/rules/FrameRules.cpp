// Frame of a program: procedure calls and declarations, listing and processor
// directives, definitions, reset and interrupt vectors, plain assembly and the
// procedure-exit protocol.

#include "compiler/rules/Rules.h"

#include "compiler/Helpers.h"
#include "compiler/MyVision.h"

#include <algorithm>

namespace m51::rules {

using namespace MyVision;

namespace {

// Rule 1 compares UpperText(w1) with the name fields; both passes already hand
// w1 in capitals, so the copy is made only for a caller that does not.
std::int64_t ProcedureEntriesNamed(const CompileContext& c)
{
    const std::string& w1 = c.W(1);
    for (char ch : w1)
        if (UpperChar(ch) != ch)
            return c.ProcBox.CountNamed(UpperText(w1));
    return c.ProcBox.CountNamed(w1);
}

} // namespace

bool IsProcedureName(const CompileContext& c)
{
    return ProcedureEntriesNamed(c) > 0;
}

// NAME [argument]: a call, the argument passed in A. A name declared twice
// resolves once per declaration, so an argument call then adds two Call lines
// (at most kMaxRepeats, fewer once the compile has written kMaxRepeatsPerCompile
// such lines, and an error entry for the rest).
void CallProcedure(CompileContext& c, const Rule&)
{
    const std::int64_t entries = ProcedureEntriesNamed(c);
    if (c.W(2).empty()) {
        c.MainLine = "Call " + c.W(1);
        return;
    }
    c.MainLine = "Mov A,#" + NormalizeNumber(c.W(2));
    std::int64_t written = entries;
    if (entries > 1) {
        written = std::max<std::int64_t>(1, std::min({entries, kMaxRepeats, kMaxRepeatsPerCompile - c.RepeatedCalls}));
        c.RepeatedCalls += written;
    }
    for (std::int64_t i = 0; i < written; ++i)
        c.LB.push_back("Call " + c.W(1));
    if (entries > written)
        c.AddError(c.SourceLine, ErrorKind::MoreDuplicates,
                   "... and " + std::to_string(entries - written) + " more calls of " + c.W(1));
}

void DefineBit(CompileContext& c, const Rule&)
{
    c.MainLine = c.W(2) + " BIT " + NormalizeNumber(c.W(3));
    c.Definitions.push_back({c.SourceLine, c.W(2), c.W(3), true});
}

void Define(CompileContext& c, const Rule&)
{
    c.MainLine = c.W(2) + " EQU " + NormalizeNumber(c.W(3));
    c.Definebox.push_back({c.SourceLine, std::to_string(c.LineIndex) + " " + c.W(2)});
    c.DefinedNames.push_back(c.W(2));
    c.Definitions.push_back({c.SourceLine, c.W(2), c.W(3), false});
}

// STARTPROC main: the reset vector jumping to the main procedure.
void StartProc(CompileContext& c, const Rule&)
{
    c.MainLine = "ORG 00H";
    c.LB.push_back("JMP " + c.W(2));
}

void ProcedureLabel(CompileContext& c, const Rule&)
{
    c.MainLine = UpperText(c.W(2)) + ":";
}

bool IsAsmLine(const CompileContext& c)
{
    return Chars(c.W(1), 1, 4) == "ASM:";
}

// ASM: text — copied unchanged from character 5 of the statement's cleaned
// line, at most 200 characters, including the blank after the colon. Inside an
// inline block ("IFCARY INLINE ASM: CPL P1.0") the statement starts after the
// INLINE keyword, so the block holds " CPL P1.0".
void AsmLine(CompileContext& c, const Rule&)
{
    const std::string_view line(c.CleanedLine);
    c.MainLine = Chars(line.substr(std::min(c.StatementStart, line.size())), 5, 204);
}

void EndProc(CompileContext& c, const Rule&)
{
    if (c.ExitPending) {
        c.MainLine = "EXP" + LabelDigits(c.ExitCounter) + ":";
        c.LB.emplace_back("Ret");
        c.ExitPending = false;
    } else {
        c.MainLine = "Ret";
    }
}

// TIMER0 handler | DISABLE: the vector address, a jump to the handler or an
// immediate return, and a separator comment.
void InterruptVector(CompileContext& c, const Rule& rule)
{
    c.MainLine = rule.text;
    if (EqualsUpper(c.W(2), "DISABLE"))
        c.LB.emplace_back("RETI");
    else
        c.LB.push_back("JMP " + c.W(2));
    c.LB.emplace_back(";-------------");
}

// Rule 42 looks for EXITPROC anywhere in the line (also inside a longer word)
// unless an action word of this line already made the exit jump.
bool MentionsUntakenExit(const CompileContext& c)
{
    if (c.ExitTaken)
        return false;
    static constexpr std::string_view kWord = "EXITPROC";
    const std::string& line = c.CleanedLine;
    if (line.size() < kWord.size())
        return false;
    for (std::size_t i = 0; i + kWord.size() <= line.size(); ++i) {
        if (UpperChar(line[i]) != 'E')
            continue;
        if (EqualsUpper(std::string_view(line).substr(i, kWord.size()), kWord))
            return true;
    }
    return false;
}

void ExitMention(CompileContext& c, const Rule&)
{
    if (!c.ExitPending)
        ++c.ExitCounter;
    c.ExitLabelOnly = c.MainLine.empty();
    c.MainLine += " EXP" + LabelDigits(c.ExitCounter);
    c.ExitPending = true;
}

} // namespace m51::rules
