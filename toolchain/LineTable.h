#pragma once
// The program's source lines indexed for the debugger: which line the code at
// an address belongs to, where a line begins (where breakpoints and run to
// the caret go), and which addresses start a line (where stepping stops).
// Lines of every source file of the program count, so a program of several
// files steps by the lines of each.
//
// Where a line begins depends on what made the lines. Lines the assembler's
// map made (M51, assembly) are instructions: a line begins at its first
// instruction only. Lines read from debug information (SDCC's C lines) are
// the places a line's code begins: a line may begin at several addresses (a
// `for` line at its test and at its step), and reaching any of them stops a step.

#include "toolchain/Program.h"

#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>

namespace toolchain {

class LineTable {
public:
    LineTable() = default;
    explicit LineTable(const Program& program);

    bool empty() const { return m_first.empty(); }
    // The line whose code covers `address`.
    std::optional<SourceLine> lineAt(uint16_t address) const;
    // Where a line's code first begins.
    std::optional<uint16_t> lineAddress(SourceLine line) const;
    // `address` begins a line: which one.
    std::optional<SourceLine> startingAt(uint16_t address) const;
    // Where the line covering `address` began (its part of the line).
    std::optional<uint16_t> startOf(uint16_t address) const;
    // The first line of `file` at or after `line` that has code: where a
    // breakpoint set on a comment or a blank line really goes.
    std::optional<int> lineWithCode(int file, int line) const;
    // Every address that begins a line, with its line.
    const std::map<uint16_t, SourceLine>& starts() const { return m_starts; }

private:
    struct Covered {
        SourceLine line;
        uint32_t end = 0;
    };
    std::map<uint16_t, Covered> m_byAddress;            // range start -> its line and end
    std::map<std::pair<int, int>, uint16_t> m_first;    // (file, line) -> first address
    std::map<uint16_t, SourceLine> m_starts;
    // The addresses of m_starts as bits: stepping asks at every instruction,
    // and almost always about an address that begins no line.
    std::bitset<65536> m_isStart;
};

} // namespace toolchain
