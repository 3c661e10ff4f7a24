#include "toolchain/SourceMap.h"

namespace toolchain {

SourceMap::SourceMap(const std::vector<int>& lineMap, const std::vector<AddressEntry>& addressMap)
{
    for (const AddressEntry& entry : addressMap) {
        if (entry.size <= 0 || entry.address < 0 || entry.address > 0xFFFF || entry.asmLine < 1)
            continue;
        Instruction instruction;
        instruction.address = static_cast<uint16_t>(entry.address);
        instruction.size = static_cast<uint16_t>(entry.size);
        instruction.asmLine = entry.asmLine - 1;
        if (static_cast<size_t>(instruction.asmLine) < lineMap.size())
            instruction.sourceLine = lineMap[instruction.asmLine];
        m_instructions.push_back(instruction);
    }
    for (size_t i = 0; i < m_instructions.size(); ++i) {
        const Instruction& instruction = m_instructions[i];
        m_byAddress.emplace(instruction.address, i);
        // A line starts with its first instruction in program order.
        m_asmStart.emplace(instruction.asmLine, instruction.address);
        if (instruction.sourceLine >= 0)
            m_sourceStart.emplace(instruction.sourceLine, instruction.address);
    }
}

const Instruction* SourceMap::instructionAt(uint16_t address) const
{
    auto it = m_byAddress.upper_bound(address);
    if (it == m_byAddress.begin())
        return nullptr;
    --it;
    const Instruction& instruction = m_instructions[it->second];
    if (address >= instruction.address + instruction.size)
        return nullptr;
    return &instruction;
}

std::optional<int> SourceMap::sourceLineAt(uint16_t address) const
{
    const Instruction* instruction = instructionAt(address);
    if (!instruction || instruction->sourceLine < 0)
        return std::nullopt;
    return instruction->sourceLine;
}

std::optional<int> SourceMap::asmLineAt(uint16_t address) const
{
    const Instruction* instruction = instructionAt(address);
    if (!instruction)
        return std::nullopt;
    return instruction->asmLine;
}

namespace {

template <typename Map>
std::optional<typename Map::mapped_type> Find(const Map& map, int key)
{
    const auto it = map.find(key);
    if (it == map.end())
        return std::nullopt;
    return it->second;
}

template <typename Map>
std::optional<int> FirstAtOrAfter(const Map& map, int key)
{
    const auto it = map.lower_bound(key);
    if (it == map.end())
        return std::nullopt;
    return it->first;
}

} // namespace

std::optional<uint16_t> SourceMap::sourceLineAddress(int sourceLine) const { return Find(m_sourceStart, sourceLine); }
std::optional<uint16_t> SourceMap::asmLineAddress(int asmLine) const { return Find(m_asmStart, asmLine); }
std::optional<int> SourceMap::sourceLineWithCode(int line) const { return FirstAtOrAfter(m_sourceStart, line); }
std::optional<int> SourceMap::asmLineWithCode(int line) const { return FirstAtOrAfter(m_asmStart, line); }

} // namespace toolchain
