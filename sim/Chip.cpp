#include "sim/Chip.h"

#include <algorithm>
#include <cctype>

namespace sim {

namespace {

// Memory sizes and extras per derivative. The ROM-less parts (8031, 8032)
// fetch everything from external code memory: codeSize 0 means 64 KB external.
const std::vector<Chip>& table()
{
    static const std::vector<Chip> chips = {
        {"8051", 128, 4096, false, false, false, 0},
        {"8031", 128, 0, false, false, false, 0},
        {"8751", 128, 4096, false, false, false, 0},
        {"8052", 256, 8192, true, false, false, 0},
        {"8032", 256, 0, true, false, false, 0},
        {"AT89C51", 128, 4096, false, false, false, 0},
        {"AT89C52", 256, 8192, true, false, false, 0, true},
        {"AT89C2051", 128, 2048, false, false, false, 0},
        {"AT89C4051", 128, 4096, false, false, false, 0},
        {"AT89S51", 128, 4096, false, true, true, 0},
        {"AT89S52", 256, 8192, true, true, true, 0, true},
        {"AT89S8253", 256, 12288, true, true, true, 0, true},
        {"DS89C430", 256, 16384, true, true, true, 1024, true},
        {"DS89C450", 256, 65536, true, true, true, 1024, true},
        {"STC89C52RC", 256, 8192, true, true, true, 256, true},
        {"STC89C516RD", 256, 63488, true, true, true, 1024, true},
        {"P89V51RD2", 256, 65536, true, true, true, 768, true},
    };
    return chips;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

const Chip* findChip(std::string_view name)
{
    for (const Chip& chip : table())
        if (sameName(chip.name, name))
            return &chip;
    return nullptr;
}

std::vector<std::string> chipNames()
{
    std::vector<std::string> names;
    for (const Chip& chip : table())
        names.push_back(chip.name);
    return names;
}

}  // namespace sim
