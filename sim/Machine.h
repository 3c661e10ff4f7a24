#pragma once
// The in-process 8051/8052 simulator: every instruction with its machine
// cycles and flags, the SFRs, ports as quasi-bidirectional pins, timers 0-2,
// the UART (ideal or as a real serial line, bit by bit on RXD/TXD),
// interrupts with both priority levels, breakpoints, watches, execution
// counters and snapshots. Plain C++, no threads of its own: run() executes on
// the caller's thread and requestStop() may come from any thread.

#include "sim/Chip.h"
#include "sim/CoreTypes.h"
#include "sim/LittleEndian.h"
#include "sim/ZeroTable.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace sim {

class Machine {
public:
    Machine(const Chip& chip, const Board& board);
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Code memory is 64 KB (on-chip and external alike); bytes never loaded read 0FFH.
    void loadCode(const uint8_t* bytes, size_t size, unsigned base = 0);
    void reset();  // hardware reset: SFR reset values, PC 0; RAM keeps its contents

    // One instruction (an interrupt entry counts as its LCALL); returns machine cycles.
    unsigned step();
    // Until a breakpoint, watch, condition, requestStop() or the budget of machine cycles is spent.
    Stop run(uint64_t cycleBudget);
    // Safe from another thread; run() returns within one instruction. A request
    // made while nothing runs stops the next run() before its first instruction.
    void requestStop();

    uint16_t pc() const { return m_s.pc; }
    void setPc(uint16_t pc) { m_s.pc = pc; }
    // Machine cycles since reset (12 oscillator periods each); asked by a
    // listener in the middle of an instruction, the cycle of its report.
    uint64_t cycles() const { return nowCycle(); }
    uint8_t sp() const { return m_s.sfr[0x81 - 0x80]; }  // the stack pointer, as read(Space::Sfr, 81H)
    uint64_t instructions() const { return m_s.instructions; }
    // Of those, the ones made in one go by poll and delay loops (a figure for
    // benchmarks: how much of a run such loops took).
    uint64_t loopInstructions() const { return m_loopInstructions; }
    // A count of steps as step() takes them: instructions, interrupt entries
    // and idle cycles alike. Two readings with no reset() or restore() between
    // tell the steps a run() took (the count itself is not in a snapshot).
    uint64_t steps() const { return m_s.instructions + m_otherSteps; }
    // The interrupt source (0 INT0, 1 timer 0, 2 INT1, 3 timer 1, 4 serial, 5 timer 2)
    // the next step() enters, or -1.
    int pendingInterrupt() const { return m_s.pendingSource == 0xFF ? -1 : m_s.pendingSource; }
    bool idle() const { return m_s.idle; }
    bool serialSending() const { return m_s.txActive; }  // a frame is going out on TXD
    bool poweredDown() const { return m_s.powerDown; }

    // Debugger view, no side effects (Sfr: the latch; ports: latch; SBUF: the received byte).
    uint8_t read(Space, unsigned address) const;
    void write(Space, unsigned address, uint8_t);
    uint8_t pins(unsigned port) const { return pinLevels(port & 3); }  // level on the pins: latch AND outside drive
    uint8_t latch(unsigned port) const { return m_s.sfr[(port & 3) << 4]; }  // the port's latch, as read(Sfr) gives it
    void drivePin(unsigned port, unsigned bit, int level);   // 0 low, 1 high, -1 released (pull-up / latch)
    // Several pins of a port at once (one report): those of `pins` set in `low` pulled low, the others released.
    void drivePins(unsigned port, uint8_t pins, uint8_t low);
    uint8_t outsideDrive(unsigned port) const { return m_s.drive[port & 3]; }  // per pin: 0 pulled low, 1 released
    // All four ports' outside drive, port 0 in the low byte.
    // Asked around every pin report a board answers: one load.
    uint32_t outsideDrives() const { return loadLittle<uint32_t>(m_s.drive); }

    void sendSerial(const uint8_t* bytes, size_t n);  // queued for the board's RXD
    size_t serialPending() const { return m_rxQueue.size(); }
    // With a listener that follows the line, every edge on RXD is reported
    // at its instruction's end, so the peripherals look at the line anew.
    // Set again when its followsLine() changes.
    void setListener(Listener* listener);

