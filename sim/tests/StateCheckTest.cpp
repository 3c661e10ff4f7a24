// A snapshot with one field outside the machine's ranges is refused with the
// field's name, before anything is restored; a sound one loads.
#include "sim/Machine.h"
#include "sim/StateCheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <cstddef>
#include <cstring>
#include <limits>

namespace {

template <typename T>
void Put(std::vector<uint8_t>& bytes, std::size_t offset, T value)
{
    std::memcpy(bytes.data() + 8 + offset, &value, sizeof value);
}

TEST(StateCheck, RefusesEachFieldOutOfRangeByName)
{
    sim::Board board;
    board.serial = sim::SerialLine::RealLine;
    board.lineBaud = 9600;
    sim::Machine machine(*sim::findChip("8052"), board);
    machine.reset();
    const std::vector<uint8_t> sound = machine.snapshot().bytes();
    ASSERT_EQ(sim::snapshotFieldProblem(sound), "");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* field;
        std::function<void(std::vector<uint8_t>&)> corrupt;
    } cases[] = {
        {"pendingSource", [](auto& b) { Put<uint8_t>(b, offsetof(sim::CoreState, pendingSource), 164); }},
        {"lineBits", [](auto& b) { Put<uint8_t>(b, offsetof(sim::CoreState, lineBits), 40); }},
        {"rxBits", [](auto& b) { Put<uint8_t>(b, offsetof(sim::CoreState, rxBits), 40); }},
        {"rxTicks", [](auto& b) { Put<uint32_t>(b, offsetof(sim::CoreState, rxTicks), 100000); }},
        {"serialDiv", [](auto& b) { Put<uint32_t>(b, offsetof(sim::CoreState, serialDiv), 7); }},
        {"txTicks", [](auto& b) { Put<uint32_t>(b, offsetof(sim::CoreState, txTicks), 16); }},
        {"inService", [](auto& b) { Put<uint8_t>(b, offsetof(sim::CoreState, inService), 4); }},
        {"lineNext", [nan](auto& b) { Put<double>(b, offsetof(sim::CoreState, lineNext), nan); }},
        {"lineBitCycles", [](auto& b) { Put<double>(b, offsetof(sim::CoreState, lineBitCycles), 1e-300); }},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = sound;
        c.corrupt(bytes);
        EXPECT_NE(sim::snapshotFieldProblem(bytes).find(c.field), std::string::npos)
            << c.field << ": " << sim::snapshotFieldProblem(bytes);
        EXPECT_FALSE(machine.restore(sim::Snapshot::fromBytes(bytes))) << c.field;
    }
    EXPECT_TRUE(machine.restore(sim::Snapshot::fromBytes(sound)));
}

} // namespace
