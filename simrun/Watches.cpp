#include "simrun/Watches.h"

#include "compiler/Compiler.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace m51dbg {

namespace {

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

const std::map<std::string, unsigned>& Sfrs()
{
    static const std::map<std::string, unsigned> names{
        {"ACC", 0xE0},  {"B", 0xF0},    {"PSW", 0xD0},  {"SP", 0x81},   {"DPL", 0x82},   {"DPH", 0x83},
        {"P0", 0x80},   {"P1", 0x90},   {"P2", 0xA0},   {"P3", 0xB0},   {"PCON", 0x87},  {"TCON", 0x88},
        {"TMOD", 0x89}, {"TL0", 0x8A},  {"TL1", 0x8B},  {"TH0", 0x8C},  {"TH1", 0x8D},   {"SCON", 0x98},
        {"SBUF", 0x99}, {"IE", 0xA8},   {"IP", 0xB8},   {"T2CON", 0xC8}, {"RCAP2L", 0xCA}, {"RCAP2H", 0xCB},
        {"TL2", 0xCC},  {"TH2", 0xCD},
    };
    return names;
}

// The 8051's named bits: SFR address and bit.
const std::map<std::string, unsigned>& Bits()
{
    static const std::map<std::string, unsigned> names{
        {"CY", 0xD7}, {"AC", 0xD6}, {"F0", 0xD5}, {"RS1", 0xD4}, {"RS0", 0xD3}, {"OV", 0xD2}, {"P", 0xD0},
        {"TF1", 0x8F}, {"TR1", 0x8E}, {"TF0", 0x8D}, {"TR0", 0x8C}, {"IE1", 0x8B}, {"IT1", 0x8A}, {"IE0", 0x89},
        {"IT0", 0x88}, {"SM0", 0x9F}, {"SM1", 0x9E}, {"SM2", 0x9D}, {"REN", 0x9C}, {"TB8", 0x9B}, {"RB8", 0x9A},
        {"TI", 0x99}, {"RI", 0x98}, {"EA", 0xAF}, {"ET2", 0xAD}, {"ES", 0xAC}, {"ET1", 0xAB}, {"EX1", 0xAA},
        {"ET0", 0xA9}, {"EX0", 0xA8}, {"PT2", 0xBD}, {"PS", 0xBC}, {"PT1", 0xBB}, {"PX1", 0xBA}, {"PT0", 0xB9},
        {"PX0", 0xB8}, {"RD", 0xB7}, {"WR", 0xB6}, {"T1", 0xB5}, {"T0", 0xB4}, {"INT1", 0xB3}, {"INT0", 0xB2},
        {"TXD", 0xB1}, {"RXD", 0xB0},
    };
    return names;
}

// An M51 or assembly number: 25, 0FFH, 30h, 1010B.
std::optional<long> Number(const std::string& text)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    std::string digits = Upper(text);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && digits[1] == 'X')
        digits = digits.substr(2), base = 16;
    else if (digits.back() == 'H')
        digits.pop_back(), base = 16;
    else if (digits.back() == 'B' && digits.find_first_not_of("01B") == std::string::npos)
        digits.pop_back(), base = 2;
    if (digits.empty())
        return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(digits.c_str(), &end, base);
    if (*end)
        return std::nullopt;
    return value;
}

// A bit: P1.0, 20H.1, ACC.7, a named bit or a bit address.
std::optional<unsigned> BitAddress(const std::string& text)
{
    const std::string u = Upper(text);
    if (auto it = Bits().find(u); it != Bits().end())
        return it->second;
    const size_t dot = u.find('.');
    if (dot == std::string::npos) {
        const auto n = Number(u);
        return n && *n >= 0 && *n < 256 ? std::optional<unsigned>(static_cast<unsigned>(*n)) : std::nullopt;
    }
    const auto bit = Number(u.substr(dot + 1));
    if (!bit || *bit < 0 || *bit > 7)
        return std::nullopt;
    const std::string byte = u.substr(0, dot);
    unsigned address = 0;
    if (auto it = Sfrs().find(byte == "A" ? "ACC" : byte); it != Sfrs().end())
        address = it->second;
    else if (auto n = Number(byte))
        address = static_cast<unsigned>(*n);
    else
        return std::nullopt;
    if (address >= 0x20 && address <= 0x2F)
        return (address - 0x20) * 8 + static_cast<unsigned>(*bit);
    if (address >= 0x80 && (address & 7) == 0)
        return address + static_cast<unsigned>(*bit);
    return std::nullopt;
}

std::string Hex(unsigned long value, int digits)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%0*lX", digits, value);
    return buffer;
}

} // namespace

