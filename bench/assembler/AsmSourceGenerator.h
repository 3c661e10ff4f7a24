#pragma once
// Generated 8051 sources with a realistic mix, as m51c and people write them:
// procedures with labels, loops, forward calls and jumps (generic CALL and
// JMP), conditional jumps, a comment on many lines, EQU constants, DB text
// tables, CR LF line ends.
//
// A 64 KB code space holds only about 20,000 such lines, so the source is cut
// into modules of about kModuleLines lines, each placed with ORG 0 like a
// program of its own: later modules overwrite the image of earlier ones, so
// sources of more than one module are assembled with allowOverlap (m51as
// --allow-overlap). Labels are unique throughout. Calls and jumps that may cross a 2 KB page go forward
// or are written LCALL, so that mcu8051ide assembles a single module too.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>

namespace m51bench {

inline constexpr std::size_t kModuleLines = 20000;

inline std::string GenerateAsmSource(std::size_t lines)
{
    constexpr std::size_t kProcedureLines = 24;
    std::string out;
    out.reserve(lines * 26);
    std::size_t written = 0;
    char buffer[160];
    const auto line = [&](const char* format, auto... values) {
        std::snprintf(buffer, sizeof buffer, format, values...);
        out += buffer;
        out += "\r\n";
        ++written;
    };
    line("$MOD51");
    const std::size_t modules = std::max<std::size_t>(1, lines / kModuleLines);
    for (std::size_t m = 0; m < modules; ++m) {
        const std::size_t end = lines * (m + 1) / modules;
        line("ORG 0 ; module %zu, a program of its own", m);
        line("LJMP M%zu_P0", m);
        line("M%zu_TEXT: DB 'A table of text',13,10,0", m);
        for (std::size_t p = 0; written < end; ++p) {
            // One procedure: 24 lines, about 55 bytes of code. The last one of
            // the module calls nothing.
            const bool last = written + 2 * kProcedureLines > end;
            line("M%zu_C%zu EQU %zuH ; constant of procedure %zu", m, p, 10 + p % 80, p);
            line("    ; ---- a procedure: counts, compares and calls the next one ----");
            line("M%zu_P%zu:", m, p);
            line("Mov A,#M%zu_C%zu ; start value", m, p);
            line("Mov 08,#010");
            line("M%zu_LP%zu:", m, p);
            line("mov A,048");
            line("Inc A");
            line("mov 048,A ; count");
            line("DJNZ 08,M%zu_LP%zu", m, p);
            line("CJNE A,#M%zu_C%zu,M%zu_SK%zu", m, p, m, p);
            line("SETB P1.0");
            line("M%zu_SK%zu: XRL A,#0FH", m, p);
            line("JNZ M%zu_EX%zu ; forward, short", m, p);
            line("MOV DPTR,#M%zu_TEXT", m);
            line("MOVC A,@A+DPTR");
            if (last)
                line("NOP");
            else
                line("CALL M%zu_P%zu ; forward", m, p + 1);
            line("M%zu_EX%zu:", m, p);
            line("Push ACC");
            line("ANL A,#HIGH(1234H) OR 30H");
            line("Pop ACC");
            line("JMP M%zu_RT%zu", m, p);
            line("M%zu_T%zu: DB 'procedure %zu',0", m, p, p);
            line("M%zu_RT%zu: Ret", m, p);
            if (last)
                break;
        }
    }
    line("END");
    return out;
}

// A source of `calls` macro calls (a macro of three lines with a LOCAL
// label), in modules of 5,000 calls placed with ORG 0 like the above.
inline std::string GenerateMacroSource(std::size_t calls)
{
    std::string out = "$MOD51\r\nSEND MACRO CH, DEST\r\nLOCAL L\r\nL: MOV A,#CH ; the character\r\n"
                      "MOV DEST,A\r\nENDM\r\n";
    char buffer[96];
    for (std::size_t i = 0; i < calls; ++i) {
        if (i % 5000 == 0)
            out += "ORG 0\r\n";
        std::snprintf(buffer, sizeof buffer, "SEND %zu, %zXH\r\n", 32 + i % 90, 0x30 + i % 64);
        out += buffer;
    }
    out += "END\r\n";
    return out;
}

// The include file of GenerateIncludeSource: five lines, eight bytes of code.
inline constexpr const char* kIncludedPart =
    "; a part of the program\r\nMOV A,#1\r\nADD A,#2\r\nMOV 30H,A\r\nSETB P1.0\r\n";

// A source of `includes` lines $INCLUDE(part.inc), in modules of 2,000.
inline std::string GenerateIncludeSource(std::size_t includes)
{
    std::string out = "$MOD51\r\n";
    for (std::size_t i = 0; i < includes; ++i) {
        if (i % 2000 == 0)
            out += "ORG 0\r\n";
        out += "$INCLUDE(part.inc)\r\n";
    }
    out += "END\r\n";
    return out;
}

} // namespace m51bench
