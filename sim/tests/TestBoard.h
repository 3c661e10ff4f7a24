#pragma once
// A machine with an assembled program, and a listener that records what the
// core reports: shared by the core's tests.

#include "assembler/Assembler.h"
#include "sim/Machine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace sim::test {

struct Recorder : Listener {
    struct Pins { uint64_t cycle; unsigned port; uint8_t levels; };
    std::vector<Pins> pins;
    std::string sent;
    std::vector<uint64_t> sentAt;
    std::string lost;
    void pinsChanged(uint64_t cycle, unsigned port, uint8_t levels) override { pins.push_back({cycle, port, levels}); }
    void serialSent(uint64_t cycle, uint8_t byte) override
    {
        sent += static_cast<char>(byte);
        sentAt.push_back(cycle);
    }
    void serialLost(uint64_t, uint8_t byte) override { lost += static_cast<char>(byte); }
};

inline std::vector<uint8_t> assembleImage(const std::string& source)
{
    m51asm::AssembleOptions options;
    options.fileName = "test.a51";
    options.listing = false;
    options.shortestJumps = true;
    m51asm::AssembleResult r = m51asm::Assemble(source, options);
    for (const auto& e : r.errors)
        ADD_FAILURE() << "line " << e.line << ": " << e.message;
    return std::move(r.image);
}

inline std::unique_ptr<Machine> makeMachine(const std::string& source, const char* chip = "8052", Board board = {})
{
    const std::vector<uint8_t> image = assembleImage(source);
    auto m = std::make_unique<Machine>(*findChip(chip), board);
    m->loadCode(image.data(), image.size());
    return m;
}

// Steps until PC reaches `address` (at most `limit` steps); false when it never does.
inline bool runTo(Machine& m, uint16_t address, unsigned limit = 1000000)
{
    for (unsigned i = 0; i < limit; ++i) {
        if (m.pc() == address && m.pendingInterrupt() < 0)
            return true;
        m.step();
    }
    return false;
}

}  // namespace sim::test
