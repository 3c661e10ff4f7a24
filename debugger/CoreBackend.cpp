#include "debugger/CoreBackend.h"

#include "debugger/CoreSpaces.h"
#include "debugger/SerialBridge.h"


#include <QMetaObject>

#include <algorithm>

namespace m51dbg {

namespace {

// One slice of the run lasts about this long: the longest a Stop waits.
constexpr qint64 SliceNs = 500'000;
constexpr uint64_t BudgetMin = 1000, BudgetMax = 4'000'000;
// Step Back reaches this many instructions at least. A snapshot (some 130 KB)
// every 16,384 steps keeps a free run's copying small; going back replays at
// most that many steps, well under a millisecond.
constexpr uint64_t HistoryDepth = 100'000, CheckpointInterval = 16'384;

} // namespace

CoreBackend::CoreBackend(QObject* parent) : SimulatorBackend(parent)
{
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, &CoreBackend::slice);
}

CoreBackend::~CoreBackend()
{
    blockSignals(true);
    shutdown();
}

void CoreBackend::start(const Program& program, const EngineOptions& options, SerialBridge* serial)
{
    shutdown();
    m_program = program;
    const sim::Chip* chip = sim::findChip(options.cpuType.toStdString());
    if (!chip) {
        QStringList names;
        for (const std::string& name : sim::chipNames())
            names << QString::fromStdString(name);
        fail(QStringLiteral("Unknown 8051 type \"%1\"; the simulator knows %2.")
                 .arg(options.cpuType, names.join(QStringLiteral(", "))));
        return;
    }
    sim::Board board;
    board.crystalHz = options.crystalHz;
    board.xramSize = options.xramSize;
    board.serial = options.realLine ? sim::SerialLine::RealLine : sim::SerialLine::Ideal;
    board.lineBaud = options.lineBaud;
    m_core = std::make_unique<sim::Machine>(*chip, board);
    m_core->loadCode(m_program.code.data(), m_program.code.size());
    m_core->reset();
    m_history = std::make_unique<insight::History>(*m_core, HistoryDepth, CheckpointInterval);
    m_history->setListener(this);
    m_stepper = std::make_unique<insight::LineStepper>(*m_history, *m_core);
    m_stepper->setProgram(m_program.lineTable(), m_program.map);
    m_boardBehind = false;
    for (uint16_t address : m_breakpoints)
        m_core->setCodeBreakpoint(address, true);
    m_pins.fill(0xFF);
    m_instructionsRun = 0;
    m_budget = 20000;
    m_realTime = options.realTime;
    if (serial && serial->isOpen()) {
        m_serial = serial;
        m_serial->setBoardOutside(false);
        connect(m_serial, &SerialBridge::typed, this, &CoreBackend::sendSerial);
    }
    setState(State::Starting);
    finish(StopCause::Started);
}

void CoreBackend::shutdown()
{
    ++m_session;
    m_sliceTimer.stop();
    if (m_serial)
        m_serial->disconnect(this);  // the engine's, kept for the next session
    m_serial = nullptr;
    m_stepper.reset();
    m_history.reset();
    m_core.reset();
    m_sent.clear();
    m_operation = Operation::None;
    m_stopRequested = m_resetRequested = false;
    if (m_state != State::Failed)
        setState(State::Off);
}

void CoreBackend::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void CoreBackend::fail(const QString& message)
{
    m_sliceTimer.stop();
    m_operation = Operation::None;
    // Reported later, like every other answer: the caller connects after start().
    const unsigned session = ++m_session;
    QMetaObject::invokeMethod(this, [this, session, message] {
        if (session != m_session)
            return;
        setState(State::Failed);
        emit failed(message);
    }, Qt::QueuedConnection);
}

// ---- serial line ----

void CoreBackend::serialSent(uint64_t, uint8_t byte) { m_sent.append(static_cast<char>(byte)); }

void CoreBackend::serialLost(uint64_t, uint8_t byte)
{
    m_lost.push_back(byte);  // reported after the slice, with the bytes the program sent
}

