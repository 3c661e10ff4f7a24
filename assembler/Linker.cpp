// The linker's steps: absolute pieces and register banks first, then the
// segments placed by name, then the rest packed first-fit (bit and
// bit-addressable segments before the other data, so that 20H-2FH stays
// for them); then the public names, the external names, the code and the
// fixups; then the map.
#include "Linker.h"

#include "Characters.h"
#include "Context.h"
#include "Operators.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <map>

namespace m51asm {

namespace {

constexpr int kMaxDepth = 32;
const char* const kTypeNames[] = {"CODE", "DATA", "IDATA", "BIT", "XDATA"};

std::string UpperName(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        c = Upper(c);
    return u;
}

std::string ValueText(std::int32_t v)
{
    return v < 0 ? std::to_string(v) : Hex4(static_cast<std::uint32_t>(v));
}

// The segments of one name from all modules, placed as one.
struct Group {
    std::string name;
    SegmentType type = SegmentType::Code;
    std::uint8_t flags = 0;
    std::uint32_t size = 0;
    std::vector<std::pair<std::size_t, std::uint32_t>> members;  // (index in m_segments, offset in the group)
    bool placed = false;
    std::uint32_t address = 0;
};

class Linker {
public:
    Linker(const std::vector<ObjectModule>& modules, const LinkOptions& options, LinkResult& r)
        : m_modules(modules), m_options(options), m_r(r)
    {
    }

    void Run()
    {
        m_code.assign(0x10000, 0);
        m_xdata.assign(0x10000, 0);
        m_ram.assign(0x100, 0);
        m_bits.assign(0x80, 0);
        m_r.program.image.assign(0x10000, 0xFF);
        m_r.program.written.assign(0x10000, false);
        m_writtenBits.assign(1024, 0);
        Collect();
        Absolute();
        Place();
        Publics();
        Externs();
        Symbols();
        Code();
        Fixups();
        Finish();
    }

private:
    void Error(std::size_t module, int line, std::string message)
    {
        m_r.program.errors.push_back({line, std::move(message), m_modules[module].source, {}});
    }

    void OptionError(std::string message) { m_r.program.errors.push_back({0, std::move(message), {}, {}}); }

    std::string Where(std::size_t module, int line) const
    {
        return m_modules[module].source + ":" + std::to_string(line);
    }

    // Every module's segments in one list, the relocatable ones grouped by name.
    void Collect()
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
                const std::string key = UpperName(s.name);
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

    std::vector<std::uint8_t>& Space(SegmentType t)
    {
        switch (t) {
        case SegmentType::Code: return m_code;
        case SegmentType::XData: return m_xdata;
        case SegmentType::Bit: return m_bits;
        default: return m_ram;
        }
    }

    void Mark(SegmentType t, std::uint32_t address, std::uint32_t size)
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

    bool Free(SegmentType t, std::uint32_t address, std::uint32_t size)
    {
        const std::vector<std::uint8_t>& space = Space(t);
        if (address + size > space.size())
            return false;
        return std::find(space.begin() + address, space.begin() + address + size, 1) == space.begin() + address + size;
    }

    void Absolute()
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

    // The room a segment may take: [low, high) of its space.
    static void Range(SegmentType t, std::uint8_t flags, std::uint32_t& low, std::uint32_t& high)
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

    static bool Fits(std::uint32_t a, std::uint32_t size, std::uint8_t flags)
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

    std::string Describe(const Group& g) const
    {
        std::string text = "segment " + g.name + " (" + std::to_string(g.size) +
                           (g.type == SegmentType::Bit ? " bits, " : " bytes, ") + kTypeNames[static_cast<int>(g.type)];
        if (g.flags & kInPage)
            text += " INPAGE";
        if (g.flags & kInBlock)
            text += " INBLOCK";
        if (g.flags & kPage)
            text += " PAGE";
        if (g.flags & kBitAddressable)
            text += " BITADDRESSABLE";
        return text + ")";
    }

    void GroupError(const Group& g, const std::string& message)
    {
        const LinkedSegment& first = m_r.segments[g.members.front().first];
        Error(first.module, m_modules[first.module].segments[first.segment].line, message);
    }

    void Settle(Group& g, std::uint32_t address)
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

