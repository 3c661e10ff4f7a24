#pragma once
// The coverage as an lcov trace file (what genhtml and CI coverage services
// read) and the profile as CSV (spreadsheets, scripts).

#include "insight/Insight.h"

#include <string>

namespace insight {

// One record per source: `sourcePath` gets the M51 lines (empty: none),
// `asmPath` the assembly lines (empty: none), and each C file of a C
// program its own lines. Lines are written 1-based;
// every conditional jump is a block of two branches, taken and fall-through.
// Procedures on a line of that source are its functions. The test name
// keeps letters and digits, anything else becomes "_" (lcov's rule).
std::string LcovTrace(const Report& report, const std::string& testName, const std::string& sourcePath,
                      const std::string& asmPath);

// One row a line and one a procedure:
// kind,file,line,name,count,cycles,inclusive_cycles,seconds,share
// kind: "line" (M51, or C with the C file's path), "asm", "procedure", "interrupt", "idle"; share of the run's cycles in percent.
// With `testName`, every row starts with a "test" column holding it (the
// profiles of several tests in one file).
std::string ProfileCsv(const Report& report, const std::string& sourceName, const std::string& asmName,
                       const std::string& testName = {});

} // namespace insight
