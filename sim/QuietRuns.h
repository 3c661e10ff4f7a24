#pragma once
// Quiet runs: straight-line instructions that only reach internal RAM, the
// registers, the plain SFRs (A, B, PSW, SP, DPTR and, read, IE, IP, TMOD,
// PCON), code memory or the pins of P0-P2, never clock a peripheral and never
// jump. Where such a run ends before m_lookAt, nothing falls due inside it:
// the run loop (sim/Cpu.cpp) looks at its clock once, at the run's first
// instruction, and goes from each of the others to the next without the
// look and without storing the clock, the count and the program counter.
// A run may end in a jump, call or return that reaches only what a quiet
// instruction does and closes no loop: made as the run's last instruction
// (in an observed run also where the profile wants the call or return
// written down: at the clock the run keeps).
//
// A run stops at the end of its 16-byte block of code, so that a decoded
// word depends only on the bytes and breakpoints of its block and the two
// bytes after it: a change there makes only those words decoded again
// (Machine::forgetWords()).

#include "sim/Access.h"
#include "sim/Sfr.h"

#include <array>
#include <cstdint>

namespace sim::quiet {

// What a quiet instruction's operand must be, by opcode.
enum Kind : uint8_t {
    Never,          // jumps, calls, returns, MOVX: never quiet
    Always,         // registers, A, @Ri, immediates, code
    ReadsDirect,    // the first operand byte, a direct address read
    WritesDirect,   // ... written
    ChangesDirect,  // ... read and written (INC, DEC, ORL/ANL/XRL direct, XCH)
    CopiesDirect,   // MOV direct,direct: the first read, the second written
    ReadsBit,       // the first operand byte, a bit read
    WritesBit,      // ... written (CLR, SETB, CPL, MOV bit,C)
    // Jumps, calls and returns that may end a quiet run: made after it with
    // the run's look, as its last instruction, where no loop closes there.
    Ends,             // any operand (registers, A, @Ri, C, the stack)
    EndsTestingBit,   // JB, JNB, JBC: the first operand byte, a bit in RAM
    EndsReadingDirect,   // CJNE A,direct
    EndsChangingDirect,  // DJNZ direct
};

inline constexpr unsigned kBlock = 16;

inline constexpr auto kKind = [] {
    std::array<Kind, 256> t{};
    auto set = [&](Kind kind, std::initializer_list<unsigned> ops) {
        for (unsigned op : ops)
            t[op] = kind;
    };
    // The arithmetic and logic rows: #data, direct, @Ri, Rn.
    for (unsigned row : {0x20u, 0x30u, 0x40u, 0x50u, 0x60u, 0x90u}) {
        t[row + 4] = Always;
        t[row + 5] = ReadsDirect;
        for (unsigned op = row + 6; op <= row + 15; ++op)
            t[op] = Always;
    }
    set(Always, {0x00, 0x03, 0x13, 0x23, 0x33, 0x04, 0x14, 0x06, 0x07, 0x16, 0x17, 0x74, 0x76, 0x77, 0x83, 0x84,
                 0x90, 0x93, 0xA3, 0xA4, 0xA5, 0xB3, 0xC3, 0xC4, 0xC6, 0xC7, 0xD3, 0xD4, 0xD6, 0xD7, 0xE4, 0xE6,
                 0xE7, 0xF4, 0xF6, 0xF7});
    for (unsigned r = 0; r < 8; ++r)
        set(Always, {0x08 + r, 0x18 + r, 0x78 + r, 0xC8 + r, 0xE8 + r, 0xF8 + r});
    for (unsigned r = 0; r < 8; ++r) {
        t[0xA8 + r] = ReadsDirect;   // MOV Rn,direct
        t[0x88 + r] = WritesDirect;  // MOV direct,Rn
    }
    set(ReadsDirect, {0xA6, 0xA7, 0xC0, 0xE5});
    set(WritesDirect, {0x75, 0x86, 0x87, 0xD0, 0xF5});
    set(ChangesDirect, {0x05, 0x15, 0x42, 0x43, 0x52, 0x53, 0x62, 0x63, 0xC5});
    set(CopiesDirect, {0x85});
    set(ReadsBit, {0x72, 0x82, 0xA0, 0xA2, 0xB0});
    set(WritesBit, {0x92, 0xB2, 0xC2, 0xD2});
    for (unsigned i = 0; i < 8; ++i)
        set(Ends, {(i << 5) | 0x01, (i << 5) | 0x11, 0xB8 + i, 0xD8 + i});  // AJMP, ACALL, CJNE Rn, DJNZ Rn
    set(Ends, {0x02, 0x12, 0x22, 0x40, 0x50, 0x60, 0x70, 0x73, 0x80, 0xB4, 0xB6, 0xB7});
    set(EndsTestingBit, {0x10, 0x20, 0x30});
    set(EndsReadingDirect, {0xB5});
    set(EndsChangingDirect, {0xD5});
    return t;
}();

// A direct address an instruction reads with no peripheral clocked.
inline bool readsQuietly(uint8_t address)
{
    return address < 0x80 || address == sfr::P0 || address == sfr::P1 || address == sfr::P2 ||
           access::plain(access::plainReadLow, access::plainReadHigh, address);
}

inline bool writesQuietly(uint8_t address)
{
    return address < 0x80 || access::plain(access::plainWriteLow, access::plainWriteHigh, address);
}

constexpr bool endsRuns(Kind kind)
{
    return kind >= Ends;
}

// The instruction `op first second` is quiet (a jump that may end a run:
// its operands are).
inline bool isQuiet(uint8_t op, uint8_t first, uint8_t second)
{
    switch (kKind[op]) {
    case Never: return false;
    case Ends: return true;
    case EndsTestingBit: return first < 0x80;
    case EndsReadingDirect: return readsQuietly(first);
    case EndsChangingDirect: return readsQuietly(first) && writesQuietly(first);
    case Always: return true;
    case ReadsDirect: return readsQuietly(first);
    case WritesDirect: return writesQuietly(first);
    case ChangesDirect: return readsQuietly(first) && writesQuietly(first);
    case CopiesDirect: return readsQuietly(first) && writesQuietly(second);
    case ReadsBit: return access::kBitKind[first] == access::BitInRam || access::kBitKind[first] == access::BitPin;
    case WritesBit: return first < 0x80;
    }
    return false;
}

}  // namespace sim::quiet
