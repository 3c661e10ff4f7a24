#pragma once
// A 16- or 32-bit value kept in the machine state as bytes, low byte first
// (DPL and DPH, the four ports' outside drives), loaded and stored in one
// access. A load that spans several narrower stores still in flight waits
// for them to reach memory; one store of the whole value is forwarded to it.

#include <bit>
#include <cstdint>
#include <cstring>

namespace sim {

template <class T>
[[gnu::always_inline]] inline T loadLittle(const uint8_t* low)
{
    T value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, low, sizeof value);
    } else {
        for (unsigned i = 0; i < sizeof value; ++i)
            value = static_cast<T>(value | T{low[i]} << (8 * i));
    }
    return value;
}

template <class T>
[[gnu::always_inline]] inline void storeLittle(uint8_t* low, T value)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(low, &value, sizeof value);
    } else {
        for (unsigned i = 0; i < sizeof value; ++i)
            low[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace sim
