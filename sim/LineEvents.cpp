// The receiver and the outside line between the events of a frame. While a
// frame comes in on RXD, the timer that clocks the receiver says at which
// cycle each of its samples falls, and the line's bits say what it reads
// there: the run loop need only stop where the answer depends on the
// instruction the sample falls in (a bit edge within its reach), where the
// frame ends (RI, SBUF, a lost byte), where a start bit turns out false, and
// where the line changes for someone who looks (a listener that follows the
// line, a receiver waiting for a start bit) or begins its next frame. Everything between is
// brought up to date in one go (lagged()), each sample at its own cycle.

#include "sim/Machine.h"

#include "sim/Sfr.h"

#include <algorithm>
#include <cmath>

namespace sim {

using namespace sfr;

#define SFR(a) m_s.sfr[(a) - 0x80]

namespace {

// A double holding a whole number below 2^52, as that number.
bool whole(double value, uint64_t& number)
{
    if (!(value >= 0 && value < 4503599627370496.0))
        return false;
    number = static_cast<uint64_t>(value);
    return static_cast<double>(number) == value;
}

}  // namespace

bool Machine::lineWhole(uint64_t& from, uint64_t& each) const
{
    each = m_lineEach;
    return each && whole(m_s.lineNext, from);
}

void Machine::lineRate()
{
    if (!whole(m_s.lineBitCycles, m_lineEach))
        m_lineEach = 0;
}

// The first cycle from which the line's frame is at bit `bit` or beyond, as
// lineAdvance() works the bit out from the cycle count (so that rounding
// falls the same way). With a whole number of cycles a bit from a whole
// cycle on (the usual bit rates at the usual crystals), the quotient of two
// whole numbers below 2^53 lands on the same side of each whole number as
// the exact one: the bit starts a whole number of bits on.
uint64_t Machine::lineBitStart(unsigned bit) const
{
    uint64_t from, each;
    if (lineWhole(from, each))
        return from + bit * each;
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

// RXD as the receiver of a framed mode sees it while the line's frame goes
// on: where each of its bits starts, and the level over a stretch of cycles.
struct RxdView {
    int fixed = -1;            // a level that never changes here (held low, no line), or -1
    unsigned bits = 0;         // the line's frame: its bits, their levels, where each starts
    uint32_t levels = 0;
    uint64_t starts[17] = {};  // starts[bits]: past the stop bit
    bool more = false;         // bytes wait: the next frame starts at the end of an instruction
    unsigned cursor = 0;       // the bit where the last stretch began

    // The level from cycle `from` to cycle `to` (rising from call to call),
    // or -1 when it changes between them or is not known yet.
    int over(uint64_t from, uint64_t to)
    {
        if (fixed >= 0)
            return fixed;
        if (to >= starts[bits] && more)
            return -1;
        while (cursor < bits && from >= starts[cursor + 1])
            ++cursor;
        unsigned last = cursor;
        while (last < bits && to >= starts[last + 1])
            ++last;
        // after the stop bit the line idles high
        const uint32_t all = levels | ~((1u << bits) - 1);
        const uint32_t mask = (2u << (last - cursor)) - 1;
        const uint32_t span = (all >> cursor) & mask;
        return span == 0 ? 0 : span == mask ? 1 : -1;
    }
};

// Cycles from now to the receiver's next sample that is to be taken as a
// step's (limit or more: none before limit): the one that ends the frame, a
// start bit found high, or one whose level depends on where the instruction
// it falls in ends. Any other sample reads the same level at the end of
// whatever instruction it falls in: the levels of those before the event
// are kept for lagged() (m_lumpLevels).
uint64_t Machine::rxEventCycles(uint64_t limit)
{
    const bool real = m_board.serial == SerialLine::RealLine;
    const unsigned first = 8u + 16u * m_s.rxBits - m_s.rxTicks;
    TickLine clock;
    if (!serialClockLine(false, clock))
        return UINT64_MAX;
    if (real && m_s.lineBitCycles <= 0)
        return clock.at(first);  // the line moves tick by tick
    RxdView rxd;
    if (!(SFR(P3) & m_s.drive[3] & 1))
        rxd.fixed = 0;  // held low by the latch or from outside
    else if (!real || (!m_s.lineActive && m_rxQueue.empty()))
        rxd.fixed = 1;
    else if (!m_s.lineActive)
        return clock.at(first);
    else {
        rxd.bits = m_s.lineBits;
        rxd.levels = m_s.lineShift;
        rxd.more = !m_rxQueue.empty();
        uint64_t from, each;
        const bool wholeBits = lineWhole(from, each);
        for (unsigned bit = 1; bit <= rxd.bits; ++bit)
            rxd.starts[bit] = wholeBits ? from + bit * each : lineBitStart(bit);
    }
    const unsigned frameBits = (SFR(SCON) >> 6) == 1 ? 10 : 11;
    const unsigned reach = longestStep() - 1;
    // from sample to sample without dividing: 16 ticks are `stride` cycles and `part` divisors on
    const uint64_t step = static_cast<uint64_t>(16 * clock.per);
    const uint64_t stride = step / clock.divisor, part = step % clock.divisor;
    const uint64_t numerator = static_cast<uint64_t>(clock.base + int64_t{first} * clock.per);
    uint64_t t = numerator / clock.divisor, rest = numerator % clock.divisor;
    for (unsigned bit = m_s.rxBits; bit < frameBits; ++bit) {
        if (bit != m_s.rxBits) {
            t += stride;
            rest += part;
            if (rest >= static_cast<uint64_t>(clock.divisor))
                ++t, rest -= clock.divisor;
        }
        if (t >= limit || bit + 1 == frameBits)
            return t;
        const uint64_t at = m_s.cycles + t;
        const int level = rxd.over(at, at + reach);
        if (level < 0 || (bit == 0 && level) || m_planned == sizeof m_lumpLevels)
            return t;
        m_lumpLevels[m_planned++] = static_cast<uint8_t>(level);
    }
    return limit;
}

// Cycles from now to the line's next event at a fixed bit rate: the end of
// its frame while more bytes wait (the next starts at the end of that
// instruction), and, for a listener that follows the line or a receiver
// waiting for a start bit, its next change of level.
uint64_t Machine::lineEventCycles(bool idleReceiver) const
{
    const uint64_t now = m_s.cycles;
    const uint64_t end = lineBitStart(m_s.lineBits);
    uint64_t at = m_rxQueue.empty() ? UINT64_MAX : end;
    if (m_followLine || idleReceiver) {
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
        m_listener->lineMoved(m_s.cycles, now);
}

}  // namespace sim
