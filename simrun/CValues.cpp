#include "simrun/CValues.h"

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
