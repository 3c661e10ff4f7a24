// m51c [--lists LISTFILE] [--map MAPFILE] [-o OUTFILE] SOURCE — compiles an M51 source into
// 8051 assembly as the environment's "Check" does.
#include "CommandLine.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return m51c::Run(args, stdout, stderr);
    } catch (const std::exception& e) {
        // Running out of memory on a pathological source: unfinished files
        // have been removed on the way out.
        std::fprintf(stderr, "m51c: %s\n", e.what());
        return 2;
    }
}
