#pragma once
// The M51 language in one place: its keywords with the family the editor
// colours them by and the kind of operand they take, the statement tips (each
// statement's example form and the assembly it gives, as the help shows them),
// the words of a statement, and the scanner for the names a source declares
// (PROCEDURE, DEFINE, DEFINEBIT). The compiler's rule chain, the editor's
// colouring, completion and tips, and the debugger all read the language here.
// Text is code page 1250 bytes; keywords are in capitals.

#include "compiler/MyVision.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace m51::language {

// The family a keyword is coloured by.
enum class Family : std::uint8_t {
    Structure,  // program frame, procedures, definitions, interrupt vectors
    Flow,       // conditions, loops, jumps
    Data,       // moves between A, B, ports, memory, stack
    Operation,  // arithmetic, logic and bit statements
};

// What follows a statement's keyword.
enum class Operand : std::uint8_t {
    None,           // nothing: the statement stands alone
    ProcedureName,  // a procedure's name (or DISABLE for an interrupt vector)
    Other,          // values, addresses, bits, names or an action
};

// Where a keyword stands in a line.
enum class Role : std::uint8_t {
    Statement,  // the first word of a statement
    Operand,    // an operand word with a meaning of its own (EXITPROC, INLINE, DISABLE)
    BlockEnd,   // the line that closes an INLINE block
};

struct Keyword {
    std::string_view word;
    Family family;
    Operand operand;
    Role role;
};

