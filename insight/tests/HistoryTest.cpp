// Stepping back: every position comes back as exactly the core's snapshot,
// with the serial and pin inputs replayed and the outputs not sent twice.
#include "insight/History.h"
#include "insight/tests/InsightHarness.h"
#include "insight/StateFile.h"

#include <cstddef>
#include <random>

using namespace insight;
using namespace insight::test;

namespace {

// Echoes serial bytes plus one, counts timer 0 interrupts at 40H and INT0
// edges at 41H: every kind of input matters for the state.
const char* const Busy = R"(ORG 0
LJMP MAIN
ORG 03H
INC 41H
RETI
ORG 0BH
INC 40H
RETI
ORG 30H
MAIN: MOV SP,#60H
MOV TMOD,#22H
MOV TH0,#0
MOV TH1,#0FFH
MOV SCON,#50H
SETB IT0
MOV IE,#83H
SETB TR1
SETB TR0
LOOP: JNB RI,LOOP
CLR RI
MOV A,SBUF
INC A
MOV 42H,A
MOV SBUF,A
WAITTX: JNB TI,WAITTX
CLR TI
SJMP LOOP
END
)";

TEST(History, SteppingBackReturnsTheSnapshotOfEveryEarlierStep)
{
    auto run = Start(Busy, false);
    ASSERT_TRUE(run);
    sim::Machine& machine = *run->machine;
    History history(machine, 100000, 1000);
    Sent sent;
    history.setListener(&sent);
    std::vector<std::pair<uint64_t, sim::Snapshot>> seen;
    for (uint64_t i = 0; i < 120000; ++i) {
        if (i % 9000 == 100)
            history.sendSerial(std::string(1, static_cast<char>('a' + i / 9000)));
        if (i % 7000 == 50)
            history.drivePin(3, 2, (i / 7000) % 2 ? 0 : -1);
        if (i % 13000 == 0 || i == 119999)
            seen.emplace_back(history.position(), machine.snapshot());
        history.step();
    }
    const sim::Snapshot present = machine.snapshot();
    const std::string sentLive = sent.bytes;
    ASSERT_GT(sentLive.size(), 10u);
    ASSERT_GT(machine.read(sim::Space::Iram, 0x41), 3u);
    ASSERT_LE(history.oldest(), history.newest() - 100000);
    // Back to each remembered step within reach, in any order.
    for (size_t i = seen.size(); i-- > 0;) {
        const auto& [position, snapshot] = seen[i];
        SCOPED_TRACE(position);
        if (position < history.oldest()) {
            EXPECT_FALSE(history.goTo(position));
            continue;
        }
        ASSERT_TRUE(history.goTo(position));
        EXPECT_TRUE(history.replaying());
        EXPECT_TRUE(machine.snapshot() == snapshot);
    }
    // Forward again through the recorded inputs to the present; nothing sent twice.
    while (history.replaying())
        history.step();
    EXPECT_TRUE(machine.snapshot() == present);
    EXPECT_EQ(sent.bytes, sentLive);
    // k steps back from N + k is step N.
    const uint64_t n = history.position();
    for (int k = 0; k < 5; ++k)
        history.step();
    ASSERT_TRUE(history.stepBack(5));
    EXPECT_EQ(history.position(), n);
    EXPECT_TRUE(machine.snapshot() == present);
}

TEST(History, AnInputWhileBehindStartsANewPresent)
{
    auto run = Start(Busy, false);
    ASSERT_TRUE(run);
    History history(*run->machine, 10000, 500);
    for (int i = 0; i < 3000; ++i)
        history.step();
    ASSERT_TRUE(history.stepBack(1000));
    history.sendSerial("A");
    EXPECT_EQ(history.newest(), 2000u);
    EXPECT_FALSE(history.replaying());
    for (int i = 0; i < 3000; ++i)
        history.step();
    EXPECT_EQ(run->machine->read(sim::Space::Iram, 0x42), 'B');
}

