#pragma once
// The 8051 instruction set: which handler makes each opcode, the helpers
// and macros of the handlers' bodies, and execute(), one instruction decoded
// and made, its machine cycles returned. The bodies
// (sim/InstructionBodies.inc) are written once and expanded twice: here as
// the cases of a switch, inline in the core's step loops, and in the run
// loop (sim/Cpu.cpp) as the labels of its threaded dispatch, each with its
// own copy of the loop's tail. Included by sim/Cpu.cpp only.

#include "sim/Access.h"
#include "sim/LittleEndian.h"
#include "sim/QuietRuns.h"
#include "sim/Sfr.h"

#include <array>
#include <cstdint>
#include <initializer_list>

namespace sim {

namespace execution {

// ORL, ANL or XRL to a direct byte, by the opcode's row (4xH, 5xH, 6xH).
inline uint8_t logic(uint8_t op, uint8_t v, uint8_t x)
{
    return static_cast<uint8_t>(op < 0x50 ? v | x : op < 0x60 ? v & x : v ^ x);
}

// The handlers and the opcodes each makes. A row of the arithmetic and logic
// instructions has a handler per column, so that the dispatch alone picks the
// operand's addressing mode.
#define M51_OPERAND_ROW(X, name, row)                                                                 \
    X(name##Immediate, (row) + 4)                                                                     \
    X(name##Direct, (row) + 5)                                                                        \
    X(name##Indirect, (row) + 6, (row) + 7)                                                           \
    X(name##Register, (row) + 8, (row) + 9, (row) + 10, (row) + 11, (row) + 12, (row) + 13, (row) + 14, \
      (row) + 15)
#define M51_HANDLERS(X)                                                                               \
    X(Nop, 0x00)                                                                                      \
    X(Ajmp, 0x01, 0x21, 0x41, 0x61, 0x81, 0xA1, 0xC1, 0xE1)                                           \
    X(Acall, 0x11, 0x31, 0x51, 0x71, 0x91, 0xB1, 0xD1, 0xF1)                                          \
    X(Ljmp, 0x02)                                                                                     \
    X(Lcall, 0x12)                                                                                    \
    X(Ret, 0x22)                                                                                      \
    X(Reti, 0x32)                                                                                     \
    X(RrA, 0x03)                                                                                      \
    X(RlA, 0x23)                                                                                      \
    X(RrcA, 0x13)                                                                                     \
    X(RlcA, 0x33)                                                                                     \
    X(IncA, 0x04)                                                                                     \
    X(DecA, 0x14)                                                                                     \
    X(IncDecDirect, 0x05, 0x15)                                                                       \
    X(IncDecIndirect, 0x06, 0x07, 0x16, 0x17)                                                         \
    X(IncRegister, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F)                                    \
    X(DecRegister, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F)                                    \
    X(Jbc, 0x10)                                                                                      \
    X(JbJnb, 0x20, 0x30)                                                                              \
    X(Jc, 0x40)                                                                                       \
    X(Jnc, 0x50)                                                                                      \
    X(Jz, 0x60)                                                                                       \
    X(Jnz, 0x70)                                                                                      \
    X(Sjmp, 0x80)                                                                                     \
    M51_OPERAND_ROW(X, Add, 0x20)                                                                     \
    M51_OPERAND_ROW(X, Addc, 0x30)                                                                    \
    M51_OPERAND_ROW(X, Subb, 0x90)                                                                    \
    M51_OPERAND_ROW(X, Orl, 0x40)                                                                     \
    M51_OPERAND_ROW(X, Anl, 0x50)                                                                     \
    M51_OPERAND_ROW(X, Xrl, 0x60)                                                                     \
    X(LogicDirectA, 0x42, 0x52, 0x62)                                                                 \
    X(LogicDirectImmediate, 0x43, 0x53, 0x63)                                                         \
    X(OrlCBit, 0x72)                                                                                  \
    X(OrlCNotBit, 0xA0)                                                                               \
    X(AnlCBit, 0x82)                                                                                  \
    X(AnlCNotBit, 0xB0)                                                                               \
    X(MovCBit, 0xA2)                                                                                  \
    X(MovBitC, 0x92)                                                                                  \
    X(CplBit, 0xB2)                                                                                   \
    X(ClrBit, 0xC2)                                                                                   \
    X(SetbBit, 0xD2)                                                                                  \
    X(CplC, 0xB3)                                                                                     \
    X(ClrC, 0xC3)                                                                                     \
    X(SetbC, 0xD3)                                                                                    \
    X(JmpADptr, 0x73)                                                                                 \
    X(MovAImmediate, 0x74)                                                                            \
    X(MovDirectImmediate, 0x75)                                                                       \
    X(MovIndirectImmediate, 0x76, 0x77)                                                               \
    X(MovRegisterImmediate, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F)                           \
    X(MovcAPc, 0x83)                                                                                  \
    X(MovcADptr, 0x93)                                                                                \
    X(DivAB, 0x84)                                                                                    \
    X(MulAB, 0xA4)                                                                                    \
    X(MovDirectDirect, 0x85)                                                                          \
    X(MovDirectIndirect, 0x86, 0x87)                                                                  \
    X(MovDirectRegister, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F)                              \
    X(MovDptrImmediate, 0x90)                                                                         \
    X(IncDptr, 0xA3)                                                                                  \
    X(Reserved, 0xA5)                                                                                 \
    X(MovIndirectDirect, 0xA6, 0xA7)                                                                  \
    X(MovRegisterDirect, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF)                              \
    X(CjneAImmediate, 0xB4)                                                                           \
    X(CjneADirect, 0xB5)                                                                              \
    X(CjneIndirectImmediate, 0xB6, 0xB7)                                                              \
    X(CjneRegisterImmediate, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF)                          \
    X(Push, 0xC0)                                                                                     \
    X(Pop, 0xD0)                                                                                      \
    X(SwapA, 0xC4)                                                                                    \
    X(XchADirect, 0xC5)                                                                               \
    X(XchAIndirect, 0xC6, 0xC7)                                                                       \
    X(XchARegister, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF)                                   \
    X(DaA, 0xD4)                                                                                      \
    X(DjnzDirect, 0xD5)                                                                               \
    X(XchdAIndirect, 0xD6, 0xD7)                                                                      \
    X(DjnzRegister, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF)                                   \
    X(MovxADptr, 0xE0)                                                                                \
    X(MovxAIndirect, 0xE2, 0xE3)                                                                      \
    X(MovxDptrA, 0xF0)                                                                                \
    X(MovxIndirectA, 0xF2, 0xF3)                                                                      \
    X(ClrA, 0xE4)                                                                                     \
    X(CplA, 0xF4)                                                                                     \
    X(MovADirect, 0xE5)                                                                               \
    X(MovAIndirect, 0xE6, 0xE7)                                                                       \
    X(MovARegister, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF)                                   \
    X(MovDirectA, 0xF5)                                                                               \
    X(MovIndirectA, 0xF6, 0xF7)                                                                       \
    X(MovRegisterA, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF)

// The handlers of the instructions a quiet run may hold (sim/QuietRuns.h).
#define M51_QUIET_HANDLERS(X)                                                                                      \
    X(Nop) X(RrA) X(RlA) X(RrcA) X(RlcA) X(IncA) X(DecA) X(IncDecDirect) X(IncDecIndirect) X(IncRegister)          \
    X(DecRegister) X(AddImmediate) X(AddDirect) X(AddIndirect) X(AddRegister) X(AddcImmediate) X(AddcDirect)       \
    X(AddcIndirect) X(AddcRegister) X(SubbImmediate) X(SubbDirect) X(SubbIndirect) X(SubbRegister)                 \
    X(OrlImmediate) X(OrlDirect) X(OrlIndirect) X(OrlRegister) X(AnlImmediate) X(AnlDirect) X(AnlIndirect)         \
    X(AnlRegister) X(XrlImmediate) X(XrlDirect) X(XrlIndirect) X(XrlRegister) X(LogicDirectA)                      \
    X(LogicDirectImmediate) X(OrlCBit) X(OrlCNotBit) X(AnlCBit) X(AnlCNotBit) X(MovCBit) X(MovBitC) X(CplBit)       \
    X(ClrBit) X(SetbBit) X(CplC) X(ClrC) X(SetbC) X(MovAImmediate) X(MovDirectImmediate) X(MovIndirectImmediate)  \
    X(MovRegisterImmediate) X(MovcAPc) X(MovcADptr) X(DivAB) X(MulAB) X(MovDirectDirect) X(MovDirectIndirect)      \
    X(MovDirectRegister) X(MovDptrImmediate) X(IncDptr) X(Reserved) X(MovIndirectDirect) X(MovRegisterDirect)      \
    X(Push) X(Pop) X(SwapA) X(XchADirect) X(XchAIndirect) X(XchARegister) X(DaA) X(XchdAIndirect) X(ClrA) X(CplA)  \
    X(MovADirect) X(MovAIndirect) X(MovARegister) X(MovDirectA) X(MovIndirectA) X(MovRegisterA)

// The handlers of the jumps, calls and returns that may end a quiet run.
#define M51_RUN_END_HANDLERS(X)                                                                                    \
    X(Ajmp) X(Acall) X(Ljmp) X(Lcall) X(Ret) X(Jbc) X(JbJnb) X(Jc) X(Jnc) X(Jz) X(Jnz) X(Sjmp) X(JmpADptr)       \
    X(CjneAImmediate) X(CjneADirect) X(CjneIndirectImmediate) X(CjneRegisterImmediate) X(DjnzDirect) X(DjnzRegister)

// NotMade: an instruction the dispatch leaves to the loop (a breakpoint's,
// or a marked one other than a call or return).
#define M51_HANDLER_NAME(name, ...) name,
enum class Op : uint8_t { NotMade, M51_HANDLERS(M51_HANDLER_NAME) };
#undef M51_HANDLER_NAME

// Each opcode's handler; the compiler checks that every opcode has one, once.
inline constexpr auto kOpcodeHandler = [] {
    std::array<Op, 256> handler{};
    std::array<bool, 256> seen{};
    auto makes = [&](Op op, std::initializer_list<unsigned> opcodes) {
        for (unsigned opcode : opcodes) {
            if (seen[opcode])
                throw "an opcode with two handlers";
            seen[opcode] = true;
            handler[opcode] = op;
        }
    };
#define M51_HANDLER_MAKES(name, ...) makes(Op::name, {__VA_ARGS__});
    M51_HANDLERS(M51_HANDLER_MAKES)
#undef M51_HANDLER_MAKES
    for (bool opcode : seen)
        if (!opcode)
            throw "an opcode without a handler";
    return handler;
}();

// The handler of every value the dispatch sees: the opcode with, in a run
// that stops at breakpoints, the breakpoint bit (BreakBit, else 0) and in an
// observed one the mark (MarkBit, else 0), and the decoded bit. A marked call
// or return (the profile's) is made as the unmarked one and written down for
// the observer; any other marked instruction is left to the loop, as a
// breakpoint is. A word not decoded yet never reaches a switch (decodedAt());
// the run loop's dispatch decodes it first.
constexpr bool isFlow(Op op)
{
    return op == Op::Acall || op == Op::Lcall || op == Op::Ret || op == Op::Reti;
}

template <uint64_t BreakBit, uint64_t MarkBit, uint64_t DecodedBit>
inline constexpr auto kDispatch = [] {
    std::array<Op, 4096> handler{};
    for (unsigned value = 0; value < handler.size(); ++value) {
        const Op op = kOpcodeHandler[value & 0xFF];
        const bool made = (value & DecodedBit) && !(value & BreakBit) && (!(value & MarkBit) || isFlow(op));
        handler[value] = made ? op : Op::NotMade;
    }
    return handler;
}();

// The values the dispatch sees (as above).
template <uint64_t BreakBit, uint64_t MarkBit, uint64_t DecodedBit>
inline constexpr uint64_t kDispatched = DecodedBit | MarkBit | BreakBit | 0xFF;

// The handlers of quiet instructions and of the jumps that may end their
// runs agree with the opcodes sim/QuietRuns.h calls so.
static_assert([] {
    enum Role : uint8_t { None, Member, End };
    std::array<Role, 256> role{};
#define M51_RUN_MEMBER(name) role[static_cast<unsigned>(Op::name)] = Member;
#define M51_RUN_END(name) role[static_cast<unsigned>(Op::name)] = End;
    M51_QUIET_HANDLERS(M51_RUN_MEMBER)
    M51_RUN_END_HANDLERS(M51_RUN_END)
#undef M51_RUN_MEMBER
#undef M51_RUN_END
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        const quiet::Kind kind = quiet::kKind[opcode];
        const Role expected = kind == quiet::Never ? None : quiet::endsRuns(kind) ? End : Member;
        if (role[static_cast<unsigned>(kOpcodeHandler[opcode])] != expected)
            return false;
    }
    return true;
}(), "a quiet opcode and its handler disagree");

// The next operand byte.
[[gnu::always_inline]] inline uint8_t take(uint16_t& pc, uint32_t& operands)
{
    ++pc;
    const auto v = static_cast<uint8_t>(operands);
    operands >>= 8;
    return v;
}

}  // namespace execution

// Back to the start of a poll or delay loop: the run loop may make its next
// turns in one go.
template <bool CountJumps, bool SkipLoops>
[[gnu::always_inline]] inline void Machine::loopClosed(uint16_t at, uint16_t pc, uint64_t word)
{
    if constexpr (SkipLoops) {
        if (word & kLoopBit) [[unlikely]]
            skipLoop(at, pc, CountJumps);
    }
}

// A conditional jump that jumps (by an offset other than 0: the profile
// counts going on with the next instruction as falling through). Its
// counter's address is worked out here from `at` taken anew (the empty asm
// hides where it comes from): otherwise the compiler keeps that address of
// every instruction made in a register of its own, and the observed run's
// loop loses the one its code table is in.
template <bool CountJumps, bool SkipLoops>
[[gnu::always_inline]] inline void Machine::jump(uint16_t at, uint16_t& pc, uint64_t word, uint8_t offset)
{
    if constexpr (CountJumps) {
        uint16_t here = at;
        asm("" : "+r"(here));
        m_jumpCounts[here] += offset != 0;
    }
    pc = static_cast<uint16_t>(word >> kTargetShift);  // the next instruction's address plus the offset
    loopClosed<CountJumps, SkipLoops>(at, pc, word);
}

// A marked call or return, made: written down for the observer (a full batch
// has the loop look at it).
template <bool Marks>
[[gnu::always_inline]] inline void Machine::flow(uint16_t at, uint16_t pc, uint64_t word, uint64_t cyclesAfter)
{
    if constexpr (Marks) {
        // Its stack is RAM: nothing clocked its first cycle yet.
        if (word & kMarkBit) {
            *m_flowEnd++ = FlowSeen{cyclesAfter, at, pc, m_s.sfr[sfr::SP - 0x80]};
            if (flowsFull())
                lookNow();
        }
    }
}

[[gnu::always_inline]] inline void Machine::addToA(uint8_t b, unsigned carry)
{
    using namespace sfr;
    uint8_t& acc = m_s.sfr[ACC - 0x80];
    uint8_t& psw = m_s.sfr[PSW - 0x80];
    const uint8_t a = acc;
    const unsigned sum = a + b + carry;
    const unsigned half = (a & 0x0F) + (b & 0x0F) + carry;
    const unsigned low7 = (a & 0x7F) + (b & 0x7F) + carry;
    uint8_t flags = static_cast<uint8_t>(psw & ~(CY | AC | OV));
    if (sum > 0xFF)
        flags |= CY;
    if (half > 0x0F)
        flags |= AC;
    if ((sum > 0xFF) != (low7 > 0x7F))
        flags |= OV;
    psw = flags;
    acc = static_cast<uint8_t>(sum);
}

[[gnu::always_inline]] inline void Machine::subbFromA(uint8_t b)
{
    using namespace sfr;
    uint8_t& acc = m_s.sfr[ACC - 0x80];
    uint8_t& psw = m_s.sfr[PSW - 0x80];
    const uint8_t a = acc;
    const unsigned carry = (psw & CY) ? 1 : 0;
    const int diff = a - b - static_cast<int>(carry);
    const int half = (a & 0x0F) - (b & 0x0F) - static_cast<int>(carry);
    const int low7 = (a & 0x7F) - (b & 0x7F) - static_cast<int>(carry);
    uint8_t flags = static_cast<uint8_t>(psw & ~(CY | AC | OV));
    if (diff < 0)
        flags |= CY;
    if (half < 0)
        flags |= AC;
    if ((diff < 0) != (low7 < 0))
        flags |= OV;
    psw = flags;
    acc = static_cast<uint8_t>(diff);
}

// RET and RETI: the return address, high byte first. SP is read and
// written once for both bytes (and so in pushAddress()): the next
// instruction's stack access need not wait for a store of SP in between.
template <bool Watches>
[[gnu::always_inline]] inline uint16_t Machine::popAddress()
{
    uint8_t& stack = m_s.sfr[sfr::SP - 0x80];
    const uint8_t sp = stack;
    stack = static_cast<uint8_t>(sp - 2);
    const uint8_t high = readIndirect<Watches>(sp);
    const uint8_t low = readIndirect<Watches>(static_cast<uint8_t>(sp - 1));
    return static_cast<uint16_t>(high << 8 | low);
}

// ACALL and LCALL: the return address, low byte first.
template <bool Watches>
[[gnu::always_inline]] inline void Machine::pushAddress(uint16_t address)
{
    uint8_t& stack = m_s.sfr[sfr::SP - 0x80];
    const uint8_t sp = stack;
    stack = static_cast<uint8_t>(sp + 2);
    writeIndirect<Watches>(static_cast<uint8_t>(sp + 1), static_cast<uint8_t>(address));
    writeIndirect<Watches>(static_cast<uint8_t>(sp + 2), static_cast<uint8_t>(address >> 8));
}

// The registers and operations of the instruction bodies
// (sim/InstructionBodies.inc), over the locals of the function expanding
// them; the run loop's file (sim/Cpu.cpp) has them too.
#define SFR(a) m_s.sfr[(a) - 0x80]
#define ACCU SFR(ACC)
// DPL and DPH side by side, as one access: MOVC or JMP @A+DPTR right after
// MOV DPTR,#data loads what one store wrote (sim/LittleEndian.h).
#define DPTR() loadLittle<uint16_t>(&SFR(DPL))
#define SET_DPTR(value) storeLittle<uint16_t>(&SFR(DPL), (value))
#define PSWR SFR(PSW)
// The register bank: worked out from PSW here; the run loop keeps it (M51_BANK).
#define M51_BANK (m_s.iram + (PSWR & RS))
// The clock before the instruction: the machine's; the run loop keeps it
// inside a quiet run (M51_CLOCK).
#define M51_CLOCK m_s.cycles
#define R(n) M51_BANK[n]
#define IMM() execution::take(pc, operands)
// The fixed target of a jump or call, decoded with it.
#define TARGET() static_cast<uint16_t>(word >> kTargetShift)
#define FLAG(f, on) (PSWR = static_cast<uint8_t>((on) ? PSWR | (f) : PSWR & ~(f)))
#define LOOP_CLOSED() loopClosed<CountJumps, SkipLoops>(at, pc, word)
#define JUMP(offset) jump<CountJumps, SkipLoops>(at, pc, word, offset)
#define JUMP_IF(condition)                  \
    do {                                    \
        const uint8_t offset_ = IMM();      \
        if (condition)                      \
            JUMP(offset_);                  \
    } while (false)
// CJNE: the compared bytes (the immediate one taken first), then the offset.
#define CJNE(left, right)                   \
    do {                                    \
        const uint8_t left_ = (left);       \
        const uint8_t right_ = (right);     \
        const uint8_t offset_ = IMM();      \
        FLAG(CY, left_ < right_);           \
        if (left_ != right_)                \
            JUMP(offset_);                  \
        cycles = 2;                         \
    } while (false)
#define FLOW() flow<marks>(at, pc, word, M51_CLOCK + cycles)

// Inline: the step loops each have it in their own body. The program counter
// is the caller's local, so that it stays in a register while the
// instruction takes its operands; the caller stores it back. `word` is the
// instruction as decoded at pc: the opcode and the two bytes after it.
template <bool CountJumps, bool StopAtBreak, bool SkipLoops>
[[gnu::always_inline]] inline unsigned Machine::execute(uint16_t& pc, uint64_t word)
{
    using namespace execution;
    using namespace sfr;
    const uint8_t op = static_cast<uint8_t>(word);
    [[maybe_unused]] const uint16_t at = pc;
    ++pc;
    auto operands = static_cast<uint32_t>(word >> kOperandShift);
    unsigned cycles = 1;
    [[maybe_unused]] constexpr bool marks = CountJumps && StopAtBreak;
    [[maybe_unused]] constexpr bool kWatches = true;  // a step may meet a watch
    constexpr uint64_t breakBit = StopAtBreak ? kBreakBit : 0, markBit = marks ? kMarkBit : 0;
    switch (kDispatch<breakBit, markBit, kDecodedBit>[word & kDispatched<breakBit, markBit, kDecodedBit>]) {
#define OP(name) case Op::name:
#define NEXT break;
#include "sim/InstructionBodies.inc"
#undef OP
#undef NEXT
    }
    return cycles;
}

}  // namespace sim
