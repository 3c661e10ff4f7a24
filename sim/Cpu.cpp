// The loops around the instruction set (sim/Execute.h): step() and run(),
// interrupt polls, watches, and what a run records for step back and the
// profile.

#include "sim/Execute.h"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>
#include <utility>

// The run loop's copies of the handlers that never make a quiet run's
// instructions are labels no table takes: left out, and not warned of.
#pragma GCC diagnostic ignored "-Wunused-label"

namespace sim {

using namespace sfr;

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

// The labels of a quiet instruction's handler in the run loop.
struct QuietLabels {
    execution::Op op;
    const void* head;
    const void* on;
    const void* last;
};

}  // namespace

void Machine::setParity()
{
    PSWR = static_cast<uint8_t>((PSWR & ~PAR) | kParity[ACCU]);
}


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
    return plainStep(pc, decodedAt(pc));
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
[[gnu::always_inline]] inline unsigned Machine::executeClocked(uint16_t& pc, uint64_t word)
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

[[gnu::always_inline]] inline unsigned Machine::plainStep(uint16_t& pc, uint64_t word)
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
    const unsigned n = executeClocked(pc, decodedAt(pc));
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
    Stop stop;
    if (m_record && !m_record->trace && m_record->replay) {
        const uint64_t from = steps();
        m_stepsEnd = from + (m_record->stopAt > m_record->next ? m_record->stopAt - m_record->next : 0);
        stop = runFor<RunMode::Replayed>(cycleBudget);
        m_record->next += steps() - from;
        m_stepsEnd = m_instructionLimit = UINT64_MAX;
    } else {
        stop = !m_record         ? runFor<RunMode::Bare>(cycleBudget)
               : m_record->trace ? runFor<RunMode::Traced>(cycleBudget)
                                 : runFor<RunMode::Observed>(cycleBudget);
        if (m_flowEnd != m_flows.data())
            flushFlows();
    }
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

// A marked instruction of an observed run, made: handed to the observer
// after the calls and returns made before it.
void Machine::flowStep(uint16_t at, unsigned cycles)
{
    flushFlows();
    if (m_record->observer)
        m_record->observer->stepped(*this, StepSeen{StepSeen::Kind::Instruction, at, 0, cycles, m_s.cycles - cycles});
}

// The calls and returns the loop wrote down, to the observer in the order made.
void Machine::flushFlows()
{
    const size_t count = static_cast<size_t>(std::exchange(m_flowEnd, m_flows.data()) - m_flows.data());
    if (count && m_record->observer)
        m_record->observer->flowed(m_flows.data(), count);
}

unsigned Machine::observedStep()
{
    const uint16_t at = m_s.pc;
    uint16_t pc = at;
    const uint64_t word = decodedAt(at);
    const unsigned n = executeClocked<true>(pc, word);
    pollIfNeeded();
    if (word & kMarkBit)
        flowStep(at, n);
    return n;
}

