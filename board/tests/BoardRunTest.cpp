// A board's parts answer a write at the cycle it happened, whether the
// machine runs freely or one instruction at a time: free runs of random
// lengths against single steps, every pin report with its cycle, the whole
// machine and what the parts show.

#include "board/ListenerFan.h"
#include "board/tests/BoardTesting.h"

#include <gtest/gtest.h>

#include <random>

using namespace board;
using board::test::Rig;

namespace {

struct Reports : sim::Listener {
    struct Report {
        uint64_t cycle;
        unsigned port;
        uint8_t levels;
        bool operator==(const Report&) const = default;
    };
    std::vector<Report> pins;
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override { pins.push_back({cycle, port, levels}); }
};

// A rig whose board hears the machine beside a recorder of its reports.
struct Heard {
    Rig rig;
    Reports reports;
    ListenerFan fan;
    Heard(const char* program, const char* layout) : rig(program, layout)
    {
        fan.add(rig.board.get());
        fan.add(&reports);
        rig.machine->setListener(&fan);
    }
};

// Keypad rows on P1.0-3 (P1.0 and P1.1 are timer 2's inputs, EXEN2 set:
// a key that joins two rows drives an input the chip watches), columns on
// P1.4-7; timer 0 interrupts toggle an LED, so the timers count meanwhile.
const char* const KeypadWithTimers = R"(
        ORG 0
        LJMP START
        ORG 0BH
        CPL P2.7
        RETI
START:  MOV TMOD,#02H
        SETB TR0
        MOV IE,#82H
        MOV T2CON,#08H
SCAN:   MOV R0,#30H
        MOV R2,#0FEH
ROW:    MOV P1,R2
        MOV A,P1
        MOV @R0,A
        MOV P2,A
        INC R0
        MOV A,R2
        RL A
        MOV R2,A
        CJNE R0,#34H,ROW
        SJMP SCAN
)";

// The LCD's busy flag polled before every character (data P1, RS P3.5 =
// timer 1's input, RW P3.6, E P3.7), timer 1 running.
const char* const LcdPolling = R"(
        MOV TMOD,#20H
        SETB TR1
        CLR P3.7
        MOV A,#38H
        ACALL CMD
        MOV A,#0CH
        ACALL CMD
        MOV A,#01H
        ACALL CMD
AGAIN:  MOV A,#80H
        ACALL CMD
        MOV R3,#20
CHAR:   ACALL WAIT
        SETB P3.5
        MOV P1,R3
        SETB P3.7
        CLR P3.7
        INC R3
        CJNE R3,#40,CHAR
        SJMP AGAIN
CMD:    MOV R4,A
        ACALL WAIT
        CLR P3.5
        MOV P1,R4
        SETB P3.7
        CLR P3.7
        RET
WAIT:   MOV P1,#0FFH
        CLR P3.5
        SETB P3.6
POLL:   SETB P3.7
        MOV C,P1.7
        CLR P3.7
        JC POLL
        CLR P3.6
        RET
)";

} // namespace

TEST(BoardRun, PartsAnswerAsSteppingDoes)
{
    const struct {
        const char* program;
        const char* layout;
        const char* keys;  // pressed and let go in turn between runs
    } cases[] = {
        {KeypadWithTimers, "keypad 4x4 rows=P1.0-3 cols=P1.4-7\nledbar P2 low\n", "5124D"},
        {LcdPolling, "lcd 16x2 data=P1 rs=P3.5 rw=P3.6 e=P3.7\n", ""},
    };
    std::mt19937 random(51);
    for (const auto& c : cases) {
        Heard ran(c.program, c.layout), stepped(c.program, c.layout);
        sim::Machine& m = *ran.rig.machine;
        sim::Machine& s = *stepped.rig.machine;
        // A stop condition that never holds keeps the stepping machine's
        // peripherals clocked instruction by instruction, the reference.
        s.setCondition([](const sim::Machine&, void*) { return false; }, nullptr);
        const std::string keys = c.keys;
        for (int chunk = 0; chunk < 300; ++chunk) {
            const uint64_t end = m.cycles() + 1 + random() % 400;
            m.run(end - m.cycles());
            while (s.cycles() < end)
                s.step();
            ASSERT_TRUE(m.snapshot() == s.snapshot()) << c.layout << " chunk " << chunk;
            if (!keys.empty() && chunk % 9 == 4) {
                const char key = keys[random() % keys.size()];
                const bool down = random() % 3 != 0;
                ran.rig.board->setKey(0, key, down), stepped.rig.board->setKey(0, key, down);
            }
        }
        ASSERT_EQ(ran.reports.pins.size(), stepped.reports.pins.size()) << c.layout;
        for (size_t i = 0; i < ran.reports.pins.size(); ++i)
            ASSERT_TRUE(ran.reports.pins[i] == stepped.reports.pins[i]) << c.layout << " report " << i;
        if (auto* lcd = ran.rig.board->find<LcdPart>(PartKind::Lcd)) {
            EXPECT_EQ(lcd->lcd().rowText(0), stepped.rig.board->find<LcdPart>(PartKind::Lcd)->lcd().rowText(0));
            EXPECT_NE(lcd->lcd().rowText(0).find_first_not_of(' '), std::string::npos);
        }
        EXPECT_GT(ran.reports.pins.size(), 1000u) << c.layout;
    }
}
