#pragma once
// One simulator under the debugger's engine: it runs, stops, steps and resets
// the program, keeps the machine state of the last stop and the outside
// levels of the port pins, and reports through the signals below. The engine
// (DebugEngine) owns one backend at a time and turns M51 and assembly lines
// into the addresses the backend works with.
//
// Every call returns at once; a backend runs the program in slices, so the
// window stays responsive and a Stop takes effect quickly.

#include "debugger/EngineTypes.h"
#include "simrun/Watches.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <optional>
#include <set>

namespace sim {
class Machine;
struct Listener;
}
namespace insight {
class Recorder;
}

namespace m51dbg {

class SerialBridge;

class SimulatorBackend : public QObject {
    Q_OBJECT
public:
    enum class State { Off, Starting, Paused, Running, Failed };
    Q_ENUM(State)
    enum class StopCause { Started, Breakpoint, StepDone, UserStop, StepLimit, Reset, Changed };
    Q_ENUM(StopCause)
    enum class Memory { Iram, Sfr, Xram, Code };
    // A byte Reverse Continue watches for a change.
    struct WatchedByte {
        Memory memory = Memory::Iram;
        unsigned address = 0;
    };

    using QObject::QObject;

    // Starts with the program (its code image loaded); stopped(Started) when
    // paused at reset, failed() otherwise. `serial` (may be null) is the
    // board's serial line, owned by the engine and kept across sessions.
    virtual void start(const Program& program, const EngineOptions& options, SerialBridge* serial) = 0;
    virtual void shutdown() = 0;

    virtual State state() const = 0;
    virtual const MachineState& machine() const = 0;
    virtual uint8_t pins(unsigned port) const = 0;
    virtual qint64 processId() const { return 0; }
    // The built-in simulator's machine (null for s51 and before a start): the
    // virtual board reads and drives its pins, on the engine's thread between slices.
    virtual sim::Machine* core() { return nullptr; }
    // Also told of every pin change of the machine (the virtual board); null: none.
    virtual void setPinListener(sim::Listener* listener) { (void)listener; }
    // The machine state of this moment while the program runs (the built-in
    // simulator, between its slices); machine() shows it afterwards.
    virtual void captureLive() {}
    // Real time at the crystal or as fast as possible, also during a run (built-in simulator).
    virtual void setRealTime(bool on) { (void)on; }
    virtual uint64_t instructionsRun() const = 0;
    // The built-in simulator: every step of the session's machine goes
    // through the recorder (coverage and profile) until null is set; a new
    // start or a shutdown drops it, as it belongs to one machine.
    virtual void setRecorder(insight::Recorder* recorder) { (void)recorder; }

    virtual void run(uint64_t instructionLimit) = 0;
    virtual void stop() = 0;
    virtual void reset() = 0;
    virtual void stepInstruction() = 0;
    virtual void stepLine() = 0;
    virtual void stepInto() = 0;
    virtual void stepOut() = 0;
    virtual void runTo(uint16_t address) = 0;  // when paused
    // The user's breakpoints, kept across runs.
    virtual void setBreakpoints(const std::set<uint16_t>& addresses) = 0;
    // Asked when the program reaches a breakpoint: false runs on (its condition
    // does not hold); `read` reads the machine of that moment. A backend
    // without it (filtersBreakpoints() false) stops at every breakpoint.
    using BreakFilter = std::function<bool(uint16_t address, const ByteReader& read, uint16_t pc)>;
    virtual void setBreakFilter(BreakFilter filter) { (void)filter; }
    virtual bool filtersBreakpoints() const { return false; }

    // Stepping back (the built-in simulator keeps the recent steps; s51 cannot).
    // Step Back ends at the start of the line run before, calls and interrupt
    // handlers taken back over; Reverse Continue at the last earlier step at a
    // breakpoint or changing a watched byte (false: none, at the oldest step
    // kept). Stepping forward afterwards replays the recorded steps, their
    // inputs included, until the newest one, then runs new ones.
    virtual bool canStepBack() const { return false; }
    virtual bool replaying() const { return false; }  // behind the newest step
    virtual void stepBack() {}
    virtual bool reverseContinue(const std::vector<WatchedByte>& watches)
    {
        (void)watches;
        return false;
    }
    // The whole simulation state to and from a file (when paused); empty, or why not.
    virtual QString saveState(const QString& path)
    {
        (void)path;
        return QStringLiteral("this simulator cannot save its state");
    }
    virtual QString loadState(const QString& path)
    {
        (void)path;
        return QStringLiteral("this simulator cannot load a state");
    }

    virtual void write(Memory memory, unsigned address, uint8_t value) = 0;
    virtual void setPin(unsigned port, unsigned bit, bool high) = 0;
    virtual void sendSerial(const QByteArray& bytes) = 0;
    virtual void read(Memory memory, unsigned address, unsigned count,
                      std::function<void(std::optional<std::vector<uint8_t>>)> done) = 0;

signals:
    void stateChanged(SimulatorBackend::State state);
    void stopped(SimulatorBackend::StopCause cause);
    void failed(const QString& message);
    void serialReceived(const QByteArray& bytes);
    // A byte the board received was lost: the program had not taken the one
    // before (RI still set), as on a real UART.
    void serialLost(uint8_t byte);
};

} // namespace m51dbg