SourceNames NamesOf(const toolchain::Program& program)
{
    SourceNames names;
    for (const toolchain::Symbol& symbol : program.symbols) {
        if (symbol.scope != toolchain::Scope::Global)
            continue;
        if (symbol.storage == toolchain::Storage::Constant)
            names[Upper(symbol.name)] = WatchTarget{WatchTarget::Kind::Constant, WatchSpace::Iram, 0, 0, 0, symbol.address};
        else if (symbol.storage == toolchain::Storage::Bit)
            names[Upper(symbol.name)] = WatchTarget{WatchTarget::Kind::Bit, WatchSpace::Iram, static_cast<unsigned>(symbol.address)};
    }
    return names;
}

SourceNames CollectSourceNames(const std::string& m51Source)
{
    SourceNames names;
    for (const m51::Definition& d : m51::CompileSource(m51::SplitSourceLines(m51Source)).Definitions) {
        if (!d.bit) {
            if (const auto n = Number(d.value))
                names[Upper(d.name)] = WatchTarget{WatchTarget::Kind::Constant, WatchSpace::Iram, 0, 0, 0, *n};
        } else if (const auto bit = BitAddress(d.value)) {
            names[Upper(d.name)] = WatchTarget{WatchTarget::Kind::Bit, WatchSpace::Iram, *bit};
        }
    }
    return names;
}

WatchParse ParseWatch(const std::string& expression, const SourceNames& names)
{
    std::string text;
    for (char c : expression)
        if (!std::isspace(static_cast<unsigned char>(c)))
            text += c;
    const std::string u = Upper(text);
    WatchParse result;
    auto byteAt = [](WatchSpace space, unsigned address) {
        return WatchTarget{WatchTarget::Kind::Byte, space, address};
    };
    if (u.empty()) {
        result.error = "an empty watch";
        return result;
    }
    if (const size_t open = u.find('['); open != std::string::npos) {
        if (u.back() != ']') {
            result.error = "a ] is missing";
            return result;
        }
        const std::string space = u.substr(0, open), inner = u.substr(open + 1, u.size() - open - 2);
        std::optional<long> address;
        if (auto it = names.find(inner); it != names.end() && it->second.kind == WatchTarget::Kind::Constant)
            address = it->second.value;
        else
            address = Number(inner.empty() || inner.back() == 'H' ? inner : inner + "H");
        static const std::map<std::string, std::pair<WatchSpace, long>> spaces{
            {"IRAM", {WatchSpace::Iram, 0xFF}}, {"SFR", {WatchSpace::Sfr, 0xFF}},
            {"XRAM", {WatchSpace::Xram, 0xFFFF}}, {"CODE", {WatchSpace::Code, 0xFFFF}},
        };
        const auto it = spaces.find(space);
        if (it == spaces.end()) {
            result.error = "memory is iram, xram, sfr or code, not " + text.substr(0, open);
            return result;
        }
        if (!address || *address < 0 || *address > it->second.second || (it->second.first == WatchSpace::Sfr && *address < 0x80)) {
            result.error = "'" + text.substr(open + 1, text.size() - open - 2) + "' is no address of " + text.substr(0, open);
            return result;
        }
        result.target = byteAt(it->second.first, static_cast<unsigned>(*address));
        return result;
    }
    if (auto it = names.find(u); it != names.end()) {
        result.target = it->second;
        return result;
    }
    if (u == "PC") {
        result.target = WatchTarget{WatchTarget::Kind::Pc};
    } else if (u == "DPTR") {
        result.target = WatchTarget{WatchTarget::Kind::Word, WatchSpace::Sfr, 0x83, 0x82};
    } else if (u.size() == 2 && u[0] == 'R' && u[1] >= '0' && u[1] <= '7') {
        result.target = WatchTarget{WatchTarget::Kind::Register, WatchSpace::Iram, 0, 0, static_cast<unsigned>(u[1] - '0')};
    } else if (u == "A" || Sfrs().count(u)) {
        result.target = byteAt(WatchSpace::Sfr, Sfrs().at(u == "A" ? "ACC" : u));
    } else if (u.rfind("BUFFER", 0) == 0 && u.size() == 7 && u[6] >= '1' && u[6] <= '9') {
        result.target = byteAt(WatchSpace::Iram, 0x10 + static_cast<unsigned>(u[6] - '1'));
    } else if (u.rfind("COUNT", 0) == 0 && u.size() == 6 && u[5] >= '1' && u[5] <= '8') {
        result.target = byteAt(WatchSpace::Iram, 0x08 + static_cast<unsigned>(u[5] - '1'));
    } else if (u.rfind("MEM", 0) == 0 && Number(u.substr(3)) && *Number(u.substr(3)) <= 207) {
        result.target = byteAt(WatchSpace::Iram, 0x30 + static_cast<unsigned>(*Number(u.substr(3))));
    } else if (const auto bit = (u.find('.') != std::string::npos || Bits().count(u)) ? BitAddress(u) : std::nullopt) {
        result.target = WatchTarget{WatchTarget::Kind::Bit, WatchSpace::Iram, *bit};
    } else {
        result.error = "no such name in this program";
    }
    return result;
}

