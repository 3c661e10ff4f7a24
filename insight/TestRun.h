#pragma once
// Runs firmware tests (*.m51test, see TestFile.h) on the simulator core:
// builds the program, drives the serial script and the pin changes, checks
// the expectations and keeps the coverage and profile of the run. Also the
// whole of `m51sim test`: a folder of tests, one line per test, a closing
// "N passed, M failed", a JUnit report and the merged coverage. Plain C++.

#include "insight/Insight.h"
#include "toolchain/Build.h"
#include "insight/TestFile.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace insight {

// A program built from its file as m51sim builds it: .M51 compiled and
// assembled, .asm/.a51 assembled, .hex read.
struct BuiltProgram {
    toolchain::Program code;
    bool m51 = false, assembly = false, hex = false;
    std::string asmPath;  // where the assembly lives (an M51 program: beside it)
    std::vector<std::string> errors;  // "file:line: message"
};
// `moreSources`: the further .c files of a C program named file by file.
BuiltProgram BuildProgramFile(const std::string& path, const m51sim::FileReader& readFile,
                              const std::vector<std::string>& moreSources = {});

struct TestOutcome {
    std::string name, path;
    bool passed = false;
    bool error = false;  // the test could not run: its file or its program has errors
    std::vector<std::string> failures;  // "FILE:LINE: message"
    uint64_t cycles = 0, instructions = 0;
    double seconds = 0;  // wall-clock time of the run
    std::string serialOut;
    // With coverage: what ran, and the files the lines belong to.
    std::optional<Report> report;
    std::string sourcePath, asmPath;
};

// A virtual board under a test's program (`board FILE`), for builds that
// have boards: it hears everything the machine tells the outside world and
// shows what its LCD shows.
struct TestBoard {
    virtual ~TestBoard() = default;
    virtual sim::Listener& listener() = 0;
    virtual std::string lcdText() const = 0;  // the LCD's lines, "\n" between them
};
// Makes the board of the file `path` on `machine`; nullptr with the reason in `error`.
using BoardFactory = std::function<std::unique_ptr<TestBoard>(const std::string& path, sim::Machine& machine,
                                                              std::string& error)>;

// Without `boards`, `board` and `check lcd` lines are refused.
TestOutcome RunTest(const TestFile& test, const m51sim::FileReader& readFile, bool coverage,
                    const BoardFactory& boards = {});

struct FolderOptions {
    std::string junitFile, coverageFile, profileFile;
};

// `m51sim test PATH`: PATH is a folder (its *.m51test files, by name) or one
// test file. Exit status 0 all passed, 1 a test failed, 2 no tests, an
// unreadable folder or an output file not written.
int RunTestFolder(const std::string& path, const FolderOptions& options, const m51sim::FileReader& readFile,
                  std::FILE* out, std::FILE* err, const BoardFactory& boards = {});

// JUnit XML (the form CI servers read): one suite, one case a test.
std::string JUnitXml(const std::vector<TestOutcome>& outcomes, const std::string& suiteName);

// The text of bytes for a message: printable ASCII as it is, the rest as escapes.
std::string ShowBytes(const std::string& bytes);

} // namespace insight
