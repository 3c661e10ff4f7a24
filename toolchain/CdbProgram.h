#pragma once
// A C program's debug information (SDCC's NAME.cdb, read by sdcc/CdbFile)
// placed into the program model: the C lines of every source file with their
// addresses, the functions with their code ranges, and every variable with
// its scope, storage and type. The HEX build reads it through CdbReader when
// the .cdb lies beside the image, so a program built by the user's own
// Makefile debugs as one Zelvar built.

#include "sdcc/CdbFile.h"
#include "toolchain/Build.h"
#include "toolchain/Program.h"

#include <string>

namespace toolchain {

// Adds `cdb` to `program`; source files are named relative to `sourceFolder`
// as SDCC wrote them.
void AddCdb(Program& program, const sdcc::CdbFile& cdb, const std::string& sourceFolder);

// The debug information reader of the HEX build: NAME.cdb beside NAME.ihx or
// NAME.hex, with the assembly SDCC wrote of each module (MODULE.asm beside
// the image) for the ASM window. A .cdb older than its image, or a damaged
// one, becomes a warning naming it, and the program runs without C lines.
HexBuild::DebugInfoReader CdbReader();

} // namespace toolchain
