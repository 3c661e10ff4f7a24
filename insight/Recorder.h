#pragma once
// Watches a program run instruction by instruction for what the core's
// execution counters cannot tell: which way each conditional jump went, how
// often each interrupt was entered, the idle cycles, and the cycles spent in
// the calls each procedure makes (its profile "with what it calls"), with
// the time of interrupt handlers kept apart from the code they interrupted.
// Stepped one instruction at a time it looks at each; in the core's runs
// (History::run) the core counts the instructions and the jumps taken itself
// and tells the recorder only of calls, returns, interrupt entries and idle
// steps, so that an instruction costs the run no more than a counter.

#include "insight/CodeShape.h"

#include "sim/Machine.h"

#include <array>
#include <cstdint>
#include <vector>

namespace insight {

constexpr int VectorCount = 6;  // INT0, timer 0, INT1, timer 1, serial, timer 2
inline uint16_t VectorAddress(int source) { return static_cast<uint16_t>(3 + 8 * source); }

class Recorder final : public sim::StepObserver {
public:
    // `procedureOf[a]` is the index of the procedure that address a belongs
    // to (64 K entries), `procedures` how many there are. The code is read
    // from the machine now: a program loaded later needs a new recorder.
    Recorder(const sim::Machine& machine, std::vector<uint16_t> procedureOf, size_t procedures);

    // One step of the machine, observed; returns its machine cycles.
    unsigned step(sim::Machine& machine);
    // A step made by the core's run: what step() does after the machine's step.
    void stepped(sim::Machine& machine, const sim::StepSeen& step) override;
    // The calls and returns a core's run made, in order.
    void flowed(const sim::FlowSeen* flows, size_t count) override;
    // Per code address what the core's run hands over (sim::Machine::markSteps):
    // calls and returns; it counts the conditional jumps itself.
    std::vector<uint8_t> marks() const;
    // The conditional jumps' counters, for the core's run to count into.
    uint32_t* takenCounters() { return m_taken.data(); }
    // Forgets what was recorded (and clears the core's execution counters).
    void clear(sim::Machine& machine);
    // The machine was reset: the calls and interrupts open so far never return.
    void machineReset();

    // Conditional jumps taken, per code address.
    const std::vector<uint32_t>& taken() const { return m_taken; }
    uint64_t entries(int source) const { return m_entries[source]; }
    uint64_t entryCycles(int source) const { return m_entryCycles[source]; }
    uint64_t idleCycles() const { return m_idle; }
    // Calls into each procedure.
    const std::vector<uint64_t>& calls() const { return m_calls; }
    // Cycles spent in the calls made from each procedure's code, up to
    // machine cycle `now` (calls still open counted so far), interrupt
    // handlers left out.
    std::vector<uint64_t> calleeCycles(uint64_t now) const;
    // Cycles from entry to RETI of each interrupt source, up to `now`,
    // without the handlers of other interrupts nested in it.
    std::array<uint64_t, VectorCount> handlerCycles(uint64_t now) const;

private:
    struct Frame {
        // The machine cycle of the call's end (before the interrupt entry)
        // less Totals::interruptNet then: its time at `now` is `now` less
        // interruptNet then, less this.
        uint64_t base = 0;
        uint32_t owner = 0;     // calling procedure, or the interrupt source
        uint8_t sp = 0;         // SP with the return address pushed
        bool interrupt = false;
    };
    // What closing frames changes: kept apart so that the figures of a run
    // still going are those of all its frames closed now.
    struct Totals {
        std::vector<uint64_t> callee;
        std::vector<uint32_t> open;  // calls from each procedure still open
        std::array<uint64_t, VectorCount> handler{};
        uint64_t interruptNet = 0;  // cycles in interrupt handlers so far (nesting counted once)
    };
    void entered(const sim::Machine& machine, const sim::StepSeen& step);
    // An instruction at `at` made, by its flow: the PC, SP and machine cycle after it.
    void flowOf(uint16_t at, uint16_t pc, uint8_t sp, uint64_t now);
    void returned(uint8_t sp, uint64_t now);
    // The frame ends at `now`; interruptNet: the totals' own, or a copy kept at hand.
    [[gnu::always_inline]] static inline void close(Totals& totals, uint64_t& interruptNet, const Frame& frame,
                                                    uint64_t now);
    Totals closedAt(uint64_t now) const;

    std::vector<Flow> m_flow;      // per code address
    std::vector<uint8_t> m_length; // per code address, conditional jumps only
    std::vector<uint16_t> m_procedureOf;
    std::vector<uint32_t> m_taken;
    std::vector<uint64_t> m_calls;
    Totals m_totals;
    // The frames open, innermost last: m_open of a fixed table after its
    // first entry, so that a call or return is a few stores and no
    // allocation. The first one, with SP 0, is never closed: a return looks
    // for the frames it ends without counting them.
    std::vector<Frame> m_frames;
    size_t m_open = 0;
    std::array<uint64_t, VectorCount> m_entries{}, m_entryCycles{};
    uint64_t m_idle = 0;
};

} // namespace insight
