// The SFRs with side effects, the ports, timers 0-2, the UART with the
// outside serial line, and the interrupt poll. Timers and the UART advance by
// the cycles of each instruction at once, not cycle by cycle.

#include "Machine.h"

#include "Sfr.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace sim {

using namespace sfr;

#define SFR(a) m_s.sfr[(a) - 0x80]

namespace {

// Advances an 8051 timer (modes 0-2) by k counts; returns the overflows.
inline unsigned advance(uint8_t& tl, uint8_t& th, unsigned mode, uint64_t k)
{
    switch (mode) {
    case 0: {
        const uint64_t v = ((static_cast<uint64_t>(th) << 5) | (tl & 0x1F)) + k;
        th = static_cast<uint8_t>(v >> 5);
        tl = static_cast<uint8_t>((tl & 0xE0) | (v & 0x1F));
        return static_cast<unsigned>(v >> 13);
    }
    case 1: {
        const uint64_t v = (static_cast<uint64_t>(th) << 8 | tl) + k;
        th = static_cast<uint8_t>(v >> 8);
        tl = static_cast<uint8_t>(v);
        return static_cast<unsigned>(v >> 16);
    }
    case 2: {
        const uint64_t v = tl + k;
        if (v < 256) {
            tl = static_cast<uint8_t>(v);
            return 0;
        }
        const uint64_t period = 256u - th, over = v - 256;
        if (over < period) {  // the usual case: one overflow, no division
            tl = static_cast<uint8_t>(th + over);
            return 1;
        }
        tl = static_cast<uint8_t>(th + over % period);
        return static_cast<unsigned>(1 + over / period);
    }
    default:
        return 0;
    }
}

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

// ---- SFR access ------------------------------------------------------------

uint8_t Machine::readSfr(uint8_t address)
{
    firstCycle();
    switch (address) {
    case P0: return pinLevels(0);
    case P1: return pinLevels(1);
    case P2: return pinLevels(2);
    case P3:
        if (m_board.serial == SerialLine::RealLine)
            lineAdvance();
        return pinLevels(3);
    case SBUF:
        m_s.sbufRead = 1;
        return SFR(SBUF);
    default: return SFR(address);
    }
}

void Machine::writeSfr(uint8_t address, uint8_t value)
{
    firstCycle();
    if ((address & 0x0F) == 0 && address <= P3) {  // P0-P3
        SFR(address) = value;
        portWritten((address >> 4) & 3);
        return;
    }
    m_busy = true;
    switch (address) {
    case SBUF:
        startTx(value);
        return;
    case IE: case IP:
        SFR(address) = value;
        m_s.holdOff = 1;
        return;
    case PCON:
        SFR(PCON) = value;
        if (value & PD)
            m_s.powerDown = 1;
        else if (value & IDL)
            m_s.idle = 1;
        return;
    case AUXR1:
        if (m_chip.dualDptr && ((value ^ m_s.dptrSel) & 1)) {
            std::swap(SFR(DPL), m_s.dpl1);
            std::swap(SFR(DPH), m_s.dph1);
            m_s.dptrSel = value & 1;
        }
        SFR(address) = value;
        return;
    case SCON:
        SFR(SCON) = value;
        if ((value & (SM0 | SM1)) == 0 && (value & REN) && !(value & RI) && !m_s.rxActive) {
            m_s.rxActive = 1;  // mode 0 reception starts with REN set and RI clear
            m_s.mode0Cycles = 0;
        }
        return;
    case TCON:
        SFR(TCON) = value;
        m_sample = true;  // IT0/IT1 may have changed
        return;
    default:
        SFR(address) = value;
        return;
    }
}

// ---- ports -------------------------------------------------------------------

uint8_t Machine::rxdLevel() const
{
    return m_board.serial == SerialLine::RealLine ? m_s.lineLevel : 1;
}

uint8_t Machine::pinLevels(unsigned port) const
{
    uint8_t level = static_cast<uint8_t>(m_s.sfr[(port & 3) << 4] & m_s.drive[port & 3]);
    if (port == 3) {
        if (!m_s.txLevel)
            level &= static_cast<uint8_t>(~0x02);
        if (!rxdLevel())
            level &= static_cast<uint8_t>(~0x01);
    }
    return level;
}

uint8_t Machine::pins(unsigned port) const
{
    return pinLevels(port & 3);
}

void Machine::drivePin(unsigned port, unsigned bit, int level)
{
    const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
    uint8_t& drive = m_s.drive[port & 3];
    drive = static_cast<uint8_t>(level == 0 ? drive & ~mask : drive | mask);
    portsChanged();
}

// Reports pins that changed and acts on the edges the chip watches: INT0/INT1,
// the counter inputs T0/T1/T2 and T2EX.
void Machine::portsChanged()
{
    for (unsigned p = 0; p < 4; ++p) {
        const uint8_t now = pinLevels(p);
        if (now != m_s.pinsOut[p]) {
            m_s.pinsOut[p] = now;
            if (m_listener)
                m_listener->pinsChanged(m_s.cycles, p, now);
        }
    }
    m_sample = true;
    m_busy = true;
    externalEdges();
}

// A port's latch was written: only that port's pins can change, and the
// peripherals need to look again only when an input they watch did.
void Machine::portWritten(unsigned port)
{
    const uint8_t before = m_s.pinsOut[port], now = pinLevels(port);
    if (now == before)
        return;
    m_s.pinsOut[port] = now;
    if (m_listener)
        m_listener->pinsChanged(m_s.cycles, port, now);
    // The inputs the chip watches: INT0, INT1, T0, T1 on P3; T2, T2EX on P1.
    const uint8_t watched = port == 3 ? 0x3C : port == 1 ? 0x03 : 0;
    if (!((before ^ now) & watched))
        return;
    m_sample = true;
    m_busy = true;
    externalEdges();
}

void Machine::externalEdges()
{
    const uint8_t p3 = m_s.pinsOut[3], p1 = m_s.pinsOut[1];
    const uint8_t int0 = (p3 >> 2) & 1, int1 = (p3 >> 3) & 1, t0 = (p3 >> 4) & 1, t1 = (p3 >> 5) & 1;
    const uint8_t tmod = SFR(TMOD), tcon = SFR(TCON);
    // Edge-triggered requests latch a falling edge at once.
    if ((tcon & IT0) && m_s.prevInt0 && !int0)
        SFR(TCON) |= IE0;
    if ((tcon & IT1) && m_s.prevInt1 && !int1)
        SFR(TCON) |= IE1;
    if (m_s.prevT0 && !t0 && (tmod & 0x04) && (tcon & TR0) && (!(tmod & 0x08) || int0)) {
        const unsigned mode = tmod & 3;
        if (mode == 3) {
            uint8_t tl = SFR(TL0);
            if (++tl == 0)
                SFR(TCON) |= TF0;
            SFR(TL0) = tl;
        } else if (advance(SFR(TL0), SFR(TH0), mode, 1)) {
            SFR(TCON) |= TF0;
        }
    }
    if (m_s.prevT1 && !t1 && (tmod & 0x40) && (tcon & TR1) && (!(tmod & 0x80) || int1) && ((tmod >> 4) & 3) != 3) {
        const unsigned overflows = advance(SFR(TL1), SFR(TH1), (tmod >> 4) & 3, 1);
        if (overflows && (tmod & 3) != 3)
            SFR(TCON) |= TF1;
        if (overflows)
            serialClock(overflows);
    }
    m_s.prevInt0 = int0, m_s.prevInt1 = int1, m_s.prevT0 = t0, m_s.prevT1 = t1;
    if (m_chip.timer2) {
        const uint8_t t2 = p1 & 1, t2ex = (p1 >> 1) & 1;
        const uint8_t t2con = SFR(T2CON);
        if (m_s.prevT2 && !t2 && (t2con & (TR2 | CT2)) == (TR2 | CT2))
            timer2(0x80000000u | 1);
        const bool direction = upDownCounting() && !(t2con & (CPRL2 | RCLK | TCLK));
        if (m_s.prevT2ex && !t2ex && (t2con & EXEN2) && !direction) {
            SFR(T2CON) |= EXF2;
            if (!(t2con & (RCLK | TCLK))) {
                if (t2con & CPRL2) {
                    SFR(RCAP2L) = SFR(TL2), SFR(RCAP2H) = SFR(TH2);
                } else {
                    SFR(TL2) = SFR(RCAP2L), SFR(TH2) = SFR(RCAP2H);
                }
            }
        }
        m_s.prevT2 = t2, m_s.prevT2ex = t2ex;
    }
}

// ---- timers -------------------------------------------------------------------

void Machine::timers01(unsigned n)
{
    const uint8_t tmod = SFR(TMOD), tcon = SFR(TCON);
    const uint8_t p3 = m_s.pinsOut[3];
    const unsigned mode0 = tmod & 3, mode1 = (tmod >> 4) & 3;
    const bool run0 = (tcon & TR0) && (!(tmod & 0x08) || (p3 & 0x04)) && !(tmod & 0x04);
    if (mode0 == 3) {
        if (run0) {
            const unsigned v = SFR(TL0) + n;
            SFR(TL0) = static_cast<uint8_t>(v);
            if (v > 0xFF)
                SFR(TCON) |= TF0;
        }
        if (tcon & TR1) {  // TH0 runs on TR1 and owns TF1
            const unsigned v = SFR(TH0) + n;
            SFR(TH0) = static_cast<uint8_t>(v);
            if (v > 0xFF)
                SFR(TCON) |= TF1;
        }
    } else if (run0 && advance(SFR(TL0), SFR(TH0), mode0, n)) {
        SFR(TCON) |= TF0;
    }
    // Timer 1: with timer 0 in mode 3 it runs whenever it is not in mode 3 itself
    // (a bit-rate clock) and sets no flag.
    const bool gate1 = !(tmod & 0x80) || (p3 & 0x08);
    const bool run1 = mode1 != 3 && !(tmod & 0x40) && gate1 && (mode0 == 3 || (tcon & TR1));
    if (!run1)
        return;
    const unsigned overflows = advance(SFR(TL1), SFR(TH1), mode1, n);
    if (!overflows)
        return;
    if (mode0 != 3)
        SFR(TCON) |= TF1;
    serialClock(overflows);
}

// Timer 2 by n machine cycles, or (with bit 31 set) by counts from the T2 pin.
void Machine::timer2(unsigned n)
{
    const uint8_t t2con = SFR(T2CON);
    if (!(t2con & TR2))
        return;
    const bool fromPin = n & 0x80000000u;
    if (!fromPin && (t2con & CT2))
        return;
    const bool baud = t2con & (RCLK | TCLK);
    const uint64_t k = fromPin ? (n & 0x7FFFFFFFu) : baud ? uint64_t{n} * 6 : n;
    if (!baud && !(t2con & CPRL2) && upDownCounting() && !(m_s.pinsOut[1] & 0x02)) {
        timer2Down(k);
        return;
    }
    uint64_t v = (static_cast<uint64_t>(SFR(TH2)) << 8 | SFR(TL2)) + k;
    unsigned overflows = 0;
    if (v > 0xFFFF) {
        if ((t2con & CPRL2) && !baud) {
            overflows = static_cast<unsigned>(v >> 16);
            v &= 0xFFFF;
        } else {
            const uint64_t reload = static_cast<uint64_t>(SFR(RCAP2H)) << 8 | SFR(RCAP2L);
            const uint64_t period = 65536 - reload, over = v - 65536;
            if (over < period) {
                overflows = 1;
                v = reload + over;
            } else {
                overflows = static_cast<unsigned>(1 + over / period);
                v = reload + over % period;
            }
        }
    }
    SFR(TL2) = static_cast<uint8_t>(v);
    SFR(TH2) = static_cast<uint8_t>(v >> 8);
    if (!overflows)
        return;
    if (!baud) {
        // Counting up or down, EXF2 toggles with each overflow (a 17th bit).
        if (upDownCounting() && !(t2con & CPRL2) && (overflows & 1))
            SFR(T2CON) ^= EXF2;
        SFR(T2CON) |= TF2;
        return;
    }
    // Each overflow is one tick of the UART's 16x clock for the directions it drives.
    const uint8_t mode = SFR(SCON) >> 6;
    if (mode == 1 || mode == 3) {
        if (t2con & TCLK)
            serialTx16(overflows);
        if (t2con & RCLK)
            serialRx16(overflows);
    }
}

// Down-counting (DCEN set, T2EX low): the timer underflows when it equals
// RCAP2, reloads 0FFFFH and sets TF2; EXF2 toggles with each underflow.
void Machine::timer2Down(uint64_t k)
{
    const uint64_t reload = static_cast<uint64_t>(SFR(RCAP2H)) << 8 | SFR(RCAP2L);
    const uint64_t count = static_cast<uint64_t>(SFR(TH2)) << 8 | SFR(TL2);
    const uint64_t toUnderflow = ((count - reload) & 0xFFFF) + 1, period = 0x10000 - reload;
    uint64_t v = count - k;
    uint64_t underflows = 0;
    if (k >= toUnderflow) {
        underflows = 1 + (k - toUnderflow) / period;
        v = 0xFFFF - (k - toUnderflow) % period;
    }
    SFR(TL2) = static_cast<uint8_t>(v);
    SFR(TH2) = static_cast<uint8_t>(v >> 8);
    if (!underflows)
        return;
    if (underflows & 1)
        SFR(T2CON) ^= EXF2;
    SFR(T2CON) |= TF2;
}

// ---- UART ----------------------------------------------------------------------

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
        return;
    }
    const unsigned ninth = (scon & TB8) ? 1 : 0;
    m_s.txPendingByte = byte;
    m_s.txPendingShift = mode == 1 ? static_cast<uint16_t>(byte << 1 | 1u << 9)
                                   : static_cast<uint16_t>(byte << 1 | ninth << 9 | 1u << 10);
    m_s.txWaiting = 1;
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
    if (level != m_s.txLevel) {
        m_s.txLevel = level;
        portsChanged();
    }
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
        m_s.mode0Cycles += n;
        if (m_s.mode0Cycles >= 8) {
            m_s.txActive = 0;
            SFR(SCON) |= TI;
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
    for (unsigned i = 0; i < ticks; ++i) {
        if (own)
            ++m_s.lineOwnTicks;
        if (real)
            lineAdvance();
        const uint8_t level = (pinLevels(3) & 1);
        if (!m_s.rxActive) {
            if (m_s.rxPrev && !level) {
                m_s.rxActive = 1;
                m_s.rxTicks = 0;
                m_s.rxBits = 0;
                m_s.rxShift = 0;
            }
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
        if (m_s.rxTicks != 8u + 16u * m_s.rxBits)
            continue;
        if (m_s.rxBits == 0 && level) {
            m_s.rxActive = 0;  // a glitch, not a start bit
            m_s.rxPrev = level;
            continue;
        }
        m_s.rxShift |= static_cast<uint16_t>(level << m_s.rxBits);
        if (++m_s.rxBits == frameBits) {
            m_s.rxActive = 0;
            m_s.rxPrev = level;
            const uint16_t bits = m_s.rxShift;
            receiveFrame((bits >> 1) & 0xFF, (bits >> 9) & 1, (bits >> (frameBits - 1)) & 1);
        }
    }
}

// ---- the outside line ------------------------------------------------------------

void Machine::sendSerial(const uint8_t* bytes, size_t n)
{
    m_rxQueue.insert(m_rxQueue.end(), bytes, bytes + n);
    m_busy = true;
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
// follows the program's own rate.
void Machine::lineAdvance()
{
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
            level = (m_s.lineShift >> static_cast<unsigned>(std::max(k, 0.0))) & 1;
            break;
        }
        m_s.lineNext += m_s.lineBits * bit;  // back to back with the next byte
        m_s.lineActive = 0;
    }
    if (!m_s.lineActive)
        m_s.lineNext = std::max(m_s.lineNext, now);
    if (level != m_s.lineLevel) {
        m_s.lineLevel = level;
        portsChanged();
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

// ---- per instruction -----------------------------------------------------------------

void Machine::afterCycles(unsigned n, bool poll)
{
    if (n)
        tick(n);
    if (poll)
        pollInterrupts();
}

bool Machine::peripheralsBusy() const
{
    const uint8_t tcon = m_s.sfr[TCON - 0x80], tmod = m_s.sfr[TMOD - 0x80], scon = m_s.sfr[SCON - 0x80];
    if (m_sample || (tcon & (TR0 | TR1)) || (tmod & 3) == 3)
        return true;
    if (m_chip.timer2 && (m_s.sfr[T2CON - 0x80] & TR2))
        return true;
    if (m_s.txActive || m_s.rxActive || m_s.lineActive || !m_rxQueue.empty())
        return true;
    return (scon & REN) && (scon >> 6) == 2;
}

void Machine::peripherals(unsigned n)
{
    if (m_sample) {
        // Level-triggered requests follow the pins as sampled in the cycle.
        m_sample = false;
        const uint8_t p3 = m_s.pinsOut[3];
        uint8_t tcon = SFR(TCON);
        if (!(tcon & IT0))
            tcon = static_cast<uint8_t>((p3 & 0x04) ? tcon & ~IE0 : tcon | IE0);
        if (!(tcon & IT1))
            tcon = static_cast<uint8_t>((p3 & 0x08) ? tcon & ~IE1 : tcon | IE1);
        SFR(TCON) = tcon;
    }
    const uint8_t tcon = SFR(TCON);
    if ((tcon & (TR0 | TR1)) || (SFR(TMOD) & 3) == 3)
        timers01(n);
    if (m_chip.timer2 && (SFR(T2CON) & TR2))
        timer2(n);
    const uint8_t mode = SFR(SCON) >> 6;
    if ((mode == 0 || mode == 2) && (m_s.txActive || m_s.rxActive || (SFR(SCON) & REN)))
        serialMode0(n);
    if (m_board.serial == SerialLine::RealLine) {
        if (m_s.lineActive || !m_rxQueue.empty())
            lineAdvance();
    } else if (!m_rxQueue.empty()) {
        idealFeed();
    }
    m_busy = peripheralsBusy();
}

void Machine::pollInterrupts()
{
    const uint8_t tcon = SFR(TCON);
    if (m_s.holdOff) {
        m_s.holdOff = 0;
        return;
    }
    const uint8_t ie = SFR(IE);
    if (!(ie & 0x80) || m_s.inService & 2)
        return;
    const uint8_t scon = SFR(SCON);
    if (!(tcon & (IE0 | TF0 | IE1 | TF1)) && !(scon & (RI | TI)) && !(m_chip.timer2 && (SFR(T2CON) & (TF2 | EXF2))))
        return;
    unsigned requests = ((tcon & IE0) ? 0x01 : 0) | ((tcon & TF0) ? 0x02 : 0) | ((tcon & IE1) ? 0x04 : 0) |
                        ((tcon & TF1) ? 0x08 : 0) | ((scon & (RI | TI)) ? 0x10 : 0);
    // Counting up and down, EXF2 is the count's 17th bit and requests nothing.
    const uint8_t t2flags = upDownCounting() ? TF2 : (TF2 | EXF2);
    if (m_chip.timer2 && (SFR(T2CON) & t2flags))
        requests |= 0x20;
    requests &= ie & (m_chip.timer2 ? 0x3F : 0x1F);
    if (!requests)
        return;
    const unsigned high = requests & SFR(IP);
    if (high)
        m_s.pendingSource = static_cast<uint8_t>(std::countr_zero(high));
    else if (!(m_s.inService & 1))
        m_s.pendingSource = static_cast<uint8_t>(std::countr_zero(requests));
}

}  // namespace sim
