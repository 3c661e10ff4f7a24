// Start to the first painted window: Zelvar against MCU 8051 IDE, measured in
// the same run on the same private X display.
//
// Usage: startup_race ZELVAR_PROGRAM [runs]
//
// Last figures (2 shared cores, load average 8-15, median of 9): Zelvar 114 ms,
// MCU 8051 IDE 649 ms, ratio 0.18, with the splash made and painted before
// the other windows (35 ms of processor time to the painted splash); with the
// splash made after the main window and painted with the event loop, 191 ms
// against 688 ms, ratio 0.28 (about 78 ms of processor time).

#include "bench/common/FirstPaintRace.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ZELVAR_PROGRAM [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    return firstpaint::race("Zelvar", {argv[1]}, "MCU 8051 IDE", {"mcu8051ide"}, runs);
}
