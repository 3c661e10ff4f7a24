#pragma once
// Checks a snapshot's bytes field by field against the ranges the machine
// can be in, before anything is restored from them: a damaged or crafted
// state file would otherwise set a bit counter past the frame (a shift beyond
// the word), an interrupt source past the table, or a clock phase the UART
// never leaves.

#include "sim/Chip.h"
#include "sim/Machine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The first field outside its range, named ("rxBits is 40, not 0 to 10");
// "" for a sound snapshot and for bytes that are no snapshot of this core's
// layout at all (Machine::restore refuses those by their size and magic).
std::string snapshotFieldProblem(const std::vector<uint8_t>& bytes);

}  // namespace sim
