#include "toolchain/Build.h"

#include "toolchain/AssemblyProject.h"
#include "toolchain/CBuild.h"
#include "toolchain/CdbProgram.h"

#include "assembler/Assembler.h"
#include "assembler/SourceFiles.h"
#include "compiler/Compiler.h"
#include "common/FileWrite.h"
#include "common/PlainText.h"
#include "toolchain/IntelHex.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>

namespace toolchain {

namespace {

// The source map of an assembled program: the assembler's address map
// composed with the line map of the source the assembly came from.
SourceMap MapOf(const std::vector<int>& lineMap, const std::vector<m51asm::AddressMapEntry>& map)
{
    std::vector<SourceMap::AddressEntry> entries;
    entries.reserve(map.size());
    for (const auto& entry : map)
        entries.push_back({entry.line, entry.address, entry.size});
    return SourceMap(lineMap, entries);
}

// The compiler's line map as written to disk; false (and the line) at a line that is not one.
bool ReadLineMap(std::string_view text, std::vector<int>& lineMap, int& badLine)
{
    bool ok = true;
    m51::ForEachLine(text, [&](std::string_view line, int32_t number) {
        std::istringstream fields{std::string(line)};
        long asmLine = 0, sourceLine = 0;
        std::string rest;
        if (!(fields >> asmLine >> sourceLine) || (fields >> rest) || asmLine < 1 || asmLine > 10000000
            || sourceLine < -10000000 || sourceLine > 10000000) {
            badLine = number;
            ok = false;
            return false;
        }
        if (lineMap.size() < static_cast<size_t>(asmLine))
            lineMap.resize(asmLine, -1);
        lineMap[asmLine - 1] = static_cast<int>(sourceLine) - 1;
        return true;
    });
    return ok;
}

std::string Upper(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return upper;
}

// The types every assembler symbol has: a byte of RAM and a bit.
enum : int { ByteType = 0, BitType = 1 };

void AddAssemblerTypes(Program& out)
{
    Type byte;
    byte.name = "byte";
    Type bit;
    bit.kind = Type::Kind::Bit;
    bit.name = "bit";
    bit.size = 0;
    out.types = {byte, bit};
}

// What an assembler symbol is in the model: DATA addresses from 80H on are
// the special function registers.
Symbol SymbolOf(const m51asm::Symbol& symbol)
{
    Symbol s;
    s.name = symbol.name;
    s.address = symbol.value;
    switch (symbol.kind) {
    case m51asm::SymbolKind::Code: s.storage = Storage::Code; break;
    case m51asm::SymbolKind::Data:
        s.storage = symbol.value >= 0x80 ? Storage::Sfr : Storage::InternalRam;
        s.type = ByteType;
        break;
    case m51asm::SymbolKind::IData: s.storage = Storage::InternalRam; s.type = ByteType; break;
    case m51asm::SymbolKind::XData: s.storage = Storage::ExternalRam; s.type = ByteType; break;
    case m51asm::SymbolKind::Bit: s.storage = Storage::Bit; s.type = BitType; break;
    case m51asm::SymbolKind::Number: s.storage = Storage::Constant; break;
    case m51asm::SymbolKind::Register: s.storage = Storage::Register; s.type = ByteType; break;
    }
    return s;
}

// The one place an assembler error becomes a diagnostic: on a line that came
// from a source line (the line map) it is that line's, with the assembly line
// beside it; else it is a line of the assembly (or of an include file).
Diagnostic DiagnosticOf(const m51asm::AsmError& error, const std::string& asmFileName, const std::vector<int>& lineMap)
{
    Diagnostic d;
    d.stage = m51::Stage::Assembler;
    d.message = error.message;
    d.context = error.context;
    // A line of an include file is no line of the source and has no place in the line map.
    const size_t index = static_cast<size_t>(error.line - 1);
    if (error.file.empty() && index < lineMap.size() && lineMap[index] >= 0) {
        d.line = lineMap[index] + 1;
        d.asmLine = error.line;
        return d;
    }
    d.file = error.file.empty() ? asmFileName : error.file;
    d.line = error.line;
    return d;
}

// Assembles `text`; errors on lines that came from source lines go there.
// m51c's programs keep the shortest jumps they have always had; an assembly
// source gets the ASM51 rule its own images were made with, and finds its
// include files beside itself.
void Assemble(Program& out, const std::string& text, const std::string& asmFileName, const std::vector<int>& lineMap,
              bool shortestJumps, const std::string& sourcePath = {}, m51asm::Dialect dialect = m51asm::Dialect::Auto)
{
    m51asm::AssembleOptions options;
    options.dialect = dialect;
    options.fileName = asmFileName;
    options.ignoreNolist = true;
    options.shortestJumps = shortestJumps;
    options.sourcePath = sourcePath;
    if (!sourcePath.empty())
        m51asm::ReadIncludesFromDisk(options);
    const m51asm::AssembleResult assembled = m51asm::Assemble(text, options);
    out.assemblyName = asmFileName;
    for (const m51asm::AsmError& error : assembled.errors)
        out.diagnostics.push_back(DiagnosticOf(error, asmFileName, lineMap));
    out.listing = assembled.listing;
    if (!out.diagnostics.empty())
        return;
    out.hex = assembled.hex;
    out.code = assembled.image;
    out.map = MapOf(lineMap, assembled.addressMap);
    LinesFromMap(out);
    AddAssemblerTypes(out);
    for (const m51asm::Symbol& symbol : assembled.symbols)
        out.symbols.push_back(SymbolOf(symbol));
    out.ok = true;
}

uint32_t CodeEnd(const Program& program)
{
    uint32_t end = 0;
    for (const Instruction& instruction : program.map.instructions())
        end = std::max<uint32_t>(end, instruction.address + instruction.size);
    return end;
}

Function FunctionAt(const Symbol& symbol)
{
    Function function;
    function.name = symbol.name;
    function.start = static_cast<uint16_t>(symbol.address);
    function.file = 0;
    function.line = symbol.line;
    return function;
}

// An M51 program's own names: its procedures are functions, they, DEFINE
// and DEFINEBIT names are global; the compiler's labels stay in the file.
void NameM51Symbols(Program& out, const m51::CompileResult& compiled)
{
    auto defined = [&compiled](const std::string& name, bool bit) {
        const std::string upper = Upper(name);
        return std::any_of(compiled.Definitions.begin(), compiled.Definitions.end(),
                           [&](const m51::Definition& d) { return d.bit == bit && Upper(d.name) == upper; });
    };
    const std::vector<std::string>& procedures = compiled.ProcedureNames;
    for (Symbol& symbol : out.symbols) {
        const bool own = symbol.storage == Storage::Code
                             ? std::find(procedures.begin(), procedures.end(), symbol.name) != procedures.end()
                         : symbol.storage == Storage::Constant || symbol.storage == Storage::Bit
                             ? defined(symbol.name, symbol.storage == Storage::Bit)
                             : false;
        symbol.scope = own ? Scope::Global : Scope::File;
        symbol.file = 0;
        for (const m51::Definition& d : compiled.Definitions)
            if (own && Upper(d.name) == Upper(symbol.name))
                symbol.line = d.line;
        if (own && symbol.storage == Storage::Code) {
            symbol.line = out.map.sourceLineAt(static_cast<uint16_t>(symbol.address)).value_or(-1);
            out.functions.push_back(FunctionAt(symbol));
        }
    }
    CloseFunctions(out, CodeEnd(out));
}

// Every label of an assembly source starts a function: the call stack names
// frames by them.
void NameAssemblySymbols(Program& out)
{
    for (Symbol& symbol : out.symbols) {
        symbol.file = 0;
        if (symbol.storage == Storage::Code)
            out.functions.push_back(FunctionAt(symbol));
    }
    CloseFunctions(out, CodeEnd(out));
}

} // namespace

Program CompileM51(const std::string& sourceBytes, const std::string& asmFileName)
{
    return AssembleCompiled(m51::CompileSource(m51::SplitSourceLines(sourceBytes)), asmFileName);
}

Program AssembleCompiled(const m51::CompileResult& compiled, const std::string& asmFileName)
{
    Program out;
    out.language = Language::M51;
    out.assemblyName = asmFileName;
    for (const m51::Diagnostic& d : compiled.Diagnostics) {
        Diagnostic copy = d;
        copy.message = m51::quoteForMessage(d.message);
        out.diagnostics.push_back(std::move(copy));
    }
    if (!out.diagnostics.empty())
        return out;
    for (const std::string& line : compiled.Output) {
        out.assembly += line;
        out.assembly += "\r\n";
    }
    Assemble(out, out.assembly, asmFileName, compiled.LineMap, true);
    if (out.ok)
        NameM51Symbols(out, compiled);
    return out;
}

Program AssembleProgram(const std::string& asmBytes, const std::string& asmFileName, const std::string& sourcePath)
{
    Program out;
    out.language = Language::Assembly;
    Assemble(out, asmBytes, asmFileName, {}, false, sourcePath);
    out.assembly = asmBytes;
    if (out.ok)
        NameAssemblySymbols(out);
    return out;
}

Program AssembleSource(const std::string& asmBytes, const std::string& asmFileName, const std::string& sourcePath,
                       m51asm::Dialect dialect)
{
    Program out;
    out.language = Language::Assembly;
    const size_t lines = m51::SplitSourceLines(asmBytes).size();
    std::vector<int> identity(lines);
    for (size_t i = 0; i < lines; ++i)
        identity[i] = int(i);
    Assemble(out, asmBytes, asmFileName, identity, false, sourcePath, dialect);
    for (Diagnostic& d : out.diagnostics)
        d.asmLine = 0;  // the assembly line is the source line
    out.assembly = asmBytes;
    if (out.ok)
        NameAssemblySymbols(out);
    return out;
}

Program ReadHexProgram(const std::string& hexText)
{
    Program out;
    out.language = Language::Hex;
    HexError error;
    out.code = ReadIntelHex(hexText, error);
    if (out.code.empty()) {
        Diagnostic d;
        d.line = error.line;
        d.stage = m51::Stage::Files;
        d.message = "not a valid Intel HEX file: " + error.reason;
        out.diagnostics.push_back(d);
        return out;
    }
    out.hex = hexText;
    out.ok = true;
    return out;
}

Program ReadListedProgram(std::string_view listing, const std::string* lineMap, const std::string& lineMapName)
{
    Program out;
    out.language = lineMap ? Language::M51 : Language::Assembly;
    std::vector<int> lines;
    int badLine = 0;
    if (lineMap && !ReadLineMap(*lineMap, lines, badLine)) {
        Diagnostic d;
        d.file = lineMapName;
        d.line = badLine;
        d.stage = m51::Stage::Files;
        d.message = "not \"ASMLINE M51LINE\"";
        out.diagnostics.push_back(std::move(d));
        return out;
    }
    out.map = MapOf(lines, m51asm::ReadListingAddressMap(listing));
    LinesFromMap(out);
    out.ok = true;
    return out;
}

Program M51Build::run(const BuildInput& input) const
{
    Program out = CompileM51(input.bytes, input.asmName);
    out.files = {input.path};
    return out;
}

Program AssemblyBuild::run(const BuildInput& input) const
{
    Program out = m_sourceLines ? AssembleSource(input.bytes, input.asmName, input.path)
                                : AssembleProgram(input.bytes, input.asmName, input.path);
    out.files = {input.path};
    return out;
}

Program HexBuild::run(const BuildInput& input) const
{
    Program out = ReadHexProgram(input.bytes);
    if (!out.ok)
        return out;
    for (const DebugInfoReader& read : m_readers)
        read(out, input);
    return out;
}

Language LanguageOf(std::string_view path)
{
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return Language::M51;
    const std::string extension = Upper(path.substr(dot));
    if (extension == ".ASM" || extension == ".A51" || extension == ".A51PROJ")
        return Language::Assembly;
    if (extension == ".HEX" || extension == ".IHX")
        return Language::Hex;
    if (extension == ".C" || extension == ".M51PROJ")
        return Language::C;
    return Language::M51;
}

std::unique_ptr<Build> BuildFor(Language language)
{
    switch (language) {
    case Language::Assembly: return std::make_unique<AssemblyProjectBuild>();
    case Language::Hex: return std::make_unique<HexBuild>(std::vector<HexBuild::DebugInfoReader>{CdbReader()});
    case Language::C: return std::make_unique<CBuild>();
    case Language::M51: break;
    }
    return std::make_unique<M51Build>();
}

std::vector<Diagnostic> NamedDiagnostics(const Program& program, const std::string& sourceName,
                                         const std::string& asmName)
{
    std::vector<Diagnostic> named = program.diagnostics;
    for (Diagnostic& d : named)
        d.file = d.file.empty() ? sourceName : d.file == program.assemblyName ? asmName : d.file;
    return named;
}

std::string FormatBuildMessage(const Diagnostic& d)
{
    std::string text = d.file;
    if (d.line > 0)
        text += ':' + std::to_string(d.line);
    text += ": " + d.message;
    if (d.asmLine > 0)
        text += " (assembly line " + std::to_string(d.asmLine) + ')';
    if (!d.context.empty())
        text += ", " + d.context;
    return text;
}

} // namespace toolchain
