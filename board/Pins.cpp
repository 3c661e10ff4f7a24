#include "board/Pins.h"

#include <cctype>

namespace board {

namespace {

// "P1", "P1.3" or "P1.0-3" appended to `out`.
bool ParseGroup(const std::string& text, std::vector<Pin>& out)
{
    if (text.size() < 2 || std::toupper(static_cast<unsigned char>(text[0])) != 'P' || text[1] < '0' || text[1] > '3')
        return false;
    const uint8_t port = static_cast<uint8_t>(text[1] - '0');
    if (text.size() == 2) {
        for (uint8_t b = 0; b < 8; ++b)
            out.push_back({port, b});
        return true;
    }
    if (text[2] != '.' || text.size() < 4 || text[3] < '0' || text[3] > '7')
        return false;
    const int from = text[3] - '0';
    if (text.size() == 4) {
        out.push_back({port, static_cast<uint8_t>(from)});
        return true;
    }
    if (text.size() != 6 || text[4] != '-' || text[5] < '0' || text[5] > '7')
        return false;
    const int to = text[5] - '0';
    const int step = to >= from ? 1 : -1;
    for (int b = from;; b += step) {
        out.push_back({port, static_cast<uint8_t>(b)});
        if (b == to)
            break;
    }
    return true;
}

} // namespace

std::optional<std::vector<Pin>> ParsePins(const std::string& text)
{
    std::vector<Pin> pins;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        if (!ParseGroup(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), pins))
            return std::nullopt;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return pins;
}

std::string FormatPin(Pin pin)
{
    return "P" + std::to_string(pin.port) + "." + std::to_string(pin.bit);
}

std::string FormatPins(const std::vector<Pin>& pins)
{
    std::string out;
    size_t i = 0;
    while (i < pins.size()) {
        // The longest run of consecutive bits of one port, either way.
        size_t j = i + 1;
        int step = 0;
        if (j < pins.size() && pins[j].port == pins[i].port && (pins[j].bit == pins[i].bit + 1 || pins[j].bit + 1 == pins[i].bit)) {
            step = pins[j].bit - pins[i].bit;
            while (j < pins.size() && pins[j].port == pins[i].port && pins[j].bit == pins[j - 1].bit + step)
                ++j;
        }
        if (!out.empty())
            out += ',';
        if (j - i == 8 && step == 1)
            out += "P" + std::to_string(pins[i].port);
        else if (j - i > 1)
            out += FormatPin(pins[i]) + "-" + std::to_string(pins[j - 1].bit);
        else
            out += FormatPin(pins[i]);
        i = j;
    }
    return out;
}

} // namespace board
