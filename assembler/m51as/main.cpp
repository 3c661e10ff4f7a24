// m51as [-o BASE] [-I DIR]... FILE.asm — assembles 8051 source into BASE.hex, BASE.bin and
// BASE.lst.
#include "assembler/m51as/CommandLine.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return m51as::Run(args, stdout, stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "m51as: %s\n", e.what());
        return 2;
    }
}
