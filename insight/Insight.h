#pragma once
// Coverage and cycle profile of a run, by M51 line, by assembly line and by
// procedure: built after (or during a pause of) a run from the core's
// execution counters, the program's source map and, when the run went
// through a Recorder, the branch outcomes and the time spent in calls.
// Results are plain data; the writers turn them into lcov and CSV files and
// Zelvar into gutter marks and its profile table.

#include "insight/Recorder.h"
#include "toolchain/Program.h"

#include "sim/Machine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace insight {

struct CodeLabel {
    std::string name;
    uint16_t address = 0;
};

// The program as insight reads it: the program model itself, read where it
// lies and never copied, and the labels of its code. Whoever holds the model
// (the debug engine, a test run) keeps it alive as long as the info is used;
// changes to its code (the debugger writing code memory) are seen at once.
struct ProgramInfo {
    const toolchain::Program* model = nullptr;  // null: no program
    std::vector<CodeLabel> labels;
    bool fromM51 = false;  // an M51 program: its own labels are procedures, the compiler's are not

    // The code byte at `address`; 0xFF where the image has none.
    uint8_t codeAt(uint16_t address) const;
    const toolchain::SourceMap& map() const;
    bool fromC() const;
    // A C program: its source files, the code of their lines and its
    // functions (the map holds no lines then). A program of several
    // assembly modules: the modules and the code of their lines (no
    // functions). Empty for other programs.
    const std::vector<std::string>& files() const;
    const std::vector<toolchain::LineRange>& lines() const;
    const std::vector<toolchain::Function>& functions() const;
};

// The program model as insight reads it; `program` must outlive the result.
ProgramInfo InfoOf(const toolchain::Program& program);

struct ProcedureInfo {
    std::string name;
    uint16_t start = 0;
    int vector = -1;       // the interrupt vector this entry is (0 INT0 ... 5 timer 2), -1 none
    bool handler = false;  // entered from an interrupt vector
};

// Procedures by start address: the reset entry, the interrupt vectors in
// use, the targets of calls and of the vectors' jumps, and (M51) every label
// the program named itself, and (C) its functions by their names.
std::vector<ProcedureInfo> FindProcedures(const ProgramInfo& program);
// Index of the procedure each code address belongs to (64 K entries).
std::vector<uint16_t> ProcedureIndex(const std::vector<ProcedureInfo>& procedures);

// The outcomes of one conditional jump.
struct Branch {
    uint16_t address = 0;
    uint64_t taken = 0;        // jumped to its target
    uint64_t fallThrough = 0;  // went on with the next instruction
};

enum class BranchState { Never, OnlyTaken, OnlyFallThrough, Both };
BranchState StateOf(const Branch& branch);

// One line with code (0-based line number).
struct LineStats {
    int line = 0;
    uint64_t hits = 0;    // times the line ran: the most of its instructions' counts
    uint64_t cycles = 0;  // machine cycles of its instructions (and of interrupt entries at a vector)
    std::vector<Branch> branches;  // conditional jumps on the line, in address order
    bool executed() const { return hits > 0; }
};

struct ProcedureStats {
    ProcedureInfo info;
    int sourceLine = -1;  // 0-based M51 line of its first instruction (C: of its definition), -1 none
    int file = -1;        // a C function, a procedure of assembly modules: its source file in Report::files
    int asmLine = -1;
    uint64_t entries = 0;  // calls into it, or interrupt entries for a vector
    uint64_t ownCycles = 0;
    uint64_t inclusiveCycles = 0;  // with the calls it makes; a vector: the whole handler
    bool recorded = false;  // entries and inclusive cycles known (the run went through a Recorder)
};

struct Report {
    std::vector<LineStats> sourceLines;  // M51 lines, in line order
    std::vector<LineStats> asmLines;     // assembly lines, in line order
    std::vector<std::string> files;                 // a C program: its source files
    std::vector<std::vector<LineStats>> fileLines;  // and the lines of each, in line order
    std::vector<ProcedureStats> procedures;
    uint64_t totalCycles = 0;  // machine cycles of the run
    uint64_t idleCycles = 0;   // in idle mode (known with a Recorder)
    uint64_t instructions = 0;
    double crystalHz = 0;
    bool branchesKnown = false;  // the run went through a Recorder
};

// `recorder` may be null: the line coverage and own cycles come from the
// core alone, branch outcomes and inclusive cycles are then unknown.
Report BuildReport(const sim::Machine& machine, const ProgramInfo& program, const std::vector<ProcedureInfo>& procedures,
                   const Recorder* recorder);

// Seconds at the crystal for a count of machine cycles (12 oscillator periods each).
inline double Seconds(uint64_t cycles, double crystalHz) { return crystalHz > 0 ? cycles * 12.0 / crystalHz : 0; }

} // namespace insight
