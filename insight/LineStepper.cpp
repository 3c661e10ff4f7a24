#include "insight/LineStepper.h"

#include <algorithm>
#include <utility>

namespace insight {

using m51dbg::IsReturnOpcode;
using m51dbg::LineWalk;

void LineStepper::setProgram(const toolchain::LineTable& lines, const toolchain::SourceMap& map)
{
    m_lines = &lines;
    m_map = &map;
    LineWalk walk;
    walk.begin(lines, map, 0);
    std::fill(m_lineStarts.begin(), m_lineStarts.end(), 0);
    if (walk.bySource()) {
        for (const auto& [address, line] : lines.starts())
            m_lineStarts[address] = 1;
    } else {
        for (unsigned a = 0; a < 0x10000; ++a)
            m_lineStarts[a] = walk.isLineStart(uint16_t(a), nullptr);
    }
    for (unsigned a = 0; a < 0x10000; ++a)
        codeChanged(uint16_t(a));
}

void LineStepper::codeChanged(uint16_t address)
{
    const uint8_t op = codeAt(address);
    m_returns[address] = IsReturnOpcode(op);
    m_calls[address] = m51dbg::IsCallOpcode(op);
    m_marksValid = false;
}

void LineStepper::begin(Mode mode, uint16_t target)
{
    const uint16_t pc = m_machine.pc();
    m_mode = mode;
    m_target = target;
    m_first = true;
    m_through = {};
    m_marksValid = false;
    m_outSp = sp();
    m_outNow = mode == Mode::Out && IsReturnOpcode(codeAt(pc));
    m_own = -1;
    if (!m_lines)
        return;
    m_walk.begin(*m_lines, *m_map, pc);
    // Stepping into goes on while the PC comes back to the part of the line it started in.
    const std::optional<uint16_t> own =
        m_walk.bySource() ? m_lines->startOf(pc) : m_walk.lineAddress(m_walk.line());
    m_own = own ? int(*own) : -1;
}

void LineStepper::buildMarks(const std::vector<uint8_t>& breakpoints)
{
    std::vector<uint8_t> marks = breakpoints;
    marks.resize(0x10000, 0);
    switch (m_mode) {
    case Mode::To:
        marks[m_target] = 1;
        break;
    case Mode::Into:
        for (size_t a = 0; a < marks.size(); ++a)
            marks[a] |= m_lineStarts[a];
        if (m_own >= 0)
            marks[size_t(m_own)] = breakpoints.size() > size_t(m_own) && breakpoints[size_t(m_own)];
        break;
    case Mode::Out:
        for (size_t a = 0; a < marks.size(); ++a)
            marks[a] |= m_returns[a];
        break;
    case Mode::Over:
        if (m_through.active) {
            marks[m_through.address] = 1;
            break;
        }
        // The other lines' starts, and the calls (made one at a time).
        for (size_t a = 0; a < marks.size(); ++a)
            marks[a] |= m_lineStarts[a] | m_calls[a];
        if (m_walk.bySource()) {
            for (const auto& [address, line] : m_lines->starts())
                if (line == m_walk.line())
                    marks[address] = m_calls[address] || (breakpoints.size() > address && breakpoints[address]);
        } else if (const auto own = m_walk.lineAddress(m_walk.line())) {
            marks[*own] = m_calls[*own] || (breakpoints.size() > *own && breakpoints[*own]);
        }
        break;
    }
    m_marks.assign(marks);
    m_marksValid = true;
}

LineStepper::Outcome LineStepper::advance(uint64_t cycleBudget, const std::vector<uint8_t>& breakpoints,
                                          const BreakpointTest& stops)
{
    if (m_outNow) {  // at the return instruction itself: out after it
        m_outNow = false;
        m_history.step();
        return m_machine.poweredDown() ? Outcome::PowerDown : Outcome::Done;
    }
    const uint64_t end = m_machine.cycles() + cycleBudget;
    while (m_machine.cycles() < end) {
        const std::optional<Outcome> outcome = singleStep() ? walkStep(breakpoints, stops)
                                                            : runPiece(end - m_machine.cycles(), breakpoints, stops);
        if (outcome)
            return *outcome;
    }
    return Outcome::Going;
}

// Stepping over a line, a call or an interrupt entry comes next: one step,
// to see where it returns to.
bool LineStepper::singleStep() const
{
    return m_mode == Mode::Over && !m_through.active &&
           (m_calls[m_machine.pc()] || m_machine.pendingInterrupt() >= 0);
}

// One step of the line stepped over.
std::optional<LineStepper::Outcome> LineStepper::walkStep(const std::vector<uint8_t>& breakpoints,
                                                          const BreakpointTest& stops)
{
    const uint16_t pc = m_machine.pc();
    if (!std::exchange(m_first, false) && breakpoints[pc] && stops(pc))
        return Outcome::Breakpoint;
    const uint8_t op = codeAt(pc);
    const uint8_t spBefore = sp();
    const std::optional<uint16_t> back = LineWalk::CallReturn(op, pc);
    m_history.step();
    if (m_machine.poweredDown())
        return Outcome::PowerDown;
    const uint16_t now = m_machine.pc();
    const uint8_t spNow = sp();
    if (LineWalk::EnteredInterrupt(op, spBefore, now, spNow)) {
        // The handler runs through; a breakpoint at its vector is looked at first.
        const uint16_t ret = static_cast<uint16_t>(m_machine.read(sim::Space::Iram, spNow) << 8
                                                   | m_machine.read(sim::Space::Iram, spNow - 1u));
        m_through = {true, ret, spBefore};
        m_marksValid = false;
        return std::nullopt;
    }
    if (breakpoints[now] && stops(now))
        return Outcome::Breakpoint;
    m_first = true;  // the breakpoint here was looked at just now
    if (back) {
        m_through = {true, *back, spBefore};
        m_marksValid = false;
        return std::nullopt;
    }
    if (m_walk.endsAt(now))
        return Outcome::Done;
    return std::nullopt;
}

// On the run loop to the next mark, and what the step makes of it.
std::optional<LineStepper::Outcome> LineStepper::runPiece(uint64_t cycleBudget, const std::vector<uint8_t>& breakpoints,
                                                          const BreakpointTest& stops)
{
    if (!m_marksValid)
        buildMarks(breakpoints);
    // Stopping as soon as the PC gets to a mark, as single steps do: an
    // interrupt due there is entered by the next step (the line it belongs to).
    const bool overLine = m_mode == Mode::Over && !m_through.active;
    const sim::Stop stop = m_history.run(cycleBudget, m_marks, !std::exchange(m_first, false),
                                         overLine ? History::Entries::StopBefore : History::Entries::MarksFirst);
    if (stop == sim::Stop::PowerDown)
        return Outcome::PowerDown;
    if (stop != sim::Stop::Breakpoint)
        return std::nullopt;
    const uint16_t pc = m_machine.pc();
    if (breakpoints[pc] && stops(pc))
        return Outcome::Breakpoint;
    m_first = true;  // looked at: on past it, unless the step is over here
    switch (m_mode) {
    case Mode::To:
        if (pc == m_target)
            return Outcome::Done;
        break;
    case Mode::Into:
        // The start of another line; code without lines (a library's) runs on.
        if (int(pc) != m_own && m_lineStarts[pc])
            return Outcome::Done;
        break;
    case Mode::Out:
        if (IsReturnOpcode(codeAt(pc)) && sp() <= m_outSp) {
            m_history.step();
            return m_machine.poweredDown() ? Outcome::PowerDown : Outcome::Done;
        }
        break;
    case Mode::Over:
        if (overLine) {  // another line's start ends the step; a call or an entry is a single step next
            if (m_walk.endsAt(pc))
                return Outcome::Done;
            break;
        }
        // Back from the call or handler with the stack where it was (a
        // recursive call comes back here with more on it, and runs on).
        if (pc == m_through.address && sp() <= m_through.sp) {
            m_through.active = false;
            m_marksValid = false;
            if (m_walk.endsAt(pc))
                return Outcome::Done;
        }
        break;
    }
    return std::nullopt;
}

} // namespace insight
