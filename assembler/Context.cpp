// The run's context: errors by row, and where a row was read from (its file
// and line, the line of the source it counts for, and the chain of includes
// and macro calls that led to it).
#include "assembler/Context.h"
#include "common/FileWrite.h"

#include <algorithm>
#include <cstdio>

namespace m51asm {

Context::Context(std::string_view text, const AssembleOptions& opts)
    : source(text), options(opts),
      dialect(opts.dialect == Dialect::Auto ? DetectDialect(text) : opts.dialect), rules(RulesOf(dialect)),
      modules(opts.module || opts.placed), placed(opts.placed)
{
    evalStack.resize(16);
}

void Context::Error(std::int32_t row, std::string message)
{
    // Messages quote source text: a hostile source must not reach the
    // terminal's control sequences, nor a megabyte line the screen.
    errors.push_back({row, m51::quoteForMessage(message, kMessageChars), {}, {}});
}

void Context::Warning(std::int32_t row, std::string message)
{
    warnings.push_back({row, m51::quoteForMessage(message, kMessageChars), {}, {}});
}

const Run& Context::RunOf(std::int32_t row) const
{
    static const Run kNone{1, 0, 0, 1, {}};
    const auto it = std::upper_bound(runs.begin(), runs.end(), row,
                                     [](std::int32_t r, const Run& run) { return r < run.firstRow; });
    return it == runs.begin() ? kNone : *(it - 1);
}

std::int32_t Context::FileLine(std::int32_t row) const
{
    const Run& run = RunOf(row);
    return run.firstLine + (row - run.firstRow);
}

std::int32_t Context::MainLine(std::int32_t row) const
{
    const Run& run = RunOf(row);
    if (run.origin == 0)
        return run.firstLine + (row - run.firstRow);
    return origins[static_cast<std::size_t>(run.origin)].mainLine;
}

std::string Context::Where(std::int32_t row) const
{
    const Run& run = RunOf(row);
    const std::string line = std::to_string(run.firstLine + (row - run.firstRow));
    return run.file == 0 ? "line " + line : files[static_cast<std::size_t>(run.file)].name + ":" + line;
}

std::string Context::Chain(std::int32_t row) const
{
    // The source by its name here, where the including file is named too.
    const auto Where = [this](std::int32_t r) {
        const Run& run = RunOf(r);
        if (run.file != 0 || files.empty() || files[0].name.empty())
            return this->Where(r);
        return files[0].name + ":" + std::to_string(run.firstLine + (r - run.firstRow));
    };
    std::string chain;
    std::int32_t origin = RunOf(row).origin;
    for (int guard = 0; origin > 0 && guard < 200; ++guard) {
        const Origin& o = origins[static_cast<std::size_t>(origin)];
        if (!chain.empty())
            chain += ", ";
        if (o.macro.empty())
            chain += "included from " + Where(o.parentRow);
        else
            chain += "in " + (o.macro == "REPT" || o.macro == "IRP" || o.macro == "IRPC"
                                  ? std::string(o.macro) : "macro " + std::string(o.macro)) +
                     ", called at " + Where(o.parentRow);
        origin = RunOf(o.parentRow).origin;
    }
    return chain;
}

std::string Hex4(std::uint32_t value)
{
    // At least four digits (more for a value past 0FFFFH), "0" before a
    // leading letter digit, then "H".
    constexpr char kDigits[] = "0123456789ABCDEF";
    char buffer[16];
    char* end = buffer + sizeof buffer;
    char* p = end;
    *--p = 'H';
    int digits = 0;
    do {
        *--p = kDigits[value & 15];
        value >>= 4;
        ++digits;
    } while (value || digits < 4);
    if (*p > '9')
        *--p = '0';
    return std::string(p, static_cast<std::size_t>(end - p));
}

} // namespace m51asm
