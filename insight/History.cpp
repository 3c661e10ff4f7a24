// The recording and replaying of steps: runs in pieces with checkpoints
// between, and traces made when they are looked at. (Going back:
// HistoryBack.cpp; inputs and the board's answers: HistoryInputs.cpp.)
#include "insight/History.h"

#include "insight/Recorder.h"

#include <algorithm>
#include <utility>

namespace insight {

// Passes the machine's outputs on only while the steps are new, and keeps
// or puts back the board's answers to the pin reports of steps.
struct History::Muted : sim::Listener {
    History* history = nullptr;
    bool live() const { return history->m_listener && !history->replaying(); }
    // The reports of new steps with a listener come first and go straight
    // to answerPins(), those of the listener's own drives while it answers
    // next: a board answering a program that drives its pins all the time
    // makes both for nearly every report. A new step without a listener
    // only numbers its report; a replayed one has the drives kept for it
    // put back.
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override
    {
        History& h = *history;
        if (h.m_inStep == Reports::Answered) [[likely]]
            return h.answerPins(cycle, port, levels);
        if (h.m_inStep == Reports::Passed) {
            if (live())
                h.m_listener->pinsChanged(cycle, port, levels);
            return;
        }
        if (h.m_inStep == Reports::Numbered)
            ++h.m_reports;
        else
            h.putBackAnswer(h.m_answers, h.m_reports++);
    }
    void serialSent(uint64_t cycle, uint8_t byte) override
    {
        if (live())
            history->m_listener->serialSent(cycle, byte);
    }
    void serialLost(uint64_t cycle, uint8_t byte) override
    {
        if (live())
            history->m_listener->serialLost(cycle, byte);
    }
    // Edges of the outside line are not numbered among the pin reports: the
    // core makes them only while this follows the line.
    void lineMoved(uint64_t cycle, uint8_t levels) override
    {
        if (history->m_inStep != Reports::Passed)
            history->lineReportInStep(cycle, levels);
        else if (live())
            history->m_listener->lineMoved(cycle, levels);
    }
    // Someone to tell of each edge, or answers to edges to put back.
    bool followsLine() const override { return history->m_listener || !history->m_lineAnswers.empty(); }
    // Likewise for the pins: answers are put back by the number of the report
    // they answered, which holds only while every report comes at its cycle.
    // Without either, the reports are only numbered, and TXD's edges may be
    // numbered late: no answer hangs on them.
    bool followsPins() const override { return history->m_listener || !history->m_answers.empty(); }
};

namespace {
constexpr uint32_t NotAnInstruction = sim::RunRecord::kNoInstruction;
constexpr uint32_t InterruptEntry = sim::RunRecord::kInterruptEntry;
// Runs take a checkpoint (a copy of the whole machine) no more often than
// this many steps made one by one, so that copying stays small beside
// running; going back replays on the run loop, a fraction of a millisecond
// for these. Turns of poll and delay loops made in one go do not count:
// replaying makes them in one go again.
constexpr uint64_t RunSpacing = 131072;
// A run goes in pieces, after each of which a checkpoint may be due: each
// piece as long as the last one's pace says the steps up to the next
// checkpoint take, but no longer than this many cycles (a program that
// stops looping in the middle of a piece makes at most these one by one
// before its next checkpoint).
constexpr uint64_t MaxPieceCycles = uint64_t{1} << 22;

uint64_t PowerOfTwoAtLeast(uint64_t n)
{
    uint64_t p = 1;
    while (p < n)
        p <<= 1;
    return p;
}
}

History::History(sim::Machine& machine, uint64_t depth, uint64_t interval)
    : m_machine(machine), m_depth(std::max<uint64_t>(depth, 1)), m_interval(std::max<uint64_t>(interval, 1)),
      m_runSpacing(std::max(m_interval, RunSpacing)),
      m_trace(PowerOfTwoAtLeast(m_depth + 1), 0), m_traceMask(m_trace.size() - 1),
      m_breaksSet(65536, 0), m_muted(new Muted)
{
    m_run.trace = m_trace.data();
    m_run.mask = m_traceMask;
    m_muted->history = this;
    m_machine.setListener(m_muted);
    clear();
}

History::~History()
{
    setRecorder(nullptr);
    for (unsigned a = 0; a < 65536; ++a)
        if (m_breaksSet[a])
            m_machine.setCodeBreakpoint(static_cast<uint16_t>(a), false);
    m_machine.setListener(nullptr);
    delete m_muted;
}

void History::clear()
{
    m_position = m_newest = m_floor = 0;
    m_work = 0;
    m_inputs.clear();
    m_answers.clear();
    m_lineAnswers.clear();
    m_machine.setListener(m_muted);  // following the line again only with a listener
    m_untraced.clear();
    m_reports = 0;
    m_checkpoints.clear();
    m_checkpoints.push_back({0, m_machine.snapshot(), 0});
    m_lastDrives = drives();
}

uint64_t History::oldest() const
{
    return std::max(m_checkpoints.front().position, m_floor);
}

void History::setNewest(uint64_t newest)
{
    m_newest = newest;
    m_floor = std::max(m_floor, newest > m_depth ? newest - m_depth : 0);
}

unsigned History::advance()
{
    const uint32_t kind = m_machine.pendingInterrupt() >= 0 ? NotAnInstruction | InterruptEntry
                          : m_machine.idle()                 ? NotAnInstruction
                                                             : 0;
    if (m_position >= m_floor)  // before it, no step is looked at (its slot may hold a later one)
        m_trace[m_position & m_traceMask] = m_machine.pc() | kind;
    const bool fresh = m_position >= m_newest;
    reportsAre(!fresh ? Reports::PutBack : m_listener ? Reports::Answered : Reports::Numbered);
    const unsigned n = fresh && m_recorder ? m_recorder->step(m_machine) : m_machine.step();
    reportsAre(Reports::Passed);
    ++m_position;
    return n;
}

// The step the machine is making: in a run, the last one traced.
uint64_t History::stepInProgress() const
{
    if (!m_machine.runRecordSet())
        return m_position;
    return m_run.trace ? m_run.next - 1 : m_position + (m_machine.steps() - m_runFrom);
}

void History::setListener(sim::Listener* listener)
{
    m_listener = listener;
    m_machine.setListener(m_muted);  // asks again whether to follow the line
}

unsigned History::stepTraced()
{
    if (m_position < m_newest) {
        applyInputsAt(m_position);
        const unsigned n = advance();
        // Back in the present: with what came from outside after its last step.
        if (m_position == m_newest)
            applyInputsAt(m_position);
        return n;
    }
    const unsigned n = advance();
    setNewest(m_position);
    ++m_work;
    checkpointIfDue(m_interval);
    return n;
}

void History::checkpointIfDue(uint64_t spacing)
{
    if (m_work < spacing)
        return;
    // Into the storage of the last checkpoint dropped: a run keeps taking
    // them, and keeps only the few within reach.
    Checkpoint checkpoint{m_position, std::move(m_spare), m_reports};
    m_machine.snapshot(checkpoint.snapshot);
    m_checkpoints.push_back(std::move(checkpoint));
    m_work = 0;
    trim();
}

unsigned History::step()
{
    noteOutsideDrives();
    return stepTraced();
}

void History::setRecorder(Recorder* recorder)
{
    if (recorder == m_recorder)
        return;
    m_recorder = recorder;
    m_machine.markSteps(recorder ? recorder->marks() : std::vector<uint8_t>{});
}

// The core stops at the breakpoints it holds: those of the caller, kept in step.
void History::syncBreakpoints(const std::vector<uint8_t>& breakpoints)
{
    m_held = nullptr;
    const size_t n = std::min<size_t>(breakpoints.size(), 65536);
    if (n == 65536 && std::equal(m_breaksSet.begin(), m_breaksSet.end(), breakpoints.begin()))
        return;
    for (size_t a = 0; a < 65536; ++a) {
        const uint8_t wanted = a < n && breakpoints[a] ? 1 : 0;
        if (wanted != m_breaksSet[a]) {
            m_machine.setCodeBreakpoint(static_cast<uint16_t>(a), wanted);
            m_breaksSet[a] = wanted;
        }
    }
}

// Drives change between steps only when no step runs: looked at once.
// Recorded steps ahead are replayed one at a time; from the present on the
// core runs, in pieces after each of which a checkpoint may be due.
sim::Stop History::run(uint64_t cycleBudget, const std::vector<uint8_t>& breakpoints, bool breakAtFirst,
                       Entries entries)
{
    return runWith(cycleBudget, breakpoints, breakAtFirst, entries, false);
}

sim::Stop History::run(uint64_t cycleBudget, const StopTable& breakpoints, bool breakAtFirst, Entries entries)
{
    const bool held =
        m_held == &breakpoints && breakpoints.m_heldBy == this && breakpoints.m_heldAt == breakpoints.m_changes;
    const sim::Stop stop = runWith(cycleBudget, breakpoints.bytes(), breakAtFirst, entries, held);
    if (!held && m_breaksSet == breakpoints.bytes()) {  // put into the core on the way
        m_held = &breakpoints;
        breakpoints.m_heldBy = this;
        breakpoints.m_heldAt = breakpoints.m_changes;
    }
    return stop;
}

sim::Stop History::runWith(uint64_t cycleBudget, const std::vector<uint8_t>& breakpoints, bool breakAtFirst,
                           Entries entries, bool held)
{
    noteOutsideDrives();
    const uint64_t end = m_machine.cycles() + cycleBudget;
    bool first = !breakAtFirst;
    bool synced = held;  // the breakpoints cannot change while this runs: put into the core once
    while (m_machine.cycles() < end) {
        if (m_machine.poweredDown())
            return sim::Stop::PowerDown;
        const uint16_t pc = m_machine.pc();
        const bool entryDue = m_machine.pendingInterrupt() >= 0;
        const bool instruction = (entries != Entries::RunFirst || !entryDue) && !m_machine.idle();
        if (!first && instruction && pc < breakpoints.size() && breakpoints[pc])
            return sim::Stop::Breakpoint;
        if (!first && entryDue && entries == Entries::StopBefore)
            return sim::Stop::Breakpoint;
        if (m_position < m_newest) {
            first = false;
            stepTraced();
            continue;
        }
        // The core's run never stops at its first instruction: looked at above.
        first = false;
        if (!std::exchange(synced, true))
            syncBreakpoints(breakpoints);
        m_run.breakBeforeEntries = entries != Entries::RunFirst;
        m_run.stopBeforeEntries = entries == Entries::StopBefore;
        const sim::Stop stop = runNew(std::min(end - m_machine.cycles(), pieceCycles()));
        m_run.breakBeforeEntries = m_run.stopBeforeEntries = false;
        if (stop != sim::Stop::CycleLimit)
            return stop;
    }
    return sim::Stop::CycleLimit;
}

// The cycles of the next piece of a run: by the pace of the last piece (its
// cycles per step made one by one), up to where the next checkpoint is due.
// Each step takes a cycle at least: no fewer cycles than steps are left.
uint64_t History::pieceCycles() const
{
    const uint64_t left = m_work < m_runSpacing ? m_runSpacing - m_work : 1;
    const uint64_t pace = std::max<uint64_t>(1, m_lastPiece.cycles / std::max<uint64_t>(1, m_lastPiece.work));
    if (left >= MaxPieceCycles || pace >= MaxPieceCycles / left)
        return std::max(left, MaxPieceCycles);
    return left * pace;
}

// A new run traces nothing (the core runs at nearly its full speed): its
// steps are marked untraced, and the trace is made when it is looked at, by
// running them again from their checkpoint.
sim::Stop History::runNew(uint64_t cycleBudget)
{
    m_run.trace = nullptr;
    m_run.replay = false;
    m_run.observer = m_recorder;
    m_run.taken = m_recorder ? m_recorder->takenCounters() : nullptr;
    m_runFrom = m_machine.steps();
    const uint64_t cyclesBefore = m_machine.cycles(), loopsBefore = m_machine.loopInstructions();
    reportsAre(m_listener ? Reports::Answered : Reports::Numbered);
    m_machine.setRunRecord(&m_run);
    // New steps with no listener: their pin reports are only numbered (as
    // Muted would), without a call for each.
    m_machine.countPinReports(m_listener ? nullptr : &m_reports);
    const sim::Stop stop = m_machine.run(cycleBudget);
    m_machine.countPinReports(nullptr);
    m_machine.setRunRecord(nullptr);
    reportsAre(Reports::Passed);
    const uint64_t from = m_position;
    const uint64_t made = m_machine.steps() - m_runFrom;
    m_lastPiece = {m_machine.cycles() - cyclesBefore, made - (m_machine.loopInstructions() - loopsBefore)};
    m_work += m_lastPiece.work;
    m_position += made;
    setNewest(m_position);
    if (m_position > from) {
        if (!m_untraced.empty() && m_untraced.back().second == from)
            m_untraced.back().second = m_position;
        else
            m_untraced.emplace_back(from, m_position);
    }
    checkpointIfDue(m_runSpacing);
    return stop;
}

// Steps no trace is wanted for go untraced, poll and delay loops in one go:
// those before the reach of stepping back, and those traced already. From
// the first one left untraced on they are traced.
void History::replayTo(uint64_t position)
{
    const uint64_t reach = std::max(m_position, m_floor);
    uint64_t traceFrom = position;
    for (const auto& [a, b] : m_untraced)
        if (b > reach && a < position)
            traceFrom = std::min(traceFrom, std::max(a, reach));
    if (m_position < traceFrom)
        replayRun(traceFrom, false);
    if (m_position == traceFrom && traceFrom < position) {
        replayRun(position, true);
        markTraced(traceFrom, m_position);
    }
}

void History::replayRun(uint64_t position, bool traced)
{
    m_run.trace = traced ? m_trace.data() : nullptr;
    m_run.replay = !traced;
    m_run.next = m_position;
    m_run.stopAt = position;
    m_run.observer = nullptr;
    m_run.taken = nullptr;
    m_runFrom = m_machine.steps();
    reportsAre(Reports::PutBack);
    m_machine.setRunRecord(&m_run);
    m_machine.run(UINT64_MAX / 4);
    m_machine.setRunRecord(nullptr);
    reportsAre(Reports::Passed);
    m_run.replay = false;
    m_position = m_run.next;
}

void History::markTraced(uint64_t from, uint64_t to)
{
    std::vector<std::pair<uint64_t, uint64_t>> left;
    for (const auto& [a, b] : m_untraced) {
        if (b <= from || a >= to) {
            left.emplace_back(a, b);
            continue;
        }
        if (a < from)
            left.emplace_back(a, from);
        if (b > to)
            left.emplace_back(to, b);
    }
    m_untraced = std::move(left);
}

// Runs the steps from the checkpoint before `position` again, tracing them up
// to the end of the untraced stretch that holds it, and returns to where it was.
void History::fillTrace(uint64_t position)
{
    auto it = std::find_if(m_untraced.begin(), m_untraced.end(),
                           [position](const auto& r) { return r.first <= position && position < r.second; });
    if (it == m_untraced.end())
        return;
    const uint64_t until = std::min(it->second, m_newest);
    const uint64_t back = m_position;
    const Checkpoint* checkpoint = checkpointAtOrBefore(position);
    if (!checkpoint || !m_machine.restore(checkpoint->snapshot))
        return;
    m_position = checkpoint->position;
    m_reports = checkpoint->reports;
    replayForward(until);
    goTo(back);
}

uint32_t History::traceOf(uint64_t position)
{
    if (!m_untraced.empty() && position < m_untraced.back().second)
        fillTrace(position);
    return traceAt(position);
}

// Drops what lies beyond the depth: checkpoints older than the newest one
// that still covers it, and the inputs and answers before the oldest
// checkpoint (going to the oldest step in reach replays from there, through
// steps older than that step).
void History::trim()
{
    const uint64_t wanted = m_newest > m_depth ? m_newest - m_depth : 0;
    while (m_checkpoints.size() > 1 && m_checkpoints[1].position <= wanted) {
        m_spare = std::move(m_checkpoints.front().snapshot);
        m_checkpoints.pop_front();
    }
    const Checkpoint& replayFrom = m_checkpoints.front();
    while (!m_inputs.empty() && m_inputs.front().at < replayFrom.position)
        m_inputs.pop_front();
    m_answers.dropFront(m_answers.countBefore([&](const PinAnswer& a) { return a.key < replayFrom.reports; }));
    m_lineAnswers.dropFront(
        m_lineAnswers.countBefore([&](const LineAnswer& a) { return a.at < replayFrom.position; }));
    while (!m_untraced.empty() && m_untraced.front().second <= oldest())
        m_untraced.erase(m_untraced.begin());
}

const History::Checkpoint* History::checkpointAtOrBefore(uint64_t position) const
{
    auto it = std::upper_bound(m_checkpoints.begin(), m_checkpoints.end(), position,
                               [](uint64_t at, const Checkpoint& c) { return at < c.position; });
    if (it == m_checkpoints.begin())
        return nullptr;
    return &*std::prev(it);
}

bool History::goTo(uint64_t position)
{
    if (position > m_newest || position < oldest())
        return false;
    if (position < m_position || position - m_position > m_interval) {
        const Checkpoint* checkpoint = checkpointAtOrBefore(position);
        if (!checkpoint || !m_machine.restore(checkpoint->snapshot))
            return false;
        m_position = checkpoint->position;
        m_reports = checkpoint->reports;
    }
    replayForward(position);
    // The present includes what came from outside after its last step.
    if (m_position == m_newest)
        applyInputsAt(m_position);
    m_lastDrives = drives();
    return true;
}

// From one recorded input to the next on the run loop; a step the run does
// not make (a powered-down machine) one at a time.
void History::replayForward(uint64_t position)
{
    while (m_position < position) {
        applyInputsAt(m_position);
        auto next = std::upper_bound(m_inputs.begin(), m_inputs.end(), m_position,
                                     [](uint64_t at, const Input& input) { return at < input.at; });
        const uint64_t until = next == m_inputs.end() ? position : std::min(position, next->at);
        replayTo(until);
        if (m_position < until)
            advance();
    }
}

} // namespace insight