// A write or a new PC given at the newest step is part of the present:
// stepping back and forward again to it brings it back.
TEST(History, InputsAtThePresentComeBackWhenSteppingForwardToIt)
{
    auto run = Start(Busy, false);
    ASSERT_TRUE(run);
    sim::Machine& machine = *run->machine;
    History history(machine, 10000, 500);
    for (int i = 0; i < 300; ++i)
        history.step();
    history.write(sim::Space::Iram, 0x50, 0xA5);
    history.setPc(0x0040);
    const sim::Snapshot present = machine.snapshot();
    ASSERT_TRUE(history.stepBack(10));
    EXPECT_NE(machine.read(sim::Space::Iram, 0x50), 0xA5);
    for (int i = 0; i < 10; ++i)
        history.step();
    EXPECT_TRUE(machine.snapshot() == present);
}

TEST(History, StepBackByLineAndReverseContinue)
{
    auto run = Start(Busy, false);
    ASSERT_TRUE(run);
    sim::Machine& machine = *run->machine;
    History history(machine, 100000, 1000);
    auto lineOf = [&run](uint16_t address) { return run->code.map.asmLineAt(address).value_or(-1); };
    const uint16_t store = run->code.map.asmLineAddress(LineOf(Busy, "MOV 42H,A")).value();
    const uint16_t clrRi = run->label("LOOP") + 3;
    for (int i = 0; i < 20000; ++i) {
        if (i == 5000 || i == 12000)
            history.sendSerial(i == 5000 ? "x" : "y");
        history.step();
    }
    ASSERT_EQ(machine.read(sim::Space::Iram, 0x42), 'z');
    // Back to the instruction that wrote the watched byte: the second echo.
    ASSERT_TRUE(history.reverseContinue({}, {{sim::Space::Iram, 0x42}}));
    EXPECT_EQ(machine.pc(), store);
    EXPECT_EQ(machine.read(sim::Space::Iram, 0x42), 'y');
    const uint64_t secondWrite = history.position();
    // One line back: the INC A before it; and back to the CLR RI breakpoint.
    ASSERT_TRUE(history.stepBackLine(lineOf));
    EXPECT_EQ(lineOf(machine.pc()), LineOf(Busy, "INC A"));
    ASSERT_TRUE(history.reverseContinue({clrRi}, {}));
    EXPECT_EQ(machine.pc(), clrRi);
    EXPECT_LT(history.position(), secondWrite);
    // And from there to the first write; none before it.
    ASSERT_TRUE(history.reverseContinue({}, {{sim::Space::Iram, 0x42}}));
    EXPECT_EQ(machine.read(sim::Space::Iram, 0x42), 0);
    const uint64_t first = history.position();
    EXPECT_FALSE(history.reverseContinue({}, {{sim::Space::Iram, 0x42}}));
    EXPECT_EQ(history.position(), first);
}

// A board part that answers: P1.1 follows P1.0 inverted, driven while the
// machine reports the change (as the LCD answers a read).
struct Answerer : sim::Listener {
    sim::Machine* machine = nullptr;
    void pinsChanged(uint64_t, unsigned port, uint8_t levels) override
    {
        if (port == 1)
            machine->drivePin(1, 1, levels & 1 ? 0 : -1);
    }
};

TEST(History, PinsDrivenByTheBoardComeBackInTheReplay)
{
    const char* const Reader = R"(ORG 0
MOV SP,#60H
LOOP: CPL P1.0
MOV C,P1.1
ADDC A,#0
MOV C,P1.2
MOV 30H,A
JNC LOOP
INC 31H
SJMP LOOP
END
)";
    auto run = Start(Reader, false);
    ASSERT_TRUE(run);
    sim::Machine& machine = *run->machine;
    History history(machine, 50000, 700);
    Answerer board;
    board.machine = &machine;
    history.setListener(&board);
    std::vector<std::pair<uint64_t, sim::Snapshot>> seen;
    for (int i = 0; i < 6000; ++i) {
        if (i == 2500 || i == 4100)  // a button pressed and let go on the board, between steps
            machine.drivePin(1, 2, i == 2500 ? 0 : -1);
        if (i % 1100 == 3)
            seen.emplace_back(history.position(), machine.snapshot());
        history.step();
    }
    ASSERT_GT(machine.read(sim::Space::Iram, 0x30), 0u);
    ASSERT_GT(machine.read(sim::Space::Iram, 0x31), 0u);
    for (const auto& [position, snapshot] : seen) {
        SCOPED_TRACE(position);
        ASSERT_TRUE(history.goTo(position));
        EXPECT_TRUE(machine.snapshot() == snapshot);
    }
}

