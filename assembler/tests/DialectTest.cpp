// The dialects: Keil A51's and as31's number forms, directives, operators and
// jump rule, the C preprocessor lines of Keil sources, the recognition of an
// as31 source, and registers named with EQU, IF on addresses fixed by ORG and
// $ERROR/$WARNING in every dialect.
#include "assembler/Assembler.h"

#include <gtest/gtest.h>

#include <string>

using m51asm::Assemble;
using m51asm::AssembleOptions;
using m51asm::AssembleResult;
using m51asm::Dialect;

namespace {

std::string Errors(const AssembleResult& r)
{
    std::string text;
    for (const auto& e : r.errors)
        text += std::to_string(e.line) + ": " + e.message + "\n";
    return text;
}

std::string HexBytes(const AssembleResult& r)
{
    std::string text;
    char b[4];
    for (std::uint8_t v : r.Binary()) {
        std::snprintf(b, sizeof b, "%02X ", v);
        text += b;
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

AssembleResult In(Dialect d, const std::string& source)
{
    AssembleOptions o;
    o.dialect = d;
    o.readFile = [](const std::string& path, std::string& bytes) {
        if (path != "regs.h")
            return false;
        bytes = "/* a C header\n   of two lines */\n#ifndef REGS_H\n#define REGS_H\nsfr PX = 0x90; // port\n"
                "sbit BX = PX^1;\n#endif\n";
        return true;
    };
    return Assemble(source, o);
}

struct Case {
    Dialect dialect;
    const char* source;
    const char* bytes;  // the binary image from the lowest address written (its start, for a long one)
};

} // namespace

TEST(Dialect, SourcesAssembleToTheImageOfTheirOwnAssembler)
{
    const Case cases[] = {
        // ASM51 keeps its rule: a generic jump further down is long.
        {Dialect::Asm51, "JMP L\nL: NOP\n", "02 00 03 00"},
        // Keil A51: the shortest form that reaches, forward too.
        {Dialect::Keil, "JMP L\nL: NOP\n", "80 00 00"},
        {Dialect::Keil, "CSEG AT 0\njmp Start\nORG 100H\nStart: RET\n", "21 00 FF"},
        {Dialect::Keil, "CALL F\nORG 7FEH\nF: RET\n", "F1 FE FF"},
        {Dialect::Keil, "CALL F\nORG 800H\nF: RET\n", "12 08 00 FF"},
        {Dialect::Keil, "MOV A,#0xC0\nMOV A,#0b101\nMOV A,#0B0H\nMOV A,#101B\n", "74 C0 74 05 74 B0 74 05"},
        {Dialect::Keil, "MOV A,#\"x\"\nDB \"ab\"\n", "74 78 61 62"},
        {Dialect::Keil, "#define LED P1.0\n#ifdef LED\nSETB LED\n#else\nCLR LED\n#endif\n", "D2 90"},
        {Dialect::Keil, "#define V 2\n#if V == 2 && defined(V) && !defined(W)\nNOP\n#elif 1\nRET\n#endif\n", "00"},
        {Dialect::Keil, "#ifndef V\n#if 1\nRET\n#endif\n#endif\n#define N (3+1)\nDB N*2\n", "22 08"},
        // Macros with parameters: arguments with commas in parentheses, ## joining, nested calls, #if.
        {Dialect::Keil, "#define LOAD(r, v) MOV r,#(v)\n#define ADD(a, b) a+b\nLOAD(A, 1)\nLOAD (R7, ADD(1, 2) * 2)\n",
         "74 01 7F 05"},
        {Dialect::Keil, "#define REG(n) R ## n\n#define TWICE(x) x+x\nMOV REG(5),#TWICE(TWICE(2))\n", "7D 08"},
        {Dialect::Keil, "#define SQ(x) ((x)*(x))\n#if SQ(3) == 9 && defined(SQ)\nNOP\n#endif\nSQ:\nDB \"SQ(2)\"\n",
         "00 53 51 28 32 29"},
        {Dialect::Keil, "#define NONE() NOP\nNONE()\n#undef NONE\n#define NONE RET\nNONE\n", "00 22"},
        {Dialect::Keil, "/* MOV A,#1\n   */ NOP // RET\nINC A ; /* */\n", "00 04"},
        {Dialect::Keil, "#include <regs.h>\n#include \"regs.h\"\nSETB BX\nMOV PX,A\n", "D2 91 F5 90"},
        {Dialect::Keil, "L: REPT 2\nNOP\nENDM\nSJMP L\n", "00 00 80 FC"},
        {Dialect::Keil, "$NOMOD51 DEBUG ERRORPRINT\n$SET(SMALL)\n$IF (SMALL)\nNOP\n$ELSE\nRET\n$ENDIF\n", "00"},
        {Dialect::Keil, "USING 2\nPUSH AR7\n", "C0 17"},
        // as31.
        {Dialect::As31, "\t.org 0x10\n\t.equ x, 0x30\n\tmov a, #x\n\t.db 1, \"a\\n\\\"\"\n\t.dw 0x1234\n",
         "74 30 01 61 0A 22 12 34"},
        {Dialect::As31, "\t.byte 5\n\t.skip 2\n\t.word 6\nl:\t.flag f, 0x20.3\n\tsetb f\n\t.end\n\tnop\n",
         "05 FF FF 00 06 D2 03 00"},
        {Dialect::As31, "mov a,#2+3&1\nmov a,#6|1&2\nmov a,#2|4*3\nmov a,#7%4\nmov a,#-2+5\nmov a,#8/2*3\n",
         "74 03 74 02 74 12 74 03 74 03 74 0C"},
        {Dialect::As31, "mov a,#0x1fh\nmov a,#0bh\nmov a,#0b101\nmov a,#010\nmov a,#17o\nmov a,#'\\n'\nmov a,#'\\''\n",
         "74 1F 74 0B 74 05 74 0A 74 0F 74 0A 74 27"},
        {Dialect::As31, "x: sjmp *\nmov dptr,#*\nanl c,!f\nmovc a,@dptr+a\nmovc a,@pc+a\najmp x\n.flag f, 0x20.0\n",
         "80 FE 90 00 02 B0 00 93 83 01 00"},
        {Dialect::As31, "low: nop\nmod: sjmp low\n", "00 80 FD"},
        // Registers named with EQU, wherever the register stands.
        {Dialect::Asm51, "PNTR_L EQU R0\nMOV @PNTR_L,A\nMOV PNTR_L,A\nINC @PNTR_L\nMOV A,@PNTR_L\n", "F6 F8 06 E6"},
        // IF on an address fixed by the ORG above it, and on an EQU of it.
        {Dialect::Asm51, "ORG 8000H\ntr_sub2: NOP\nIF LOW(tr_sub2) NE 0\nDB 1\nELSE\nDB 2\nENDIF\n", "00 02"},
        {Dialect::Asm51, "ORG 10H\nDB 1,2\nDS 3\nL: DW 0\nM EQU L+1\nIF M EQ 16H\nNOP\nENDIF\n", "01 02 FF FF FF 00 00 00"},
    };
    for (const Case& c : cases) {
        const AssembleResult r = In(c.dialect, c.source);
        EXPECT_EQ(Errors(r), "") << c.source;
        EXPECT_EQ(HexBytes(r).substr(0, std::string(c.bytes).size()), c.bytes) << c.source;
    }
}

TEST(Dialect, ProblemsAreReportedOnTheirLines)
{
    struct Problem {
        Dialect dialect;
        const char* source;
        const char* errors;
    };
    const Problem cases[] = {
        {Dialect::Asm51, "MOV A,#0xC0\n", "1: bad number 0xC0\n"},
        {Dialect::Asm51, "NOP\n$ERROR(table too long)\n", "2: table too long\n"},
        {Dialect::Keil, "NOP\n#error no board\n", "2: no board\n"},
        {Dialect::Keil, "#define F(x) x\nDB F(1, 2)\nDB F(3\n#define G(1) 1\n#endif\n",
         "2: F takes 1 argument, not 2\n3: F( needs its arguments closed with )\n"
         "4: #define G(...): a parameter is a name, not '1'\n5: #endif without #if\n"},
        {Dialect::Keil, "#if 1\nNOP\n", "1: #if without #endif before the end of the file\n"},
        {Dialect::As31, ".equ x\n.bogus 1\n", "1: .equ needs a name and a value: .equ NAME, VALUE\n"
                                             "2: unknown directive .bogus (.org, .equ, .db, .byte, .dw, .word, .skip, "
                                             ".flag, .end, .inc)\n"},
        // A jump of a size the passes settle leaves the address after it open.
        {Dialect::Asm51, "ORG 0\nJMP 0\nL: NOP\nIF L EQ 2\nENDIF\n", "4: IF needs a value from names defined above it: L EQ 2\n"},
    };
    for (const Problem& c : cases)
        EXPECT_EQ(Errors(In(c.dialect, c.source)), c.errors) << c.source;

    const AssembleResult r = In(Dialect::Asm51, "NOP\n$WARNING(check the baud rate)\n");
    EXPECT_EQ(Errors(r), "");
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0].line, 2);
    EXPECT_EQ(r.warnings[0].message, "check the baud rate");
}

TEST(Dialect, AnAs31SourceIsRecognisedByItsDirectives)
{
    struct Detect {
        const char* source;
        Dialect dialect;
    };
    const Detect cases[] = {
        {"; monitor\n\t.org 0\n\tnop\n", Dialect::As31},
        {"start:\t.equ x, 1\n", Dialect::As31},
        {"\tMOV C,P1.0\n\tDB '.org'\n; .org\n", Dialect::Asm51},
        {"nop\r\t.db 1\r", Dialect::As31},
    };
    for (const Detect& c : cases)
        EXPECT_EQ(Assemble(c.source).dialect, c.dialect) << c.source;
    Dialect d = Dialect::Auto;
    EXPECT_TRUE(m51asm::DialectFromName("keil", d));
    EXPECT_EQ(d, Dialect::Keil);
    EXPECT_FALSE(m51asm::DialectFromName("tasm", d));
}
