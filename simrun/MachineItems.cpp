#include "simrun/MachineItems.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>

namespace m51sim {

namespace {

// Register names and their SFR addresses (A is ACC).
const std::map<std::string, unsigned>& SfrNames()
{
    static const std::map<std::string, unsigned> names{
        {"A", 0xE0},    {"ACC", 0xE0},  {"B", 0xF0},    {"PSW", 0xD0},  {"SP", 0x81},   {"DPL", 0x82},
        {"DPH", 0x83},  {"P0", 0x80},   {"P1", 0x90},   {"P2", 0xA0},   {"P3", 0xB0},   {"PCON", 0x87},
        {"TCON", 0x88}, {"TMOD", 0x89}, {"TL0", 0x8A},  {"TL1", 0x8B},  {"TH0", 0x8C},  {"TH1", 0x8D},
        {"SCON", 0x98}, {"SBUF", 0x99}, {"IE", 0xA8},   {"IP", 0xB8},   {"T2CON", 0xC8}, {"RCAP2L", 0xCA},
        {"RCAP2H", 0xCB}, {"TL2", 0xCC}, {"TH2", 0xCD},
    };
    return names;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool ParseUnsigned(const std::string& text, uint64_t& value, int base = 10)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

std::string Hex(unsigned value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

} // namespace

std::optional<PrintItem> ParsePrintItem(const std::string& text)
{
    PrintItem item;
    item.text = text;
    const size_t open = text.find('[');
    if (open == std::string::npos) {
        item.name = Upper(text);
        if (item.name == "LCD" || item.name == "7SEG") {
            item.kind = item.name == "LCD" ? PrintItem::Kind::Lcd : PrintItem::Kind::SevenSeg;
            return item;
        }
        const bool known = SfrNames().count(item.name) || item.name == "PC" || item.name == "DPTR"
            || (item.name.size() == 2 && item.name[0] == 'R' && item.name[1] >= '0' && item.name[1] <= '7');
        if (!known)
            return std::nullopt;
        return item;
    }
    if (text.back() != ']')
        return std::nullopt;
    const std::string space = Upper(text.substr(0, open));
    std::string address = text.substr(open + 1, text.size() - open - 2);
    if (address.size() > 1 && (address.back() == 'h' || address.back() == 'H'))
        address.pop_back();  // 30H means the same as 30
    uint64_t value = 0;
    if (!ParseUnsigned(address, value, 16))
        return std::nullopt;
    static const std::map<std::string, std::pair<PrintItem::Kind, uint64_t>> spaces{
        {"IRAM", {PrintItem::Kind::Iram, 0xFF}},
        {"XRAM", {PrintItem::Kind::Xram, 0xFFFF}},
        {"SFR", {PrintItem::Kind::Sfr, 0xFF}},
        {"CODE", {PrintItem::Kind::Code, 0xFFFF}},
    };
    const auto it = spaces.find(space);
    if (it == spaces.end() || value > it->second.second)
        return std::nullopt;
    if (it->second.first == PrintItem::Kind::Sfr && value < 0x80)
        return std::nullopt;
    item.kind = it->second.first;
    item.address = static_cast<unsigned>(value);
    return item;
}

std::vector<PrintItem> DefaultPrints()
{
    std::vector<PrintItem> items;
    for (const char* name : {"A", "B", "PSW", "SP", "DPTR", "PC", "R0", "R1", "R2", "R3", "R4", "R5", "R6", "R7", "P0",
                             "P1", "P2", "P3"})
        items.push_back(*ParsePrintItem(name));
    return items;
}

std::string FormatByte(const PrintItem& item, uint8_t value) { return item.text + '=' + Hex(value, 2); }

std::optional<std::string> FormatItem(const PrintItem& item, const m51dbg::MachineState& machine)
{
    const std::optional<unsigned> value = ItemValue(item, machine);
    if (!value)
        return std::nullopt;
    const bool wide = item.kind == PrintItem::Kind::Register && (item.name == "PC" || item.name == "DPTR");
    return item.text + '=' + Hex(*value, wide ? 4 : 2);
}

std::optional<unsigned> ItemValue(const PrintItem& item, const m51dbg::MachineState& machine)
{
    switch (item.kind) {
    case PrintItem::Kind::Iram:
        return machine.iram[item.address];
    case PrintItem::Kind::Sfr:
        return machine.sfrAt(item.address);
    case PrintItem::Kind::Xram:
    case PrintItem::Kind::Code:
    case PrintItem::Kind::Lcd:
    case PrintItem::Kind::SevenSeg:
    case PrintItem::Kind::CExpression:
        return std::nullopt;
    case PrintItem::Kind::Register:
        break;
    }
    if (item.name == "PC")
        return machine.pc;
    if (item.name == "DPTR")
        return machine.dptr();
    if (item.name.size() == 2 && item.name[0] == 'R' && std::isdigit(static_cast<unsigned char>(item.name[1])))
        return machine.r(static_cast<unsigned>(item.name[1] - '0'));
    return machine.sfrAt(SfrNames().at(item.name));
}

} // namespace m51sim
