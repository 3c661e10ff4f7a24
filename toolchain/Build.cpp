#include "ProgramCode.h"

#include "Assembler.h"
#include "Compiler.h"
#include "FileWrite.h"
#include "IntelHex.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace m51dbg {

namespace {

std::vector<SourceMap::AddressEntry> Entries(const std::vector<m51asm::AddressMapEntry>& map)
{
    std::vector<SourceMap::AddressEntry> entries;
    entries.reserve(map.size());
    for (const auto& entry : map)
        entries.push_back({entry.line, entry.address, entry.size});
    return entries;
}

// Assembles `text`; errors on lines that came from M51 lines go there.
// m51c's programs keep the shortest jumps they have always had; an assembly
// source gets the ASM51 rule its own images were made with, and finds its
// include files beside itself.
void Assemble(ProgramCode& out, const std::string& text, const std::string& asmFileName, const std::vector<int>& lineMap,
              bool shortestJumps, const std::string& sourcePath = {})
{
    m51asm::AssembleOptions options;
    options.fileName = asmFileName;
    options.ignoreNolist = true;
    options.shortestJumps = shortestJumps;
    options.sourcePath = sourcePath;
    if (!sourcePath.empty())
        options.readFile = [](const std::string& path, std::string& bytes) {
            std::error_code ec;
            std::ifstream in(path, std::ios::binary);
            if (!std::filesystem::is_regular_file(path, ec) || !in)
                return false;
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return !in.bad();
        };
    const m51asm::AssembleResult assembled = m51asm::Assemble(text, options);
    for (const m51asm::AsmError& error : assembled.errors) {
        // A line of an include file is no line of the source and has no
        // place in the line map.
        const size_t index = static_cast<size_t>(error.line - 1);
        if (error.file.empty() && index < lineMap.size() && lineMap[index] >= 0)
            out.errors.push_back({false, lineMap[index] + 1, error.line, error.message, {}, error.context});
        else
            out.errors.push_back({true, error.line, 0, error.message, error.file, error.context});
    }
    out.listing = assembled.listing;
    if (!out.errors.empty())
        return;
    out.hex = assembled.hex;
    out.image = assembled.image;
    out.map = SourceMap(lineMap, Entries(assembled.addressMap));
    for (const m51asm::Symbol& symbol : assembled.symbols)
        if (symbol.kind == m51asm::SymbolKind::Code)
            out.labels.emplace_back(symbol.name, static_cast<uint16_t>(symbol.value));
    out.ok = true;
}

} // namespace

ProgramCode CompileM51(const std::string& sourceBytes, const std::string& asmFileName)
{
    return AssembleCompiled(m51::CompileSource(m51::SplitSourceLines(sourceBytes)), asmFileName);
}

ProgramCode AssembleCompiled(const m51::CompileResult& compiled, const std::string& asmFileName)
{
    ProgramCode out;
    for (const m51::Diagnostic& d : compiled.Diagnostics)
        out.errors.push_back({false, d.line, 0, m51::quoteForMessage(d.message), {}, {}, m51::Stage::Compiler, d.kind});
    if (!out.errors.empty())
        return out;
    for (const std::string& line : compiled.Output) {
        out.assembly += line;
        out.assembly += "\r\n";
    }
    Assemble(out, out.assembly, asmFileName, compiled.LineMap, true);
    return out;
}

ProgramCode AssembleProgram(const std::string& asmBytes, const std::string& asmFileName, const std::string& sourcePath)
{
    ProgramCode out;
    Assemble(out, asmBytes, asmFileName, {}, false, sourcePath);
    return out;
}

ProgramCode AssembleSource(const std::string& asmBytes, const std::string& asmFileName, const std::string& sourcePath)
{
    ProgramCode out;
    const size_t lines = m51::SplitSourceLines(asmBytes).size();
    std::vector<int> identity(lines);
    for (size_t i = 0; i < lines; ++i)
        identity[i] = int(i);
    Assemble(out, asmBytes, asmFileName, identity, false, sourcePath);
    for (BuildError& error : out.errors)
        if (!error.onAssembly)
            error.asmLine = 0;  // the assembly line is the source line
    out.assembly = asmBytes;
    return out;
}

ProgramCode ReadHexProgram(const std::string& hexText)
{
    ProgramCode out;
    HexError error;
    out.image = ReadIntelHex(hexText, error);
    if (out.image.empty()) {
        out.errors.push_back({false, error.line, 0, "not a valid Intel HEX file: " + error.reason, {}, {}, m51::Stage::Files});
        return out;
    }
    out.hex = hexText;
    out.ok = true;
    return out;
}

m51::Diagnostic ToDiagnostic(const BuildError& error, const std::string& asmName)
{
    m51::Diagnostic d;
    d.file = !error.file.empty() ? error.file : error.onAssembly ? asmName : std::string();
    d.line = error.line;
    d.stage = error.stage;
    d.kind = error.kind;
    d.message = error.message;
    d.context = error.context;
    d.asmLine = error.asmLine;
    return d;
}

std::string FormatBuildError(const BuildError& error, const std::string& sourceName, const std::string& asmName)
{
    std::string text = !error.file.empty() ? error.file : error.onAssembly ? asmName : sourceName;
    if (error.line > 0)
        text += ':' + std::to_string(error.line);
    text += ": " + error.message;
    if (error.asmLine > 0)
        text += " (assembly line " + std::to_string(error.asmLine) + ')';
    if (!error.context.empty())
        text += ", " + error.context;
    return text;
}

} // namespace m51dbg
