#pragma once
// Builds a program in memory and runs it through a Recorder for the tests.

#include "insight/Insight.h"
#include "toolchain/Build.h"

#include "sim/Chip.h"
#include "sim/Machine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace insight::test {

// The bytes a run sent on the serial line.
struct Sent : sim::Listener {
    std::string bytes;
    void serialSent(uint64_t, uint8_t byte) override { bytes += static_cast<char>(byte); }
};

struct Run {
    toolchain::Program code;
    ProgramInfo program;
    std::vector<ProcedureInfo> procedures;
    std::unique_ptr<sim::Machine> machine;
    std::unique_ptr<Recorder> recorder;

    // Steps until the PC is at `until` (after at least one step) or `steps` are done.
    void go(uint64_t steps, std::optional<uint16_t> until = std::nullopt)
    {
        for (uint64_t i = 0; i < steps; ++i) {
            recorder->step(*machine);
            if (until && machine->pc() == *until)
                return;
        }
    }
    Report report() const { return BuildReport(*machine, program, procedures, recorder.get()); }
    uint16_t label(const std::string& name) const
    {
        for (const CodeLabel& l : program.labels)
            if (l.name == name)
                return l.address;
        ADD_FAILURE() << "no label " << name;
        return 0;
    }
    const ProcedureStats* procedure(const Report& report, const std::string& name) const
    {
        for (const ProcedureStats& p : report.procedures)
            if (p.info.name == name)
                return &p;
        ADD_FAILURE() << "no procedure " << name;
        return nullptr;
    }
};

inline std::unique_ptr<Run> Start(const std::string& text, bool m51)
{
    auto run = std::make_unique<Run>();
    run->code = m51 ? toolchain::CompileM51(text, "test.asm") : toolchain::AssembleProgram(text, "test.asm");
    for (const auto& error : run->code.diagnostics)
        ADD_FAILURE() << error.line << ": " << error.message;
    if (!run->code.ok)
        return nullptr;
    run->program = InfoOf(run->code);
    run->procedures = FindProcedures(run->program);
    run->machine = std::make_unique<sim::Machine>(*sim::findChip("8052"), sim::Board{});
    run->machine->loadCode(run->code.code.data(), run->code.code.size());
    run->machine->reset();
    run->recorder = std::make_unique<Recorder>(*run->machine, ProcedureIndex(run->procedures), run->procedures.size());
    return run;
}

inline std::string ReadText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The 0-based index of the first line of `text` that contains `needle`.
inline int LineOf(const std::string& text, const std::string& needle)
{
    std::istringstream lines(text);
    std::string line;
    for (int i = 0; std::getline(lines, line); ++i)
        if (line.find(needle) != std::string::npos)
            return i;
    ADD_FAILURE() << "no line with " << needle;
    return -1;
}

inline const LineStats* StatsOf(const std::vector<LineStats>& lines, int line)
{
    for (const LineStats& stats : lines)
        if (stats.line == line)
            return &stats;
    return nullptr;
}

} // namespace insight::test
