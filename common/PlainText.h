#pragma once
// Small readers of plain text that every program shares, so that all of them
// agree on what a hexadecimal digit is and where a line ends. Plain C++ (no
// Qt): the command-line tools, the sanitizer and the Windows builds use it too.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace m51 {

// The value of one hexadecimal digit (0-9, A-F, a-f), or -1 for any other
// character; each caller decides what a bad digit means to it.
constexpr int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Calls f(line, number) for each line of `text` until f returns false. Lines
// end at CR LF, LF or a lone CR and are numbered from 1; a final line break
// adds no line, so empty text has none. The search runs at memchr speed,
// since the compiler and the assembler walk whole sources this way.
template <class F>
void ForEachLine(std::string_view text, F&& f)
{
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t start = 0;
    std::size_t lf = 0;  // the next LF at or after start (size: none); kept while ahead
    bool lfKnown = false;
    std::int32_t number = 0;
    while (start < size) {
        if (!lfKnown || lf < start) {
            const void* found = std::memchr(data + start, '\n', size - start);
            lf = found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : size;
            lfKnown = true;
        }
        std::size_t end = lf;
        std::size_t next = end + 1;
        if (const void* cr = std::memchr(data + start, '\r', end - start)) {
            const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(cr) - data);
            next = at + 1 == end && lf < size ? end + 1 : at + 1;
            end = at;
        }
        if (!f(text.substr(start, end - start), ++number))
            return;
        start = next;
    }
}

// The lines of `text` as ForEachLine finds them, viewing into `text`.
std::vector<std::string_view> SplitLines(std::string_view text);

// One line per LF, plus one: room to reserve before collecting lines (found
// at memchr speed; lines ended by a lone CR come on top).
std::size_t LineCountGuess(std::string_view text);

} // namespace m51
