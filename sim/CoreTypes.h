#pragma once
// What the simulator core is built from and tells its callers: the board it
// runs on, why a run stopped, what it reports to the outside world and to a
// recorder of runs, and its state as plain data for snapshots.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// Ideal: the next byte is handed to SBUF once the program has cleared RI and
// read SBUF (or left RI clear for 1000 cycles). RealLine: bytes are shifted in
// on RXD bit by bit at the line's bit rate and the UART receives them as the
// chip does, losing one only where RI was not cleared in time.
enum class SerialLine { Ideal, RealLine };

struct Board {
    double crystalHz = 11059200.0;
    unsigned xramSize = 65536;  // external RAM on the board
    // Code fetches and MOVX share [sharedFrom, sharedTo] of external memory
    // (download-and-run boards); none when from > to.
    unsigned sharedFrom = 1, sharedTo = 0;
    SerialLine serial = SerialLine::Ideal;
    double lineBaud = 0;    // RealLine: bit rate of the outside line (0: the program's own)
    char lineParity = 'N';  // RealLine: a ninth bit after the data: 'N' none, 'E' even, 'O' odd, 'M' mark, 'S' space
    uint32_t ramSeed = 0;   // power-on RAM contents (0: all zero)
    // Machine cycles of the hardware LCALL that enters an interrupt handler
    // (2 on the chip; s51 counts 1, which its lockstep comparison sets).
    unsigned interruptEntryCycles = 2;
};

enum class Stop { None, Breakpoint, Watch, Condition, CycleLimit, Requested, PowerDown };

// What the core tells the outside world, each with the machine cycle it happened at.
struct Listener {
    virtual ~Listener() = default;
    virtual void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) { (void)cycle, (void)port, (void)levels; }
    // A byte decoded from TXD (or taken from SBUF in Ideal mode).
    virtual void serialSent(uint64_t cycle, uint8_t byte) { (void)cycle, (void)byte; }
    // A received byte overwritten or dropped because RI was not cleared in time.
    virtual void serialLost(uint64_t cycle, uint8_t byte) { (void)cycle, (void)byte; }
    // RXD moved by the outside line (a RealLine board): P3's levels, as
    // pinsChanged() tells them unless overridden.
    virtual void lineMoved(uint64_t cycle, uint8_t levels) { pinsChanged(cycle, 3, levels); }
    // Whether each edge of the outside line is to be told at the end of the
    // instruction it comes in, which makes each a stop of the run loop (asked
    // when the listener is set). Without, the line moves RXD in one go from
    // one look of the peripherals to the next, and lineMoved() tells only
    // where the level then differs.
    virtual bool followsLine() const { return true; }
    // Whether every pin change is to be told at its own cycle (asked when the
    // listener is set). Without, TXD's edges inside a frame are told when the
    // peripherals next catch up, so that a frame wakes the run loop where TI
    // is set and where it ends, not at every bit.
    virtual bool followsPins() const { return true; }
};

enum class Space { Iram, Sfr, Xram, Code };

class Machine;

// One step as a recorder of runs sees it (insight's profile): what it was,
// where it began, its machine cycles and the cycle it began at.
struct StepSeen {
    enum class Kind : uint8_t { Instruction, InterruptEntry, Idle };
    Kind kind = Kind::Instruction;
    uint16_t at = 0;     // the PC before the step
    uint8_t source = 0;  // an interrupt entry: its source (0 INT0 ... 5 timer 2)
    unsigned cycles = 0;
    uint64_t cyclesBefore = 0;
};

// A call or return at a marked code address, made by an observed run's own
// loop: the most frequent of the steps an observer wants, so the loop only
// writes it down and hands such steps over in batches.
struct FlowSeen {
    uint64_t cycles;  // the machine cycle after it
    uint16_t at;      // its address
    uint16_t pc;      // the PC after it
    uint8_t sp;       // SP after it
};

// Told by run() of the steps it looks at more closely: interrupt entries,
// idle steps and the instructions at the code addresses marked for it. The
// calls and returns among these come in batches through flowed(), always
// before any later step is told of and before run() returns, so that the
// observer sees every step in the order it was made.
class StepObserver {
public:
    virtual void stepped(Machine& machine, const StepSeen& step) = 0;
    virtual void flowed(const FlowSeen* flows, size_t count) = 0;

protected:
    ~StepObserver() = default;
};

