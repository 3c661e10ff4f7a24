// Stepping back through runs the core made mostly in one go (poll and delay
// loops, a real serial line nobody follows): every position within reach
// comes back exactly as single steps made it, with the same trace, however
// far back the checkpoint the replay starts from.
#include "insight/History.h"
#include "insight/tests/InsightHarness.h"

using namespace insight;
using namespace insight::test;

namespace {

// Timer 0 interrupts a delay loop every 256 cycles.
const char* const Delay = R"(ORG 0
LJMP MAIN
ORG 0BH
INC 40H
RETI
ORG 30H
MAIN: MOV TMOD,#02H
MOV TH0,#0
SETB TR0
MOV IE,#82H
LOOP: MOV R7,#200
D: DJNZ R7,D
MARK: INC 41H
SJMP LOOP
END
)";

const char* const Poll = R"(ORG 0
MOV TMOD,#01H
SETB TR0
LOOP: JNB TF0,LOOP
MARK: CLR TF0
INC 40H
SJMP LOOP
END
)";

const char* const Halt = R"(ORG 0
MOV 40H,#5
MARK: SJMP MARK
END
)";

// Echoes what comes in at 9600 baud.
const char* const Echo = R"(ORG 0
MOV TMOD,#20H
MOV TH1,#0FDH
MOV SCON,#50H
SETB TR1
LOOP: JNB RI,LOOP
MARK: CLR RI
MOV A,SBUF
INC 42H
MOV SBUF,A
SJMP LOOP
END
)";

TEST(HistoryReach, LoopBoundRunsComeBackAsSingleStepsMadeThem)
{
    struct Case {
        const char* name;
        const char* source;
        bool line;  // on a real serial line, bytes sent in the run, a listener for part of it
        uint64_t steps;
    };
    const Case cases[] = {{"delay", Delay, false, 2'000'000},
                          {"poll", Poll, false, 2'000'000},
                          {"halt", Halt, false, 2'000'000},
                          {"echo", Echo, true, 1'000'000}};
    constexpr uint64_t Depth = 100000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto run = Start(c.source, false);
        ASSERT_TRUE(run);
        sim::Board board;
        if (c.line) {
            board.serial = sim::SerialLine::RealLine;
            board.lineBaud = 9600;
        }
        auto machine = [&] {
            auto m = std::make_unique<sim::Machine>(*sim::findChip("8052"), board);
            m->loadCode(run->code.code.data(), run->code.code.size());
            m->reset();
            return m;
        };
        auto ran = machine(), stepped = machine();
        Recorder recorder(*ran, ProcedureIndex(run->procedures), run->procedures.size());
        History history(*ran, Depth, 1000);
        history.setRecorder(&recorder);
        Sent sent;
        const std::vector<uint8_t> noBreakpoints(65536, 0);
        std::vector<uint64_t> inputs;  // positions "ab" was sent at
        while (history.newest() < c.steps) {
            if (c.line && history.newest() >= inputs.size() * c.steps / 3) {
                inputs.push_back(history.position());
                history.sendSerial("ab");
                history.setListener(inputs.size() == 2 ? &sent : nullptr);
            }
            history.run(1 << 18, noBreakpoints, false);
        }
        history.setListener(&sent);
        const std::string sentLive = sent.bytes;
        const uint64_t newest = history.newest(), oldest = history.oldest();
        ASSERT_EQ(oldest, newest - Depth);
        // The same steps one by one, on a machine of its own.
        const uint16_t mark = run->label("MARK");
        const std::vector<uint64_t> wanted = {oldest, oldest + 1, newest - 54321, newest - 777, newest - 1, newest};
        std::vector<sim::Snapshot> snapshots;
        std::vector<uint16_t> pcs;  // before each step within reach
        std::optional<uint64_t> lastMark;
        for (uint64_t p = 0, input = 0; p <= newest; ++p) {
            if (input < inputs.size() && inputs[input] == p) {
                stepped->sendSerial(reinterpret_cast<const uint8_t*>("ab"), 2);
                ++input;
            }
            if (snapshots.size() < wanted.size() && wanted[snapshots.size()] == p)
                snapshots.push_back(stepped->snapshot());
            if (p >= oldest && p < newest) {
                pcs.push_back(stepped->pc());
                if (stepped->pc() == mark && stepped->pendingInterrupt() < 0)
                    lastMark = p;
            }
            if (p < newest)
                stepped->step();
        }
        ASSERT_EQ(snapshots.size(), wanted.size());
        if (c.line) {
            ASSERT_EQ(stepped->read(sim::Space::Iram, 0x42), 6u);
        }
        for (size_t i = wanted.size(); i-- > 0;) {
            ASSERT_TRUE(history.goTo(wanted[i]));
            EXPECT_TRUE(ran->snapshot() == snapshots[i]) << wanted[i];
        }
        EXPECT_FALSE(history.goTo(oldest - 1));
        for (uint64_t q = newest; q-- > newest - 300;)
            ASSERT_EQ(history.traced(q)->pc, pcs[q - oldest]) << q;
        for (uint64_t q = oldest; q < oldest + 300; ++q)
            ASSERT_EQ(history.traced(q)->pc, pcs[q - oldest]) << q;
        // Back from the newest step to the last one at MARK within reach.
        ASSERT_TRUE(history.goTo(newest));
        EXPECT_EQ(history.reverseContinue({mark}, {}), lastMark.has_value());
        EXPECT_EQ(history.position(), lastMark.value_or(newest));
        EXPECT_EQ(sent.bytes, sentLive);  // the outputs of replayed steps are not sent again
    }
}

} // namespace
