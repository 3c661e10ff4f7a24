#pragma once
// Stepping back through a run: the machine steps through here, which keeps
// a snapshot every `interval` steps and every input from outside (serial
// bytes, pin levels, writes by the debugger) with the step it came at. Going
// back restores the checkpoint before the wanted step and replays the steps
// from there with the same inputs: the core is deterministic, so the machine
// is then exactly as it was. The outside world is not rewound: while the
// position is behind the newest step ("replaying") the machine's outputs are
// not passed on, and stepping forward replays the recorded inputs until the
// present is reached again. An input given while replaying starts a new
// present there (the recorded future is dropped).
//
// Pins driven straight on the machine (the virtual board's buttons, keys and
// the LCD answering a read) are inputs too: the drives found changed before
// a step, and those the listener makes while it is told of a pin change in
// the middle of a step, are recorded and put back at the same point of the
// replay (the pin reports are numbered: the replay makes the same ones).
//
// run() lets the core run on its own run loop, which counts what the
// recorder wants counted and traces nothing; checkpoints then come every
// `interval` steps or more (at least every 131,072) made one by one: turns
// of poll and delay loops the core makes in one go do not count. Going back
// replays on the run loop too, from one recorded input to the next, those
// loops in one go again, and traces the steps within reach of stepping back
// (`depth` behind the newest) on the way; the trace of steps never replayed
// is made when something looks at it.

#include "sim/Machine.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace insight {

class History;
class Recorder;

// Code addresses to stop at, one byte each (64 K entries), that count their
// changes: a history puts a table into the core once, and again only after
// it changed, where a plain vector is compared with what the core holds on
// every run.
class StopTable {
public:
    StopTable() : m_at(65536, 0) {}
    uint8_t operator[](uint16_t address) const { return m_at[address]; }
    void set(uint16_t address, bool on)
    {
        if ((m_at[address] != 0) != on) {
            m_at[address] = on;
            ++m_changes;
        }
    }
    void assign(const std::vector<uint8_t>& marks)
    {
        std::copy_n(marks.begin(), std::min<size_t>(marks.size(), 65536), m_at.begin());
        std::fill(m_at.begin() + std::min<ptrdiff_t>(ptrdiff_t(marks.size()), 65536), m_at.end(), 0);
        ++m_changes;
    }
    void clear() { assign({}); }
    const std::vector<uint8_t>& bytes() const { return m_at; }

private:
    friend class History;
    std::vector<uint8_t> m_at;
    uint64_t m_changes = 0;
    // The history whose core holds the table as it was after that many changes.
    mutable const History* m_heldBy = nullptr;
    mutable uint64_t m_heldAt = 0;
};

class History {
public:
    // Keeps at least `depth` steps behind the newest one.
    explicit History(sim::Machine& machine, uint64_t depth = 100000, uint64_t interval = 4096);
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Forgets everything: the machine as it is now is step 0 (after a reset or a load).
    void clear();

    // One step forward: a replayed one while behind the newest step, a new one otherwise.
    unsigned step();
    // Steps as the core's run() does: until `cycleBudget` machine cycles have
    // passed, a power-down, or an instruction at an address `breakpoints`
    // marks (64 K entries) is next; the first one too when `breakAtFirst`.
    // Where an interrupt entry is due at a marked address: RunFirst, the
    // handler runs and the run stops when it has returned there; MarksFirst,
    // the run stops before the entry (stepping); StopBefore, the run stops
    // before every entry, marked or not (Breakpoint, the entry due).
    enum class Entries { RunFirst, MarksFirst, StopBefore };
    sim::Stop run(uint64_t cycleBudget, const std::vector<uint8_t>& breakpoints, bool breakAtFirst,
                  Entries entries = Entries::RunFirst);
    sim::Stop run(uint64_t cycleBudget, const StopTable& breakpoints, bool breakAtFirst,
                  Entries entries = Entries::RunFirst);

    // Inputs: applied now and recorded for replays.
    void sendSerial(const std::string& bytes);
    void drivePin(unsigned port, unsigned bit, int level);
    void write(sim::Space space, unsigned address, uint8_t value);
    void setPc(uint16_t pc);

    // New steps are made through `recorder` (coverage and profile) while one is
    // set; replayed steps were recorded when they were new.
    void setRecorder(Recorder* recorder);

