// The instruction set: fetch, decode and execute one instruction and return
// its machine cycles; the loops of step() and run() around it.

#include "sim/Access.h"
#include "sim/Sfr.h"

#include <algorithm>
#include <array>
#include <bit>

namespace sim {

using namespace sfr;

#define SFR(a) m_s.sfr[(a) - 0x80]
#define ACCU SFR(ACC)
#define PSWR SFR(PSW)

namespace {

// Length of each conditional jump (JBC JB JNB JC JNC JZ JNZ CJNE DJNZ), 0 for the other opcodes.
constexpr auto kConditionalJumpLength = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned op : {0x10u, 0x20u, 0x30u, 0xD5u})
        t[op] = 3;
    for (unsigned op = 0xB4; op <= 0xBF; ++op)
        t[op] = 3;
    for (unsigned op : {0x40u, 0x50u, 0x60u, 0x70u})
        t[op] = 2;
    for (unsigned op = 0xD8; op <= 0xDF; ++op)
        t[op] = 2;
    return t;
}();

// Parity of every byte: PSW.P follows A.
constexpr auto kParity = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v)
        t[v] = static_cast<uint8_t>(std::popcount(v) & 1);
    return t;
}();

inline uint16_t rel(uint16_t pc, uint8_t offset)
{
    return static_cast<uint16_t>(pc + static_cast<int8_t>(offset));
}

// ORL, ANL or XRL to a direct byte, by the opcode's row (4xH, 5xH, 6xH).
inline uint8_t logic(uint8_t op, uint8_t v, uint8_t x)
{
    return static_cast<uint8_t>(op < 0x50 ? v | x : op < 0x60 ? v & x : v ^ x);
}

}  // namespace

void Machine::setParity()
{
    PSWR = static_cast<uint8_t>((PSWR & ~PAR) | kParity[ACCU]);
}

#define R(n) (m_s.iram + (PSWR & RS))[n]
#define IMM() imm()
#define FLAG(f, on) (PSWR = static_cast<uint8_t>((on) ? PSWR | (f) : PSWR & ~(f)))

