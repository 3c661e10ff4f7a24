#pragma once
// What an editor shows of a run on each line with code: executed or never,
// for lines with conditional jumps whether each went both ways, and how hot
// the line is among the program's lines (a few shades for the ones that
// cost the most cycles). Made from a Report, for Zelvar's source editor (by
// source line) and its ASM window (by assembly line).

#include "insight/Insight.h"

#include <cstdint>
#include <string>
#include <vector>

namespace insight {

enum class LineCoverage {
    Executed,  // ran; every conditional jump on it went both ways (or it has none)
    Partial,   // ran, but a conditional jump on it went one way only or was never reached
    Never,     // never ran
};

constexpr int HeatLevels = 3;  // shades of the hottest lines
constexpr int HotLines = 10;   // at most this many lines are shaded
constexpr int HeatShare = 20;  // and only those with at least 1/20 (5%) of all the lines' cycles

struct LineMark {
    int line = 0;  // 0-based
    LineCoverage coverage = LineCoverage::Never;
    uint64_t hits = 0;
    uint64_t cycles = 0;
    std::vector<Branch> branches;  // known when the run was recorded
    int heat = 0;  // 0: not among the hottest; 1..HeatLevels, HeatLevels the hottest
};

// `branchesKnown`: the branch outcomes were recorded (else a line that ran is Executed).
std::vector<LineMark> MarksOf(const std::vector<LineStats>& lines, bool branchesKnown);

// The tool tip of a marked line: its runs, its cycles and time at the
// crystal, and the way each conditional jump on it went.
std::string TipOf(const LineMark& mark, bool branchesKnown, double crystalHz, uint64_t totalCycles);

} // namespace insight
