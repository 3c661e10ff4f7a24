#include "toolchain/CdbProgram.h"

#include "common/FileRead.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

namespace toolchain {
namespace {

namespace fs = std::filesystem;
using Kind = sdcc::TypeLink::Kind;

// Builds the model's types from SDCC's type chains, each distinct type once.
class TypeTable {
public:
    TypeTable(Program& program, const sdcc::CdbFile& cdb) : m_program(program), m_cdb(cdb) {}

    int of(const sdcc::Type& type) { return chain(type, 0, static_cast<int>(type.size)); }

private:
    int add(Type type)
    {
        const std::string key = std::to_string(static_cast<int>(type.kind)) + '|' + type.name + '|'
            + std::to_string(type.size) + '|' + std::to_string(type.target) + '|' + std::to_string(type.count) + '|'
            + std::to_string(type.isSigned) + std::to_string(static_cast<int>(type.space)) + std::to_string(type.generic);
        if (const auto it = m_known.find(key); it != m_known.end())
            return it->second;
        m_program.types.push_back(std::move(type));
        const int index = static_cast<int>(m_program.types.size()) - 1;
        m_known.emplace(key, index);
        return index;
    }

    int base(const sdcc::Type& whole, const sdcc::TypeLink& link, int size)
    {
        Type type;
        type.size = size;
        type.isSigned = whole.isSigned;
        switch (link.kind) {
        case Kind::Char: type.name = "char"; break;
        case Kind::Short: type.name = "short"; break;
        case Kind::Int: type.name = size == 8 ? "long long" : "int"; break;
        case Kind::Long: type.name = size == 8 ? "long long" : "long"; break;
        case Kind::Fixed16x16: type.name = "__fixed16x16"; break;
        case Kind::Float: type.kind = Type::Kind::Float; type.name = "float"; break;
        case Kind::Void: type.kind = Type::Kind::Void; type.name = "void"; break;
        case Kind::Sbit: case Kind::Bool: case Kind::BitField:
            type.kind = Type::Kind::Bit;
            type.name = link.kind == Kind::Sbit ? "__sbit" : "__bit";
            break;
        case Kind::Struct: return structure(link.structName, size);
        default: break;
        }
        if (type.kind == Type::Kind::Integer && !type.isSigned)
            type.name = "unsigned " + type.name;
        return add(std::move(type));
    }

    int structure(const std::string& name, int size)
    {
        if (const auto it = m_structs.find(name); it != m_structs.end())
            return it->second;
        Type type;
        type.kind = Type::Kind::Struct;
        type.name = name;
        type.size = size;
        const int index = add(type);
        m_structs.emplace(name, index);  // a structure that holds a pointer to itself
        const auto found = std::find_if(m_cdb.structures.begin(), m_cdb.structures.end(),
                                        [&](const sdcc::Structure& s) { return s.name == name; });
        if (found == m_cdb.structures.end())
            return index;
        std::vector<Field> fields;
        bool overlapping = found->members.size() > 1;
        for (const sdcc::Member& member : found->members) {
            Field field;
            field.name = member.symbol.name;
            field.offset = static_cast<int>(member.offset);
            field.type = of(member.symbol.type);
            const sdcc::TypeLink& last = member.symbol.type.chain.back();
            if (last.kind == Kind::BitField) {
                field.bitOffset = last.bitOffset;
                field.bitWidth = last.bitWidth;
            }
            overlapping = overlapping && member.offset == 0;
            fields.push_back(std::move(field));
        }
        Type& stored = m_program.types[static_cast<std::size_t>(index)];
        stored.fields = std::move(fields);
        if (overlapping)
            stored.kind = Type::Kind::Union;
        return index;
    }

    int chain(const sdcc::Type& whole, std::size_t at, int size)
    {
        const sdcc::TypeLink& link = whole.chain[at];
        if (at + 1 == whole.chain.size())
            return base(whole, link, size);
        Type type;
        type.size = size;
        switch (link.kind) {
        case Kind::Array: {
            type.kind = Type::Kind::Array;
            type.count = static_cast<int>(link.count);
            const int element = link.count ? size / static_cast<int>(link.count) : 0;
            type.target = chain(whole, at + 1, element);
            type.name = m_program.types[static_cast<std::size_t>(type.target)].name + " [" + std::to_string(link.count) + "]";
            break;
        }
        case Kind::Function:
            return chain(whole, at + 1, 2);  // what a function returns
        default: {
            type.kind = Type::Kind::Pointer;
            type.generic = link.kind == Kind::GenericPointer;
            type.space = link.kind == Kind::CodePointer       ? Storage::Code
                : link.kind == Kind::ExternalPointer || link.kind == Kind::PagedPointer ? Storage::ExternalRam
                                                                                        : Storage::InternalRam;
            type.target = chain(whole, at + 1, naturalSize(whole, at + 1));
            type.name = m_program.types[static_cast<std::size_t>(type.target)].name + " *";
            break;
        }
        }
        return add(std::move(type));
    }