// Inline: the run loop and stepOnce() each have it in their own body. The
// program counter is the caller's local, so that it stays in a register
// while the instruction takes its operands; the caller stores it back.
// `word` is the instruction as decoded at pc: the opcode and the two bytes
// after it.
template <bool CountJumps, bool StopAtBreak, bool SkipLoops>
[[gnu::always_inline]] inline unsigned Machine::execute(uint16_t& pc, uint32_t word)
{
    const uint8_t op = static_cast<uint8_t>(word);
    [[maybe_unused]] const uint16_t at = pc;
    // Back to the start of a poll or delay loop: the run loop may make its
    // next turns in one go.
    auto loopClosed = [&]() __attribute__((always_inline)) {
        if constexpr (SkipLoops) {
            if (word & kLoopBit) [[unlikely]]
                skipLoop(at, pc, CountJumps);
        }
    };
    // A conditional jump that jumps (by an offset other than 0: the profile
    // counts going on with the next instruction as falling through).
    auto jump = [&](uint8_t offset) __attribute__((always_inline)) {
        pc = rel(pc, offset);
        if constexpr (CountJumps)
            m_jumpCounts[at] += offset != 0;
        loopClosed();
    };
    ++pc;
    uint32_t operands = word >> kOperandShift;
    auto imm = [&]() __attribute__((always_inline)) -> uint8_t {
        ++pc;
        const auto v = static_cast<uint8_t>(operands);
        operands >>= 8;
        return v;
    };

    auto add = [&](uint8_t b, unsigned carry) __attribute__((always_inline)) {
        const uint8_t a = ACCU;
        const unsigned sum = a + b + carry;
        const unsigned half = (a & 0x0F) + (b & 0x0F) + carry;
        const unsigned low7 = (a & 0x7F) + (b & 0x7F) + carry;
        uint8_t psw = static_cast<uint8_t>(PSWR & ~(CY | AC | OV));
        if (sum > 0xFF)
            psw |= CY;
        if (half > 0x0F)
            psw |= AC;
        if ((sum > 0xFF) != (low7 > 0x7F))
            psw |= OV;
        PSWR = psw;
        ACCU = static_cast<uint8_t>(sum);
    };
    auto subb = [&](uint8_t b) __attribute__((always_inline)) {
        const uint8_t a = ACCU;
        const unsigned carry = (PSWR & CY) ? 1 : 0;
        const int diff = a - b - static_cast<int>(carry);
        const int half = (a & 0x0F) - (b & 0x0F) - static_cast<int>(carry);
        const int low7 = (a & 0x7F) - (b & 0x7F) - static_cast<int>(carry);
        uint8_t psw = static_cast<uint8_t>(PSWR & ~(CY | AC | OV));
        if (diff < 0)
            psw |= CY;
        if (half < 0)
            psw |= AC;
        if ((diff < 0) != (low7 < 0))
            psw |= OV;
        PSWR = psw;
        ACCU = static_cast<uint8_t>(diff);
    };
    auto jumpIf = [&](bool condition) __attribute__((always_inline)) {
        const uint8_t offset = IMM();
        if (condition)
            jump(offset);
    };

    unsigned cycles = 1;
    auto cjne = [&](uint8_t left, uint8_t right) __attribute__((always_inline)) {
        const uint8_t offset = IMM();
        FLAG(CY, left < right);
        if (left != right)
            jump(offset);
        cycles = 2;
    };
    // The opcode with, in a run that stops at breakpoints, the breakpoint bit
    // (and in an observed one the mark): every value has its case, so that
    // the dispatch is one jump through a table. A marked call or return (the
    // profile's) is made as the unmarked one and has the loop look at it; any
    // other marked instruction is left to the loop, as a breakpoint is.
    constexpr bool marks = CountJumps && StopAtBreak;
    constexpr uint32_t dispatched = StopAtBreak ? (marks ? kMarkBit : 0) | kBreakBit | 0xFF : 0xFF;
    auto flow = [&]() __attribute__((always_inline)) {
        if constexpr (marks)
            if (word & kMarkBit)
                m_lookAt = 0;
    };
    // The labels of marked instructions (without marks, values no dispatch reaches).
    constexpr uint32_t M = marks ? kMarkBit : 1u << 11;
    switch (word & dispatched) {
    case kBreakBit ... kBreakBit | 0xFF:  // a breakpoint: the instruction is not made
    case M | kBreakBit ... M | kBreakBit | 0xFF:
    // A marked one other than a call or return: the loop makes it.
    case M | 0x00 ... M | 0x10: case M | 0x13 ... M | 0x21: case M | 0x23 ... M | 0x30: case M | 0x33 ... M | 0x50:
    case M | 0x52 ... M | 0x70: case M | 0x72 ... M | 0x90: case M | 0x92 ... M | 0xB0: case M | 0xB2 ... M | 0xD0:
    case M | 0xD2 ... M | 0xF0: case M | 0xF2 ... M | 0xFF:
        pc = at;
        m_lookAt = 0;
        return 0;
    case 0x00: break;  // NOP
    case 0x01: case 0x21: case 0x41: case 0x61: case 0x81: case 0xA1: case 0xC1: case 0xE1: {  // AJMP
        const uint8_t low = IMM();
        pc = static_cast<uint16_t>((pc & 0xF800) | ((op & 0xE0) << 3) | low);
        cycles = 2;
        break;
    }
    case 0x11: case 0x31: case 0x51: case 0x71: case 0x91: case 0xB1: case 0xD1: case 0xF1:  // ACALL
    case M | 0x11: case M | 0x31: case M | 0x51: case M | 0x71: case M | 0x91: case M | 0xB1: case M | 0xD1:
    case M | 0xF1: {
        const uint8_t low = IMM();
        push(static_cast<uint8_t>(pc));
        push(static_cast<uint8_t>(pc >> 8));
        pc = static_cast<uint16_t>((pc & 0xF800) | ((op & 0xE0) << 3) | low);
        cycles = 2;
        flow();
        break;
    }
    case 0x02: {  // LJMP
        const uint8_t high = IMM();
        const uint8_t low = IMM();
        pc = static_cast<uint16_t>(high << 8 | low);
        cycles = 2;
        break;
    }
    case 0x12: case M | 0x12: {  // LCALL
        const uint8_t high = IMM();
        const uint8_t low = IMM();
        push(static_cast<uint8_t>(pc));
        push(static_cast<uint8_t>(pc >> 8));
        pc = static_cast<uint16_t>(high << 8 | low);
        cycles = 2;
        flow();
        break;
    }
    case 0x22: case M | 0x22: {  // RET
        const uint8_t high = pop();
        const uint8_t low = pop();
        pc = static_cast<uint16_t>(high << 8 | low);
        cycles = 2;
        flow();
        break;
    }
    case 0x32: case M | 0x32: {  // RETI
        const uint8_t high = pop();
        const uint8_t low = pop();
        pc = static_cast<uint16_t>(high << 8 | low);
        if (m_s.inService & 2)
            m_s.inService &= 1;
        else
            m_s.inService = 0;
        m_s.holdOff = 1;
        needPoll();
        cycles = 2;
        flow();
        break;
    }
    case 0x03: ACCU = static_cast<uint8_t>(ACCU >> 1 | ACCU << 7); break;  // RR A
    case 0x23: ACCU = static_cast<uint8_t>(ACCU << 1 | ACCU >> 7); break;  // RL A
    case 0x13: {  // RRC A
        const bool c = ACCU & 1;
        ACCU = static_cast<uint8_t>(ACCU >> 1 | ((PSWR & CY) ? 0x80 : 0));
        FLAG(CY, c);
        break;
    }
    case 0x33: {  // RLC A
        const bool c = ACCU & 0x80;
        ACCU = static_cast<uint8_t>(ACCU << 1 | ((PSWR & CY) ? 1 : 0));
        FLAG(CY, c);
        break;
    }
    case 0x04: ++ACCU; break;
    case 0x14: --ACCU; break;
    case 0x05: case 0x15: {  // INC/DEC direct
        const uint8_t address = IMM();
        modifyDirect(address, [op](uint8_t v) { return static_cast<uint8_t>(op == 0x05 ? v + 1 : v - 1); });
        break;
    }
    case 0x06: case 0x07: case 0x16: case 0x17: {  // INC/DEC @Ri
        const uint8_t address = R(op & 1);
        const uint8_t v = readIndirect(address);
        writeIndirect(address, static_cast<uint8_t>(op < 0x10 ? v + 1 : v - 1));
        break;
    }
    case 0x08: case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x0E: case 0x0F: ++R(op & 7); break;
    case 0x18: case 0x19: case 0x1A: case 0x1B: case 0x1C: case 0x1D: case 0x1E: case 0x1F: --R(op & 7); break;
    case 0x10: {  // JBC bit,rel
        const uint8_t bit = IMM();
        const uint8_t offset = IMM();
        if (readBit(bit)) {
            writeBit(bit, false);
            jump(offset);
        }
        cycles = 2;
        break;
    }
    case 0x20: case 0x30: {  // JB, JNB
        const uint8_t bit = IMM();
        const uint8_t offset = IMM();
        if (readBit(bit) == (op == 0x20))
            jump(offset);
        cycles = 2;
        break;
    }
    case 0x40: jumpIf(PSWR & CY); cycles = 2; break;
    case 0x50: jumpIf(!(PSWR & CY)); cycles = 2; break;
    case 0x60: jumpIf(ACCU == 0); cycles = 2; break;
    case 0x70: jumpIf(ACCU != 0); cycles = 2; break;
    case 0x80: {  // SJMP
        const uint8_t offset = IMM();
        pc = rel(pc, offset);
        loopClosed();
        cycles = 2;
        break;
    }
    // Each column of a row its own case, so that the dispatch alone picks the
    // operand's addressing mode.
#define OPERAND_ROW(row, use)                                                                       \
    case (row) + 4: use(IMM()); break;                                                              \
    case (row) + 5: use(readDirect(IMM())); break;                                                  \
    case (row) + 6: case (row) + 7: use(readIndirect(R(op & 1))); break;                            \
    case (row) + 8: case (row) + 9: case (row) + 10: case (row) + 11: case (row) + 12: case (row) + 13: \
    case (row) + 14: case (row) + 15: use(R(op & 7)); break;
#define ADD(x) add((x), 0)
#define ADDC(x) add((x), (PSWR & CY) ? 1 : 0)
#define SUBB(x) subb(x)
#define ORL(x) (ACCU |= (x))
#define ANL(x) (ACCU &= (x))
#define XRL(x) (ACCU ^= (x))
    OPERAND_ROW(0x20, ADD)
    OPERAND_ROW(0x30, ADDC)
    OPERAND_ROW(0x90, SUBB)
    OPERAND_ROW(0x40, ORL)
    OPERAND_ROW(0x50, ANL)
    OPERAND_ROW(0x60, XRL)
#undef ADD
#undef ADDC
#undef SUBB
#undef ORL
#undef ANL
#undef XRL
#undef OPERAND_ROW
    case 0x42: case 0x52: case 0x62: {  // ORL/ANL/XRL direct,A
        const uint8_t address = IMM();
        const uint8_t a = ACCU;
        modifyDirect(address, [op, a](uint8_t v) { return logic(op, v, a); });
        break;
    }
    case 0x43: case 0x53: case 0x63: {  // ORL/ANL/XRL direct,#data
        const uint8_t address = IMM();
        const uint8_t data = IMM();
        modifyDirect(address, [op, data](uint8_t v) { return logic(op, v, data); });
        cycles = 2;
        break;
    }
    case 0x72: { const bool b = readBit(IMM()); FLAG(CY, (PSWR & CY) || b); cycles = 2; break; }   // ORL C,bit
    case 0xA0: { const bool b = readBit(IMM()); FLAG(CY, (PSWR & CY) || !b); cycles = 2; break; }  // ORL C,/bit
    case 0x82: { const bool b = readBit(IMM()); FLAG(CY, (PSWR & CY) && b); cycles = 2; break; }   // ANL C,bit
    case 0xB0: { const bool b = readBit(IMM()); FLAG(CY, (PSWR & CY) && !b); cycles = 2; break; }  // ANL C,/bit
    case 0xA2: FLAG(CY, readBit(IMM())); break;                                     // MOV C,bit
    case 0x92: writeBit(IMM(), PSWR & CY); cycles = 2; break;                       // MOV bit,C
    case 0xB2: { const uint8_t bit = IMM(); writeBit(bit, !readBitLatch(bit)); break; }  // CPL bit
    case 0xC2: writeBit(IMM(), false); break;                                       // CLR bit
    case 0xD2: writeBit(IMM(), true); break;                                        // SETB bit
    case 0xB3: PSWR ^= CY; break;
    case 0xC3: PSWR &= static_cast<uint8_t>(~CY); break;
    case 0xD3: PSWR |= CY; break;
    case 0x73: pc = static_cast<uint16_t>(ACCU + (SFR(DPH) << 8 | SFR(DPL))); cycles = 2; break;  // JMP @A+DPTR
    case 0x74: ACCU = IMM(); break;
    case 0x75: { const uint8_t address = IMM(); writeDirect(address, IMM()); cycles = 2; break; }
    case 0x76: case 0x77: writeIndirect(R(op & 1), IMM()); break;
    case 0x78: case 0x79: case 0x7A: case 0x7B: case 0x7C: case 0x7D: case 0x7E: case 0x7F: R(op & 7) = IMM(); break;
    case 0x83: {  // MOVC A,@A+PC
        const uint16_t address = static_cast<uint16_t>(pc + ACCU);
        if (m_anyWatch)
            watchHit(Space::Code, address, false);
        ACCU = fetchCode(address);
        cycles = 2;
        break;
    }
    case 0x93: {  // MOVC A,@A+DPTR
        const uint16_t address = static_cast<uint16_t>(ACCU + (SFR(DPH) << 8 | SFR(DPL)));
        if (m_anyWatch)
            watchHit(Space::Code, address, false);
        ACCU = fetchCode(address);
        cycles = 2;
        break;
    }
    case 0x84: {  // DIV AB
        const uint8_t b = SFR(B);
        uint8_t psw = static_cast<uint8_t>(PSWR & ~(CY | OV));
        if (b == 0) {
            psw |= OV;
        } else {
            const uint8_t a = ACCU;
            ACCU = static_cast<uint8_t>(a / b);
            SFR(B) = static_cast<uint8_t>(a % b);
        }
        PSWR = psw;
        cycles = 4;
        break;
    }
    case 0xA4: {  // MUL AB
        const unsigned product = ACCU * SFR(B);
        ACCU = static_cast<uint8_t>(product);
        SFR(B) = static_cast<uint8_t>(product >> 8);
        PSWR = static_cast<uint8_t>((PSWR & ~(CY | OV)) | (product > 0xFF ? OV : 0));
        cycles = 4;
        break;
    }
    case 0x85: {  // MOV direct,direct (source first)
        const uint8_t source = IMM();
        const uint8_t dest = IMM();
        writeDirect(dest, readDirect(source));
        cycles = 2;
        break;
    }
    case 0x86: case 0x87: writeDirect(IMM(), readIndirect(R(op & 1))); cycles = 2; break;
    case 0x88: case 0x89: case 0x8A: case 0x8B: case 0x8C: case 0x8D: case 0x8E: case 0x8F:
        writeDirect(IMM(), R(op & 7));
        cycles = 2;
        break;
    case 0x90: {  // MOV DPTR,#data16
        const uint8_t high = IMM();
        const uint8_t low = IMM();
        SFR(DPH) = high;
        SFR(DPL) = low;
        cycles = 2;
        break;
    }
    case 0xA3: {  // INC DPTR
        const uint16_t dptr = static_cast<uint16_t>((SFR(DPH) << 8 | SFR(DPL)) + 1);
        SFR(DPL) = static_cast<uint8_t>(dptr);
        SFR(DPH) = static_cast<uint8_t>(dptr >> 8);
        cycles = 2;
        break;
    }
    case 0xA5: break;  // reserved: executes as a one-cycle no-operation
    case 0xA6: case 0xA7: writeIndirect(R(op & 1), readDirect(IMM())); cycles = 2; break;
    case 0xA8: case 0xA9: case 0xAA: case 0xAB: case 0xAC: case 0xAD: case 0xAE: case 0xAF:
        R(op & 7) = readDirect(IMM());
        cycles = 2;
        break;
    case 0xB4: {  // CJNE A,#data,rel
        const uint8_t left = ACCU;
        cjne(left, IMM());
        break;
    }
    case 0xB5: {  // CJNE A,direct,rel
        const uint8_t right = readDirect(IMM());
        cjne(ACCU, right);
        break;
    }
    case 0xB6: case 0xB7: {  // CJNE @Ri,#data,rel
        const uint8_t left = readIndirect(R(op & 1));
        cjne(left, IMM());
        break;
    }
    case 0xB8: case 0xB9: case 0xBA: case 0xBB: case 0xBC: case 0xBD: case 0xBE: case 0xBF: {  // CJNE Rn,#data,rel
        const uint8_t left = R(op & 7);
        cjne(left, IMM());
        break;
    }
    case 0xC0: push(readDirect(IMM())); cycles = 2; break;
    case 0xD0: { const uint8_t address = IMM(); writeDirect(address, pop()); cycles = 2; break; }
    case 0xC4: ACCU = static_cast<uint8_t>(ACCU << 4 | ACCU >> 4); break;
    case 0xC5: {  // XCH A,direct
        const uint8_t address = IMM();
        const uint8_t v = readDirect(address);
        writeDirect(address, ACCU);
        ACCU = v;
        break;
    }
    case 0xC6: case 0xC7: {
        const uint8_t address = R(op & 1);
        const uint8_t v = readIndirect(address);
        writeIndirect(address, ACCU);
        ACCU = v;
        break;
    }
    case 0xC8: case 0xC9: case 0xCA: case 0xCB: case 0xCC: case 0xCD: case 0xCE: case 0xCF: {
        const uint8_t v = R(op & 7);
        R(op & 7) = ACCU;
        ACCU = v;
        break;
    }
    case 0xD4: {  // DA A
        unsigned a = ACCU;
        bool carry = PSWR & CY;
        if ((a & 0x0F) > 9 || (PSWR & AC)) {
            a += 6;
            carry = carry || a > 0xFF;
            a &= 0xFF;
        }
        if ((a >> 4) > 9 || carry) {
            a += 0x60;
            carry = carry || a > 0xFF;
        }
        ACCU = static_cast<uint8_t>(a);
        FLAG(CY, carry);
        break;
    }
    case 0xD5: {  // DJNZ direct,rel
        const uint8_t address = IMM();
        const uint8_t offset = IMM();
        if (modifyDirect(address, [](uint8_t v) { return static_cast<uint8_t>(v - 1); }))
            jump(offset);
        cycles = 2;
        break;
    }
    case 0xD6: case 0xD7: {  // XCHD A,@Ri
        const uint8_t address = R(op & 1);
        const uint8_t v = readIndirect(address);
        writeIndirect(address, static_cast<uint8_t>((v & 0xF0) | (ACCU & 0x0F)));
        ACCU = static_cast<uint8_t>((ACCU & 0xF0) | (v & 0x0F));
        break;
    }
    case 0xD8: case 0xD9: case 0xDA: case 0xDB: case 0xDC: case 0xDD: case 0xDE: case 0xDF: {
        const uint8_t offset = IMM();
        if (--R(op & 7))
            jump(offset);
        cycles = 2;
        break;
    }
    case 0xE0: ACCU = readXram(static_cast<uint16_t>(SFR(DPH) << 8 | SFR(DPL))); cycles = 2; break;
    case 0xE2: case 0xE3: ACCU = readXram(static_cast<uint16_t>(SFR(P2) << 8 | R(op & 1))); cycles = 2; break;
    case 0xF0: writeXram(static_cast<uint16_t>(SFR(DPH) << 8 | SFR(DPL)), ACCU); cycles = 2; break;
    case 0xF2: case 0xF3: writeXram(static_cast<uint16_t>(SFR(P2) << 8 | R(op & 1)), ACCU); cycles = 2; break;
    case 0xE4: ACCU = 0; break;
    case 0xF4: ACCU = static_cast<uint8_t>(~ACCU); break;
    case 0xE5: ACCU = readDirect(IMM()); break;
    case 0xE6: case 0xE7: ACCU = readIndirect(R(op & 1)); break;
    case 0xE8: case 0xE9: case 0xEA: case 0xEB: case 0xEC: case 0xED: case 0xEE: case 0xEF: ACCU = R(op & 7); break;
    case 0xF5: writeDirect(IMM(), ACCU); break;
    case 0xF6: case 0xF7: writeIndirect(R(op & 1), ACCU); break;
    case 0xF8: case 0xF9: case 0xFA: case 0xFB: case 0xFC: case 0xFD: case 0xFE: case 0xFF: R(op & 7) = ACCU; break;
    }
    return cycles;
}

