#include "common/PlainText.h"

namespace m51 {

std::size_t LineCountGuess(std::string_view text)
{
    std::size_t count = 1;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end && (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))))) {
        ++count;
        ++p;
    }
    return count;
}

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    lines.reserve(LineCountGuess(text));
    ForEachLine(text, [&](std::string_view line, std::int32_t) {
        lines.push_back(line);
        return true;
    });
    return lines;
}

} // namespace m51
