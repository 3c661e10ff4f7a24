#pragma once
// The command-line assembler's contract, apart from main() so that tests can
// run it in-process:
//   m51as [-o BASE] [-I DIR]... [--dialect asm51|keil|as31] [--shortest-jumps] [--list-all]
//         [--allow-overlap] FILE.asm
// writes BASE.lst always and BASE.hex and BASE.bin when there are no errors
// (removing older ones otherwise, so that no stale image is ever flashed).
// BASE defaults to FILE without its extension. Every error is printed to `err`
// as FILE:LINE: message (an include file's name in place of FILE for its
// lines, and how the line was reached in parentheses). Exit status 0 without
// errors, 1 with errors, 2 when a file cannot be read or written (or the
// command line is wrong). Files are written under a temporary name and
// renamed when complete. Include files are looked up beside the including
// file, in the -I folders, then among the register files of m51as.

#include <cstdio>
#include <string>
#include <vector>

namespace m51as {

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// FILE without the extension of its file-name part: "dir.v2/prog.asm" gives
// "dir.v2/prog", "prog" stays "prog".
std::string DefaultBase(const std::string& file);

} // namespace m51as
