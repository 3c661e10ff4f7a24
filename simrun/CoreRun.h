#pragma once
// m51sim's run on the simulator core: the program runs for a number of
// instructions, until an address, and with the serial input, script and
// output the command line gave. Plain C++ (also m51sim's Windows build).

#include "simrun/MachineState.h"
#include "simrun/SerialScript.h"

#include "sim/Machine.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace m51sim {

struct CoreRunSettings {
    uint64_t steps = 1000000;              // instructions at most
    std::optional<uint16_t> untilAddress;  // stop before the instruction there
    std::string serialIn;                  // given to the board at reset
    std::vector<ScriptCommand> script;
    // Steps the machine once (coverage and profile watch the run through
    // here); empty: the machine's own step().
    std::function<unsigned(sim::Machine&)> step;
    sim::Listener* pins = nullptr;         // also told of every pin change (the virtual board)
};

struct CoreRunResult {
    enum class End { Steps, Until, ScriptDone, ExpectNotMet, PowerDown };
    End end = End::Steps;
    uint64_t instructions = 0;
    std::string serialOut;   // every byte the program sent
    std::string waitingFor;  // ExpectNotMet: the expected text and its script line
    int waitingLine = 0;
    unsigned bytesLost = 0;  // received bytes the program did not take in time
};

CoreRunResult RunOnCore(sim::Machine& machine, const CoreRunSettings& settings);

// The registers and internal memories for printing.
m51dbg::MachineState CaptureState(const sim::Machine& machine);

} // namespace m51sim
