#pragma once
// The built-in backend: the program runs on the simulator core (m51simcore)
// in this process, on the engine's thread, in slices of about half a
// millisecond between which the event loop runs. A Stop therefore takes
// effect within one slice, the window never waits for the simulator, and the
// machine state of a stop (counters included) is read from the core after
// the slice, never while it runs.
//
// Stepping works on the core directly, with the same rules as on s51:
// stepping over a line runs calls and interrupt handlers through to their
// return, stepping out ends after the return instruction of the current
// procedure. Only the instructions of the line stepped over go one at a
// time; the rest (calls, interrupts, stepping into and out, running to the
// caret) runs on the core's run loop up to the next place that matters.
// Every step goes through the history, so stepping back is exact.

#include "debugger/SimulatorBackend.h"

#include "insight/History.h"
#include "insight/LineStepper.h"
#include "sim/Machine.h"

#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <memory>
#include <vector>

namespace m51dbg {

class CoreBackend : public SimulatorBackend, private sim::Listener {
    Q_OBJECT
public:
    explicit CoreBackend(QObject* parent = nullptr);
    ~CoreBackend() override;

    void start(const Program& program, const EngineOptions& options, SerialBridge* serial) override;
    void shutdown() override;

    State state() const override { return m_state; }
    const MachineState& machine() const override { return m_machine; }
    uint8_t pins(unsigned port) const override { return m_pins[port & 3]; }
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
    void setBreakFilter(BreakFilter filter) override { m_breakFilter = std::move(filter); }
    bool filtersBreakpoints() const override { return true; }

    bool canStepBack() const override;
    bool replaying() const override { return m_history && m_history->replaying(); }
    void stepBack() override;
    bool reverseContinue(const std::vector<WatchedByte>& watches) override;
    QString saveState(const QString& path) override;
    QString loadState(const QString& path) override;

    void write(Memory memory, unsigned address, uint8_t value) override;
    void setPin(unsigned port, unsigned bit, bool high) override;
    void sendSerial(const QByteArray& bytes) override;
    void read(Memory memory, unsigned address, unsigned count,
              std::function<void(std::optional<std::vector<uint8_t>>)> done) override;

    // The core itself (for figures and tests); null when not started.
    sim::Machine* core() override { return m_core.get(); }
    void setPinListener(sim::Listener* listener) override { m_pinListener = listener; }
    void setRealTime(bool on) override;
    void setRecorder(insight::Recorder* recorder) override;
    void captureLive() override
    {
        if (m_core && m_state == State::Running)
            capture();
    }

private:
    enum class Operation { None, Run, StepLine, StepInto, StepOut, RunTo };
    void serialSent(uint64_t cycle, uint8_t byte) override;
    void serialLost(uint64_t cycle, uint8_t byte) override;
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override
    {
        if (m_pinListener)
            m_pinListener->pinsChanged(cycle, port, levels);
    }

    void begin(Operation operation, uint64_t limit = 0);
    void slice();
    bool runFreely();  // false when the operation ended
    std::optional<StopCause> stepOnce();
    bool stepByLines();
    static void FitBudget(uint64_t& budget, qint64 ns);
    void finish(StopCause cause);
    void report(StopCause cause);  // the stop, after the engine's caller has returned
    void capture();
    void flushSerial();
    void setState(State state);
    void fail(const QString& message);
    bool breakpointStops(uint16_t address);  // a breakpoint reached: whether its condition holds
    unsigned stepMachine();  // one step, through the history
    void resetMachine();
    std::optional<uint64_t> previousLineStart() const;
    void showPinsToBoard();

    Program m_program;
    std::unique_ptr<sim::Machine> m_core;
    // Every step of the core goes through here (the core's listener), so Step
    // Back reaches the last 100,000 instructions or more.
    std::unique_ptr<insight::History> m_history;
    bool m_boardBehind = false;  // the board was shown a past step's pins
    SerialBridge* m_serial = nullptr;
    State m_state = State::Off;
    MachineState m_machine;
    std::array<uint8_t, 4> m_pins{0xFF, 0xFF, 0xFF, 0xFF};
    std::set<uint16_t> m_breakpoints;
    insight::StopTable m_isBreakpoint;
    QTimer m_sliceTimer;
    QByteArray m_sent;
    std::vector<uint8_t> m_lost;
    unsigned m_session = 0;  // a report of an earlier session is dropped

    Operation m_operation = Operation::None;
    bool m_stopRequested = false, m_resetRequested = false, m_first = true;
    uint64_t m_limit = 0, m_done = 0;
    uint64_t m_budget = 20000;  // machine cycles of one free-running slice
    uint64_t m_instructionsRun = 0;
    uint64_t m_stepBudget = 20000;  // machine cycles of one slice of stepping
    std::unique_ptr<insight::LineStepper> m_stepper;
    sim::Listener* m_pinListener = nullptr;
    BreakFilter m_breakFilter;
    bool m_realTime = false;
    QElapsedTimer m_realClock;  // real time: since m_realStart cycles
    uint64_t m_realStart = 0;
};

} // namespace m51dbg
