#pragma once
// The memory accesses of the instruction loop, inline so that the common
// case costs no call: internal RAM, the SFRs no peripheral looks at or
// changes (A, B, PSW, SP, DPTR and, for reads, IE, IP, TMOD and PCON), the
// port latches and the pins of P0-P2. P3's pins, timers, the UART and every
// access while a watch is set take the full way through readSfr()/writeSfr()
// and watchHit(). Included by the core's sources that run instructions.

#include "sim/Clocking.h"
#include "sim/Machine.h"
#include "sim/Sfr.h"

#include <array>

namespace sim {

namespace access {

// Bit i: SFR 80H+i. Reads that need no clocking of the peripherals first.
constexpr uint64_t plainReadLow = (1ull << 0x01) | (1ull << 0x02) | (1ull << 0x03) | (1ull << 0x07) |
                                  (1ull << 0x09) | (1ull << 0x28) | (1ull << 0x38);
// ... and writes that no peripheral notices.
constexpr uint64_t plainWriteLow = (1ull << 0x01) | (1ull << 0x02) | (1ull << 0x03);
// 0E0H ACC, 0F0H B (bits 80H-FFH of the SFR space). PSW is read the full
// way, as its parity bit is worked out from A only when read, and written
// by writePsw(): the run loop keeps the register bank it selects.
constexpr uint64_t plainReadHigh = (1ull << 0x20) | (1ull << 0x30);
constexpr uint64_t plainWriteHigh = (1ull << 0x20) | (1ull << 0x30);

// TCON, SCON and T2CON: their flags change only when a peripheral's event
// is due, so a read needs no clocking while none is due before the end of
// its instruction (two cycles at most for one that reads an SFR). Where one
// is due, the instruction's first cycle is clocked apart, as with every
// step: a frame's start bit is found at the first tick of the cycles clocked
// together.
constexpr unsigned kFlagReadReach = 2;
constexpr bool isFlagByte(uint8_t address)
{
    return address == sfr::TCON || address == sfr::SCON || address == sfr::T2CON;
}

// What a bit address reaches, for the short ways of a bit read.
enum BitKind : uint8_t { BitInRam, BitPin, BitP3, BitFlag, BitOther };
constexpr auto kBitKind = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned bit = 0; bit < 256; ++bit) {
        const unsigned byte = bit & 0xF8;
        t[bit] = bit < 0x80                       ? BitInRam
                 : byte == sfr::P3                ? BitP3
                 : (bit & 0xC8) == 0x80           ? BitPin
                 : isFlagByte(static_cast<uint8_t>(byte)) ? BitFlag
                                                  : BitOther;
    }
    return t;
}();

inline bool plain(uint64_t low, uint64_t high, uint8_t address)
{
    const unsigned i = address - 0x80u;
    return i < 64 ? (low >> i) & 1 : (high >> (i - 64)) & 1;
}

inline uint8_t bitByte(uint8_t bit)
{
    return bit < 0x80 ? static_cast<uint8_t>(0x20 + (bit >> 3)) : static_cast<uint8_t>(bit & 0xF8);
}

// Bits 80H-87H, 90H-97H, 0A0H-0A7H and 0B0H-0B7H: the pins and latches of P0-P3.
inline bool isPortBit(uint8_t bit)
{
    return (bit & 0xC8) == 0x80;
}

}  // namespace access

// A byte of internal RAM or a plain SFR (DPTR, B, SP: an interpreter's
// registers) inline wherever it is read; any other SFR by readDirectSfr().
template <bool Watches>
[[gnu::always_inline]] inline uint8_t Machine::readDirect(uint8_t address)
{
    if (!watching<Watches>()) {
        if (address < 0x80)
            return m_s.iram[address];
        if (access::plain(access::plainReadLow, access::plainReadHigh, address))
            return m_s.sfr[address - 0x80];
    }
    return readDirectSfr<Watches>(address);
}

// Past readDirect()'s inline cases: any access while a watch is set, and the
// SFRs with pins or flags behind them.
template <bool Watches>
inline uint8_t Machine::readDirectSfr(uint8_t address)
{
    if (!watching<Watches>()) {
        if ((address & 0xCF) == 0x80 && (address != sfr::P3 || quietP3()))  // pins only the outside drives
            return pinLevels((address >> 4) & 3);
        if (access::isFlagByte(address) && m_s.cycles + access::kFlagReadReach < m_dueAt)
            return m_s.sfr[address - 0x80];
    }
    return readDirectFull(address);
}

// Read-modify-write instructions read the port latch, not the pins.
template <bool Watches>
inline uint8_t Machine::readDirectLatch(uint8_t address)
{
    if (address < 0x80 || (address & 0x0F) != 0 || address > sfr::P3)
        return readDirect<Watches>(address);
    if (watching<Watches>())
        watchHit(Space::Sfr, address, false);
    return m_s.sfr[address - 0x80];
}

template <bool Watches>
[[gnu::always_inline]] inline void Machine::writeDirect(uint8_t address, uint8_t value)
{
    if (!watching<Watches>()) {
        if (address < 0x80) {
            m_s.iram[address] = value;
            return;
        }
        if (access::plain(access::plainWriteLow, access::plainWriteHigh, address)) {
            m_s.sfr[address - 0x80] = value;
            return;
        }
        if ((address & 0xCF) == 0x80) {  // P0-P3
            writePort(address, value);
            return;
        }
        if (address == sfr::PSW) {
            writePsw(value);
            return;
        }
    }
    writeDirectFull(address, value);
}

// A new register bank has the run loop take it anew.
inline void Machine::writePsw(uint8_t value)
{
    uint8_t& psw = m_s.sfr[sfr::PSW - 0x80];
    if ((psw ^ value) & sfr::RS)
        lookNow();
    psw = value;
}

