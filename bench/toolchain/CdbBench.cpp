// Figures of C programs built with SDCC:
//  - loading the .cdb of a program of about 32 KB of code into the program
//    model (SDCC's records read, then lines, functions, symbols and types
//    placed), and the whole image with it as `m51sim PROG.ihx` loads it;
//  - a rebuild after one of ten files changed: how many times SDCC runs
//    (one compile and the link) and how long it takes.
// The programs are generated and built with the installed SDCC at start.
#include "sdcc/CdbFile.h"
#include "sdcc/ProjectBuild.h"
#include "toolchain/Build.h"
#include "toolchain/CdbProgram.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The SDCC found at configure time, else $SDCC or the one on the PATH.
#ifdef M51_SDCC
#define M51_SDCC_OR_EMPTY M51_SDCC
#else
#define M51_SDCC_OR_EMPTY ""
#endif

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Module `m` of a generated program: `functions` functions of loops,
// branches, structures and long arithmetic, and their globals.
std::string Module(int m, int functions)
{
    std::ostringstream c;
    c << "struct rec" << m << " { int count; long total; unsigned char flags; int history[4]; };\n";
    c << "__xdata struct rec" << m << " state" << m << ";\n";
    c << "__xdata int table" << m << "[16];\n";
    for (int f = 0; f < functions; ++f) {
        c << "int work" << m << "_" << f << "(int a, int b)\n{\n"
          << "    int k;\n    long s = " << f << ";\n"
          << "    for (k = 0; k < a; k++) {\n"
          << "        s += (long)k * b + table" << m << "[k & 15];\n"
          << "        if (s > " << 1000 + f << ")\n            s -= b;\n"
          << "        else if (s < -" << 500 + f << ")\n            s += a;\n"
          << "        state" << m << ".history[k & 3] = (int)s;\n"
          << "    }\n"
          << "    state" << m << ".count += a;\n    state" << m << ".total += s;\n"
          << "    state" << m << ".flags ^= (unsigned char)b;\n"
          << "    return (int)(s ^ a) + state" << m << ".history[b & 3];\n}\n";
    }
    return c.str();
}

// A program of `modules` files (m0.c ... and main.c calling one function of
// each) in `folder`, as a project; false when SDCC did not build it.
bool MakeProgram(const fs::path& folder, int modules, int functions, sdcc::CProject& project, std::string& why)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "main.c") << [&] {
        std::ostringstream main;
        for (int m = 0; m < modules; ++m)
            main << "int work" << m << "_0(int a, int b);\n";
        main << "int result;\nvoid main(void)\n{\n";
        for (int m = 0; m < modules; ++m)
            main << "    result += work" << m << "_0(3, " << m << ");\n";
        main << "    while (1)\n        ;\n}\n";
        return main.str();
    }();
    project.folder = folder;
    project.name = "main";
    project.model = sdcc::CProject::Model::Large;
    project.stackAuto = true;  // locals and spills on the stack: internal RAM holds many functions
    project.sources = {"main.c"};
    for (int m = 0; m < modules; ++m) {
        std::ofstream(folder / ("m" + std::to_string(m) + ".c")) << Module(m, functions);
        project.sources.push_back("m" + std::to_string(m) + ".c");
    }
    const sdcc::ProjectBuildResult built = sdcc::BuildProject(project, sdcc::SdccProgram(M51_SDCC_OR_EMPTY));
    if (!built.ok)
        why = built.failure.empty() ? (built.messages.empty() ? "SDCC failed" : built.messages.front().text) : built.failure;
    return built.ok;
}

// The large program, built once.
struct LargeProgram {
    sdcc::CProject project;
    std::string error, cdb, hex;
    LargeProgram()
    {
        if (!MakeProgram(fs::temp_directory_path() / "m51_cdb_bench", 6, 10, project, error))
            return;
        cdb = ReadAll(project.debugPath());
        hex = ReadAll(project.imagePath());
    }
};

const LargeProgram& Large()
{
    static const LargeProgram program;
    return program;
}

void CdbLoad(benchmark::State& state)
{
    const LargeProgram& large = Large();
    if (!large.error.empty()) {
        state.SkipWithError(large.error.c_str());
        return;
    }
    size_t functions = 0, lines = 0, codeBytes = 0;
    for (auto _ : state) {
        const sdcc::CdbReadResult cdb = sdcc::ReadCdb(large.cdb);
        toolchain::Program program;
        toolchain::AddCdb(program, cdb.file, large.project.folder.string());
        functions = program.functions.size();
        lines = program.lines.size();
        benchmark::DoNotOptimize(program);
    }
    const toolchain::Program image = toolchain::ReadHexProgram(large.hex);
    for (size_t a = 0; a < image.code.size(); ++a)
        codeBytes = image.code[a] != 0xFF ? a + 1 : codeBytes;
    state.counters["code_bytes"] = static_cast<double>(codeBytes);
    state.counters["cdb_bytes"] = static_cast<double>(large.cdb.size());
    state.counters["functions"] = static_cast<double>(functions);
    state.counters["c_lines"] = static_cast<double>(lines);
}
BENCHMARK(CdbLoad)->Unit(benchmark::kMillisecond);

// The image and its .cdb as m51sim PROG.ihx loads them (files read too).
void ImageWithCdbLoad(benchmark::State& state)
{
    const LargeProgram& large = Large();
    if (!large.error.empty()) {
        state.SkipWithError(large.error.c_str());
        return;
    }
    const std::string image = large.project.imagePath().string();
    for (auto _ : state) {
        const toolchain::Program program =
            toolchain::BuildFor(toolchain::Language::Hex)->run({ReadAll(image), image, "main.asm"});
        if (program.files.empty())
            state.SkipWithError("the .cdb was not read");
        benchmark::DoNotOptimize(program);
    }
}
BENCHMARK(ImageWithCdbLoad)->Unit(benchmark::kMillisecond);

// A rebuild of ten files after one changed: SDCC runs once for the file and
// once for the link.
void RebuildAfterOneChange(benchmark::State& state)
{
    sdcc::CProject project;
    std::string error;
    if (!MakeProgram(fs::temp_directory_path() / "m51_rebuild_bench", 9, 2, project, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    int runs = 0, compiled = 0, edit = 0;
    const sdcc::ProcessRunner counting = [&runs](const auto& arguments, const auto& folder) {
        ++runs;
        return sdcc::RunProcess(arguments, folder);
    };
    const fs::path changed = project.folder / "m4.c";
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(changed, std::ios::app) << "int edit" << edit++ << ";\n";
        // A change within the file system's time resolution still counts as newer.
        fs::last_write_time(changed, fs::file_time_type::clock::now() + std::chrono::seconds(2 + edit));
        runs = 0;
        state.ResumeTiming();
        const sdcc::ProjectBuildResult built = sdcc::BuildProject(project, sdcc::SdccProgram(M51_SDCC_OR_EMPTY), counting);
        if (!built.ok)
            state.SkipWithError("the rebuild failed");
        compiled = static_cast<int>(built.compiled.size());
    }
    state.counters["files"] = static_cast<double>(project.sources.size());
    state.counters["compiled"] = compiled;
    state.counters["sdcc_runs"] = runs;
}
BENCHMARK(RebuildAfterOneChange)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
