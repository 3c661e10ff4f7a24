#pragma once
// The 8051's registers and internal memories as the debugger shows them after
// a stop (plain C++: m51sim's Windows build has it too).

#include <array>
#include <cstdint>

namespace m51dbg {

// The machine after the last stop.
struct MachineState {
    uint16_t pc = 0;
    uint64_t ticks = 0;  // oscillator periods since reset
    std::array<uint8_t, 256> iram{};
    std::array<uint8_t, 128> sfr{};  // 80H-FFH

    uint8_t sfrAt(unsigned address) const { return sfr[(address - 0x80) & 0x7F]; }
    uint8_t a() const { return sfrAt(0xE0); }
    uint8_t b() const { return sfrAt(0xF0); }
    uint8_t psw() const { return sfrAt(0xD0); }
    uint8_t sp() const { return sfrAt(0x81); }
    uint16_t dptr() const { return static_cast<uint16_t>(sfrAt(0x83) << 8 | sfrAt(0x82)); }
    unsigned bank() const { return (psw() >> 3) & 3; }
    uint8_t r(unsigned n) const { return iram[bank() * 8 + (n & 7)]; }
};

} // namespace m51dbg
