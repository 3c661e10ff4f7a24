#pragma once
// Linking from the command line, for m51ld and for m51as given several
// files or -c, apart from main() so that tests can run it in-process:
//   m51ld [-o BASE] [--place NAME=ADDR]... [--place-file FILE] [-I DIR]...
//         [--dialect NAME] [--allow-overlap] [--list-all] FILE...
// Each FILE is an object file (its first line M51OBJ) or an assembly source,
// assembled as a module first. The modules are linked into BASE.hex,
// BASE.bin and BASE.map (segments, addresses, sizes, public names); each
// source also gets its listing with the final addresses (SOURCE.lst). BASE
// defaults to the first FILE without its extension. Errors are printed as
// FILE:LINE: message; exit status 0 without errors, 1 with errors (no HEX or
// BIN file then, older ones removed), 2 when a file cannot be read or
// written or the command line is wrong.
//
// A placement file names one segment a line: NAME = ADDRESS (or NAME
// ADDRESS), the address as 1000H, 0x1000 or decimal; ";" and "#" start a
// comment.

#include "assembler/Assembler.h"
#include "assembler/Linker.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace m51ld {

struct LinkJob {
    std::vector<std::string> inputs;
    std::string base;
    std::vector<m51asm::Placement> placements;
    m51asm::AssembleOptions options;  // for the sources: dialect, include folders, listing ...
    const char* program = "m51ld";    // the name messages start with
};

int LinkFiles(const LinkJob& job, std::FILE* out, std::FILE* err);

// m51as -c: each source assembled as a module into BASE.obj and BASE.lst
// (BASE the source without its extension, or `base` for a single source).
int AssembleModules(const std::vector<std::string>& sources, const std::optional<std::string>& base,
                    const m51asm::AssembleOptions& options, std::FILE* out, std::FILE* err);

// The placements of a placement file; the problem ("FILE:LINE: ...") when it has one.
std::optional<std::string> ReadPlacementFile(const std::string& path, std::vector<m51asm::Placement>& out);

// What the assembler needs to read files: include files through the file
// system, the register files that come with m51as.
void UseFiles(m51asm::AssembleOptions& options);
// The folder of the register files: beside the program, in the data folder
// of an installation, or where the package installs them.
std::string RegisterFolder();
// FILE without the extension of its file-name part.
std::string OutputBase(const std::string& file);

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace m51ld
