#pragma once
// The machine's clock and the pace of its peripherals: one comparison with
// m_dueAt tells the common step, where nothing is due; timers that only count
// towards an overflow whose flag is clear stay behind (lazy) until it is due
// or something looks at them. Inline for the core's sources that run
// instructions or touch the peripherals.

#include "sim/Machine.h"

namespace sim {

// The clock by n machine cycles: the peripherals only when one of them is
// busy, and while only the timers count towards an overflow whose flag is
// clear, not before that overflow is due (catchUp() brings them up to date
// before anything looks at them).
inline void Machine::tick(unsigned n)
{
    m_s.cycles += n;
    if (m_s.cycles >= m_dueAt)
        due(n);
}

[[gnu::noinline]] inline void Machine::due(unsigned n)
{
    if (!n)
        return;
    if (!m_lazy) {
        peripherals(n);
        return;
    }
    horizonReached(n);
}

inline void Machine::horizonReached(unsigned n)
{
    m_s.cycles -= n;
    lag();
    m_s.cycles += n;
    clockEachStep();
    peripherals(n);
}

inline void Machine::catchUp()
{
    if (lag())
        schedule();
}

inline bool Machine::lag()
{
    if (!m_lazy || m_s.cycles == m_lagFrom)
        return false;
    lagged(static_cast<unsigned>(m_s.cycles - m_lagFrom));
    return true;
}

inline void Machine::clockEachStep()
{
    m_lazy = false;
    m_busy = true;
    m_dueAt = 0;
    lookNow();
}

inline void Machine::changing()
{
    lag();
    clockEachStep();
}

inline void Machine::peripherals(unsigned n)
{
    advance(n);
    schedule();
}

}  // namespace sim
