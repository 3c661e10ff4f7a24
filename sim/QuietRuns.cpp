// The decoded instruction words and the quiet runs they mark
// (sim/QuietRuns.h).

#include "sim/QuietRuns.h"

#include "sim/Disassembler.h"

#include <algorithm>

namespace sim {

namespace {

// The fixed target of a jump or call at `address`, or -1.
int jumpTarget(uint16_t address, uint8_t op, uint8_t first, uint8_t second)
{
    auto after = [address](unsigned length, uint8_t offset) {
        return static_cast<uint16_t>(address + length + static_cast<int8_t>(offset));
    };
    if ((op & 0x0F) == 0x01)  // AJMP, ACALL
        return ((address + 2) & 0xF800) | (op & 0xE0) << 3 | first;
    switch (op) {
    case 0x02: case 0x12: return first << 8 | second;  // LJMP, LCALL
    case 0x40: case 0x50: case 0x60: case 0x70: case 0x80: return after(2, first);  // JC JNC JZ JNZ SJMP
    case 0x10: case 0x20: case 0x30: case 0xD5: return after(3, second);  // JBC JB JNB, DJNZ direct
    default: break;
    }
    if (op >= 0xD8)  // DJNZ Rn
        return after(2, first);
    if (op >= 0xB4 && op <= 0xBF)  // CJNE
        return after(3, second);
    return -1;
}

}  // namespace

bool Machine::quietAt(uint16_t address) const
{
    if (m_breaks[address] || (!m_marks.empty() && m_marks[address]))
        return false;
    return quiet::isQuiet(fetchCode(address), fetchCode(static_cast<uint16_t>(address + 1)),
                          fetchCode(static_cast<uint16_t>(address + 2)));
}

uint64_t Machine::decodedWord(uint16_t address) const
{
    const uint8_t op = fetchCode(address);
    const uint8_t first = fetchCode(static_cast<uint16_t>(address + 1));
    const uint8_t second = fetchCode(static_cast<uint16_t>(address + 2));
    uint64_t word = op | kDecodedBit | (m_breaks[address] ? kBreakBit : 0u) | uint64_t{first} << kOperandShift |
                    uint64_t{second} << (kOperandShift + 8) |
                    (!m_marks.empty() && m_marks[address] ? kMarkBit : 0u) | (m_loops[address] ? kLoopBit : 0u);
    if (const int target = jumpTarget(address, op, first, second); target >= 0)
        word |= uint64_t(target & 0xFFFF) << kTargetShift;
    // The quiet run from here to the end of the block, and the jump that
    // may end it there.
    const unsigned end = (address | (quiet::kBlock - 1)) + 1u;
    unsigned cycles = 0, count = 0;
    for (unsigned p = address; p < end && quietAt(static_cast<uint16_t>(p)); ++count) {
        const uint8_t at = fetchCode(static_cast<uint16_t>(p));
        if (quiet::endsRuns(quiet::kKind[at])) {
            // A run starts with a quiet instruction, and a jump closing a
            // loop looks at the clock itself (skipLoop()).
            if (p != address && !m_loops[p]) {
                cycles += quiet::kCycles[at];
                ++count;
            }
            break;
        }
        cycles += quiet::kCycles[at];
        p += instructionLength(at);
    }
    if (count >= 2)
        word |= kRunsOnBit | uint64_t{cycles} << kSpanShift;
    return word;
}

void Machine::forgetWords(unsigned first, unsigned end)
{
    if (first >= end)
        return;
    // A word reads the bytes of its block and the two after it.
    const unsigned from = first >= 2 ? (first - 2) & ~(quiet::kBlock - 1) : 0u;
    std::fill(m_decoded.data() + from, m_decoded.data() + std::min(end, 65536u), uint64_t{0});
    // The words at the top of code memory take their operands from its start.
    if (first < 2)
        std::fill(m_decoded.end() - quiet::kBlock, m_decoded.end(), uint64_t{0});
}

}  // namespace sim
