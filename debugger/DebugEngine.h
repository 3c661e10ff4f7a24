#pragma once
// The debugger: runs a built 8051 program in a simulator and offers run,
// stop, reset, stepping by M51 line, breakpoints on M51 and assembly lines,
// and reading and writing of the machine's memories. Every call returns at
// once; results come back as signals, so a window stays responsive while the
// program runs.
//
// One error style: a call that can be refused returns the reason in words
// (empty: done); a failure of the simulator itself, at the start or during a
// run, comes back as failed(message).
//
// The simulator is a backend (SimulatorBackend): the built-in core by
// default, or s51 (EngineOptions::kind). The engine keeps what outlives a
// session: the breakpoints as lines, and the board's serial line, whose
// pseudo-terminal keeps its path for the engine's whole life so a connected
// terminal program stays connected across rebuilds, resets and sessions.

#include "simrun/BreakConditions.h"
#include "debugger/EngineTypes.h"
#include "common/ServedPorts.h"
#include "debugger/SimulatorBackend.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace m51dbg {

class SerialBridge;

// A breakpoint by its line: a line of one of the program's source files (an
// M51 program has one) or (assembly) a line of the .asm file.
struct BreakpointRef {
    bool assembly = false;
    int line = 0;  // 0-based, where the breakpoint really is
    int file = 0;  // the source file (Program::files); 0 for assembly lines
    auto operator<=>(const BreakpointRef&) const = default;
};

// What a breakpoint has beyond its line: kept with it across runs.
struct BreakpointSettings {
    bool enabled = true;
    QString condition;                       // as the user typed it; empty: always stops
    std::optional<BreakCondition> parsed;    // none: no condition (or one with an error)
    QString error;                           // why the condition is not one (the breakpoint then always stops)
    uint64_t hits = 0;                       // stops since the start or the last Reset
};

class DebugEngine : public QObject {
    Q_OBJECT
public:
    using State = SimulatorBackend::State;
    using StopCause = SimulatorBackend::StopCause;
    using Memory = SimulatorBackend::Memory;

    explicit DebugEngine(QObject* parent = nullptr);
    ~DebugEngine() override;

    // Taken by the next start(). M51_SIMULATOR=s51 in the environment makes
    // s51 the default backend (the test suite runs both this way).
    void setOptions(const EngineOptions& options) { m_options = options; }
    const EngineOptions& options() const { return m_options; }

    // Starts the simulator with the program; paused at reset when it is up
    // (stopped(Started)), failed(message) otherwise.
    void start(const Program& program);
    void shutdown();

    State state() const;
    bool isPaused() const { return state() == State::Paused; }
    const MachineState& machine() const;
    const Program& program() const { return m_program; }
    // The source line (of any of the program's files) at the program counter.
    std::optional<toolchain::SourceLine> currentLine() const { return m_program.lineTable().lineAt(machine().pc); }
    // The same when it is a line of the file built (file 0).
    std::optional<int> currentSourceLine() const
    {
        const auto line = currentLine();
        return line && line->file == 0 ? std::optional<int>(line->line) : std::nullopt;
    }
    std::optional<int> currentAsmLine() const { return m_program.map.asmLineAt(machine().pc); }
    QString serialTerminalPath() const;  // the path a terminal program opens, empty without one
    qint64 simulatorProcessId() const { return m_backend ? m_backend->processId() : 0; }
    // The built-in simulator's machine while a session runs on it (else null),
    // and a listener told of its pin changes, kept across sessions (the virtual board).
    sim::Machine* core() { return m_backend ? m_backend->core() : nullptr; }
    // While running: machine() brought up to this moment (the built-in simulator;
    // s51's stays the state of its last stop).
    void refreshLive()
    {
        if (m_backend)
            m_backend->captureLive();
    }
    // Real time at the crystal or as fast as possible (the built-in simulator), also while running.
    void setRealTime(bool on)
    {
        m_options.realTime = on;
        if (m_backend)
            m_backend->setRealTime(on);
    }
    // Coverage and profile: the built-in simulator's steps go through
    // `recorder` (made for core()) until null is set or the next start.
    void setRecorder(insight::Recorder* recorder)
    {
        if (m_backend)
            m_backend->setRecorder(recorder);
    }
    void setPinListener(sim::Listener* listener)
    {
        m_pinListener = listener;
        if (m_backend)
            m_backend->setPinListener(listener);
    }

    // Execution. Each is ignored unless the engine is paused (stop: running).
    void run(uint64_t instructionLimit = 0);  // 0: until a breakpoint or Stop
    void stop();
    void reset();
    void stepInstruction();
    void stepLine();   // the current source line, calls and interrupts run through
    void stepInto();   // to the next source line, into a called procedure that has lines
    void stepOut();    // until the current procedure has returned
    // To a source (or assembly) line; empty when running there, else why not
    // (not paused, or no code belongs to the line or follows it).
    [[nodiscard]] QString runToLine(toolchain::SourceLine line);
    [[nodiscard]] QString runToSourceLine(int line) { return runToLine({0, line}); }
    [[nodiscard]] QString runToAsmLine(int line);

