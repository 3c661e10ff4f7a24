#pragma once
// One 8051 instruction turned back into assembler text, as the project's
// assembler reads it: "MOV A,#2CH", "SJMP 0105H", "SETB P1.0", "MOV SCON,#50H".
// Jump and call targets are absolute addresses; direct addresses of SFRs and
// their bits are written with the chip's names. An opcode without an
// instruction (0A5H) comes out as "DB 0A5H". Plain C++: m51sim and the
// debugger's window share it. Beside it, what the simulator core decodes
// with each instruction: its length, its machine cycles, a jump's target.

#include "sim/Chip.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace sim {

struct Disassembled {
    std::string text;
    unsigned length = 1;              // 1 to 3 bytes
    std::optional<uint16_t> target;   // where a jump, branch or call goes
};

// Machine cycles of every opcode (the opcode alone decides them).
inline constexpr auto kMachineCycles = [] {
    std::array<uint8_t, 256> t{};
    t.fill(1);
    for (unsigned op : {0x02u, 0x10u, 0x12u, 0x20u, 0x22u, 0x30u, 0x32u, 0x40u, 0x43u, 0x50u, 0x53u, 0x60u, 0x63u,
                        0x70u, 0x72u, 0x73u, 0x75u, 0x80u, 0x82u, 0x83u, 0x85u, 0x86u, 0x87u, 0x90u, 0x92u, 0x93u,
                        0xA0u, 0xA3u, 0xA6u, 0xA7u, 0xB0u, 0xC0u, 0xD0u, 0xD5u, 0xE0u, 0xE2u, 0xE3u, 0xF0u, 0xF2u,
                        0xF3u})
        t[op] = 2;
    for (unsigned i = 0; i < 8; ++i) {
        t[(i << 5) | 0x01] = t[(i << 5) | 0x11] = 2;  // AJMP, ACALL
        t[0x88 + i] = t[0xA8 + i] = t[0xB8 + i] = t[0xD8 + i] = 2;  // MOV direct,Rn; MOV Rn,direct; CJNE; DJNZ
    }
    t[0xB4] = t[0xB5] = t[0xB6] = t[0xB7] = 2;
    t[0x84] = t[0xA4] = 4;  // DIV, MUL
    return t;
}();

// Bytes of an instruction's length (the opcode alone decides it).
unsigned instructionLength(uint8_t opcode);

// Where the jump, branch or call `opcode first second` at `address` goes
// (none for JMP @A+DPTR, RET and every other instruction). The simulator
// decodes it with each instruction; it is the disassembly's target too.
std::optional<uint16_t> jumpTarget(uint16_t address, uint8_t opcode, uint8_t first, uint8_t second);

// `bytes` holds the instruction at `address` (up to 3 bytes are read; pass
// the following code bytes). `chip` names the SFRs (null: the 8052's).
Disassembled disassemble(const uint8_t bytes[3], uint16_t address, const Chip* chip = nullptr);

}  // namespace sim
