#pragma once
// m51sim --tty: the simulated board's serial port on a pseudo-terminal, so a
// terminal program talks to the board as to a real one (Linux).

#include "sim/Machine.h"

#include <string>

namespace m51sim {

// Serves until SIGINT or SIGTERM, running the program at the speed of its
// crystal; the pseudo-terminal's path is linked at `link` for the time, and
// listed among the served ports (as m51sim running `program`) for terminal's
// Device menu. An error message when the pseudo-terminal or the link cannot
// be made.
std::string ServeOnTty(sim::Machine& machine, const std::string& link, const std::string& program);

} // namespace m51sim
