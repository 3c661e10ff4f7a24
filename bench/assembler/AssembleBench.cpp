// Assembly speed and memory of the 8051 assembler.
//
// The Google Benchmark cases time Assemble (image, HEX and listing) on
// generated sources of 10,000, 100,000 and 1,000,000 lines. The summary after
// them prints lines per second and the cost of ten times the lines (best
// processor time of several runs), the peak memory of m51as itself on the
// 100,000 and 1,000,000-line files against the source and its three outputs,
// and the time mcu8051ide takes for the same 20,000-line file as m51as, both
// measured in this run. Targets: at least 1,000,000 lines/s, 10x lines at most
// 12x time, peak at most 3x source + outputs. Then the same for a source of
// 100,000 macro calls and one of 10,000 include lines (the include file read
// from memory in-process, from disk by m51as).

#include "assembler/Assembler.h"
#include "bench/assembler/AsmSourceGenerator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

namespace fs = std::filesystem;
using m51bench::GenerateAsmSource;

const std::string& Source(std::size_t lines)
{
    static std::size_t cachedLines = 0;
    static std::string cached;
    if (cachedLines != lines) {
        cached = GenerateAsmSource(lines);
        cachedLines = lines;
    }
    return cached;
}

std::size_t CountLines(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void BM_Assemble(benchmark::State& state)
{
    const std::string& source = Source(static_cast<std::size_t>(state.range(0)));
    m51asm::AssembleOptions options;
    options.allowOverlap = true;
    for (auto _ : state) {
        m51asm::AssembleResult r = m51asm::Assemble(source, options);
        if (!r.errors.empty())
            state.SkipWithError(("generated source has errors: " + r.errors.front().message).c_str());
        benchmark::DoNotOptimize(r.listing.data());
    }
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(CountLines(source)) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Assemble)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

m51asm::AssembleOptions IncludeOptions()
{
    m51asm::AssembleOptions options;
    options.allowOverlap = true;
    options.readFile = [](const std::string& path, std::string& bytes) {
        if (path != "part.inc")
            return false;
        bytes = m51bench::kIncludedPart;
        return true;
    };
    return options;
}

// Rows read: the source's lines and every line of the expansions or includes.
void BM_AssembleMacrosAndIncludes(benchmark::State& state)
{
    const bool macros = state.range(0) == 0;
    const std::string source =
        macros ? m51bench::GenerateMacroSource(100000) : m51bench::GenerateIncludeSource(10000);
    const m51asm::AssembleOptions options = IncludeOptions();
    for (auto _ : state) {
        m51asm::AssembleResult r = m51asm::Assemble(source, options);
        if (!r.errors.empty())
            state.SkipWithError(("generated source has errors: " + r.errors.front().message).c_str());
        benchmark::DoNotOptimize(r.listing.data());
    }
    state.SetLabel(macros ? "100,000 macro calls" : "10,000 includes");
}

BENCHMARK(BM_AssembleMacrosAndIncludes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Best processor seconds of `runs` assemblies.
double AssembleSeconds(const std::string& source, int runs, m51asm::Dialect dialect = m51asm::Dialect::Auto)
{
    double best = 1e30;
    m51asm::AssembleOptions options;
    options.allowOverlap = true;
    options.dialect = dialect;
    for (int i = 0; i < runs; ++i) {
#ifdef __GLIBC__
        malloc_trim(0);
#endif
        const double start = CpuSeconds();
        m51asm::AssembleResult r = m51asm::Assemble(source, options);
        benchmark::DoNotOptimize(r.listing.data());
        best = std::min(best, CpuSeconds() - start);
        if (!r.errors.empty())
            std::printf("(the source has errors as %s: line %d: %s)\n", m51asm::RulesOf(r.dialect).name,
                        r.errors.front().line, r.errors.front().message.c_str());
    }
    return best;
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::uintmax_t Size(const fs::path& path)
{
    std::error_code ec;
    const std::uintmax_t n = fs::file_size(path, ec);
    return ec ? 0 : n;
}

#ifdef __linux__
struct ChildRun {
    int status = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user + system time of the child
    long peakKb = 0;        // resident peak of the child
};

// Runs `argv` in `folder` with output to /dev/null and waits for it. A child
// counts the resident memory of the process it was forked from as its own, so
// this is called in a small process of its own (Measure below), not in the
// benchmark with its sources held.
ChildRun RunHere(const std::vector<std::string>& argv, const std::string& folder)
{
    ChildRun run;
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid < 0)
        return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKb = usage.ru_maxrss;
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return run;
}

std::string& SelfPath()
{
    static std::string path;
    return path;
}

// RunHere in a fresh copy of this program ("--m51-spawn FOLDER ARGS...").
ChildRun RunChild(const std::vector<std::string>& argv, const fs::path& folder)
{
    std::string command = "'" + SelfPath() + "' --m51-spawn '" + folder.string() + "'";
    for (const std::string& a : argv)
        command += " '" + a + "'";
    ChildRun run;
    std::fflush(nullptr);
    if (std::FILE* p = popen(command.c_str(), "r")) {
        if (std::fscanf(p, "%d %lf %lf %ld", &run.status, &run.wallSeconds, &run.cpuSeconds, &run.peakKb) != 4)
            run = {};
        pclose(p);
    }
    return run;
}
#endif

void PrintSummary()
{
    std::printf("\nSummary: Assemble (image, HEX, listing), best processor time of several runs\n");
    std::printf("%10s %12s %14s %9s\n", "lines", "cpu seconds", "lines/s", "10x cost");
    double previous = 0;
    bool speedOk = true, scalingOk = true;
    for (std::size_t n : {10000u, 100000u, 1000000u}) {
        const std::string& source = Source(n);
        const double t = AssembleSeconds(source, n == 10000u ? 30 : n == 100000u ? 8 : 3);
        const double rate = static_cast<double>(CountLines(source)) / t;
        speedOk = speedOk && rate >= 1e6;
        char cost[32] = "-";
        if (previous > 0) {
            scalingOk = scalingOk && t / previous <= 12.0;
            std::snprintf(cost, sizeof cost, "%.2fx", t / previous);
        }
        std::printf("%10zu %12.4f %14.0f %9s\n", CountLines(source), t, rate, cost);
        previous = t;
    }
    // The same 1,000,000 lines read as a Keil A51 and as an as31 source (both
    // take its ASM51 directives): the dialects' own number, expression and
    // jump rules on the way.
    for (const m51asm::Dialect dialect : {m51asm::Dialect::Keil, m51asm::Dialect::As31}) {
        std::string source = Source(1000000u);
        if (dialect == m51asm::Dialect::As31) {
            // as31 has no HIGH and OR: the same value in its operators.
            const std::string asm51 = "HIGH(1234H) OR 30H", as31 = "0x12|30h";
            for (std::size_t at = 0; (at = source.find(asm51, at)) != std::string::npos; at += as31.size())
                source.replace(at, asm51.size(), as31);
        }
        const double t = AssembleSeconds(source, 3, dialect);
        const double rate = static_cast<double>(CountLines(source)) / t;
        speedOk = speedOk && rate >= 1e6;
        std::printf("%10zu %12.4f %14.0f %9s (as %s)\n", CountLines(source), t, rate, "-",
                    m51asm::RulesOf(dialect).name);
    }
    std::printf("speed target (>= 1,000,000 lines/s): %s\n", speedOk ? "met" : "MISSED");
    std::printf("scaling target (10x lines <= 12x time): %s\n", scalingOk ? "met" : "MISSED");

#if defined(__linux__) && defined(M51AS_PATH)
    const fs::path folder = fs::temp_directory_path() / ("m51as-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);

    std::printf("\nPeak memory of m51as (a process of its own) against source + .hex + .bin + .lst\n");
    std::printf("%10s %14s %14s %7s\n", "lines", "files bytes", "peak bytes", "ratio");
    bool memoryOk = true;
    for (std::size_t n : {100000u, 1000000u}) {
        WriteFile(folder / "big.asm", Source(n));
        const ChildRun run = RunChild({M51AS_PATH, "--allow-overlap", "big.asm"}, folder);
        const double files = static_cast<double>(Size(folder / "big.asm") + Size(folder / "big.hex") +
                                                 Size(folder / "big.bin") + Size(folder / "big.lst"));
        const double peak = static_cast<double>(run.peakKb) * 1024.0;
        const double ratio = files > 0 ? peak / files : 0;
        if (n == 1000000u)
            memoryOk = run.status == 0 && ratio <= 3.0;
        std::printf("%10zu %14.0f %14.0f %6.2fx%s\n", n, files, peak, ratio, run.status == 0 ? "" : "  (m51as failed)");
    }
    std::printf("memory target at 1,000,000 lines (peak <= 3x source+outputs): %s\n", memoryOk ? "met" : "MISSED");

    // Macro calls and include files: in-process time, and m51as's peak.
    std::printf("\nMacro calls and include files (source lines; lines read with expansions and includes)\n");
    WriteFile(folder / "part.inc", m51bench::kIncludedPart);
    for (int kind = 0; kind < 2; ++kind) {
        const std::string source =
            kind == 0 ? m51bench::GenerateMacroSource(100000) : m51bench::GenerateIncludeSource(10000);
        const m51asm::AssembleOptions options = IncludeOptions();
        double best = 1e30;
        std::size_t rows = 0;
        for (int i = 0; i < 5; ++i) {
            const double start = CpuSeconds();
            m51asm::AssembleResult r = m51asm::Assemble(source, options);
            best = std::min(best, CpuSeconds() - start);
            rows = static_cast<std::size_t>(std::count(r.listing.begin(), r.listing.end(), '\n'));
        }
        const char* name = kind == 0 ? "macros.asm" : "includes.asm";
        WriteFile(folder / name, source);
        const ChildRun run = RunChild({M51AS_PATH, "--allow-overlap", name}, folder);
        const std::string base = kind == 0 ? "macros" : "includes";
        const double files = static_cast<double>(Size(folder / name) + Size(folder / (base + ".hex")) +
                                                 Size(folder / (base + ".bin")) + Size(folder / (base + ".lst")) +
                                                 (kind == 1 ? Size(folder / "part.inc") : 0));
        const double peak = static_cast<double>(run.peakKb) * 1024.0;
        std::printf("  %-22s %8zu source lines, %8zu listing rows, cpu %.4f s (%.0f source lines/s), m51as peak "
                    "%.0f bytes = %.2fx source+outputs%s\n",
                    kind == 0 ? "100,000 macro calls" : "10,000 includes", CountLines(source), rows, best,
                    static_cast<double>(CountLines(source)) / best, peak, files > 0 ? peak / files : 0.0,
                    run.status == 0 ? "" : "  (m51as failed)");
    }

    // The same 20,000-line file (one module, one 64 KB image) through both.
    std::printf("\nThe same 20,000-line file through both assemblers (the whole program: wall time, and\n"
                "processor time, which other programs running at the same time do not inflate)\n");
    WriteFile(folder / "same.asm", Source(20000));
    const ChildRun ours = RunChild({M51AS_PATH, "same.asm"}, folder);
    std::printf("  m51as       wall %8.3f s, cpu %8.3f s  %10.0f lines/s (cpu)  exit %d\n", ours.wallSeconds,
                ours.cpuSeconds, 20000 / std::max(ours.cpuSeconds, 1e-3), ours.status);
    fs::create_directories(folder / "tcl");
    WriteFile(folder / "tcl" / "same.asm", Source(20000));
    setenv("HOME", (folder / "tcl").c_str(), 0);
    const ChildRun theirs = RunChild(
        {"mcu8051ide", "--nocolor", "--quiet", "--no-sim", "--no-bin", "--compile", "same.asm"}, folder / "tcl");
    if (theirs.status == 127 || theirs.status < 0) {
        std::printf("  mcu8051ide  not installed\n");
    } else {
        std::printf("  mcu8051ide  wall %8.3f s, cpu %8.3f s  %10.0f lines/s (cpu)  exit %d, %s\n",
                    theirs.wallSeconds, theirs.cpuSeconds, 20000 / std::max(theirs.cpuSeconds, 1e-3), theirs.status,
                    Size(folder / "tcl" / "same.hex") > 0 ? "HEX written" : "no HEX");
        std::printf("  mcu8051ide takes %.0fx the processor time of m51as on this file\n",
                    theirs.cpuSeconds / std::max(ours.cpuSeconds, 1e-3));
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
#endif
}

} // namespace

int main(int argc, char** argv)
{
#ifdef __linux__
    if (argc >= 4 && std::strcmp(argv[1], "--m51-spawn") == 0) {
        const ChildRun run = RunHere(std::vector<std::string>(argv + 3, argv + argc), argv[2]);
        std::printf("%d %.6f %.6f %ld\n", run.status, run.wallSeconds, run.cpuSeconds, run.peakKb);
        return 0;
    }
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    SelfPath() = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv[0]);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    return 0;
}
