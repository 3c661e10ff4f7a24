// Poll and delay loops in one go. Firmware spends most of its time in loops
// such as `JNB RI,$`, `JB P3.0,$`, `WAIT: JNB P3.0,EDGE / JNB TF2,WAIT`,
// `MAIN: MOV A,TICKS / CJNE A,#100,MAIN`, `DJNZ R7,$` or an LCD's busy poll
// `SETB E / MOV C,BUSY / CLR E / JC POLL`: instructions that only test or
// load what nothing but an instruction or a peripheral's event can change,
// or pulse a pin that nobody follows at its cycle. Until the run loop next
// looks at the peripherals (m_lookAt) no event comes, so from its second turn on each turn of such a loop takes the
// same way and leaves the machine as it found it, but for the clock, the
// instruction and execution counts and a DJNZ counter. The run loop makes
// those turns at once and goes on from the last of them instruction by
// instruction, so that it meets m_lookAt at the same instruction as before.

#include "sim/Access.h"
#include "sim/Disassembler.h"
#include "sim/Sfr.h"

#include <array>
#include <bit>

namespace sim {

namespace {

// A run with no end but a stop request (a program ending in SJMP $) keeps
// its clock going at a pace, not to the budget's end at once.
constexpr uint64_t kLoopCycles = 1u << 16;

enum : uint8_t { NOP = 0x00, LJMP = 0x02, JB = 0x20, JNB = 0x30, JC = 0x40, JNC = 0x50, JZ = 0x60, JNZ = 0x70, SJMP = 0x80,
                 MOV_C_BIT = 0xA2, CJNE_IMMEDIATE = 0xB4, CJNE_DIRECT = 0xB5, CLR_BIT = 0xC2, SETB_BIT = 0xD2,
                 DJNZ_DIRECT = 0xD5, MOV_A_DIRECT = 0xE5 };

constexpr bool isDjnzRegister(uint8_t op)
{
    return (op & 0xF8) == 0xD8;
}

constexpr bool isAjmp(uint8_t op)
{
    return (op & 0x1F) == 0x01;
}

bool isUnconditional(uint8_t op)
{
    return op == SJMP || op == LJMP || isAjmp(op);
}

// A body instruction that may jump (the others are NOP, the loads of A and
// C and the strobes of a port pin).
bool isConditional(uint8_t op)
{
    return op == JC || op == JNC || op == JZ || op == JNZ || op == JB || op == JNB || op == CJNE_IMMEDIATE ||
           op == CJNE_DIRECT;
}

// Bytes of an instruction a loop may hold before its jump (0: none of them).
unsigned bodyLength(uint8_t op)
{
    switch (op) {
    case NOP: return 1;
    case JC: case JNC: case JZ: case JNZ: case MOV_A_DIRECT: case MOV_C_BIT: case CLR_BIT: case SETB_BIT: return 2;
    case JB: case JNB: case CJNE_IMMEDIATE: case CJNE_DIRECT: return 3;
    default: return 0;
    }
}

// The loop's operand, static: a bit test reads no SFR with side effects, a
// bit written is a port pin (an LCD's enable pulsed while its busy flag is
// polled), a byte read is internal RAM below the SFRs.
bool plainOperand(uint8_t op, uint8_t operand)
{
    if (op == JB || op == JNB || op == MOV_C_BIT)
        return access::kBitKind[operand] != access::BitOther;
    if (op == CLR_BIT || op == SETB_BIT)
        return access::isPortBit(operand);
    if (op == MOV_A_DIRECT || op == CJNE_DIRECT || op == DJNZ_DIRECT)
        return operand < 0x80;
    return true;
}

}  // namespace

bool Machine::loopShape(uint16_t at) const
{
    const uint8_t op = fetchCode(at);
    const uint8_t operand = fetchCode(static_cast<uint16_t>(at + 1));
    const bool closes = op == LJMP || isAjmp(op) || op == SJMP || op == JC || op == JNC || op == JZ || op == JNZ ||
                        isDjnzRegister(op) || op == JB || op == JNB || op == CJNE_IMMEDIATE || op == CJNE_DIRECT ||
                        op == DJNZ_DIRECT;
    if (!closes || !plainOperand(op, operand))
        return false;
    const int start = *jumpTarget(at, op, operand, fetchCode(static_cast<uint16_t>(at + 2)));
    if (start > int(at) || start < int(at) - int(kLoopReach))
        return false;
    // The body: instructions the loop may make, and any others that a jump
    // of the body leaps over. Bits per byte from the start: where
    // instructions begin, and where the body's jumps land.
    uint32_t begins = 0, landings = 0;
    unsigned p = unsigned(start), leapedTo = p;
    while (p < at) {
        begins |= 1u << (p - unsigned(start));
        const uint8_t body = fetchCode(static_cast<uint16_t>(p));
        const unsigned n = bodyLength(body);
        if (!n || !plainOperand(body, fetchCode(static_cast<uint16_t>(p + 1)))) {
            if (p >= leapedTo)
                return false;
            p += instructionLength(body);
            continue;
        }
        if (isConditional(body)) {
            const unsigned target = p + n + static_cast<int8_t>(fetchCode(static_cast<uint16_t>(p + n - 1)));
            if (target > p + n && target <= at) {
                landings |= 1u << (target - unsigned(start));
                leapedTo = std::max(leapedTo, target);
            }
        }
        p += n;
    }
    begins |= 1u << (at - unsigned(start));
    return p == at && !(landings & ~begins);
}

void Machine::findLoops(unsigned from, unsigned to)
{
    // The jumps a loop may end with, as a table: most bytes are none of them.
    static constexpr auto closes = [] {
        std::array<bool, 256> table{};
        for (unsigned op = 0; op < 256; ++op)
            table[op] = op == SJMP || op == LJMP || isAjmp(uint8_t(op)) || op == JC || op == JNC || op == JZ ||
                        op == JNZ || op == JB || op == JNB || op == CJNE_IMMEDIATE || op == CJNE_DIRECT ||
                        op == DJNZ_DIRECT || isDjnzRegister(uint8_t(op));
        return table;
    }();
    for (unsigned a = from; a < to; ++a)
        m_loops[a] = closes[fetchCode(static_cast<uint16_t>(a))] && loopShape(static_cast<uint16_t>(a));
}

int Machine::steadyBit(uint8_t bit, const uint8_t* latches) const
{
    const unsigned shift = bit & 7, port = (bit >> 4) & 3;
    switch (access::kBitKind[bit]) {
    case access::BitInRam: return (m_s.iram[0x20 + (bit >> 3)] >> shift) & 1;
    case access::BitFlag: return (m_s.sfr[(bit & 0xF8) - 0x80] >> shift) & 1;
    case access::BitPin: return ((latches[port] & m_outside[port]) >> shift) & 1;
    case access::BitP3: return quietP3() ? ((latches[3] & m_outside[3]) >> shift) & 1 : -1;
    default: return -1;
    }
}

void Machine::skipLoop(uint16_t at, uint16_t start, bool countJumps)
{
    // Every jump that closes a loop takes 2 cycles; the run loop counts them
    // after this. The turns made here end before m_lookAt - 1 so that the
    // reads of flags stay on their short way (Access.h).
    const uint64_t from = m_s.cycles + 2;
    if (m_anyWatch || from + 1 >= lookAt())
        return;
    const uint64_t last = decodedAt(at);
    const uint8_t lastOp = static_cast<uint8_t>(last);
    const uint8_t psw = m_s.sfr[sfr::PSW - 0x80];
    int counter = -1;  // the internal RAM byte a DJNZ counts down
    if (isDjnzRegister(lastOp))
        counter = (psw & sfr::RS) + (lastOp & 7);
    else if (lastOp == DJNZ_DIRECT)
        counter = static_cast<uint8_t>(last >> kOperandShift);

    // One turn from A and PSW as given, with every other thing as it stands:
    // false where it leaves the loop, reads the DJNZ counter, meets a mark,
    // leaves a port latch other than it found it or moves a pin somebody
    // must be told of at its cycle. It notes the instructions it made, the
    // jumps of the body it took and the pin changes only counted.
    unsigned cycles = 0, count = 0, leaps = 0, reports = 0;
    uint16_t made[kLoopReach + 1], leapedFrom[kLoopReach + 1];
    uint8_t latches[4];
    auto latchesKept = [&] {
        for (unsigned port = 0; port < 4; ++port) {
            if (latches[port] != m_s.sfr[port << 4])
                return false;
        }
        return true;
    };
    auto turn = [&](uint8_t& acc, uint8_t& flags) -> bool {
        cycles = count = leaps = reports = 0;
        for (unsigned port = 0; port < 4; ++port)
            latches[port] = m_s.sfr[port << 4];
        for (unsigned p = start;; ) {
            const uint64_t word = decodedAt(static_cast<uint16_t>(p));
            const auto op = static_cast<uint8_t>(word);
            const auto first = static_cast<uint8_t>(word >> kOperandShift);
            const auto second = static_cast<uint8_t>(word >> (kOperandShift + 8));
            const unsigned length = p == at || !plainOperand(op, first) ? 0 : bodyLength(op);
            if ((word & (kBreakBit | kMarkBit)) || (p != at && !length))
                return false;
            bool jumps = false;
            uint8_t offset = first;
            switch (op) {
            case NOP: break;
            case JC: jumps = flags & sfr::CY; break;
            case JNC: jumps = !(flags & sfr::CY); break;
            case JZ: jumps = acc == 0; break;
            case JNZ: jumps = acc != 0; break;
            case JB: case JNB: case MOV_C_BIT: {
                const int bit = steadyBit(first, latches);
                if (bit < 0 || (first < 0x80 && 0x20 + (first >> 3) == counter))
                    return false;
                if (op == MOV_C_BIT) {
                    flags = static_cast<uint8_t>(bit ? flags | sfr::CY : flags & ~sfr::CY);
                    break;
                }
                jumps = bit == (op == JB);
                offset = second;
                break;
            }
            case CLR_BIT: case SETB_BIT: {  // as portWritten() tells of it
                const unsigned port = (first >> 4) & 3, mask = 1u << (first & 7);
                const uint8_t before = latches[port] & m_outside[port];
                latches[port] = static_cast<uint8_t>(op == SETB_BIT ? latches[port] | mask : latches[port] & ~mask);
                const uint8_t moved = (latches[port] & m_outside[port]) ^ before;
                if (moved & m_heard[port]) {
                    if (!m_pinReports || (moved & m_watched[port]))
                        return false;
                    ++reports;
                }
                break;
            }
            case MOV_A_DIRECT:
                if (first == counter)
                    return false;
                acc = m_s.iram[first];
                flags = static_cast<uint8_t>((flags & ~sfr::PAR) | (std::popcount(acc) & 1));
                break;
            case CJNE_IMMEDIATE: case CJNE_DIRECT: {
                if (op == CJNE_DIRECT && first == counter)
                    return false;
                const uint8_t right = op == CJNE_IMMEDIATE ? first : m_s.iram[first];
                flags = static_cast<uint8_t>(acc < right ? flags | sfr::CY : flags & ~sfr::CY);
                jumps = acc != right;
                offset = second;
                break;
            }
            default:  // the loop's own jump
                jumps = true;
                offset = 1;
                break;
            }
            cycles += kMachineCycles[op];
            made[count++] = static_cast<uint16_t>(p);
            if (p == at)
                return jumps && latchesKept();  // the jump back, or out of the loop
            p += length;
            if (!jumps || offset == 0)
                continue;
            // A leap forward within the body; any other jump leaves the loop.
            const unsigned target = p + static_cast<int8_t>(offset);
            if (target <= p || target > at)
                return false;
            leapedFrom[leaps++] = made[count - 1];
            p = target;
        }
    };
    // The first turn may load A and set the flags; from the second on, each
    // finds them as it leaves them.
    uint8_t acc = m_s.sfr[sfr::ACC - 0x80], flags = psw;
    if (!turn(acc, flags))
        return;
    const uint8_t accAfter = acc, flagsAfter = flags;
    if (!turn(acc, flags) || acc != accAfter || flags != flagsAfter)
        return;
    uint64_t turns = counter >= 0 ? m_s.iram[counter] - 1u : UINT64_MAX;  // a DJNZ's last turn falls through
    turns = std::min<uint64_t>(turns, (std::min(lookAt() - 1, from + kLoopCycles) - from) / cycles);
    // A replay's turns end where it does: the jump made now counts one.
    if (m_instructionLimit != UINT64_MAX)
        turns = std::min<uint64_t>(turns, (m_instructionLimit - m_s.instructions - 1) / count);
    if (!turns)
        return;
    m_s.sfr[sfr::ACC - 0x80] = acc;
    m_s.sfr[sfr::PSW - 0x80] = flags;
    m_s.cycles += turns * cycles;
    m_s.instructions += turns * count;
    lookNow();  // the run loop takes the clock and count anew
    m_loopInstructions += turns * count;
    if (reports)
        *m_pinReports += turns * reports;
    if (counter >= 0)
        m_s.iram[counter] = static_cast<uint8_t>(m_s.iram[counter] - turns);
    const auto counted = static_cast<uint32_t>(turns);  // the counters wrap as one by one
    if (m_instructionLimit == UINT64_MAX) {  // a new run: counted
        for (unsigned i = 0; i < count; ++i)
            m_counts[made[i]] += counted;
    }
    if (!countJumps)
        return;
    for (unsigned i = 0; i < leaps; ++i)
        m_jumpCounts[leapedFrom[i]] += counted;
    if (!isUnconditional(lastOp))
        m_jumpCounts[at] += counted;
}

}  // namespace sim
