// The SFRs with side effects, the ports and their watched inputs, and the
// peripherals' work per instruction, the interrupt poll and entry. Timers and the
// UART (Timers.cpp, SerialPort.cpp) advance by the cycles of each instruction
// at once, not cycle by cycle.

#include "sim/Access.h"
#include "sim/Sfr.h"
#include "sim/TimerCount.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace sim {

using namespace sfr;

#define SFR(a) m_s.sfr[(a) - 0x80]

// ---- SFR access ------------------------------------------------------------

// The full way of a direct access: watches, and the SFRs with side effects.
uint8_t Machine::readDirectFull(uint8_t address)
{
    if (address < 0x80) {
        if (m_anyWatch)
            watchHit(Space::Iram, address, false);
        return m_s.iram[address];
    }
    if (m_anyWatch)
        watchHit(Space::Sfr, address, false);
    if (address == PSW)
        return read(Space::Sfr, PSW);  // with P worked out from A
    return readSfr(address);
}

void Machine::writeDirectFull(uint8_t address, uint8_t value)
{
    if (address < 0x80) {
        if (m_anyWatch)
            watchHit(Space::Iram, address, true);
        m_s.iram[address] = value;
        return;
    }
    if (m_anyWatch)
        watchHit(Space::Sfr, address, true);
    writeSfr(address, value);
}

// A bit of any other SFR, or any bit while watches are set.
void Machine::writeBitFull(uint8_t bit, bool value)
{
    const uint8_t address = access::bitByte(bit);
    const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
    const uint8_t old = readDirectLatch(address);
    writeDirect(address, static_cast<uint8_t>(value ? old | mask : old & ~mask));
}

uint8_t Machine::readXram(uint16_t address)
{
    if (m_anyWatch)
        watchHit(Space::Xram, address, false);
    return address < m_board.xramSize ? m_xram[address] : 0xFF;
}

void Machine::writeXram(uint16_t address, uint8_t value)
{
    if (m_anyWatch)
        watchHit(Space::Xram, address, true);
    if (address < m_board.xramSize)
        storeXram(address, value);
}