namespace {

// A bit address: the byte it lives in (internal RAM 20H-2FH or an SFR).
std::pair<WatchSpace, unsigned> BitByte(unsigned bit)
{
    return bit < 0x80 ? std::pair{WatchSpace::Iram, 0x20 + bit / 8} : std::pair{WatchSpace::Sfr, bit & 0xF8};
}

} // namespace

long ReadWatch(const WatchTarget& t, const ByteReader& read, uint16_t pc)
{
    switch (t.kind) {
    case WatchTarget::Kind::Constant: return t.value;
    case WatchTarget::Kind::Pc: return pc;
    case WatchTarget::Kind::Byte: return read(t.space, t.address);
    case WatchTarget::Kind::Word: return read(t.space, t.address) << 8 | read(t.space, t.address2);
    case WatchTarget::Kind::Register: return read(WatchSpace::Iram, (read(WatchSpace::Sfr, 0xD0) & 0x18) + t.reg);
    case WatchTarget::Kind::Bit: {
        const auto [space, byte] = BitByte(t.address);
        return (read(space, byte) >> (t.address & 7)) & 1;
    }
    }
    return 0;
}

bool WriteWatch(const WatchTarget& t, long value, const ByteReader& read, const ByteWriter& write)
{
    if (!t.writable())
        return false;
    switch (t.kind) {
    case WatchTarget::Kind::Byte: write(t.space, t.address, static_cast<uint8_t>(value)); return true;
    case WatchTarget::Kind::Word:
        write(t.space, t.address, static_cast<uint8_t>(value >> 8));
        write(t.space, t.address2, static_cast<uint8_t>(value));
        return true;
    case WatchTarget::Kind::Register:
        write(WatchSpace::Iram, (read(WatchSpace::Sfr, 0xD0) & 0x18) + t.reg, static_cast<uint8_t>(value));
        return true;
    case WatchTarget::Kind::Bit: {
        const auto [space, byte] = BitByte(t.address);
        const uint8_t mask = static_cast<uint8_t>(1u << (t.address & 7)), old = read(space, byte);
        write(space, byte, static_cast<uint8_t>(value ? old | mask : old & ~mask));
        return true;
    }
    default: return false;
    }
}

std::string FormatWatch(const WatchTarget& t, long value, WatchFormat format)
{
    const bool bit = t.kind == WatchTarget::Kind::Bit;
    const bool wide = t.kind == WatchTarget::Kind::Word || t.kind == WatchTarget::Kind::Pc
        || (t.kind == WatchTarget::Kind::Constant && (value > 0xFF || value < 0));
    const unsigned long u = static_cast<unsigned long>(value) & (wide ? 0xFFFFu : 0xFFu);
    switch (format) {
    case WatchFormat::Hex: return bit ? std::to_string(value) : Hex(u, wide ? 4 : 2) + "H";
    case WatchFormat::Decimal: return std::to_string(t.kind == WatchTarget::Kind::Constant ? value : static_cast<long>(u));
    case WatchFormat::Binary: {
        std::string out;
        for (int i = bit ? 0 : wide ? 15 : 7; i >= 0; --i)
            out += (u >> i) & 1 ? '1' : '0';
        return out;
    }
    case WatchFormat::Char:
        if (bit || wide)
            return {};
        return u >= 0x20 && u < 0x7F ? "'" + std::string(1, static_cast<char>(u)) + "'" : std::string("\xC2\xB7");
    }
    return {};
}

std::optional<long> ParseWatchValue(const std::string& text)
{
    std::string t;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            t += c;
    if (t.size() == 3 && t.front() == '\'' && t.back() == '\'')
        return static_cast<unsigned char>(t[1]);
    if (!t.empty() && t[0] == '-') {
        const auto n = Number(t.substr(1));
        return n ? std::optional<long>(-*n) : std::nullopt;
    }
    // A hexadecimal value may start with a letter when written with H (FFH).
    if (!t.empty() && std::isalpha(static_cast<unsigned char>(t[0])))
        t = "0" + t;
    return Number(t);
}

std::optional<long> ParseWatchValue(const std::string& text, WatchFormat column)
{
    std::string t;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            t += c;
    if (column == WatchFormat::Char && t.size() == 1)
        return static_cast<unsigned char>(t[0]);
    const int base = column == WatchFormat::Hex ? 16 : column == WatchFormat::Binary ? 2 : 10;
    const bool negative = !t.empty() && t[0] == '-';
    const std::string digits = negative ? t.substr(1) : t;
    const char* allowed = base == 16 ? "0123456789abcdefABCDEF" : base == 2 ? "01" : "0123456789";
    // Plain digits of the column's base; anything marked is read as marked.
    if (base == 2 && !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos
        && digits.find_first_not_of("01") != std::string::npos)
        return std::nullopt;
    if (base == 10 || digits.empty() || digits.find_first_not_of(allowed) != std::string::npos)
        return ParseWatchValue(text);
    const long value = std::strtol(digits.c_str(), nullptr, base);
    return negative ? -value : value;
}

} // namespace m51dbg
