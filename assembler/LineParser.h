#pragma once
// The parser of one line, shared by the files that parse its parts: the
// statements common to every dialect (Parser.cpp), the directives and
// instructions (Directives.cpp) and the dialects' own directives
// (DialectDirectives.cpp). Internal to the assembler library.

#include "assembler/Context.h"

#include <string_view>

namespace m51asm {

// Keywords at the start of a statement: the mnemonics, then the directives.
enum : int { kDirectiveBase = 100 };

constexpr int D(Kind k) { return kDirectiveBase + static_cast<int>(k); }

// The keyword id of a word (Mnemonic, or kDirectiveBase + Kind), or -1.
int FindKeyword(std::string_view word);
// EQU, SET, BIT, DATA ...: a directive written after the name it defines.
bool IsNameDirective(int id);
// The absolute segment directive of a segment ("CSEG"), and the kind of a
// label in it.
const char* SegmentName(Segment s);
SymbolKind SegmentKind(Segment s);

class LineParser {
public:
    explicit LineParser(Context& ctx) : m_ctx(ctx) {}

    // Returns false after END.
    bool Parse(std::string_view code, std::int32_t lineNo);

private:
    void Relocatable(const char* word);
    // CSEG, DSEG ... with an optional AT address.
    void SegmentSwitch(Statement& st, std::string_view word, std::string_view rest);
    static std::size_t SkipBlanks(std::string_view s, std::size_t p);
    // The identifier at p (blanks skipped), p moved behind it.
    static std::string_view Word(std::string_view s, std::size_t& p);
    bool Push(Statement& st);
    // Follows the location counter while it is fixed: a label gets its
    // address now, so IF and EQU lines below it can use it.
    void Track(const Statement& st);
    // An as31 directive: .org, .equ NAME, VALUE, .db/.byte, .dw/.word, .skip,
    // .flag NAME, BIT, .end (which as31 reads on after).
    bool DotDirective(Statement& st, std::string_view text);
    // Keil's C header declarations: sfr NAME = address, sfr16 NAME = address,
    // sbit NAME = byte ^ bit.
    bool Declaration(Statement& st, std::string_view word, std::string_view text);
    // An as31 string: backslash escapes decoded, kept with its quote
    // written twice where it stands in the text, as the code pass reads it.
    bool EscapedString(std::string_view op, std::string_view& inner, std::size_t& length);
    // Claims `name` for a definition on this line; -1 (reported) when taken.
    std::int32_t Claim(std::string_view name, bool redefinable);
    static bool OperatorName(std::string_view n);
    std::int32_t DefineLabel(std::string_view name);
    bool NameDefinition(Statement& st, std::string_view name, Kind kind, std::string_view rest);
    void Instruction(Statement& st, Mnemonic m, std::string_view rest);
    void BadOperands(Mnemonic m, std::size_t count, std::string_view rest);
    void Directive(Statement& st, Kind kind, std::string_view word, std::string_view rest);

    // Modules (ModuleDirectives.cpp): NAME SEGMENT TYPE [FLAGS], and RSEG,
    // PUBLIC, EXTRN (EXTERN), NAME.
    bool SegmentDeclaration(Statement& st, std::string_view name, std::string_view rest);
    bool ModuleDirective(Statement& st, std::string_view word, std::string_view rest);

    Context& m_ctx;
    std::int32_t m_lineNo = 0;
    std::vector<std::string_view>& m_texts = m_ctx.operandTexts;
};

} // namespace m51asm