// While the timers are left behind (m_lagFrom), nothing but their counts, the
// receiver's progress through a frame and the line's level moves until the
// next due event (quietTimers()): only a count register or the pins of a real
// line need them brought up to date first. A flag poll (JNB TI, JNB RI,
// JNB TF0) costs no catch-up.
uint8_t Machine::readSfr(uint8_t address)
{
    firstCycle();
    switch (address) {
    case TL0: case TH0: case TL1: case TH1: case TL2: case TH2:
        catchUp();
        return SFR(address);
    case P0: return pinLevels(0);
    case P1: return pinLevels(1);
    case P2: return pinLevels(2);
    case P3:
        if (m_board.serial == SerialLine::RealLine) {
            catchUp();
            lineAdvance();
        } else if (m_s.txActive) {
            catchUp();  // TXD's bits may be behind (frames in one go)
        }
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
    needPoll();
    if (address == SCON && !((SFR(SCON) ^ value) & ~(RI | TI)) && (value >> 6) % 2 == 1 &&
        m_board.serial == SerialLine::RealLine) {
        // RI or TI cleared (or set) in mode 1 or 3 on the real line: the UART
        // looks at RI only where a frame ends, always a step of its own, and
        // at TI never, so the peripherals need not be brought up to date.
        SFR(SCON) = value;
        return;
    }
    changing();
    if ((address & 0x0F) == 0 && address <= P3) {  // P0-P3
        SFR(address) = value;
        portWritten((address >> 4) & 3);
        return;
    }
    clockEachStep();
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
        attend();
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
        outsideMoved(3);  // the mode, and with it what drives RXD
        if (pinLevels(3) != m_s.pinsOut[3])  // a mode 0 frame's data left on RXD, or taken off it
            portsChanged();
        return;
    case T2CON: {
        const bool clocking = clockOut();
        SFR(T2CON) = value;
        outsideMoved(1);
        inputsWatched();
        if (clockOut() != clocking)  // C/T2 hands P1.0 to the clock output, or back
            portsChanged();
        return;
    }
    case T2MOD:
        SFR(T2MOD) = value;
        outsideMoved(1);
        inputsWatched();
        portsChanged();  // T2OE hands P1.0 to timer 2's clock output, or back
        return;
    case TMOD:
        SFR(TMOD) = value;
        inputsWatched();
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

uint8_t Machine::outsideLevels(unsigned port) const
{
    uint8_t level = m_s.drive[port & 3];
    if (port == 3) {
        // Mode 0 sends on RXD: the bit being shifted out (1 while nothing is).
        const bool mode0Low = m_s.txActive && !m_s.txWaiting && !m_s.txBits && !(SFR(SCON) >> 6) &&
                              m_s.mode0Cycles < 8 && !((m_s.txByte >> m_s.mode0Cycles) & 1);
        const bool lineLow = m_board.serial == SerialLine::RealLine && !m_s.lineLevel;
        if (!m_s.txLevel)
            level &= static_cast<uint8_t>(~0x02);
        if (lineLow || mode0Low)
            level &= static_cast<uint8_t>(~0x01);
    } else if (port == 1 && m_s.t2outLow && clockOut()) {
        level &= static_cast<uint8_t>(~0x01);
    }
    return level;
}

void Machine::outsideMoved(unsigned port)
{
    m_outside[port & 3] = outsideLevels(port & 3);
}

void Machine::drivePin(unsigned port, unsigned bit, int level)
{
    const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
    drivePins(port, mask, level == 0 ? mask : 0);
}

// Pins no peripheral looks at (keypad lines, an LCD's data lines)
// change only their own port: they are reported as a latch write is, and
// the timers stay where they are; any others go the full way. The board
// answers many of the program's pin changes so: this way stays short.
void Machine::drivePins(unsigned port, uint8_t pins, uint8_t low)
{
    port &= 3;
    const uint8_t was = m_s.drive[port];
    const uint8_t driven = static_cast<uint8_t>((was & ~pins) | (pins & ~low));
    if (pins & m_watched[port]) {
        driveInputs(port, driven);
        return;
    }
    setDrive(port, driven);
    outsideMoved(port);
    const uint8_t now = pinLevels(port);
    const uint8_t moved = now ^ m_s.pinsOut[port];
    if (moved & m_watched[port]) {  // a level the peripherals look at (T2 clocked out) after all
        setDrive(port, was);
        outsideMoved(port);
        driveInputs(port, driven);
        return;
    }
    if (!moved)
        return;
    m_s.pinsOut[port] = now;
    reportPins(nowCycle(), port, now);
}

void Machine::driveInputs(unsigned port, uint8_t driven)
{
    firstCycle();  // pins driven in the middle of an instruction (a part answering its write)
    changing();
    setDrive(port, driven);
    outsideMoved(port);
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
            reportPins(m_s.cycles, p, now);
        }
    }
    m_sample = true;
    clockEachStep();
    externalEdges();
}

// The inputs the chip looks at now: RXD, INT0 and INT1 always, T0 and T1
// when their timer counts pulses; T2 and T2EX on P1 as timer 2 uses them.
inline uint8_t Machine::watchedInputs(unsigned port) const
{
    if (port == 3) {
        const uint8_t tmod = SFR(TMOD);
        return static_cast<uint8_t>(0x0D | ((tmod & 0x04) ? 0x10 : 0) | ((tmod & 0x40) ? 0x20 : 0));
    }
    if (port != 1 || !m_chip.timer2)
        return 0;
    const uint8_t t2con = SFR(T2CON);
    return static_cast<uint8_t>(((t2con & CT2) ? 0x01 : 0) | ((t2con & EXEN2) || upDownCounting() ? 0x02 : 0));
}

// A port's latch was written: only that port's pins can change, and the
// peripherals need to look again only when an input they watch did.
void Machine::pinsMoved(unsigned port, uint8_t now)
{
    if ((m_s.pinsOut[port] ^ now) & m_watched[port]) {
        watchedMoved(port, now);
        return;
    }
    // No peripheral looks at these pins: the timers can stay behind.
    m_s.pinsOut[port] = now;
    reportPins(nowCycle(), port, now);
}

