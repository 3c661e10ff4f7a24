// The linker places the segments: absolute pieces and register banks
// first, then the segments placed by name, then the rest packed first-fit.
#include "assembler/LinkSteps.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace m51asm::linking {

void Linker::Collect()
{
    m_r.bases.resize(m_modules.size());
    std::map<std::string, std::size_t> byName;
    for (std::size_t m = 0; m < m_modules.size(); ++m) {
        const ObjectModule& mod = m_modules[m];
        m_r.bases[m].assign(mod.segments.size(), 0);
        for (std::size_t i = 0; i < mod.segments.size(); ++i) {
            const ObjectSegment& s = mod.segments[i];
            m_r.segments.push_back({m, i, s.name, s.type, s.flags, s.absolute, s.address, s.size});
            if (s.absolute) {
                m_r.bases[m][i] = s.address;
                continue;
            }
            const std::string key = UpperCase(s.name);
            auto [it, added] = byName.emplace(key, m_groups.size());
            if (added)
                m_groups.push_back({s.name, s.type, 0, 0, {}, false, 0});
            Group& g = m_groups[it->second];
            if (g.type != s.type) {
                const LinkedSegment& first = m_r.segments[g.members.front().first];
                Error(m, s.line, "segment " + s.name + " is " + kTypeNames[static_cast<int>(s.type)] + " here but " +
                                     kTypeNames[static_cast<int>(g.type)] + " in " +
                                     m_modules[first.module].source);
                continue;
            }
            g.flags |= s.flags;
            const bool overlay = (s.flags & kOverlayable) != 0;
            const std::uint32_t offset = overlay ? 0 : g.size;
            g.size = overlay ? std::max(g.size, s.size) : g.size + s.size;
            g.members.emplace_back(m_r.segments.size() - 1, offset);
        }
    }
}

std::vector<std::uint8_t>& Linker::Space(SegmentType t)
{
    switch (t) {
    case SegmentType::Code: return m_code;
    case SegmentType::XData: return m_xdata;
    case SegmentType::Bit: return m_bits;
    default: return m_ram;
    }
}

void Linker::Mark(SegmentType t, std::uint32_t address, std::uint32_t size)
{
    std::vector<std::uint8_t>& space = Space(t);
    const std::uint32_t end = std::min<std::uint32_t>(address + size, static_cast<std::uint32_t>(space.size()));
    for (std::uint32_t a = address; a < end; ++a)
        space[a] = 1;
    if (t == SegmentType::Bit) {  // the bytes that hold the bits
        for (std::uint32_t a = address; a < end; ++a)
            m_ram[0x20 + a / 8] = 1;
    } else if ((t == SegmentType::Data || t == SegmentType::IData) && address < 0x30 && end > 0x20) {
        for (std::uint32_t a = std::max<std::uint32_t>(address, 0x20); a < std::min<std::uint32_t>(end, 0x30); ++a)
            std::fill_n(m_bits.begin() + (a - 0x20) * 8, 8, std::uint8_t{1});
    }
}

bool Linker::Free(SegmentType t, std::uint32_t address, std::uint32_t size)
{
    const std::vector<std::uint8_t>& space = Space(t);
    if (address + size > space.size())
        return false;
    return std::find(space.begin() + address, space.begin() + address + size, 1) == space.begin() + address + size;
}

void Linker::Absolute()
{
    m_ram[0] = 1;
    std::uint8_t banks = 1;
    for (const ObjectModule& m : m_modules)
        banks |= m.banks;
    for (int b = 0; b < 4; ++b)
        if (banks & (1 << b))
            Mark(SegmentType::Data, static_cast<std::uint32_t>(b * 8), 8);
    for (const LinkedSegment& s : m_r.segments)
        if (s.absolute && s.type != SegmentType::Code)
            Mark(s.type, s.address, s.size);
    // Absolute code is checked for overlaps when copied (Code()).
    for (const LinkedSegment& s : m_r.segments)
        if (s.absolute && s.type == SegmentType::Code)
            Mark(s.type, s.address, s.size);
}

