// Figures of the firmware insight:
//  - a run with coverage and profile (every step through the Recorder, the
//    report built at the end) against the bare run of the core;
//  - Step Back (one instruction, one line, the oldest step, a Reverse
//    Continue that scans the whole history) over 100,000 steps;
//  - the memory the history of 100,000 steps takes.
#include "insight/History.h"
#include "insight/Insight.h"
#include "toolchain/Build.h"

#include "sim/Chip.h"
#include "sim/Machine.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdio>
#include <functional>
#include <memory>

using namespace insight;

namespace {

// Calls, conditional jumps and a timer interrupt: every path of the Recorder.
const char* const Program = R"(ORG 0
LJMP MAIN
ORG 0BH
LJMP TICK
ORG 30H
MAIN: MOV SP,#60H
MOV TMOD,#02H
MOV IE,#82H
SETB TR0
AGAIN: MOV R2,#20
INNER: LCALL WORK
MOV A,R2
ANL A,#3
JZ SKIP
INC 41H
SKIP: DJNZ R2,INNER
SJMP AGAIN
WORK: MOV A,40H
ADD A,#7
MOV 40H,A
JNC NOCARRY
INC 42H
NOCARRY: RET
TICK: INC 43H
RETI
END
)";

struct Setup {
    toolchain::Program code = toolchain::AssembleProgram(Program, "bench.asm");
    ProgramInfo program = InfoOf(code);
    std::vector<ProcedureInfo> procedures = FindProcedures(program);
    std::unique_ptr<sim::Machine> machine()
    {
        auto m = std::make_unique<sim::Machine>(*sim::findChip("8052"), sim::Board{});
        m->loadCode(code.code.data(), code.code.size());
        m->reset();
        return m;
    }
};

constexpr int Steps = 1000000;

void BareRun(benchmark::State& state)
{
    Setup setup;
    for (auto _ : state) {
        auto machine = setup.machine();
        for (int i = 0; i < Steps; ++i)
            machine->step();
        benchmark::DoNotOptimize(machine->cycles());
    }
    state.SetItemsProcessed(state.iterations() * Steps);
}
BENCHMARK(BareRun)->Unit(benchmark::kMillisecond);

void CoverageAndProfileRun(benchmark::State& state)
{
    Setup setup;
    for (auto _ : state) {
        auto machine = setup.machine();
        Recorder recorder(*machine, ProcedureIndex(setup.procedures), setup.procedures.size());
        for (int i = 0; i < Steps; ++i)
            recorder.step(*machine);
        const Report report = BuildReport(*machine, setup.program, setup.procedures, &recorder);
        benchmark::DoNotOptimize(report.totalCycles);
    }
    state.SetItemsProcessed(state.iterations() * Steps);
}
BENCHMARK(CoverageAndProfileRun)->Unit(benchmark::kMillisecond);

void HistoryRun(benchmark::State& state)
{
    Setup setup;
    for (auto _ : state) {
        auto machine = setup.machine();
        History history(*machine);
        for (int i = 0; i < Steps; ++i)
            history.step();
        benchmark::DoNotOptimize(machine->cycles());
    }
    state.SetItemsProcessed(state.iterations() * Steps);
}
BENCHMARK(HistoryRun)->Unit(benchmark::kMillisecond);

// Processor time, not wall time: the figures hold on a busy machine too.
double Milliseconds(const std::function<void()>& work)
{
    const std::clock_t start = std::clock();
    work();
    return 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

void PrintFigures()
{
    Setup setup;
    double bare = 1e300, recorded = 1e300;
    for (int round = 0; round < 5; ++round) {
        auto m1 = setup.machine();
        bare = std::min(bare, Milliseconds([&] {
            for (int i = 0; i < Steps; ++i)
                m1->step();
        }));
        auto m2 = setup.machine();
        recorded = std::min(recorded, Milliseconds([&] {
            Recorder recorder(*m2, ProcedureIndex(setup.procedures), setup.procedures.size());
            for (int i = 0; i < Steps; ++i)
                recorder.step(*m2);
            benchmark::DoNotOptimize(BuildReport(*m2, setup.program, setup.procedures, &recorder).totalCycles);
        }));
    }
    std::printf("\nrun of %d steps: bare %.1f ms, with coverage and profile %.1f ms: %.2fx the bare run\n", Steps, bare,
                recorded, recorded / bare);

    auto machine = setup.machine();
    History history(*machine, 100000, 4096);
    for (int i = 0; i < 150000; ++i)
        history.step();
    auto lineOf = [&setup](uint16_t a) { return setup.code.map.asmLineAt(a).value_or(-1); };
    double back = 0, line = 0, oldest = 0, reverse = 0;
    for (int round = 0; round < 20; ++round) {
        history.goTo(history.newest());
        back = std::max(back, Milliseconds([&] { history.stepBack(1); }));
        line = std::max(line, Milliseconds([&] { history.stepBackLine(lineOf); }));
        oldest = std::max(oldest, Milliseconds([&] { history.goTo(history.oldest()); }));
        history.goTo(history.newest());
        // A watch on a byte the program never writes: the whole history is scanned.
        reverse = std::max(reverse, Milliseconds([&] { history.reverseContinue({}, {{sim::Space::Iram, 0x7F}}); }));
    }
    std::printf("history of %llu steps (every 4096 a checkpoint): %.1f MB\n",
                static_cast<unsigned long long>(history.newest() - history.oldest()), history.memoryBytes() / 1e6);
    std::printf("Step Back, worst of 20: one step %.2f ms, one line %.2f ms, to the oldest step %.2f ms, "
                "Reverse Continue over the whole history %.2f ms\n",
                back, line, oldest, reverse);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    PrintFigures();
    benchmark::Shutdown();
    return 0;
}