// Right after a checkpoint is dropped, going to the oldest steps in reach
// replays from the checkpoint before them, through steps older than they
// are: the inputs and the board's answers of those steps come back too.
TEST(History, TheOldestStepsInReachComeBackRightAfterACheckpointIsDropped)
{
    for (const bool board : {true, false}) {
        SCOPED_TRACE(board ? "board" : "inputs");
        auto run = Start(R"(ORG 0
LOOP: CPL P1.0
MOV C,P1.1
ADDC A,#0
MOV C,P3.2
ADDC A,#0
SJMP LOOP
END
)", false);
        ASSERT_TRUE(run);
        sim::Machine& machine = *run->machine;
        constexpr uint64_t Depth = 5000, Interval = 700, Steps = 28 * Interval;  // the last step takes a checkpoint
        History history(machine, Depth, Interval);
        Answerer answerer;
        answerer.machine = &machine;
        if (board)
            history.setListener(&answerer);
        std::vector<std::pair<uint16_t, uint8_t>> seen;  // PC and A before each step
        for (uint64_t i = 0; i < Steps; ++i) {
            if (!board && i % 300 == 7)
                history.drivePin(3, 2, (i / 300) % 2 ? 0 : -1);
            seen.emplace_back(machine.pc(), machine.read(sim::Space::Sfr, 0xE0));
            history.step();
        }
        ASSERT_EQ(history.oldest(), Steps - Depth);
        for (uint64_t q = history.oldest() + Interval; q-- > history.oldest();) {
            ASSERT_TRUE(history.goTo(q));
            ASSERT_EQ(std::make_pair(machine.pc(), machine.read(sim::Space::Sfr, 0xE0)), seen[q]) << q;
        }
    }
}

// Runs with no listener only number their pin reports; a board attached
// later has its answers put back by those numbers, also in a replay that
// starts before it was attached.
TEST(History, AnswersAfterRunsWithoutListenerComeBackInTheReplay)
{
    auto run = Start(R"(ORG 0
LOOP: CPL P1.0
MOV C,P1.1
ADDC A,#0
MOV 30H,A
SJMP LOOP
END
)", false);
    ASSERT_TRUE(run);
    sim::Machine& machine = *run->machine;
    History history(machine, 2000000, 700);
    Answerer board;
    board.machine = &machine;
    std::vector<std::pair<uint64_t, sim::Snapshot>> seen;
    for (int i = 0; i < 40; ++i) {
        if (i == 20)
            history.setListener(&board);
        history.run(20000, std::vector<uint8_t>{}, true);
        seen.emplace_back(history.position(), machine.snapshot());
    }
    for (const auto& [position, snapshot] : seen) {
        SCOPED_TRACE(position);
        ASSERT_TRUE(history.goTo(position));
        EXPECT_TRUE(machine.snapshot() == snapshot);
    }
}

// Calls from an interrupt handler, INT0 edges, idle mode, a serial echo and
// a pin the board answers: everything a run records.
const char* const Everything = R"(ORG 0
LJMP MAIN
ORG 03H
INC 41H
RETI
ORG 0BH
LCALL TICK
RETI
ORG 30H
TICK: INC 40H
MOV C,P1.1
JNC NOPE
INC 44H
NOPE: RET
MAIN: MOV SP,#60H
MOV TMOD,#22H
MOV TH0,#0
MOV TH1,#0FFH
MOV SCON,#50H
SETB IT0
MOV IE,#83H
SETB TR1
SETB TR0
LOOP: CPL P1.0
MOV R7,#5
D: DJNZ R7,D
ACALL WORK
JNB RI,LOOP
CLR RI
MOV A,SBUF
INC A
MOV 42H,A
MOV SBUF,A
WAITTX: JNB TI,WAITTX
CLR TI
ORL PCON,#1
SJMP LOOP
WORK: MOV C,P1.1
ADDC A,#0
MOV 45H,A
RET
END
)";

