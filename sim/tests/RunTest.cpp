// run() gathers the timers' cycles while nothing they drive is due; it must
// leave the machine exactly as stepping instruction by instruction does.

#include "TestBoard.h"

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
};

TEST(Run, LeavesTheMachineAsSteppingDoes)
{
    std::mt19937 random(51);
    for (const char* program : Programs) {
        auto ran = makeMachine(program), stepped = makeMachine(program);
        Recorder ranPins, steppedPins;
        ran->setListener(&ranPins), stepped->setListener(&steppedPins);
        for (int chunk = 0; chunk < 300; ++chunk) {
            const uint64_t budget = 1 + random() % 3000;
            const uint64_t end = ran->cycles() + budget;
            ran->run(budget);
            while (stepped->cycles() < end)
                stepped->step();
            ASSERT_EQ(ran->cycles(), stepped->cycles()) << program << " chunk " << chunk;
            ASSERT_TRUE(ran->snapshot() == stepped->snapshot()) << program << " chunk " << chunk;
            ASSERT_EQ(ranPins.pins.size(), steppedPins.pins.size()) << program << " chunk " << chunk;
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
    }
}

}  // namespace
