#pragma once
// m51sim's serial script: what the outside world sends to the simulated
// board's serial port and what it waits for, one command a line:
//
//   send TEXT       the bytes of TEXT (escapes \r \n \t \\ \xNN)
//   sendfile FILE   the bytes of a file (relative to the script's folder), read
//                   piece by piece as the line takes them, so that a file of
//                   any size (or a named pipe) takes little memory
//   expect TEXT     wait until the program has sent TEXT (escapes as for send)
//   wait CYCLES     let the program run for so many machine cycles
//
// Blank lines and lines starting with # are skipped. The runner is driven by
// the simulation loop and never blocks; plain C++ for every build.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace m51sim {

// A file's bytes in pieces: up to n next bytes into out, their number (0 at
// the end, or where the file can no longer be read).
using ByteStream = std::function<std::size_t(char* out, std::size_t n)>;
// Opens a file's bytes afresh, for every run of the same script.
using FileSource = std::function<ByteStream()>;

// The bytes of `bytes` as a file source (files given in memory).
FileSource BytesSource(std::string bytes);
// The file at `path` read as the run goes: nothing with the reason in `why`
// when it is no regular file or named pipe, or cannot be opened.
std::optional<FileSource> OpenFileSource(const std::string& path, std::string& why);

struct ScriptCommand {
    enum class Kind { Send, Expect, Wait };
    Kind kind = Kind::Send;
    std::string bytes;    // Send, Expect
    uint64_t cycles = 0;  // Wait
    int line = 0;         // 1-based, for messages
    FileSource file;      // Send of a file's bytes (sendfile) instead of `bytes`
};

struct SerialScript {
    std::vector<ScriptCommand> commands;
    std::string error;  // "FILE:LINE: message", empty when the script is sound
};

// TEXT with its escapes resolved; nothing when an escape is malformed.
std::optional<std::string> Unescape(std::string_view text);

// A whole file's bytes, or nothing with the reason in `why` (programs, boards).
using FileReader = std::function<std::optional<std::string>(const std::string& path, std::string& why)>;
// A sendfile's bytes, or nothing with the reason in `why`.
using FileOpener = std::function<std::optional<FileSource>(const std::string& path, std::string& why)>;
// The opener that reads a file whole through `readFile` (files given in memory).
FileOpener WholeFiles(FileReader readFile);

SerialScript ParseSerialScript(std::string_view text, const std::string& name, const FileOpener& openFile);

// Works through the commands as the simulation goes. poll() is called with
// the machine cycle count, everything the program has sent so far and the
// bytes the board's serial input still holds; it returns the bytes to send to
// the board now (empty: none). What is to be sent goes out in order; a file
// is handed over in pieces whenever the board holds less than kFeedLow bytes,
// up to kFeedAhead, so the board's input never runs dry before the file's end
// as long as poll() comes at least every kFeedCycles machine cycles while
// feeding() (the fastest serial mode takes a byte in 8 cycles).
class ScriptRunner {
public:
    static constexpr std::size_t kFeedLow = 4096;
    static constexpr std::size_t kFeedAhead = 8192;
    static constexpr uint64_t kFeedCycles = 16384;

    explicit ScriptRunner(std::vector<ScriptCommand> commands) : m_commands(std::move(commands)) {}

    std::string poll(uint64_t cycle, const std::string& received, std::size_t queued = 0);
    bool done() const { return m_next >= m_commands.size(); }
    // Bytes sent by the script are still to be handed to the board.
    bool feeding() const { return !m_feed.empty(); }
    // The cycle the wait under way ends at; nothing while none is.
    std::optional<uint64_t> waitEnd() const { return m_waitUntil; }
    // The command being waited for (expect or wait), nullptr when done.
    const ScriptCommand* current() const { return done() ? nullptr : &m_commands[m_next]; }

private:
    struct Feed {
        std::string bytes;  // sent at once
        ByteStream stream;  // or a file's, in pieces
    };
    std::string take(std::size_t queued);

    std::vector<ScriptCommand> m_commands;
    std::deque<Feed> m_feed;
    size_t m_next = 0;
    size_t m_searchFrom = 0;  // expect looks at what came after the last match
    std::optional<uint64_t> m_waitUntil;
};

} // namespace m51sim