// What run() records while one is set (insight's History steps back through
// it). Without a trace: the conditional jumps that jumped, counted per code
// address, and the steps the observer wants (a new run). With one: per step its PC,
// numbered on from `next`, into a ring of a power of two entries, ending
// before step `stopAt`, past breakpoints and without counting executions
// (steps made again to reach an earlier state). With `replay` and no trace:
// steps made again as with one, but nothing traced, and poll and delay
// loops made in one go as a new run makes them (up to `stopAt` exactly).
struct RunRecord {
    static constexpr uint32_t kNoInstruction = 1u << 16;   // trace: an interrupt entry or an idle cycle
    static constexpr uint32_t kInterruptEntry = 1u << 17;  // trace: an interrupt entry
    uint32_t* trace = nullptr;
    uint64_t mask = 0;
    uint64_t next = 0;
    uint64_t stopAt = UINT64_MAX;
    uint32_t* taken = nullptr;  // 64 K counters, or none
    StepObserver* observer = nullptr;
    // A breakpoint stops the run also where an interrupt entry comes first
    // (stepping stops as soon as the PC gets there); without, the handler
    // runs and the run stops when it has returned there.
    bool breakBeforeEntries = false;
    // The run stops before every interrupt entry as at a breakpoint (stepping
    // over a line runs a handler through from its entry).
    bool stopBeforeEntries = false;
    bool replay = false;
};

// The whole machine state as bytes: comparable with ==, stored and read back
// as they are (bytes() / fromBytes()).
struct Snapshot {
    std::vector<uint8_t> data;
    // Not part of the bytes: which contents of code and xram they hold, as
    // the machine that made them numbers its memory's versions (0: unknown).
    // A checkpoint taken again into the same storage copies those 128 KB
    // only when they moved since.
    uint64_t memoryVersion = 0;
    bool operator==(const Snapshot& other) const { return data == other.data; }
    const std::vector<uint8_t>& bytes() const { return data; }
    static Snapshot fromBytes(std::vector<uint8_t> bytes) { return Snapshot{std::move(bytes)}; }
};

// A watch or breakpoint hit: where and why run() stopped.
struct Hit {
    Space space = Space::Code;
    unsigned address = 0;
    bool write = false;
};

// Everything that is restored by a snapshot: plain data only.
struct CoreState {
    uint8_t iram[256];
    uint8_t sfr[128];           // 80H-FFH, the latches
    uint8_t drive[4];           // outside drive per port: 1 = released (pull-up), 0 = pulled low
    uint16_t pc;
    uint64_t cycles;
    uint64_t instructions;
    // interrupts
    uint8_t inService;          // bit 0: a low-priority handler runs, bit 1: a high-priority one
    uint8_t holdOff;            // an instruction that delays interrupt entry by one more (RETI, IE/IP write)
    uint8_t pendingSource;      // interrupt accepted at the last poll, entered by the next step (0xFF: none)
    uint8_t idle, powerDown;
    uint8_t prevInt0, prevInt1, prevT0, prevT1, prevT2, prevT2ex;
    // second data pointer
    uint8_t dpl1, dph1;
    uint8_t dptrSel;
    // UART
    uint8_t sbufRx;             // received byte (SBUF read)
    uint8_t txActive;           // a frame is going out
    uint8_t txLevel;            // level driven on TXD by the UART
    uint16_t txShift;           // bits still to go out, LSB first
    uint8_t txBits;
    uint8_t txByte;
    uint32_t txTicks;           // phase of the transmitter's divide-by-16 counter (0-15)
    uint8_t txWaiting;          // SBUF written: the frame starts at the counter's next rollover
    uint8_t txPendingByte;
    uint16_t txPendingShift;
    uint8_t rxActive;
    uint8_t rxBits;
    uint16_t rxShift;
    uint32_t rxTicks;
    uint8_t rxPrev;             // last RXD level sampled by the receiver
    uint32_t serialDiv;         // SMOD=0 halves the timer clock: overflow parity
    uint32_t mode0Cycles;       // mode 0 / mode 2 fixed clock progress
    // the outside line (RealLine)
    uint8_t lineLevel;          // level the line drives on RXD
    uint8_t lineActive;
    uint16_t lineShift;
    uint8_t lineBits;
    double lineNext;            // cycle of the next edge on the line
    double lineBitCycles;
    uint32_t lineOwnTicks;      // line at the program's own rate: 16x ticks into the bit
    uint8_t idealPending;       // Ideal mode: a byte is waiting to be handed to SBUF
    uint8_t sbufRead;           // Ideal mode: the program read SBUF since the last hand-over
    uint64_t riClearSince;      // Ideal mode: cycle at which RI was found clear
    uint8_t pinsOut[4];         // last pin levels reported to the listener
    uint8_t t2outLow;           // timer 2's clock output (T2OE) drives P1.0 low; in what was padding
};

}  // namespace sim
