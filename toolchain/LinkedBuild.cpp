#include "toolchain/LinkedBuild.h"

#include "assembler/Assembler.h"
#include "assembler/ObjectFile.h"
#include "assembler/SourceFiles.h"

#include <algorithm>
#include <filesystem>
#include <iterator>

namespace toolchain {

namespace {

std::string FileName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

m51asm::AssembleOptions OptionsFor(const ModuleFile& module, const LinkSettings& settings)
{
    m51asm::AssembleOptions o;
    o.fileName = FileName(module.path);
    o.sourcePath = module.path;
    o.ignoreNolist = true;
    o.dialect = settings.dialect;
    o.module = true;
    m51asm::ReadIncludesFromDisk(o);
    return o;
}

void AddErrors(Program& out, const std::vector<m51asm::AsmError>& errors, const std::string& path)
{
    for (const m51asm::AsmError& e : errors) {
        Diagnostic d;
        d.stage = m51::Stage::Assembler;
        d.file = e.file.empty() ? path : e.file;
        d.line = e.line;
        d.message = e.message;
        d.context = e.context;
        out.diagnostics.push_back(std::move(d));
    }
}

Symbol SymbolOf(const m51asm::Symbol& s, int file, bool isPublic)
{
    Symbol out;
    out.name = s.name;
    out.address = s.value;
    out.file = file;
    out.line = s.line - 1;
    out.scope = isPublic ? Scope::Global : Scope::File;
    switch (s.kind) {
    case m51asm::SymbolKind::Code: out.storage = Storage::Code; break;
    case m51asm::SymbolKind::Data: out.storage = s.value >= 0x80 ? Storage::Sfr : Storage::InternalRam; break;
    case m51asm::SymbolKind::IData: out.storage = Storage::InternalRam; break;
    case m51asm::SymbolKind::XData: out.storage = Storage::ExternalRam; break;
    case m51asm::SymbolKind::Bit: out.storage = Storage::Bit; break;
    case m51asm::SymbolKind::Number: out.storage = Storage::Constant; break;
    case m51asm::SymbolKind::Register: out.storage = Storage::Register; break;
    }
    return out;
}

} // namespace

Program LinkAssemblyModules(const std::vector<ModuleFile>& modules, const LinkSettings& settings)
{
    Program out;
    out.language = Language::Assembly;
    for (const ModuleFile& m : modules)
        out.files.push_back(m.path);
    if (modules.empty())
        return out;
    const size_t shown = settings.shown < modules.size() ? settings.shown : 0;
    out.assembly = modules[shown].bytes;
    out.assemblyName = FileName(modules[shown].path);

    std::vector<m51asm::ObjectModule> objects;
    for (const ModuleFile& m : modules) {
        const m51asm::AssembleResult r = m51asm::Assemble(m.bytes, OptionsFor(m, settings));
        AddErrors(out, r.errors, m.path);
        objects.push_back(r.object ? *r.object : m51asm::ObjectModule());
    }
    if (!out.diagnostics.empty())
        return out;
    m51asm::LinkOptions linkOptions;
    linkOptions.placements = settings.placements;
    const m51asm::LinkResult linked = m51asm::Link(objects, linkOptions);
    AddErrors(out, linked.program.errors, {});
    if (!out.diagnostics.empty())
        return out;

    out.code = linked.program.image;
    out.hex = linked.program.hex;
    std::vector<std::string> publics;
    for (const m51asm::Symbol& s : linked.program.symbols)
        publics.push_back(s.name);
    for (size_t i = 0; i < modules.size(); ++i) {
        m51asm::AssembleOptions o = OptionsFor(modules[i], settings);
        o.placed = true;
        o.segmentBases = linked.bases[i];
        o.externalValues = linked.externValues[i];
        const m51asm::AssembleResult placed = m51asm::Assemble(modules[i].bytes, o);
        out.listing += placed.listing;
        for (const m51asm::AddressMapEntry& e : placed.addressMap)
            out.lines.push_back({static_cast<int>(i), e.line - 1, e.address, e.size});
        if (i == shown) {
            std::vector<int> identity(m51asm::SplitLines(modules[i].bytes).size());
            for (size_t k = 0; k < identity.size(); ++k)
                identity[k] = static_cast<int>(k);
            std::vector<SourceMap::AddressEntry> entries;
            for (const m51asm::AddressMapEntry& e : placed.addressMap)
                entries.push_back({e.line, e.address, e.size});
            out.map = SourceMap(identity, entries);
        }
        for (const m51asm::Symbol& s : placed.symbols) {
            const bool isPublic = std::find(publics.begin(), publics.end(), s.name) != publics.end();
            out.symbols.push_back(SymbolOf(s, static_cast<int>(i), isPublic));
            if (s.kind == m51asm::SymbolKind::Code)
                out.functions.push_back({s.name, static_cast<uint16_t>(s.value), 0, static_cast<int>(i), s.line - 1, -1, {}});
        }
    }
    CloseFunctions(out, linked.program.empty ? 0u : linked.program.highest + 1u);
    out.ok = true;
    return out;
}

Program LinkedAssemblyBuild::run(const BuildInput& input) const
{
    std::vector<ModuleFile> modules{{input.bytes, input.path}};
    modules.insert(modules.end(), m_others.begin(), m_others.end());
    return LinkAssemblyModules(modules, m_settings);
}

} // namespace toolchain
