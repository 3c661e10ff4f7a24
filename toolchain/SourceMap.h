#pragma once
// Where each M51 source line lives in code memory. The compiler tells which
// M51 line every generated assembly line comes from (its line map); the
// assembler tells the address and size of every assembly line. Composed, they
// let the debugger put breakpoints on M51 lines and show which M51 line the
// program counter is in. All line numbers here are 0-based.

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace toolchain {

// One assembly line that produced code.
struct Instruction {
    uint16_t address = 0;
    uint16_t size = 0;
    int asmLine = -1;   // 0-based line of the .asm file
    int sourceLine = -1; // 0-based M51 line, -1 when the compiler gave none
};

class SourceMap {
public:
    struct AddressEntry {  // the assembler's address map; `asmLine` 1-based
        int asmLine = 0;
        int address = 0;
        int size = 0;
    };

    SourceMap() = default;
    // `lineMap[i]` is the M51 line of assembly line i (both 0-based, -1 none);
    // it may be empty for a hand-written assembly program.
    SourceMap(const std::vector<int>& lineMap, const std::vector<AddressEntry>& addressMap);

    bool empty() const { return m_instructions.empty(); }
    // In the order of the assembly lines.
    const std::vector<Instruction>& instructions() const { return m_instructions; }

    // The instruction covering `address`, if any.
    const Instruction* instructionAt(uint16_t address) const;
    std::optional<int> sourceLineAt(uint16_t address) const;
    std::optional<int> asmLineAt(uint16_t address) const;

    // The address of the first instruction of an M51 line / an assembly line.
    std::optional<uint16_t> sourceLineAddress(int sourceLine) const;
    std::optional<uint16_t> asmLineAddress(int asmLine) const;

    // The first line at or after `line` that has code: where a breakpoint set
    // on a comment or label line really goes.
    std::optional<int> sourceLineWithCode(int line) const;
    std::optional<int> asmLineWithCode(int line) const;

    // Every M51 line with code and the address it starts at.
    const std::map<int, uint16_t>& sourceLineStarts() const { return m_sourceStart; }

private:
    std::vector<Instruction> m_instructions;
    std::map<uint16_t, size_t> m_byAddress;  // start address -> instruction index
    std::map<int, uint16_t> m_sourceStart;
    std::map<int, uint16_t> m_asmStart;
};

} // namespace toolchain
