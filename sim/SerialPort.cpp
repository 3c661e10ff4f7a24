// The UART in modes 0-3 and the outside serial line: bytes shifted in on RXD
// bit by bit at the line's rate (or handed to SBUF in the ideal mode) and
// frames decoded from TXD.

#include "sim/Clocking.h"
#include "sim/Machine.h"

#include "sim/Sfr.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace sim {

using namespace sfr;

#define SFR(a) m_s.sfr[(a) - 0x80]

namespace {

bool parityBit(uint8_t byte, char parity)
{
    const bool odd = std::popcount(static_cast<unsigned>(byte)) & 1;
    switch (parity) {
    case 'E': case 'e': return odd;
    case 'O': case 'o': return !odd;
    case 'M': case 'm': return true;
    default: return false;
    }
}

}  // namespace

// Timer 1 overflows drive the 16x clock of the directions timer 2 does not:
// one tick each with SMOD set, one tick every two overflows without.
void Machine::serialClock(unsigned overflows)
{
    const uint8_t scon = SFR(SCON);
    const uint8_t mode = scon >> 6;
    if (mode != 1 && mode != 3)
        return;
    // Idle UART, idle line: nothing to clock (the transmitter's divider phase
    // is left where it is).
    if (!m_s.txActive && !m_s.rxActive && !(scon & REN) && !m_s.lineActive)
        return;
    unsigned ticks = overflows;
    if (!(SFR(PCON) & SMOD)) {
        const unsigned total = overflows + m_s.serialDiv;
        ticks = total / 2;
        m_s.serialDiv = total & 1;
    }
    if (!ticks)
        return;
    const uint8_t t2con = m_chip.timer2 ? SFR(T2CON) : 0;
    if (!(t2con & TCLK))
        serialTx16(ticks);
    if (!(t2con & RCLK))
        serialRx16(ticks);
}

bool Machine::serialClockLine(bool tx, TickLine& line) const
{
    const uint8_t t2con = m_chip.timer2 ? SFR(T2CON) : 0;
    if (t2con & (tx ? TCLK : RCLK)) {
        if ((t2con & (TR2 | CT2)) != TR2)
            return false;
        // Six counts a machine cycle (the oscillator halved), reloading RCAP2:
        // tick k when the count has gone 65536 - count + (k - 1) * period.
        const int64_t count = int64_t{SFR(TH2)} << 8 | SFR(TL2);
        const int64_t period = 65536 - (int64_t{SFR(RCAP2H)} << 8 | SFR(RCAP2L));
        line = {65536 - count - period + 5, period, 6};
        return true;
    }
    const uint8_t tmod = SFR(TMOD), tcon = SFR(TCON);
    const unsigned mode0 = tmod & 3, mode1 = (tmod >> 4) & 3;
    const bool gate1 = !(tmod & 0x80) || (m_s.pinsOut[3] & 0x08);
    if (mode1 == 3 || (tmod & 0x40) || !gate1 || (mode0 != 3 && !(tcon & TR1)))
        return false;
    const uint8_t tl = SFR(TL1), th = SFR(TH1);
    int64_t first = 256 - tl, period = 256 - th;
    if (mode1 == 0)
        first = 8192 - ((unsigned{th} << 5) | (tl & 0x1Fu)), period = 8192;
    else if (mode1 == 1)
        first = 65536 - ((unsigned{th} << 8) | tl), period = 65536;
    // Overflow v comes first + (v - 1) * period cycles from now; tick k is
    // overflow k with SMOD, else overflow 2k less the one already counted.
    if (SFR(PCON) & SMOD)
        line = {first - period, period, 1};
    else
        line = {first - period - int64_t{m_s.serialDiv} * period, 2 * period, 1};
    return true;
}

uint64_t Machine::serialTickCycles(bool tx, unsigned ticks) const
{
    TickLine line;
    return serialClockLine(tx, line) ? line.at(ticks) : UINT64_MAX;
}