// Plain instructions go round the short loop; anything unusual (an interrupt
// entry, idle, power-down, watches, a condition) takes one turn of the full
// one. An observed run counts the conditional jumps that jump and tells the
// observer of its marked steps (a call or return is written down for it in
// a batch, any other is made by observedStep()); a traced
// one (steps made again) writes each step's PC into the record's ring and ends at its step
// limit, past breakpoints, counting no executions (they were counted once);
// a replayed one does the same but for the trace, with loops in one go.
//
// The short loop is threaded: each handler of the instruction set
// (sim/InstructionBodies.inc) ends in its own copy of the loop's tail, which
// jumps from there straight to the next instruction's handler through a
// table of their labels' addresses. No shared indirect jump and no jump back
// to a common tail: fewer host instructions per instruction, and each
// handler's jump is predicted from its own history.
//
// A plain instruction costs few tests of its own: its breakpoint is a handler
// of the opcode's dispatch, its first cycle stays marked pending between the
// short loop's instructions (an SFR access that clocks it lowers m_lookAt),
// and one comparison with m_lookAt tells whether that happened, peripherals
// are due, an interrupt poll is needed, something needs attention (attend()
// lowers it too) or the run's budget is spent.
template <Machine::RunMode Mode>
Stop Machine::runFor(uint64_t cycleBudget)
{
    constexpr bool Observed = Mode == RunMode::Observed;
    constexpr bool Traced = Mode == RunMode::Traced;
    constexpr bool Replayed = Mode == RunMode::Replayed;
    constexpr bool Again = Traced || Replayed;  // steps made again
    const uint64_t end = m_s.cycles + cycleBudget;
    if constexpr (Replayed)
        m_instructionLimit = m_stepsEnd - m_otherSteps;
    m_watchTripped = false;
    settleAttention();
    // The program counter of plain steps stays in a register here (no
    // listener moves it in the middle of an instruction); m_s.pc follows it.
    uint16_t pc = m_s.pc;
    const bool breaks = !Again;
    if constexpr (Observed) {
        if (!m_record->taken && m_jumpScratch.empty())
            m_jumpScratch.resize(65536);
        m_jumpCounts = m_record->taken ? m_record->taken : m_jumpScratch.data();
    }
    // A breakpoint where the run starts does not stop it.
    bool first = true;
    if (!m_attention.load(std::memory_order_relaxed) && m_s.cycles < end) {
        const uint64_t word = decodedAt(pc);
        if constexpr (Traced) {
            if (!recordStep(pc))
                return Stop::CycleLimit;
            executeClocked(pc, word);
            pollIfNeeded();
        } else if constexpr (Replayed) {
            if (m_s.instructions == m_instructionLimit)
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
    // The tables' addresses stay in registers. Whatever gives a table new
    // memory (clearing it) lowers m_lookAt, and the loop takes them anew.
    const uint64_t* decoded = nullptr;
    uint32_t* counts = nullptr;
    lookNow();
    m_firstCyclePending = true;
    Stop stop = Stop::CycleLimit;
    // The instruction set threaded: the locals of the instruction bodies
    // (see sim/InstructionBodies.inc) and, per value the dispatch sees (a
    // word's low 16 bits), the address of its handler's label. The labels are
    // this function's own (a function with a computed goto is not inlined),
    // so the tables are built from them here, once per run mode, thread-safely.
    constexpr bool CountJumps = Observed, StopAtBreak = !Again, SkipLoops = !Traced;
    // Quiet runs (sim/QuietRuns.h) made without a look between their
    // instructions: not where each step is written down or counted to a limit.
    constexpr bool QuietRuns = !Again;
    // No watch is set on the short way (a watch keeps the loop on its full
    // one): its accesses leave out the test.
    constexpr bool kWatches = false;
    constexpr bool marks = CountJumps && StopAtBreak;
    constexpr uint64_t breakBit = StopAtBreak ? kBreakBit : 0, markBit = marks ? kMarkBit : 0;
    uint64_t word = 0;
    uint32_t operands = 0;
    // The clock and the instruction count between plain instructions, kept
    // in registers: the tail only stores them. Whatever changes them in the
    // middle of an instruction (clocking its first cycle, a loop made in one
    // go) lowers m_lookAt, and the short way starts again from m_s.
    uint64_t clock = 0, made = 0;
    // The register bank PSW selects: a write of PSW that moves it lowers
    // m_lookAt (writePsw()), and quiet runs hold no such write.
    uint8_t* bank = m_s.iram;
#undef M51_BANK
#define M51_BANK bank
#undef M51_CLOCK
#define M51_CLOCK clock
    uint16_t at = pc;
    uint8_t op = 0;
    unsigned cycles = 1;
#define M51_HANDLER_LABEL(name, ...) &&L_##name,
    static const void* const handlers[] = {&&L_NotMade, M51_HANDLERS(M51_HANDLER_LABEL)};
#undef M51_HANDLER_LABEL
    // A quiet instruction's handler three times over: the head of a run
    // (which looks once for the run), one going on to the next instruction
    // of its run and the run's last; a jump's that may end a run, as its last.
    const QuietLabels* quietLabels = nullptr;
    size_t quietCount = 0;
    if constexpr (QuietRuns) {
#define M51_QUIET_LABELS(name) QuietLabels{execution::Op::name, &&L_Head_##name, &&L_On_##name, &&L_Last_##name},
#define M51_END_LABELS(name) QuietLabels{execution::Op::name, nullptr, nullptr, &&L_Last_##name},
        static const QuietLabels labels[] = {M51_QUIET_HANDLERS(M51_QUIET_LABELS) M51_RUN_END_HANDLERS(M51_END_LABELS)};
#undef M51_QUIET_LABELS
#undef M51_END_LABELS
        quietLabels = labels;
        quietCount = std::size(labels);
    }
    // [0]: the dispatch after a look (a word with kRunsOnBit goes to its
    // run's head); [1]: inside a quiet run, to the next of the run, its
    // last, or (a word forgotten or given a breakpoint) to L_Sync.
    static const auto tables = [](const void* const* labels, const void* undecoded, const QuietLabels* quiet,
                                  size_t quietCount, const void* sync) {
        std::array<const QuietLabels*, 256> quietOf{};
        for (size_t i = 0; i < quietCount; ++i)
            quietOf[static_cast<unsigned>(quiet[i].op)] = &quiet[i];
        std::array<std::array<const void*, 4096>, 2> t{};
        for (unsigned value = 0; value < 4096; ++value) {
            const auto handler = execution::kDispatch<breakBit, markBit, kDecodedBit>[value];
            const QuietLabels* q = handler == execution::Op::NotMade ? nullptr : quietOf[static_cast<unsigned>(handler)];
            if (!(value & kDecodedBit)) {
                t[0][value] = undecoded;
                t[1][value] = sync;
                continue;
            }
            t[0][value] = q && q->head && (value & kRunsOnBit) ? q->head : labels[static_cast<unsigned>(handler)];
            t[1][value] = !q ? sync : q->on && (value & kRunsOnBit) ? q->on : q->last;
        }
        return t;
    }(handlers, &&L_Undecoded, quietLabels, quietCount, &&L_Sync);
    // The next instruction: counted (traced: written down; both made again:
    // the run's end looked for) and dispatched to its handler, which takes
    // its operands.
#define DISPATCH()                                                \
    do {                                                          \
        word = decoded[pc];                                       \
        if constexpr (Traced) {                                   \
            if (!recordStep(pc))                                  \
                goto ended;                                       \
        } else if constexpr (Replayed) {                          \
            if (m_s.instructions == m_instructionLimit)           \
                goto ended;                                       \
        } else {                                                  \
            ++counts[pc];                                         \
        }                                                         \
        goto* tables[0][static_cast<uint16_t>(word)];             \
    } while (false)
    // The short way (re)started: the registers it keeps taken from the machine.
#define RESUME()                        \
    do {                                \
        decoded = m_decoded.data();     \
        counts = m_counts.data();       \
        clock = m_s.cycles;             \
        made = m_s.instructions;        \
        bank = m_s.iram + (PSWR & RS);  \
        DISPATCH();                     \
    } while (false)
    for (;;) {
        if (!m_attention.load(std::memory_order_relaxed)) [[likely]] {
            RESUME();
            // Each handler starts by taking its operands from the word.
#define TAKE()                                               \
    at = pc;                                                 \
    ++pc;                                                    \
    operands = static_cast<uint32_t>(word >> kOperandShift); \
    op = static_cast<uint8_t>(word);                         \
    cycles = 1;
            // The machine's clock and count brought up to the instruction
            // made, and the next one dispatched.
#define STORE_AND_DISPATCH()       \
    clock += cycles;               \
    m_s.cycles = clock;            \
    m_s.instructions = ++made;     \
    DISPATCH();
            // Each handler ends in its own copy of the loop's tail: the
            // instruction counted and its cycles added, and while the clock
            // stays before m_lookAt the next one dispatched from there.
#define OP(name) \
    L_##name:    \
    TAKE()
#define NEXT                                    \
    m_s.pc = pc;                                \
    if (clock + cycles < lookAt()) [[likely]] { \
        STORE_AND_DISPATCH()                    \
    }                                           \
    ++m_s.instructions;                         \
    m_s.cycles += cycles;                       \
    goto look;
#include "sim/InstructionBodies.inc"
#undef OP
#undef NEXT
            // The quiet handlers again: a run's head looks at the clock at
            // the run's end; while that is before m_lookAt, nothing falls due
            // in the run, and its instructions go on with neither a look nor
            // a store of the clock, the count and the program counter, which
            // the run's last instruction stores. Near m_lookAt the head is
            // made by its plain handler above. (The other handlers' labels
            // here are never taken and their copies left out.)
#define OP(name)                                                      \
    L_Head_##name:                                                    \
    if (clock + static_cast<uint8_t>(word >> kSpanShift) >= lookAt()) \
        goto L_##name;                                                \
    L_On_##name:                                                      \
    TAKE()
#define NEXT         \
    clock += cycles; \
    ++made;          \
    word = decoded[pc]; \
    ++counts[pc];    \
    goto* tables[1][static_cast<uint16_t>(word)];
#include "sim/InstructionBodies.inc"
#undef OP
#undef NEXT
#define OP(name)     \
    L_Last_##name:   \
    TAKE()
#define NEXT     \
    m_s.pc = pc; \
    STORE_AND_DISPATCH()
#include "sim/InstructionBodies.inc"
#undef OP
#undef NEXT
#undef TAKE
#undef STORE_AND_DISPATCH
            // A quiet run left early (a word of it forgotten or given a
            // breakpoint since the run was decoded): the machine brought up
            // to date, and the word dispatched as after a look.
        L_Sync:
            m_s.pc = pc;
            m_s.cycles = clock;
            m_s.instructions = made;
            goto* tables[0][static_cast<uint16_t>(word)];
            // An address made for the first time: decoded, and dispatched
            // again (counted and looked for once, above).
        L_Undecoded:
            word = decodedAt(pc);
            goto* tables[0][static_cast<uint16_t>(word)];
            // The tail found the clock at m_lookAt: the instruction was a
            // breakpoint's or needs the peripherals, a poll or the run's end.
        look: {
                const unsigned n = cycles;
                if (!Again && !n) {  // not made: pc is still at the instruction
                    if (!Observed || m_breaks[pc]) {
                        breakpointHit(pc);
                        stop = Stop::Breakpoint;
                        goto ended;
                    }
                    // A marked instruction of an observed run other than a
                    // call or return, not made by the dispatch: made here.
                    --m_s.instructions;
                    observedStep();
                    pc = m_s.pc;
                } else {
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
                        if (flowsFull())  // the calls and returns written down fill their batch
                            flushFlows();
                    }
                }
                if (m_s.cycles >= end)
                    goto ended;
                m_firstCyclePending = true;
                lookUntil(end);
                if (!m_attention.load(std::memory_order_relaxed))
                    RESUME();
            }
        }
#undef RESUME
#undef DISPATCH
#undef M51_BANK
#define M51_BANK (m_s.iram + (PSWR & RS))
#undef M51_CLOCK
#define M51_CLOCK m_s.cycles
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
            const uint64_t word = decodedAt(at);
            if (Traced && !recordStep(at))
                return Stop::CycleLimit;
            if (Replayed && steps() == m_stepsEnd)
                return Stop::CycleLimit;
            if (Again && kind == StepSeen::Kind::Instruction)
                --m_counts[at];  // stepOnce() counts it: made again, it was counted once
            const unsigned n = stepOnce();
            if constexpr (Observed) {
                if (kind != StepSeen::Kind::Instruction) {
                    flushFlows();
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
        if constexpr (Replayed)
            m_instructionLimit = m_stepsEnd - m_otherSteps;
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
        lookUntil(end);
    }
ended:
    m_firstCyclePending = false;
    return stop;
}

}  // namespace sim
