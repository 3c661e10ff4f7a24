#pragma once
// Reading the answers of the s51 simulator's command console. s51 talks to
// people, not programs: every answer is free text, echoed commands and
// terminal colour codes mixed in. Everything the debugger learns from s51
// passes through these functions, so a change of s51's wording is mended here.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace m51dbg {

// The answer text with the echo of `command` (s51 repeats each command line it
// reads from a pipe), carriage returns and terminal escape sequences removed.
std::string CleanAnswer(std::string_view raw, std::string_view command);

// The value of "expression ..." (decimal), or nothing when s51 printed an
// error instead.
std::optional<long long> ParseExpressionValue(std::string_view answer);

// Why the simulated CPU stopped, from "Stop at 0x00004a: (104) Breakpoint".
enum class StopReason { None, Breakpoint, Stepped, UserStopped, Other };

// The register block s51 prints after a step or a run.
struct StopReport {
    StopReason reason = StopReason::None;
    int reasonCode = -1;                 // s51's own number, (104) above
    std::string reasonText;              // "Breakpoint", "stepped 72 ticks" ...
    std::optional<uint16_t> pc;
    std::optional<uint8_t> sp, acc, b, psw;
    std::optional<uint16_t> dptr;
    std::optional<std::array<uint8_t, 8>> r;  // R0-R7 of the active bank
    std::vector<uint8_t> stack;               // from the top: iram[SP], iram[SP-1] ...
};
StopReport ParseStopReport(std::string_view answer);

// The bytes of "dump /h SPACE START STOP PERLINE": `count` bytes from
// `start`, or nothing when the dump is short or not a dump at all.
std::optional<std::vector<uint8_t>> ParseDump(std::string_view answer, unsigned start, unsigned count);

// The number s51 gave a new breakpoint ("Breakpoint 3 at 0x..."), or nothing
// when it refused (for example "Breakpoint at 0x00004a is already set.").
std::optional<int> ParseBreakpointNumber(std::string_view answer);

// The first error or warning line of an answer ("Parser error: ...",
// "Warning: Invalid address ...", "Unknown command"), empty when none.
std::string FindErrorLine(std::string_view answer);

} // namespace m51dbg
