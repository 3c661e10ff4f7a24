#pragma once
// An assembly program as Zelvar builds it from any one of its sources: the
// module sources that make it, in the order they are linked, the dialect
// they are written in and the segments placed at fixed addresses. Kept in a
// small text file NAME.a51proj beside the sources, `key = value` lines, ";"
// starting a comment:
//
//   modules = start.a51 main.a51 serial.a51
//   dialect = keil            ; asm51, keil, as31 or auto (the default)
//   place = ?PR?MAIN=0100H    ; as many as needed, several on a line
//
// A source belongs to the first project file of its folder (by name) that
// lists it. Without one, a source written as a module (RSEG, PUBLIC, EXTRN,
// SEGMENT) is linked with the other module sources of its folder (.asm and
// .a51, by name); any other source is a program on its own. A project of one
// source that is no module (a dialect setting for one program) assembles it
// as before, only in that dialect. The project file itself builds too, as
// from its first module.

#include "toolchain/Build.h"
#include "toolchain/Program.h"

#include "assembler/Dialect.h"
#include "assembler/Linker.h"

#include <string>
#include <string_view>
#include <vector>

namespace toolchain {

struct AssemblyProject {
    std::string file;                  // the project file; empty: there is none
    std::vector<std::string> modules;  // the sources' paths, in link order
    m51asm::Dialect dialect = m51asm::Dialect::Auto;
    std::vector<m51asm::Placement> placements;
    std::vector<Diagnostic> problems;  // what the project file got wrong, on its lines

    // Whether the sources are linked as modules (else the one source is assembled on its own).
    bool linked = false;
};

inline constexpr const char* kAssemblyProjectSuffix = ".a51proj";

// The project file's text; module names are relative to its folder.
AssemblyProject ReadAssemblyProject(std::string_view text, const std::string& file);

// The project that `sourcePath` belongs to, as described above; `sourceBytes`
// is the source's text as the editor has it. A project file's path is its own
// project (`sourceBytes` its text).
AssemblyProject AssemblyProjectFor(const std::string& sourcePath, std::string_view sourceBytes);

// Whether a path names an assembly project file (NAME.a51proj, letter case aside).
bool IsAssemblyProjectFile(std::string_view path);

// Whether a source is written as a module: RSEG, PUBLIC, EXTRN or SEGMENT
// in the code of a line.
bool IsModuleSource(std::string_view source);

// The program of `project` built from `sourcePath`: its text is
// `sourceBytes` (the editor's, saved or not), the other modules are read
// from disk. The program's files are the modules in link order; its source
// map and assembly are `sourcePath`'s, whose lines the debugger shows.
// `asmName` names a source built on its own in its diagnostics (empty: its file name).
// Given the project file (`sourceBytes` its text), the program is built as
// from its first module, read from disk.
Program BuildAssemblyProject(const AssemblyProject& project, const std::string& sourcePath,
                             const std::string& sourceBytes, const std::string& asmName = {});

// The Build of an assembly program as Zelvar builds it, for m51sim, the
// firmware tests and the debug adapter: the input is a project file or a
// source, built with its project (above). A source of no project file that
// is no module is built by AssemblyBuild(`sourceLines`), as it always was.
class AssemblyProjectBuild : public Build {
public:
    explicit AssemblyProjectBuild(bool sourceLines = false) : m_sourceLines(sourceLines) {}
    Program run(const BuildInput& input) const override;

private:
    bool m_sourceLines;
};

// The project file's text with its dialect set to `dialect` (the line
// changed or added, the rest kept); for a source without a project file,
// the text of a new one that names the modules it is built with.
std::string WithDialect(std::string_view projectText, const AssemblyProject& project, m51asm::Dialect dialect);
// NAME.a51proj beside `sourcePath` for a source without a project file.
std::string NewProjectPathFor(const std::string& sourcePath);
// Zelvar's dialect setting of a source: written into its project file (a
// new one when it has none). Returns "" or why the file could not be
// written; `projectPath` gets the file's path.
std::string SaveDialect(const std::string& sourcePath, std::string_view sourceBytes, m51asm::Dialect dialect,
                        std::string& projectPath);

} // namespace toolchain