    // While set, the pin changes the listener would be told of are only
    // counted there (a caller that numbers them, with no one to tell).
    void countPinReports(uint64_t* counter) { m_pinReports = counter; }

    void setCodeBreakpoint(uint16_t address, bool on);
    void clearCodeBreakpoints();
    // A watch on any memory cell or SFR: run() stops after the instruction
    // that read or wrote it. A, B, PSW, SP, DPTR and R0-R7 count as written
    // whenever an instruction changes them, with or without their address.
    void setWatch(Space, unsigned address, bool onRead, bool onWrite);
    void clearWatches();
    // Stop when the condition holds after an instruction (checked only while one is set).
    void setCondition(bool (*condition)(const Machine&, void*), void* context);
    const Hit& lastHit() const { return m_hit; }

    // Runs recorded (null: none): run() only, step() leaves it alone.
    void setRunRecord(RunRecord* record) { m_record = record; }
    bool runRecordSet() const { return m_record != nullptr; }
    // The code addresses whose instructions the record's observer is told of
    // (64 K entries, 0 or 1); empty: none.
    void markSteps(std::vector<uint8_t> marks);

    const uint32_t* executionCounts() const { return m_counts.data(); }  // per code address (64 K entries)
    void clearExecutionCounts();

    Snapshot snapshot() const;
    // The same into `shot`, whose bytes' storage is reused (a history taking
    // checkpoints all the time need not allocate each one anew).
    void snapshot(Snapshot& shot) const;
    bool restore(const Snapshot&);  // false (and no change) when the bytes are not a snapshot of this machine