    // The size of what a pointer points to: its chain says the kind, not the size.
    int naturalSize(const sdcc::Type& whole, std::size_t at)
    {
        const sdcc::TypeLink& link = whole.chain[at];
        switch (link.kind) {
        case Kind::Array: return static_cast<int>(link.count) * naturalSize(whole, at + 1);
        case Kind::Function: return 2;
        case Kind::GenericPointer: return 3;
        case Kind::CodePointer: case Kind::ExternalPointer: return 2;
        case Kind::InternalPointer: case Kind::PagedPointer: case Kind::IdataPointer: return 1;
        case Kind::Short: case Kind::Int: return 2;
        case Kind::Long: case Kind::Float: case Kind::Fixed16x16: return 4;
        case Kind::Struct: return structureSize(link.structName);
        case Kind::Void: return 0;
        default: return 1;
        }
    }

    int structureSize(const std::string& name)
    {
        const auto found = std::find_if(m_cdb.structures.begin(), m_cdb.structures.end(),
                                        [&](const sdcc::Structure& s) { return s.name == name; });
        if (found == m_cdb.structures.end())
            return 0;
        std::uint32_t size = 0;
        for (const sdcc::Member& member : found->members)
            size = std::max(size, member.offset + member.symbol.type.size);
        return static_cast<int>(size);
    }