// A write to SBUF starts the frame at the next rollover of the transmitter's
// divide-by-16 counter (so a byte written during the stop bit follows it);
// TI is set when the stop bit begins.
void Machine::startTx(uint8_t byte)
{
    const uint8_t scon = SFR(SCON);
    const unsigned mode = scon >> 6;
    m_s.txActive = 1;
    if (mode == 0) {
        m_s.txByte = byte;
        m_s.mode0Cycles = 0;
        m_s.txBits = 0;
        outsideMoved(3);  // the frame's first bit on RXD
        return;
    }
    const unsigned ninth = (scon & TB8) ? 1 : 0;
    m_s.txPendingByte = byte;
    m_s.txPendingShift = mode == 1 ? static_cast<uint16_t>(byte << 1 | 1u << 9)
                                   : static_cast<uint16_t>(byte << 1 | ninth << 9 | 1u << 10);
    m_s.txWaiting = 1;
    outsideMoved(3);
}

void Machine::txRollover()
{
    if (m_s.txBits) {
        m_s.txShift >>= 1;
        --m_s.txBits;
        if (m_s.txBits == 1)
            SFR(SCON) |= TI;  // the stop bit begins
        if (m_s.txBits == 0) {
            m_s.txActive = m_s.txWaiting;
            outsideMoved(3);
            if (m_listener)
                m_listener->serialSent(m_s.cycles, m_s.txByte);
        }
    }
    if (m_s.txBits == 0 && m_s.txWaiting) {
        m_s.txWaiting = 0;
        m_s.txByte = m_s.txPendingByte;
        m_s.txShift = m_s.txPendingShift;
        m_s.txBits = (m_s.txShift & 0x400) ? 11 : 10;
    }
    const uint8_t level = m_s.txBits ? (m_s.txShift & 1) : 1;
    const bool moved = level != m_s.txLevel;
    m_s.txLevel = level;
    outsideMoved(3);
    if (moved)
        portsChanged();
}

void Machine::serialTx16(unsigned ticks)
{
    if (!m_s.txActive) {
        m_s.txTicks = (m_s.txTicks + ticks) & 15;
        return;
    }
    while (ticks) {
        const unsigned step = std::min(ticks, 16u - m_s.txTicks);
        m_s.txTicks += step;
        ticks -= step;
        if (m_s.txTicks == 16) {
            m_s.txTicks = 0;
            txRollover();
        }
    }
}

// Mode 0 shifts one bit per machine cycle; mode 2 runs from the oscillator.
void Machine::serialMode0(unsigned n)
{
    const uint8_t scon = SFR(SCON);
    if ((scon >> 6) == 2) {
        const unsigned ticks = n * ((SFR(PCON) & SMOD) ? 6 : 3);
        serialTx16(ticks);
        serialRx16(ticks);
        return;
    }
    if (m_s.txActive && !m_s.txWaiting && !m_s.txBits) {
        // One bit a machine cycle on RXD, least significant first; TXD is the
        // shift clock, low and high again in each of the eight cycles (a
        // shift register outside takes the bit on the rising edge).
        for (unsigned i = 0; i < n && m_s.mode0Cycles < 8; ++i) {
            portsChanged();  // the bit on RXD
            m_s.txLevel = 0;
            outsideMoved(3);
            portsChanged();
            m_s.txLevel = 1;
            outsideMoved(3);
            portsChanged();
            ++m_s.mode0Cycles;
            outsideMoved(3);
        }
        if (m_s.mode0Cycles >= 8) {
            m_s.txActive = 0;
            outsideMoved(3);
            SFR(SCON) |= TI;
            portsChanged();  // RXD released
            if (m_listener)
                m_listener->serialSent(m_s.cycles, m_s.txByte);
        }
    } else if (m_s.rxActive) {
        // One bit per machine cycle, least significant first, sampled on RXD
        // (the pins as they are during this instruction).
        if (m_s.mode0Cycles == 0)
            m_s.rxShift = 0;
        const uint16_t bit = pinLevels(3) & 1;
        for (unsigned i = 0; i < n && m_s.mode0Cycles < 8; ++i)
            m_s.rxShift |= static_cast<uint16_t>(bit << m_s.mode0Cycles++);
        outsideMoved(3);
        if (m_s.mode0Cycles >= 8) {
            m_s.rxActive = 0;
            SFR(SBUF) = static_cast<uint8_t>(m_s.rxShift);
            SFR(SCON) |= RI;
        }
    }
}

