// Figures of the in-process simulator core:
//  - instructions per second running each sample (items_per_second), and s51
//    running the same program for the same number of instructions from one
//    command script (s51_per_second; its start-up time taken out), with the
//    ratio of the two (times_s51: the middle of three ratios, each of an s51
//    run against the core's best of five runs just before it, since this
//    machine's pace drifts over seconds and a pair sees the same pace);
//  - the samples that have a board file (NAME.board beside NAME.M51) also
//    with their board attached (NAME.M51+board; a keypad's key 5 held), so
//    that the cost of the parts' answers shows beside the bare figure;
//  - the share of those instructions spent in a jump to itself (SJMP $, where
//    most samples end), and the share the core made in one go as turns of
//    poll and delay loops (loop_share), with the rate of the others, made one
//    by one (one_by_one_per_second), so that the figure is read for what it
//    measures;
//  - the same for programs that do what firmware does (bench/sim/firmware:
//    an interpreter, a Forth and a monitor on a console polled with timer 1
//    as its clock, timer 2 running while RXD is watched, a 1 kHz timer
//    interrupt driving a multiplexed display on a board, a HEX download on
//    the real line); s51 runs them without the serial input, the same number
//    of instructions;
//  - the same programs as Zelvar's engine runs them, with step back and
//    coverage on (insight's History and Recorder), against the bare core in
//    the same iterations (engine_of_bare: the best of each);
//  - the time from requestStop() on another thread to run() returning on its
//    own thread (on a loaded machine mostly the time until that thread runs).
#include "board/BoardFile.h"
#include "insight/History.h"
#include "insight/Insight.h"
#include "sim/Machine.h"
#include "insight/Recorder.h"
#include "debugger/ProgramBuilder.h"
#include "toolchain/Program.h"
#include "board/VirtualBoard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct Sample {
    std::string name;
    std::vector<uint8_t> code;
    std::string hexPath;
    sim::Board hardware{};
    std::string board;  // parts on the pins, in the board file's words
    std::string feed;   // given to RXD again whenever less than half of it waits
    char key = 0;       // a keypad key held on the board, if any
};

std::vector<Sample>& samples()
{
    static std::vector<Sample> list;
    return list;
}

QTemporaryDir& workDir()
{
    static QTemporaryDir dir;
    return dir;
}

void loadSamples()
{
    const QDir examples(QStringLiteral(M51_EXAMPLES_DIR));
    for (const QString& name : examples.entryList({QStringLiteral("*.M51")}, QDir::Files, QDir::Name)) {
        QFile file(examples.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray source = file.readAll();
        const auto built = m51dbg::BuildM51(std::string(source.constData(), source.size()), name, workDir().path());
        if (!built.ok)
            continue;
        samples().push_back({name.toStdString(), built.program.code, built.program.hexPath.toStdString(), {}, {}, {}});
        QFile boardFile(examples.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".board")));
        if (!boardFile.open(QIODevice::ReadOnly))
            continue;
        Sample withBoard = samples().back();
        withBoard.name += "+board";
        withBoard.board = boardFile.readAll().toStdString();
        if (withBoard.board.find("keypad") != std::string::npos)
            withBoard.key = '5';
        samples().push_back(std::move(withBoard));
    }
}

// The sample's board on the machine, with its key held.
std::unique_ptr<board::VirtualBoard> attachBoard(const Sample& sample, sim::Machine& machine)
{
    if (sample.board.empty())
        return nullptr;
    auto parts = std::make_unique<board::VirtualBoard>(board::ParseBoard(sample.board).board, sample.hardware.crystalHz);
    machine.setListener(parts.get());
    parts->attach(&machine);
    for (size_t i = 0; sample.key && i < parts->partCount(); ++i)
        parts->setKey(i, sample.key, true);
    return parts;
}

// Intel HEX of 8 KB in 16-byte records and the end record.
std::string hexDownload()
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    auto put = [&](unsigned byte, unsigned& sum) {
        text += digits[(byte >> 4) & 15];
        text += digits[byte & 15];
        sum += byte;
    };
    for (unsigned address = 0; address < 0x2000; address += 16) {
        unsigned sum = 0;
        text += ':';
        put(16, sum), put(address >> 8, sum), put(address & 0xFF, sum), put(0, sum);
        for (unsigned i = 0; i < 16; ++i)
            put((address * 7 + i * 13) & 0xFF, sum);
        put((0x100 - (sum & 0xFF)) & 0xFF, sum);
        text += "\r\n";
    }
    return text + ":00000001FF\r\n";
}