    // Stepping back over the recent steps (the built-in simulator): when
    // paused and something lies behind. Step Back goes to the start of the
    // line run before; Reverse Continue to the last earlier breakpoint or
    // change of a watched byte (false: none; then at the oldest step kept).
    // While behind the newest step, stepping and running replay the recorded
    // steps; the serial line and the board's outside world are not rewound.
    using WatchedByte = SimulatorBackend::WatchedByte;
    bool canStepBack() const { return isPaused() && m_backend->canStepBack(); }
    bool isReplaying() const { return m_backend && m_backend->replaying(); }
    void stepBack();
    bool reverseContinue(const std::vector<WatchedByte>& watches = {});

    // The whole simulation state to and from a file, when paused; empty, or
    // "path: why" (nothing changed).
    bool canSaveState() const { return isPaused() && m_backend->core(); }
    [[nodiscard]] QString saveState(const QString& path);
    [[nodiscard]] QString loadState(const QString& path);

    // Breakpoints, kept across runs. The lines are where the breakpoints
    // really are: a line without code moves to the next one with code.
    // Source breakpoints are kept per source file (file 0 the one built).
    std::set<int> setSourceBreakpoints(int file, const std::set<int>& lines);
    std::set<int> setSourceBreakpoints(const std::set<int>& lines) { return setSourceBreakpoints(0, lines); }
    std::set<int> setAsmBreakpoints(const std::set<int>& lines);
    const std::set<int>& sourceBreakpoints(int file = 0) const;
    const std::set<int>& asmBreakpoints() const { return m_asmBreakpoints; }
    // A breakpoint's condition, enabling and hit count. The condition's names
    // are the source's (setConditionNames); an error comes back as the text
    // shown to the user (empty: accepted) and leaves the breakpoint unconditional.
    [[nodiscard]] QString setBreakpointCondition(BreakpointRef breakpoint, const QString& condition);
    void setBreakpointEnabled(BreakpointRef breakpoint, bool enabled);
    BreakpointSettings breakpointSettings(BreakpointRef breakpoint) const;
    void setConditionNames(SourceNames names);
    void resetHitCounts();  // also by reset() and start()

    // Machine changes; allowed when paused and while running (applied between
    // slices). The state is refreshed and stopped(Changed) follows when paused.
    void write(Memory memory, unsigned address, uint8_t value);
    void setPin(unsigned port, unsigned bit, bool high);  // the outside level of a port pin
    uint8_t pins(unsigned port) const { return m_backend ? m_backend->pins(port) : 0xFF; }
    // What the program reads from a port: its latch and the outside level together.
    uint8_t portValue(unsigned port) const { return machine().sfrAt(0x80 + 0x10 * (port & 3)) & pins(port); }
    void sendSerial(const QByteArray& bytes);

    // Reads memory when paused; `done` receives the bytes or nothing on error.
    void read(Memory memory, unsigned address, unsigned count,
              std::function<void(std::optional<std::vector<uint8_t>>)> done);

    // Instructions simulated since start (for figures).
    uint64_t instructionsRun() const { return m_backend ? m_backend->instructionsRun() : 0; }

signals:
    void stateChanged(DebugEngine::State state);
    void stopped(DebugEngine::StopCause cause);  // machine() is up to date
    void failed(const QString& message);
    void serialReceived(const QByteArray& bytes);
    void serialLost(uint8_t byte);  // a received byte the program did not take in time
    void breakpointsUpdated();      // a breakpoint's settings or hit count changed

private:
    void fail(const QString& message);
    std::set<uint16_t> breakpointAddresses() const;
    void applyBreakpoints();
    void forgetRemoved(bool assembly, int file, const std::set<int>& before);
    // Whether a breakpoint reached at `address` stops (its condition holds); counts its hit.
    bool breakpointStops(uint16_t address, const ByteReader& read, uint16_t pc);
    void onBackendStopped(StopCause cause);

    EngineOptions m_options;
    Program m_program;
    std::unique_ptr<SimulatorBackend> m_backend;
    SimulatorKind m_backendKind = SimulatorKind::Core;
    SerialBridge* m_serial = nullptr;  // opened on first use, kept
    m51::ServedPortEntry m_servedPort;  // the serial line, listed for terminal while the engine lives
    std::map<int, std::set<int>> m_sourceBreakpoints;  // by file
    std::set<int> m_asmBreakpoints;
    std::map<BreakpointRef, BreakpointSettings> m_breakpointSettings;
    SourceNames m_conditionNames;
    bool m_freeRun = false;  // the backend's operation is a run without limit (s51: resumed past a false condition)
    MachineState m_idle;  // before the first start
    bool m_failed = false;
    sim::Listener* m_pinListener = nullptr;
};

} // namespace m51dbg
