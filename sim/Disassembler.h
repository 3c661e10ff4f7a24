#pragma once
// One 8051 instruction turned back into assembler text, as the project's
// assembler reads it: "MOV A,#2CH", "SJMP 0105H", "SETB P1.0", "MOV SCON,#50H".
// Jump and call targets are absolute addresses; direct addresses of SFRs and
// their bits are written with the chip's names. An opcode without an
// instruction (0A5H) comes out as "DB 0A5H". Plain C++: m51sim and the
// debugger's window share it.

#include "sim/Chip.h"

#include <cstdint>
#include <optional>
#include <string>

namespace sim {

struct Disassembled {
    std::string text;
    unsigned length = 1;              // 1 to 3 bytes
    std::optional<uint16_t> target;   // where a jump, branch or call goes
};

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