// Every keyword spelled out in full, sorted by its bytes. The numbered ones
// (COUNTn, LOOPn, WRCOUNTn, RDCOUNTn, WRBUFFERn) are found by FindKeyword.
inline constexpr Keyword kKeywords[] = {
    {"*B", Family::Operation, Operand::None, Role::Statement},
    {"+", Family::Operation, Operand::Other, Role::Statement},
    {"+@R0", Family::Operation, Operand::None, Role::Statement},
    {"+@R1", Family::Operation, Operand::None, Role::Statement},
    {"+ADR", Family::Operation, Operand::Other, Role::Statement},
    {"-", Family::Operation, Operand::Other, Role::Statement},
    {"-@R0", Family::Operation, Operand::None, Role::Statement},
    {"-@R1", Family::Operation, Operand::None, Role::Statement},
    {"-ADR", Family::Operation, Operand::Other, Role::Statement},
    {"/B", Family::Operation, Operand::None, Role::Statement},
    {"A", Family::Data, Operand::Other, Role::Statement},
    {"A+1", Family::Operation, Operand::None, Role::Statement},
    {"A+C+", Family::Operation, Operand::Other, Role::Statement},
    {"A+C+ADR", Family::Operation, Operand::Other, Role::Statement},
    {"A+C+B", Family::Operation, Operand::None, Role::Statement},
    {"A-1", Family::Operation, Operand::None, Role::Statement},
    {"AND", Family::Operation, Operand::Other, Role::Statement},
    {"B", Family::Data, Operand::Other, Role::Statement},
    {"B+1", Family::Operation, Operand::None, Role::Statement},
    {"B-1", Family::Operation, Operand::None, Role::Statement},
    {"BEGIN", Family::Structure, Operand::None, Role::Statement},
    {"CLEARBIT", Family::Operation, Operand::Other, Role::Statement},
    {"CLEAR_A", Family::Operation, Operand::None, Role::Statement},
    {"CLEAR_C", Family::Operation, Operand::None, Role::Statement},
    {"DA", Family::Operation, Operand::None, Role::Statement},
    {"DECADR", Family::Operation, Operand::Other, Role::Statement},
    {"DEFINE", Family::Structure, Operand::Other, Role::Statement},
    {"DEFINEBIT", Family::Structure, Operand::Other, Role::Statement},
    {"DISABLE", Family::Structure, Operand::None, Role::Operand},
    {"DJNZ", Family::Flow, Operand::Other, Role::Statement},
    {"DPTR", Family::Data, Operand::Other, Role::Statement},
    {"END", Family::Structure, Operand::None, Role::Statement},
    {"ENDINTERRUPT", Family::Structure, Operand::None, Role::Statement},
    {"ENDPROC", Family::Structure, Operand::None, Role::Statement},
    {"ENDWHILE", Family::Flow, Operand::None, Role::Statement},
    {"EXITPROC", Family::Structure, Operand::None, Role::Operand},
    {"EXTER0", Family::Structure, Operand::ProcedureName, Role::Statement},
    {"EXTER1", Family::Structure, Operand::ProcedureName, Role::Statement},
    {"IF", Family::Flow, Operand::Other, Role::Statement},
    {"IFA<", Family::Flow, Operand::Other, Role::Statement},
    {"IFA<>", Family::Flow, Operand::Other, Role::Statement},
    {"IFA<>B", Family::Flow, Operand::Other, Role::Statement},
    {"IFA<B", Family::Flow, Operand::Other, Role::Statement},
    {"IFA=", Family::Flow, Operand::Other, Role::Statement},
    {"IFA=0", Family::Flow, Operand::Other, Role::Statement},
    {"IFA=B", Family::Flow, Operand::Other, Role::Statement},
    {"IFA>0", Family::Flow, Operand::Other, Role::Statement},
    {"IFA>=", Family::Flow, Operand::Other, Role::Statement},
    {"IFA>=B", Family::Flow, Operand::Other, Role::Statement},
    {"IFBIT", Family::Flow, Operand::Other, Role::Statement},
    {"IFCARY", Family::Flow, Operand::Other, Role::Statement},
    {"IFNOTBIT", Family::Flow, Operand::Other, Role::Statement},
    {"IFNOTCARY", Family::Flow, Operand::Other, Role::Statement},
    {"INCADR", Family::Operation, Operand::Other, Role::Statement},
    {"INCDPTR", Family::Data, Operand::None, Role::Statement},
    {"INLINE", Family::Structure, Operand::None, Role::Operand},
    {"INLINEEND", Family::Structure, Operand::None, Role::BlockEnd},
    {"JUMP", Family::Flow, Operand::Other, Role::Statement},
    {"LOOPWHILEBIT", Family::Flow, Operand::Other, Role::Statement},
    {"LOOPWHILENOTBIT", Family::Flow, Operand::Other, Role::Statement},
    {"NEXTLOOP", Family::Flow, Operand::Other, Role::Statement},
    {"NOP", Family::Operation, Operand::None, Role::Statement},
    {"NOT", Family::Operation, Operand::None, Role::Statement},
    {"NOTBIT", Family::Operation, Operand::Other, Role::Statement},
    {"OR", Family::Operation, Operand::Other, Role::Statement},
    {"POP", Family::Data, Operand::Other, Role::Statement},
    {"PROCEDURE", Family::Structure, Operand::ProcedureName, Role::Statement},
    {"PROCESOR", Family::Structure, Operand::Other, Role::Statement},
    {"PUSH", Family::Data, Operand::Other, Role::Statement},
    {"RDADR", Family::Data, Operand::Other, Role::Statement},
    {"RDADR@R0", Family::Data, Operand::None, Role::Statement},
    {"RDADR@R1", Family::Data, Operand::None, Role::Statement},
    {"RDB", Family::Data, Operand::None, Role::Statement},
    {"RDMEM", Family::Data, Operand::Other, Role::Statement},
    {"RDP0", Family::Data, Operand::None, Role::Statement},
    {"RDP1", Family::Data, Operand::None, Role::Statement},
    {"RDP2", Family::Data, Operand::None, Role::Statement},
    {"RDP3", Family::Data, Operand::None, Role::Statement},
    {"RDRAM", Family::Data, Operand::None, Role::Statement},
    {"SERIAL", Family::Structure, Operand::ProcedureName, Role::Statement},
    {"SETBIT", Family::Operation, Operand::Other, Role::Statement},
    {"SHIFTLEFT", Family::Operation, Operand::None, Role::Statement},
    {"SHIFTLEFTCARY", Family::Operation, Operand::None, Role::Statement},
    {"SHIFTRIGHT", Family::Operation, Operand::None, Role::Statement},
    {"SHIFTRIGHTCARY", Family::Operation, Operand::None, Role::Statement},
    {"SKIP", Family::Flow, Operand::ProcedureName, Role::Statement},
    {"STARTADRESS", Family::Structure, Operand::Other, Role::Statement},
    {"STARTPROC", Family::Structure, Operand::ProcedureName, Role::Statement},
    {"SWAPAB", Family::Data, Operand::None, Role::Statement},
    {"SWAPNIBLES", Family::Operation, Operand::None, Role::Statement},
    {"TIMER0", Family::Structure, Operand::ProcedureName, Role::Statement},
    {"TIMER1", Family::Structure, Operand::ProcedureName, Role::Statement},
    {"WHILEA=0", Family::Flow, Operand::Other, Role::Statement},
    {"WHILEA>0", Family::Flow, Operand::Other, Role::Statement},
    {"WHILEBIT", Family::Flow, Operand::Other, Role::Statement},
    {"WHILENOTBIT", Family::Flow, Operand::Other, Role::Statement},
    {"WRADR", Family::Data, Operand::Other, Role::Statement},
    {"WRADR@R0", Family::Data, Operand::None, Role::Statement},
    {"WRADR@R1", Family::Data, Operand::None, Role::Statement},
    {"WRB", Family::Data, Operand::Other, Role::Statement},
    {"WRBADR", Family::Data, Operand::Other, Role::Statement},
    {"WRMEM", Family::Data, Operand::Other, Role::Statement},
    {"WRP0", Family::Data, Operand::Other, Role::Statement},
    {"WRP1", Family::Data, Operand::Other, Role::Statement},
    {"WRP2", Family::Data, Operand::Other, Role::Statement},
    {"WRP3", Family::Data, Operand::Other, Role::Statement},
    {"WRRAM", Family::Data, Operand::Other, Role::Statement},
    {"XOR", Family::Operation, Operand::Other, Role::Statement},
};