void Machine::inputsWatched(bool fromNow)
{
    for (unsigned port : {1u, 3u}) {
        const uint8_t watched = watchedInputs(port);
        const uint8_t taken = static_cast<uint8_t>(watched & ~m_watched[port]);
        m_watched[port] = watched;
        m_heard[port] = m_listener ? 0xFF : watched;
        if (!fromNow || !taken)
            continue;
        const uint8_t level = m_s.pinsOut[port];
        if (port == 3) {
            if (taken & 0x10)
                m_s.prevT0 = (level >> 4) & 1;
            if (taken & 0x20)
                m_s.prevT1 = (level >> 5) & 1;
        } else {
            if (taken & 0x01)
                m_s.prevT2 = level & 1;
            if (taken & 0x02)
                m_s.prevT2ex = (level >> 1) & 1;
        }
    }
}

void Machine::watchedMoved(unsigned port, uint8_t now)
{
    firstCycle();
    changing();
    m_s.pinsOut[port] = now;
    reportPins(m_s.cycles, port, now);
    m_sample = true;
    externalEdges();
}

void Machine::externalEdges()
{
    needPoll();
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
        } else if (advanceTimer(SFR(TL0), SFR(TH0), mode, 1)) {
            SFR(TCON) |= TF0;
        }
    }
    if (m_s.prevT1 && !t1 && (tmod & 0x40) && (tcon & TR1) && (!(tmod & 0x80) || int1) && ((tmod >> 4) & 3) != 3) {
        const unsigned overflows = advanceTimer(SFR(TL1), SFR(TH1), (tmod >> 4) & 3, 1);
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

// The cycles since m_lagFrom in one go: nothing the peripherals do was due in
// them but the receiver's samples whose bits stay put whatever instructions
// they fall in (quietTimers()), each taken at its own cycle.
void Machine::lagged(unsigned n)
{
    clockEachStep();
    m_lumpCount = m_planned;
    m_lumpNext = 0;
    advance(n);
    m_lumpCount = 0;
}

void Machine::advance(unsigned n)
{
    needPoll();  // flags may be set
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
}

void Machine::schedule()
{
    m_planned = 0;
    m_busy = peripheralsBusy();
    m_lazy = m_busy && quietTimers(m_horizon);
    m_lagFrom = m_s.cycles;
    m_dueAt = !m_busy ? UINT64_MAX : m_lazy ? m_s.cycles + m_horizon : 0;
}

// True when nothing the peripherals do is due before `horizon` cycles from
// now but the timers' counts: no timer flag of theirs to set, no bit of the
// UART's frames to send, no sample of the receiver whose level depends on
// the instruction it falls in or that ends its frame, no edge of the line
// (at a fixed bit rate) that a listener following it or a waiting receiver
// sees, no frame of the line to end while more wait, no start bit on RXD, no
// byte to hand over, no pin sampling pending, no watches or condition looking at every
// instruction.
bool Machine::quietTimers(uint64_t& horizon)
{
    const uint8_t scon = SFR(SCON), mode = scon >> 6;
    const bool real = m_board.serial == SerialLine::RealLine;
    if (m_sample || m_anyWatch || m_condition)
        return false;
    if ((mode == 0 || mode == 2) && (m_s.txActive || m_s.rxActive || (scon & REN)))
        return false;
    if (real ? (m_s.lineActive && m_s.lineBitCycles <= 0) || (!m_s.lineActive && !m_rxQueue.empty())
             : !m_rxQueue.empty() && (scon & REN) && !(scon & RI))
        return false;
    if ((scon & REN) && !m_s.rxActive && m_s.rxPrev != (pinLevels(3) & 1))
        return false;
    uint64_t h = 1u << 20;
    const uint8_t tmod = SFR(TMOD), tcon = SFR(TCON), p3 = m_s.pinsOut[3];
    const unsigned mode0 = tmod & 3, mode1 = (tmod >> 4) & 3;
    const bool run0 = (tcon & TR0) && (!(tmod & 0x08) || (p3 & 0x04)) && !(tmod & 0x04);
    auto until = [](unsigned mode, uint8_t tl, uint8_t th) -> uint64_t {
        switch (mode) {
        case 0: return 8192u - ((unsigned{th} << 5) | (tl & 0x1Fu));
        case 1: return 65536u - ((unsigned{th} << 8) | tl);
        default: return 256u - tl;
        }
    };
    if (mode0 == 3) {
        if (run0 && !(tcon & TF0))
            h = std::min<uint64_t>(h, 256u - SFR(TL0));
        if ((tcon & TR1) && !(tcon & TF1))
            h = std::min<uint64_t>(h, 256u - SFR(TH0));
    } else if (run0 && !(tcon & TF0)) {
        h = std::min(h, until(mode0, SFR(TL0), SFR(TH0)));
    }
    const bool gate1 = !(tmod & 0x80) || (p3 & 0x08);
    const bool run1 = mode1 != 3 && !(tmod & 0x40) && gate1 && (mode0 == 3 || (tcon & TR1));
    if (run1 && mode0 != 3 && !(tcon & TF1))
        h = std::min(h, until(mode1, SFR(TL1), SFR(TH1)));
    if (m_chip.timer2) {
        const uint8_t t2con = SFR(T2CON);
        if ((t2con & TR2) && (upDownCounting() || clockOut()))
            return false;
        if ((t2con & (TR2 | CT2 | RCLK | TCLK)) == TR2 && !(t2con & TF2))
            h = std::min<uint64_t>(h, 65536u - ((unsigned{SFR(TH2)} << 8) | SFR(TL2)));
    }
    const bool framed = mode == 1 || mode == 3;
    if (framed) {
        if (m_s.txActive)
            h = std::min(h, serialTickCycles(true, 16 - m_s.txTicks + 16 * (txRolloversAhead(real) - 1)));
        if (m_s.rxActive)
            h = std::min(h, rxEventCycles(h));
    }
    if (real && m_s.lineActive)
        h = std::min(h, lineEventCycles(framed && (scon & REN) && !m_s.rxActive));
    horizon = h;
    return true;
}

// The rollovers of the transmitter's divide-by-16 counter the run loop may
// leave to the next catch-up: one, unless nobody follows the pins and TXD
// is not on the outside line; then all up to the one that sets TI (the stop
// bit begins) or ends the frame, the only ones the program or a listener of
// the serial port can tell from the others.
unsigned Machine::txRolloversAhead(bool realLine) const
{
    if (m_followPins || realLine)
        return 1;
    if (m_s.txBits >= 2)
        return m_s.txBits - 1u;
    if (m_s.txBits == 1)
        return 1;
    return (m_s.txPendingShift & 0x400) ? 11 : 10;  // the frame starts at the first
}

void Machine::pollInterrupts()
{
    const uint8_t tcon = SFR(TCON);
    m_pollNeeded = false;
    if (m_s.holdOff) {
        m_s.holdOff = 0;
        needPoll();  // the poll after this one looks at the requests
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
    attend();
    if (high)
        m_s.pendingSource = static_cast<uint8_t>(std::countr_zero(high));
    else if (!(m_s.inService & 1))
        m_s.pendingSource = static_cast<uint8_t>(std::countr_zero(requests));
}

// The entry into a handler: a hardware LCALL of 2 cycles.
unsigned Machine::interrupt()
{
    static constexpr uint8_t clears[6] = {IE0, TF0, IE1, TF1, 0, 0};
    // The entry clears a timer's flag: its next overflow is due again, so the
    // peripherals look at their horizon anew (even when they are up to date).
    changing();
    needPoll();
    const unsigned source = m_s.pendingSource;
    m_s.pendingSource = 0xFF;
    m_s.idle = 0;
    SFR(PCON) &= static_cast<uint8_t>(~IDL);
    const bool high = (SFR(IP) >> source) & 1;
    m_s.inService |= high ? 2 : 1;
    // Edge-triggered external requests and the timer flags are cleared on entry.
    uint8_t clear = clears[source];
    if (source == 0 && !(SFR(TCON) & IT0))
        clear = 0;
    if (source == 2 && !(SFR(TCON) & IT1))
        clear = 0;
    SFR(TCON) &= static_cast<uint8_t>(~clear);
    push(static_cast<uint8_t>(m_s.pc));
    push(static_cast<uint8_t>(m_s.pc >> 8));
    m_s.pc = static_cast<uint16_t>(3 + 8 * source);
    const unsigned n = std::max(1u, m_board.interruptEntryCycles);
    afterCycles(n, false);
    return n;
}

}  // namespace sim
