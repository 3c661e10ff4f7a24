#pragma once
// The 8051 derivatives the simulator knows, as data: memory sizes and the
// extra hardware each one has. A new chip is a new row in Chip.cpp.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct Chip {
    std::string name;
    unsigned iramSize = 128;      // 128 or 256 bytes of internal RAM
    unsigned codeSize = 4096;     // on-chip program memory; 0 for ROM-less parts (all code external, 64 KB)
    bool timer2 = false;          // the 8052's timer 2 (T2CON, RCAP2, TL2/TH2) and its interrupt
    bool auxr = false;            // AUXR at 8EH
    bool dualDptr = false;        // a second data pointer selected by AUXR1 (A2H) bit 0
    unsigned xramOnChip = 0;      // on-chip expanded RAM reached with MOVX (informative)
    bool t2mod = false;           // T2MOD at C9H: DCEN lets timer 2 count down while T2EX is low
};

// "8051", "8052", "AT89S52", ... case-insensitive; nullptr if unknown.
const Chip* findChip(std::string_view name);
std::vector<std::string> chipNames();

}  // namespace sim
