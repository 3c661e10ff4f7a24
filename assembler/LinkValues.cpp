// The linker gives the public and external names their values, copies each
// module's code to its final place and fills in the fixups.
#include "assembler/LinkSteps.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace m51asm::linking {

bool Linker::Evaluate(std::size_t m, const std::vector<ObjectStep>& steps, std::int32_t& value, int line, int depth)
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

void Linker::Publics()
{
    for (std::size_t m = 0; m < m_modules.size(); ++m) {
        const std::vector<ObjectSymbol>& symbols = m_modules[m].symbols;
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            if (!symbols[i].isPublic)
                continue;
            auto [it, added] = m_publics.emplace(UpperCase(symbols[i].name), std::make_pair(m, i));
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

bool Linker::Symbol(std::size_t m, std::size_t i, std::int32_t& value, int depth)
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

bool Linker::Extern(std::size_t m, std::size_t e, std::int32_t& value, int depth)
{
    std::uint8_t& state = m_externState[m][e];
    if (state == Known || state == Failed) {
        value = m_r.externValues[m][e];
        return state == Known;
    }
    const ObjectExtern& x = m_modules[m].externs[e];
    const auto it = m_publics.find(UpperCase(x.name));
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

void Linker::Externs()
{
    for (std::size_t m = 0; m < m_modules.size(); ++m)
        for (std::size_t e = 0; e < m_modules[m].externs.size(); ++e) {
            std::int32_t v = 0;
            Extern(m, e, v, 0);
        }
}

void Linker::Symbols()
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

void Linker::Code()
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

void Linker::Fixups()
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

} // namespace m51asm::linking
