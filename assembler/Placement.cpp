// Placements as command lines and project files write them.
#include "assembler/Linker.h"

#include <charconv>

namespace m51asm {

namespace {

bool ParseAddress(std::string_view t, std::uint32_t& value)
{
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
        t.remove_suffix(1);
    int radix = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        t.remove_prefix(2);
        radix = 16;
    } else if (t.size() > 1 && (t.back() == 'H' || t.back() == 'h')) {
        t.remove_suffix(1);
        radix = 16;
    }
    const auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), value, radix);
    return ec == std::errc() && p == t.data() + t.size() && !t.empty() && value <= 0xFFFF;
}

} // namespace

bool ParsePlacement(std::string_view text, Placement& placement)
{
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return false;
    std::string_view name = text.substr(0, eq);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    if (name.empty() || name.find_first_of(" \t") != std::string_view::npos)
        return false;
    placement.segment = std::string(name);
    return ParseAddress(text.substr(eq + 1), placement.address);
}

} // namespace m51asm
