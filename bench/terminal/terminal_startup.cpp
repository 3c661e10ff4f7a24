// Start to the first painted window: the terminal against CuteCom, measured
// in the same run on the same private X display (see FirstPaintRace.h).
//
// Usage: terminal_startup TERMINAL_PROGRAM [runs=7]
// (startup-vs-cutecom.sh installs CuteCom first and runs this).

#include "bench/common/FirstPaintRace.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TERMINAL_PROGRAM [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    return firstpaint::race("terminal", {argv[1]}, "CuteCom", {"cutecom"}, runs);
}
