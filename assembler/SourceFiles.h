#pragma once
// How the assembler's callers read sources and include files from disk: only
// a regular file, and only up to the limit every source is read with
// (m51::kSourceLimit), so that a folder, a device or a huge file named by an
// $INCLUDE ends in a clear error. m51as, m51ld and the toolchain's builds all
// read through here.

#include "assembler/Assembler.h"

#include <string>

namespace m51asm {

// A file's bytes; false for anything but a regular file within the limit,
// with the reason in `reason` when it is given.
bool ReadSourceFile(const std::string& path, std::string& bytes, std::string* reason = nullptr);

// Sets options.readFile and options.unreadable to read through ReadSourceFile.
void ReadIncludesFromDisk(AssembleOptions& options);

} // namespace m51asm
