// The debug adapter's side of the conversation: sequence numbers, the
// initialize handshake, error responses with reasons, a program that runs
// in slices while the client can still pause it, and a client that goes away.
#include "debugadapter/AdapterSession.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

using debugadapter::Json;
using debugadapter::Reply;

// A program that runs until paused and counts its slices.
class FakeProgram : public debugadapter::Debuggee {
public:
    void setEventSink(EventSink sink) override { sink_ = std::move(sink); }
    Reply request(const std::string& command, const Json& arguments) override
    {
        commands.push_back(command);
        if (command == "continue") {
            running_ = true;
            return Reply::success({{"allThreadsContinued", true}});
        }
        if (command == "pause") {
            running_ = false;
            sink_("stopped", {{"reason", "pause"}, {"threadId", 1}});
            return Reply::success();
        }
        if (command == "evaluate")
            return Reply::success({{"result", arguments.at("expression").get<std::string>() + "=5"}, {"variablesReference", 0}});
        if (command == "disconnect" || command == "launch")
            return Reply::success();
        return Reply::failure("no such request: " + command);
    }
    bool running() const override { return running_; }
    void runSlice() override { ++slices; }

    std::vector<std::string> commands;
    int slices = 0;

private:
    EventSink sink_;
    bool running_ = false;
};

std::vector<Json> Messages(const std::string& stream)
{
    std::vector<Json> out;
    protocol::FrameReader reader;
    reader.feed(stream);
    for (auto next = reader.next(); next.status == protocol::FrameReader::Status::Message; next = reader.next())
        out.push_back(Json::parse(next.body));
    return out;
}

std::string Request(int seq, const std::string& command, Json arguments = Json::object())
{
    return protocol::Frame(Json{{"seq", seq}, {"type", "request"}, {"command", command}, {"arguments", arguments}}.dump());
}

TEST(DebugAdapter, ConversationInOrder)
{
    FakeProgram program;
    // What the client sends, in the turns the adapter reads it.
    std::vector<std::string> turns = {
        Request(1, "launch"),
        // A broken message glued to the next header: both reported, what follows still read.
        Request(2, "initialize", {{"adapterID", "m51"}}) + "{bad",
        "Content-Length: 5\r\n\r\n{bad}" + Request(3, "launch") + Request(4, "continue"),
        "", "", "",  // three turns with nothing: the program runs a slice each
        Request(5, "pause") + Request(6, "evaluate", {{"expression", "count"}}) + Request(7, "stepBack2"),
        Request(8, "disconnect"),
    };
    std::size_t turn = 0;
    std::ostringstream out;
    const int code = debugadapter::Serve(
        program,
        [&](char* buffer, std::size_t size, int) -> long {
            if (turn >= turns.size())
                return -1;
            const std::string& t = turns[turn++];
            const std::size_t n = std::min(size, t.size());
            t.copy(buffer, n);
            return static_cast<long>(n);
        },
        out);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(program.slices, 4);  // the turn with continue, and the three empty ones
    const std::vector<Json> sent = Messages(out.str());
    std::vector<std::string> shape;
    long long seq = 0;
    for (const Json& m : sent) {
        EXPECT_EQ(m["seq"].get<long long>(), ++seq);
        shape.push_back(m["type"] == "event" ? "event " + m["event"].get<std::string>()
                                             : m["command"].get<std::string>() + (m["success"] ? " ok" : " failed"));
    }
    EXPECT_EQ(shape, (std::vector<std::string>{"launch failed", "initialize ok", "event initialized", "event output",
                                               "event output", "launch ok", "continue ok", "event stopped", "pause ok", "evaluate ok",
                                               "stepBack2 failed", "disconnect ok"}));
    EXPECT_EQ(sent[1]["body"]["supportsStepBack"], true);
    EXPECT_EQ(sent[9]["body"]["result"], "count=5");
    EXPECT_EQ(sent[10]["message"], "no such request: stepBack2");
    EXPECT_EQ(sent[10]["request_seq"], 7);
}

TEST(DebugAdapter, ClientGoingAwayEndsTheProgram)
{
    FakeProgram program;
    std::string once = Request(1, "initialize") + Request(2, "continue");
    std::ostringstream out;
    debugadapter::Serve(
        program,
        [&](char* buffer, std::size_t size, int) -> long {
            if (once.empty())
                return -1;
            const std::size_t n = std::min(size, once.size());
            once.copy(buffer, n);
            once.clear();
            return static_cast<long>(n);
        },
        out);
    EXPECT_EQ(program.commands.back(), "disconnect");
}

} // namespace
