#pragma once
// The command-line compiler's contract, apart from main() so that it stays a
// thin shell:
//   m51c [--lists LISTFILE] [--map MAPFILE] [-o OUTFILE] SOURCE
// SOURCE is read as bytes and compiled as the editor's lines; the output lines,
// each ended by CR LF, go to BaseName(SOURCE) + ".asm" or OUTFILE ("-" is
// standard output); --lists writes the four lists with LF line ends, --map one
// line "ASMLINE M51LINE" (1-based) per output line, LF ended. Every
// error-list entry is also printed to `err` as SOURCE:N: TEXT. Exit status 0
// without errors, 1 with errors, 2 when a file cannot be read or written (or the
// command line is wrong); a file that cannot be completed is never left behind,
// and a read-only target is never replaced.

#include <cstdio>
#include <string>
#include <vector>

namespace m51c {

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace m51c
