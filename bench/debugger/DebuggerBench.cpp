// Figures of the debugger on the built-in simulator core and on s51:
//  - instructions simulated per second during Run, and how late the event
//    loop (the window's thread) handles a 10 ms timer meanwhile;
//  - the time from "step line" (F10) to the updated machine state, and to the
//    window laid out and painted again;
//  - the time from a Stop request (a timer due while the program runs) to
//    the stopped state, worst of many;
//  - on s51, the same step without the s51wake helper, for comparison;
//  - on the core, Step Back (one line, F10 undone) and Reverse Continue over
//    a history of 150,000 run instructions, to the stopped state.
//  - on the core, a run with coverage and profile recorded against the bare
//    run, in instructions per second of processor time.
//  - on the core, F10 by C line on SDCC's two-file sample with the window's
//    C views (Locals, C watches, call stack with arguments, disassembly under
//    C lines) updated at each stop, worst case.
#include "debugger/DebugEngine.h"
#include "debugger/InsightSession.h"
#include "debugger/ProgramBuilder.h"

#ifdef M51_WITH_WINDOW
#include "debugger/window/CallStackPane.h"
#include "debugger/window/DisassemblyPane.h"
#include "debugger/window/LocalsPane.h"
#include "debugger/window/SimulatorWindow.h"
#include "debugger/window/StackModel.h"
#include "simrun/WatchList.h"
#include "debugger/window/WatchPane.h"
#include <QApplication>
#include <QTabWidget>
#endif
#include <QDir>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

using namespace m51dbg;

namespace {

// Empty when the engine stopped, else its failure message or the timeout.
QString WaitForStopReason(DebugEngine& engine, int timeoutMs = 10000)
{
    QEventLoop loop;
    QString reason = QStringLiteral("no stop within %1 ms").arg(timeoutMs);
    QObject::connect(&engine, &DebugEngine::stopped, &loop, [&] { reason.clear(); loop.quit(); });
    QObject::connect(&engine, &DebugEngine::failed, &loop, [&](const QString& message) { reason = message; loop.quit(); });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return reason;
}

bool WaitForStop(DebugEngine& engine, int timeoutMs = 10000) { return WaitForStopReason(engine, timeoutMs).isEmpty(); }

// The layout and painting a stop asked for: the window is updated only when
// they are done, so they count in the step that caused them (and the first
// fill after start does not land in the first step's figure). A layout posts
// its parent's only as it runs, so one pass over the posted events is not
// enough: the events are handled until none are left.
void Settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1000);
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

EngineOptions Options(SimulatorKind kind)
{
    EngineOptions options;
    options.kind = kind;
    return options;
}

const char* Name(SimulatorKind kind) { return kind == SimulatorKind::Core ? "core" : "s51"; }

void StepFigures(const Program& program, const char* title, EngineOptions options, int steps, bool window = false)
{
    DebugEngine engine;
#ifdef M51_WITH_WINDOW
    // The window updates its views in its slot on stopped(), before WaitForStop's.
    std::unique_ptr<SimulatorWindow> view;
    if (window) {
        view = std::make_unique<SimulatorWindow>(&engine);
        view->show();
    }
#else
    (void)window;
#endif
    engine.setOptions(options);
    engine.start(program);
    if (const QString why = WaitForStopReason(engine); !why.isEmpty()) {
        std::printf("%s: simulator failed: %s\n", title, qPrintable(why));
        return;
    }
    Settle();
    std::vector<double> ms;
    for (int i = 0; i < steps; ++i) {
        QElapsedTimer clock;
        clock.start();
        engine.stepLine();
        if (!WaitForStop(engine, 3000))
            break;  // the program's final wait loop (JUMP PARK) never ends a step
        Settle();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("%-4s %-50s median %7.2f ms, max %7.2f ms (%zu steps)\n", Name(options.kind), title, Median(ms),
                ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()), ms.size());
}

