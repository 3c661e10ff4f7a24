#pragma once
// Building a C program with SDCC: each source compiled to an object in the
// build folder (only those whose source, headers or options changed since
// the last build), then linked into NAME.ihx with its NAME.cdb and NAME.map.
// Check compiles one file on its own. SDCC's messages come back with their
// places; a build that cannot start (no SDCC) says what to install.

#include "sdcc/CProject.h"
#include "sdcc/ProcessRun.h"
#include "sdcc/SdccMessages.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sdcc {

using ProcessRunner =
    std::function<ProcessResult(const std::vector<std::string>& arguments, const std::filesystem::path& workFolder)>;

struct ProjectBuildResult {
    bool ok = false;
    std::string failure;               // the build could not run: why (no SDCC, a folder that cannot be made)
    std::vector<Message> messages;     // SDCC's errors and warnings, file names relative to the project folder
    std::vector<std::string> compiled; // the sources compiled by this build
    bool linked = false;
};

// The SDCC to run: `configured` (Setup) when given, else $SDCC, else "sdcc" on the PATH.
std::string SdccProgram(const std::string& configured = {});

// How to get SDCC when it is missing.
std::string SdccMissingAdvice();

ProjectBuildResult BuildProject(const CProject& project, const std::string& sdccProgram,
                          const ProcessRunner& run = [](const auto& a, const auto& f) { return RunProcess(a, f); });

// Check: compiles `source` (relative to the project folder) to an object in
// the build folder and reports what SDCC says; links nothing.
ProjectBuildResult CheckSource(const CProject& project, const std::string& source, const std::string& sdccProgram,
                         const ProcessRunner& run = [](const auto& a, const auto& f) { return RunProcess(a, f); });

// The files a make-style dependency file names after its target's colon.
std::vector<std::string> ReadDependencies(std::string_view text);

} // namespace sdcc
