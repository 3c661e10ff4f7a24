// m51ld [-o BASE] [--place NAME=ADDR]... FILE... — links 8051 modules (object
// files of m51as -c, or sources) into BASE.hex, BASE.bin and BASE.map.
#include "assembler/m51ld/LinkCommand.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return m51ld::Run(args, stdout, stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "m51ld: %s\n", e.what());
        return 2;
    }
}
