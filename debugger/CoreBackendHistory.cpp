// The built-in simulator's way back: stepping back a line, continuing in
// reverse to a breakpoint or a watched byte's change, and the machine state
// saved to and loaded from a file.

#include "CoreBackend.h"

#include "CoreSpaces.h"
#include "StateFile.h"

namespace m51dbg {

unsigned CoreBackend::stepMachine() { return m_history->step(); }

void CoreBackend::resetMachine()
{
    m_core->reset();
    m_history->clear();  // the reset is the new beginning
}

bool CoreBackend::canStepBack() const
{
    return m_history && m_state == State::Paused && m_history->position() > m_history->oldest();
}

// The board is shown the pins of the step the machine is at; what it drives
// in answer is not an input of the past, so the machine's drives stay as
// recorded. Back at the newest step its answer counts again.
void CoreBackend::showPinsToBoard()
{
    m_boardBehind = m_history->replaying();
    if (!m_pinListener)
        return;
    uint8_t drives[4];
    for (unsigned p = 0; p < 4; ++p)
        drives[p] = m_core->outsideDrive(p);
    for (unsigned p = 0; p < 4; ++p)
        m_pinListener->pinsChanged(m_core->cycles(), p, m_core->pins(p));
    if (!m_boardBehind)
        return;
    for (unsigned p = 0; p < 4; ++p)
        for (unsigned b = 0; b < 8; ++b)
            if ((m_core->outsideDrive(p) ^ drives[p]) & (1u << b))
                m_core->drivePin(p, b, drives[p] & (1u << b) ? -1 : 0);
}

// The step at which the line run before began (or, in the middle of a line,
// this one), walking back over the recorded steps. As stepping over a line,
// calls and interrupt handlers count as part of the line they came from: the
// call depth is followed back through calls, returns and interrupt entries.
std::optional<uint64_t> CoreBackend::previousLineStart() const
{
    LineWalk walk;
    walk.begin(m_program.lineTable(), m_program.map, m_core->pc());
    auto lineOf = [&walk](uint16_t pc) { return walk.lineAt(pc); };
    using Kind = insight::History::Traced::Kind;
    int depth = 0;  // before the step looked at, relative to now
    std::optional<toolchain::SourceLine> line;
    int lineDepth = 0;
    std::optional<uint64_t> start;
    for (uint64_t q = m_history->position(); q > m_history->oldest(); --q) {
        const auto step = m_history->traced(q - 1);
        if (!step)
            break;
        const uint8_t op = m_core->read(sim::Space::Code, step->pc);
        if (step->kind == Kind::InterruptEntry || (step->kind == Kind::Instruction && IsCallOpcode(op)))
            --depth;
        else if (step->kind == Kind::Instruction && IsReturnOpcode(op))
            ++depth;
        if (!line) {
            if (step->kind != Kind::Instruction || depth > 0)
                continue;  // in a handler or procedure that has returned since
            line = lineOf(step->pc);
            lineDepth = depth;
            start = q - 1;
            continue;
        }
        if (depth > lineDepth)
            continue;
        // Interrupts taken and idle time right before the line belong to it,
        // as stepping over the line from its start runs them through.
        if (step->kind != Kind::Instruction) {
            if (depth == lineDepth)
                start = q - 1;
            continue;
        }
        if (depth < lineDepth || lineOf(step->pc) != *line)
            break;
        start = q - 1;
    }
    return start;
}

void CoreBackend::stepBack()
{
    if (!canStepBack())
        return;
    const std::optional<uint64_t> start = previousLineStart();
    if (!start || !m_history->goTo(*start))
        return;
    setState(State::Running);
    finish(StopCause::StepDone);
}

bool CoreBackend::reverseContinue(const std::vector<WatchedByte>& watches)
{
    if (!canStepBack())
        return false;
    std::vector<insight::History::Watch> watched;
    for (const WatchedByte& w : watches)
        if (w.address < SpaceSize(w.memory))
            watched.push_back({CoreSpace(w.memory), w.address});
    const std::vector<uint16_t> breakpoints(m_breakpoints.begin(), m_breakpoints.end());
    const bool found = m_history->reverseContinue(breakpoints, watched);
    if (!found)
        m_history->goTo(m_history->oldest());
    setState(State::Running);
    finish(found ? StopCause::Breakpoint : StopCause::StepDone);
    return found;
}

QString CoreBackend::saveState(const QString& path)
{
    if (m_state != State::Paused)
        return QStringLiteral("the program runs: stop it first");
    return QString::fromStdString(insight::SaveStateFile(path.toStdString(), *m_core));
}

// A state of another build would run code the source does not describe:
// only the program being debugged (with the changes made to its code since) loads.
QString CoreBackend::loadState(const QString& path)
{
    if (m_state != State::Paused)
        return QStringLiteral("the program runs: stop it first");
    const sim::Snapshot before = m_core->snapshot();
    if (const std::string why = insight::LoadStateFile(path.toStdString(), *m_core); !why.empty())
        return QString::fromStdString(why);
    for (size_t a = 0; a < m_program.code.size() && a < 0x10000; ++a) {
        if (m_core->read(sim::Space::Code, static_cast<unsigned>(a)) != m_program.code[a]) {
            m_core->restore(before);
            return QStringLiteral("the state is of another program (its code differs from this build)");
        }
    }
    m_history->clear();
    for (unsigned p = 0; p < 4; ++p)
        m_pins[p] = m_core->outsideDrive(p);
    showPinsToBoard();
    capture();
    report(StopCause::Changed);
    return {};
}

} // namespace m51dbg
