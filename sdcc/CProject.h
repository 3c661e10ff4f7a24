#pragma once
// A C program for SDCC as Zelvar and m51sim build it: its sources, the chip,
// the crystal, SDCC's memory model and options, and where the build's files
// go. Stored as a small text file (NAME.m51proj) of `key = value` lines:
//
//   sources = main.c lib.c
//   chip = 8052
//   crystal = 11.0592
//   model = small          ; small, medium, large or huge
//   stack-auto = no
//   code-size = 8192
//   xram-size = 0
//   options = --opt-code-size
//   build = build
//
// Without a project file, the .c files of the source's folder make the
// program, with the defaults above.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sdcc {

struct CProject {
    enum class Model { Small, Medium, Large, Huge };

    std::filesystem::path folder;       // where the sources are (the project file's folder)
    std::string name = "main";          // the image's name: NAME.ihx, NAME.cdb, NAME.map
    std::vector<std::string> sources;   // relative to `folder`
    std::string chip = "8052";
    double crystalMHz = 11.0592;
    Model model = Model::Small;
    bool stackAuto = false;
    unsigned codeSize = 0;              // bytes; 0: SDCC's default
    unsigned xramSize = 0;              // bytes; 0: SDCC's default
    std::vector<std::string> options;   // more SDCC options, as written
    std::string buildFolder;            // relative to `folder`; empty: beside the sources

    std::filesystem::path buildPath() const { return buildFolder.empty() ? folder : folder / buildFolder; }
    std::filesystem::path imagePath() const { return buildPath() / (name + ".ihx"); }
    std::filesystem::path debugPath() const { return buildPath() / (name + ".cdb"); }
};

struct ProjectError {
    int line = 0;  // 1-based line of the project file; 0: the file as a whole
    std::string message;
};

struct ProjectReadResult {
    CProject project;
    std::vector<ProjectError> errors;
};

// The project file's text; `folder` and `name` come from its path.
ProjectReadResult ReadProject(std::string_view text, const std::filesystem::path& folder, const std::string& name);
// The text that ReadProject reads back to the same project.
std::string WriteProject(const CProject& project);
// The .c files of `folder` (sorted), named after `mainSource`'s stem.
CProject DefaultProject(const std::filesystem::path& folder, const std::string& mainSource);

// SDCC's options for compiling and linking the project: the memory model,
// --stack-auto, the memory sizes and the extra options.
std::vector<std::string> SdccOptions(const CProject& project);

std::string_view ModelName(CProject::Model model);

} // namespace sdcc