// ---- the instruction loop ----------------------------------------------------

unsigned Machine::step()
{
    const unsigned n = stepOnce();
    catchUp();
    return n;
}

unsigned Machine::stepOnce()
{
    if (m_s.powerDown)
        return 0;
    if (m_s.pendingSource != 0xFF) {
        ++m_otherSteps;
        return interrupt();
    }
    if (m_s.idle) {
        ++m_otherSteps;
        afterCycles(1, true);
        return 1;
    }
    if (m_anyWatch) {
        ++m_counts[m_s.pc];
        return watchedStep();
    }
    uint16_t pc = m_s.pc;
    return plainStep(pc, m_decoded[pc]);
}

// With EA clear and no RETI or IE/IP write just done the poll finds nothing,
// and it need not look again until one of those (or a flag) changes.
[[gnu::always_inline]] inline void Machine::pollIfNeeded()
{
    if (!m_pollNeeded)
        return;
    if (m_s.holdOff || (SFR(IE) & 0x80))
        pollInterrupts();
    else
        m_pollNeeded = false;
}

// The peripherals see the instruction's SFR writes from its second cycle on
// (a timer started by SETB TR0 counts from the next instruction, one reloaded
// by a 2-cycle MOV counts once after the new value); its SFR reads see the
// first cycle counted.
template <bool CountJumps>
[[gnu::always_inline]] inline unsigned Machine::executeClocked(uint16_t& pc, uint32_t word)
{
    m_firstCyclePending = true;
    const unsigned n = execute<CountJumps>(pc, word);
    m_s.pc = pc;
    ++m_s.instructions;
    const unsigned rest = n - (m_firstCyclePending ? 0 : 1);
    m_firstCyclePending = false;
    tick(rest);
    return n;
}