void Linker::Range(SegmentType t, std::uint8_t flags, std::uint32_t& low, std::uint32_t& high)
{
    low = 0;
    switch (t) {
    case SegmentType::Code:
    case SegmentType::XData: high = 0x10000; break;
    case SegmentType::Bit: high = 0x80; break;
    case SegmentType::Data:
        low = (flags & kBitAddressable) ? 0x20 : 0x08;
        high = (flags & kBitAddressable) ? 0x30 : 0x80;
        break;
    case SegmentType::IData: low = 0x08; high = 0x100; break;
    }
}

bool Linker::Fits(std::uint32_t a, std::uint32_t size, std::uint8_t flags)
{
    if (size == 0)
        return true;
    const std::uint32_t last = a + size - 1;
    if ((flags & kPage) && (a & 0xFF))
        return false;
    if ((flags & kInPage) && (a >> 8) != (last >> 8))
        return false;
    return !((flags & kInBlock) && (a >> 11) != (last >> 11));
}

void Linker::GroupError(const Group& g, const std::string& message)
{
    const LinkedSegment& first = m_r.segments[g.members.front().first];
    Error(first.module, m_modules[first.module].segments[first.segment].line, message);
}

void Linker::Settle(Group& g, std::uint32_t address)
{
    g.placed = true;
    g.address = address;
    Mark(g.type, address, g.size);
    for (const auto& [index, offset] : g.members) {
        LinkedSegment& s = m_r.segments[index];
        s.address = address + offset;
        m_r.bases[s.module][s.segment] = s.address;
    }
}

void Linker::Place()
{
    for (const Placement& p : m_options.placements) {
        const std::string key = UpperCase(p.segment);
        auto it = std::find_if(m_groups.begin(), m_groups.end(),
                               [&](const Group& g) { return UpperCase(g.name) == key; });
        if (it == m_groups.end()) {
            OptionError("no segment named " + p.segment + " to place");
            continue;
        }
        if (it->placed || it->members.empty())
            continue;
        std::uint32_t low = 0, high = 0;
        Range(it->type, 0, low, high);
        if (p.address + it->size > high) {
            GroupError(*it, Describe(*it) + " placed at " + Hex4(p.address) + " passes the end of its space (" +
                                Hex4(high - 1) + ")");
        } else if (!Fits(p.address, it->size, it->flags)) {
            GroupError(*it, Describe(*it) + " placed at " + Hex4(p.address) + " breaks its relocation rule");
        } else if (!Free(it->type, p.address, it->size)) {
            GroupError(*it, Describe(*it) + " placed at " + Hex4(p.address) + " overlaps another segment");
        }
        Settle(*it, p.address);
    }
    // Bits and bit-addressable bytes before the other data; then the rest.
    const auto rank = [](const Group& g) {
        if (g.type == SegmentType::Bit)
            return 0;
        if (g.type == SegmentType::Data && (g.flags & kBitAddressable))
            return 1;
        if (g.type == SegmentType::Data)
            return 2;
        if (g.type == SegmentType::IData)
            return 3;
        return (g.flags & (kInPage | kInBlock | kPage)) ? 4 : 5;
    };
    std::vector<std::size_t> order(m_groups.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return rank(m_groups[a]) < rank(m_groups[b]); });
    for (std::size_t i : order) {
        Group& g = m_groups[i];
        if (g.placed || g.members.empty())
            continue;
        std::uint32_t low = 0, high = 0;
        Range(g.type, g.flags, low, high);
        bool done = false;
        const std::vector<std::uint8_t>& space = Space(g.type);
        for (std::uint32_t a = low; a + g.size <= high && !done;) {
            if (!Fits(a, g.size, g.flags)) {
                const std::uint32_t step = (g.flags & kInBlock) ? 0x800 : 0x100;
                a = (a / step + 1) * step;
                continue;
            }
            const auto first = space.begin() + a, last = space.begin() + a + g.size;
            const auto used = std::find(first, last, 1);
            if (used == last) {
                Settle(g, a);
                done = true;
            } else {
                a = static_cast<std::uint32_t>(used - space.begin()) + 1;
            }
        }
        if (!done) {
            GroupError(g, Describe(g) + " does not fit in the free room of its space");
            Settle(g, low);
        }
    }
}

} // namespace m51asm::linking
