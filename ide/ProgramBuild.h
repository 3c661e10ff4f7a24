#pragma once
// The result of one build of the current source, as the session keeps it: the
// compile (lists, assembly lines, line map), then, when a program was wanted,
// the assembly (image, Intel HEX, listing, address map, code labels), and the
// diagnostics of every stage on their M51 lines. Check, Debug and Run all
// build through this, and a later command reuses what an earlier one built
// from the same text.

#include "compiler/Compiler.h"
#include "common/Diagnostic.h"
#include "toolchain/Build.h"

#include <string>
#include <vector>

struct ProgramBuild {
    std::string path;                     // the source it was built from (UTF-8); empty: untitled
    std::vector<std::string> source;      // its lines (code page 1250)
    bool assemblySource = false;          // an .asm/.a51 source: assembled, not compiled
    bool assembled = false;               // the assembler stage has run
    int compiles = 0;                     // compiles the session has made, this one included (0: none yet)
    m51::CompileResult compiled;          // for an assembly source: Output holds its own lines
    toolchain::Program program;           // after the assembler stage
    std::vector<m51::Diagnostic> assemblerDiagnostics;
    std::vector<m51::Diagnostic> scriptDiagnostics;  // Debug's build script, after it ended
    std::string inputs;                   // an assembly source: what else it was built from (project, other modules)

    // Whether this build is of `lines` of the source at `path` (for an
    // assembly source, with the same project and other modules).
    bool isOf(const std::string& sourcePath, const std::vector<std::string>& lines) const;
    // Every stage's diagnostics: the compiler's (entry for entry with
    // compiled.ErBox), the assembler's, the build script's.
    std::vector<m51::Diagnostic> diagnostics() const;
    // No error in any stage that ran.
    bool ok() const;
};

// The file name the generated assembly is known by in messages (<base>.asm).
std::string AsmNameFor(const std::string& sourcePath);

// An assembler error on the assembly an M51 line made, said in M51 words: a
// missing operand is the statement's ("IFA= needs a number"). Other errors
// keep the assembler's words.
std::string InM51Words(const std::string& m51Line, const std::string& assemblerMessage);

// Compiles `lines` of the source at `path` (an assembly source is assembled
// instead, which is its whole build).
ProgramBuild CompileStage(const std::string& path, std::vector<std::string> lines);
// Assembles what the compile made, once; its errors land on the M51 lines
// that produced the assembly lines.
void AssembleStage(ProgramBuild& build);
// What the assembler would refuse in the build's assembly, without keeping
// its program (Check): the assembler stage's diagnostics once it ran.
std::vector<m51::Diagnostic> CheckAssembly(const ProgramBuild& build);