    Program& m_program;
    const sdcc::CdbFile& m_cdb;
    std::map<std::string, int> m_known;
    std::map<std::string, int> m_structs;
};

Storage storageOf(sdcc::Space space)
{
    switch (space) {
    case sdcc::Space::ExternalStack:
    case sdcc::Space::InternalStack: return Storage::StackRelative;
    case sdcc::Space::Code:
    case sdcc::Space::CodeStatic: return Storage::Code;
    case sdcc::Space::External:
    case sdcc::Space::Paged: return Storage::ExternalRam;
    case sdcc::Space::Bit:
    case sdcc::Space::Sbit: return Storage::Bit;
    case sdcc::Space::Sfr: return Storage::Sfr;
    case sdcc::Space::Register: return Storage::Register;
    default: return Storage::InternalRam;
    }
}

// "r6" -> 6.
int registerNumber(const std::string& name)
{
    return name.size() == 2 && (name[0] == 'r' || name[0] == 'R') && name[1] >= '0' && name[1] <= '7' ? name[1] - '0' : -1;
}

// SDCC keeps the frame of a reentrant function at `_bp`, a byte of internal
// RAM the .cdb does not name. Each such function starts `PUSH _bp; MOV
// _bp,SP`, so the address is read from the first prologue that has it.
void addFramePointer(Program& program)
{
    const auto& code = program.code;
    for (const Function& f : program.functions) {
        const std::size_t end = std::min<std::size_t>(f.start + 16u, code.size());
        for (std::size_t a = f.start; a + 2 < end; ++a) {
            if (code[a] != 0x85 || code[a + 1] != 0x81)  // MOV direct,SP
                continue;
            Symbol bp;
            bp.name = "_bp";
            bp.storage = Storage::InternalRam;
            bp.address = code[a + 2];
            program.symbols.push_back(std::move(bp));
            return;
        }
    }
}

using AddressKey = std::tuple<sdcc::ScopeKind, std::string, std::string, int>;

AddressKey keyOf(const sdcc::Scope& scope, const std::string& name, int block)
{
    return {scope.kind, scope.kind == sdcc::ScopeKind::File ? scope.module : scope.function, name, block};
}

// The addresses of `__bit` variables, which the .cdb leaves out, from the
// relocated listings of the modules that declare them.
void addBitAddresses(sdcc::CdbFile& cdb, const fs::path& folder)
{
    std::set<std::string> modules;
    for (const sdcc::Symbol& s : cdb.symbols) {
        if (s.space != sdcc::Space::Bit)
            continue;
        const bool placed = std::any_of(cdb.addresses.begin(), cdb.addresses.end(), [&](const sdcc::SymbolAddress& a) {
            return a.name == s.name && a.scope.kind == s.scope.kind;
        });
        if (!placed)
            modules.insert(s.scope.kind == sdcc::ScopeKind::Global ? std::string() : s.scope.module);
    }
    if (modules.count(std::string()))  // a global's module is not named: look in every one
        modules.insert(cdb.modules.begin(), cdb.modules.end());
    for (const std::string& module : modules) {
        std::string reason;
        if (const auto rst = m51::readFileBounded((folder / (module + ".rst")).string(), m51::kSourceLimit, reason))
            sdcc::AddListingAddresses(*rst, cdb);
    }
}

// SDCC's assembly of each module the .cdb places instructions of (its
// "L:A$module$line" records), read from NAME.asm in `folder` where it is.
// A line's instruction reaches to the next one's, at most the three bytes of
// the longest 8051 instruction.
void addModuleAssemblies(Program& program, const sdcc::CdbFile& cdb, const fs::path& folder)
{
    std::map<std::string, std::vector<const sdcc::AsmLine*>> byModule;
    for (const sdcc::AsmLine& line : cdb.asmLines)
        byModule[line.module].push_back(&line);
    for (auto& [module, lines] : byModule) {
        const fs::path path = folder / (module + ".asm");
        std::string reason;
        const std::optional<std::string> text = m51::readFileBounded(path.string(), m51::kSourceLimit, reason);
        if (!text)
            continue;
        std::stable_sort(lines.begin(), lines.end(), [](const auto* a, const auto* b) { return a->address < b->address; });
        std::vector<SourceMap::AddressEntry> entries;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::uint32_t next = i + 1 < lines.size() ? lines[i + 1]->address : lines[i]->address + 1;
            const int size = static_cast<int>(std::min<std::uint32_t>(next - lines[i]->address, 3));
            entries.push_back({lines[i]->line, static_cast<int>(lines[i]->address), size});
        }
        ModuleAssembly assembly;
        assembly.path = path.string();
        const std::string cSource = module + ".c";
        const auto source = std::find_if(program.files.begin(), program.files.end(), [&](const std::string& file) {
            return fs::path(file).filename() == cSource;
        });
        assembly.file = source == program.files.end() ? -1 : static_cast<int>(source - program.files.begin());
        assembly.text = *text;
        assembly.map = SourceMap({}, entries);
        program.moduleAssemblies.push_back(std::move(assembly));
    }
}

} // namespace

