// Stepping operations of the built-in backend. Running to the caret, stepping
// into and out of a procedure, and a call or interrupt handler met while
// stepping over a line run on the core's run loop, through the history, up
// to the next instruction at an address the operation looks at (its marks:
// the breakpoints, and the target, the line starts, the return instructions
// or the return address); there the operation decides whether it is over
// and, if not, runs on past that mark. Only the instructions of the line
// stepped over are made one at a time, to see the calls and interrupts among
// them as they come. A breakpoint counts before an instruction, except the
// operation's first.

#include "debugger/CoreBackend.h"

#include <QElapsedTimer>

#include <utility>

namespace m51dbg {

void CoreBackend::findPlaces()
{
    m_lineStarts.assign(0x10000, 0);
    for (const auto& [address, line] : m_program.lineTable().starts())
        m_lineStarts[address] = 1;
    m_returns.assign(0x10000, 0);
    for (size_t a = 0; a < m_program.code.size() && a < 0x10000; ++a)
        m_returns[a] = IsReturnOpcode(m_program.code[a]);
    m_marksValid = false;
}

void CoreBackend::buildMarks()
{
    m_marks = m_isBreakpoint;
    switch (m_operation) {
    case Operation::RunTo:
        m_marks[m_target] = 1;
        break;
    case Operation::StepInto:
        for (size_t a = 0; a < m_marks.size(); ++a)
            m_marks[a] |= m_lineStarts[a];
        if (m_ownLineAddress >= 0)  // the line's own start does not end the step
            m_marks[size_t(m_ownLineAddress)] = m_isBreakpoint[size_t(m_ownLineAddress)];
        break;
    case Operation::StepOut:
        for (size_t a = 0; a < m_marks.size(); ++a)
            m_marks[a] |= m_returns[a];
        break;
    case Operation::StepLine:
        if (m_through.active)
            m_marks[m_through.address] = 1;
        break;
    case Operation::Run:
    case Operation::None:
        break;
    }
    m_marksValid = true;
}

// Until a mark (Breakpoint), the slice's budget of cycles (CycleLimit) or a
// power-down. The instruction at the PC runs even when marked while m_first
// is set: the operation's first, or a mark that did not end it.
sim::Stop CoreBackend::runPiece()
{
    if (!m_marksValid)
        buildMarks();
    QElapsedTimer clock;
    clock.start();
    const uint64_t before = m_core->instructions();
    // Stopping as soon as the PC gets to a mark, as single steps do: an
    // interrupt due there is entered by the next step (the line it belongs to).
    const sim::Stop stop = m_history->run(m_budget, m_marks, !std::exchange(m_first, false), true);
    m_instructionsRun += m_core->instructions() - before;
    m_ranPiece = true;
    if (stop == sim::Stop::CycleLimit)
        fitBudget(clock.nsecsElapsed());
    return stop;
}

std::optional<SimulatorBackend::StopCause> CoreBackend::runOperation()
{
    const sim::Stop stop = runPiece();
    if (stop == sim::Stop::CycleLimit)
        return std::nullopt;
    if (stop != sim::Stop::Breakpoint)  // power-down: nothing runs any more
        return StopCause::UserStop;
    const uint16_t pc = m_core->pc();
    if (m_isBreakpoint[pc] && breakpointStops(pc))
        return StopCause::Breakpoint;
    switch (m_operation) {
    case Operation::RunTo:
        if (pc == m_target)
            return StopCause::StepDone;
        break;
    case Operation::StepInto:
        // The start of another line; code without lines (a library's) runs on.
        if (int(pc) != m_ownLineAddress && m_lineStarts[pc])
            return StopCause::StepDone;
        break;
    case Operation::StepOut:
        if (pc < m_program.code.size() && IsReturnOpcode(m_program.code[pc]) && sp() <= m_outSp) {
            stepMachine();
            ++m_instructionsRun;
            return StopCause::StepDone;
        }
        break;
    default:
        break;
    }
    m_first = true;
    return std::nullopt;
}

// A call (or interrupt handler) of the line stepped over, run to its return
// address with the stack back where it was (a recursive call of the same
// procedure comes back there with more on the stack, and runs on).
std::optional<SimulatorBackend::StopCause> CoreBackend::runThrough()
{
    const sim::Stop stop = runPiece();
    if (stop == sim::Stop::CycleLimit)
        return std::nullopt;
    if (stop != sim::Stop::Breakpoint)
        return StopCause::UserStop;
    const uint16_t pc = m_core->pc();
    if (m_isBreakpoint[pc] && breakpointStops(pc))
        return StopCause::Breakpoint;
    m_first = true;  // looked at: the walk goes on from here
    if (pc != m_through.address || sp() > m_through.sp)
        return std::nullopt;
    m_through.active = false;
    m_marksValid = false;
    if (m_walk.endsAt(pc))
        return StopCause::StepDone;
    return std::nullopt;
}

// One turn of a stepping operation; the stop cause when it is over.
std::optional<SimulatorBackend::StopCause> CoreBackend::stepOnce()
{
    switch (m_operation) {
    case Operation::RunTo:
    case Operation::StepInto:
    case Operation::StepOut:
        return runOperation();
    case Operation::StepLine:
        if (m_through.active)
            return runThrough();
        break;
    case Operation::Run:
    case Operation::None:
        break;
    }
    const uint16_t pc = m_core->pc();
    const bool first = std::exchange(m_first, false);
    if (!first && m_isBreakpoint[pc] && breakpointStops(pc))
        return StopCause::Breakpoint;
    switch (m_operation) {
    case Operation::Run:
        if (m_done >= m_limit)
            return StopCause::StepLimit;
        break;
    case Operation::StepLine:
        return walkStep();
    default:
        return StopCause::UserStop;
    }
    const uint64_t before = m_core->instructions();
    stepMachine();
    m_instructionsRun += m_core->instructions() - before;
    ++m_done;
    if (m_core->read(sim::Space::Sfr, 0x87) & 0x02)  // power-down: nothing runs any more
        return StopCause::UserStop;
    return std::nullopt;
}

// Stepping over a line walks its instructions one at a time until the program
// counter reaches the start of another line. A call is run through to its
// return address (with the stack back where it was), as is an interrupt taken
// on the way; a breakpoint on the way stops there.
std::optional<SimulatorBackend::StopCause> CoreBackend::walkStep()
{
    const uint16_t pc = m_core->pc();
    const uint8_t op = pc < m_program.code.size() ? m_program.code[pc] : 0;
    const uint8_t spBefore = sp();
    const std::optional<uint16_t> back = LineWalk::CallReturn(op, pc);
    const uint64_t before = m_core->instructions();
    stepMachine();
    m_instructionsRun += m_core->instructions() - before;
    const uint16_t now = m_core->pc();
    const uint8_t spNow = sp();
    if (LineWalk::EnteredInterrupt(op, spBefore, now, spNow)) {
        // The handler runs through; a breakpoint at its vector is looked at first.
        const uint16_t ret = static_cast<uint16_t>(m_core->read(sim::Space::Iram, spNow) << 8
                                                   | m_core->read(sim::Space::Iram, spNow - 1u));
        m_through = {true, ret, spBefore};
        m_marksValid = false;
        return std::nullopt;
    }
    if (m_isBreakpoint[now] && breakpointStops(now))
        return StopCause::Breakpoint;
    if (back) {
        m_through = {true, *back, spBefore};
        m_marksValid = false;
        m_first = true;  // the breakpoint where the call went was looked at just now
        return std::nullopt;
    }
    if (m_walk.endsAt(now))
        return StopCause::StepDone;
    return std::nullopt;
}

} // namespace m51dbg
