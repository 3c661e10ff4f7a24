#pragma once
// Stepping over a line, as both simulator backends do it: by source line
// (of any of the program's files) when the program has source lines, else by
// assembly line. The walk ends where the
// program counter reaches the start of another line; a call, and an
// interrupt entered on the way, are run through to their return address
// with the stack back where it was. The backends differ only in how they
// step (the core at once, s51 by its answers); the rules are here.

#include "toolchain/LineTable.h"
#include "toolchain/SourceMap.h"

#include <cstdint>
#include <optional>

namespace m51dbg {

using toolchain::Instruction;
using toolchain::LineTable;
using toolchain::SourceLine;
using toolchain::SourceMap;

inline bool IsReturnOpcode(uint8_t opcode) { return opcode == 0x22 || opcode == 0x32; }  // RET, RETI
inline bool IsCallOpcode(uint8_t opcode) { return opcode == 0x12 || (opcode & 0x1F) == 0x11; }  // LCALL, ACALL

class LineWalk {
public:
    // A walk over the line at `pc`: `lines` indexes the program's source
    // lines, `map` its assembly lines (both kept by the caller).
    void begin(const LineTable& lines, const SourceMap& map, uint16_t pc);
    bool bySource() const { return m_bySource; }
    // The line walked over; an assembly line is one of file 0. Line -1: none.
    SourceLine line() const { return m_line; }

    // The line an address belongs to, and where a line starts, by the walk's kind of line.
    SourceLine lineAt(uint16_t address) const;
    std::optional<uint16_t> lineAddress(SourceLine line) const;
    // `address` begins a line (which goes to `line`).
    bool isLineStart(uint16_t address, SourceLine* line) const;
    // The walk is over once the program counter is here.
    bool endsAt(uint16_t pc) const
    {
        SourceLine l;
        return isLineStart(pc, &l) && l != m_line;
    }

    // Where a call instruction at `pc` returns to; nothing for other instructions.
    static std::optional<uint16_t> CallReturn(uint8_t opcode, uint16_t pc);
    // One step from an instruction (`opcode`, stack at `spBefore`) ended at
    // an interrupt vector with two more bytes on the stack: the hardware call of a handler.
    static bool EnteredInterrupt(uint8_t opcode, uint8_t spBefore, uint16_t pcAfter, uint8_t spAfter);

private:
    const LineTable* m_lines = nullptr;
    const SourceMap* m_map = nullptr;
    bool m_bySource = true;
    SourceLine m_line{0, -1};
};

} // namespace m51dbg
