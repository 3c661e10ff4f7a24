#include "toolchain/IntelHex.h"

#include "common/PlainText.h"

#include <cstdio>

namespace toolchain {

namespace {

std::string Hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*XH", digits, value);
    return text;
}

} // namespace

std::vector<uint8_t> ReadIntelHex(std::string_view text, HexError& error)
{
    std::vector<uint8_t> image(0x10000, 0xFF);
    unsigned long base = 0;  // from extended segment (02) and linear (04) address records
    int lineNumber = 0;
    auto fail = [&](std::string reason) {
        error = {lineNumber, std::move(reason)};
        return std::vector<uint8_t>();
    };
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line.front() != ':')
            return fail("a record starts with a colon");
        if (line.size() < 11 || (line.size() - 1) % 2 != 0)
            return fail("the record is too short or has an odd number of digits");
        std::vector<uint8_t> bytes;
        for (size_t i = 1; i + 1 < line.size(); i += 2) {
            const int high = m51::HexDigit(line[i]), low = m51::HexDigit(line[i + 1]);
            if (high < 0 || low < 0)
                return fail("a record holds hexadecimal digits only");
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
        const size_t count = bytes[0];
        if (bytes.size() != count + 5)
            return fail("the record's length is " + std::to_string(count) + " bytes, it holds " +
                        std::to_string(bytes.size() < 5 ? 0 : bytes.size() - 5));
        uint8_t sum = 0;
        for (uint8_t b : bytes)
            sum = static_cast<uint8_t>(sum + b);
        if (sum != 0)
            return fail("wrong checksum");
        const unsigned address = bytes[1] * 256u + bytes[2];
        const uint8_t type = bytes[3];
        if (type == 1)
            break;
        if (type == 2 || type == 4) {
            if (count != 2)
                return fail("an extended address record holds 2 bytes");
            const unsigned long value = bytes[4] * 256ul + bytes[5];
            base = type == 2 ? value << 4 : value << 16;
            continue;
        }
        if (type == 3 || type == 5)
            continue;  // a start address: the 8051 starts at 0
        if (type != 0)
            return fail("unknown record type " + Hex(type, 2));
        if (base + address + count > image.size())
            return fail("the record for " + Hex(static_cast<unsigned>(base + address), 4) +
                        " lies beyond the 64 KB code memory");
        for (size_t i = 0; i < count; ++i)
            image[base + address + i] = bytes[4 + i];
    }
    return image;
}

std::vector<uint8_t> ReadIntelHex(std::string_view text)
{
    HexError error;
    return ReadIntelHex(text, error);
}

} // namespace toolchain
