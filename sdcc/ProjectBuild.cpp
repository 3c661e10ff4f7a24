#include "sdcc/ProjectBuild.h"

#include "sdcc/DebugLocals.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sdcc {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxDependencyFile = 1u << 20;

std::string readSmallFile(const fs::path& path, std::size_t limit = kMaxDependencyFile)
{
    std::ifstream in(path, std::ios::binary);
    std::error_code error;
    const auto size = fs::file_size(path, error);
    std::string text(error ? 0 : std::min<std::size_t>(size, limit), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

fs::path objectPath(const CProject& project, const std::string& source)
{
    return project.buildPath() / (fs::path(source).stem().string() + ".rel");
}

fs::path dependencyPath(const CProject& project, const std::string& source)
{
    return project.buildPath() / (fs::path(source).stem().string() + ".d");
}

// An object is current when it is newer than its source and every header its
// dependency file names.
bool isCurrent(const CProject& project, const std::string& source)
{
    std::error_code error;
    const fs::path object = objectPath(project, source);
    const auto built = fs::last_write_time(object, error);
    if (error)
        return false;
    const fs::path dependencies = dependencyPath(project, source);
    if (!fs::exists(dependencies, error))
        return false;
    std::vector<std::string> inputs = ReadDependencies(readSmallFile(dependencies));
    inputs.push_back(source);
    for (const std::string& input : inputs) {
        const auto changed = fs::last_write_time(project.folder / input, error);
        if (error || changed > built)
            return false;
    }
    return true;
}

std::string joined(const std::vector<std::string>& options)
{
    std::string text;
    for (const std::string& option : options)
        text += option + "\n";
    return text;
}

// Runs SDCC; false when it failed (its messages are in `result`).
bool runSdcc(const std::vector<std::string>& arguments, const CProject& project, const ProcessRunner& run,
             ProjectBuildResult& result)
{
    const ProcessResult process = run(arguments, project.folder);
    if (!process.started) {
        result.failure = process.failure + ". " + SdccMissingAdvice();
        return false;
    }
    std::vector<Message> messages = ReadMessages(process.output);
    const bool failed = process.exitCode != 0;
    bool reported = false;
    for (Message& message : messages) {
        reported |= message.severity == Message::Severity::Error;
        result.messages.push_back(std::move(message));
    }
    if (failed && !reported)
        result.messages.push_back(Message{{}, 0, 0, Message::Severity::Error,
                                          arguments.front() + " stopped with exit code " + std::to_string(process.exitCode)});
    return !failed;
}

bool prepareFolder(const CProject& project, ProjectBuildResult& result)
{
    std::error_code error;
    fs::create_directories(project.buildPath(), error);
    if (!error)
        return true;
    result.failure = "cannot make the build folder " + project.buildPath().string() + ": " + error.message();
    return false;
}

// SDCC writes no debug records of the locals of the functions whose locals
// it overlays; the same source compiled with --nooverlay, in a folder of
// its own, supplies them to the object's .adb, which the link copies into
// the program's .cdb. Nothing changes when that compile fails.
void addOverlaidLocals(const CProject& project, const std::string& source, const std::string& sdcc,
                       const ProcessRunner& run)
{
    constexpr std::size_t kMaxListing = 64u << 20;
    const fs::path object = objectPath(project, source);
    const fs::path adbPath = fs::path(object).replace_extension(".adb");
    const std::string adb = readSmallFile(adbPath, kMaxListing);
    const std::vector<LocalAllocation> locals =
        ReadLocalAllocations(readSmallFile(fs::path(object).replace_extension(".asm"), kMaxListing));
    if (adb.empty() || !LacksLocalRecords(adb, locals))
        return;
    const fs::path side = project.buildPath() / ".nooverlay";
    std::error_code error;
    fs::create_directories(side, error);
    std::vector<std::string> arguments{sdcc, "-c"};
    const std::vector<std::string> options = SdccOptions(project);
    arguments.insert(arguments.end(), options.begin(), options.end());
    const fs::path sideObject = side / object.filename();
    arguments.insert(arguments.end(),
                     {"--nooverlay", "-o", fs::relative(sideObject, project.folder).generic_string(), source});
    const ProcessResult process = run(arguments, project.folder);
    if (process.started && process.exitCode == 0) {
        const std::string records =
            MissingLocalRecords(adb, readSmallFile(fs::path(sideObject).replace_extension(".adb"), kMaxListing), locals);
        if (!records.empty())
            std::ofstream(adbPath, std::ios::binary | std::ios::app) << (adb.back() == '\n' ? "" : "\n") << records;
    }
    fs::remove_all(side, error);
}

bool compile(const CProject& project, const std::string& source, const std::string& sdcc, const ProcessRunner& run,
             ProjectBuildResult& result)
{
    std::vector<std::string> arguments{sdcc, "-c"};
    const std::vector<std::string> options = SdccOptions(project);
    arguments.insert(arguments.end(), options.begin(), options.end());
    const fs::path object = fs::relative(objectPath(project, source), project.folder);
    const fs::path dependencies = fs::relative(dependencyPath(project, source), project.folder);
    arguments.insert(arguments.end(), {"-Wp,-MMD," + dependencies.generic_string(), "-o", object.generic_string(), source});
    std::error_code error;
    fs::remove(objectPath(project, source), error);  // a failed compile must not leave the old object current
    result.compiled.push_back(source);
    return runSdcc(arguments, project, run, result);
}

} // namespace

std::string SdccProgram(const std::string& configured)
{
    if (!configured.empty())
        return configured;
    if (const char* fromEnvironment = std::getenv("SDCC"); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    return "sdcc";
}

std::string SdccMissingAdvice()
{
    return "Building C needs SDCC: install it (on Debian or Ubuntu: sudo apt-get install sdcc) or name it in Setup "
           "or in the SDCC environment variable";
}

std::vector<std::string> ReadDependencies(std::string_view text)
{
    const std::size_t colon = text.find(": ");
    std::vector<std::string> files;
    if (colon == std::string_view::npos)
        return files;
    std::string current;
    for (std::size_t i = colon + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
            continue;  // a line continues
        }
        if (c == '\\' && i + 1 < text.size() && text[i + 1] == ' ') {
            current += ' ';
            ++i;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!current.empty())
                files.push_back(std::move(current));
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.empty())
        files.push_back(std::move(current));
    return files;
}

ProjectBuildResult BuildProject(const CProject& project, const std::string& sdcc, const ProcessRunner& run)
{
    ProjectBuildResult result;
    if (!prepareFolder(project, result))
        return result;
    // Other options make every object stale.
    const fs::path optionsFile = project.buildPath() / (project.name + ".options");
    const std::string options = joined(SdccOptions(project));
    const bool sameOptions = readSmallFile(optionsFile) == options;
    bool ok = true;
    for (const std::string& source : project.sources) {
        if (sameOptions && isCurrent(project, source))
            continue;
        const bool compiled = compile(project, source, sdcc, run, result);
        if (compiled)
            addOverlaidLocals(project, source, sdcc, run);
        ok = compiled && ok;
        if (!result.failure.empty())
            return result;
    }
    if (!ok)
        return result;
    std::ofstream(optionsFile, std::ios::binary) << options;
    std::error_code error;
    const bool imageMissing = !fs::exists(project.imagePath(), error);
    if (result.compiled.empty() && !imageMissing) {
        result.ok = true;
        return result;
    }
    std::vector<std::string> arguments{sdcc};
    const std::vector<std::string> sdccOptions = SdccOptions(project);
    arguments.insert(arguments.end(), sdccOptions.begin(), sdccOptions.end());
    arguments.insert(arguments.end(), {"-o", fs::relative(project.imagePath(), project.folder).generic_string()});
    for (const std::string& source : project.sources)
        arguments.push_back(fs::relative(objectPath(project, source), project.folder).generic_string());
    result.linked = true;
    result.ok = runSdcc(arguments, project, run, result);
    return result;
}

ProjectBuildResult CheckSource(const CProject& project, const std::string& source, const std::string& sdcc,
                         const ProcessRunner& run)
{
    ProjectBuildResult result;
    if (!prepareFolder(project, result))
        return result;
    result.ok = compile(project, source, sdcc, run, result);
    return result;
}

} // namespace sdcc
