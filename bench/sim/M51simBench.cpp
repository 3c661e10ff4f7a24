// m51sim end to end against the bare core: the firmware-like programs
// (bench/sim/firmware) run by m51sim as a user runs them (build the source,
// load, run a number of instructions, print), in instructions per second of
// the whole command, and the same program on a bare sim::Machine for as many
// instructions in the same iterations (of_core: m51sim's best against the
// core's best).
#include "board/BoardFile.h"
#include "board/VirtualBoard.h"
#include "debugger/ProgramBuilder.h"
#include "debugger/m51sim/SimRun.h"
#include "sim/Machine.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kInstructions = 50'000'000;

struct Firmware {
    std::string name, source, boardText;
    std::string feed;  // typed on the console, given to m51sim with --serial-in
};

const std::vector<Firmware>& firmware()
{
    static const std::vector<Firmware> list = {
        {"interp", "interp.a51", {}, {}},
        {"forth", "forth.a51", {}, {}},
        {"monitor", "monitor.a51", {}, "D 0000 1FFF\rd 100 13f\rX\r"},
        {"autobaud", "autobaud.a51", {}, {}},
        {"display", "display.a51", "7seg 4 seg=P1 sel=P2.0-3 seg-active=low sel-active=low\n", {}},
    };
    return list;
}

QTemporaryDir& workDir()
{
    static QTemporaryDir dir;
    return dir;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The bare core on the built program, until `instructions` have run.
double coreSeconds(const std::vector<uint8_t>& code, const Firmware& program, uint64_t instructions)
{
    const std::string& boardText = program.boardText;
    sim::Machine machine(*sim::findChip("8052"), sim::Board{});
    machine.loadCode(code.data(), code.size());
    std::unique_ptr<board::VirtualBoard> parts;
    if (!boardText.empty()) {
        parts = std::make_unique<board::VirtualBoard>(board::ParseBoard(boardText).board, 11059200.0);
        machine.setListener(parts.get());
        parts->attach(&machine);
    }
    machine.sendSerial(reinterpret_cast<const uint8_t*>(program.feed.data()), program.feed.size());
    const auto start = std::chrono::steady_clock::now();
    while (machine.instructions() < instructions)
        machine.run(1'000'000);
    const double seconds = secondsSince(start);
    machine.setListener(nullptr);
    return seconds;
}

void BM_M51sim(benchmark::State& state, size_t index)
{
    const Firmware& program = firmware()[index];
    const QString path = QStringLiteral(M51_FIRMWARE_DIR "/") + QString::fromStdString(program.source);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("firmware source missing");
        return;
    }
    const QByteArray text = file.readAll();
    const auto built = m51dbg::BuildAssembly(std::string(text.constData(), size_t(text.size())),
                                             QFileInfo(path).fileName(), workDir().path());
    if (!built.ok) {
        state.SkipWithError("firmware does not build");
        return;
    }
    // m51sim builds its own copy of the source, beside it in the work folder.
    const std::string dir = workDir().path().toStdString();
    const std::string source = dir + "/" + program.source;
    std::ofstream(source, std::ios::binary) << std::string(text.constData(), size_t(text.size()));
    std::vector<std::string> args = {"--steps", std::to_string(kInstructions), "--print", "PC"};
    if (!program.boardText.empty()) {
        const std::string boardFile = dir + "/" + program.name + ".board";
        std::ofstream(boardFile) << program.boardText;
        args.insert(args.end(), {"--board", boardFile});
    }
    if (!program.feed.empty()) {
        const std::string feedFile = dir + "/" + program.name + ".in";
        std::ofstream(feedFile, std::ios::binary) << program.feed;
        args.insert(args.end(), {"--serial-in", feedFile});
    }
    args.push_back(source);
    std::FILE* sink = std::fopen("/dev/null", "w");
    double bestM51sim = 0, bestCore = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int status = m51sim::Run(args, sink, sink);
        const double seconds = secondsSince(start);
        if (status != 0 && status != 3) {
            state.SkipWithError("m51sim failed");
            break;
        }
        bestM51sim = std::max(bestM51sim, double(kInstructions) / seconds);
        bestCore = std::max(bestCore, double(kInstructions) / coreSeconds(built.program.code, program,
                                                                          kInstructions));
    }
    std::fclose(sink);
    state.counters["best_per_second"] = bestM51sim;
    state.counters["core_per_second"] = bestCore;
    state.counters["of_core"] = bestCore > 0 ? bestM51sim / bestCore : 0;
}

} // namespace

int main(int argc, char** argv)
{
    for (size_t i = 0; i < firmware().size(); ++i)
        benchmark::RegisterBenchmark(("M51sim/firmware/" + firmware()[i].name).c_str(), BM_M51sim, i)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
