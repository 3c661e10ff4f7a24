#pragma once
// Turns an M51 source into a program the debugger can run: compile, assemble
// and compose the line maps, all in memory; only the HEX file (which s51 loads)
// and the assembly and listing beside it are written. Also loads a program
// that the build chain left on disk.

#include "DebugEngine.h"
#include "toolchain/Build.h"

#include <QString>

#include <string>
#include <vector>

namespace m51dbg {

struct BuildOutput {
    bool ok = false;
    Program program;
    // "file:line: message", M51 lines for compile errors and for assembler
    // errors in code that came from an M51 line, .asm lines otherwise.
    std::vector<QString> errors;
    std::vector<BuildError> buildErrors;  // the same as values
    std::string assembly;  // the generated .asm text (CR LF)
    std::string listing;
};

// A program built in memory made ready to run: its errors as "file:line:
// message" (the source's lines named `sourceName`, the generated assembly's
// `asmName`) and, when it has none, the HEX file written to `hexPath`.
BuildOutput FinishBuild(ProgramCode code, const QString& sourceName, const QString& asmName, const QString& hexPath);

// `sourceBytes` is the M51 file's content (code page 1250); `sourceName` names
// it in messages; the HEX file goes to `outputDir`/<base>.hex.
BuildOutput BuildM51(const std::string& sourceBytes, const QString& sourceName, const QString& outputDir);

// The same for an assembly source (.asm, .a51) the user wrote: its own lines
// are the lines the debugger stops on; include files are looked up beside it.
BuildOutput BuildAssembly(const std::string& sourceBytes, const QString& sourceName, const QString& outputDir);

// Whether a path names an assembly source rather than an M51 one.
bool IsAssemblySource(const QString& path);

// A built program on disk: the HEX file, the listing written with every line
// listed, and the compiler's line map ("ASMLINE M51LINE" 1-based, m51c --map).
// Without a map file the program has assembly lines only.
BuildOutput LoadBuiltProgram(const QString& hexPath, const QString& listingPath, const QString& mapPath);

} // namespace m51dbg
