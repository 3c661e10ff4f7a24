#pragma once
// The count of an 8051 timer in modes 0-2, shared by the timers' clock and the
// counter inputs on the pins.

#include <cstdint>

namespace sim {

// Advances an 8051 timer (modes 0-2) by k counts; returns the overflows.
inline unsigned advanceTimer(uint8_t& tl, uint8_t& th, unsigned mode, uint64_t k)
{
    switch (mode) {
    case 0: {
        const uint64_t v = ((static_cast<uint64_t>(th) << 5) | (tl & 0x1F)) + k;
        th = static_cast<uint8_t>(v >> 5);
        tl = static_cast<uint8_t>((tl & 0xE0) | (v & 0x1F));
        return static_cast<unsigned>(v >> 13);
    }
    case 1: {
        const uint64_t v = (static_cast<uint64_t>(th) << 8 | tl) + k;
        th = static_cast<uint8_t>(v >> 8);
        tl = static_cast<uint8_t>(v);
        return static_cast<unsigned>(v >> 16);
    }
    case 2: {
        const uint64_t v = tl + k;
        if (v < 256) {
            tl = static_cast<uint8_t>(v);
            return 0;
        }
        const uint64_t period = 256u - th, over = v - 256;
        if (over < period) {  // the usual case: one overflow, no division
            tl = static_cast<uint8_t>(th + over);
            return 1;
        }
        tl = static_cast<uint8_t>(th + over % period);
        return static_cast<unsigned>(1 + over / period);
    }
    default:
        return 0;
    }
}

}  // namespace sim
