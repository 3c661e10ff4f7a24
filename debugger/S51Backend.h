#pragma once
// The s51 backend: runs the program in the s51 simulator (a child process
// driven through its command console).
//
// s51 cannot be interrupted quickly while it runs freely, so the backend runs
// the program in slices of a few milliseconds ("step N") and looks for a Stop
// request between slices: a stop takes effect within one slice.

#include "simrun/LineWalk.h"
#include "debugger/SimulatorBackend.h"

#include <QByteArray>
#include <QElapsedTimer>
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

struct StopReport;

class S51Backend : public SimulatorBackend {
    Q_OBJECT
public:
    explicit S51Backend(QObject* parent = nullptr);
    ~S51Backend() override;

    void start(const Program& program, const EngineOptions& options, SerialBridge* serial) override;
    void shutdown() override;

    State state() const override { return m_state; }
    const MachineState& machine() const override { return m_machine; }
    uint8_t pins(unsigned port) const override { return m_pins[port & 3]; }
    qint64 processId() const override { return m_process ? m_process->processId() : 0; }
    uint64_t instructionsRun() const override { return m_instructionsRun; }

    void run(uint64_t instructionLimit) override;
    void stop() override;
    void reset() override;
    void stepInstruction() override;
    void stepLine() override;
    void stepInto() override;
    void stepOut() override;
    void runTo(uint16_t address) override;
    void setBreakpoints(const std::set<uint16_t>& addresses) override;

    void write(Memory memory, unsigned address, uint8_t value) override;
    void setPin(unsigned port, unsigned bit, bool high) override;
    void sendSerial(const QByteArray& bytes) override;
    void read(Memory memory, unsigned address, unsigned count,
              std::function<void(std::optional<std::vector<uint8_t>>)> done) override;

private:
    // A number as s51's commands take it (0x2c).
    static QByteArray hex(unsigned value) { return "0x" + QByteArray::number(value, 16); }
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
    void refresh(StopCause cause);
    void syncBreakpoints();
    QString findWakeHelper() const;

    bool m_trace = false;  // M51_TRACE_S51 set: every command and answer to stderr
    EngineOptions m_options;
    Program m_program;
    QProcess* m_process = nullptr;
    SerialBridge* m_serial = nullptr;
    State m_state = State::Off;
    QByteArray m_buffer;
    QQueue<Command> m_waiting, m_inFlight;
    QTimer m_watchdog;

    MachineState m_machine;
    std::array<uint8_t, 4> m_pins{0xFF, 0xFF, 0xFF, 0xFF};
    std::set<uint16_t> m_wanted;                // the user's breakpoints
    std::map<uint16_t, int> m_userBreakpoints;  // address -> s51 number (-1 while being set)
    std::map<uint16_t, StopTarget> m_targets;   // temporary stops of the current operation

    Operation m_operation = Operation::None;
    bool m_stopRequested = false, m_resetRequested = false;
    uint64_t m_limit = 0, m_done = 0;
    uint64_t m_slice = 5000;
    uint64_t m_instructionsRun = 0;
    // Stepping over a line (see stepLine).
    LineWalk m_walk;
    int m_walkSteps = 0;
    std::function<void(const StopReport&)> m_onTarget;
    QElapsedTimer m_sliceClock;
};

} // namespace m51dbg
