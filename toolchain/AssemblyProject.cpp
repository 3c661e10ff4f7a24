#include "toolchain/AssemblyProject.h"

#include "toolchain/Build.h"
#include "toolchain/LinkedBuild.h"

#include "common/FileWrite.h"
#include "assembler/SourceFiles.h"

#include <algorithm>
#include <filesystem>

namespace toolchain {

namespace fs = std::filesystem;

namespace {

std::string_view Trimmed(std::string_view text)
{
    const size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string_view::npos)
        return {};
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

std::vector<std::string_view> Words(std::string_view text)
{
    std::vector<std::string_view> words;
    for (size_t at = text.find_first_not_of(" \t"); at != std::string_view::npos;) {
        const size_t end = std::min(text.find_first_of(" \t", at), text.size());
        words.push_back(text.substr(at, end - at));
        at = text.find_first_not_of(" \t", end);
    }
    return words;
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    return out;
}

// Calls `each` with every line of `text` (CR LF, LF or CR ends) and its 1-based number.
template <class Each>
void ForEachLine(std::string_view text, Each each)
{
    int number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos)
            end = text.size();
        each(text.substr(at, end - at), ++number);
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

Diagnostic ProblemAt(const std::string& file, int line, std::string message)
{
    Diagnostic d;
    d.stage = m51::Stage::Files;
    d.file = file;
    d.line = line;
    d.message = std::move(message);
    return d;
}

bool SamePath(const std::string& a, const std::string& b)
{
    if (fs::path(a).lexically_normal() == fs::path(b).lexically_normal())
        return true;
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

std::string DialectName(m51asm::Dialect dialect)
{
    return dialect == m51asm::Dialect::Auto ? "auto" : m51asm::RulesOf(dialect).name;
}

bool IsAssemblyFile(const fs::path& path)
{
    const std::string extension = Lower(path.extension().string());
    return extension == ".asm" || extension == ".a51";
}

// The files of `folder` whose names end in `suffix` (letter case aside), by name.
std::vector<fs::path> FilesOf(const fs::path& folder, bool (*wanted)(const fs::path&))
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec) && wanted(it->path()))
            files.push_back(it->path().lexically_normal());  // "./main.a51" of the folder "." named "main.a51"
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

AssemblyProject ReadAssemblyProject(std::string_view text, const std::string& file)
{
    AssemblyProject project;
    project.file = file;
    const fs::path folder = fs::path(file).parent_path();
    ForEachLine(text, [&](std::string_view line, int number) {
        line = Trimmed(line.substr(0, line.find(';')));
        if (line.empty())
            return;
        const size_t eq = line.find('=');
        const std::string key = Lower(Trimmed(line.substr(0, eq)));
        const std::vector<std::string_view> values =
            Words(eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1));
        if (eq == std::string_view::npos || values.empty()) {
            project.problems.push_back(ProblemAt(file, number, "a line is KEY = VALUE (modules, dialect, place)"));
        } else if (key == "modules") {
            for (std::string_view name : values)
                project.modules.push_back((folder / fs::path(std::string(name))).lexically_normal().string());
        } else if (key == "dialect") {
            if (values.size() != 1 || !m51asm::DialectFromName(Lower(values[0]), project.dialect))
                project.problems.push_back(ProblemAt(file, number, "the dialect is asm51, keil, as31 or auto"));
        } else if (key == "place") {
            for (std::string_view value : values) {
                m51asm::Placement placement;
                if (!m51asm::ParsePlacement(value, placement))
                    project.problems.push_back(
                        ProblemAt(file, number, "a placement is SEGMENT=ADDRESS (1000H, 0x1000 or decimal)"));
                else
                    project.placements.push_back(std::move(placement));
            }
        } else {
            project.problems.push_back(ProblemAt(file, number, "unknown key " + key + " (modules, dialect, place)"));
        }
    });
    if (project.modules.empty() && project.problems.empty())
        project.problems.push_back(ProblemAt(file, 0, "the project names no modules (modules = FILE ...)"));
    return project;
}

bool IsModuleSource(std::string_view source)
{
    bool found = false;
    ForEachLine(source, [&found](std::string_view line, int) {
        if (found)
            return;
        std::vector<std::string_view> words = Words(line.substr(0, line.find(';')));
        if (!words.empty() && words[0].size() > 1 && words[0].back() == ':')
            words.erase(words.begin());
        if (words.empty())
            return;
        const std::string first = Lower(words[0]);
        found = first == "rseg" || first == "public" || first == "extrn" ||
                (words.size() > 1 && Lower(words[1]) == "segment");
    });
    return found;
}

bool IsAssemblyProjectFile(std::string_view path)
{
    const std::string_view suffix = kAssemblyProjectSuffix;
    return path.size() > suffix.size() && Lower(path.substr(path.size() - suffix.size())) == suffix;
}

