#include "ide/ProgramBuild.h"

#include "toolchain/AssemblyProject.h"

#include <filesystem>

namespace {

std::string Joined(const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const std::string& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// What an assembly build read besides the source's own text: its project
// (modules, dialect, placements) and the other modules' sizes and times on
// disk. A change to any of them makes the same text build anew.
std::string InputsOf(const toolchain::AssemblyProject& project, const std::string& sourcePath)
{
    std::string key = project.file + '\n' + std::to_string(int(project.dialect)) + '\n';
    for (const m51asm::Placement& p : project.placements)
        key += p.segment + '=' + std::to_string(p.address) + '\n';
    for (const std::string& module : project.modules) {
        key += module + '\n';
        std::error_code ec;
        if (module == sourcePath)
            continue;
        key += std::to_string(std::filesystem::file_size(module, ec)) + ' ' +
               std::to_string(std::filesystem::last_write_time(module, ec).time_since_epoch().count()) + '\n';
    }
    return key;
}

} // namespace

bool ProgramBuild::isOf(const std::string& sourcePath, const std::vector<std::string>& lines) const
{
    if (compiles == 0 || path != sourcePath || source != lines)
        return false;
    return !assemblySource || inputs == InputsOf(toolchain::AssemblyProjectFor(sourcePath, Joined(lines)), sourcePath);
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

// The assembler's errors as diagnostics; one on an M51 line speaks of that
// line's statement, the assembler's own words follow.
std::vector<m51::Diagnostic> AssemblerDiagnosticsOf(const ProgramBuild& build, const toolchain::Program& program)
{
    std::vector<m51::Diagnostic> diagnostics = DiagnosticsOf(program, AsmNameFor(build.path), build.path);
    for (m51::Diagnostic& d : diagnostics) {
        if (!d.file.empty() || d.line < 1 || size_t(d.line) > build.source.size())
            continue;
        std::string words = InM51Words(build.source[size_t(d.line) - 1], d.message);
        if (words == d.message)
            continue;
        d.context = "the assembler: " + d.message + (d.context.empty() ? std::string() : ", " + d.context);
        d.message = std::move(words);
    }
    return diagnostics;
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
    const std::string bytes = Joined(lines);
    const std::string name = std::filesystem::path(path).filename().string();
    // A module of a program of several is linked with the others; the
    // source's project sets the dialect.
    const toolchain::AssemblyProject project = toolchain::AssemblyProjectFor(path, bytes);
    build.program = toolchain::BuildAssemblyProject(project, path, bytes, name);
    build.inputs = InputsOf(project, path);
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
    build.assemblerDiagnostics = AssemblerDiagnosticsOf(build, build.program);
}

std::vector<m51::Diagnostic> CheckAssembly(const ProgramBuild& build)
{
    if (build.assembled)
        return build.assemblerDiagnostics;
    if (build.assemblySource || !build.compiled.Diagnostics.empty())
        return {};
    return AssemblerDiagnosticsOf(build, toolchain::AssembleCompiled(build.compiled, AsmNameFor(build.path)));
}

std::string InM51Words(const std::string& m51Line, const std::string& assemblerMessage)
{
    const size_t start = m51Line.find_first_not_of(" \t");
    if (start == std::string::npos || m51Line[start] == ';')
        return assemblerMessage;
    const size_t end = m51Line.find_first_of(" \t;", start);
    std::string word = m51Line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (char& c : word)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    const auto says = [&](const char* text) { return assemblerMessage.rfind(text, 0) == 0; };
    if (says("missing expression") || says("expression ends too early") || says("missing value"))
        return word + " needs a number";
    // "missing operand", "JMP needs 1 operand", "MOV needs 2 operands"
    if (says("missing operand") || (assemblerMessage.find(" needs ") != std::string::npos
                                    && assemblerMessage.find(" operand") != std::string::npos))
        return word + " needs an operand";
    return assemblerMessage;
}
