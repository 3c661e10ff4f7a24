#pragma once
// The debugger: runs a built 8051 program in the s51 simulator (a child
// process driven through its command console) and offers run, stop, reset,
// stepping by M51 line, breakpoints on M51 and assembly lines, and reading and
// writing of the machine's memories. Every call returns at once; results come
// back as signals, so a window stays responsive while the program runs.
//
// s51 cannot be interrupted quickly while it runs freely, so the engine runs
// the program in slices of a few milliseconds ("step N") and looks for a Stop
// request between slices: a stop takes effect within one slice.

#include "SourceMap.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QQueue>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace m51dbg {

class SerialBridge;
struct StopReport;

// A built program: the HEX file the simulator loads, the code image and the
// map between M51 lines, assembly lines and addresses.
struct Program {
    QString hexPath;
    std::vector<uint8_t> code;  // 64 KB image; read from hexPath when empty
    SourceMap map;
};

struct EngineOptions {
    QString simulator = QStringLiteral("s51");
    QString cpuType = QStringLiteral("8052");
    double crystalHz = 11059200.0;
    // The UART on a pseudo-terminal pair (see SerialBridge), or unconnected.
    // (s51's own file input is not used: it picks bytes up from a file only
    // at moments that depend on the host's timing.)
    bool serialTerminal = true;
    // The helper that keeps s51 answering fast (s51wake); empty: searched
    // beside the program and in the build folder.
    QString wakeHelper;
    int randomSeed = 1;  // s51 fills RAM with random bytes at power-on; fixed seed, same bytes
};

// The machine after the last stop.
struct MachineState {
    uint16_t pc = 0;
    uint64_t ticks = 0;  // oscillator periods since reset
    std::array<uint8_t, 256> iram{};
    std::array<uint8_t, 128> sfr{};  // 80H-FFH

    uint8_t sfrAt(unsigned address) const { return sfr[(address - 0x80) & 0x7F]; }
    uint8_t a() const { return sfrAt(0xE0); }
    uint8_t b() const { return sfrAt(0xF0); }
    uint8_t psw() const { return sfrAt(0xD0); }
    uint8_t sp() const { return sfrAt(0x81); }
    uint16_t dptr() const { return static_cast<uint16_t>(sfrAt(0x83) << 8 | sfrAt(0x82)); }
    unsigned bank() const { return (psw() >> 3) & 3; }
    uint8_t r(unsigned n) const { return iram[bank() * 8 + (n & 7)]; }
};

class DebugEngine : public QObject {
    Q_OBJECT
public:
    enum class State { Off, Starting, Paused, Running, Failed };
    Q_ENUM(State)
    enum class StopCause { Started, Breakpoint, StepDone, UserStop, StepLimit, Reset, Changed };
    Q_ENUM(StopCause)
    enum class Memory { Iram, Sfr, Xram, Code };

    explicit DebugEngine(QObject* parent = nullptr);
    ~DebugEngine() override;

    void setOptions(const EngineOptions& options) { m_options = options; }
    const EngineOptions& options() const { return m_options; }

    // Starts the simulator with the program; paused at reset when it is up
    // (stopped(Started)), failed(message) otherwise.
    void start(const Program& program);
    void shutdown();

    State state() const { return m_state; }
    bool isPaused() const { return m_state == State::Paused; }
    const MachineState& machine() const { return m_machine; }
    const Program& program() const { return m_program; }
    std::optional<int> currentSourceLine() const { return m_program.map.sourceLineAt(m_machine.pc); }
    std::optional<int> currentAsmLine() const { return m_program.map.asmLineAt(m_machine.pc); }
    QString serialTerminalPath() const;  // the path a terminal program opens, empty without one
    QString lastError() const { return m_error; }
    qint64 simulatorProcessId() const { return m_process ? m_process->processId() : 0; }

    // Execution. Each is ignored unless the engine is paused (stop: running).
    void run(uint64_t instructionLimit = 0);  // 0: until a breakpoint or Stop
    void stop();
    void reset();
    void stepInstruction();
    void stepLine();   // the current M51 line, calls and interrupts run through
    void stepInto();   // to the next M51 line, into a called procedure
    void stepOut();    // until the current procedure has returned
    // To an M51 (or assembly) line; false when no code belongs to it or after it.
    bool runToSourceLine(int line);
    bool runToAsmLine(int line);