void Machine::receiveFrame(uint16_t data, bool ninth, bool stop)
{
    const uint8_t scon = SFR(SCON);
    const bool nineBits = (scon >> 6) != 1;
    const bool mark = nineBits ? ninth : stop;
    if (scon & RI) {
        if (m_listener)
            m_listener->serialLost(m_s.cycles, static_cast<uint8_t>(data));
        return;
    }
    if ((scon & SM2) && !mark)
        return;
    SFR(SBUF) = static_cast<uint8_t>(data);
    SFR(SCON) = static_cast<uint8_t>((scon & ~RB8) | (mark ? RB8 : 0) | RI);
}

inline void Machine::rxBegin()
{
    m_s.rxActive = 1;
    m_s.rxTicks = 0;
    m_s.rxBits = 0;
    m_s.rxShift = 0;
}

inline void Machine::rxSample(uint8_t level, unsigned frameBits)
{
    if (m_s.rxBits == 0 && level) {
        m_s.rxActive = 0;  // a glitch, not a start bit
        m_s.rxPrev = level;
        return;
    }
    m_s.rxShift |= static_cast<uint16_t>(level << m_s.rxBits);
    if (++m_s.rxBits == frameBits) {
        m_s.rxActive = 0;
        m_s.rxPrev = level;
        const uint16_t bits = m_s.rxShift;
        receiveFrame((bits >> 1) & 0xFF, (bits >> 9) & 1, (bits >> (frameBits - 1)) & 1);
    }
}

// The receiver samples RXD at the 16x clock: a falling edge starts a frame,
// each bit is taken in its middle (tick 8 of 16).
void Machine::serialRx16(unsigned ticks)
{
    const bool real = m_board.serial == SerialLine::RealLine;
    const bool own = real && m_s.lineBitCycles <= 0;
    if (!m_s.rxActive && !(SFR(SCON) & REN)) {
        if (own) {
            m_s.lineOwnTicks += ticks;
            lineAdvance();
        }
        return;
    }
    const uint8_t mode = SFR(SCON) >> 6;
    const unsigned frameBits = mode == 1 ? 10 : 11;
    if (!own) {
        // RXD keeps one level through these ticks (the line moves with the
        // cycle count, which stands still here): go from sample to sample.
        if (real)
            lineAdvance();
        const uint8_t level = pinLevels(3) & 1;
        while (ticks) {
            if (!m_s.rxActive) {
                if (!m_s.rxPrev || level) {
                    m_s.rxPrev = level;
                    return;
                }
                rxBegin();
                m_s.rxPrev = level;
                --ticks;
                continue;
            }
            const unsigned due = 8u + 16u * m_s.rxBits - m_s.rxTicks;
            if (ticks < due) {
                m_s.rxTicks += ticks;
                return;
            }
            m_s.rxTicks += due;
            ticks -= due;
            // gathered cycles: the level at the sample's own cycle
            rxSample(m_lumpNext < m_lumpCount ? m_lumpLevels[m_lumpNext++] : level, frameBits);
        }
        return;
    }
    for (unsigned i = 0; i < ticks; ++i) {
        if (own)
            ++m_s.lineOwnTicks;
        if (real)
            lineAdvance();
        const uint8_t level = (pinLevels(3) & 1);
        if (!m_s.rxActive) {
            if (m_s.rxPrev && !level)
                rxBegin();
            m_s.rxPrev = level;
            if (!m_s.rxActive && !m_s.lineActive && level) {
                // idle line: the rest of the ticks change nothing
                if (own)
                    m_s.lineOwnTicks += ticks - i - 1;
                return;
            }
            continue;
        }
        ++m_s.rxTicks;
        if (m_s.rxTicks == 8u + 16u * m_s.rxBits)
            rxSample(level, frameBits);
    }
}


