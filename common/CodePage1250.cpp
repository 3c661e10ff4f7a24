#include "common/CodePage1250.h"

#include <algorithm>
#include <array>
#include <utility>

namespace cp1250 {

namespace {

// 80H..FFH; below 80H the code page is ASCII.
constexpr char16_t kHigh[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80H
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88H
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90H
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98H
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0H
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8H
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0H
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8H
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0H
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8H
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0H
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8H
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0H
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8H
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0H
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8H
};

// The table turned round, sorted by character, for the way back.
using Reverse = std::array<std::pair<char16_t, unsigned char>, 128>;

const Reverse& ReverseTable()
{
    static const Reverse table = [] {
        Reverse built{};
        for (unsigned i = 0; i < 128; ++i)
            built[i] = {kHigh[i], static_cast<unsigned char>(0x80 + i)};
        std::sort(built.begin(), built.end());
        return built;
    }();
    return table;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

char16_t ToUnicode(unsigned char byte)
{
    return byte < 0x80 ? byte : kHigh[byte - 0x80];
}

int FromUnicode(char32_t character)
{
    if (character < 0x80)
        return static_cast<int>(character);
    const Reverse& table = ReverseTable();
    const auto at = std::lower_bound(table.begin(), table.end(), character,
                                     [](const auto& entry, char32_t c) { return entry.first < c; });
    return at != table.end() && at->first == character ? at->second : -1;
}

std::string ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes)
        AppendUtf8(out, ToUnicode(static_cast<unsigned char>(byte)));
    return out;
}

std::string FromUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
        char32_t c = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool whole = length > 0 && i + static_cast<size_t>(length) <= text.size();
        for (int k = 1; whole && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            whole = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        if (!whole) {
            out += '?';
            ++i;
            continue;
        }
        if (length == 1)
            c = lead;
        i += static_cast<size_t>(length);
        const int byte = FromUnicode(c);
        out += byte >= 0 ? std::string(1, static_cast<char>(byte)) : c > 0xFFFF ? "??" : "?";
    }
    return out;
}

} // namespace cp1250
