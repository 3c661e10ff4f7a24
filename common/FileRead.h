#pragma once
// One way to read an input file for every program of the product: only a
// regular file (or, where the reader streams, a named pipe) is read, and only
// up to a limit that the message names, so that a device (/dev/zero), a
// folder or a huge file ends in a clear error instead of all the memory.
// Also the test that an output is not one of the run's inputs, by device and
// inode (not by name), so that no run writes over what it reads. Plain C++
// (no Qt) for the command-line tools, the sanitizer and the Windows builds.
//
// Paths are byte strings as the programs get them; on Windows they are UTF-8.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace m51 {

// Sources and include files: far beyond any 8051 program.
inline constexpr std::size_t kSourceLimit = std::size_t{64} << 20;
// Board files, scripts, test files, saved states, HEX files, files to send.
inline constexpr std::size_t kInputLimit = std::size_t{16} << 20;

// "16 MB", "64 KB", "100 bytes": a limit in a message.
std::string sizeInWords(std::size_t bytes);

// What is at `path` when it is no file to read ("a folder", "a device, not a
// file", ...), or "" for a regular file (and for a named pipe with allowPipe).
// A path that does not exist gives the system's words.
std::string notAFile(const std::string& path, bool allowPipe = false);

// The whole file, or nothing with the reason in `why` ("is a folder", "is
// larger than the limit of 16 MB", "No such file or directory", ...).
std::optional<std::string> readFileBounded(const std::string& path, std::size_t limit, std::string& why,
                                           bool allowPipe = false);

// True when both name one existing file (same device and inode).
bool sameFile(const std::string& a, const std::string& b);

// "" when no output is one of the inputs, else "the output OUT is the input
// IN" for the first such pair. Empty paths and "-" (standard output) are skipped.
std::string outputOverInput(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs);

} // namespace m51
