#include "LineWalk.h"

#include <algorithm>
#include <iterator>

namespace m51dbg {

void LineWalk::begin(const SourceMap& map, uint16_t pc)
{
    m_map = &map;
    m_bySource = !map.sourceLineStarts().empty();
    m_line = lineAt(pc);
}

int LineWalk::lineAt(uint16_t address) const
{
    if (!m_map)
        return -1;
    return (m_bySource ? m_map->sourceLineAt(address) : m_map->asmLineAt(address)).value_or(-1);
}

std::optional<uint16_t> LineWalk::lineAddress(int line) const
{
    if (!m_map)
        return std::nullopt;
    return m_bySource ? m_map->sourceLineAddress(line) : m_map->asmLineAddress(line);
}

bool LineWalk::isLineStart(uint16_t address, int* line) const
{
    const Instruction* instruction = m_map ? m_map->instructionAt(address) : nullptr;
    if (!instruction || instruction->address != address)
        return false;
    const int l = lineOf(*instruction);
    if (l < 0 || lineAddress(l) != address)
        return false;
    if (line)
        *line = l;
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