void CoreBackend::flushSerial()
{
    if (!m_sent.isEmpty()) {
        const QByteArray bytes = std::exchange(m_sent, {});
        if (m_serial)
            m_serial->deliver(bytes);
        emit serialReceived(bytes);
    }
    for (const uint8_t byte : std::exchange(m_lost, {}))
        emit SimulatorBackend::serialLost(byte);
}

void CoreBackend::sendSerial(const QByteArray& bytes)
{
    if (m_core && !bytes.isEmpty())
        m_history->sendSerial(bytes.toStdString());
}

// ---- machine state ----

// Coverage and profile: the history makes every new step through the recorder.
void CoreBackend::setRecorder(insight::Recorder* recorder)
{
    if (m_history)
        m_history->setRecorder(recorder);
}

void CoreBackend::capture()
{
    for (unsigned i = 0; i < 256; ++i)
        m_machine.iram[i] = m_core->read(sim::Space::Iram, i);
    for (unsigned i = 0; i < 128; ++i)
        m_machine.sfr[i] = m_core->read(sim::Space::Sfr, 0x80 + i);
    m_machine.pc = m_core->pc();
    m_machine.ticks = m_core->cycles() * 12;
}

void CoreBackend::finish(StopCause cause)
{
    m_sliceTimer.stop();
    m_operation = Operation::None;
    m_stopRequested = false;
    if (m_resetRequested) {
        m_resetRequested = false;
        resetMachine();
        cause = StopCause::Reset;
    }
    if (m_history->replaying() || m_boardBehind)
        showPinsToBoard();
    flushSerial();
    capture();
    report(cause);
}

void CoreBackend::report(StopCause cause)
{
    const unsigned session = m_session;
    QMetaObject::invokeMethod(this, [this, session, cause] {
        if (session != m_session || !m_core)
            return;
        setState(State::Paused);
        emit stopped(cause);
    }, Qt::QueuedConnection);
}

void CoreBackend::read(Memory memory, unsigned address, unsigned count,
                       std::function<void(std::optional<std::vector<uint8_t>>)> done)
{
    if (count == 0 || m_state != State::Paused || address + count > SpaceSize(memory)) {
        done(std::nullopt);
        return;
    }
    std::vector<uint8_t> bytes(count);
    for (unsigned i = 0; i < count; ++i)
        bytes[i] = m_core->read(CoreSpace(memory), address + i);
    done(bytes);
}

void CoreBackend::write(Memory memory, unsigned address, uint8_t value)
{
    if ((m_state != State::Paused && m_state != State::Running) || address >= SpaceSize(memory))
        return;
    m_history->write(CoreSpace(memory), address, value);
    if (memory == Memory::Code && address < m_program.code.size()) {
        m_program.code[address] = value;
        m_stepper->codeChanged(uint16_t(address));
    }
    if (m_state == State::Paused) {
        capture();
        report(StopCause::Changed);
    }
}

void CoreBackend::setPin(unsigned port, unsigned bit, bool high)
{
    if (m_state != State::Paused && m_state != State::Running)
        return;
    port &= 3;
    const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
    m_pins[port] = high ? (m_pins[port] | mask) : (m_pins[port] & ~mask);
    // High from outside is the pull-up's level: the latch decides, as on s51.
    m_history->drivePin(port, bit & 7, high ? -1 : 0);
    if (m_state == State::Paused) {
        capture();
        report(StopCause::Changed);
    }
}

void CoreBackend::setBreakpoints(const std::set<uint16_t>& addresses)
{
    for (uint16_t address : m_breakpoints) {
        m_isBreakpoint.set(address, false);
        if (m_core)
            m_core->setCodeBreakpoint(address, false);
    }
    m_breakpoints = addresses;
    for (uint16_t address : m_breakpoints) {
        m_isBreakpoint.set(address, true);
        if (m_core)
            m_core->setCodeBreakpoint(address, true);
    }
    if (m_stepper)
        m_stepper->breakpointsChanged();
}

