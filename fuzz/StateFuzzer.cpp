// Fuzz target: a saved simulation state. The input replaces the machine's
// registers, UART and line fields of a real state (and, past them, the bytes
// waiting for RXD); a state that loads must run: a thousand instructions
// on a program that sends and receives on a real serial line.
#include "sim/Chip.h"
#include "sim/Machine.h"
#include "fuzz/ReaderFuzzer.h"
#include "insight/StateFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const uint8_t program[] = {
        0x75, 0x98, 0x50,  // MOV SCON,#50H
        0x75, 0x89, 0x20,  // MOV TMOD,#20H
        0x75, 0x8D, 0xFD,  // MOV TH1,#0FDH
        0xD2, 0x8E,        // SETB TR1
        0xD2, 0xAF,        // SETB EA
        0x75, 0xA8, 0x9F,  // MOV IE,#9FH
        0xE5, 0x99,        // loop: MOV A,SBUF
        0xF5, 0x99,        //       MOV SBUF,A
        0x80, 0xFA,        //       SJMP loop
    };
    sim::Board board;
    board.serial = sim::SerialLine::RealLine;
    board.lineBaud = 9600;
    sim::Machine machine(*sim::findChip("8052"), board);
    machine.loadCode(program, sizeof program);
    machine.reset();
    std::string state = insight::StateBytes(machine);
    // Header lines, then the snapshot: 8 bytes of magic and size, the core state.
    const size_t header = state.size() - machine.snapshot().bytes().size();
    const size_t core = sizeof(sim::CoreState);
    std::memcpy(state.data() + header + 8, data, std::min(size, core));
    if (size > core) {
        const uint32_t queued = static_cast<uint32_t>(size - core);
        std::memcpy(state.data() + state.size() - 4, &queued, 4);
        state.append(reinterpret_cast<const char*>(data) + core, size - core);
    }
    if (!insight::RestoreState(machine, state).empty())
        return 0;
    for (int i = 0; i < 1000; ++i)
        machine.step();
    return 0;
}
