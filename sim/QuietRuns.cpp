// The decoded instruction words and the quiet runs they mark
// (sim/QuietRuns.h).

#include "sim/QuietRuns.h"

#include "sim/Disassembler.h"
#include "sim/Execute.h"

#include <algorithm>

namespace sim {

bool Machine::quietAt(uint16_t address) const
{
    const uint8_t op = fetchCode(address);
    if (m_breaks[address])
        return false;
    // A marked call or return is made by the dispatch and written down for
    // the observer at the clock the run keeps: it may end a run; any other
    // marked instruction is the loop's.
    if (!m_marks.empty() && m_marks[address] && !execution::isFlow(execution::kOpcodeHandler[op]))
        return false;
    return quiet::isQuiet(op, fetchCode(static_cast<uint16_t>(address + 1)), fetchCode(static_cast<uint16_t>(address + 2)));
}

uint64_t Machine::decodedWord(uint16_t address) const
{
    const uint8_t op = fetchCode(address);
    const uint8_t first = fetchCode(static_cast<uint16_t>(address + 1));
    const uint8_t second = fetchCode(static_cast<uint16_t>(address + 2));
    uint64_t word = op | kDecodedBit | (m_breaks[address] ? kBreakBit : 0u) | uint64_t{first} << kOperandShift |
                    uint64_t{second} << (kOperandShift + 8) |
                    (!m_marks.empty() && m_marks[address] ? kMarkBit : 0u) | (m_loops[address] ? kLoopBit : 0u);
    if (const std::optional<uint16_t> target = jumpTarget(address, op, first, second))
        word |= uint64_t{*target} << kTargetShift;
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
                cycles += kMachineCycles[at];
                ++count;
            }
            break;
        }
        cycles += kMachineCycles[at];
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