// ---- execution ----

bool CoreBackend::breakpointStops(uint16_t address)
{
    if (!m_breakFilter)
        return true;
    const ByteReader read = [this](WatchSpace space, unsigned a) -> uint8_t {
        switch (space) {
        case WatchSpace::Iram: return m_core->read(sim::Space::Iram, a & 0xFF);
        case WatchSpace::Sfr: return m_core->read(sim::Space::Sfr, a);
        case WatchSpace::Xram: return m_core->read(sim::Space::Xram, a & 0xFFFF);
        case WatchSpace::Code: return m_core->read(sim::Space::Code, a & 0xFFFF);
        }
        return 0;
    };
    return m_breakFilter(address, read, m_core->pc());
}

void CoreBackend::begin(Operation operation, uint64_t limit)
{
    m_operation = operation;
    m_stopRequested = false;
    m_limit = limit;
    m_done = 0;
    m_first = true;
    setState(State::Running);
    setRealTime(m_realTime);  // the pace counts from here
    m_sliceTimer.start();
}

void CoreBackend::setRealTime(bool on)
{
    m_realTime = on;
    m_realClock.start();
    m_realStart = m_core ? m_core->cycles() : 0;
    // In real time most slices find little to do: no need to spin.
    m_sliceTimer.setInterval(on ? 1 : 0);
}

void CoreBackend::run(uint64_t instructionLimit)
{
    if (m_state == State::Paused)
        begin(Operation::Run, instructionLimit);
}

void CoreBackend::stop()
{
    if (m_state == State::Running && m_operation != Operation::None)
        finish(StopCause::UserStop);
}

void CoreBackend::reset()
{
    if (m_state == State::Running) {
        if (m_operation != Operation::None) {
            m_resetRequested = true;
            finish(StopCause::Reset);
        } else {
            // A stop is on its way to the caller; the reset follows it.
            resetMachine();
            capture();
            report(StopCause::Reset);
        }
        return;
    }
    if (m_state != State::Paused)
        return;
    resetMachine();
    setState(State::Running);
    finish(StopCause::Reset);
}

void CoreBackend::stepInstruction()
{
    if (m_state != State::Paused)
        return;
    setState(State::Running);
    const uint64_t before = m_core->instructions();
    stepMachine();
    m_instructionsRun += m_core->instructions() - before;
    finish(StopCause::StepDone);
}

void CoreBackend::stepLine()
{
    if (m_state != State::Paused)
        return;
    m_stepper->begin(insight::LineStepper::Mode::Over);
    begin(Operation::StepLine);
}

void CoreBackend::stepInto()
{
    if (m_state != State::Paused)
        return;
    const toolchain::LineTable& lines = m_program.lineTable();
    if (lines.empty()) {
        stepInstruction();
        return;
    }
    m_stepper->begin(insight::LineStepper::Mode::Into);
    begin(Operation::StepInto);
}

void CoreBackend::stepOut()
{
    if (m_state != State::Paused)
        return;
    // At a return instruction the stepper makes that one step.
    m_stepper->begin(insight::LineStepper::Mode::Out);
    begin(Operation::StepOut);
}

void CoreBackend::runTo(uint16_t address)
{
    if (m_state != State::Paused)
        return;
    m_stepper->begin(insight::LineStepper::Mode::To, address);
    begin(Operation::RunTo);
}

