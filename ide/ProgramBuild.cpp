#include "ProgramBuild.h"

#include <filesystem>

bool ProgramBuild::isOf(const std::string& sourcePath, const std::vector<std::string>& lines) const
{
    return compiles > 0 && path == sourcePath && source == lines;
}

std::vector<m51::Diagnostic> ProgramBuild::diagnostics() const
{
    std::vector<m51::Diagnostic> all = compiled.Diagnostics;
    all.insert(all.end(), assemblerDiagnostics.begin(), assemblerDiagnostics.end());
    all.insert(all.end(), scriptDiagnostics.begin(), scriptDiagnostics.end());
    return all;
}

bool ProgramBuild::ok() const
{
    return m51::ErrorCount(compiled.Diagnostics) == 0 && m51::ErrorCount(assemblerDiagnostics) == 0 &&
           m51::ErrorCount(scriptDiagnostics) == 0;
}

std::string AsmNameFor(const std::string& sourcePath)
{
    const std::string name = std::filesystem::path(sourcePath.empty() ? std::string("untitled.M51") : sourcePath)
                                 .filename()
                                 .string();
    return m51::AsmFileName(name);
}

namespace {

// An include file is named from the source's folder when it lies in it
// ("defs.inc", "inc/regs.inc"), by its path as found otherwise.
std::vector<m51::Diagnostic> DiagnosticsOf(const toolchain::Program& program, const std::string& asmName,
                                           const std::string& sourcePath)
{
    const std::filesystem::path folder = std::filesystem::path(sourcePath).parent_path();
    std::vector<m51::Diagnostic> out = toolchain::NamedDiagnostics(program, {}, asmName);
    for (m51::Diagnostic& d : out) {
        if (d.file.empty() || d.file == asmName || folder.empty())
            continue;
        const std::filesystem::path relative = std::filesystem::path(d.file).lexically_relative(folder);
        if (!relative.empty() && *relative.begin() != "..")
            d.file = relative.generic_string();
    }
    return out;
}

} // namespace

ProgramBuild CompileStage(const std::string& path, std::vector<std::string> lines)
{
    ProgramBuild build;
    build.path = path;
    build.compiles = 1;
    build.assemblySource = toolchain::LanguageOf(path) == toolchain::Language::Assembly;
    if (!build.assemblySource) {
        build.compiled = m51::CompileSource(lines);
        build.source = std::move(lines);
        return build;
    }
    std::string bytes;
    for (const std::string& line : lines)
        bytes += line + "\r\n";
    const std::string name = std::filesystem::path(path).filename().string();
    build.program = toolchain::AssembleSource(bytes, name, path);
    build.assembled = true;
    build.assemblerDiagnostics = DiagnosticsOf(build.program, name, path);
    // The ASM window shows the source itself: it is the program's assembly.
    build.compiled.Output = lines;
    build.source = std::move(lines);
    return build;
}

void AssembleStage(ProgramBuild& build)
{
    if (build.assembled)
        return;
    build.assembled = true;
    const std::string asmName = AsmNameFor(build.path);
    build.program = toolchain::AssembleCompiled(build.compiled, asmName);
    // The compile's own errors are already the compiler's diagnostics.
    if (!build.compiled.Diagnostics.empty())
        return;
    build.assemblerDiagnostics = DiagnosticsOf(build.program, asmName, build.path);
}