[[gnu::always_inline]] inline unsigned Machine::plainStep(uint16_t& pc, uint32_t word)
{
    ++m_counts[pc];
    const unsigned n = executeClocked(pc, word);
    pollIfNeeded();
    return n;
}

// A step while watches are set: the registers the instructions reach without
// an address (A, B, PSW, SP, DPTR, R0-R7 of the bank) count as written when
// they change.
unsigned Machine::watchedStep()
{
    static constexpr uint8_t implicit[] = {0xE0, 0xF0, 0xD0, 0x81, 0x82, 0x83};
    uint8_t before[6 + 8];
    const unsigned bank = PSWR & RS;
    for (unsigned i = 0; i < 6; ++i)
        before[i] = m_s.sfr[implicit[i] - 0x80];
    std::copy(m_s.iram + bank, m_s.iram + bank + 8, before + 6);
    uint16_t pc = m_s.pc;
    const unsigned n = executeClocked(pc, m_decoded[pc]);
    for (unsigned i = 0; i < 6; ++i)
        if (before[i] != m_s.sfr[implicit[i] - 0x80] && implicit[i] != 0xD0)
            watchHit(Space::Sfr, implicit[i], true);
    if ((before[2] ^ PSWR) & 0xFE)  // PSW, not counting P (it follows A)
        watchHit(Space::Sfr, 0xD0, true);
    for (unsigned i = 0; i < 8; ++i)
        if (before[6 + i] != m_s.iram[bank + i])
            watchHit(Space::Iram, bank + i, true);
    pollIfNeeded();
    return n;
}

