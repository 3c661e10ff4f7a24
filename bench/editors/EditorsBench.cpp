// Figures of the editors' programs:
//  - m51sim --dap: a step request (next) to its stopped event, on an M51
//    sample, through the session as a client's message; the worst case too;
//    and a continue to the stopped event of a breakpoint hit a few
//    instructions on (an upper bound of the time from the simulated stop to
//    its report);
//  - m51lsp: the diagnostics of a 10,000-line M51 source after a change
//    (the whole build of the source), and the process's peak memory.
#include "debugger/dap/CoreDebuggee.h"
#include "languageserver/m51lsp/SourceFeatures.h"
#include "bench/compiler/SourceGenerator.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>

namespace {

using debugadapter::Json;

void BM_StepToStopped(benchmark::State& state)
{
    m51dap::CoreDebuggee debuggee;
    bool stopped = false;
    debugadapter::Session session(debuggee, [&](const std::string& body) {
        stopped = stopped || body.find("\"event\":\"stopped\"") != std::string::npos;
    });
    int seq = 0;
    auto send = [&](const std::string& command, Json arguments) {
        session.handle(Json{{"seq", ++seq}, {"type", "request"}, {"command", command}, {"arguments", arguments}}.dump());
    };
    auto start = [&] {
        send("initialize", Json::object());
        send("launch", {{"program", M51_EXAMPLES_DIR "/loops.M51"}, {"stopOnEntry", true}});
        send("configurationDone", Json::object());
    };
    start();
    double worst = 0;
    int steps = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        stopped = false;
        send("next", Json::object());
        for (int slice = 0; !stopped && slice < 1000 && debuggee.running(); ++slice)
            debuggee.runSlice();
        worst = std::max(worst, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
        // The sample ends in a loop on one line: begin again well before it.
        if (++steps == 40) {
            state.PauseTiming();
            start();
            steps = 0;
            state.ResumeTiming();
        }
    }
    state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_StepToStopped)->Unit(benchmark::kMicrosecond);

void BM_ContinueToBreakpointHit(benchmark::State& state)
{
    m51dap::CoreDebuggee debuggee;
    bool stopped = false;
    debugadapter::Session session(debuggee, [&](const std::string& body) {
        stopped = stopped || body.find("\"event\":\"stopped\"") != std::string::npos;
    });
    int seq = 0;
    auto send = [&](const std::string& command, Json arguments) {
        session.handle(Json{{"seq", ++seq}, {"type", "request"}, {"command", command}, {"arguments", arguments}}.dump());
    };
    // TICK runs ten times in a loop: each continue stops at its next call.
    auto start = [&] {
        send("initialize", Json::object());
        send("launch", {{"program", M51_EXAMPLES_DIR "/loops.M51"}, {"stopOnEntry", true}});
        send("setFunctionBreakpoints", {{"breakpoints", {{{"name", "TICK"}}}}});
        send("configurationDone", Json::object());
    };
    start();
    double worst = 0;
    int hits = 0;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        stopped = false;
        send("continue", Json::object());
        for (int slice = 0; !stopped && slice < 1000 && debuggee.running(); ++slice)
            debuggee.runSlice();
        worst = std::max(worst, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count());
        if (++hits == 9) {
            state.PauseTiming();
            start();
            hits = 0;
            state.ResumeTiming();
        }
    }
    state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_ContinueToBreakpointHit)->Unit(benchmark::kMicrosecond);

void BM_Diagnostics10000Lines(benchmark::State& state)
{
    m51lsp::SourceFeatures features;
    languageserver::DocumentStore documents;
    languageserver::TextDocument document("file:///tmp/bench.M51", "m51", 1, m51bench::GenerateSource(10000));
    size_t problems = 0;
    for (auto _ : state) {
        document.apply(languageserver::Range{{5, 0}, {5, 0}}, "A 1\n", document.version() + 1);
        problems = features.diagnose(document, documents).size();
        benchmark::DoNotOptimize(problems);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["diagnostics"] = static_cast<double>(problems);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_Diagnostics10000Lines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
