#pragma once
// Port pins as the board file names them: "P1.3" one pin, "P1" all eight
// (bit 0 first), "P1.0-3" a range in the order written (so "P1.7-4" is
// reversed), and comma lists of these.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace board {

struct Pin {
    uint8_t port = 0;  // 0-3
    uint8_t bit = 0;   // 0-7
    bool operator==(const Pin&) const = default;
    uint8_t mask() const { return static_cast<uint8_t>(1u << bit); }
};

// The pins of `text`, or nothing when it is not a pin list.
std::optional<std::vector<Pin>> ParsePins(const std::string& text);

// The shortest text that ParsePins reads back as the same pins.
std::string FormatPins(const std::vector<Pin>& pins);
std::string FormatPin(Pin pin);

// Pin levels and the program's own port latches, per port (bit set: high).
struct PortState {
    uint8_t level[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t latch[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    bool high(Pin pin) const { return level[pin.port] & pin.mask(); }
    bool latchHigh(Pin pin) const { return latch[pin.port] & pin.mask(); }
};

} // namespace board
