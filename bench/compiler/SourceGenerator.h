#pragma once
// Generated M51 sources with a realistic mix: a procedure every 50 lines, a
// condition with an inline block every 20 lines, comments, and statements of
// every family, a comment on about a third of the lines, written as a file
// would hold them (CR LF line ends).

#include <cstddef>
#include <string>

namespace m51bench {

inline std::string GenerateSource(std::size_t lines)
{
    static const char* const kBody[] = {
        "A 5 ; start value",
        "WRP1",
        "  ; a comment line explaining the next steps",
        "COUNT2 10 ; ten flashes",
        "LOOP2 BLINK",
        "IFA=0 EXITPROC",
        "WRMEM 12 ; save the state",
        "RDMEM 90",
        "WRMEM 100 7 ;far variable",
        "SETBIT P1.0 ; LED on",
        "CLEARBIT LED",
        "AND 0FH ; low nibble",
        "+ B",
        "SHIFTLEFT",
        "WHILEBIT P3.2 ; wait for the key",
        "A+1",
        "ENDWHILE",
        "IFA= 10 DONE",
        "3@IFA>=B LEDON ; above the limit",
        "WRBUFFER3 20",
        "WRTMOD 21H ; timer 1 in mode 2",
        "RDSBUF",
        "PUSH A ; keep A",
        "POP A",
        "DPTR 1234H TABLE ; the table in code memory",
        "WRRAM 7",
        "RDADR@R0",
        "IFBIT P1.1 LEDON ; bit test",
        "LOOPWHILENOTBIT P3.3",
        "ASM: MOV A,@R0",
        "JUMP AGAIN ; once more",
        "DJNZ R2,TOP",
        "IF 30H=5 DONE",
        "DA ; decimal adjust",
        "A+C+ 3",
        "SWAPNIBLES",
        "DEFINE LIMIT 10",
        "DEFINEBIT LED P1.0",
        "NOP",
        "",
        "P1",
        "P2 3 ; call with an argument",
        "FOO unknown statement",
        "INCADR 30H ; count the events",
        "WRADR 40H 1",
        "IFNOTCARY DONE",
        "XOR 1 ; toggle",
    };
    constexpr std::size_t kBodyCount = sizeof kBody / sizeof kBody[0];

    std::string s;
    s.reserve(lines * 20);
    std::size_t body = 0;
    std::size_t procedure = 0;
    for (std::size_t i = 0; i < lines; ++i) {
        const std::size_t inProc = i % 50;
        if (inProc == 0) {
            s += "PROCEDURE P" + std::to_string(procedure++) + " ; procedure head";
        } else if (inProc == 49) {
            s += "ENDPROC";
        } else if (i % 20 == 10) {
            s += (i / 20) % 2 ? "IFA= 5 INLINE WRP1 3 ;inline block" : "IFCARY INLINE SETBIT P3.1";
        } else {
            s += kBody[body++ % kBodyCount];
        }
        s += "\r\n";
    }
    return s;
}

} // namespace m51bench
