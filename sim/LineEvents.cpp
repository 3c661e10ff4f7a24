// The receiver and the outside line between the events of a frame. While a
// frame comes in on RXD, the timer that clocks the receiver says at which
// cycle each of its samples falls, and the line's bits say what it reads
// there: the run loop need only stop where the answer depends on the
// instruction the sample falls in (a bit edge within its reach), where the
// frame ends (RI, SBUF, a lost byte), where a start bit turns out false, and
// where the line changes for someone who looks (a listener, a receiver
// waiting for a start bit) or begins its next frame. Everything between is
// brought up to date in one go (lagged()), each sample at its own cycle.

#include "sim/Machine.h"

#include "sim/Sfr.h"

#include <algorithm>
#include <cmath>

namespace sim {

using namespace sfr;

#define SFR(a) m_s.sfr[(a) - 0x80]

// The first cycle from which the line's frame is at bit `bit` or beyond, as
// lineAdvance() works the bit out from the cycle count (so that rounding
// falls the same way).
uint64_t Machine::lineBitStart(unsigned bit) const
{
    const double next = m_s.lineNext, width = m_s.lineBitCycles;
    auto index = [&](uint64_t cycle) { return std::floor((static_cast<double>(cycle) - next) / width); };
    const double guess = std::ceil(next + bit * width);
    uint64_t cycle = guess > 0 ? static_cast<uint64_t>(guess) : 0;
    while (cycle > 0 && index(cycle - 1) >= bit)
        --cycle;
    while (index(cycle) < bit)
        ++cycle;
    return cycle;
}

// The first cycle past the line's frame (its stop bit's end).
uint64_t Machine::lineFrameEnd() const
{
    return lineBitStart(m_s.lineBits);
}

// The level of RXD from cycle `from` to cycle `to` as the receiver of a
// framed mode sees it, or -1 when it changes between them or is not known yet
// (a next frame that starts only at the end of the instruction that ends
// this one). frameEnd: lineFrameEnd() while the line is at a fixed rate.
int Machine::rxdOver(uint64_t from, uint64_t to, uint64_t frameEnd) const
{
    if (!(SFR(P3) & m_s.drive[3] & 1))
        return 0;  // held low by the latch or from outside
    if (m_board.serial != SerialLine::RealLine)
        return 1;
    if (!m_s.lineActive)
        return m_rxQueue.empty() ? 1 : -1;
    if (to >= frameEnd && !m_rxQueue.empty())
        return -1;
    auto bitAt = [&](uint64_t cycle) -> unsigned {
        if (cycle >= frameEnd)
            return m_s.lineBits;
        const double k = std::floor((static_cast<double>(cycle) - m_s.lineNext) / m_s.lineBitCycles);
        return static_cast<unsigned>(std::max(k, 0.0));
    };
    const unsigned first = bitAt(from), last = bitAt(to);
    // after the stop bit the line idles high
    const uint32_t levels = m_s.lineShift | ~((1u << m_s.lineBits) - 1);
    const uint32_t mask = (2u << (last - first)) - 1;
    const uint32_t span = (levels >> first) & mask;
    return span == 0 ? 0 : span == mask ? 1 : -1;
}

// Cycles from now to the receiver's next sample that is to be taken as a
// step's (limit or more: none before limit): the one that ends the frame, a
// start bit found high, or one whose level depends on where the instruction
// it falls in ends. Any other sample reads the same level at the end of
// whatever instruction it falls in: the levels of those before the event
// are kept for lagged() (m_lumpLevels).
uint64_t Machine::rxEventCycles(uint64_t limit)
{
    if (m_board.serial == SerialLine::RealLine && m_s.lineBitCycles <= 0)
        return serialTickCycles(false, 8u + 16u * m_s.rxBits - m_s.rxTicks);  // the line moves tick by tick
    const bool real = m_board.serial == SerialLine::RealLine;
    const unsigned frameBits = (SFR(SCON) >> 6) == 1 ? 10 : 11;
    const unsigned first = 8u + 16u * m_s.rxBits - m_s.rxTicks;
    const uint64_t frameEnd = real && m_s.lineActive ? lineFrameEnd() : UINT64_MAX;
    const unsigned reach = longestStep() - 1;
    for (unsigned bit = m_s.rxBits; bit < frameBits; ++bit) {
        const uint64_t t = serialTickCycles(false, first + 16 * (bit - m_s.rxBits));
        if (t >= limit || bit + 1 == frameBits)
            return t;
        const uint64_t at = m_s.cycles + t;
        const int level = rxdOver(at, at + reach, frameEnd);
        if (level < 0 || (bit == 0 && level) || m_planned == sizeof m_lumpLevels)
            return t;
        m_lumpLevels[m_planned++] = static_cast<uint8_t>(level);
    }
    return limit;
}

// Cycles from now to the line's next event at a fixed bit rate: the end of
// its frame while more bytes wait (the next starts at the end of that
// instruction), and, for a listener or a receiver waiting for a start bit,
// its next change of level.
uint64_t Machine::lineEventCycles(bool idleReceiver) const
{
    const uint64_t now = m_s.cycles;
    const uint64_t end = lineFrameEnd();
    uint64_t at = m_rxQueue.empty() ? UINT64_MAX : end;
    if (m_listener || idleReceiver) {
        const double k = std::floor((static_cast<double>(now) - m_s.lineNext) / m_s.lineBitCycles);
        const unsigned bit = static_cast<unsigned>(std::max(k, 0.0));
        const unsigned level = (m_s.lineShift >> bit) & 1;
        // the stop bit is high, and so is the idle line after it
        for (unsigned next = bit + 1; next < m_s.lineBits; ++next) {
            if (((m_s.lineShift >> next) & 1) != level) {
                at = std::min(at, lineBitStart(next));
                break;
            }
        }
    }
    return at == UINT64_MAX ? UINT64_MAX : at > now ? at - now : 0;
}

// The line moved RXD: reported when the pin's level changes. No other input
// is on it, so nothing else of the chip needs to look again.
void Machine::rxdMoved()
{
    const uint8_t now = pinLevels(3);
    if (now == m_s.pinsOut[3])
        return;
    m_s.pinsOut[3] = now;
    if (m_listener)
        m_listener->pinsChanged(m_s.cycles, 3, now);
}

}  // namespace sim
