#include "toolchain/Program.h"

#include <algorithm>

namespace toolchain {

namespace {

bool SameName(std::string_view a, std::string_view b)
{
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return upper(x) == upper(y); });
}

} // namespace

std::vector<SourceLine> Program::linesAt(uint16_t address) const
{
    std::vector<SourceLine> found;
    for (const LineRange& range : lines)
        if (address >= range.address && address < range.address + range.size)
            found.push_back({range.file, range.line});
    return found;
}

std::vector<std::pair<uint16_t, uint16_t>> Program::rangesOf(int file, int line) const
{
    std::vector<std::pair<uint16_t, uint16_t>> ranges;
    for (const LineRange& range : lines)
        if (range.file == file && range.line == line)
            ranges.emplace_back(range.address, range.size);
    std::sort(ranges.begin(), ranges.end());
    return ranges;
}

const Function* Program::functionAt(uint16_t address) const
{
    const Function* found = nullptr;
    for (const Function& function : functions)
        if (address >= function.start && address < std::max<uint32_t>(function.end, function.start + 1u)
            && (!found || function.start >= found->start))
            found = &function;
    return found;
}

const ModuleAssembly* Program::moduleAssemblyAt(uint16_t address) const
{
    for (const ModuleAssembly& module : moduleAssemblies)
        if (module.map.instructionAt(address))
            return &module;
    return nullptr;
}

const Symbol* Program::findSymbol(std::string_view name) const
{
    const Symbol* found = nullptr;
    for (const Symbol& symbol : symbols)
        if (SameName(symbol.name, name) && (!found || (symbol.scope == Scope::Global && found->scope != Scope::Global)))
            found = &symbol;
    return found;
}

std::vector<std::pair<std::string, uint16_t>> Program::codeLabels() const
{
    std::vector<std::pair<std::string, uint16_t>> labels;
    for (const Symbol& symbol : symbols)
        if (symbol.storage == Storage::Code)
            labels.emplace_back(symbol.name, static_cast<uint16_t>(symbol.address));
    return labels;
}

void LinesFromMap(Program& program)
{
    program.lines.clear();
    for (const Instruction& instruction : program.map.instructions())
        if (instruction.sourceLine >= 0)
            program.lines.push_back({0, instruction.sourceLine, instruction.address, instruction.size});
}

void CloseFunctions(Program& program, uint32_t codeEnd)
{
    std::stable_sort(program.functions.begin(), program.functions.end(),
                     [](const Function& a, const Function& b) { return a.start < b.start; });
    for (size_t i = 0; i < program.functions.size(); ++i) {
        Function& function = program.functions[i];
        uint32_t end = std::max<uint32_t>(codeEnd, function.start);
        for (size_t j = i + 1; j < program.functions.size(); ++j)
            if (program.functions[j].start > function.start) {
                end = program.functions[j].start;
                break;
            }
        function.end = end;
    }
}

} // namespace toolchain
