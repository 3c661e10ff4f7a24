#pragma once
// m51sim's serial script: what the outside world sends to the simulated
// board's serial port and what it waits for, one command a line:
//
//   send TEXT       the bytes of TEXT (escapes \r \n \t \\ \xNN)
//   sendfile FILE   the bytes of a file (relative to the script's folder)
//   expect TEXT     wait until the program has sent TEXT (escapes as for send)
//   wait CYCLES     let the program run for so many machine cycles
//
// Blank lines and lines starting with # are skipped. The runner is driven by
// the simulation loop and never blocks; plain C++ for every build.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace m51sim {

struct ScriptCommand {
    enum class Kind { Send, Expect, Wait };
    Kind kind = Kind::Send;
    std::string bytes;    // Send, Expect
    uint64_t cycles = 0;  // Wait
    int line = 0;         // 1-based, for messages
};

struct SerialScript {
    std::vector<ScriptCommand> commands;
    std::string error;  // "FILE:LINE: message", empty when the script is sound
};

// TEXT with its escapes resolved; nothing when an escape is malformed.
std::optional<std::string> Unescape(std::string_view text);

// `readFile` returns a sendfile's bytes, or nothing with the reason in `why`.
using FileReader = std::function<std::optional<std::string>(const std::string& path, std::string& why)>;
SerialScript ParseSerialScript(std::string_view text, const std::string& name, const FileReader& readFile);

// Works through the commands as the simulation goes. poll() is called with
// the machine cycle count and everything the program has sent so far; it
// returns the bytes to send to the board now (empty: none).
class ScriptRunner {
public:
    explicit ScriptRunner(std::vector<ScriptCommand> commands) : m_commands(std::move(commands)) {}

    std::string poll(uint64_t cycle, const std::string& received);
    bool done() const { return m_next >= m_commands.size(); }
    // The command being waited for (expect or wait), nullptr when done.
    const ScriptCommand* current() const { return done() ? nullptr : &m_commands[m_next]; }

private:
    std::vector<ScriptCommand> m_commands;
    size_t m_next = 0;
    size_t m_searchFrom = 0;  // expect looks at what came after the last match
    std::optional<uint64_t> m_waitUntil;
};

} // namespace m51sim
