#pragma once
// The command line of m51sim and the machine values it prints: parsed and
// formatted here, apart from the program that runs them, so both are tested
// without a simulator.

#include "simrun/MachineItems.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace m51sim {

struct Options {
    std::string source;
    std::vector<std::string> moreSources;  // the further .c files of `m51sim a.c b.c`
    uint64_t steps = 1000000;
    std::optional<int> untilLine;  // 1-based
    std::string untilFile;         // --until-line FILE:LINE: the source file of untilLine
    std::vector<PrintItem> prints;
    std::string serialIn, serialOut;
    std::string serialScript;
    std::string tty;        // link to the pseudo-terminal of the board's serial port
    std::string simulator;  // "core", or the s51 program; empty: the core (s51 with M51_SIMULATOR=s51)
    std::string cpu = "8052";  // --chip (--cpu)
    double xtal = 11059200.0;
    unsigned xram = 65536;
    double lineBaud = 0;    // > 0: the serial line carries bits at this rate
    std::string coverage;   // lcov trace file of the run
    std::string profile;    // cycle profile CSV of the run
    std::string loadState;  // the run starts from this saved simulation state instead of reset
    std::string saveState;  // the simulation state at the end of the run is saved here
    std::string board;      // NAME.board: the virtual board on the pins
    std::vector<std::string> presses;  // keypad keys and buttons held from reset (--press)
    bool help = false, version = false;
};

// The options, or an error message for exit code 2.
struct ParseResult {
    Options options;
    std::string error;
};
ParseResult ParseArguments(const std::vector<std::string>& args);

extern const char* const Usage;

} // namespace m51sim
