#pragma once
// The special-function registers of a derivative as data: name, address and,
// for the bit-addressable ones (address a multiple of 8), the names of their
// bits. The disassembler names direct addresses and bits with it, the SFR view
// lists it. Extras come from the chip's row in Chip.cpp (timer 2, AUXR, AUXR1).

#include "sim/Chip.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct SfrInfo {
    const char* name = "";
    uint8_t address = 0;
    // Bit 0 first; null where a bit has no name of its own (its name is then
    // "SFR.n", e.g. P1.0, ACC.7). Only meaningful when bitAddressable().
    std::array<const char*, 8> bits{};
    bool bitAddressable() const { return (address & 7) == 0; }
};

// In address order; without a chip: the 8052's set.
std::vector<SfrInfo> sfrsOf(const Chip* chip);
// The SFR at `address` in `list`, or null.
const SfrInfo* findSfr(const std::vector<SfrInfo>& list, uint8_t address);
// A bit's name as the assembler writes it: "TR0", "P1.0", "ACC.7", or for a
// bit of the RAM's bit area "20H.5"; `list` names the SFRs.
std::string bitName(const std::vector<SfrInfo>& list, uint8_t bit);

}  // namespace sim