void CoreBackend::slice()
{
    if (m_operation == Operation::None || !m_core) {
        m_sliceTimer.stop();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    if (m_operation == Operation::Run && m_limit == 0) {
        if (!runFreely())
            return;
    } else if (m_operation != Operation::Run) {
        if (!stepByLines())
            return;
    } else {
        for (unsigned n = 1;; ++n) {
            if (const auto cause = stepOnce()) {
                finish(*cause);
                return;
            }
            if ((n & 255) == 0 && clock.nsecsElapsed() > SliceNs)
                break;
        }
    }
    flushSerial();
}

// The budget of the next slice, from how long this one's took.
void CoreBackend::FitBudget(uint64_t& budget, qint64 ns)
{
    if (ns < SliceNs / 2)
        budget = std::min(BudgetMax, budget * 2);
    else if (ns > SliceNs)
        budget = std::max(BudgetMin, budget / 2);
}

// A slice of stepping over, into or out, or of running to the caret; false when it is over.
bool CoreBackend::stepByLines()
{
    QElapsedTimer clock;
    clock.start();
    const uint64_t before = m_core->instructions();
    const auto outcome = m_stepper->advance(m_stepBudget, m_isBreakpoint.bytes(),
                                            [this](uint16_t address) { return breakpointStops(address); });
    m_instructionsRun += m_core->instructions() - before;
    using Outcome = insight::LineStepper::Outcome;
    switch (outcome) {
    case Outcome::Going:
        FitBudget(m_stepBudget, clock.nsecsElapsed());
        return true;
    case Outcome::Done:
        finish(StopCause::StepDone);
        break;
    case Outcome::Breakpoint:
        finish(StopCause::Breakpoint);
        break;
    case Outcome::PowerDown:  // nothing runs any more
        finish(StopCause::UserStop);
        break;
    }
    return false;
}

// A run without an instruction limit: the core runs at full speed with the
// breakpoints set in it, for a budget of cycles sized to the slice.
bool CoreBackend::runFreely()
{
    uint64_t budget = m_budget;
    if (m_realTime) {  // the cycles the crystal has made since the pace began, less those run
        const double perSecond = m_core->board().crystalHz / 12.0;
        const uint64_t due = m_realStart + static_cast<uint64_t>(static_cast<double>(m_realClock.nsecsElapsed()) * 1e-9 * perSecond);
        const uint64_t now = m_core->cycles();
        if (due <= now)
            return true;
        // A host too slow for the chip, or held up for more than 20 ms: no
        // racing to catch up, the pace counts again from now.
        if (due - now > static_cast<uint64_t>(perSecond / 50)) {
            m_realClock.start();
            m_realStart = now;
        }
        budget = std::min(due - now, m_budget);
    }
    QElapsedTimer clock;
    clock.start();
    const uint64_t before = m_core->instructions();
    const uint64_t end = m_core->cycles() + budget;
    // Every step through the history. A breakpoint counts before an
    // instruction, except the run's very first (a slice may end right at one).
    sim::Stop stop = m_history->run(budget, m_isBreakpoint, !std::exchange(m_first, false));
    // A breakpoint whose condition does not hold: on past it, within the same budget.
    while (stop == sim::Stop::Breakpoint && !breakpointStops(m_core->pc()))
        stop = m_core->cycles() < end ? m_history->run(end - m_core->cycles(), m_isBreakpoint, false)
                                      : sim::Stop::CycleLimit;
    m_instructionsRun += m_core->instructions() - before;
    if (stop == sim::Stop::CycleLimit) {
        if (!m_realTime)
            FitBudget(m_budget, clock.nsecsElapsed());
        return true;
    }
    finish(stop == sim::Stop::Breakpoint ? StopCause::Breakpoint : StopCause::UserStop);
    return false;
}

// One instruction of a run for a number of instructions; the stop cause when
// it is over. A breakpoint counts before an instruction, except the run's first.
std::optional<SimulatorBackend::StopCause> CoreBackend::stepOnce()
{
    const uint16_t pc = m_core->pc();
    if (!std::exchange(m_first, false) && m_isBreakpoint[pc] && breakpointStops(pc))
        return StopCause::Breakpoint;
    if (m_done >= m_limit)
        return StopCause::StepLimit;
    const uint64_t before = m_core->instructions();
    stepMachine();
    m_instructionsRun += m_core->instructions() - before;
    ++m_done;
    if (m_core->poweredDown())  // nothing runs any more
        return StopCause::UserStop;
    return std::nullopt;
}

} // namespace m51dbg
