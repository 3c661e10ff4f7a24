// The built-in simulator's way back: stepping back a line, continuing in
// reverse to a breakpoint or a watched byte's change, and the machine state
// saved to and loaded from a file.

#include "debugger/CoreBackend.h"

#include "debugger/CoreSpaces.h"
#include "insight/LineBack.h"
#include "insight/StateFile.h"

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

std::optional<uint64_t> CoreBackend::previousLineStart() const
{
    return insight::PreviousLineStart(*m_history, *m_core, m_program.lineTable(), m_program.map);
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
