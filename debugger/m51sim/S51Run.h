#pragma once
// m51sim's run in s51 (Linux, through the debugger's engine and Qt).

#include "toolchain/Program.h"
#include "debugger/m51sim/SimOptions.h"

namespace m51sim {

// Runs `code` in s51 as the options say, prints and returns the exit status.
// `untilLine` is the 0-based line of the program's map to stop at, or -1;
// `bySource`: that line is an M51 line (else an assembly line).
int RunOnS51(int argc, char** argv, const Options& options, const toolchain::Program& code, int untilLine,
             bool bySource, const std::string& serialIn);

} // namespace m51sim