// The same program and inputs, once stepped and once in free runs of random
// lengths with a breakpoint: the same machine at every common position, the
// same trace and profile, and the same way back.
TEST(History, RunsRecordWhatSteppingRecords)
{
    struct Side {
        std::unique_ptr<insight::test::Run> run;
        std::unique_ptr<History> history;
        Answerer board;
        Sent sent;
        struct Both : sim::Listener {
            Side* side = nullptr;
            void pinsChanged(uint64_t c, unsigned port, uint8_t levels) override { side->board.pinsChanged(c, port, levels); }
            void serialSent(uint64_t c, uint8_t byte) override { side->sent.serialSent(c, byte); }
        } both;
    } stepped, ran;
    for (Side* side : {&stepped, &ran}) {
        side->run = Start(Everything, false);
        ASSERT_TRUE(side->run);
        side->history = std::make_unique<History>(*side->run->machine, 200000, 1000);
        side->history->setRecorder(side->run->recorder.get());
        side->board.machine = side->run->machine.get();
        side->both.side = side;
        side->history->setListener(&side->both);
    }
    std::vector<uint8_t> breakpoints(65536, 0);
    const uint16_t work = ran.run->label("WORK");
    std::mt19937 random(7);
    bool atBreakpoint = false;
    for (int round = 0; ran.history->position() < 400000; ++round) {
        breakpoints[work] = round % 40 < 3;
        const sim::Stop stop = ran.history->run(random() % 30000 + 1, breakpoints, !atBreakpoint);
        atBreakpoint = stop == sim::Stop::Breakpoint;
        if (atBreakpoint) {
            ASSERT_EQ(ran.run->machine->pc(), work);
        }
        while (stepped.history->position() < ran.history->position())
            stepped.history->step();
        ASSERT_EQ(stepped.history->position(), ran.history->position());
        ASSERT_TRUE(stepped.run->machine->snapshot() == ran.run->machine->snapshot()) << "round " << round;
        for (Side* side : {&stepped, &ran}) {
            if (round % 7 == 3)
                side->history->sendSerial(std::string(1, static_cast<char>('a' + round % 26)));
            if (round % 3 == 1)
                side->history->drivePin(3, 2, (round / 3) % 2 ? 0 : -1);
        }
    }
    sim::Machine& a = *stepped.run->machine;
    sim::Machine& b = *ran.run->machine;
    ASSERT_GT(b.read(sim::Space::Iram, 0x41), 3u);
    ASSERT_GT(b.read(sim::Space::Iram, 0x44), 3u);
    ASSERT_GT(stepped.run->recorder->idleCycles(), 0u);
    EXPECT_EQ(stepped.sent.bytes, ran.sent.bytes);
    EXPECT_TRUE(std::equal(a.executionCounts(), a.executionCounts() + 65536, b.executionCounts()));
    const Recorder& ra = *stepped.run->recorder;
    const Recorder& rb = *ran.run->recorder;
    EXPECT_EQ(ra.taken(), rb.taken());
    EXPECT_EQ(ra.calls(), rb.calls());
    EXPECT_EQ(ra.idleCycles(), rb.idleCycles());
    EXPECT_EQ(ra.calleeCycles(a.cycles()), rb.calleeCycles(b.cycles()));
    EXPECT_EQ(ra.handlerCycles(a.cycles()), rb.handlerCycles(b.cycles()));
    for (int source = 0; source < VectorCount; ++source) {
        EXPECT_EQ(ra.entries(source), rb.entries(source));
        EXPECT_EQ(ra.entryCycles(source), rb.entryCycles(source));
    }
    const uint64_t from = std::max(stepped.history->oldest(), ran.history->oldest());
    const uint64_t newest = ran.history->newest();
    ASSERT_LE(from, newest - 200000);
    for (uint64_t q = from; q < newest; ++q) {
        const auto ta = stepped.history->traced(q), tb = ran.history->traced(q);
        ASSERT_TRUE(ta && tb);
        ASSERT_TRUE(ta->pc == tb->pc && ta->kind == tb->kind) << q;
    }
    // Back and forth again: the same machine wherever both go.
    const sim::Snapshot present = b.snapshot();
    for (int i = 0; i < 12; ++i) {
        const uint64_t q = from + random() % (newest - from);
        ASSERT_TRUE(stepped.history->goTo(q) && ran.history->goTo(q));
        ASSERT_TRUE(a.snapshot() == b.snapshot()) << q;
    }
    ASSERT_TRUE(stepped.history->reverseContinue({work}, {}) && ran.history->reverseContinue({work}, {}));
    EXPECT_EQ(stepped.history->position(), ran.history->position());
    EXPECT_TRUE(a.snapshot() == b.snapshot());
    ASSERT_TRUE(ran.history->goTo(newest));
    EXPECT_TRUE(b.snapshot() == present);
    EXPECT_EQ(stepped.sent.bytes, ran.sent.bytes);
}