// ---- the outside line ------------------------------------------------------------

void Machine::sendSerial(const uint8_t* bytes, size_t n)
{
    changing();
    m_rxQueue.insert(m_rxQueue.end(), bytes, bytes + n);
    if (m_board.serial == SerialLine::RealLine)
        lineAdvance();
    else
        idealFeed();
}

void Machine::lineStartByte()
{
    const uint8_t byte = m_rxQueue.front();
    m_rxQueue.pop_front();
    const bool parity = m_board.lineParity != 'N' && m_board.lineParity != 'n';
    m_s.lineShift = static_cast<uint16_t>(byte << 1);  // start bit 0, data LSB first
    m_s.lineBits = 9;
    if (parity)
        m_s.lineShift |= static_cast<uint16_t>(parityBit(byte, m_board.lineParity) << m_s.lineBits++);
    m_s.lineShift |= static_cast<uint16_t>(1u << m_s.lineBits++);  // stop bit
    m_s.lineActive = 1;
}

// Brings the line's level on RXD up to now: the position is in machine cycles
// at a fixed bit rate, or in ticks of the receiver's 16x clock when the line
// follows the program's own rate. An idle line keeps the end of its last
// frame (a new one starts no earlier than now), whenever it is looked at.
void Machine::lineAdvance()
{
    if (m_s.cycles < m_lineSteady && m_s.lineActive)
        return;
    const bool own = m_s.lineBitCycles <= 0;
    const double now = own ? static_cast<double>(m_s.lineOwnTicks) : static_cast<double>(m_s.cycles);
    const double bit = own ? 16.0 : m_s.lineBitCycles;
    uint8_t level = 1;
    for (;;) {
        if (!m_s.lineActive) {
            if (m_rxQueue.empty())
                break;
            lineStartByte();
            m_s.lineNext = std::max(m_s.lineNext, now);  // frame start
        }
        const double k = std::floor((now - m_s.lineNext) / bit);
        if (k < m_s.lineBits) {
            const unsigned at = static_cast<unsigned>(std::max(k, 0.0));
            level = (m_s.lineShift >> at) & 1;
            if (!own)
                m_lineSteady = lineBitStart(at + 1);
            break;
        }
        m_s.lineNext += m_s.lineBits * bit;  // back to back with the next byte
        m_s.lineActive = 0;
    }
    if (level != m_s.lineLevel) {
        m_s.lineLevel = level;
        outsideMoved(3);
        rxdMoved();
    }
}

// The next byte goes to SBUF once the program has cleared RI and read the
// last one (or left RI clear for a while without reading it): a program that
// clears RI before it reads SBUF still gets every byte.
void Machine::idealFeed()
{
    const uint8_t scon = SFR(SCON);
    if (m_rxQueue.empty() || !(scon & REN))
        return;
    if (scon & RI) {
        m_s.riClearSince = UINT64_MAX;
        return;
    }
    if (m_s.riClearSince == UINT64_MAX)
        m_s.riClearSince = m_s.cycles;
    if (!m_s.sbufRead && m_s.cycles - m_s.riClearSince < 1000)
        return;
    m_s.sbufRead = 0;
    m_s.riClearSince = UINT64_MAX;
    SFR(SBUF) = m_rxQueue.front();
    m_rxQueue.pop_front();
    SFR(SCON) = static_cast<uint8_t>(scon | RI | RB8);
}

}  // namespace sim
