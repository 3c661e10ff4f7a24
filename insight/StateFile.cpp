#include "insight/StateFile.h"

#include "common/FileRead.h"
#include "common/FileWrite.h"
#include "sim/StateCheck.h"

namespace insight {

namespace {

// Layout: this line, the chip name and the crystal on a line each, then the
// snapshot bytes.
const char Magic[] = "M51SIM STATE 1\n";

} // namespace

std::string StateBytes(const sim::Machine& machine)
{
    std::string out = Magic;
    out += machine.chip().name + "\n";
    out += std::to_string(static_cast<unsigned long long>(machine.board().crystalHz)) + "\n";
    const sim::Snapshot shot = machine.snapshot();
    const auto& bytes = shot.bytes();
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return out;
}

std::string RestoreState(sim::Machine& machine, const std::string& bytes)
{
    if (bytes.compare(0, sizeof Magic - 1, Magic) != 0)
        return "not a simulation state file";
    const size_t chipEnd = bytes.find('\n', sizeof Magic - 1);
    const size_t crystalEnd = chipEnd == std::string::npos ? chipEnd : bytes.find('\n', chipEnd + 1);
    if (crystalEnd == std::string::npos)
        return "the state file is cut short";
    const std::string chip = bytes.substr(sizeof Magic - 1, chipEnd - (sizeof Magic - 1));
    if (chip != machine.chip().name)
        return "the state is of a " + m51::quoteForMessage(chip, 40) + ", the simulator runs a " + machine.chip().name;
    const std::string crystal = bytes.substr(chipEnd + 1, crystalEnd - chipEnd - 1);
    if (crystal != std::to_string(static_cast<unsigned long long>(machine.board().crystalHz)))
        return "the state is of a board with a " + m51::quoteForMessage(crystal, 40) + " Hz crystal";
    std::vector<uint8_t> shot(bytes.begin() + static_cast<std::ptrdiff_t>(crystalEnd + 1), bytes.end());
    if (const std::string field = sim::snapshotFieldProblem(shot); !field.empty())
        return "the state file is damaged: " + field;
    if (!machine.restore(sim::Snapshot::fromBytes(std::move(shot))))
        return "the state file is damaged or of another simulator version";
    return {};
}

std::string SaveStateFile(const std::string& path, const sim::Machine& machine)
{
    return m51::writeFileAtomically(path, StateBytes(machine));
}

std::string LoadStateFile(const std::string& path, sim::Machine& machine)
{
    std::string why;
    const auto bytes = m51::readFileBounded(path, m51::kInputLimit, why);
    if (!bytes)
        return why;
    return RestoreState(machine, *bytes);
}

} // namespace insight