    void Place()
    {
        for (const Placement& p : m_options.placements) {
            const std::string key = UpperName(p.segment);
            auto it = std::find_if(m_groups.begin(), m_groups.end(),
                                   [&](const Group& g) { return UpperName(g.name) == key; });
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

    // The value of an expression of module `m`.
    bool Evaluate(std::size_t m, const std::vector<ObjectStep>& steps, std::int32_t& value, int line, int depth)
    {
        std::int32_t stack[256];
        std::size_t top = 0;
        bool ok = true;
        for (const ObjectStep& s : steps) {
            switch (s.op) {
            case Op::Number: stack[top++] = s.value; continue;
            case Op::Here:
                stack[top++] = static_cast<std::int32_t>(m_r.bases[m][static_cast<std::size_t>(s.segment)]) + s.value;
                continue;
            case Op::Symbol: {
                std::int32_t v = 0;
                ok = Extern(m, static_cast<std::size_t>(s.value), v, depth + 1) && ok;
                stack[top++] = v;
                continue;
            }
            case Op::Neg:
            case Op::Not:
            case Op::High:
            case Op::Low: stack[top - 1] = UnaryOp(s.op, stack[top - 1]); continue;
            default: break;
            }
            --top;
            OpFault fault = OpFault::None;
            const std::int32_t r = BinaryOp(s.op, stack[top - 1], stack[top], fault);
            if (fault != OpFault::None) {
                if (line > 0)
                    Error(m, line, FaultMessage(fault, stack[top - 1], stack[top]));
                ok = false;
            }
            stack[top - 1] = r;
        }
        value = top ? stack[0] : 0;
        return ok;
    }

    void Publics()
    {
        for (std::size_t m = 0; m < m_modules.size(); ++m) {
            const std::vector<ObjectSymbol>& symbols = m_modules[m].symbols;
            for (std::size_t i = 0; i < symbols.size(); ++i) {
                if (!symbols[i].isPublic)
                    continue;
                auto [it, added] = m_publics.emplace(UpperName(symbols[i].name), std::make_pair(m, i));
                if (!added) {
                    const auto [om, oi] = it->second;
                    Error(m, symbols[i].line, "public name " + symbols[i].name + " is defined twice: also at " +
                                                  Where(om, m_modules[om].symbols[oi].line));
                }
            }
        }
        m_publicValues.assign(m_modules.size(), {});
        for (std::size_t m = 0; m < m_modules.size(); ++m)
            m_publicValues[m].assign(m_modules[m].symbols.size(), Unknown);
        m_r.externValues.resize(m_modules.size());
        for (std::size_t m = 0; m < m_modules.size(); ++m)
            m_r.externValues[m].assign(m_modules[m].externs.size(), 0);
        m_externState.assign(m_modules.size(), {});
        for (std::size_t m = 0; m < m_modules.size(); ++m)
            m_externState[m].assign(m_modules[m].externs.size(), Unknown);
    }

    enum State : std::uint8_t { Unknown, Busy, Known, Failed };

    bool Symbol(std::size_t m, std::size_t i, std::int32_t& value, int depth)
    {
        std::uint8_t& state = m_publicValues[m][i];
        const ObjectSymbol& s = m_modules[m].symbols[i];
        if (state == Known || state == Failed) {
            value = m_symbolValue[{m, i}];
            return state == Known;
        }
        if (state == Busy || depth > kMaxDepth) {
            Error(m, s.line, "the value of " + s.name + " depends on itself");
            return false;
        }
        state = Busy;
        const bool ok = Evaluate(m, s.steps, value, s.line, depth);
        state = ok ? Known : Failed;
        m_symbolValue[{m, i}] = value;
        return ok;
    }

    bool Extern(std::size_t m, std::size_t e, std::int32_t& value, int depth)
    {
        std::uint8_t& state = m_externState[m][e];
        if (state == Known || state == Failed) {
            value = m_r.externValues[m][e];
            return state == Known;
        }
        const ObjectExtern& x = m_modules[m].externs[e];
        const auto it = m_publics.find(UpperName(x.name));
        if (it == m_publics.end()) {
            Error(m, x.line, "undefined name " + x.name + ": EXTRN here, PUBLIC in no module linked");
            state = Failed;
            return false;
        }
        state = Busy;
        const bool ok = Symbol(it->second.first, it->second.second, value, depth);
        state = ok ? Known : Failed;
        m_r.externValues[m][e] = value;
        return ok;
    }

    void Externs()
    {
        for (std::size_t m = 0; m < m_modules.size(); ++m)
            for (std::size_t e = 0; e < m_modules[m].externs.size(); ++e) {
                std::int32_t v = 0;
                Extern(m, e, v, 0);
            }
    }

    void Symbols()
    {
        for (std::size_t m = 0; m < m_modules.size(); ++m) {
            const std::vector<ObjectSymbol>& symbols = m_modules[m].symbols;
            for (std::size_t i = 0; i < symbols.size(); ++i) {
                std::int32_t v = 0;
                Symbol(m, i, v, 0);
                const ObjectSymbol& s = symbols[i];
                m_r.symbols.push_back({s.name, s.kind, v, m, s.line, s.isPublic});
                if (s.isPublic)
                    m_r.program.symbols.push_back({s.name, s.kind, v, s.line, false});
            }
        }
    }

    void Code()
    {
        std::vector<std::int32_t> owner;  // the segment that wrote each byte
        for (std::size_t index = 0; index < m_r.segments.size(); ++index) {
            const LinkedSegment& s = m_r.segments[index];
            if (s.type != SegmentType::Code)
                continue;
            const std::vector<std::uint8_t>& bytes = m_modules[s.module].segments[s.segment].bytes;
            const int line = m_modules[s.module].segments[s.segment].line;
            bool reported = m_options.allowOverlap;
            const std::vector<bool>& written = m_modules[s.module].segments[s.segment].written;
            for (std::uint32_t i = 0; i < bytes.size() && s.address + i < 0x10000; ++i) {
                if (i < written.size() && !written[i])
                    continue;  // room reserved with DS
                const std::uint32_t a = s.address + i;
                std::uint64_t& word = m_writtenBits[a >> 6];
                const std::uint64_t bit = std::uint64_t{1} << (a & 63);
                if ((word & bit) && !reported) {
                    const LinkedSegment& other = m_r.segments[static_cast<std::size_t>(owner[a])];
                    Error(s.module, line, "code at " + Hex4(a) + " overlaps code of " +
                                              Where(other.module, m_modules[other.module].segments[other.segment].line));
                    reported = true;
                }
                if (owner.empty())
                    owner.assign(0x10000, 0);
                owner[a] = static_cast<std::int32_t>(index);
                word |= bit;
                m_r.program.image[a] = bytes[i];
                m_r.program.written[a] = true;
            }
        }
    }

    void Fixups()
    {
        std::vector<std::uint8_t>& image = m_r.program.image;
        for (std::size_t m = 0; m < m_modules.size(); ++m) {
            for (const ObjectFixup& f : m_modules[m].fixups) {
                const std::uint32_t base = m_r.bases[m][static_cast<std::size_t>(f.segment)];
                const std::uint32_t at = base + f.offset;
                if (at + 1 >= 0x10000 && (f.field == FieldKind::Word || f.field == FieldKind::Addr11 || at >= 0x10000))
                    continue;  // outside the code space: reported with the segment
                std::int32_t v = 0;
                if (!Evaluate(m, f.steps, v, f.line, 0))
                    continue;
                const auto fail = [&](const std::string& message) { Error(m, f.line, message); };
                switch (f.field) {
                case FieldKind::Byte:
                    if (v < -256 || v > 0xFF)
                        fail("value " + ValueText(v) + " does not fit in a byte");
                    image[at] = static_cast<std::uint8_t>(v);
                    break;
                case FieldKind::Data:
                case FieldKind::Bit:
                    if (v < 0 || v > 0xFF)
                        fail(std::string(f.field == FieldKind::Bit ? "bit" : "direct") + " address " + ValueText(v) +
                             " is out of range (0-0FFH)");
                    image[at] = static_cast<std::uint8_t>(v);
                    break;
                case FieldKind::Word:
                    if (v < -65536 || v > 0xFFFF)
                        fail("value " + ValueText(v) + " does not fit in 16 bits");
                    image[at] = static_cast<std::uint8_t>(v >> 8);
                    image[at + 1] = static_cast<std::uint8_t>(v);
                    break;
                case FieldKind::Rel: {
                    const std::int64_t d = static_cast<std::int64_t>(v) - (base + f.next);
                    if (d < -128 || d > 127)
                        fail("jump target " + ValueText(v) + " is out of range: " + std::to_string(d) +
                             " bytes away, a relative jump reaches -128 to +127");
                    image[at] = static_cast<std::uint8_t>(d);
                    break;
                }
                case FieldKind::Addr11: {
                    const std::uint32_t after = base + f.next;
                    if (v < 0 || v > 0xFFFF || (static_cast<std::uint32_t>(v) & 0xF800u) != (after & 0xF800u))
                        fail("target " + ValueText(v) + " is outside the 2 KB block " + Hex4(after & 0xF800) + "-" +
                             Hex4((after & 0xF800) | 0x7FF) + " of this AJMP or ACALL (use LJMP or LCALL)");
                    image[at] = static_cast<std::uint8_t>((image[at] & 0x1F) | ((v >> 3) & 0xE0));
                    image[at + 1] = static_cast<std::uint8_t>(v);
                    break;
                }
                }
            }
        }
    }

    void Finish()
    {
        AssembleResult& p = m_r.program;
        for (std::uint32_t w = 0; w < m_writtenBits.size(); ++w) {
            const std::uint64_t word = m_writtenBits[w];
            if (!word)
                continue;
            if (p.empty)
                p.lowest = static_cast<std::uint16_t>(w * 64 + static_cast<std::uint32_t>(std::countr_zero(word)));
            p.highest = static_cast<std::uint16_t>(w * 64 + 63 - static_cast<std::uint32_t>(std::countl_zero(word)));
            p.empty = false;
        }
        std::stable_sort(p.symbols.begin(), p.symbols.end(),
                         [](const m51asm::Symbol& a, const m51asm::Symbol& b) { return UpperName(a.name) < UpperName(b.name); });
        p.hex = MakeHex(p, m_writtenBits);
        m_r.map = MakeMap();
    }

    std::string MakeMap() const
    {
        std::string out = "m51 link map\r\n\r\nMODULES\r\n";
        char line[1024];
        for (const ObjectModule& m : m_modules)
            out += "  " + m.name + "  " + m.source + "\r\n";
        out += "\r\nSEGMENTS (by address)\r\nTYPE   ADDRESS  SIZE    SEGMENT                         MODULE\r\n";
        std::vector<const LinkedSegment*> sorted;
        for (const LinkedSegment& s : m_r.segments)
            if (s.size > 0)
                sorted.push_back(&s);
        std::stable_sort(sorted.begin(), sorted.end(), [](const LinkedSegment* a, const LinkedSegment* b) {
            return a->type != b->type ? a->type < b->type : a->address < b->address;
        });
        for (const LinkedSegment* s : sorted) {
            std::string name = s->absolute ? "(absolute)" : s->name;
            for (const auto& [flag, word] : {std::pair{kInPage, " INPAGE"}, std::pair{kInBlock, " INBLOCK"},
                                              std::pair{kPage, " PAGE"}, std::pair{kBitAddressable, " BITADDRESSABLE"},
                                              std::pair{kOverlayable, " OVERLAYABLE"}})
                if (s->flags & flag)
                    name += word;
            std::snprintf(line, sizeof line, "%-6s %-8s %-7s %-31s %s\r\n", kTypeNames[static_cast<int>(s->type)],
                          Hex4(s->address).c_str(), Hex4(s->size).c_str(), name.substr(0, 200).c_str(),
                          m_modules[s->module].name.substr(0, 200).c_str());
            out += line;
        }
        out += "\r\nPUBLIC NAMES (by name)\r\nVALUE  KIND    NAME                            MODULE\r\n";
        std::vector<const LinkedSymbol*> publics;
        for (const LinkedSymbol& s : m_r.symbols)
            if (s.isPublic)
                publics.push_back(&s);
        std::stable_sort(publics.begin(), publics.end(),
                         [](const LinkedSymbol* a, const LinkedSymbol* b) { return UpperName(a->name) < UpperName(b->name); });
        static const char* const kinds[] = {"CODE", "DATA", "IDATA", "XDATA", "BIT", "NUMBER", "REG"};
        for (const LinkedSymbol* s : publics) {
            std::snprintf(line, sizeof line, "%-6s %-7s %-31s %s\r\n", ValueText(s->value).c_str(),
                          kinds[static_cast<int>(s->kind)], s->name.substr(0, 200).c_str(),
                          m_modules[s->module].name.substr(0, 200).c_str());
            out += line;
        }
        return out;
    }

    const std::vector<ObjectModule>& m_modules;
    const LinkOptions& m_options;
    LinkResult& m_r;
    std::vector<std::uint8_t> m_code, m_xdata, m_ram, m_bits;  // room taken
    std::vector<std::uint64_t> m_writtenBits;
    std::vector<Group> m_groups;
    std::map<std::string, std::pair<std::size_t, std::size_t>> m_publics;  // name in capitals: (module, symbol)
    std::vector<std::vector<std::uint8_t>> m_publicValues;  // State of each module's symbols
    std::map<std::pair<std::size_t, std::size_t>, std::int32_t> m_symbolValue;
    std::vector<std::vector<std::uint8_t>> m_externState;
};

} // namespace

LinkResult Link(const std::vector<ObjectModule>& modules, const LinkOptions& options)
{
    LinkResult r;
    Linker linker(modules, options, r);
    linker.Run();
    return r;
}

} // namespace m51asm