    // The machine's outputs, passed on only for new steps. Without one, the
    // core need not stop at each edge of a real serial line.
    void setListener(sim::Listener* listener);

    uint64_t position() const { return m_position; }
    uint64_t newest() const { return m_newest; }
    uint64_t oldest() const;
    bool replaying() const { return m_position < m_newest; }

    // To step `position` (oldest() to newest()); false when it is out of reach.
    bool goTo(uint64_t position);
    bool stepBack(uint64_t steps = 1);
    // Back to the start of the line run before (or, in the middle of a line,
    // the start of this one); `lineOf` gives a line key for a code address.
    bool stepBackLine(const std::function<int(uint16_t)>& lineOf);

    struct Watch {
        sim::Space space;
        unsigned address;
    };
    // Back to the last step before this one that starts at a breakpoint
    // address, or that changes a watched byte (stopping before the write, on
    // the instruction that makes it). False, and no move, when there is none.
    bool reverseContinue(const std::vector<uint16_t>& breakpoints, const std::vector<Watch>& watches);

    // Bytes held for stepping back (snapshots, inputs, the step trace).
    size_t memoryBytes() const;

    // What step `position` (oldest() to newest() - 1) began with.
    struct Traced {
        uint16_t pc = 0;
        enum class Kind : uint8_t { Instruction, InterruptEntry, Idle } kind = Kind::Instruction;
    };
    std::optional<Traced> traced(uint64_t position) const;

private:
    struct Input {
        // Drives: the outside drive of all four ports (b, a byte each), put
        // back before the step.
        enum class Kind : uint8_t { Serial, Pin, Write, SetPc, Drives };
        uint64_t at = 0;
        Kind kind = Kind::Serial;
        std::string bytes;
        unsigned a = 0, b = 0;
        int c = 0;
    };
    struct Checkpoint {
        uint64_t position;
        sim::Snapshot snapshot;
        uint64_t reports;  // pin reports made in steps before it
    };
    // Pins the listener drove while told of a report: of the pins, the one
    // numbered `key`; of the line, the edge at cycle `key`, in step `at`.
    struct PinAnswer {
        uint64_t key;
        uint32_t drives;
    };
    struct LineAnswer {
        uint64_t key;
        uint32_t drives;
        uint64_t at;
    };
    // Answers in order, added at the back and dropped at the front as steps
    // are forgotten: a ring that doubles when full, so that keeping one (a
    // board answering every row of a keypad scan) is a store, and dropping
    // those of forgotten steps moves nothing.
    template <class Answer>
    class Answers {
    public:
        Answers() : m_all(256), m_mask(m_all.size() - 1) {}
        bool empty() const { return m_size == 0; }
        size_t size() const { return m_size; }
        const Answer& operator[](size_t i) const { return m_all[(m_head + i) & m_mask]; }
        const Answer& back() const { return (*this)[m_size - 1]; }
        void push_back(const Answer& answer)
        {
            if (m_size > m_mask) [[unlikely]]
                grow();
            m_all[(m_head + m_size++) & m_mask] = answer;
        }
        void pop_back() { --m_size; }
        // The first `n` go.
        void dropFront(size_t n) { m_head = (m_head + n) & m_mask, m_size -= n; }
        // How many come first for which `before` holds (it holds for a first run of them).
        template <class Before>
        size_t countBefore(Before before) const
        {
            size_t low = 0, high = m_size;
            while (low < high) {
                const size_t middle = low + (high - low) / 2;
                if (before((*this)[middle]))
                    low = middle + 1;
                else
                    high = middle;
            }
            return low;
        }
        void clear() { m_head = m_size = 0; }

    private:
        void grow()
        {
            std::vector<Answer> all(2 * m_all.size());
            for (size_t i = 0; i < m_size; ++i)
                all[i] = (*this)[i];
            m_all = std::move(all);
            m_head = 0;
            m_mask = m_all.size() - 1;
        }
        std::vector<Answer> m_all;  // a power of two of them
        size_t m_mask, m_head = 0, m_size = 0;
    };
    // What a pin or line report from the machine is to the history.
    enum class Reports : uint8_t {
        Passed,    // between steps, or made while the listener answers one: to it while the steps are new
        Answered,  // in a new step with a listener: told, and what it drives kept
        Numbered,  // in a new step without one: only numbered
        PutBack,   // in a replayed step: the drives kept for it put back
    };
    struct Muted;  // the listener between the machine and ours

