#include "debugger/window/EngineMemory.h"

#include "sim/Machine.h"

namespace m51dbg {

using toolchain::Storage;

std::optional<uint8_t> EngineMemory::read(Storage space, uint32_t address) const
{
    if (space == Storage::Bit) {
        if (address > 0xFF)
            return std::nullopt;
        const auto byte = address < 0x80 ? read(Storage::InternalRam, 0x20 + address / 8)
                                         : read(Storage::Sfr, address & 0xF8);
        return byte ? std::optional<uint8_t>((*byte >> (address & 7)) & 1) : std::nullopt;
    }
    const bool fits = space == Storage::InternalRam ? address < 0x100
                      : space == Storage::Sfr       ? address >= 0x80 && address < 0x100
                                                    : address < 0x10000;
    if (!fits)
        return std::nullopt;
    if (const sim::Machine* core = m_engine->core()) {
        switch (space) {
        case Storage::InternalRam: return core->read(sim::Space::Iram, address);
        case Storage::Sfr: return core->read(sim::Space::Sfr, address);
        case Storage::ExternalRam: return core->read(sim::Space::Xram, address);
        case Storage::Code: return core->read(sim::Space::Code, address);
        default: return std::nullopt;
        }
    }
    // s51: what its last stop brought; external RAM is not known there.
    const MachineState& m = m_engine->machine();
    const std::vector<uint8_t>& code = m_engine->program().code;
    switch (space) {
    case Storage::InternalRam: return m.iram[address];
    case Storage::Sfr: return m.sfrAt(address);
    case Storage::Code: return address < code.size() ? std::optional<uint8_t>(code[address]) : std::nullopt;
    default: return std::nullopt;
    }
}

bool EngineMemory::write(Storage space, uint32_t address, uint8_t value)
{
    using Memory = DebugEngine::Memory;
    switch (space) {
    case Storage::InternalRam:
        if (address > 0xFF)
            return false;
        m_engine->write(Memory::Iram, address, value);
        return true;
    case Storage::Sfr:
        if (address < 0x80 || address > 0xFF)
            return false;
        m_engine->write(Memory::Sfr, address, value);
        return true;
    case Storage::ExternalRam:
        if (address > 0xFFFF)
            return false;
        m_engine->write(Memory::Xram, address, value);
        return true;
    case Storage::Bit: {
        if (address > 0xFF)
            return false;
        const bool low = address < 0x80;
        const unsigned byteAddress = low ? 0x20 + address / 8 : address & 0xF8;
        const auto byte = read(low ? Storage::InternalRam : Storage::Sfr, byteAddress);
        if (!byte)
            return false;
        const uint8_t mask = static_cast<uint8_t>(1u << (address & 7));
        m_engine->write(low ? Memory::Iram : Memory::Sfr, byteAddress,
                        static_cast<uint8_t>(value ? *byte | mask : *byte & ~mask));
        return true;
    }
    default: return false;
    }
}

} // namespace m51dbg
