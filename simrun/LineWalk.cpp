#include "simrun/LineWalk.h"

#include <algorithm>
#include <iterator>

namespace m51dbg {

void LineWalk::begin(const LineTable& lines, const SourceMap& map, uint16_t pc)
{
    m_lines = &lines;
    m_map = &map;
    m_bySource = !lines.empty();
    m_line = lineAt(pc);
}

SourceLine LineWalk::lineAt(uint16_t address) const
{
    if (!m_map)
        return {0, -1};
    if (m_bySource)
        return m_lines->lineAt(address).value_or(SourceLine{0, -1});
    return {0, m_map->asmLineAt(address).value_or(-1)};
}

std::optional<uint16_t> LineWalk::lineAddress(SourceLine line) const
{
    if (!m_map)
        return std::nullopt;
    return m_bySource ? m_lines->lineAddress(line) : line.file == 0 ? m_map->asmLineAddress(line.line) : std::nullopt;
}

bool LineWalk::isLineStart(uint16_t address, SourceLine* line) const
{
    if (!m_map)
        return false;
    std::optional<SourceLine> found;
    if (m_bySource) {
        found = m_lines->startingAt(address);
    } else if (const Instruction* instruction = m_map->instructionAt(address);
               instruction && instruction->address == address && m_map->asmLineAddress(instruction->asmLine) == address) {
        found = SourceLine{0, instruction->asmLine};
    }
    if (!found)
        return false;
    if (line)
        *line = *found;
    return true;
}
std::optional<uint16_t> LineWalk::CallReturn(uint8_t opcode, uint16_t pc)
{
    if (!IsCallOpcode(opcode))
        return std::nullopt;
    return static_cast<uint16_t>(pc + (opcode == 0x12 ? 3 : 2));
}

bool LineWalk::EnteredInterrupt(uint8_t opcode, uint8_t spBefore, uint16_t pcAfter, uint8_t spAfter)
{
    static constexpr uint16_t Vectors[] = {0x03, 0x0B, 0x13, 0x1B, 0x23, 0x2B};
    return spAfter == static_cast<uint8_t>(spBefore + 2) && !IsCallOpcode(opcode)
           && std::find(std::begin(Vectors), std::end(Vectors), pcAfter) != std::end(Vectors);
}

} // namespace m51dbg
