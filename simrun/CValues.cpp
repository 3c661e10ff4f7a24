#include "CValues.h"

#include <cmath>
#include <cstdlib>

namespace m51sim {

namespace {

using toolchain::Storage;

// A test's number: decimal, 0x hexadecimal, a float or 'c'.
std::optional<double> NumberIn(std::string_view text)
{
    if (text.size() == 3 && text.front() == '\'' && text.back() == '\'')
        return static_cast<unsigned char>(text[1]);
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

toolchain::CResult EvaluateAtStop(std::string_view expression, const toolchain::Program& program, sim::Machine& machine,
                                  const MachineMemory& memory)
{
    return toolchain::Evaluate(expression, program, memory, toolchain::StopPlace{machine.pc(), std::nullopt});
}

} // namespace

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

bool MachineMemory::write(Storage space, uint32_t address, uint8_t value)
{
    switch (space) {
    case Storage::InternalRam:
        if (address >= 0x100)
            return false;
        m_machine.write(sim::Space::Iram, address, value);
        return true;
    case Storage::Sfr:
        if (address < 0x80 || address >= 0x100)
            return false;
        m_machine.write(sim::Space::Sfr, address, value);
        return true;
    case Storage::ExternalRam:
        if (address >= 0x10000)
            return false;
        m_machine.write(sim::Space::Xram, address, value);
        return true;
    case Storage::Bit: {
        if (address >= 0x100)
            return false;
        const sim::Space where = address < 0x80 ? sim::Space::Iram : sim::Space::Sfr;
        const unsigned byteAddress = address < 0x80 ? 0x20 + address / 8 : address & 0xF8;
        const uint8_t mask = static_cast<uint8_t>(1u << (address & 7));
        const uint8_t byte = m_machine.read(where, byteAddress);
        m_machine.write(where, byteAddress, static_cast<uint8_t>(value ? byte | mask : byte & ~mask));
        return true;
    }
    default: return false;
    }
}

std::string PrintCValue(std::string_view expression, const toolchain::Program& program, sim::Machine& machine,
                        std::string& error)
{
    const MachineMemory memory(machine);
    const toolchain::CResult result = EvaluateAtStop(expression, program, machine, memory);
    if (!result.value) {
        error = std::string(expression) + ": " + result.error;
        return {};
    }
    return std::string(expression) + "=" + toolchain::FormatValue(*result.value, program, memory);
}

bool NamesCVariable(const toolchain::Program& program, std::string_view name)
{
    for (const toolchain::Symbol& symbol : program.symbols) {
        const bool sbit = symbol.type >= 0 && static_cast<size_t>(symbol.type) < program.types.size()
            && program.types[symbol.type].name == "__sbit";
        if (symbol.name == name && symbol.storage != Storage::Sfr && !sbit)
            return true;
    }
    return false;
}

std::string CheckCValue(std::string_view expression, std::string_view expected, const toolchain::Program& program,
                        sim::Machine& machine)
{
    const MachineMemory memory(machine);
    const toolchain::CResult result = EvaluateAtStop(expression, program, machine, memory);
    if (!result.value)
        return std::string(expression) + ": " + result.error;
    const std::string shown = toolchain::FormatValue(*result.value, program, memory);
    const auto wanted = NumberIn(expected);
    const auto actual = wanted ? toolchain::NumberOf(*result.value, program, memory) : std::nullopt;
    // A float variable holds the float nearest the number written.
    const int type = result.value->type;
    const bool isFloat = type >= 0 && static_cast<size_t>(type) < program.types.size()
        && program.types[type].kind == toolchain::Type::Kind::Float;
    const bool same = !actual ? shown == expected
                      : isFloat ? static_cast<float>(*actual) == static_cast<float>(*wanted)
                                : *actual == *wanted;
    return same ? std::string() : std::string(expression) + " is " + shown + ", expected " + std::string(expected);
}

} // namespace m51sim
