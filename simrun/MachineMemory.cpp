#include "simrun/MachineMemory.h"

namespace m51dbg {

using toolchain::Storage;

std::optional<uint8_t> MachineMemory::read(Storage space, uint32_t address) const
{
    switch (space) {
    case Storage::InternalRam: return address < 0x100 ? std::optional<uint8_t>(m_machine.read(sim::Space::Iram, address)) : std::nullopt;
    case Storage::Sfr: return address >= 0x80 && address < 0x100 ? std::optional<uint8_t>(m_machine.read(sim::Space::Sfr, address)) : std::nullopt;
    case Storage::ExternalRam: return address < 0x10000 ? std::optional<uint8_t>(m_machine.read(sim::Space::Xram, address)) : std::nullopt;
    case Storage::Code: return address < 0x10000 ? std::optional<uint8_t>(m_machine.read(sim::Space::Code, address)) : std::nullopt;
    case Storage::Bit: {
        if (address >= 0x100)
            return std::nullopt;
        const uint8_t byte = address < 0x80 ? m_machine.read(sim::Space::Iram, 0x20 + address / 8)
                                            : m_machine.read(sim::Space::Sfr, address & 0xF8);
        return static_cast<uint8_t>(byte >> (address & 7) & 1);
    }
    default: return std::nullopt;
    }
}

void MachineMemory::put(sim::Space space, unsigned address, uint8_t value)
{
    if (m_write)
        m_write(space, address, value);
    else
        m_machine.write(space, address, value);
}

bool MachineMemory::write(Storage space, uint32_t address, uint8_t value)
{
    switch (space) {
    case Storage::InternalRam:
        if (address >= 0x100)
            return false;
        put(sim::Space::Iram, address, value);
        return true;
    case Storage::Sfr:
        if (address < 0x80 || address >= 0x100)
            return false;
        put(sim::Space::Sfr, address, value);
        return true;
    case Storage::ExternalRam:
        if (address >= 0x10000)
            return false;
        put(sim::Space::Xram, address, value);
        return true;
    case Storage::Bit: {
        if (address >= 0x100)
            return false;
        const sim::Space where = address < 0x80 ? sim::Space::Iram : sim::Space::Sfr;
        const unsigned byteAddress = address < 0x80 ? 0x20 + address / 8 : address & 0xF8;
        const uint8_t mask = static_cast<uint8_t>(1u << (address & 7));
        const uint8_t byte = m_machine.read(where, byteAddress);
        put(where, byteAddress, static_cast<uint8_t>(value ? byte | mask : byte & ~mask));
        return true;
    }
    default: return false;
    }
}

} // namespace m51dbg
