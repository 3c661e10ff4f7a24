#include "toolchain/LineTable.h"

namespace toolchain {

LineTable::LineTable(const Program& program)
{
    // `lines` are in the order of their making: a line's first range there is
    // where it begins. Of debug information's lines beginning at one address
    // (a function's header and its first statement, where it has no
    // prologue), the last one is the line the code there runs for.
    const bool everyRangeStarts = program.map.empty();
    for (const LineRange& range : program.lines) {
        if (range.size == 0)
            continue;
        const Covered covered{{range.file, range.line}, uint32_t(range.address) + range.size};
        if (everyRangeStarts)
            m_byAddress.insert_or_assign(range.address, covered);
        else
            m_byAddress.emplace(range.address, covered);
        m_first.emplace(std::pair(range.file, range.line), range.address);
    }
    if (everyRangeStarts) {
        for (const auto& [address, covered] : m_byAddress)
            m_starts.emplace(address, covered.line);
    } else {
        for (const auto& [line, address] : m_first)
            m_starts.emplace(address, SourceLine{line.first, line.second});
    }
    for (const auto& start : m_starts)
        m_isStart.set(start.first);
}

std::optional<SourceLine> LineTable::lineAt(uint16_t address) const
{
    auto it = m_byAddress.upper_bound(address);
    if (it == m_byAddress.begin())
        return std::nullopt;
    --it;
    if (address >= it->second.end)
        return std::nullopt;
    return it->second.line;
}

std::optional<uint16_t> LineTable::lineAddress(SourceLine line) const
{
    const auto it = m_first.find({line.file, line.line});
    if (it == m_first.end())
        return std::nullopt;
    return it->second;
}

std::optional<SourceLine> LineTable::startingAt(uint16_t address) const
{
    if (!m_isStart.test(address))
        return std::nullopt;
    const auto it = m_starts.find(address);
    if (it == m_starts.end())
        return std::nullopt;
    return it->second;
}

std::optional<uint16_t> LineTable::startOf(uint16_t address) const
{
    const auto line = lineAt(address);
    if (!line)
        return std::nullopt;
    auto it = m_starts.upper_bound(address);
    while (it != m_starts.begin()) {
        --it;
        if (it->second == *line)
            return it->first;
    }
    return lineAddress(*line);
}

std::optional<int> LineTable::lineWithCode(int file, int line) const
{
    const auto it = m_first.lower_bound({file, line});
    if (it == m_first.end() || it->first.first != file)
        return std::nullopt;
    return it->first.second;
}

} // namespace toolchain
