#include "ProgramCode.h"

#include "Assembler.h"
#include "Compiler.h"
#include "FileWrite.h"
#include "IntelHex.h"

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

// Drops the "12 " line prefix of a compiler list entry.
std::string EntryMessage(const std::string& text)
{
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    const size_t from = digits > 0 && digits < text.size() && text[digits] == ' ' ? digits + 1 : 0;
    return m51::quoteForMessage(std::string_view(text).substr(from));
}

// Assembles `text`; errors on lines that came from M51 lines go there.
void Assemble(ProgramCode& out, const std::string& text, const std::string& asmFileName, const std::vector<int>& lineMap)
{
    m51asm::AssembleOptions options;
    options.fileName = asmFileName;
    options.ignoreNolist = true;
    const m51asm::AssembleResult assembled = m51asm::Assemble(text, options);
    for (const m51asm::AsmError& error : assembled.errors) {
        const size_t index = static_cast<size_t>(error.line - 1);
        if (index < lineMap.size() && lineMap[index] >= 0)
            out.errors.push_back({false, lineMap[index] + 1, error.line, error.message});
        else
            out.errors.push_back({true, error.line, 0, error.message});
    }
    out.listing = assembled.listing;
    if (!out.errors.empty())
        return;
    out.hex = assembled.hex;
    out.image = assembled.image;
    out.map = SourceMap(lineMap, Entries(assembled.addressMap));
    out.ok = true;
}

} // namespace

ProgramCode CompileM51(const std::string& sourceBytes, const std::string& asmFileName)
{
    ProgramCode out;
    const m51::CompileResult compiled = m51::CompileSource(m51::SplitSourceLines(sourceBytes));
    for (const m51::ListEntry& entry : compiled.ErBox)
        out.errors.push_back({false, entry.line < 0 ? 0 : entry.line + 1, 0, EntryMessage(entry.text)});
    if (!out.errors.empty())
        return out;
    for (const std::string& line : compiled.Output) {
        out.assembly += line;
        out.assembly += "\r\n";
    }
    Assemble(out, out.assembly, asmFileName, compiled.LineMap);
    return out;
}

ProgramCode AssembleProgram(const std::string& asmBytes, const std::string& asmFileName)
{
    ProgramCode out;
    Assemble(out, asmBytes, asmFileName, {});
    return out;
}

ProgramCode ReadHexProgram(const std::string& hexText)
{
    ProgramCode out;
    out.image = ReadIntelHex(hexText);
    if (out.image.empty()) {
        out.errors.push_back({false, 0, 0, "not a valid Intel HEX file"});
        return out;
    }
    out.hex = hexText;
    out.ok = true;
    return out;
}

std::string FormatBuildError(const BuildError& error, const std::string& sourceName, const std::string& asmName)
{
    std::string text = error.onAssembly ? asmName : sourceName;
    if (error.line > 0)
        text += ':' + std::to_string(error.line);
    text += ": " + error.message;
    if (error.asmLine > 0)
        text += " (assembly line " + std::to_string(error.asmLine) + ')';
    return text;
}

} // namespace m51dbg
