#include "sim/lockstep/S51Trace.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sim::lockstep {

namespace {

std::optional<unsigned long> hexAfter(std::string_view line, std::string_view key)
{
    const size_t at = line.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::string rest(line.substr(at + key.size()));
    char* end = nullptr;
    const unsigned long v = std::strtoul(rest.c_str(), &end, 16);
    if (end == rest.c_str())
        return std::nullopt;
    return v;
}

bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// "0x10 ac 5b f3 ..." (16 bytes after the address) into `out`.
bool dumpLine(std::string_view line, std::vector<uint8_t>& out)
{
    if (line.size() < 5 || line.substr(0, 2) != "0x" || line.find(' ') > 5)
        return false;
    std::istringstream in{std::string(line.substr(line.find(' ')))};
    for (int i = 0; i < 16; ++i) {
        std::string byte;
        if (!(in >> byte) || byte.size() != 2)
            return false;
        out.push_back(static_cast<uint8_t>(std::strtoul(byte.c_str(), nullptr, 16)));
    }
    return true;
}

}  // namespace

std::string S51Script(const std::string& hexPath, unsigned steps, unsigned fullEvery)
{
    std::string s = "set console interactive off\nfill iram 0 0xff 0\nfill xram 0 0xffff 0\nfile \"" + hexPath + "\"\n";
    for (unsigned i = 1; i <= steps; ++i) {
        s += "step\nexpression sim_ticks\n";
        if ((fullEvery && i % fullEvery == 0) || i == steps)
            s += "dump /h iram 0 0xff 16\ndump /h sfr_chip 0 0x7f 16\n";
    }
    return s + "quit\n";
}

std::vector<S51Step> ParseS51Trace(std::string_view output)
{
    std::vector<S51Step> steps;
    std::vector<uint8_t> dump;
    bool registers = false;
    auto closeDump = [&] {
        if (!steps.empty() && dump.size() == 384) {
            std::copy(dump.begin(), dump.begin() + 256, steps.back().iram.begin());
            std::copy(dump.begin() + 256, dump.end(), steps.back().sfr.begin());
            steps.back().full = true;
        }
        dump.clear();
    };
    size_t pos = 0;
    while (pos < output.size()) {
        size_t end = output.find('\n', pos);
        if (end == std::string_view::npos)
            end = output.size();
        std::string_view line = output.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.starts_with("Stop at ")) {
            closeDump();
            S51Step step;
            const auto pc = hexAfter(line, "Stop at ");
            if (!pc)
                break;
            step.pc = static_cast<uint16_t>(*pc);
            steps.push_back(step);
            continue;
        }
        if (steps.empty())
            continue;
        S51Step& step = steps.back();
        if (line.find("R0 R1 R2 R3 R4 R5 R6 R7") != std::string_view::npos) {
            registers = true;
            step.registers = true;
            continue;
        }
        if (registers) {
            registers = false;
            std::istringstream in{std::string(line)};
            for (auto& r : step.r) {
                std::string byte;
                in >> byte;
                r = static_cast<uint8_t>(std::strtoul(byte.c_str(), nullptr, 16));
            }
            continue;
        }
        if (auto v = hexAfter(line, "ACC= 0x"))
            step.acc = static_cast<uint8_t>(*v);
        if (auto v = hexAfter(line, "B= 0x"))
            step.b = static_cast<uint8_t>(*v);
        if (auto v = hexAfter(line, "PSW= 0x"))
            step.psw = static_cast<uint8_t>(*v);
        if (line.starts_with("SP 0x"))
            step.sp = static_cast<uint8_t>(*hexAfter(line, "SP 0x"));
        if (auto v = hexAfter(line, "DPTR= 0x"))
            step.dptr = static_cast<uint16_t>(*v);
        if (allDigits(line) && !step.ticks)  // the clock comes first; later numbers are not ours
            step.ticks = std::strtoull(std::string(line).c_str(), nullptr, 10);
        if (line.starts_with("0x") && line.size() > 50 && line[4] == ' ')
            dumpLine(line, dump);
    }
    closeDump();
    return steps;
}

std::optional<std::string> RunS51(const std::string& script, const std::string& workDir, double crystalHz)
{
    const std::string scriptPath = workDir + "/lockstep.cmd";
    const std::string outPath = workDir + "/lockstep.out";
    {
        std::ofstream out(scriptPath, std::ios::binary);
        out << script;
        if (!out)
            return std::nullopt;
    }
    const std::string command = "s51 -q -P -t 8052 -X " + std::to_string(static_cast<long long>(crystalHz)) + " -C '" +
                                scriptPath + "' < /dev/null > '" + outPath + "' 2>&1";
    if (std::system(command.c_str()) != 0)
        return std::nullopt;
    std::ifstream in(outPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ToIntelHex(const std::vector<uint8_t>& code, unsigned from, unsigned to)
{
    std::string hex;
    char buf[80];
    for (unsigned at = from; at < to; at += 16) {
        const unsigned n = std::min(16u, to - at);
        unsigned sum = n + (at >> 8) + (at & 0xFF);
        std::snprintf(buf, sizeof buf, ":%02X%04X00", n, at);
        hex += buf;
        for (unsigned i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, "%02X", code[at + i]);
            hex += buf;
            sum += code[at + i];
        }
        std::snprintf(buf, sizeof buf, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        hex += buf;
    }
    return hex + ":00000001FF\n";
}

}  // namespace sim::lockstep
