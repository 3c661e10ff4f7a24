// run() gathers the timers' cycles while nothing they drive is due; it must
// leave the machine exactly as stepping instruction by instruction does.

#include "sim/tests/TestBoard.h"

#include <random>

using namespace sim;
using namespace sim::test;

namespace {

// Timers, their interrupts, the UART's bit-rate clock, polling and reading the counts.
const char* const Programs[] = {
    // timer 0 mode 1 interrupt, timer 1 mode 2 bit rate with the receiver on, a byte sent now and then
    "ORG 0\nLJMP START\nORG 0BH\nCPL P1.0\nMOV TH0,#0FCH\nRETI\nORG 23H\nCLR TI\nRETI\n"
    "START: MOV TMOD,#21H\nMOV TH1,#0FDH\nMOV SCON,#50H\nSETB TR1\nMOV TH0,#0FCH\nSETB TR0\n"
    "MOV IE,#92H\nLOOP: INC R2\nMOV A,TL0\nMOV R3,A\nCJNE R2,#0,LOOP\nMOV SBUF,R3\nJNB RI,LOOP\nCLR RI\n"
    "MOV A,SBUF\nMOV 30H,A\nSJMP LOOP\n",
    // timer 0 in mode 3 (TL0 and TH0), flags polled with JBC, gate on INT0 for timer 1
    "MOV TMOD,#93H\nSETB TR0\nSETB TR1\nL: JBC TF0,A0\nJBC TF1,A1\nINC 31H\nSJMP L\n"
    "A0: INC 32H\nMOV A,TH0\nMOV 33H,A\nSJMP L\nA1: INC 34H\nMOV A,TL1\nMOV 35H,A\nSJMP L\n",
    // timer 2 reloading with its interrupt, mode 0 timer 1, idle between interrupts
    "ORG 0\nLJMP S\nORG 2BH\nCLR TF2\nINC 40H\nRETI\nS: MOV RCAP2H,#0FEH\nMOV RCAP2L,#00H\n"
    "MOV TMOD,#00H\nSETB TR1\nSETB TR2\nMOV IE,#0A0H\nW: ORL PCON,#1\nMOV A,TL2\nMOV 41H,A\nMOV A,TH1\n"
    "MOV 42H,A\nSJMP W\n",
    // port bits as strobes and as timer 0's counter input while timer 1 times, a delay in RAM
    "MOV TMOD,#15H\nSETB TR0\nSETB TR1\nL: CPL P3.4\nSETB P3.7\nDJNZ 30H,L\nCLR P3.7\nMOV C,P3.4\n"
    "MOV P2.0,C\nINC 31H\nXRL 31H,#55H\nCLR P1.1\nSETB P1.1\nSJMP L\n",
    // timer 0 mode 2 interrupts while the program polls TR0; the fifth stops the timer (the entry clears TF0)
    "ORG 0\nLJMP S\nORG 0BH\nINC 30H\nDJNZ 31H,R\nCLR TR0\nR: RETI\nS: MOV 31H,#5\nMOV TMOD,#02H\n"
    "MOV IE,#82H\nSETB TR0\nW: JB TR0,W\nINC 32H\nMOV 31H,#5\nSETB TR0\nSJMP W\n",
    // poll and delay loops: a count loaded and compared, DJNZ on a register
    // and on RAM, a flag, a pin or a bit, a byte until not zero
    "ORG 0\nLJMP S\nORG 0BH\nINC 30H\nCPL 08H\nMOV 32H,30H\nRETI\nS: MOV TMOD,#21H\nMOV TH1,#0F0H\n"
    "SETB TR1\nSETB TR0\nMOV IE,#82H\nM: MOV A,30H\nNOP\nCJNE A,#3,M\nMOV 30H,#0\nMOV R7,#200\nDJNZ R7,$\n"
    "MOV 31H,#150\nDJNZ 31H,$\nJNB TF1,$\nCLR TF1\nP: JB P3.2,Q\nJNB 08H,P\nQ: MOV 32H,#0\nZ: MOV A,32H\n"
    "JZ Z\nSJMP M\n",
    // loops closed by LJMP and AJMP, with a leap over a call the loop makes while a bit is clear
    "ORG 0\nLJMP S\nORG 0BH\nINC 30H\nCPL 08H\nRETI\nF: INC 31H\nRET\nS: MOV TMOD,#02H\nSETB TR0\n"
    "MOV IE,#82H\nW: JB 08H,N\nLCALL F\nN: JB P3.2,Y\nLJMP W\nY: JNB 08H,W\nAJMP Y\n",
    // the gates of both timers and timer 0's counter input driven by the program's own latch writes
    "MOV TMOD,#9DH\nSETB TR0\nSETB TR1\nL: CLR P3.2\nNOP\nNOP\nSETB P3.2\nCLR P3.3\nMOV R5,#7\nDJNZ R5,$\nSETB P3.3\nCPL P3.4\nSJMP L\n",
    // frames sent back to back in mode 3 and in mode 1 (SMOD set), TXD read
    // in the middle of them bit by bit and as the port
    "MOV TMOD,#20H\nMOV TH1,#0FFH\nSETB TR1\nMOV SCON,#0C8H\nSETB TI\nL: JNB TI,Q\nCLR TI\nINC R5\n"
    "MOV SBUF,R5\nQ: MOV C,P3.1\nRLC A\nMOV 40H,A\nDJNZ R6,L\nMOV A,P3\nMOV 41H,A\nXRL SCON,#80H\n"
    "XRL PCON,#80H\nJNB TI,$\nSJMP L\n",
    // runs of register, RAM, table and arithmetic instructions, across
    // blocks of code and register banks, with timer 0 entering its
    // interrupt (in a bank of its own) every 13 cycles, at every place in them
    "ORG 0\nLJMP S\nORG 0BH\nPUSH PSW\nPUSH ACC\nMOV PSW,#08H\nINC R0\nMOV A,R0\nADD A,R1\nMOV R1,A\n"
    "POP ACC\nPOP PSW\nRETI\nS: MOV TMOD,#02H\nMOV TH0,#0F3H\nSETB TR0\nMOV IE,#82H\nMOV DPTR,#T\n"
    "L: MOV A,R2\nANL A,#7\nMOVC A,@A+DPTR\nADD A,R3\nMOV R3,A\nXCH A,R4\nMOV B,#3\nMUL AB\nMOV 30H,A\n"
    "INC R2\nMOV PSW,#10H\nMOV R5,A\nINC R5\nMOV PSW,#0\nMOV A,R5\nMOV 31H,A\nMOV R6,31H\nDEC R6\n"
    "SETB 20H.1\nMOV C,20H.1\nCPL C\nMOV 20H.2,C\nORL PSW,#18H\nMOV R7,B\nANL PSW,#0E7H\nACALL F\n"
    "MOV A,R3\nANL A,#3\nJNZ L\nINC 32H\nMOV R1,#34H\nINC @R1\nDJNZ 33H,L\nSJMP L\nF: INC R7\nMOV A,R7\nRET\n"
    "T: DB 1,2,3,4,5,6,7,8\n",
    // an LCD's busy poll pulsing its enable pin, a pin held high while
    // another pulses until INT0's pin is let go, a loop entered after its pin
    // write; timer 0 flips the busy flag
    "ORG 0\nLJMP S\nORG 0BH\nCPL P1.7\nINC 30H\nRETI\nS: MOV TMOD,#02H\nSETB TR0\nMOV IE,#82H\n"
    "L: SETB P3.7\nMOV C,P1.7\nCLR P3.7\nJC L\nINC 31H\nP: SETB P1.3\nJB P3.2,Q\nSETB P2.1\nCLR P2.1\nSJMP P\n"
    "Q: CLR P1.3\nJNB P1.7,Q\nSETB P2.0\nSJMP M\nK: CLR P2.0\nM: JB P1.7,K\nSJMP L\n",
};

// Run alone, with nobody following its pins, the machine leaves TXD's bits
// to the next catch-up: it must still end each run as the stepped one that
// reports every pin change at its cycle. Where pin changes are only
// counted, both count the same.
TEST(Run, LeavesTheMachineAsSteppingDoes)
{
    std::mt19937 random(51);
    for (const bool alone : {false, true})
    for (const bool counted : {false, true})
    for (const char* program : Programs) {
        if (alone && counted)
            continue;
        auto ran = makeMachine(program), stepped = makeMachine(program);
        Recorder ranPins, steppedPins;
        ran->setListener(alone ? nullptr : &ranPins), stepped->setListener(&steppedPins);
        uint64_t ranCount = 0, steppedCount = 0;
        if (counted)
            ran->countPinReports(&ranCount), stepped->countPinReports(&steppedCount);
        for (int chunk = 0; chunk < 300; ++chunk) {
            const uint64_t budget = 1 + random() % 3000;
            const uint64_t end = ran->cycles() + budget;
            ran->run(budget);
            while (stepped->cycles() < end)
                stepped->step();
            ASSERT_EQ(ran->cycles(), stepped->cycles()) << program << " chunk " << chunk;
            ASSERT_TRUE(ran->snapshot() == stepped->snapshot()) << program << " chunk " << chunk << " alone " << alone;
            if (!alone) {
                ASSERT_EQ(ranPins.pins.size(), steppedPins.pins.size()) << program << " chunk " << chunk;
                ASSERT_EQ(ranCount, steppedCount) << program << " chunk " << chunk;
            }
            // the outside world between runs: a pin (INT0 gates timer 1) and a received byte
            if (chunk % 7 == 3) {
                const int level = static_cast<int>(random() % 2);
                ran->drivePin(3, 2, level), stepped->drivePin(3, 2, level);
            }
            if (chunk % 11 == 5) {
                const uint8_t byte = static_cast<uint8_t>(random());
                ran->sendSerial(&byte, 1), stepped->sendSerial(&byte, 1);
            }
        }
        for (size_t i = 0; i < ranPins.pins.size(); ++i)
            ASSERT_EQ(ranPins.pins[i].cycle, steppedPins.pins[i].cycle) << program << " pin change " << i;
        EXPECT_TRUE(std::equal(ran->executionCounts(), ran->executionCounts() + 65536, stepped->executionCounts()))
            << program;
    }
}

// Code loaded over other code is decoded again where its bytes changed, its
// loops found anew: it runs as the same bytes do on a machine that decodes
// its whole code memory at every load (one with a code range shared with
// xram, out of these programs' reach).
TEST(Run, CodeLoadedOverOtherCodeRunsAsOnAFreshMachine)
{
    const size_t count = std::size(Programs);
    for (size_t i = 0; i < count; ++i) {
        auto over = makeMachine(Programs[(i + 1) % count]);
        const std::vector<uint8_t> image = assembleImage(Programs[i]);
        over->loadCode(image.data(), image.size());
        std::vector<uint8_t> code(65536);
        for (unsigned a = 0; a < code.size(); ++a)
            code[a] = over->read(Space::Code, a);
        Board whole;
        whole.sharedFrom = 0xF000, whole.sharedTo = 0xFFFF;
        Machine fresh(*findChip("8052"), whole);
        fresh.loadCode(code.data(), code.size());
        for (int chunk = 0; chunk < 50; ++chunk) {
            over->run(997), fresh.run(997);
            ASSERT_TRUE(over->snapshot() == fresh.snapshot()) << Programs[i] << " chunk " << chunk;
        }
        EXPECT_TRUE(std::equal(over->executionCounts(), over->executionCounts() + 65536, fresh.executionCounts()))
            << Programs[i];
    }
}

// A wire on the board: P1.0 drives INT0 (P3.2), as a part that pulls a pin
// during the run does.
struct Wire : Recorder {
    Machine* machine = nullptr;
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override
    {
        Recorder::pinsChanged(cycle, port, levels);
        if (port == 1 && machine && ((machine->outsideDrive(3) >> 2) & 1) != (levels & 1))
            machine->drivePin(3, 2, levels & 1 ? -1 : 0);
    }
};

// The UART in each mode on the ideal line and the real one (at a fixed rate
// and at the program's own), both interrupt levels and a part on the pins:
// free runs of random lengths against single steps, the whole machine and
// every report with its cycle.
TEST(Run, EveryPeripheralAsSteppingDoes)
{
    // Timer 0 at low priority toggles P1.0 (wired to INT0, an edge-triggered
    // low interrupt); the serial interrupt at high priority echoes each byte.
    const char* const echo =
        "ORG 0\nLJMP S\nORG 3\nINC 50H\nRETI\nORG 0BH\nCPL P1.0\nRETI\nORG 23H\nJBC TI,T\nJNB RI,X\nCLR RI\n"
        "MOV SBUF,SBUF\nX: RETI\nT: INC 51H\nRETI\nS: MOV TMOD,#02H\nMOV TH0,#80H\nSETB TR0\nSETB IT0\n";
    struct Case {
        std::string program;
        SerialLine line;
        double baud;
        bool listening;  // without a listener the line's edges need not be reported as they come
        unsigned burst;  // bytes sent to RXD at a time
    };
    // A download at 115200 bit/s on the real line, timer 2 clocking both
    // directions twice a machine cycle: RI polled, each byte kept in RAM and
    // echoed when the transmitter is free and counted in 30H, every fourth
    // one followed by a pause that loses the next when it comes back to back.
    const std::string download =
        "MOV SCON,#50H\nMOV RCAP2H,#0FFH\nMOV RCAP2L,#0FDH\nMOV T2CON,#34H\nSETB TI\nMOV R0,#40H\n"
        "L: JNB RI,L\nCLR RI\nMOV A,SBUF\nMOV @R0,A\nINC 30H\nINC R0\nCJNE R0,#80H,E\nMOV R0,#40H\nE: JNB TI,P\nCLR TI\n"
        "MOV SBUF,A\nP: MUL AB\nMOV A,R0\nANL A,#3\nJNZ L\nMOV R2,#40\nDJNZ R2,$\nSJMP L\n";
    const Case cases[] = {
        // mode 1, timer 2 clocks both directions
        {std::string(echo) + "MOV RCAP2H,#0FFH\nMOV RCAP2L,#0DCH\nMOV T2CON,#34H\nMOV SCON,#50H\nMOV IP,#10H\n"
                             "MOV IE,#93H\nL: INC 30H\nSJMP L\n",
         SerialLine::RealLine, 9600, true, 2},
        // mode 3, timer 1 with SMOD, the ninth bit toggling, polled
        {"MOV TMOD,#20H\nMOV TH1,#0FFH\nORL PCON,#80H\nSETB TR1\nMOV SCON,#0D8H\nSETB TI\n"
         "L: JNB RI,N\nCLR RI\nMOV A,SBUF\nMOV 31H,A\nN: JNB TI,L\nCLR TI\nCPL TB8\nINC 32H\nMOV SBUF,32H\nSJMP L\n",
         SerialLine::RealLine, 0, true, 2},
        // mode 2 sending and receiving, polled, with the echo's interrupts
        {std::string(echo) + "MOV SCON,#90H\nMOV IE,#83H\nMOV IP,#02H\nL: MOV SBUF,30H\nJNB TI,$\nCLR TI\n"
                             "INC 30H\nJNB RI,L\nCLR RI\nSJMP L\n",
         SerialLine::Ideal, 0, true, 2},
        // mode 0 shifting out and in, timer 1 mode 1 interrupt at high priority
        {"ORG 0\nLJMP S\nORG 1BH\nINC 52H\nRETI\nS: MOV TMOD,#10H\nSETB TR1\nMOV IP,#08H\nMOV IE,#88H\n"
         "L: MOV SCON,#00H\nMOV SBUF,30H\nJNB TI,$\nCLR TI\nINC 30H\nMOV SCON,#10H\nJNB RI,$\nMOV 33H,SBUF\nSJMP L\n",
         SerialLine::Ideal, 0, true, 2},
        // the download heard and unheard, and from a line a little slower
        // than the receiver (bits sampled near their edges, false starts)
        {download, SerialLine::RealLine, 115200, true, 12},
        {download, SerialLine::RealLine, 115200, false, 12},
        {download, SerialLine::RealLine, 103000, false, 12},
    };
    std::mt19937 random(8051);
    for (const Case& c : cases) {
        Board board;
        board.serial = c.line;
        board.lineBaud = c.baud;
        auto ran = makeMachine(c.program, "8052", board), stepped = makeMachine(c.program, "8052", board);
        Wire ranPins, steppedPins;
        ranPins.machine = ran.get(), steppedPins.machine = stepped.get();
        if (c.listening)
            ran->setListener(&ranPins), stepped->setListener(&steppedPins);
        // A stop condition that never holds keeps the stepping machine's
        // peripherals clocked instruction by instruction: the reference that
        // the run's gathered cycles are held to.
        stepped->setCondition([](const Machine&, void*) { return false; }, nullptr);
        for (int chunk = 0; chunk < 400; ++chunk) {
            const uint64_t budget = 1 + random() % (chunk % 3 ? 200 : 5000);
            const uint64_t end = ran->cycles() + budget;
            ran->run(budget);
            while (stepped->cycles() < end)
                stepped->step();
            ASSERT_TRUE(ran->snapshot() == stepped->snapshot()) << c.program << " chunk " << chunk;
            if (chunk % 5 == 2) {
                uint8_t bytes[12];
                for (unsigned i = 0; i < c.burst; ++i)
                    bytes[i] = static_cast<uint8_t>(random());
                ran->sendSerial(bytes, c.burst), stepped->sendSerial(bytes, c.burst);
            }
        }
        EXPECT_EQ(ranPins.sent, steppedPins.sent) << c.program;
        EXPECT_EQ(ranPins.sentAt, steppedPins.sentAt) << c.program;
        EXPECT_EQ(ranPins.lost, steppedPins.lost) << c.program;
        ASSERT_EQ(ranPins.pins.size(), steppedPins.pins.size()) << c.program;
        for (size_t i = 0; i < ranPins.pins.size(); ++i) {
            ASSERT_EQ(ranPins.pins[i].cycle, steppedPins.pins[i].cycle) << c.program << " pin change " << i;
            ASSERT_EQ(ranPins.pins[i].levels, steppedPins.pins[i].levels) << c.program << " pin change " << i;
        }
        EXPECT_GT(c.listening ? ranPins.sent.size() : ran->read(Space::Iram, 0x30), 3u) << c.program;
    }
}

}  // namespace
