#pragma once
// The assembly dialects m51as reads, and what sets them apart, kept in one
// table: a dialect is a row of switches that the reader, the parser and the
// expression scanner consult, never a separate assembler. What all of them
// share (the instruction set, ";" comments, "name:" labels, the 8051 and 8052
// register names) is not in the table.

#include <cstdint>
#include <string_view>

namespace m51asm {

enum class Dialect : std::uint8_t {
    Auto,   // as31 when the source plainly is (dot directives), else Asm51
    Asm51,  // Intel ASM51, Metalink ASM51, ASEM-51
    Keil,   // Keil A51
    As31,   // as31, the assembler of the Linux distributions
};

struct DialectRules {
    const char* name;
    // 0x1F and 0b101 besides the suffixed forms (1FH, 101B).
    bool cPrefixes;
    // A suffix H after a 0x prefix ("0x1fh"): as31 takes both.
    bool prefixAndSuffix;
    // \n, \t, \', \" ... inside quotes; a quote is not written twice.
    bool backslashEscapes;
    // .org, .equ, .db ... directives.
    bool dotDirectives;
    // #include, #define, #if ... lines and // comments on them.
    bool cPreprocessor;
    // sfr NAME = addr, sbit NAME = byte ^ bit (the C header declarations).
    bool cDeclarations;
    // Operators are the symbols + - * / % & | with & and | binding tighter
    // than * / %, and * stands for the location counter where a value is
    // expected; no operator words (MOD, AND, HIGH ...), so those are names.
    bool symbolOperators;
    // A generic JMP or CALL becomes the shortest form that reaches, forward
    // as well as backward; otherwise a target further down gets LJMP/LCALL.
    bool shortestJumps;
};

const DialectRules& RulesOf(Dialect dialect);

// The dialect an Auto source is read in.
Dialect DetectDialect(std::string_view source);

// The dialect of a name as the command line and project files write it
// ("asm51", "keil", "as31", "auto"); false for any other name.
bool DialectFromName(std::string_view name, Dialect& dialect);

} // namespace m51asm