AssemblyProject AssemblyProjectFor(const std::string& sourcePath, std::string_view sourceBytes)
{
    if (IsAssemblyProjectFile(sourcePath)) {
        AssemblyProject own = ReadAssemblyProject(sourceBytes, sourcePath);
        std::string first;
        own.linked = own.modules.size() > 1 || (own.modules.size() == 1 && m51asm::ReadSourceFile(own.modules[0], first)
                                                && IsModuleSource(first));
        return own;
    }
    AssemblyProject project;
    project.modules = {sourcePath};
    if (sourcePath.empty())
        return project;
    const fs::path parent = fs::path(sourcePath).parent_path();
    const fs::path folder = parent.empty() ? fs::path(".") : parent;
    for (const fs::path& file : FilesOf(folder, [](const fs::path& p) { return Lower(p.extension().string()) == kAssemblyProjectSuffix; })) {
        std::string text, why;
        if (!m51asm::ReadSourceFile(file.string(), text, &why))
            continue;
        AssemblyProject listed = ReadAssemblyProject(text, file.string());
        if (std::none_of(listed.modules.begin(), listed.modules.end(),
                         [&](const std::string& m) { return SamePath(m, sourcePath); }))
            continue;
        listed.linked = listed.modules.size() > 1 || IsModuleSource(sourceBytes);
        return listed;
    }
    if (!IsModuleSource(sourceBytes))
        return project;
    project.modules.clear();
    project.linked = true;
    for (const fs::path& file : FilesOf(folder, IsAssemblyFile)) {
        std::string text;
        if (SamePath(file.string(), sourcePath))
            project.modules.push_back(sourcePath);
        else if (m51asm::ReadSourceFile(file.string(), text) && IsModuleSource(text))
            project.modules.push_back(file.string());
    }
    if (project.modules.empty())  // the source is not saved in its folder yet
        project.modules = {sourcePath};
    return project;
}

Program BuildAssemblyProject(const AssemblyProject& project, const std::string& sourcePath,
                             const std::string& sourceBytes, const std::string& asmName)
{
    const std::string name = !asmName.empty() ? asmName : fs::path(sourcePath).filename().string();
    if (!project.problems.empty()) {
        Program out;
        out.language = Language::Assembly;
        out.diagnostics = project.problems;
        return out;
    }
    if (IsAssemblyProjectFile(sourcePath) && !project.modules.empty()) {
        const std::string& first = project.modules.front();
        std::string bytes, why;
        if (m51asm::ReadSourceFile(first, bytes, &why))
            return BuildAssemblyProject(project, first, bytes);
        Program out;
        out.language = Language::Assembly;
        out.diagnostics = {ProblemAt(first, 0, "cannot read the module: " + why)};
        return out;
    }
    if (!project.linked)
        return AssembleSource(sourceBytes, name, sourcePath, project.dialect);

    LinkSettings settings;
    settings.placements = project.placements;
    settings.dialect = project.dialect;
    std::vector<ModuleFile> modules;
    std::vector<Diagnostic> unread;
    for (const std::string& path : project.modules) {
        if (SamePath(path, sourcePath)) {
            settings.shown = modules.size();
            modules.push_back({sourceBytes, sourcePath});
            continue;
        }
        ModuleFile module{{}, path};
        std::string why;
        if (!m51asm::ReadSourceFile(path, module.bytes, &why))
            unread.push_back(ProblemAt(path, 0, "cannot read the module: " + why));
        modules.push_back(std::move(module));
    }
    if (!unread.empty()) {
        Program out;
        out.language = Language::Assembly;
        out.diagnostics = std::move(unread);
        return out;
    }
    return LinkAssemblyModules(modules, settings);
}

Program AssemblyProjectBuild::run(const BuildInput& input) const
{
    const AssemblyProject project = AssemblyProjectFor(input.path, input.bytes);
    if (project.file.empty() && !project.linked)
        return AssemblyBuild(m_sourceLines).run(input);
    Program out = BuildAssemblyProject(project, input.path, input.bytes, input.asmName);
    if (out.files.empty() && !project.modules.empty())
        out.files = {IsAssemblyProjectFile(input.path) ? project.modules.front() : input.path};
    return out;
}

std::string WithDialect(std::string_view projectText, const AssemblyProject& project, m51asm::Dialect dialect)
{
    const std::string setting = "dialect = " + DialectName(dialect);
    if (project.file.empty()) {
        std::string text = "modules =";
        for (const std::string& module : project.modules)
            text += " " + fs::path(module).filename().string();
        return text + "\r\n" + setting + "\r\n";
    }
    const std::string end = projectText.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    std::string text;
    bool replaced = false;
    ForEachLine(projectText, [&](std::string_view line, int) {
        const std::string_view code = Trimmed(line.substr(0, line.find(';')));
        const bool isDialect = Lower(Trimmed(code.substr(0, code.find('=')))) == "dialect" &&
                               code.find('=') != std::string_view::npos;
        text += isDialect && !replaced ? setting : std::string(line);
        text += end;
        replaced = replaced || isDialect;
    });
    if (!replaced)
        text += setting + end;
    return text;
}

std::string NewProjectPathFor(const std::string& sourcePath)
{
    const fs::path source(sourcePath);
    return (source.parent_path() / (source.stem().string() + kAssemblyProjectSuffix)).string();
}

std::string SaveDialect(const std::string& sourcePath, std::string_view sourceBytes, m51asm::Dialect dialect,
                        std::string& projectPath)
{
    const AssemblyProject project = AssemblyProjectFor(sourcePath, sourceBytes);
    std::string text, why;
    projectPath = project.file.empty() ? NewProjectPathFor(sourcePath) : project.file;
    std::error_code ec;
    if (project.file.empty() && fs::exists(projectPath, ec))
        return "it does not name " + fs::path(sourcePath).filename().string() + " among its modules";
    if (!project.file.empty() && !m51asm::ReadSourceFile(project.file, text, &why))
        return why;
    return m51::writeFileAtomically(projectPath, WithDialect(text, project, dialect));
}

} // namespace toolchain
