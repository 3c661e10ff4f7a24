// Timers 0 and 1 in modes 0-3 and timer 2 (auto-reload up or down, capture,
// bit-rate clock), advanced by the machine cycles of each instruction.

#include "sim/Machine.h"

#include "sim/Sfr.h"
#include "sim/TimerCount.h"

namespace sim {

using namespace sfr;

#define SFR(a) m_s.sfr[(a) - 0x80]

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
    } else if (run0 && advanceTimer(SFR(TL0), SFR(TH0), mode0, n)) {
        SFR(TCON) |= TF0;
    }
    // Timer 1: with timer 0 in mode 3 it runs whenever it is not in mode 3 itself
    // (a bit-rate clock) and sets no flag.
    const bool gate1 = !(tmod & 0x80) || (p3 & 0x08);
    const bool run1 = mode1 != 3 && !(tmod & 0x40) && gate1 && (mode0 == 3 || (tcon & TR1));
    if (!run1)
        return;
    const unsigned overflows = advanceTimer(SFR(TL1), SFR(TH1), mode1, n);
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
    const bool clock = clockOut();  // like the baud-rate generator: the oscillator halved, reloads, no TF2
    const uint64_t k = fromPin ? (n & 0x7FFFFFFFu) : (baud || clock) ? uint64_t{n} * 6 : n;
    if (!baud && !clock && !(t2con & CPRL2) && upDownCounting() && !(m_s.pinsOut[1] & 0x02)) {
        timer2Down(k);
        return;
    }
    uint64_t v = (static_cast<uint64_t>(SFR(TH2)) << 8 | SFR(TL2)) + k;
    unsigned overflows = 0;
    if (v > 0xFFFF) {
        if ((t2con & CPRL2) && !baud && !clock) {
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
    if (clock && (overflows & 1)) {
        m_s.t2outLow ^= 1;
        outsideMoved(1);
        portsChanged();
    }
    if (!baud && !clock) {
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

}  // namespace sim