// The keyword an upper-cased word is: one of kKeywords, or a numbered one
// (its prefix as the word); none for any other word.
constexpr std::optional<Keyword> FindKeyword(std::string_view upperWord)
{
    for (const Keyword& k : kKeywords)
        if (k.word == upperWord)
            return k;
    struct Numbered {
        std::string_view prefix;
        Family family;
        Operand operand;
    };
    constexpr Numbered numbered[] = {
        {"COUNT", Family::Flow, Operand::Other},
        {"LOOP", Family::Flow, Operand::ProcedureName},
        {"WRCOUNT", Family::Data, Operand::None},
        {"RDCOUNT", Family::Data, Operand::None},
        {"WRBUFFER", Family::Data, Operand::Other},
    };
    for (const Numbered& n : numbered) {
        if (upperWord.size() <= n.prefix.size() || upperWord.substr(0, n.prefix.size()) != n.prefix)
            continue;
        bool digits = true;
        for (char c : upperWord.substr(n.prefix.size()))
            digits = digits && c >= '0' && c <= '9';
        if (digits)
            return Keyword{n.prefix, n.family, n.operand, Role::Statement};
    }
    return std::nullopt;
}

// A statement's tip: the form the help shows it in and the assembly it gives
// (lines separated by LF). Keyed by the form's first word, upper-cased.
struct StatementTip {
    std::string_view word;
    std::string_view form;
    std::string_view assembly;
};

// The tips of the statements, one for each word, in the help's order.
std::span<const StatementTip> StatementTips();

// The statement of a line: the text before its first ";", trimmed; runs of
// blanks still separate its words like single blanks.
inline std::string_view StatementOf(std::string_view line)
{
    return MyVision::TrimView(line.substr(0, line.find(';')));
}

// Calls f(k, word) for words k = 1 .. maxWords of a statement: the fields
// between runs of blanks, each trimmed (a tab stays inside its word, but a
// word loses control bytes at its ends). An empty statement has one empty word.
template <class F>
void ForEachWord(std::string_view statement, std::size_t maxWords, F&& f)
{
    std::size_t start = 0;
    for (std::size_t k = 1; k <= maxWords; ++k) {
        const std::size_t blank = statement.find(' ', start);
        const std::size_t end = blank == std::string_view::npos ? statement.size() : blank;
        f(k, MyVision::TrimView(statement.substr(start, end - start)));
        if (blank == std::string_view::npos)
            return;
        start = blank;
        while (start < statement.size() && statement[start] == ' ')
            ++start;
    }
}

// Word k (from 1) of a statement; empty when it has fewer words.
std::string_view WordOf(std::string_view statement, std::size_t k);

// The name a PROCEDURE line declares, as written (empty when the line names
// none); nothing for any other line.
std::optional<std::string_view> DeclaredProcedure(std::string_view line);

// What a DEFINE or DEFINEBIT line declares, as written.
struct Definition {
    std::string_view name;
    std::string_view value;
    bool bit = false;  // DEFINEBIT
};
std::optional<Definition> DeclaredDefinition(std::string_view line);

// The procedure names a source declares, upper-cased, in the order of their
// lines (a name declared twice is listed twice; a PROCEDURE line without a
// name adds none).
std::vector<std::string> ProcedureNames(std::string_view source);

} // namespace m51::language