// A procedure that calls itself, its innermost call returning at once: in
// runs as in steps, only its outermost call counts for the time spent in the
// calls made from it.
TEST(History, RunsProfileACallToItselfAsSteppingDoes)
{
    const char* const Recursive = R"(ORG 0
MAIN: MOV SP,#60H
LOOP: MOV R7,#4
ACALL DOWN
SJMP LOOP
DOWN: DJNZ R7,DEEPER
RET
DEEPER: ACALL DOWN
RET
END
)";
    auto stepped = Start(Recursive, false), ran = Start(Recursive, false);
    ASSERT_TRUE(stepped && ran);
    History history(*ran->machine, 1000, 100);
    history.setRecorder(ran->recorder.get());
    history.run(5000, std::vector<uint8_t>{}, false);
    stepped->go(history.position());
    ASSERT_TRUE(stepped->machine->snapshot() == ran->machine->snapshot());
    const uint64_t now = ran->machine->cycles();
    EXPECT_EQ(stepped->recorder->calls(), ran->recorder->calls());
    EXPECT_EQ(stepped->recorder->calleeCycles(now), ran->recorder->calleeCycles(now));
}

TEST(StateFile, SavedStateComesBackExactlyAndOnlyOnTheSameMachine)
{
    auto run = Start(Busy, false);
    ASSERT_TRUE(run);
    run->machine->sendSerial(reinterpret_cast<const uint8_t*>("qr"), 2);
    for (int i = 0; i < 5000; ++i)
        run->machine->step();
    const std::string bytes = StateBytes(*run->machine);
    const sim::Snapshot saved = run->machine->snapshot();
    for (int i = 0; i < 5000; ++i)
        run->machine->step();
    ASSERT_EQ(RestoreState(*run->machine, bytes), "");
    EXPECT_TRUE(run->machine->snapshot() == saved);

    sim::Machine other(*sim::findChip("8051"), sim::Board{});
    EXPECT_EQ(RestoreState(other, bytes), "the state is of a 8052, the simulator runs a 8051");
    sim::Board slow;
    slow.crystalHz = 12000000;
    sim::Machine otherBoard(*sim::findChip("8052"), slow);
    EXPECT_EQ(RestoreState(otherBoard, bytes), "the state is of a board with a 11059200 Hz crystal");
    EXPECT_EQ(RestoreState(*run->machine, bytes.substr(0, bytes.size() - 7)),
              "the state file is damaged or of another simulator version");
    EXPECT_EQ(RestoreState(*run->machine, "hello"), "not a simulation state file");
    // A field outside the machine's ranges is refused by name; a hostile chip
    // name comes back without its control bytes.
    std::string corrupt = bytes;
    corrupt[bytes.size() - saved.bytes().size() + 8 + offsetof(sim::CoreState, pendingSource)] = char(164);
    EXPECT_EQ(RestoreState(*run->machine, corrupt), "the state file is damaged: pendingSource is 164, not 0 to 5 or 255 (none)");
    std::string hostile = bytes;
    hostile.replace(hostile.find("8052"), 4, "\x1B]0;");
    EXPECT_EQ(RestoreState(*run->machine, hostile), "the state is of a \\x1B]0;, the simulator runs a 8052");
    EXPECT_TRUE(run->machine->snapshot() == saved);
}

} // namespace
