#include "Assembler.h"

namespace m51asm {

std::vector<std::uint8_t> AssembleResult::Binary() const
{
    if (empty)
        return {};
    return std::vector<std::uint8_t>(image.begin() + lowest, image.begin() + highest + 1);
}

std::vector<std::string_view> SplitLines(std::string_view source)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] != '\r' && source[i] != '\n')
            continue;
        lines.push_back(source.substr(start, i - start));
        if (source[i] == '\r' && i + 1 < source.size() && source[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < source.size())
        lines.push_back(source.substr(start));
    return lines;
}

AssembleResult Assemble(std::string_view, const AssembleOptions&)
{
    AssembleResult r;
    r.image.assign(0x10000, 0xFF);
    r.written.assign(0x10000, false);
    r.errors.push_back({1, "assembler not built yet"});
    return r;
}

std::vector<AddressMapEntry> ReadListingAddressMap(std::string_view)
{
    return {};
}

} // namespace m51asm
