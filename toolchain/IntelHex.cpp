#include "toolchain/IntelHex.h"

namespace toolchain {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::vector<uint8_t> ReadIntelHex(std::string_view text)
{
    std::vector<uint8_t> image(0x10000, 0xFF);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line.front() != ':' || line.size() < 11 || (line.size() - 1) % 2 != 0)
            return {};
        std::vector<uint8_t> bytes;
        for (size_t i = 1; i + 1 < line.size(); i += 2) {
            const int high = HexDigit(line[i]), low = HexDigit(line[i + 1]);
            if (high < 0 || low < 0)
                return {};
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
        uint8_t sum = 0;
        for (uint8_t b : bytes)
            sum = static_cast<uint8_t>(sum + b);
        const size_t count = bytes[0];
        if (sum != 0 || bytes.size() != count + 5)
            return {};
        const unsigned address = bytes[1] * 256u + bytes[2];
        const uint8_t type = bytes[3];
        if (type == 1)
            break;
        if (type != 0)
            continue;
        for (size_t i = 0; i < count; ++i)
            image[(address + i) & 0xFFFF] = bytes[4 + i];
    }
    return image;
}

} // namespace toolchain
