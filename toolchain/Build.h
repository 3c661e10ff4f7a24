#pragma once
// A program's code and line maps from its source, in memory and without Qt:
// an M51 source compiled and assembled, an assembly source assembled, or an
// Intel HEX file read. Zelvar's debugger and m51sim (also its Windows build)
// both build through here.

#include "Compiler.h"
#include "SourceMap.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace m51dbg {

// An error of a build: on an M51 line (or, for assembler errors in code that
// did not come from an M51 line, on a line of the generated assembly).
struct BuildError {
    bool onAssembly = false;  // the line is one of the .asm text
    int line = 0;             // 1-based; 0: the file as a whole
    int asmLine = 0;          // assembler errors on an M51 line: the assembly line too
    std::string message;      // code page 1250 bytes
    std::string file;         // an include file the line is in (as found); empty: the source itself
    std::string context;      // how that line was reached: "included from main.a51:3", a macro call
    m51::Stage stage = m51::Stage::Assembler;
    m51::ErrorKind kind = m51::ErrorKind::Other;  // a compiler error: why the compiler reported it
};

// The error as a diagnostic: a line of the generated assembly names `asmName`.
m51::Diagnostic ToDiagnostic(const BuildError& error, const std::string& asmName);

struct ProgramCode {
    bool ok = false;
    std::vector<BuildError> errors;
    std::string assembly;  // the generated .asm text (CR LF), M51 builds
    std::string listing;
    std::string hex;       // Intel HEX of the image
    std::vector<uint8_t> image;  // 64 KB
    SourceMap map;
    // The code labels the assembler defined (name, address), for profiles by procedure.
    std::vector<std::pair<std::string, uint16_t>> labels;
};

ProgramCode CompileM51(const std::string& sourceBytes, const std::string& asmFileName);
// Assembles what a compile made (its output lines and line map); the
// compile's own errors are the program's errors, and then nothing is assembled.
ProgramCode AssembleCompiled(const m51::CompileResult& compiled, const std::string& asmFileName);
// sourcePath: where the source is, for its include files (empty: none beside it).
ProgramCode AssembleProgram(const std::string& asmBytes, const std::string& asmFileName,
                            const std::string& sourcePath = {});
// An assembly source the user wrote, for the debugger: its own lines are the
// program's source lines (breakpoints, stepping, the execution line), code
// from include files and macros counting for the line that brought it in.
ProgramCode AssembleSource(const std::string& asmBytes, const std::string& asmFileName, const std::string& sourcePath);
ProgramCode ReadHexProgram(const std::string& hexText);

// "file:line: message" for m51sim's messages.
std::string FormatBuildError(const BuildError& error, const std::string& sourceName, const std::string& asmName);

} // namespace m51dbg
