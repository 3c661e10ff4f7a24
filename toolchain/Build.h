#pragma once
// The builds that fill the program model (Program.h), one for each kind of
// input: an M51 source (compiled, then assembled), an assembly source, an
// Intel HEX image (with debug information beside it where a reader for it is
// given). All in memory and without Qt: Zelvar's debugger, m51sim (also its
// Windows build) and the firmware tests build through here. A language is
// added by adding its Build.

#include "compiler/Compiler.h"
#include "assembler/Dialect.h"
#include "toolchain/Program.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace toolchain {

// What a build reads.
struct BuildInput {
    std::string bytes;    // the source or the HEX text (code page 1250)
    std::string path;     // where it is: its include files and debug information are beside it (empty: none)
    std::string asmName;  // the assembly's name in the listing and in diagnostics
};

class Build {
public:
    virtual ~Build() = default;
    virtual Program run(const BuildInput& input) const = 0;
};

class M51Build : public Build {
public:
    Program run(const BuildInput& input) const override;
};

// `sourceLines`: the debugger's view, the assembly source's own lines are the
// program's source lines (breakpoints, stepping, the execution line), code
// from include files and macros counting for the line that brought it in;
// else the program has assembly lines only, as m51sim reports them.
class AssemblyBuild : public Build {
public:
    explicit AssemblyBuild(bool sourceLines = false) : m_sourceLines(sourceLines) {}
    Program run(const BuildInput& input) const override;

private:
    bool m_sourceLines;
};

// Debug information beside a HEX image (symbols, types, lines) is read by
// the readers given here: each adds what it finds to the program built from
// the image.
class HexBuild : public Build {
public:
    using DebugInfoReader = std::function<void(Program& program, const BuildInput& input)>;
    explicit HexBuild(std::vector<DebugInfoReader> readers = {}) : m_readers(std::move(readers)) {}
    Program run(const BuildInput& input) const override;

private:
    std::vector<DebugInfoReader> m_readers;
};

// The kind of input a file is by its name: .asm and .a51 assembly (and an
// assembly project, .a51proj), .hex and .ihx Intel HEX, .c and .m51proj C,
// anything else M51.
Language LanguageOf(std::string_view path);
// The build of that kind, as m51sim and the firmware tests build (an
// assembly source with its project, AssemblyProject.h).
std::unique_ptr<Build> BuildFor(Language language);

// The builds' steps, for callers that keep what a step made (Zelvar shows the
// compiler's lists). `asmFileName` names the assembly in its listing and in
// the program's diagnostics.
Program CompileM51(const std::string& sourceBytes, const std::string& asmFileName);
// Assembles what a compile made (its output lines and line map); the
// compile's own errors are the program's diagnostics, and then nothing is assembled.
Program AssembleCompiled(const m51::CompileResult& compiled, const std::string& asmFileName);
// sourcePath: where the source is, for its include files (empty: none beside it).
Program AssembleProgram(const std::string& asmBytes, const std::string& asmFileName,
                        const std::string& sourcePath = {});
// An assembly source the user wrote, for the debugger (AssemblyBuild with
// source lines), read in `dialect` (Auto: as31 where it plainly is, else ASM51).
Program AssembleSource(const std::string& asmBytes, const std::string& asmFileName, const std::string& sourcePath,
                       m51asm::Dialect dialect = m51asm::Dialect::Auto);
Program ReadHexProgram(const std::string& hexText);
// A program a build left on disk, read back: the assembler's listing
// (written with every line listed) and, for an M51 program, the compiler's
// line map ("ASMLINE M51LINE" a line, both 1-based); without a line map the
// program has assembly lines only. A line of the map that is not two numbers
// is a diagnostic on `lineMapName` at that line, and nothing is read.
Program ReadListedProgram(std::string_view listing, const std::string* lineMap, const std::string& lineMapName);

// The program's diagnostics with every file named: the built source's lines
// `sourceName`, the generated assembly's `asmName`, include files as found.
std::vector<Diagnostic> NamedDiagnostics(const Program& program, const std::string& sourceName,
                                         const std::string& asmName);
// "file:line: message (assembly line N), context" for m51sim's and the
// debugger's messages (":line" left out for line 0).
std::string FormatBuildMessage(const Diagnostic& diagnostic);

} // namespace toolchain
