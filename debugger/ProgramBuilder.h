#pragma once
// Turns a source into a program the debugger can run: built in memory by the
// toolchain, then only the HEX file (which s51 loads) is written. Also loads
// a program that the build chain left on disk.

#include "debugger/DebugEngine.h"
#include "toolchain/Build.h"

#include <QString>

#include <string>
#include <vector>

namespace m51dbg {

struct BuildOutput {
    bool ok = false;
    // The program; its diagnostics name their files as the messages do: the
    // source's lines for compile errors and for assembler errors in code
    // that came from a source line, the assembly's lines otherwise.
    Program program;
    // "file:line: message" of each diagnostic, for the problems list.
    std::vector<QString> messages() const;
};

// A program built in memory made ready to run: its diagnostics naming the
// source's lines `sourceName`, the generated assembly's `asmName` and, when
// it has no errors, the HEX file written to `hexPath`.
BuildOutput FinishBuild(toolchain::Program built, const QString& sourceName, const QString& asmName,
                        const QString& hexPath);

// `sourceBytes` is the M51 file's content (code page 1250); `sourceName` names
// it in messages; the HEX file goes to `outputDir`/<base>.hex.
BuildOutput BuildM51(const std::string& sourceBytes, const QString& sourceName, const QString& outputDir);

// The same for an assembly source (.asm, .a51) the user wrote: its own lines
// are the lines the debugger stops on; include files are looked up beside it.
// A module is linked with the other modules of its program, whose lines the
// debugger stops on too (toolchain/AssemblyProject.h).
BuildOutput BuildAssembly(const std::string& sourceBytes, const QString& sourceName, const QString& outputDir);

// A C program with SDCC, from one of its sources (.c or .h) or its project
// file: the project (NAME.m51proj) beside the source when there is one,
// else the .c files of its folder. Runs SDCC, so it may take seconds: the
// debugger calls it off the window's thread. `sdccProgram` empty: $SDCC,
// else sdcc on the PATH.
BuildOutput BuildC(const QString& sourcePath, const QString& outputDir, const QString& sdccProgram = {});
// The project file of a C source: the one NAME.m51proj of its folder (the
// first by name when there are several), empty when there is none.
QString ProjectFileFor(const QString& sourcePath);
// Whether a path names a C source or project (.c, .h, .m51proj).
bool IsCSource(const QString& path);

// Whether a path names an assembly source rather than an M51 one.
bool IsAssemblySource(const QString& path);

// A built program on disk: the HEX file, the listing written with every line
// listed, and the compiler's line map ("ASMLINE M51LINE" 1-based, m51c --map).
// Without a map file the program has assembly lines only.
BuildOutput LoadBuiltProgram(const QString& hexPath, const QString& listingPath, const QString& mapPath);

} // namespace m51dbg