    const Chip& chip() const { return m_chip; }
    const Board& board() const { return m_board; }
    // Cycles one bit of the line takes at lineBaud (0 when the line follows the program's rate).
    double lineBitCycles() const { return m_s.lineBitCycles; }

private:
    // One port's outside drive, stored as all four at once: the history
    // reads them as one word right after a board has answered.
    void setDrive(unsigned port, uint8_t driven)
    {
        const unsigned shift = 8 * port;
        storeLittle<uint32_t>(m_s.drive, (outsideDrives() & ~(0xFFu << shift)) | uint32_t{driven} << shift);
    }
    friend class MachineAccess;
    // CountJumps: a conditional jump that jumps counts in m_jumpCounts at its address.
    // StopAtBreak: an instruction with a breakpoint is not made; 0 cycles tell it.
    // SkipLoops: a jump back to a poll or delay loop may make its next turns at once.
    // CountJumps and StopAtBreak (an observed run's loop): nor is a marked one (observedStep() makes it).
    template <bool CountJumps = false, bool StopAtBreak = false, bool SkipLoops = false>
    unsigned execute(uint16_t& pc, uint64_t word);
    // The jump at `at` went back to `start` (its own cycles not yet counted):
    // as many more turns of the loop as end before m_lookAt, made in one go
    // where each turn leaves everything as it was but the clock, the counts
    // and a DJNZ counter.
    // A new run counts the turns' executions and, observed, their jumps; a
    // replay (a run with a step limit) counts neither and ends its turns
    // before the instruction m_instructionLimit counts to.
    void skipLoop(uint16_t at, uint16_t start, bool countJumps);
    // A bit as JB/JNB read it, where nothing but an instruction can change it
    // before m_lookAt, with the port latches as given; -1 where reading it
    // may do more.
    int steadyBit(uint8_t bit, const uint8_t* latches) const;
    // The jump at `at` closes a loop of a shape skipLoop() takes (static: the
    // code bytes alone), kept in m_loops.
    bool loopShape(uint16_t at) const;
    void findLoops(unsigned from, unsigned to);
    static constexpr unsigned kLoopReach = 24;  // bytes from a loop's start to its jump
    unsigned stepOnce();  // step() without bringing the timers up to date
    // An instruction with no interrupt entry, idle mode or watch to look at.
    unsigned plainStep(uint16_t& pc, uint64_t word);
    template <bool CountJumps = false>
    unsigned executeClocked(uint16_t& pc, uint64_t word);  // execute() with the clock and the instruction count
    void pollIfNeeded();
    // A step of an observed run away from its loop: counted jumps, clock and
    // poll up to date, and the observer told of it when it is marked.
    [[gnu::noinline]] unsigned observedStep();
    // Something other than plain instructions may come: an interrupt entry,
    // idle or power-down, watches or a stop condition.
    bool unusual() const
    {
        return (m_s.pendingSource != 0xFF) | m_s.idle | m_s.powerDown | m_anyWatch | (m_condition != nullptr);
    }
    // Set by everything that can make unusual() true, and by requestStop(),
    // together with lowering m_lookAt: the run loop looks at it, unusual()
    // and the stop request only when its one test after an instruction
    // fails.
    std::atomic<bool> m_attention{true};
    uint32_t* m_jumpCounts = nullptr;     // an observed run's: the record's taken counters
    std::vector<uint32_t> m_jumpScratch;  // ... or these, when the record keeps none
    // The calls and returns an observed run's loop made and its observer has
    // not been told of yet (flushFlows() tells it): m_flows up to m_flowEnd.
    // A full batch has the loop look; a call or return ending a quiet run
    // stores no look, so one more may come before it (m_flows holds it).
    static constexpr unsigned kFlowBatch = 256;
    FlowSeen* m_flowEnd = nullptr;  // set by the constructor: m_flows.data()
    bool flowsFull() const { return m_flowEnd >= m_flows.data() + kFlowBatch; }
    void flushFlows();
    void attend()
    {
        m_attention.store(true, std::memory_order_relaxed);
        lookNow();
    }
    // Clears the flag when nothing needs it, without losing a stop request
    // made from another thread meanwhile.
    void settleAttention()
    {
        if (unusual()) {
            attend();
            return;
        }
        m_attention.store(false);
        if (m_stopRequest.load())
            attend();
    }
    // Bare: no record. Observed: a record without a trace (the steps of a
    // new run). Traced: a record with one (steps made again). Replayed: a
    // record for steps made again without a trace, loops in one go.
    enum class RunMode { Bare, Observed, Traced, Replayed };
    // Each run loop starts on a cache line of its own, so that its speed
    // does not hang on the size of the code placed before it.
    template <RunMode Mode>
    [[gnu::aligned(64)]] Stop runFor(uint64_t cycleBudget);
    // The trace of a step of a traced run; false when the run is to end before it.
    bool recordStep(uint16_t pc);
    void flowStep(uint16_t at, unsigned cycles);
    [[gnu::cold, gnu::noinline]] void breakpointHit(uint16_t at);
    unsigned watchedStep();
    unsigned interrupt();
    void afterCycles(unsigned n, bool poll);
    // The clock by n machine cycles and the peripherals' pace (inline in
    // sim/Clocking.h): one comparison with m_dueAt tells the common case,
    // where nothing is due.
    void tick(unsigned n);
    void due(unsigned n);
    // Something is due in the last n cycles: the ones before them go in one,
    // as nothing happened in them, and these as a step's.
    void horizonReached(unsigned n);
    void catchUp();
    // Brings the lazy peripherals from m_lagFrom up to now in one go and
    // leaves them clocked each step; false when there was nothing to do.
    bool lag();
    void lagged(unsigned n);
    // The peripherals work with every step until peripherals() finds them quiet again.
    void clockEachStep();
    // Something the peripherals depend on changes now: bring them up to date
    // and clock them instruction by instruction again.
    void changing();
    bool quietTimers(uint64_t& horizon);
    // The peripherals by n cycles of one step, then when to look at them again.
    void peripherals(unsigned n);
    void advance(unsigned n);
    void schedule();
    bool peripheralsBusy() const;
    void pollInterrupts();
    void timers01(unsigned n);
    void timer2(unsigned n);
    void timer2Down(uint64_t counts);
    // Timer 2 toggles P1.0 at each overflow (T2OE set, counting the clock).
    bool clockOut() const
    {
        return m_chip.t2mod && (m_s.sfr[0xC9 - 0x80] & 0x02) && !(m_s.sfr[0xC8 - 0x80] & 0x02);
    }
    bool upDownCounting() const { return m_chip.t2mod && (m_s.sfr[0xC9 - 0x80] & 0x01); }
    void serialClock(unsigned ticks16);
    // The 16x clock of the UART's transmitter (or receiver) from now on: its
    // tick k (from 1) comes at(k) machine cycles from now.
    struct TickLine {
        int64_t base, per, divisor;
        uint64_t at(uint64_t tick) const { return static_cast<uint64_t>(base + static_cast<int64_t>(tick) * per) / divisor; }
    };
    // False when the clock alone never ticks (a stopped timer, or one
    // counting pulses on a pin).
    bool serialClockLine(bool tx, TickLine& line) const;
    // Machine cycles until that clock has ticked `ticks` times; UINT64_MAX when it never does.
    uint64_t serialTickCycles(bool tx, unsigned ticks) const;
    void serialTx16(unsigned ticks);
    void serialRx16(unsigned ticks);
    void rxBegin();                                     // the start bit's falling edge
    void rxSample(uint8_t level, unsigned frameBits);  // one bit taken in its middle
    void serialMode0(unsigned n);
    // The receiver and the line between the events of a frame (LineEvents.cpp).
    // A step's cycles: the longest stretch the peripherals are clocked by at
    // once while they work with every step (an instruction or an interrupt entry).
    unsigned longestStep() const { return std::max(4u, m_board.interruptEntryCycles); }
    uint64_t lineBitStart(unsigned bit) const;
    // The line's bits start at whole cycles: the current frame's first and
    // the cycles of a bit (m_lineEach, worked out by lineRate()).
    bool lineWhole(uint64_t& from, uint64_t& each) const;
    void lineRate();
    uint64_t rxEventCycles(uint64_t limit);
    uint64_t lineEventCycles(bool idleReceiver) const;
    void rxdMoved();
    void lineAdvance();
    void lineStartByte();
    void idealFeed();
    void receiveFrame(uint16_t data, bool ninth, bool stop);
    void startTx(uint8_t byte);
    void txRollover();
    unsigned txRolloversAhead(bool realLine) const;
    void portsChanged();
    // Outside drives that may move a pin a peripheral looks at: the timers
    // are brought up to the cycle before.
    [[gnu::noinline]] void driveInputs(unsigned port, uint8_t driven);
    // Per port, the pins a peripheral looks at now (watchedInputs(): RXD,
    // INT0 and INT1 always, T0, T1, T2 and T2EX as the timers use them): a
    // counter input whose timer does not count pulses is any other pin, so
    // that a keypad row on T2 or an LCD line on T1 changes only its port.
    // Worked out from TMOD, T2CON and T2MOD whenever they change (and on
    // reset and restore), not part of a snapshot.
    uint8_t m_watched[4] = {0x00, 0x00, 0x00, 0x0D};
    // The pins looked at again, and those that became watched take their
    // level now as the one before their next edge: counting started later
    // sees no edge that came before it. A restore keeps the snapshot's.
    void inputsWatched(bool fromNow = true);
    // Per port, the pins whose change is more than a new level to keep: all
    // of them with a listener to tell, else m_watched.
    uint8_t m_heard[4] = {0x00, 0x00, 0x00, 0x0D};
    // A latch was written: a strobe nobody listens to settles here, one only
    // counted (countPinReports()) is counted here, anything else is reported
    // and looked at by pinsMoved().
    void portWritten(unsigned port);
    void pinsMoved(unsigned port, uint8_t now);
    // Pins changed: counted (countPinReports()), else told to the listener
    // if there is one. Counting comes first: the engine's run with no board
    // numbers a strobe at every write.
    void reportPins(uint64_t cycle, unsigned port, uint8_t levels);
    [[gnu::noinline]] void watchedMoved(unsigned port, uint8_t now);  // and one it looks at now: the timers catch up
    uint8_t watchedInputs(unsigned port) const;
    // What pulls a port's pins low but its latch: the outside drive, and on
    // P3 the UART's TXD, the line's RXD and mode 0's data bit, on P1 timer
    // 2's clock output.
    uint8_t outsideLevels(unsigned port) const;
    // outsideLevels() per port, kept so that a pin read or a latch write
    // costs one AND with no branches (a program strobing a port bit and
    // polling a busy flag does little else). Worked out from the state, not
    // part of a snapshot: whatever changes the outside drive, TXD, the line's
    // level, the UART's sending, its mode or timer 2's clock output calls
    // outsideMoved() at once, before anyone can look at the pins (a
    // listener told of a byte sent included); reset() and restore() work it
    // out anew.
    uint8_t m_outside[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    void outsideMoved(unsigned port);
    void outsideMoved()
    {
        for (unsigned p = 0; p < 4; ++p)
            outsideMoved(p);
    }
    // Level on a port's pins: the latch AND outsideLevels().
    uint8_t pinLevels(unsigned port) const
    {
        return static_cast<uint8_t>(m_s.sfr[(port & 3) << 4] & m_outside[port & 3]);
    }
    void externalEdges();

    // Inline in Access.h for the instruction loop; the ...Full ones take
    // watches and the SFRs with side effects. Watches false: the caller
    // knows no watch is set (the run loop's short way, which a watch keeps
    // it from), and the test is left out.
    template <bool Watches>
    bool watching() const
    {
        return Watches && m_anyWatch;
    }
    template <bool Watches = true>
    uint8_t readDirect(uint8_t address);
    template <bool Watches = true>
    uint8_t readDirectSfr(uint8_t address);
    template <bool Watches = true>
    uint8_t readDirectLatch(uint8_t address);
    template <bool Watches = true>
    void writeDirect(uint8_t address, uint8_t value);
    uint8_t readDirectFull(uint8_t address);
    template <bool Watches = true, class Change>
    uint8_t modifyDirect(uint8_t address, Change change);
    void writeDirectFull(uint8_t address, uint8_t value);
    uint8_t readSfr(uint8_t address);
    void writeSfr(uint8_t address, uint8_t value);
    void writePort(uint8_t address, uint8_t value);
    void writePsw(uint8_t value);
    template <bool Watches = true>
    bool readBit(uint8_t bit);
    template <bool Watches = true>
    bool readBitLatch(uint8_t bit);
    template <bool Watches = true>
    void writeBit(uint8_t bit, bool value);
    void writeBitFull(uint8_t bit, bool value);
    void writePortBit(uint8_t bit, bool value);
    // P3's pins change only from outside: no frame going out on TXD, no line
    // on RXD or one with nothing to send.
    bool quietP3() const;
    template <bool Watches = true>
    uint8_t readIndirect(uint8_t address);
    template <bool Watches = true>
    void writeIndirect(uint8_t address, uint8_t value);
    uint8_t readXram(uint16_t address);
    void writeXram(uint16_t address, uint8_t value);
    uint8_t fetchCode(uint16_t address) const { return m_fetch[address]; }
    bool inShared(unsigned address) const { return address >= m_board.sharedFrom && address <= m_board.sharedTo; }
    void storeXram(uint16_t address, uint8_t value)
    {
        m_memoryMoved = true;
        m_xram[address] = value;
        if (m_shared && inShared(address)) {
            m_view[address] = value;
            redecode(address);
        }
    }
    void buildCodeView();
    // The bytes in [first, end) changed: the words that read them and the
    // loops whose jumps do are decoded again.
    void redecode(uint16_t address);
    void redecode(unsigned first, unsigned end);
    // The bytes or breakpoints in [first, end) changed: every word that
    // reads them (those of their quiet runs too, sim/QuietRuns.h) is
    // decoded again when next made.
    void forgetWords(unsigned first, unsigned end);
    // An instruction word (sim/QuietRuns.cpp): the opcode, kBreakBit for a
    // breakpoint there, the mark, the two bytes after it, the loop bit and a
    // jump's or call's fixed target; in a quiet run, the cycles from there
    // to the run's end and, where the run goes on past it, kRunsOnBit.
    uint64_t decodedWord(uint16_t address) const;
    bool quietAt(uint16_t address) const;
    // The breakpoint bit sits next to the opcode: the run loop dispatches on
    // both at once, a breakpoint being one more case of the jump table. The
    // mark of observed runs (the observer is told of the instruction) sits
    // next to it: their loop dispatches on all three, so that an unmarked
    // instruction costs no test of its own. The dispatch takes the word's
    // low 16 bits; bits 12-15 stay clear.
    static constexpr uint64_t kBreakBit = 1u << 8;
    static constexpr uint64_t kMarkBit = 1u << 9;
    // Set in every decoded word: the table starts as zeros and an address is
    // decoded when first made (decodedAt(), or the run loop's dispatch of a
    // word without it), not all 64 K of it when a machine is built.
    static constexpr uint64_t kDecodedBit = 1u << 10;
    // A quiet instruction the next of its quiet run follows.
    static constexpr uint64_t kRunsOnBit = 1u << 11;
    static constexpr unsigned kOperandShift = 16;
    // The jump here closes a loop skipLoop() may take (above the operands).
    static constexpr uint64_t kLoopBit = 1ull << 32;
    // The machine cycles of the quiet run from here to its end (8 bits).
    static constexpr unsigned kSpanShift = 40;
    // Where a jump or call with a fixed target goes: taken from the word's
    // top bits in one shift, not worked out from its operands on the way to
    // the next instruction.
    static constexpr unsigned kTargetShift = 48;
    static_assert(((kBreakBit | kMarkBit | kDecodedBit | kRunsOnBit) >> 12) == 0 && kOperandShift == 16,
                  "the dispatch's 4096 values are a word's low 16 bits");
    uint64_t decodedAt(uint16_t address)
    {
        const uint64_t word = m_decoded[address];
        if (word & kDecodedBit) [[likely]]
            return word;
        return m_decoded[address] = decodedWord(address);
    }
    template <bool Watches = true>
    void push(uint8_t value);
    template <bool Watches = true>
    uint8_t pop();
    // The instruction bodies' helpers (sim/Execute.h): functions of the
    // caller's locals rather than lambdas over them, so that the run loop's
    // threaded dispatch keeps those locals in registers (a lambda's captured
    // addresses would live across its computed jumps).
    template <bool CountJumps, bool SkipLoops>
    void loopClosed(uint16_t at, uint16_t pc, uint64_t word);
    template <bool CountJumps, bool SkipLoops>
    void jump(uint16_t at, uint16_t& pc, uint64_t word, uint8_t offset);
    template <bool Marks>
    void flow(uint16_t at, uint16_t pc, uint64_t word, uint64_t cyclesAfter);
    void addToA(uint8_t b, unsigned carry);
    void subbFromA(uint8_t b);
    template <bool Watches = true>
    uint16_t popAddress();
    template <bool Watches = true>
    void pushAddress(uint16_t address);
    void setParity();
    void watchHit(Space space, unsigned address, bool write);

    Chip m_chip;
    Board m_board;
    CoreState m_s{};
    std::vector<uint8_t> m_code;   // 64 KB
    std::vector<uint8_t> m_xram;   // board xram, 64 KB allocated, xramSize reachable
    // What code fetches see: m_code, or on a board with a shared range a copy
    // of it with that range taken from xram (kept up to date by every write).
    std::vector<uint8_t> m_view;
    const uint8_t* m_fetch = nullptr;
    // Code memory decoded once, a word per address (decodedWord()), so that
    // the instruction loop takes an instruction and its breakpoint test from
    // one load. Forgotten by every write that reaches code memory and every
    // breakpoint set or cleared; 0 where not decoded yet.
    ZeroTable<uint64_t> m_decoded;
    ZeroTable<uint32_t> m_counts;
    ZeroTable<uint8_t> m_breaks;  // per code address
    std::vector<uint8_t> m_marks;   // per code address, or empty
    ZeroTable<uint8_t> m_loops;   // per code address: loopShape()
    RunRecord* m_record = nullptr;
    ZeroTable<uint8_t> m_watchIram, m_watchSfr, m_watchXram, m_watchCode;  // bit 0 read, bit 1 write
    bool m_anyWatch = false;
    bool m_shared = false;  // the board shares a range between code and xram
    bool m_watchTripped = false;
    Hit m_hit;
    bool (*m_condition)(const Machine&, void*) = nullptr;
    void* m_conditionContext = nullptr;
    std::atomic<bool> m_stopRequest{false};
    std::deque<uint8_t> m_rxQueue;
    Listener* m_listener = nullptr;
    uint64_t* m_pinReports = nullptr;  // countPinReports()
    // The version of code and xram the last snapshot saw, and whether either
    // was written since. Versions are numbered from a start of the machine's
    // own, so that no other machine's snapshot carries one of them.
    mutable uint64_t m_memoryVersion = 0;
    mutable bool m_memoryMoved = true;
    uint64_t m_versionBase = 0;
    unsigned m_codeMask = 0xFFFF;
    unsigned m_iramMask = 0x7F;
    bool m_sample = true;  // pins changed since the chip last sampled INT0/INT1 and the counter inputs
    // The instruction's first cycle has not been clocked yet: done before its
    // first SFR access, or together with the rest when it makes none.
    // The run loop adds an instruction's cycles as if none had been clocked
    // yet: clocking the first one lowers m_lookAt, so that the loop takes it
    // back into account.
    bool m_firstCyclePending = false;
    void firstCycle()
    {
        if (m_firstCyclePending) {
            m_firstCyclePending = false;
            lookNow();
            tick(1);
        }
    }
    // Before a latch write: the peripherals' first cycle sees the latch as it
    // was. Where nothing of theirs is due in it, it stays pending (counted
    // with the rest by the run loop, without a turn of its slow way); the
    // write and its reports happen at nowCycle() all the same, and whatever
    // looks at the peripherals from there clocks it first.
    void latchFirstCycle();
    // The cycle an access of the current instruction happens at: its first,
    // clocked or still pending (m_s.cycles between instructions).
    uint64_t nowCycle() const { return m_s.cycles + (m_firstCyclePending ? 1 : 0); }
    // The receiver's samples before its next event, as schedule() found them:
    // the level of RXD at each one's own cycle, in order (m_planned of them).
    // lagged() hands them to the receiver (m_lumpCount, m_lumpNext).
    uint8_t m_lumpLevels[16] = {};
    uint8_t m_planned = 0, m_lumpCount = 0, m_lumpNext = 0;
    // The line at a fixed rate keeps its bit (and RXD its level) before this
    // cycle: lineAdvance() has nothing to do (0: it looks).
    uint64_t m_lineSteady = 0;
    uint64_t m_lineEach = 0;  // a bit's cycles on the line when a whole number, else 0
    bool m_busy = true;    // a timer runs, the UART or the line works, or an SFR was written since
    bool m_lazy = false;   // only timers count: they stay at m_lagFrom until m_horizon cycles later
    uint64_t m_lagFrom = 0, m_horizon = 0;
    // The cycle from which tick() calls on the peripherals: never while none
    // is busy, at once while they work with every step, m_horizon cycles
    // after m_lagFrom while only the timers count.
    uint64_t m_dueAt = 0;
    // The interrupt requests may have changed since the last poll (a flag, IE,
    // IP, an entry or a return): without, the poll's answer is the same.
    bool m_pollNeeded = true;
    void needPoll()
    {
        m_pollNeeded = true;
        lookNow();
    }
    // The run loop's one test after a plain instruction: from this cycle on it
    // looks at the peripherals due, the interrupt poll and the run's end.
    // Never above m_dueAt or the run's end, and 0 while a poll is needed:
    // whatever lowers m_dueAt or asks for a poll lowers it too.
    // Written by requestStop() from any thread too (relaxed: a plain load
    // and store). A stop request that the run loop overwrites as it sets the
    // next cycle to look at is seen there at the latest, kStopReach cycles on.
    std::atomic<uint64_t> m_lookAt{0};
    static constexpr uint64_t kStopReach = 1u << 16;
    uint64_t lookAt() const { return m_lookAt.load(std::memory_order_relaxed); }
    void lookNow() { m_lookAt.store(0, std::memory_order_relaxed); }
    // The next cycle the run loop looks up from its instructions: a due
    // peripheral, a needed interrupt poll, the run's end.
    void lookUntil(uint64_t end)
    {
        m_lookAt.store(m_pollNeeded ? 0 : std::min({m_dueAt, end, m_s.cycles + kStopReach}),
                       std::memory_order_relaxed);
    }
    // Interrupt entries and idle cycles taken (steps() beside the instructions).
    uint64_t m_otherSteps = 0;
    uint64_t m_loopInstructions = 0;
    // A replayed run ends where steps() reaches m_stepsEnd: there the
    // instruction count reaches m_instructionLimit (the other steps
    // counted so far taken off); UINT64_MAX in any other run.
    uint64_t m_stepsEnd = UINT64_MAX;
    uint64_t m_instructionLimit = UINT64_MAX;
    bool m_followLine = false;  // m_listener wants every edge of the outside line
    bool m_followPins = false;  // pin changes are told or counted at their own cycles
    std::array<FlowSeen, kFlowBatch + 1> m_flows;  // see m_flowEnd
};

}  // namespace sim
