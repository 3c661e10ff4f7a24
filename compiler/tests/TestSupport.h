#pragma once
// Shared helpers of the compiler tests: compiling a few lines, reading and
// writing files, a scratch folder, and running the m51c program.

#include "compiler/Compiler.h"

#include <filesystem>
#include <string>
#include <vector>

namespace m51test {

using Lines = std::vector<std::string>;

// A fresh compile with the lists as their texts, to compare with expected lines.
struct TextResult {
    Lines Output;
    Lines ProcBox;
    Lines Definebox;
    Lines InlineBox;
    Lines ErBox;
    m51::CompileResult full;  // the entries with their source lines, and the line map
};
// A fresh compile of the given lines.
TextResult Compile(const Lines& source);
// The output lines of a fresh compile.
Lines Output(const Lines& source);

// A source (usually one line) and the output lines of its fresh compile.
struct TranslationCase {
    Lines source;
    Lines output;
};
// Checks every case, naming the source of a failing one.
void ExpectTranslations(const std::vector<TranslationCase>& cases);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// A folder of its own for one test (its name holds a dot), removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    // File names in the folder, sorted.
    std::vector<std::string> Files() const;

private:
    std::filesystem::path m_path;
};

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs m51c with the arguments in `dir` as working directory.
RunResult RunM51c(const std::vector<std::string>& args, const std::filesystem::path& dir);

} // namespace m51test