// Read-modify-write of a direct byte (INC, DEC, DJNZ, ANL/ORL/XRL direct):
// a byte of RAM in place, an SFR by its latch; returns the new value.
template <bool Watches, class Change>
[[gnu::always_inline]] inline uint8_t Machine::modifyDirect(uint8_t address, Change change)
{
    if (address < 0x80 && !watching<Watches>()) {
        uint8_t& byte = m_s.iram[address];
        byte = change(byte);
        return byte;
    }
    const uint8_t v = change(readDirectLatch<Watches>(address));
    writeDirect<Watches>(address, v);
    return v;
}

template <bool Watches>
inline uint8_t Machine::readIndirect(uint8_t address)
{
    if (watching<Watches>())
        watchHit(Space::Iram, address, false);
    if (address > m_iramMask)
        return 0xFF;  // no RAM above 7FH on a 128-byte chip
    return m_s.iram[address];
}

template <bool Watches>
inline void Machine::writeIndirect(uint8_t address, uint8_t value)
{
    if (watching<Watches>())
        watchHit(Space::Iram, address, true);
    if (address <= m_iramMask)
        m_s.iram[address] = value;
}

template <bool Watches>
[[gnu::always_inline]] inline bool Machine::readBit(uint8_t bit)
{
    const unsigned shift = bit & 7;
    if (!watching<Watches>()) {
        const uint8_t kind = access::kBitKind[bit];
        if (kind == access::BitInRam)
            return (m_s.iram[0x20 + (bit >> 3)] >> shift) & 1;
        if (kind == access::BitPin) {
            const unsigned row = bit & 0x30u;  // pinLevels(row >> 4), the latch found by its row
            return ((m_s.sfr[row] & m_outside[row >> 4]) >> shift) & 1;
        }
        if (kind == access::BitFlag && m_s.cycles + access::kFlagReadReach < m_dueAt)
            return (m_s.sfr[(bit & 0xF8) - 0x80] >> shift) & 1;
        if (kind == access::BitP3 && quietP3())  // a pin only the outside drives
            return (pinLevels(3) >> shift) & 1;
    }
    return (readDirect<Watches>(access::bitByte(bit)) >> shift) & 1;
}

// A bit of a port's latch, no watch set: the instruction loop's most common
// SFR write (a strobe, a chip select, an LED), kept short and inline.
[[gnu::always_inline]] inline void Machine::writePortBit(uint8_t bit, bool value)
{
    latchFirstCycle();
    const unsigned row = bit & 0x30u, shift = bit & 7;  // row: the latch's place among the SFRs (port << 4)
    uint8_t& latch = m_s.sfr[row];
    const unsigned port = row >> 4;
    latch = static_cast<uint8_t>((latch & ~(1u << shift)) | unsigned{value} << shift);
    portWritten(port);
}

template <bool Watches>
inline bool Machine::readBitLatch(uint8_t bit)
{
    return (readDirectLatch<Watches>(access::bitByte(bit)) >> (bit & 7)) & 1;
}

template <bool Watches>
[[gnu::always_inline]] inline void Machine::writeBit(uint8_t bit, bool value)
{
    if (!watching<Watches>()) {
        if (access::isPortBit(bit)) {
            writePortBit(bit, value);
            return;
        }
        if (bit < 0x80) {
            uint8_t& byte = m_s.iram[0x20 + (bit >> 3)];
            const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
            byte = static_cast<uint8_t>(value ? byte | mask : byte & ~mask);
            return;
        }
    }
    writeBitFull(bit, value);
}

template <bool Watches>
inline void Machine::push(uint8_t value)
{
    const uint8_t sp = static_cast<uint8_t>(m_s.sfr[sfr::SP - 0x80] + 1);
    m_s.sfr[sfr::SP - 0x80] = sp;
    writeIndirect<Watches>(sp, value);
}

template <bool Watches>
inline uint8_t Machine::pop()
{
    const uint8_t sp = m_s.sfr[sfr::SP - 0x80];
    m_s.sfr[sfr::SP - 0x80] = static_cast<uint8_t>(sp - 1);
    return readIndirect<Watches>(sp);
}

// The pins behind a port's latch and who is told of them: inline wherever
// an instruction writes a port.
inline void Machine::portWritten(unsigned port)
{
    const uint8_t now = pinLevels(port);
    const uint8_t moved = now ^ m_s.pinsOut[port];
    // Pins no peripheral looks at, reported where reports are only counted
    // (a history with no board to tell): counted here, as pinsMoved() would.
    if (!(moved & m_heard[port])) [[likely]] {
        m_s.pinsOut[port] = now;
        return;
    }
    if (m_pinReports && !(moved & m_watched[port])) {
        m_s.pinsOut[port] = now;
        ++*m_pinReports;
        return;
    }
    pinsMoved(port, now);
}

inline void Machine::reportPins(uint64_t cycle, unsigned port, uint8_t levels)
{
    if (m_pinReports)
        ++*m_pinReports;
    else if (m_listener)
        m_listener->pinsChanged(cycle, port, levels);
}

inline void Machine::writePort(uint8_t address, uint8_t value)
{
    latchFirstCycle();
    m_s.sfr[address - 0x80] = value;
    portWritten((address >> 4) & 3);
}

[[gnu::always_inline]] inline bool Machine::quietP3() const
{
    return !m_s.txActive && (m_board.serial != SerialLine::RealLine || (!m_s.lineActive && m_rxQueue.empty()));
}

inline void Machine::latchFirstCycle()
{
    if (m_s.cycles + 1 >= m_dueAt)
        firstCycle();
}

}  // namespace sim
