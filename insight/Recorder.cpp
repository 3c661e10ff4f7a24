#include "insight/Recorder.h"

namespace insight {

namespace {
constexpr size_t MaxFrames = 4096;  // deeper means the program no longer returns: stop following
}

void Recorder::close(Totals& totals, uint64_t& interruptNet, const Frame& frame, uint64_t now)
{
    const uint64_t net = now - interruptNet - frame.base;
    if (frame.interrupt) {
        totals.handler[frame.owner] += net;
        interruptNet += net;
        return;
    }
    // Only the outermost open call from a procedure counts: it holds the inner ones.
    if (--totals.open[frame.owner] == 0)
        totals.callee[frame.owner] += net;
}

Recorder::Recorder(const sim::Machine& machine, std::vector<uint16_t> procedureOf, size_t procedures)
    : m_flow(65536, Flow::Plain), m_length(65536, 1), m_procedureOf(std::move(procedureOf)), m_taken(65536, 0),
      m_calls(procedures, 0), m_frames(MaxFrames + 1)
{
    m_totals.callee.assign(procedures, 0);
    m_totals.open.assign(procedures, 0);
    m_procedureOf.resize(65536, 0);
    for (unsigned a = 0; a < 65536; ++a) {
        const Shape shape = ShapeOf(machine.read(sim::Space::Code, a));
        m_flow[a] = shape.flow;
        m_length[a] = shape.length;
    }
}

void Recorder::clear(sim::Machine& machine)
{
    machine.clearExecutionCounts();
    std::fill(m_taken.begin(), m_taken.end(), 0);
    std::fill(m_calls.begin(), m_calls.end(), 0);
    m_totals = Totals{std::vector<uint64_t>(m_calls.size(), 0), std::vector<uint32_t>(m_calls.size(), 0), {}, 0};
    m_open = 0;
    m_entries = m_entryCycles = {};
    m_idle = 0;
}

void Recorder::machineReset()
{
    m_open = 0;
    std::fill(m_totals.open.begin(), m_totals.open.end(), 0);
}

unsigned Recorder::step(sim::Machine& machine)
{
    const int source = machine.pendingInterrupt();
    sim::StepSeen seen;
    seen.kind = source >= 0 ? sim::StepSeen::Kind::InterruptEntry
                : machine.idle() ? sim::StepSeen::Kind::Idle
                                 : sim::StepSeen::Kind::Instruction;
    seen.at = machine.pc();
    seen.source = static_cast<uint8_t>(source);
    seen.cyclesBefore = machine.cycles();
    seen.cycles = machine.step();
    stepped(machine, seen);
    return seen.cycles;
}

std::vector<uint8_t> Recorder::marks() const
{
    std::vector<uint8_t> marks(65536, 0);
    for (unsigned a = 0; a < 65536; ++a)
        marks[a] = m_flow[a] != Flow::Plain && m_flow[a] != Flow::CondJump;
    return marks;
}

// Calls and returns (the steps of runs are mostly these) first and inline;
// the rest apart.
void Recorder::stepped(sim::Machine& machine, const sim::StepSeen& step)
{
    if (step.kind != sim::StepSeen::Kind::Instruction) [[unlikely]] {
        entered(machine, step);
        return;
    }
    if (step.cycles != 0)
        flowOf(step.at, machine.pc(), machine.sp(), machine.cycles());
}

// As flowOf() does for each, with the tables, the open frames and the
// interrupt time at hand (a run hands over a call or return every few
// instructions).
void Recorder::flowed(const sim::FlowSeen* flows, size_t count)
{
    const Flow* flowAt = m_flow.data();
    const uint16_t* procedureOf = m_procedureOf.data();
    uint64_t* calls = m_calls.data();
    uint32_t* open = m_totals.open.data();
    uint64_t* callee = m_totals.callee.data();
    Frame* frames = m_frames.data();
    size_t top = m_open;
    uint64_t interruptNet = m_totals.interruptNet;
    for (const sim::FlowSeen *flow = flows, *end = flows + count; flow != end; ++flow) {
        const Flow kind = flowAt[flow->at];
        if (kind == Flow::Call) {
            const uint16_t caller = procedureOf[flow->at];
            ++calls[procedureOf[flow->pc]];
            // A call whose return is the next flow and ends no other frame
            // (a leaf procedure's, the commonest): no interrupt came between
            // (an entry ends a batch), its time is counted at once.
            const sim::FlowSeen* next = flow + 1;
            if (next != end && flowAt[next->at] >= Flow::Return && next->sp < flow->sp &&
                frames[top].sp <= next->sp && top < MaxFrames) {
                if (open[caller] == 0)
                    callee[caller] += next->cycles - flow->cycles;
                flow = next;
                continue;
            }
            if (top < MaxFrames) {
                frames[++top] = Frame{flow->cycles - interruptNet, caller, flow->sp, false};
                ++open[caller];
            }
        } else if (kind >= Flow::Return) {  // RET or RETI
            const uint8_t sp = flow->sp;
            while (frames[top].sp > sp)
                close(m_totals, interruptNet, frames[top--], flow->cycles);
        } else {
            m_open = top;
            m_totals.interruptNet = interruptNet;
            flowOf(flow->at, flow->pc, flow->sp, flow->cycles);
            top = m_open;
            interruptNet = m_totals.interruptNet;
        }
    }
    m_open = top;
    m_totals.interruptNet = interruptNet;
}

void Recorder::flowOf(uint16_t at, uint16_t pc, uint8_t sp, uint64_t now)
{
    switch (m_flow[at]) {
    case Flow::Call: {
        const uint16_t caller = m_procedureOf[at];
        ++m_calls[m_procedureOf[pc]];
        if (m_open >= MaxFrames)
            break;
        m_frames[++m_open] = Frame{now - m_totals.interruptNet, caller, sp, false};
        ++m_totals.open[caller];
        break;
    }
    case Flow::Return:
    case Flow::ReturnInterrupt:
        returned(sp, now);
        break;
    case Flow::CondJump:
        if (pc != static_cast<uint16_t>(at + m_length[at]))
            ++m_taken[at];
        break;
    case Flow::Plain:
        break;
    }
}

// An interrupt entry or an idle step.
void Recorder::entered(const sim::Machine& machine, const sim::StepSeen& step)
{
    const unsigned n = step.cycles;
    if (step.kind == sim::StepSeen::Kind::Idle) {
        m_idle += n;
        return;
    }
    ++m_entries[step.source];
    m_entryCycles[step.source] += n;
    if (m_open < MaxFrames)
        m_frames[++m_open] = Frame{step.cyclesBefore - m_totals.interruptNet, step.source, machine.sp(), true};
}

// Every frame whose return address is no longer on the stack has ended:
// a RET or RETI pops one, a program that resets SP pops them all.
void Recorder::returned(uint8_t sp, uint64_t now)
{
    while (m_frames[m_open].sp > sp)
        close(m_totals, m_totals.interruptNet, m_frames[m_open--], now);
}

Recorder::Totals Recorder::closedAt(uint64_t now) const
{
    Totals totals = m_totals;
    for (size_t i = m_open; i > 0; --i)
        close(totals, totals.interruptNet, m_frames[i], now);
    return totals;
}

std::vector<uint64_t> Recorder::calleeCycles(uint64_t now) const
{
    return closedAt(now).callee;
}

std::array<uint64_t, VectorCount> Recorder::handlerCycles(uint64_t now) const
{
    return closedAt(now).handler;
}

} // namespace insight
