#pragma once
// The 8051 instruction set: one instruction decoded and made, its machine
// cycles returned. Inline in the core's step and run loops (sim/Cpu.cpp),
// each of which has it in its own body so that the hot path stays in
// registers; included by that file only.

#include "sim/Access.h"
#include "sim/Sfr.h"

namespace sim {

namespace execution {

inline uint16_t rel(uint16_t pc, uint8_t offset)
{
    return static_cast<uint16_t>(pc + static_cast<int8_t>(offset));
}

// ORL, ANL or XRL to a direct byte, by the opcode's row (4xH, 5xH, 6xH).
inline uint8_t logic(uint8_t op, uint8_t v, uint8_t x)
{
    return static_cast<uint8_t>(op < 0x50 ? v | x : op < 0x60 ? v & x : v ^ x);
}

}  // namespace execution

#define SFR(a) m_s.sfr[(a) - 0x80]
#define ACCU SFR(ACC)
#define PSWR SFR(PSW)
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
    using namespace execution;
    using namespace sfr;
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
    // counts going on with the next instruction as falling through). Its
    // counter's address is worked out here from `at` taken anew (the empty
    // asm hides where it comes from): otherwise the compiler keeps that
    // address of every instruction made in a register of its own, and the
    // observed run's loop loses the one its code table is in.
    auto jump = [&](uint8_t offset) __attribute__((always_inline)) {
        if constexpr (CountJumps) {
            uint16_t here = at;
            asm("" : "+r"(here));
            m_jumpCounts[here] += offset != 0;
        }
        pc = rel(pc, offset);
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

    auto popPc = [&]() __attribute__((always_inline)) {
        const uint8_t high = pop();
        const uint8_t low = pop();
        pc = static_cast<uint16_t>(high << 8 | low);
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
    // profile's) is made as the unmarked one and written down for the
    // observer (a full batch has the loop look at it); any other marked
    // instruction is left to the loop, as a breakpoint is.
    constexpr bool marks = CountJumps && StopAtBreak;
    constexpr uint32_t dispatched = StopAtBreak ? (marks ? kMarkBit : 0) | kBreakBit | 0xFF : 0xFF;
    auto flow = [&]() __attribute__((always_inline)) {
        if constexpr (marks) {
            // Its stack is RAM: nothing clocked its first cycle yet.
            if (word & kMarkBit) {
                m_flows[m_flowCount] = FlowSeen{m_s.cycles + cycles, at, pc, SFR(SP)};
                if (++m_flowCount == kFlowBatch)
                    lookNow();
            }
        }
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
        lookNow();
        return 0;
    case 0x00: break;  // NOP
    case 0x01: case 0x21: case 0x41: case 0x61: case 0x81: case 0xA1: case 0xC1: case 0xE1: {  // AJMP
        const uint8_t low = IMM();
        pc = static_cast<uint16_t>((pc & 0xF800) | ((op & 0xE0) << 3) | low);
        loopClosed();
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
        loopClosed();
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
        popPc();
        cycles = 2;
        flow();
        break;
    }
    case 0x32: case M | 0x32: {  // RETI
        popPc();
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
    case 0xA2: PSWR = static_cast<uint8_t>((PSWR & ~CY) | unsigned{readBit(IMM())} << 7); break;  // MOV C,bit (CY: bit 7)
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

#undef SFR
#undef ACCU
#undef PSWR
#undef R
#undef IMM
#undef FLAG

}  // namespace sim