#ifdef M51_WITH_WINDOW
// F10 by C line with the C views of the window: the program's final wait
// loop never ends a step, so after it the program starts again from reset.
void CStepFigures(const Program& program, int steps)
{
    DebugEngine engine;
    WatchList watches;
    for (const char* expression : {"result", "result.mean", "readings[2]", "i"})
        watches.add(expression);
    SimulatorWindow window(&engine, nullptr, nullptr, &watches);
    StackModel stack(&engine);
    stack.setProcedures(ProceduresOf(program));
    auto* locals = new LocalsPane(&engine);
    auto* callStack = new CallStackPane(&stack);
    QObject::connect(callStack, &CallStackPane::frameChosen, locals, &LocalsPane::showFrame);
    window.addPane("callStackPane", "Call stack", callStack);
    window.addPane("locals", "Locals", locals);
    window.show();
    engine.setOptions(Options(SimulatorKind::Core));
    engine.start(program);
    if (const QString why = WaitForStopReason(engine); !why.isEmpty()) {
        std::printf("core C program: simulator failed: %s\n", qPrintable(why));
        return;
    }
    Settle();
    // The views a user has open: the locals' structure opened, the disassembly in sight.
    window.findChild<QTabWidget*>("paneTabs")->setCurrentWidget(locals);
    // Wall time, and processor time, which a loaded machine does not stretch.
    std::vector<double> ms, processorMs;
    while (int(ms.size()) < steps) {
        QElapsedTimer clock;
        clock.start();
        const std::clock_t processorStart = std::clock();
        engine.stepLine();
        if (!WaitForStop(engine, 1000)) {
            engine.stop();
            WaitForStop(engine);
            engine.reset();
            WaitForStop(engine);
            continue;
        }
        Settle();
        ms.push_back(clock.nsecsElapsed() / 1e6);
        processorMs.push_back(1e3 * double(std::clock() - processorStart) / CLOCKS_PER_SEC);
        CValueModel* model = locals->model();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->canFetchMore(model->index(row, 0)))
                model->fetchMore(model->index(row, 0));
    }
    std::printf("%-4s %-50s median %7.2f ms, max %7.2f ms (%zu steps)\n", "core",
                "step C line (F10) to updated window with C views:", Median(ms),
                ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()), ms.size());
    std::printf("%-4s %-50s median %7.2f ms, max %7.2f ms\n", "core", "the same in processor time:", Median(processorMs),
                processorMs.empty() ? 0 : *std::max_element(processorMs.begin(), processorMs.end()));
}
#endif

// Run: throughput and event-loop lateness.
void RunFigures(const Program& program, const EngineOptions& options)
{
    DebugEngine engine;
    engine.setOptions(options);
    engine.start(program);
    if (const QString why = WaitForStopReason(engine); !why.isEmpty()) {
        std::printf("%s: simulator failed: %s\n", Name(options.kind), qPrintable(why));
        return;
    }
    double worstLate = 0;
    QElapsedTimer tick;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        worstLate = std::max(worstLate, tick.nsecsElapsed() / 1e6 - 10.0);
        tick.start();
    });
    const uint64_t before = engine.instructionsRun();
    QElapsedTimer clock;
    clock.start();
    const std::clock_t processorStart = std::clock();
    engine.run();
    tick.start();
    timer.start();
    QTimer::singleShot(2000, &engine, &DebugEngine::stop);
    WaitForStop(engine);
    timer.stop();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double processor = static_cast<double>(std::clock() - processorStart) / CLOCKS_PER_SEC;
    const double instructions = static_cast<double>(engine.instructionsRun() - before);
    // Per processor second too: on a busy machine the wall figure falls with the load.
    std::printf("%-4s %-50s %.2f million instructions/s (%.0f in %.2f s; %.2f million per processor second)\n",
                Name(options.kind), "run:", instructions / seconds / 1e6, instructions, seconds,
                processor > 0 ? instructions / processor / 1e6 : 0.0);
    std::printf("%-4s %-50s %.2f ms late at worst\n", Name(options.kind), "event loop during run (10 ms timer):",
                worstLate);
}

