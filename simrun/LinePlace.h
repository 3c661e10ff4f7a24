#pragma once
// A line of a program's sources as users name it on m51sim's command line
// and in firmware tests: FILE:LINE for any source file of a C program (the
// file by its path or by the end of it, "main.c" or "src/main.c"), and where
// its code starts. A line without code stands for the next one with code,
// as breakpoints do.

#include "toolchain/Program.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace m51sim {

struct LinePlace {
    std::string file;  // empty: the bare N form (the program's own source)
    int line = 0;      // 1-based
};

// "main.c:12" or "12"; nothing when the text is neither.
std::optional<LinePlace> ParseLinePlace(std::string_view text);

struct LineStart {
    int file = -1;       // index into Program::files
    int line = -1;       // 0-based line with code at or after the one asked
    uint16_t address = 0;
    std::string error;   // why there is none
};

// The index of the source file `name` names in `program`; -1 with the
// reason in `error` when none or several do.
int FindSourceFile(const toolchain::Program& program, const std::string& name, std::string& error);

// Where line `place.line` of `place.file` starts in code.
LineStart FindLineStart(const toolchain::Program& program, const LinePlace& place);

} // namespace m51sim
