#pragma once
// Runs another program (SDCC) to its end and gives back its exit code and
// what it printed on both of its outputs, without a shell between: arguments
// reach the program as they are, whatever characters they hold.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace sdcc {

struct ProcessResult {
    bool started = false;     // false: the program could not be run (`failure` says why)
    int exitCode = -1;
    std::string output;       // standard output and standard error as they came, cut at the limit
    std::string failure;
};

ProcessResult RunProcess(const std::vector<std::string>& arguments, const std::filesystem::path& workFolder,
                         std::size_t maxOutput = 4u << 20);

} // namespace sdcc