// Stop: a precise timer asks for the stop while the program runs freely; the
// time counts from when the timer was due, so waiting for the running slice
// to end is included.
void StopFigures(const Program& program, const EngineOptions& options, int rounds)
{
    DebugEngine engine;
    engine.setOptions(options);
    engine.start(program);
    if (!WaitForStop(engine))
        return;
    std::vector<double> ms, fromCall;
    for (int i = 0; i < rounds; ++i) {
        engine.run();
        QElapsedTimer clock, call;
        clock.start();
        const int dueMs = 30 + i % 7;
        QTimer::singleShot(dueMs, Qt::PreciseTimer, &engine, [&] {
            call.start();
            engine.stop();
        });
        if (!WaitForStop(engine))
            break;
        ms.push_back(clock.nsecsElapsed() / 1e6 - dueMs);
        fromCall.push_back(call.nsecsElapsed() / 1e6);
    }
    // As a click arrives: posted from another thread while the program runs.
    std::vector<double> posted;
    for (int i = 0; i < rounds; ++i) {
        engine.run();
        QElapsedTimer clock;
        std::thread clicker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + i % 7));
            clock.start();
            QMetaObject::invokeMethod(&engine, &DebugEngine::stop, Qt::QueuedConnection);
        });
        const bool stopped = WaitForStop(engine);
        clicker.join();
        if (!stopped)
            break;
        posted.push_back(clock.nsecsElapsed() / 1e6);
    }
    auto worst = [](const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); };
    std::printf("%-4s %-50s median %7.3f ms, max %7.3f ms\n", Name(options.kind),
                "stop posted as an input event to stopped state:", Median(posted), worst(posted));
    std::printf("%-4s %-50s median %7.3f ms, max %7.3f ms (%zu stops)\n", Name(options.kind),
                "stop request (timer due) to stopped state:", Median(ms), worst(ms), ms.size());
    std::printf("%-4s %-50s median %7.3f ms, max %7.3f ms\n", Name(options.kind), "stop() call to stopped state:",
                Median(fromCall), worst(fromCall));
}

