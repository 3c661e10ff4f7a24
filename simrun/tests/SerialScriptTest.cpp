// m51sim's serial script: its lines, escapes and errors, and the order in
// which the runner sends, waits and expects.
#include "simrun/SerialScript.h"

#include <gtest/gtest.h>

using namespace m51sim;
using Kind = ScriptCommand::Kind;

namespace {

SerialScript Parse(const std::string& text)
{
    return ParseSerialScript(text, "s.txt", WholeFiles([](const std::string& path, std::string& why) -> std::optional<std::string> {
        if (path == "data.bin")
            return std::string("\x01\x02", 2);
        why = "No such file or directory";
        return std::nullopt;
    }));
}

} // namespace

TEST(SerialScript, Escapes)
{
    const struct {
        const char* text;
        const char* bytes;  // nullptr: rejected
    } cases[] = {
        {"AT\\r\\n", "AT\r\n"}, {"\\x41\\x7e", "A~"}, {"a\\\\b", "a\\b"}, {"tab\\t", "tab\t"}, {"plain", "plain"},
        {"\\x4", nullptr},      {"\\xG0", nullptr},   {"end\\", nullptr}, {"\\q", nullptr},
    };
    for (const auto& c : cases) {
        const auto bytes = Unescape(c.text);
        ASSERT_EQ(bytes.has_value(), c.bytes != nullptr) << c.text;
        if (bytes) {
            EXPECT_EQ(*bytes, c.bytes) << c.text;
        }
    }
    EXPECT_EQ(Unescape("\\x00"), std::string(1, '\0'));
}

TEST(SerialScript, CommandsAndErrors)
{
    const SerialScript script = Parse("# a comment\r\n\r\nsend HAL\\r\nsendfile data.bin\n  expect IBM\nwait 1200\n");
    ASSERT_EQ(script.error, "");
    ASSERT_EQ(script.commands.size(), 4u);
    EXPECT_EQ(script.commands[0].kind, Kind::Send);
    EXPECT_EQ(script.commands[0].bytes, "HAL\r");
    EXPECT_EQ(ScriptRunner({script.commands[1]}).poll(0, ""), std::string("\x01\x02", 2));
    EXPECT_EQ(script.commands[2].kind, Kind::Expect);
    EXPECT_EQ(script.commands[2].line, 5);
    EXPECT_EQ(script.commands[3].kind, Kind::Wait);
    EXPECT_EQ(script.commands[3].cycles, 1200u);

    const struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"send A\nfrob 1\n", "s.txt:2: unknown command"},
        {"wait x\n", "s.txt:1: wait needs a number"},
        {"wait\n", "s.txt:1: wait needs a number"},
        {"send\n", "s.txt:1: send needs a text"},
        {"expect \\xZZ\n", "s.txt:1: bad escape"},
        {"sendfile missing.bin\n", "s.txt:1: cannot read missing.bin: No such file"},
    };
    for (const auto& c : bad) {
        const SerialScript parsed = Parse(c.text);
        EXPECT_EQ(parsed.error.rfind(c.error, 0), 0u) << c.text << " -> " << parsed.error;
        EXPECT_TRUE(parsed.commands.empty());
    }
}

// Sends go out at once up to the next expect or wait; an expect is met only
// by text after the previous match; a wait counts from when it is reached.
TEST(SerialScript, RunnerOrder)
{
    ScriptRunner runner(Parse("send A\nsend B\nexpect OK\nsend C\nexpect OK\nwait 100\nsend D\n").commands);
    EXPECT_EQ(runner.poll(0, ""), "AB");
    EXPECT_EQ(runner.current()->kind, Kind::Expect);
    EXPECT_EQ(runner.poll(10, "O"), "");
    EXPECT_EQ(runner.poll(20, "OK"), "C");
    EXPECT_EQ(runner.poll(30, "OK"), "");  // the same OK does not count twice
    EXPECT_EQ(runner.poll(40, "OK\r\nOK"), "");
    EXPECT_EQ(runner.current()->kind, Kind::Wait);
    EXPECT_EQ(runner.poll(139, "OK\r\nOK"), "");
    EXPECT_FALSE(runner.done());
    EXPECT_EQ(runner.poll(140, "OK\r\nOK"), "D");
    EXPECT_TRUE(runner.done());
    EXPECT_EQ(runner.current(), nullptr);
}

// A file goes to the board in pieces while its input runs low, in order with
// the sends around it; a wait after it counts from when it is reached.
TEST(SerialScript, FileFeedsInPieces)
{
    std::string file(20000, '\0');
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<char>(i * 7);
    const FileOpener open = [&file](const std::string&, std::string&) { return std::optional(BytesSource(file)); };
    ScriptRunner runner(ParseSerialScript("send A\nsendfile f\nwait 10\nsend Z\n", "s", open).commands);
    std::string sent = runner.poll(0, "");
    EXPECT_EQ(sent.size(), ScriptRunner::kFeedAhead);
    EXPECT_EQ(runner.current()->kind, Kind::Wait);
    EXPECT_EQ(runner.poll(5, "", ScriptRunner::kFeedLow), "");  // the board holds enough
    size_t polls = 0;
    for (uint64_t cycle = 5; runner.feeding() || !runner.done(); cycle += 5, ++polls)
        sent += runner.poll(cycle, "", 100);
    EXPECT_EQ(sent, "A" + file + "Z");
    EXPECT_LT(polls, 10u);
}
