#pragma once
// The debugged machine as the C expression evaluator reads and writes it:
// the built-in simulator read directly (also while it runs, between its
// slices), s51 through the registers and internal RAM of its last stop.
// Every write goes down as DebugEngine::write, the one path by which the
// user changes the machine, so the step history stays right.

#include "debugger/DebugEngine.h"
#include "toolchain/CExpression.h"

namespace m51dbg {

class EngineMemory : public toolchain::MemoryAccess {
public:
    explicit EngineMemory(DebugEngine* engine) : m_engine(engine) {}
    std::optional<uint8_t> read(toolchain::Storage space, uint32_t address) const override;
    bool write(toolchain::Storage space, uint32_t address, uint8_t value) override;

private:
    DebugEngine* m_engine;
};

} // namespace m51dbg
