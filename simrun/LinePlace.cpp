#include "simrun/LinePlace.h"

#include <charconv>
#include <filesystem>
#include <map>

namespace m51sim {

namespace {

namespace fs = std::filesystem;

std::optional<int> LineNumber(std::string_view text)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 100000000)
        return std::nullopt;
    return value;
}

// True when `path` is `name` or ends with it at a folder boundary.
bool Names(const fs::path& path, const fs::path& name)
{
    auto p = path.end(), n = name.end();
    while (n != name.begin()) {
        if (p == path.begin() || *--p != *--n)
            return false;
    }
    return true;
}

} // namespace

std::optional<LinePlace> ParseLinePlace(std::string_view text)
{
    const size_t colon = text.find_last_of(':');
    if (colon == std::string_view::npos) {
        const auto line = LineNumber(text);
        return line ? std::optional<LinePlace>(LinePlace{{}, *line}) : std::nullopt;
    }
    const auto line = LineNumber(text.substr(colon + 1));
    if (!line || colon == 0)
        return std::nullopt;
    return LinePlace{std::string(text.substr(0, colon)), *line};
}

int FindSourceFile(const toolchain::Program& program, const std::string& name, std::string& error)
{
    const fs::path wanted = fs::path(name).lexically_normal();
    std::error_code ec;
    int found = -1, matches = 0;
    for (size_t i = 0; i < program.files.size(); ++i) {
        const fs::path file = fs::path(program.files[i]).lexically_normal();
        if (file == wanted || fs::equivalent(file, wanted, ec))
            return static_cast<int>(i);
        if (!wanted.is_absolute() && Names(file, wanted)) {
            found = static_cast<int>(i);
            ++matches;
        }
    }
    if (matches == 1)
        return found;
    error = matches ? name + " names more than one source file of the program; give more of its path"
                    : "the program has no source file " + name;
    return -1;
}

LineStart FindLineStart(const toolchain::Program& program, const LinePlace& place)
{
    LineStart start;
    start.file = FindSourceFile(program, place.file, start.error);
    if (start.file < 0)
        return start;
    // The first address of every line with code in that file.
    std::map<int, uint16_t> lines;
    for (const toolchain::LineRange& range : program.lines)
        if (range.file == start.file) {
            const auto [it, added] = lines.emplace(range.line, range.address);
            if (!added && range.address < it->second)
                it->second = range.address;
        }
    const auto it = lines.lower_bound(place.line - 1);
    if (it == lines.end()) {
        start.file = -1;
        start.error = "line " + std::to_string(place.line) + " of " + place.file + " has no code and none follows";
        return start;
    }
    start.line = it->first;
    start.address = it->second;
    return start;
}

} // namespace m51sim
