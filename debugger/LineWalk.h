#pragma once
// Stepping over a line, as both simulator backends do it: by M51 line when
// the program has M51 lines, else by assembly line. The walk ends where the
// program counter reaches the start of another line; a call, and an
// interrupt entered on the way, are run through to their return address
// with the stack back where it was. The backends differ only in how they
// step (the core at once, s51 by its answers); the rules are here.

#include "toolchain/SourceMap.h"

#include <cstdint>
#include <optional>

namespace m51dbg {

using toolchain::Instruction;
using toolchain::SourceMap;

inline bool IsReturnOpcode(uint8_t opcode) { return opcode == 0x22 || opcode == 0x32; }  // RET, RETI
inline bool IsCallOpcode(uint8_t opcode) { return opcode == 0x12 || (opcode & 0x1F) == 0x11; }  // LCALL, ACALL

class LineWalk {
public:
    // A walk over the line at `pc`.
    void begin(const SourceMap& map, uint16_t pc);
    bool bySource() const { return m_bySource; }
    int line() const { return m_line; }

    // The line an instruction belongs to, and where a line starts, by the walk's kind of line.
    int lineOf(const Instruction& instruction) const { return m_bySource ? instruction.sourceLine : instruction.asmLine; }
    int lineAt(uint16_t address) const;
    std::optional<uint16_t> lineAddress(int line) const;
    // `address` is the first instruction of a line (which goes to `line`).
    bool isLineStart(uint16_t address, int* line) const;
    // The walk is over once the program counter is here.
    bool endsAt(uint16_t pc) const
    {
        int l = -1;
        return isLineStart(pc, &l) && l != m_line;
    }

    // Where a call instruction at `pc` returns to; nothing for other instructions.
    static std::optional<uint16_t> CallReturn(uint8_t opcode, uint16_t pc);
    // One step from an instruction (`opcode`, stack at `spBefore`) ended at
    // an interrupt vector with two more bytes on the stack: the hardware call of a handler.
    static bool EnteredInterrupt(uint8_t opcode, uint8_t spBefore, uint16_t pcAfter, uint8_t spAfter);

private:
    const SourceMap* m_map = nullptr;
    bool m_bySource = true;
    int m_line = -1;
};

} // namespace m51dbg
