#pragma once
// m51sim as a function: runs an 8051 program on the simulator for scripts and
// CI (firmware unit tests) and prints the machine state as NAME=VALUE lines,
// or runs a folder of firmware tests (`m51sim test`). The program's main()
// only hands it the command line; tests call it directly.

#include <cstdio>
#include <string>
#include <vector>

namespace m51sim {

// `args` without the program name; the values go to `out`, the messages to
// `err` (the run in s51 prints on the standard output). Returns the exit
// status: 0 done, 1 the program has errors, 2 a usage or file problem, 3 the
// line was not reached, 4 the serial script's expectation was not met.
int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace m51sim
