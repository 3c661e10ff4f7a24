#pragma once
// The built-in core's memory spaces as the backend's Memory values name them,
// shared by the backend's files.

#include "debugger/SimulatorBackend.h"

#include "sim/Machine.h"

namespace m51dbg {

inline sim::Space CoreSpace(SimulatorBackend::Memory memory)
{
    switch (memory) {
    case SimulatorBackend::Memory::Iram: return sim::Space::Iram;
    case SimulatorBackend::Memory::Sfr: return sim::Space::Sfr;
    case SimulatorBackend::Memory::Xram: return sim::Space::Xram;
    case SimulatorBackend::Memory::Code: return sim::Space::Code;
    }
    return sim::Space::Iram;
}

// Addresses a space has (SFRs counted from 0, as the debugger addresses them).
inline unsigned SpaceSize(SimulatorBackend::Memory memory)
{
    switch (memory) {
    case SimulatorBackend::Memory::Iram: return 0x100;
    case SimulatorBackend::Memory::Sfr: return 0x100;
    default: return 0x10000;
    }
}

} // namespace m51dbg