    // Breakpoints, kept across runs. The lines are where the breakpoints
    // really are: a line without code moves to the next one with code.
    std::set<int> setSourceBreakpoints(const std::set<int>& lines);
    std::set<int> setAsmBreakpoints(const std::set<int>& lines);
    const std::set<int>& sourceBreakpoints() const { return m_sourceBreakpoints; }

    // Machine changes; allowed when paused and while running (applied between
    // slices). The state is refreshed and stopped(Changed) follows when paused.
    void write(Memory memory, unsigned address, uint8_t value);
    void setPin(unsigned port, unsigned bit, bool high);  // the outside level of a port pin
    uint8_t pins(unsigned port) const { return m_pins[port & 3]; }
    // What the program reads from a port: its latch and the outside level together.
    uint8_t portValue(unsigned port) const { return m_machine.sfrAt(0x80 + 0x10 * (port & 3)) & m_pins[port & 3]; }
    void sendSerial(const QByteArray& bytes);

    // Reads memory when paused; `done` receives the bytes or nothing on error.
    void read(Memory memory, unsigned address, unsigned count,
              std::function<void(std::optional<std::vector<uint8_t>>)> done);

    // Instructions simulated since start (for figures).
    uint64_t instructionsRun() const { return m_instructionsRun; }

signals:
    void stateChanged(DebugEngine::State state);
    void stopped(DebugEngine::StopCause cause);  // machine() is up to date
    void failed(const QString& message);
    void serialReceived(const QByteArray& bytes);

private:
    struct Command {
        QByteArray text;
        std::function<void(const std::string&)> done;
        bool exclusive = false;  // runs the CPU: nothing may follow it in the pipe
    };
    struct StopTarget {
        int breakpoint = -1;              // s51's number
        std::optional<uint8_t> spAtMost;  // only counts with SP <= this
    };
    enum class Operation { None, Run, StepLine, StepInto, StepOut, RunTo };

    void send(const QByteArray& text, std::function<void(const std::string&)> done = {}, bool exclusive = false);
    void pump();
    void onReadyRead();
    void onProcessError(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onWatchdog();
    void fail(const QString& message);
    void setState(State state);

    void beginOperation(Operation operation, uint64_t limit = 0);
    void addTarget(uint16_t address, std::optional<uint8_t> spAtMost);
    void runSlice();
    void sliceDone(const std::string& answer);
    void finishOperation(StopCause cause);
    void clearTargets();
    void walk(uint16_t pc, uint8_t sp);
    void runThrough(uint16_t address, uint8_t sp);
    bool isLineStart(uint16_t address, int* line) const;
    void refresh(StopCause cause);
    void syncBreakpoints();
    QString findWakeHelper() const;

    bool m_trace = false;  // M51_TRACE_S51 set: every command and answer to stderr
    EngineOptions m_options;
    Program m_program;
    QProcess* m_process = nullptr;
    SerialBridge* m_serial = nullptr;
    State m_state = State::Off;
    QString m_error;
    QByteArray m_buffer;
    QQueue<Command> m_waiting, m_inFlight;
    QTimer m_watchdog;

    MachineState m_machine;
    std::array<uint8_t, 4> m_pins{0xFF, 0xFF, 0xFF, 0xFF};
    std::set<int> m_sourceBreakpoints, m_asmBreakpoints;
    std::map<uint16_t, int> m_userBreakpoints;  // address -> s51 number (-1 while being set)
    std::map<uint16_t, StopTarget> m_targets;   // temporary stops of the current operation

    Operation m_operation = Operation::None;
    bool m_stopRequested = false, m_resetRequested = false;
    uint64_t m_limit = 0, m_done = 0;
    uint64_t m_slice = 5000;
    uint64_t m_instructionsRun = 0;
    // Stepping over a line (see stepLine).
    bool m_walkBySource = true;
    int m_walkLine = -1;
    int m_walkSteps = 0;
    std::function<void(const StopReport&)> m_onTarget;
    QElapsedTimer m_sliceClock;
};

} // namespace m51dbg