// Step Back after a run of 150,000 instructions (the history full), wall and
// processor time to the stopped state; then Reverse Continue to a watched
// byte the program never writes, which scans the whole history.
void StepBackFigures(const Program& program, const char* name, int rounds)
{
    DebugEngine engine;
    engine.start(program);
    if (!WaitForStop(engine))
        return;
    engine.run(150000);
    WaitForStop(engine, 30000);
    std::vector<double> ms, cpu;
    for (int i = 0; i < rounds && engine.canStepBack(); ++i) {
        QElapsedTimer clock;
        clock.start();
        const std::clock_t start = std::clock();
        engine.stepBack();
        if (!WaitForStop(engine))
            break;
        ms.push_back(clock.nsecsElapsed() / 1e6);
        cpu.push_back(1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    auto worst = [](const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); };
    std::printf("%-4s %-50s median %7.3f ms, max %7.3f ms (processor %.3f / %.3f ms, %zu steps)\n", "core",
                (std::string(name) + ": Step Back (one line) to stopped state:").c_str(), Median(ms), worst(ms),
                Median(cpu), worst(cpu), ms.size());
    engine.run(150000);
    WaitForStop(engine, 30000);
    QElapsedTimer clock;
    clock.start();
    const std::clock_t start = std::clock();
    engine.reverseContinue({{SimulatorBackend::Memory::Iram, 0x7F}});
    WaitForStop(engine);
    std::printf("%-4s %-50s %7.3f ms (processor %.3f ms)\n", "core",
                (std::string(name) + ": Reverse Continue over the whole history:").c_str(),
                clock.nsecsElapsed() / 1e6, 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
}

// Instructions per processor second of a free run of about `ms`, recorded or bare.
double RunRate(const Program& program, bool recording, int ms)
{
    DebugEngine engine;
    InsightSession insight(&engine);
    insight.setRecording(recording);
    engine.start(program);
    if (!WaitForStop(engine))
        return 0;
    const uint64_t before = engine.instructionsRun();
    const std::clock_t start = std::clock();
    engine.run();
    QTimer::singleShot(ms, &engine, &DebugEngine::stop);
    WaitForStop(engine);
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    return seconds > 0 ? static_cast<double>(engine.instructionsRun() - before) / seconds : 0;
}

void CoverageFigures(const Program& program, const char* name)
{
    double bare = 0, recorded = 0;
    for (int round = 0; round < 3; ++round) {
        bare = std::max(bare, RunRate(program, false, 700));
        recorded = std::max(recorded, RunRate(program, true, 700));
    }
    std::printf("core %-50s bare %.2f, recorded %.2f million instructions per processor second: %.2fx the bare run\n",
                name, bare / 1e6, recorded / 1e6, recorded > 0 ? bare / recorded : 0);
}

} // namespace

int main(int argc, char** argv)
{
#ifdef M51_WITH_WINDOW
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    QTemporaryDir dir;
    auto build = [&](const QString& source) {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly))
            return BuildOutput{};
        return BuildM51(file.readAll().toStdString(), source, dir.path());
    };
    // blink runs for ever in its delay loops; loops.M51 has many short lines to step.
    const BuildOutput built = build(QStringLiteral(M51_EXAMPLES_DIR "/blink.M51"));
    const BuildOutput stepped = build(QStringLiteral(M51_EXAMPLES_DIR "/loops.M51"));
    if (!built.ok || !stepped.ok) {
        std::fprintf(stderr, "build failed\n");
        return 1;
    }
    // "c": the C program's figure alone.
    const bool cOnly = argc > 1 && QByteArray(argv[1]) == "c";
    std::printf("run: blink.M51, steps: loops.M51\n");
    for (SimulatorKind kind : {SimulatorKind::Core, SimulatorKind::S51}) {
        if (cOnly)
            break;
        if (kind == SimulatorKind::Core) {
            CoverageFigures(built.program, "coverage and profile on, blink.M51:");
            if (const BuildOutput interrupts = build(QStringLiteral(M51_EXAMPLES_DIR "/interrupts.M51")); interrupts.ok)
                CoverageFigures(interrupts.program, "coverage and profile on, interrupts.M51:");
        }
        RunFigures(built.program, Options(kind));
        StopFigures(built.program, Options(kind), kind == SimulatorKind::Core ? 50 : 10);
        StepFigures(stepped.program, "step line (F10) to updated state:", Options(kind), 200);
#ifdef M51_WITH_WINDOW
        StepFigures(stepped.program, "step line (F10) to updated simulator window:", Options(kind), 200, true);
#endif
    }
    // traffic.M51 waits in a loop of two lines: many lines to step back over.
    if (!cOnly) {
        const BuildOutput traffic = build(QStringLiteral(M51_EXAMPLES_DIR "/traffic.M51"));
        StepBackFigures(built.program, "blink", 50);
        if (traffic.ok)
            StepBackFigures(traffic.program, "traffic", 50);
        EngineOptions noHelper = Options(SimulatorKind::S51);
        noHelper.wakeHelper = QStringLiteral("/nonexistent");
        StepFigures(stepped.program, "the same without the s51wake helper:", noHelper, 10);
    }
#ifdef M51_WITH_WINDOW
    // SDCC's two-file sample, built in a copy (SDCC writes beside the sources).
    QDir copy(dir.path());
    copy.mkdir("twofiles");
    for (const char* name : {"main.c", "stats.c", "stats.h", "twofiles.m51proj"})
        QFile::copy(QStringLiteral(M51_EXAMPLES_DIR "/c/twofiles/") + name, copy.filePath(QStringLiteral("twofiles/") + name));
    const BuildOutput c = BuildC(copy.filePath("twofiles/twofiles.m51proj"), dir.path());
    if (c.ok) {
        CStepFigures(c.program, 300);
    }
    else
        std::printf("C program: not built (%s)\n", c.messages().empty() ? "" : qPrintable(c.messages().front()));
#endif
    return 0;
}
