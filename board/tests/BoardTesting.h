#pragma once
// A machine at 12 MHz (one machine cycle a microsecond) with an assembled
// program and the virtual board of a board file wired to it.

#include "assembler/Assembler.h"
#include "board/BoardFile.h"
#include "board/VirtualBoard.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace board::test {

struct Rig {
    std::unique_ptr<sim::Machine> machine;
    std::unique_ptr<VirtualBoard> board;

    Rig(const std::string& source, const std::string& boardText)
    {
        m51asm::AssembleOptions options;
        options.fileName = "test.a51";
        options.listing = false;
        options.shortestJumps = true;
        const auto r = m51asm::Assemble(source, options);
        for (const auto& e : r.errors)
            ADD_FAILURE() << "line " << e.line << ": " << e.message;
        sim::Board hw;
        hw.crystalHz = 12e6;
        machine = std::make_unique<sim::Machine>(*sim::findChip("8052"), hw);
        machine->loadCode(r.image.data(), r.image.size());
        const BoardParse parse = ParseBoard(boardText);
        for (const auto& e : parse.errors)
            ADD_FAILURE() << "board line " << e.line << ": " << e.message;
        board = std::make_unique<VirtualBoard>(parse.board, hw.crystalHz);
        machine->setListener(board.get());
        board->attach(machine.get());
    }
    ~Rig()
    {
        machine->setListener(nullptr);
    }
    // Runs for `microseconds` of the chip's time.
    void run(uint64_t microseconds)
    {
        const uint64_t end = machine->cycles() + microseconds;
        while (machine->cycles() < end)
            machine->step();
        board->settle();
    }
    uint8_t iram(unsigned address) const { return machine->read(sim::Space::Iram, address); }
};

} // namespace board::test