    void record(Input input);
    void apply(const Input& input);
    void applyInputsAt(uint64_t position);
    unsigned advance();  // one step of the machine, traced
    // The core's run loop from the present on, for at most `cycleBudget` cycles.
    sim::Stop runNew(uint64_t cycleBudget);
    // Replays recorded steps up to `position` (no inputs on the way) on the run loop.
    void replayTo(uint64_t position);
    void replayRun(uint64_t position, bool traced);  // replayTo(), traced or not
    uint64_t pieceCycles() const;                    // the cycle budget of a run's next piece
    void setNewest(uint64_t newest);
    void replayForward(uint64_t position);  // with the recorded inputs on the way
    void syncBreakpoints(const std::vector<uint8_t>& breakpoints);
    // run() with the breakpoints in the core already (held) or put there on the way.
    sim::Stop runWith(uint64_t cycleBudget, const std::vector<uint8_t>& breakpoints, bool breakAtFirst,
                      Entries entries, bool held);
    void markTraced(uint64_t from, uint64_t to);
    void fillTrace(uint64_t position);
    uint32_t traceOf(uint64_t position);  // traceAt(), the trace made first where a run left none
    void checkpointIfDue(uint64_t spacing);
    unsigned stepTraced();  // step() without looking at the drives
    void trim();
    const Checkpoint* checkpointAtOrBefore(uint64_t position) const;
    uint32_t traceAt(uint64_t position) const { return m_trace[position & m_traceMask]; }
    uint32_t drives() const { return m_machine.outsideDrives(); }
    void setDrives(uint32_t drives);
    void noteOutsideDrives();  // drives changed on the machine since the last step: an input
    // The reports of the steps the machine makes from now on are `way` (Passed: it stopped).
    void reportsAre(Reports way) { m_inStep = way; }
    // A pin report of a new step (Reports::Answered): the listener is told,
    // and what it drives in answer is kept with the report's number.
    [[gnu::noinline]] void answerPins(uint64_t cycle, unsigned port, uint8_t levels);
    template <class Tell, class Keep>
    void answer(Tell tell, Keep keep);
    void lineReportInStep(uint64_t cycle, uint8_t levels);  // an edge of the line not passed on
    template <class Answer>
    [[gnu::noinline]] void putBackAnswer(const Answers<Answer>& answers, uint64_t key);  // replaying: the drives recorded
    uint64_t stepInProgress() const;

    Recorder* m_recorder = nullptr;
    sim::Machine& m_machine;
    uint64_t m_depth, m_interval;
    uint64_t m_runSpacing;  // checkpoints of runs: steps between them at least
    uint64_t m_position = 0, m_newest = 0;
    uint64_t m_floor = 0;  // no step before it is in reach (depth behind the newest ever)
    uint64_t m_work = 0;   // new steps since the newest checkpoint, made one by one
    struct Piece {
        uint64_t cycles = 0, work = 0;
    } m_lastPiece;  // the last piece of a run: its cycles and steps made one by one
    std::deque<Checkpoint> m_checkpoints;
    sim::Snapshot m_spare;  // a dropped checkpoint's bytes, for the next one
    std::deque<Input> m_inputs;
    Answers<PinAnswer> m_answers;  // in report order
    Answers<LineAnswer> m_lineAnswers;
    uint64_t m_reports = 0;        // pin reports made in steps so far
    sim::RunRecord m_run;
    uint64_t m_runFrom = 0;  // the machine's steps() when the run began
    std::vector<std::pair<uint64_t, uint64_t>> m_untraced;  // steps of new runs, not traced yet [from, to)
    std::vector<uint32_t> m_trace;  // per step: PC before it, bit 16 set when it was no instruction, bit 17 an interrupt entry
    uint64_t m_traceMask = 0;
    std::vector<uint8_t> m_breaksSet;  // breakpoints put into the core by run()
    const StopTable* m_held = nullptr;  // the table they came from, when it was one
    uint32_t m_lastDrives = 0xFFFFFFFF;  // the outside drives after the last step or input
    Reports m_inStep = Reports::Passed;  // what the machine's reports are now
    sim::Listener* m_listener = nullptr;
    Muted* m_muted;
};

} // namespace insight