Stop Machine::run(uint64_t cycleBudget)
{
    const Stop stop = !m_record         ? runFor<RunMode::Bare>(cycleBudget)
                      : m_record->trace ? runFor<RunMode::Traced>(cycleBudget)
                                        : runFor<RunMode::Observed>(cycleBudget);
    catchUp();
    return stop;
}

// The trace of the step about to be made; false when the record ends the run before it.
bool Machine::recordStep(uint16_t pc)
{
    RunRecord& record = *m_record;
    if (record.next == record.stopAt)
        return false;
    const uint32_t kind = m_s.pendingSource != 0xFF ? RunRecord::kNoInstruction | RunRecord::kInterruptEntry
                          : m_s.idle                ? RunRecord::kNoInstruction
                                                    : 0;
    record.trace[record.next++ & record.mask] = pc | kind;
    return true;
}

// The run loop reached a breakpoint: the instruction there was counted as
// made but was not.
void Machine::breakpointHit(uint16_t at)
{
    --m_s.instructions;
    --m_counts[at];
    m_hit = Hit{Space::Code, at, false};
}

// A marked instruction of an observed run, made: handed to the observer.
void Machine::flowStep(uint16_t at, unsigned cycles)
{
    if (m_record->observer)
        m_record->observer->stepped(*this, StepSeen{StepSeen::Kind::Instruction, at, 0, cycles, m_s.cycles - cycles});
}

