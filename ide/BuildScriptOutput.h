#pragma once
// What Debug's build script wrote, read as diagnostics: the one place where
// another program's printed messages become data. A line "FILE:LINE: text"
// (or "FILE:LINE:COLUMN: text") about the generated .asm file is tied to the
// M51 line that produced that assembly line, by the compile's line map; one
// about another file keeps that file and line; any other non-empty line is a
// note without a line. A message starting "warning" is a warning.

#include "common/Diagnostic.h"

#include <QString>
#include <vector>

// At most this many lines are read: a runaway script cannot fill the list.
inline constexpr int MaxBuildScriptMessages = 500;

// `asmFile`: the .asm file the script assembled (full path; its name alone
// matches too). `lineMap`: the 0-based M51 line of each assembly line.
std::vector<m51::Diagnostic> readBuildScriptOutput(const QString& output, const QString& asmFile,
                                                   const std::vector<int>& lineMap);