void AddCdb(Program& program, const sdcc::CdbFile& cdb, const std::string& sourceFolder)
{
    // Files: every C file a line record names, in the order first named.
    std::map<std::string, int> fileIndex;
    auto fileOf = [&](const std::string& name) {
        if (const auto it = fileIndex.find(name); it != fileIndex.end())
            return it->second;
        program.files.push_back((fs::path(sourceFolder) / name).lexically_normal().string());
        const int index = static_cast<int>(program.files.size()) - 1;
        fileIndex.emplace(name, index);
        return index;
    };
    auto moduleFile = [&](const std::string& module) { return fileOf(module + ".c"); };

    std::map<AddressKey, std::uint32_t> addresses;
    std::map<std::string, std::uint32_t> ends;
    for (const sdcc::SymbolAddress& a : cdb.addresses) {
        if (a.isEnd)
            ends[a.name] = a.address;
        else
            addresses.emplace(keyOf(a.scope, a.name, a.block), a.address);
    }

    // C lines, each reaching to the next line's code.
    std::vector<sdcc::CLine> lines = cdb.cLines;
    std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.address < b.address; });
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::size_t next = i + 1;
        while (next < lines.size() && lines[next].address == lines[i].address)
            ++next;
        const std::uint32_t end = next < lines.size() ? lines[next].address : lines[i].address + 1;
        LineRange range;
        range.file = fileOf(lines[i].file);
        range.line = lines[i].line - 1;
        range.address = static_cast<std::uint16_t>(lines[i].address);
        range.size = static_cast<std::uint16_t>(std::min<std::uint32_t>(end - lines[i].address, 0xFFFF));
        const bool repeated = std::any_of(program.lines.begin(), program.lines.end(), [&](const LineRange& r) {
            return r.file == range.file && r.line == range.line && r.address == range.address;
        });
        if (!repeated)
            program.lines.push_back(range);
    }

    TypeTable types(program, cdb);
    for (const sdcc::Function& f : cdb.functions) {
        const auto start = addresses.find(keyOf(f.symbol.scope, f.symbol.name, f.symbol.block));
        if (start == addresses.end())
            continue;  // removed by the linker or the optimiser
        Function function;
        function.name = f.symbol.name;
        function.start = static_cast<std::uint16_t>(start->second);
        const auto end = ends.find(f.symbol.name);
        function.end = end != ends.end() ? end->second + 1 : function.start;
        function.returnType = types.of(f.symbol.type);
        function.interrupt = f.isInterrupt ? f.interruptNumber : -1;
        for (const LineRange& r : program.lines)
            if (r.address == function.start) {
                function.file = r.file;
                function.line = r.line;
                break;
            }
        program.functions.push_back(std::move(function));
    }
    std::sort(program.functions.begin(), program.functions.end(),
              [](const Function& a, const Function& b) { return a.start < b.start; });

    for (const sdcc::Symbol& s : cdb.symbols) {
        if (s.type.chain.front().kind == Kind::Function)
            continue;  // functions are in `functions`
        Symbol symbol;
        symbol.name = s.name;
        symbol.storage = storageOf(s.space);
        symbol.type = types.of(s.type);
        if (s.scope.kind == sdcc::ScopeKind::Local) {
            const auto owner = std::find_if(program.functions.begin(), program.functions.end(),
                                            [&](const Function& f) { return f.name == s.scope.function; });
            symbol.function = owner == program.functions.end() ? -1 : static_cast<int>(owner - program.functions.begin());
            symbol.scope = s.level > 1 ? Scope::Block : Scope::Function;
        } else if (s.scope.kind == sdcc::ScopeKind::File) {
            symbol.scope = Scope::File;
            symbol.file = moduleFile(s.scope.module);
        }
        if (symbol.storage == Storage::Register) {
            for (const std::string& r : s.registers)
                symbol.registers.push_back(registerNumber(r));
            symbol.address = symbol.registers.empty() ? -1 : symbol.registers.front();
        } else if (symbol.storage == Storage::StackRelative) {
            symbol.address = s.stackOffset;
        } else {
            const auto address = addresses.find(keyOf(s.scope, s.name, s.block));
            if (address == addresses.end())
                continue;  // no place: optimised away
            symbol.address = static_cast<std::int32_t>(address->second);
        }
        program.symbols.push_back(std::move(symbol));
    }
    const bool framed = std::any_of(program.symbols.begin(), program.symbols.end(),
                                    [](const Symbol& s) { return s.storage == Storage::StackRelative; });
    if (framed && !program.findSymbol("_bp"))
        addFramePointer(program);
}

HexBuild::DebugInfoReader CdbReader()
{
    return [](Program& program, const BuildInput& input) {
        if (input.path.empty())
            return;
        const fs::path image(input.path);
        fs::path cdbPath = image;
        cdbPath.replace_extension(".cdb");
        std::error_code error;
        if (!fs::is_regular_file(cdbPath, error))
            return;
        auto warn = [&](int line, std::string message) {
            Diagnostic d;
            d.file = cdbPath.string();
            d.line = line;
            d.severity = m51::Severity::Warning;
            d.stage = m51::Stage::Files;
            d.message = std::move(message) + "; the program runs without C lines";
            program.diagnostics.push_back(std::move(d));
        };
        if (fs::last_write_time(cdbPath, error) < fs::last_write_time(image, error)) {
            warn(0, "the debug information is older than " + image.filename().string());
            return;
        }
        std::string reason;
        const std::optional<std::string> text = m51::readFileBounded(cdbPath.string(), m51::kSourceLimit, reason);
        if (!text) {
            warn(0, reason);
            return;
        }
        sdcc::CdbReadResult cdb = sdcc::ReadCdb(*text);
        if (cdb.error) {
            warn(cdb.error->line, cdb.error->message);
            return;
        }
        addBitAddresses(cdb.file, image.parent_path());
        program.language = Language::C;
        AddCdb(program, cdb.file, image.parent_path().string());
        addModuleAssemblies(program, cdb.file, image.parent_path());
    };
}

} // namespace toolchain