void loadFirmware()
{
    const QString dir = QStringLiteral(M51_FIRMWARE_DIR);
    auto add = [&](const QString& file, const std::string& name, sim::Board hardware, std::string board,
                   std::string feed) {
        QFile source(file);
        if (!source.open(QIODevice::ReadOnly))
            return;
        const QByteArray text = source.readAll();
        const auto built = m51dbg::BuildAssembly(std::string(text.constData(), text.size()),
                                                 QFileInfo(file).fileName(), workDir().path());
        if (built.ok)
            samples().push_back({name, built.program.code, built.program.hexPath.toStdString(), hardware,
                                 std::move(board), std::move(feed)});
    };
    sim::Board line;
    line.serial = sim::SerialLine::RealLine;
    add(dir + "/interp.a51", "firmware/interp", {}, {}, {});
    add(dir + "/forth.a51", "firmware/forth", {}, {}, {});
    add(dir + "/monitor.a51", "firmware/monitor", {}, {}, "D 0000 01FF\rd 100 13f\rX\r");
    add(dir + "/autobaud.a51", "firmware/autobaud", {}, {}, {});
    line.lineBaud = 9600;
    add(dir + "/autobaud.a51", "firmware/autobaud-line-baud", line, {}, {});
    add(dir + "/display.a51", "firmware/display", {},
        "7seg 4 seg=P1 sel=P2.0-3 seg-active=low sel-active=low\n", {});
    line.lineBaud = 115200;
    add(QStringLiteral(M51_EXAMPLES_DIR) + "/hexload.a51", "firmware/hexload-line-baud", line, {}, hexDownload());
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Wall time of s51 running `steps` instructions of the program from a script.
double s51Seconds(const std::string& hexPath, unsigned long steps)
{
    const std::string dir = workDir().path().toStdString();
    const std::string script = dir + "/bench.cmd";
    std::ofstream(script) << "file \"" << hexPath << "\"\n" << (steps ? "step " + std::to_string(steps) + "\n" : "")
                          << "quit\n";
    const std::string command = "s51 -q -P -t 8052 -C '" + script + "' < /dev/null > /dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        return -1;
    return secondsSince(start);
}

void BM_Run(benchmark::State& state, size_t index)
{
    const Sample& sample = samples()[index];
    sim::Machine m(*sim::findChip("8052"), sample.hardware);
    m.loadCode(sample.code.data(), sample.code.size());
    const std::unique_ptr<board::VirtualBoard> parts = attachBoard(sample, m);
    uint64_t instructions = 0;
    double bestRate = 0, bestOneByOne = 0;
    // One run of 10 M cycles: its instructions per second.
    auto runOnce = [&] {
        if (m.serialPending() < sample.feed.size() / 2)
            m.sendSerial(reinterpret_cast<const uint8_t*>(sample.feed.data()), sample.feed.size());
        const uint64_t before = m.instructions(), loopsBefore = m.loopInstructions();
        const auto start = std::chrono::steady_clock::now();
        m.run(10'000'000);
        const double seconds = secondsSince(start);
        instructions += m.instructions() - before;
        const uint64_t oneByOne = m.instructions() - before - (m.loopInstructions() - loopsBefore);
        bestOneByOne = std::max(bestOneByOne, static_cast<double>(oneByOne) / seconds);
        return static_cast<double>(m.instructions() - before) / seconds;
    };
    for (auto _ : state)
        bestRate = std::max(bestRate, runOnce());
    const uint64_t iterations = state.iterations();
    state.SetItemsProcessed(static_cast<int64_t>(instructions));
    state.counters["instructions"] = static_cast<double>(instructions);
    state.counters["best_per_second"] = bestRate;
    uint64_t halted = 0;
    for (size_t a = 0; a + 1 < sample.code.size(); ++a)
        if (sample.code[a] == 0x80 && sample.code[a + 1] == 0xFE)
            halted += m.executionCounts()[a];
    state.counters["halt_share"] = static_cast<double>(halted) / static_cast<double>(m.instructions());
    state.counters["loop_share"] = static_cast<double>(m.loopInstructions()) / static_cast<double>(m.instructions());
    state.counters["one_by_one_per_second"] = bestOneByOne;
    // s51 on the same program for as many instructions as one iteration ran,
    // three times, each right after the core's best of five runs: this
    // machine's pace drifts over seconds (other work, its clock), and a pair
    // measured together sees the same pace. times_s51 is their middle ratio.
    const unsigned long steps = static_cast<unsigned long>(instructions / iterations);
    double s51Rate = 0;
    std::vector<double> ratios;
    // M51_BENCH_NO_S51 set: the core alone (for counting its instructions under callgrind).
    for (int run = 0; run < 3 && !std::getenv("M51_BENCH_NO_S51"); ++run) {
        double core = 0;
        for (int i = 0; i < 5; ++i)
            core = std::max(core, runOnce());
        const double empty = s51Seconds(sample.hexPath, 0);
        const double full = s51Seconds(sample.hexPath, steps);
        if (empty < 0 || full <= empty)
            continue;
        s51Rate = std::max(s51Rate, steps / (full - empty));
        ratios.push_back(core / (steps / (full - empty)));
    }
    m.setListener(nullptr);
    if (!ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        state.counters["s51_per_second"] = s51Rate;
        state.counters["times_s51"] = ratios[ratios.size() / 2];
    }
}

// A machine with its board, as BM_Run sets it up.
struct Rig {
    sim::Machine machine;
    std::unique_ptr<board::VirtualBoard> parts;
    explicit Rig(const Sample& sample) : machine(*sim::findChip("8052"), sample.hardware)
    {
        machine.loadCode(sample.code.data(), sample.code.size());
        parts = attachBoard(sample, machine);
    }
    ~Rig() { machine.setListener(nullptr); }
};

// The engine's run: every step through the history (100,000 steps back,
// as Zelvar keeps) and the coverage and profile recorder.
void BM_Engine(benchmark::State& state, size_t index)
{
    const Sample& sample = samples()[index];
    Rig bare(sample), engine(sample);
    toolchain::Program program;
    program.code = sample.code;
    program.code.resize(65536, 0xFF);
    const insight::ProgramInfo info = insight::InfoOf(program);
    const auto procedures = insight::FindProcedures(info);
    insight::Recorder recorder(engine.machine, insight::ProcedureIndex(procedures), procedures.size());
    insight::History history(engine.machine, 100'000, 16'384);
    history.setRecorder(&recorder);
    history.setListener(engine.parts.get());
    const insight::StopTable noBreakpoints;
    uint64_t instructions = 0;
    double bestEngine = 0, bestBare = 0;
    for (auto _ : state) {
        if (bare.machine.serialPending() < sample.feed.size() / 2)
            bare.machine.sendSerial(reinterpret_cast<const uint8_t*>(sample.feed.data()), sample.feed.size());
        if (engine.machine.serialPending() < sample.feed.size() / 2)
            history.sendSerial(sample.feed);
        uint64_t before = bare.machine.instructions();
        auto start = std::chrono::steady_clock::now();
        bare.machine.run(10'000'000);
        bestBare = std::max(bestBare, static_cast<double>(bare.machine.instructions() - before) / secondsSince(start));
        before = engine.machine.instructions();
        start = std::chrono::steady_clock::now();
        history.run(10'000'000, noBreakpoints, true);
        const double seconds = secondsSince(start);
        instructions += engine.machine.instructions() - before;
        bestEngine = std::max(bestEngine, static_cast<double>(engine.machine.instructions() - before) / seconds);
    }
    history.setRecorder(nullptr);
    state.SetItemsProcessed(static_cast<int64_t>(instructions));
    state.counters["instructions"] = static_cast<double>(instructions);
    state.counters["best_per_second"] = bestEngine;
    state.counters["engine_of_bare"] = bestBare > 0 ? bestEngine / bestBare : 0;
}

void BM_StopLatency(benchmark::State& state)
{
    sim::Machine m(*sim::findChip("8052"), sim::Board{});
    const uint8_t loop[] = {0x05, 0x30, 0x80, 0xFC};  // INC 30H; SJMP back
    m.loadCode(loop, sizeof loop);
    double worst = 0;
    for (auto _ : state) {
        std::atomic<bool> started{false};
        std::chrono::steady_clock::time_point asked, returned;
        std::thread runner([&] {
            started = true;
            m.run(UINT64_MAX / 4);
            returned = std::chrono::steady_clock::now();  // not counting the join
        });
        while (!started)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        asked = std::chrono::steady_clock::now();
        m.requestStop();
        runner.join();
        const double latency = std::chrono::duration<double>(returned - asked).count();
        worst = std::max(worst, latency);
        state.SetIterationTime(latency);
    }
    state.counters["worst_us"] = worst * 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    loadSamples();
    loadFirmware();
    for (size_t i = 0; i < samples().size(); ++i)
        benchmark::RegisterBenchmark(("Run/" + samples()[i].name).c_str(), BM_Run, i)->Unit(benchmark::kMillisecond);
    for (size_t i = 0; i < samples().size(); ++i)
        benchmark::RegisterBenchmark(("Engine/" + samples()[i].name).c_str(), BM_Engine, i)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("StopLatency", BM_StopLatency)->UseManualTime()->Iterations(50)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
