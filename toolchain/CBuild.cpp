#include "toolchain/CBuild.h"

#include "common/FileRead.h"
#include "toolchain/CdbProgram.h"

#include "sdcc/ProjectBuild.h"

#include <filesystem>

namespace toolchain {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCouldNotRun = "cannot build: ";

Diagnostic diagnosticOf(const sdcc::Message& message, const fs::path& folder)
{
    Diagnostic d;
    d.file = message.file.empty() ? std::string() : (folder / message.file).lexically_normal().string();
    d.line = message.line;
    d.column = message.column;
    d.severity = message.severity == sdcc::Message::Severity::Error     ? m51::Severity::Error
                 : message.severity == sdcc::Message::Severity::Warning ? m51::Severity::Warning
                                                                        : m51::Severity::Note;
    d.stage = m51::Stage::BuildScript;
    d.message = message.text;
    return d;
}

Program couldNotRun(const std::string& file, const std::string& reason)
{
    Program out;
    out.language = Language::C;
    Diagnostic d;
    d.file = file;
    d.stage = m51::Stage::Files;
    d.message = std::string(kCouldNotRun) + reason;
    out.diagnostics.push_back(std::move(d));
    return out;
}

} // namespace

bool BuildCouldNotRun(const Program& program)
{
    return !program.ok && !program.diagnostics.empty() && program.diagnostics.front().stage == m51::Stage::Files
        && program.diagnostics.front().message.rfind(kCouldNotRun, 0) == 0;
}

Program CBuild::run(const BuildInput& input) const
{
    const fs::path path(input.path);
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    sdcc::CProject project;
    if (path.extension() == ".m51proj") {
        std::string why;
        const auto text = m51::readFileBounded(input.path, m51::kInputLimit, why);
        if (!text)
            return couldNotRun(input.path, why);
        sdcc::ProjectReadResult read = sdcc::ReadProject(*text, folder, path.stem().string());
        if (!read.errors.empty()) {
            const sdcc::ProjectError& e = read.errors.front();
            Program out = couldNotRun(input.path, e.message);
            out.diagnostics.front().line = e.line;
            return out;
        }
        project = std::move(read.project);
    } else {
        project = sdcc::DefaultProject(folder, path.filename().string());
        if (!m_sources.empty()) {
            project.sources.clear();
            fs::path base = fs::absolute(folder).lexically_normal();
            if (!base.has_filename())
                base = base.parent_path();
            for (const std::string& source : m_sources)
                project.sources.push_back(fs::absolute(source).lexically_normal().lexically_relative(base).generic_string());
        }
    }
    const sdcc::ProjectBuildResult built = sdcc::BuildProject(project, sdcc::SdccProgram(m_sdcc));
    if (!built.failure.empty())
        return couldNotRun(input.path, built.failure);
    std::vector<Diagnostic> diagnostics;
    for (const sdcc::Message& message : built.messages)
        diagnostics.push_back(diagnosticOf(message, project.folder));
    if (!built.ok) {
        Program out;
        out.language = Language::C;
        out.diagnostics = std::move(diagnostics);
        return out;
    }
    std::string why;
    const std::string image = project.imagePath().string();
    const auto hex = m51::readFileBounded(image, m51::kInputLimit, why);
    if (!hex)
        return couldNotRun(image, why);
    Program out = HexBuild({CdbReader()}).run({*hex, image, input.asmName});
    out.language = Language::C;
    // SDCC names the sources as it was given them, relative to the project's
    // folder; the reader put them beside the image, which may lie in the build folder.
    for (std::string& file : out.files) {
        const fs::path relative = fs::path(file).lexically_relative(project.buildPath());
        if (!relative.empty() && *relative.begin() != "..")
            file = (project.folder / relative).lexically_normal().string();
    }
    out.diagnostics.insert(out.diagnostics.begin(), diagnostics.begin(), diagnostics.end());
    return out;
}

} // namespace toolchain
