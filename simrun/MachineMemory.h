#pragma once
// The simulator core's memories as the C evaluator reads and writes them
// (toolchain::MemoryAccess), for every runner on the core: m51sim's --print
// and firmware checks write straight into the machine; the debug adapter
// passes a write hook that sends each byte through the run's history, so
// that stepping back and replays see the change. Plain C++.

#include "toolchain/CExpression.h"

#include "sim/Machine.h"

#include <functional>

namespace m51dbg {

class MachineMemory : public toolchain::MemoryAccess {
public:
    // Where a written byte goes instead of the machine (the history).
    using WriteHook = std::function<void(sim::Space space, unsigned address, uint8_t value)>;

    explicit MachineMemory(sim::Machine& machine, WriteHook write = {}) : m_machine(machine), m_write(std::move(write)) {}
    std::optional<uint8_t> read(toolchain::Storage space, uint32_t address) const override;
    bool write(toolchain::Storage space, uint32_t address, uint8_t value) override;

private:
    void put(sim::Space space, unsigned address, uint8_t value);

    sim::Machine& m_machine;
    WriteHook m_write;
};

} // namespace m51dbg