unsigned Machine::observedStep()
{
    const uint16_t at = m_s.pc;
    uint16_t pc = at;
    const uint32_t word = m_decoded[at];
    const unsigned n = executeClocked<true>(pc, word);
    pollIfNeeded();
    if (word & kMarkBit)
        flowStep(at, n);
    return n;
}

// Plain instructions go round the short loop; anything unusual (an interrupt
// entry, idle, power-down, watches, a condition) takes one turn of the full
// one. An observed run counts the conditional jumps that jump and tells the
// observer of its marked steps (a call or return makes the loop look at it
// as a due peripheral does, any other is made by observedStep()); a traced
// one (steps made again) writes each step's PC into the record's ring and ends at its step
// limit, past breakpoints, counting no executions (they were counted once).
//
// A plain instruction costs few tests of its own: its breakpoint is a case
// of the opcode's dispatch, its first cycle stays marked pending between the
// short loop's instructions (an SFR access that clocks it lowers m_lookAt),
// and one comparison with m_lookAt tells whether that happened, peripherals
// are due, an interrupt poll is needed or the run's budget is spent.
template <Machine::RunMode Mode>
Stop Machine::runFor(uint64_t cycleBudget)
{
    constexpr bool Observed = Mode == RunMode::Observed;
    constexpr bool Traced = Mode == RunMode::Traced;
    const uint64_t end = m_s.cycles + cycleBudget;
    m_watchTripped = false;
    settleAttention();
    // The program counter of plain steps stays in a register here (no
    // listener moves it in the middle of an instruction); m_s.pc follows it.
    uint16_t pc = m_s.pc;
    const bool breaks = !Traced;
    if constexpr (Observed) {
        if (!m_record->taken && m_jumpScratch.empty())
            m_jumpScratch.resize(65536);
        m_jumpCounts = m_record->taken ? m_record->taken : m_jumpScratch.data();
    }
    // A breakpoint where the run starts does not stop it.
    bool first = true;
    if (!m_attention.load(std::memory_order_relaxed) && m_s.cycles < end) {
        const uint32_t word = m_decoded[pc];
        if constexpr (Traced) {
            if (!recordStep(pc))
                return Stop::CycleLimit;
            executeClocked(pc, word);
            pollIfNeeded();
        } else if constexpr (Observed) {
            ++m_counts[pc];
            observedStep();
            pc = m_s.pc;
        } else {
            plainStep(pc, word);
        }
        first = false;
    }
    if (m_s.cycles >= end)
        return Stop::CycleLimit;
    // The tables never move: their addresses stay in registers.
    const uint32_t* const decoded = m_decoded.data();
    uint32_t* const counts = m_counts.data();
    m_lookAt = 0;
    m_firstCyclePending = true;
    Stop stop = Stop::CycleLimit;
    for (;;) {
        if (!m_attention.load(std::memory_order_relaxed)) [[likely]] {
            const uint32_t word = decoded[pc];
            if constexpr (Traced) {
                if (!recordStep(pc))
                    break;
            } else {
                ++counts[pc];
            }
            const uint16_t at = pc;
            const unsigned n = execute<Observed, !Traced, !Traced>(pc, word);
            m_s.pc = pc;
            ++m_s.instructions;
            m_s.cycles += n;
            if (m_s.cycles >= m_lookAt) [[unlikely]] {
                if (!Traced && !n) {
                    if (!Observed || m_breaks[at]) {
                        breakpointHit(at);
                        stop = Stop::Breakpoint;
                        break;
                    }
                    // A marked instruction of an observed run other than a
                    // call or return, not made by the dispatch: made here.
                    --m_s.instructions;
                    observedStep();
                    pc = m_s.pc;
                    if (m_s.cycles >= end)
                        break;
                    m_firstCyclePending = true;
                    m_lookAt = m_pollNeeded ? 0 : std::min(m_dueAt, end);
                    continue;
                }
                unsigned rest = n;
                if (!m_firstCyclePending) {  // an SFR access clocked the first cycle
                    --rest;
                    --m_s.cycles;
                }
                m_firstCyclePending = false;
                if (m_s.cycles >= m_dueAt)
                    due(rest);
                pollIfNeeded();
                if constexpr (Observed) {
                    if (word & kMarkBit)  // a call or return: the observer hears of it now
                        flowStep(at, n);
                }
                if (m_s.cycles >= end)
                    break;
                m_firstCyclePending = true;
                m_lookAt = m_pollNeeded ? 0 : std::min(m_dueAt, end);
            }
            continue;
        }
        m_firstCyclePending = false;
        if (m_stopRequest.load(std::memory_order_relaxed)) {
            m_stopRequest.store(false, std::memory_order_relaxed);
            return Stop::Requested;
        }
        if (m_s.powerDown)
            return Stop::PowerDown;
        if (!first && breaks && m_breaks[m_s.pc] && !m_s.idle &&
            (m_s.pendingSource == 0xFF || (m_record && m_record->breakBeforeEntries))) {
            m_hit = Hit{Space::Code, m_s.pc, false};
            return Stop::Breakpoint;
        }
        if (!first && breaks && m_s.pendingSource != 0xFF && m_record && m_record->stopBeforeEntries) {
            m_hit = Hit{Space::Code, m_s.pc, false};
            return Stop::Breakpoint;
        }
        first = false;
        if constexpr (Mode != RunMode::Bare) {
            const StepSeen::Kind kind = m_s.pendingSource != 0xFF ? StepSeen::Kind::InterruptEntry
                                        : m_s.idle                ? StepSeen::Kind::Idle
                                                                  : StepSeen::Kind::Instruction;
            const uint16_t at = m_s.pc;
            const uint8_t source = m_s.pendingSource;
            const uint64_t before = m_s.cycles;
            const uint32_t word = m_decoded[at];
            if (Traced && !recordStep(at))
                return Stop::CycleLimit;
            if (Traced && kind == StepSeen::Kind::Instruction)
                --m_counts[at];  // stepOnce() counts it: made again, it was counted once
            const unsigned n = stepOnce();
            if constexpr (Observed) {
                if (kind != StepSeen::Kind::Instruction) {
                    if (m_record->observer)
                        m_record->observer->stepped(*this, StepSeen{kind, at, source, n, before});
                } else if (word & kMarkBit) {
                    flowStep(at, n);
                } else if (const unsigned length = kConditionalJumpLength[static_cast<uint8_t>(word)]; length && n) {
                    m_jumpCounts[at] += m_s.pc != static_cast<uint16_t>(at + length);  // as execute<true>() counts
                }
            }
        } else {
            stepOnce();
        }
        pc = m_s.pc;
        settleAttention();
        if (m_watchTripped) {
            m_watchTripped = false;
            return Stop::Watch;
        }
        if (m_condition && m_condition(*this, m_conditionContext))
            return Stop::Condition;
        if (m_s.cycles >= end)
            return Stop::CycleLimit;
        m_firstCyclePending = true;
        m_lookAt = m_pollNeeded ? 0 : std::min(m_dueAt, end);
    }
    m_firstCyclePending = false;
    return stop;
}

}  // namespace sim
