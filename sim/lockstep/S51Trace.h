#pragma once
// The reference side of the lockstep test: a program run instruction by
// instruction in s51 from one command script, and s51's printed answers read
// back into data. s51 runs the whole script in one go (no round trips), which
// keeps thousands of steps within seconds.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim::lockstep {

// The machine after one step as s51 reports it.
struct S51Step {
    uint16_t pc = 0;
    uint64_t ticks = 0;  // oscillator periods since reset
    uint8_t acc = 0, b = 0, psw = 0, sp = 0;
    uint16_t dptr = 0;
    std::array<uint8_t, 8> r{};
    // s51 leaves the register block out of a report that stops on one of its
    // warnings ("Stack overflow"); then only pc and ticks are known.
    bool registers = false;
    bool full = false;  // iram and sfr below were dumped after this step
    std::array<uint8_t, 256> iram{};
    std::array<uint8_t, 128> sfr{};
};

// The command script: zeroed RAM, the HEX file, then `steps` steps with the
// clock after each and the full RAM and SFRs after every `fullEvery`-th.
std::string S51Script(const std::string& hexPath, unsigned steps, unsigned fullEvery);

// The steps in s51's answer to that script; parsing stops at the first
// malformed report.
std::vector<S51Step> ParseS51Trace(std::string_view output);

// Runs s51 (8052 at `crystalHz`) on the script (read as its start-up commands,
// so that answers and echoed commands come in order); the output text or nothing
// when s51 could not be run.
std::optional<std::string> RunS51(const std::string& script, const std::string& workDir, double crystalHz);

// Intel HEX text of `code` (records of 16 bytes, only the used range).
std::string ToIntelHex(const std::vector<uint8_t>& code, unsigned from, unsigned to);

}  // namespace sim::lockstep
