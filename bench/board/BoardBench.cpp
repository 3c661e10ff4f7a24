// Simulation speed of the samples with their boards attached against the bare
// core (instructions per second of host time), and the Board pane's redraw.
#include "board/BoardFile.h"
#include "board/ListenerFan.h"
#include "toolchain/Build.h"
#include "board/VirtualBoard.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#ifdef M51_WITH_PANE
#include "board/view/BoardPane.h"
#include <QApplication>
#include <QElapsedTimer>
#endif

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Sample {
    std::vector<uint8_t> image;
    board::BoardDescription board;
};

const Sample& Load(const std::string& name)
{
    static std::map<std::string, Sample> samples;
    auto it = samples.find(name);
    if (it != samples.end())
        return it->second;
    Sample s;
    const std::string base = std::string(M51_EXAMPLES_DIR) + "/" + name;
    const toolchain::Program code = toolchain::CompileM51(ReadText(base + ".M51"), name + ".asm");
    s.image = code.code;
    s.board = board::ParseBoard(ReadText(base + ".board")).board;
    return samples.emplace(name, std::move(s)).first->second;
}

// A slice of 1,000,000 machine cycles of a sample, bare or with its board.
void Run(benchmark::State& state, const std::string& name, bool withBoard)
{
    const Sample& sample = Load(name);
    sim::Board hw;
    sim::Machine machine(*sim::findChip("8052"), hw);
    machine.loadCode(sample.image.data(), sample.image.size());
    machine.reset();
    std::unique_ptr<board::VirtualBoard> virtualBoard;
    board::ListenerFan fan;  // as the debugger wires it: the board beside the serial console
    if (withBoard) {
        virtualBoard = std::make_unique<board::VirtualBoard>(sample.board, hw.crystalHz);
        fan.add(virtualBoard.get());
        machine.setListener(&fan);
        virtualBoard->attach(&machine);
        if (name == "keypad")
            virtualBoard->setKey(0, '5', true);
    }
    uint64_t instructions = 0;
    for (auto _ : state) {
        const uint64_t before = machine.instructions();
        machine.run(1000000);
        instructions += machine.instructions() - before;
    }
    state.counters["instructions/s"] = benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
    machine.setListener(nullptr);
}

void Bare(benchmark::State& state, std::string name) { Run(state, name, false); }
void WithBoard(benchmark::State& state, std::string name) { Run(state, name, true); }

BENCHMARK_CAPTURE(Bare, counter, std::string("counter"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WithBoard, counter, std::string("counter"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Bare, keypad, std::string("keypad"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WithBoard, keypad, std::string("keypad"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Bare, lcd, std::string("lcd"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WithBoard, lcd, std::string("lcd"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Bare, traffic, std::string("traffic"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WithBoard, traffic, std::string("traffic"))->Unit(benchmark::kMillisecond);

#ifdef M51_WITH_PANE
// One frame of the Board pane with the counter's display and the LCD after
// a slice of running: the time the window's event loop spends on it.
void PaneFrame(benchmark::State& state)
{
    int argc = 1;
    char name[] = "board_bench";
    char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
    const Sample& counter = Load("counter");
    board::BoardDescription both = counter.board;
    for (const auto& p : Load("lcd").board.parts)
        both.parts.push_back(p);
    both.parts.push_back(board::ParseBoard("trace P1.0 P2.0-3\n").board.parts[0]);
    sim::Machine machine(*sim::findChip("8052"), sim::Board{});
    machine.loadCode(counter.image.data(), counter.image.size());
    machine.reset();
    board::VirtualBoard virtualBoard(both, 11059200.0);
    machine.setListener(&virtualBoard);
    virtualBoard.attach(&machine);
    board::BoardPane pane(&virtualBoard);
    pane.resize(420, 700);
    pane.show();
    QApplication::processEvents();
    for (auto _ : state) {
        machine.run(20000);
        pane.refresh();
        pane.repaint();
    }
    machine.setListener(nullptr);
}
BENCHMARK(PaneFrame)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
