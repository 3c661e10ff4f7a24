#pragma once
// The whole simulation state in a file: the machine's snapshot (registers,
// memories, SFRs, pins driven from outside, the UART and the bytes waiting
// for it, code memory) with the chip and crystal it belongs to, so that a
// session can be put away and taken up again exactly there. Written through
// the safe file write (all or nothing).

#include "sim/Machine.h"

#include <string>

namespace insight {

// The file's bytes for the machine as it is now.
std::string StateBytes(const sim::Machine& machine);
// Empty on success, otherwise why nothing was changed.
std::string RestoreState(sim::Machine& machine, const std::string& bytes);

std::string SaveStateFile(const std::string& path, const sim::Machine& machine);  // empty, or the reason
std::string LoadStateFile(const std::string& path, sim::Machine& machine);        // empty, or the reason

} // namespace insight
