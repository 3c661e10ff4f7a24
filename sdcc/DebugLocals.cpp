#include "sdcc/DebugLocals.h"

#include "sdcc/CdbFile.h"

#include <algorithm>
#include <set>
#include <utility>

namespace sdcc {
namespace {

using Key = std::pair<std::string, std::string>;  // function, name

std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

std::vector<std::string> wordsOf(std::string_view text)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
        words.emplace_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

// SDCC's own spill locations ("sloc0") are listed too; they are no C names.
bool isSpillLocation(const std::string& name)
{
    return name.size() > 4 && name.rfind("sloc", 0) == 0
        && std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The locals the .adb has a record of.
std::set<Key> recordedLocals(std::string_view adb)
{
    std::set<Key> keys;
    for (std::string_view line : linesOf(adb)) {
        if (line.rfind("S:L", 0) != 0)
            continue;
        const CdbReadResult read = ReadCdb(line);
        for (const Symbol& s : read.file.symbols)
            if (s.scope.kind == ScopeKind::Local)
                keys.insert({s.scope.function, s.name});
    }
    return keys;
}

} // namespace

std::vector<LocalAllocation> ReadLocalAllocations(std::string_view asmText)
{
    static constexpr std::string_view header = ";Allocation info for local variables in function '";
    std::vector<LocalAllocation> locals;
    std::string function;
    int rules = 0;  // the dashed lines seen since the header: entries lie after the first
    for (std::string_view line : linesOf(asmText)) {
        if (line.rfind(header, 0) == 0) {
            const std::string_view rest = line.substr(header.size());
            function = std::string(rest.substr(0, rest.find('\'')));
            rules = 0;
            continue;
        }
        if (function.empty())
            continue;
        if (line.rfind(";---", 0) == 0) {
            if (++rules == 2)
                function.clear();
            continue;
        }
        if (rules != 1 || line.empty() || line[0] != ';')
            continue;
        const std::vector<std::string> words = wordsOf(line.substr(1));
        if (words.size() < 2 || words[1] != "Allocated" || isSpillLocation(words[0]))
            continue;
        LocalAllocation local{function, words[0], false, {}};
        if (words.size() >= 4 && words[2] == "to" && words[3] == "registers") {
            local.inRegisters = true;
            local.registers.assign(words.begin() + 4, words.end());
        }
        locals.push_back(std::move(local));
    }
    return locals;
}

bool LacksLocalRecords(std::string_view adb, const std::vector<LocalAllocation>& allocations)
{
    const std::set<Key> recorded = recordedLocals(adb);
    return std::any_of(allocations.begin(), allocations.end(),
                       [&](const LocalAllocation& a) { return !recorded.count({a.function, a.name}); });
}

std::string MissingLocalRecords(std::string_view adb, std::string_view complete,
                                const std::vector<LocalAllocation>& allocations)
{
    const std::set<Key> recorded = recordedLocals(adb);
    std::string records;
    for (std::string_view line : linesOf(complete)) {
        if (line.rfind("S:L", 0) != 0)
            continue;
        const CdbReadResult read = ReadCdb(line);
        if (read.error || read.file.symbols.size() != 1)
            continue;
        const Symbol& s = read.file.symbols.front();
        const auto allocation = std::find_if(allocations.begin(), allocations.end(), [&](const LocalAllocation& a) {
            return a.function == s.scope.function && a.name == s.name;
        });
        if (s.scope.kind != ScopeKind::Local || allocation == allocations.end()
            || recorded.count({s.scope.function, s.name}))
            continue;
        const bool inRegisters = s.space == Space::Register;
        if (inRegisters != allocation->inRegisters || (inRegisters && s.registers != allocation->registers))
            continue;
        records.append(line);
        records += '\n';
    }
    return records;
}

} // namespace sdcc
