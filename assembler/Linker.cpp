// The linker's steps: absolute pieces and register banks first, then the
// segments placed by name, then the rest packed first-fit (bit and
// bit-addressable segments before the other data, so that 20H-2FH stays
// for them); then the public names, the external names, the code and the
// fixups; then the map (written here).
#include "assembler/LinkSteps.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace m51asm {

namespace linking {

void Linker::Run()
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

void Linker::Error(std::size_t module, int line, std::string message)
{
    m_r.program.errors.push_back({line, std::move(message), m_modules[module].source, {}});
}

std::string Linker::Where(std::size_t module, int line) const
{
    return m_modules[module].source + ":" + std::to_string(line);
}

std::string Linker::Describe(const Group& g) const
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

void Linker::Finish()
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
                     [](const m51asm::Symbol& a, const m51asm::Symbol& b) { return UpperCase(a.name) < UpperCase(b.name); });
    p.hex = MakeHex(p, m_writtenBits);
    m_r.map = MakeMap();
}

std::string Linker::MakeMap() const
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
                     [](const LinkedSymbol* a, const LinkedSymbol* b) { return UpperCase(a->name) < UpperCase(b->name); });
    static const char* const kinds[] = {"CODE", "DATA", "IDATA", "XDATA", "BIT", "NUMBER", "REG"};
    for (const LinkedSymbol* s : publics) {
        std::snprintf(line, sizeof line, "%-6s %-7s %-31s %s\r\n", ValueText(s->value).c_str(),
                      kinds[static_cast<int>(s->kind)], s->name.substr(0, 200).c_str(),
                      m_modules[s->module].name.substr(0, 200).c_str());
        out += line;
    }
    return out;
}

} // namespace linking

LinkResult Link(const std::vector<ObjectModule>& modules, const LinkOptions& options)
{
    LinkResult r;
    linking::Linker linker(modules, options, r);
    linker.Run();
    return r;
}

} // namespace m51asm
