// Fuzz target: the input bytes are a source file. They are split into lines as
// m51c and the editor split them and compiled; besides the sanitizers' own
// checks, the compile's promises are asserted: every source line yields at
// least one output line, every output line has its source line in the line
// map, and every list entry starts with a valid line index and refers to a line.
#include "compiler/Compiler.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// True when `entry` starts with a decimal index below `lineCount` and a blank,
// and refers to a line of the source.
bool startsWithLineIndex(const m51::ListEntry& listEntry, std::size_t lineCount)
{
    const std::string& entry = listEntry.text;
    if (listEntry.line < 0 || static_cast<std::size_t>(listEntry.line) >= lineCount)
        return false;
    std::size_t i = 0;
    std::size_t value = 0;
    while (i < entry.size() && entry[i] >= '0' && entry[i] <= '9' && i < 12)
        value = value * 10 + static_cast<std::size_t>(entry[i++] - '0');
    return i > 0 && i < entry.size() && entry[i] == ' ' && value < lineCount;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = m51::SplitSourceLines(bytes);
    const m51::CompileResult result = m51::CompileSource(lines);

    check(result.Output.size() >= lines.size());
    check(result.LineMap.size() == result.Output.size());
    for (std::size_t i = 0; i < result.LineMap.size(); ++i)
        check(result.LineMap[i] >= 0 && static_cast<std::size_t>(result.LineMap[i]) < lines.size() &&
              (i == 0 || result.LineMap[i] >= result.LineMap[i - 1]));
    for (const auto* list : {&result.ProcBox, &result.Definebox, &result.ErBox})
        for (const m51::ListEntry& entry : *list)
            check(startsWithLineIndex(entry, lines.size()));
    return 0;
}
