// The debug adapter on a sample program, as an editor drives it: requests
// through the session, the program run in slices until it stops.
#include "debugger/dap/CoreDebuggee.h"

#include "sim/Machine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

namespace {

using debugadapter::Json;

const std::string kLoops = M51_EXAMPLES_DIR "/loops.M51";

class Client {
public:
    Client() : session_(debuggee_, [this](const std::string& body) { sent_.push_back(Json::parse(body)); }) {}

    Json request(const std::string& command, Json arguments = Json::object())
    {
        mark_ = sent_.size();
        const Json message{{"seq", ++seq_}, {"type", "request"}, {"command", command}, {"arguments", arguments}};
        session_.handle(message.dump());
        for (auto it = sent_.rbegin(); it != sent_.rend(); ++it)
            if ((*it)["type"] == "response" && (*it)["request_seq"] == seq_)
                return *it;
        return Json();
    }
    // Runs the program until it stops; the stopped event's body.
    Json waitStopped(int slices = 20000)
    {
        const size_t from = mark_;
        for (int i = 0; i < slices && debuggee_.running(); ++i)
            debuggee_.runSlice();
        for (size_t i = from; i < sent_.size(); ++i)
            if (sent_[i]["type"] == "event" && sent_[i]["event"] == "stopped")
                return sent_[i]["body"];
        return Json();
    }
    int topLine() { return request("stackTrace")["body"]["stackFrames"][0].value("line", -1); }
    std::string value(const std::string& expression)
    {
        const Json r = request("evaluate", {{"expression", expression}});
        return r.value("success", false) ? r["body"].value("result", "") : "error: " + r.value("message", "");
    }
    bool hasEvent(const std::string& name) const
    {
        for (const Json& m : sent_)
            if (m["type"] == "event" && m["event"] == name)
                return true;
        return false;
    }
    void launch(Json extra = Json::object())
    {
        request("initialize", {{"adapterID", "m51"}});
        Json arguments{{"program", kLoops}};
        arguments.update(extra);
        ASSERT_TRUE(request("launch", arguments)["success"]);
    }
    debugadapter::Debuggee& debuggee() { return debuggee_; }
    // Every output event's text of `category` so far.
    std::string output(const std::string& category) const
    {
        std::string text;
        for (const Json& m : sent_)
            if (m["type"] == "event" && m["event"] == "output" && m["body"]["category"] == category)
                text += m["body"]["output"].get<std::string>();
        return text;
    }

private:
    m51dap::CoreDebuggee debuggee_;
    std::vector<Json> sent_;
    debugadapter::Session session_;
    int seq_ = 0;
    size_t mark_ = 0;  // the messages since the last request
};

Json Lines(std::initializer_list<int> lines)
{
    Json list = Json::array();
    for (int line : lines)
        list.push_back({{"line", line}});
    return {{"source", {{"path", kLoops}}}, {"breakpoints", list}};
}

TEST(CoreDebuggee, BreakpointStepBackAndContinueOnAnM51Line)
{
    Client client;
    client.launch();
    EXPECT_TRUE(client.hasEvent("initialized"));
    // Line 31 is a comment: the breakpoint goes to the next line with code.
    const Json placed = client.request("setBreakpoints", Lines({33, 31}))["body"]["breakpoints"];
    EXPECT_TRUE(placed[0]["verified"]);
    EXPECT_EQ(placed[1]["line"], 32);
    client.request("setBreakpoints", Lines({33}));
    client.request("configurationDone");
    Json stopped = client.waitStopped();
    EXPECT_EQ(stopped["reason"], "breakpoint");
    EXPECT_EQ(client.topLine(), 33);
    EXPECT_EQ(client.value("iram[40]"), "00");

    // Stepping over LOOP1 TICK runs the procedure ten times (the loop comes
    // back to the line's start: without the breakpoint there).
    client.request("setBreakpoints", Lines({}));
    client.request("next");
    EXPECT_EQ(client.waitStopped()["reason"], "step");
    EXPECT_EQ(client.topLine(), 34);
    EXPECT_EQ(client.value("iram[40]"), "0A");

    EXPECT_TRUE(client.request("stepBack")["success"]);
    EXPECT_EQ(client.topLine(), 33);
    EXPECT_EQ(client.value("iram[40]"), "00");

    // Forward again replays the same run; the program then runs on until paused.
    client.request("next");
    client.waitStopped();
    EXPECT_EQ(client.value("iram[40]"), "0A");
    client.request("continue");
    for (int i = 0; i < 3; ++i)  // not past the reach of stepping back
        client.debuggee().runSlice();
    client.request("pause");
    EXPECT_EQ(client.waitStopped()["reason"], "pause");
    EXPECT_EQ(client.value("iram[45]"), "05");

    // Back to the breakpoint in reverse.
    client.request("setBreakpoints", Lines({33}));
    client.request("reverseContinue");
    EXPECT_EQ(client.topLine(), 33);
    EXPECT_EQ(client.value("iram[40]"), "09");  // the loop's last pass
}

// goto moves the PC within the current procedure; stepping back and forward
// again replays the move.
TEST(CoreDebuggee, GotoALineOfTheCurrentProcedure)
{
    Client client;
    client.launch();
    client.request("setBreakpoints", Lines({33}));
    client.request("configurationDone");
    client.waitStopped();
    auto targets = [&](int line) {
        return client.request("gotoTargets", {{"source", {{"path", kLoops}}}, {"line", line}});
    };
    const Json inProcedure = targets(97);  // INCADR 40H in TICK
    EXPECT_FALSE(inProcedure["success"]);
    EXPECT_NE(inProcedure.value("message", "").find("TICK"), std::string::npos) << inProcedure.dump();
    EXPECT_FALSE(targets(31)["success"]);  // a comment: no code
    const Json found = targets(36)["body"]["targets"];
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]["line"], 36);
    EXPECT_FALSE(client.request("goto", {{"threadId", 1}, {"targetId", 0x10001}})["success"]);
    ASSERT_TRUE(client.request("goto", {{"threadId", 1}, {"targetId", found[0]["id"]}})["success"]);
    EXPECT_EQ(client.waitStopped()["reason"], "goto");
    EXPECT_EQ(client.topLine(), 36);

    EXPECT_TRUE(client.request("stepBack")["success"]);
    EXPECT_EQ(client.topLine(), 32);
    client.request("next");
    client.waitStopped();
    EXPECT_EQ(client.topLine(), 36);
    client.request("next");
    client.waitStopped();
    EXPECT_EQ(client.topLine(), 37);
    EXPECT_EQ(client.value("iram[40]"), "00");  // the loop of line 33 never ran
    EXPECT_EQ(client.value("A"), "04");
}

TEST(CoreDebuggee, FunctionBreakpointsWithHitCountsAndConditions)
{
    const struct {
        Json breakpoint;
        const char* count;  // iram[40] when it stops
    } cases[] = {
        {{{"name", "tick"}}, "00"},
        {{{"name", "TICK"}, {"hitCondition", "3"}}, "02"},
        {{{"name", "TICK"}, {"hitCondition", ">= 5"}}, "04"},
        {{{"name", "TICK"}, {"condition", "iram[40] = 7"}}, "07"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.breakpoint.dump());
        Client client;
        client.launch();
        const Json placed = client.request("setFunctionBreakpoints", {{"breakpoints", {c.breakpoint}}});
        EXPECT_TRUE(placed["body"]["breakpoints"][0]["verified"]);
        client.request("configurationDone");
        EXPECT_EQ(client.waitStopped()["reason"], "breakpoint");
        EXPECT_EQ(client.value("iram[40]"), c.count);
        EXPECT_EQ(client.request("stackTrace")["body"]["stackFrames"][0]["name"], "TICK");
    }
    Client client;
    client.launch();
    const Json unknown = client.request("setFunctionBreakpoints", {{"breakpoints", {{{"name", "NOWHERE"}}}}});
    EXPECT_FALSE(unknown["body"]["breakpoints"][0]["verified"]);
    const Json bad = client.request("setFunctionBreakpoints", {{"breakpoints", {{{"name", "TICK"}, {"condition", "A <"}}}}});
    EXPECT_FALSE(bad["body"]["breakpoints"][0]["verified"]);
}

TEST(CoreDebuggee, ViewsOfTheStoppedMachine)
{
    Client client;
    client.launch({{"stopOnEntry", true}});
    client.request("configurationDone");
    EXPECT_EQ(client.waitStopped()["reason"], "entry");
    EXPECT_EQ(client.value("PC"), "0000");
    EXPECT_EQ(client.value("SP"), "07");
    EXPECT_EQ(client.value("nothing").rfind("error: ", 0), 0u);

    const Json scopes = client.request("scopes", {{"frameId", 1}})["body"]["scopes"];
    ASSERT_EQ(scopes.size(), 4u);
    const Json registers = client.request("variables", {{"variablesReference", scopes[2]["variablesReference"]}});
    EXPECT_EQ(registers["body"]["variables"][0]["name"], "A");
    EXPECT_TRUE(client.request("setVariable", {{"variablesReference", scopes[2]["variablesReference"]},
                                              {"name", "A"}, {"value", "2CH"}})["success"]);
    EXPECT_EQ(client.value("A"), "2C");
    EXPECT_FALSE(client.request("setVariable", {{"variablesReference", 3}, {"name", "A"}, {"value", "x"}})["success"]);

    // Memory by space, written and read back in base64.
    EXPECT_TRUE(client.request("writeMemory", {{"memoryReference", "iram:0x40"}, {"data", "AQID"}})["success"]);
    EXPECT_EQ(client.request("readMemory", {{"memoryReference", "iram"}, {"offset", 0x40}, {"count", 3}})["body"]["data"],
              "AQID");
    const Json tail = client.request("readMemory", {{"memoryReference", "iram:0xFE"}, {"count", 4}})["body"];
    EXPECT_EQ(tail["unreadableBytes"], 2);
    EXPECT_FALSE(client.request("writeMemory", {{"memoryReference", "iram:0xFF"}, {"data", "AQID"}})["success"]);

    const Json code = client.request("disassemble", {{"memoryReference", "code:0x0000"}, {"instructionCount", 3},
                                                     {"instructionOffset", -1}})["body"]["instructions"];
    ASSERT_EQ(code.size(), 3u);
    EXPECT_EQ(code[1]["address"], "0x0000");
    EXPECT_EQ(code[0]["presentationHint"], "invalid");
    EXPECT_FALSE(code[1]["instruction"].get<std::string>().empty());

    const Json threads = client.request("threads")["body"]["threads"];
    EXPECT_EQ(threads.size(), 1u);
    const Json unknown = client.request("frobnicate");
    EXPECT_FALSE(unknown["success"]);
    EXPECT_NE(unknown["message"].get<std::string>().find("frobnicate"), std::string::npos);
}

TEST(CoreDebuggee, LaunchFailuresSayWhy)
{
    const Json cases[] = {
        Json::object(),
        {{"program", "/nonexistent/x.M51"}},
        {{"program", kLoops}, {"chip", "Z80"}},
        {{"program", kLoops}, {"serial", "modem"}},
        {{"program", 42}},
    };
    for (const Json& arguments : cases) {
        Client client;
        client.request("initialize");
        const Json reply = client.request("launch", arguments);
        EXPECT_FALSE(reply["success"]) << arguments.dump();
        EXPECT_FALSE(reply.value("message", "").empty());
        EXPECT_FALSE(client.request("next")["success"]);
    }
}

// A broken stream ends or is passed over; the adapter neither crashes nor waits for ever.
TEST(CoreDebuggee, ServesABrokenStreamToItsEnd)
{
    const std::string huge = "Content-Length: 99999999999\r\n\r\n{}";
    const std::string junk = "Content-Length: 5\r\n\r\n{oops";
    const std::string request = R"({"seq":1,"type":"request","command":"initialize"})";
    const std::string stream = junk + huge + "garbage without a header\r\n\r\n" + "Content-Length: "
                               + std::to_string(request.size()) + "\r\n\r\n" + request;
    size_t at = 0;
    const debugadapter::ReadWithin read = [&](char* buffer, std::size_t size, int) -> long {
        if (at >= stream.size())
            return -1;  // the client went away
        const size_t n = std::min(size, stream.size() - at);
        stream.copy(buffer, n, at);
        at += n;
        return static_cast<long>(n);
    };
    m51dap::CoreDebuggee debuggee;
    std::ostringstream out;
    EXPECT_EQ(debugadapter::Serve(debuggee, read, out), 0);
}

} // namespace

namespace {

// A C program (SDCC): its variables as C reads them, set from the editor, and a C condition.
TEST(CoreDebuggee, CProgramValuesAndConditions)
{
    if (std::system("sdcc --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "SDCC is not installed";
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "m51dap-c-test";
    std::filesystem::remove_all(folder);
    std::filesystem::copy(M51_EXAMPLES_DIR "/c/timer", folder, std::filesystem::copy_options::recursive);
    const std::string program = (folder / "timer.c").string();

    Client client;
    client.request("initialize");
    const Json launched = client.request("launch", {{"program", program}});
    ASSERT_TRUE(launched["success"]) << launched.dump();
    const Json line{{"source", {{"path", program}}}, {"breakpoints", {{{"line", 20}, {"condition", "ticks == 3"}}}}};
    EXPECT_TRUE(client.request("setBreakpoints", line)["body"]["breakpoints"][0]["verified"]);
    client.request("configurationDone");
    EXPECT_EQ(client.waitStopped()["reason"], "breakpoint");
    EXPECT_EQ(client.value("ticks"), "3");
    EXPECT_EQ(client.value("ticks + 1"), "4");

    const Json globals = client.request("variables", {{"variablesReference", 2}})["body"]["variables"];
    bool listed = false;
    for (const Json& variable : globals)
        listed = listed || (variable["name"] == "ticks" && variable["value"] == "3");
    EXPECT_TRUE(listed) << globals.dump();
    EXPECT_TRUE(client.request("setVariable", {{"variablesReference", 2}, {"name", "ticks"}, {"value", "40"}})["success"]);
    EXPECT_EQ(client.value("ticks"), "40");
    EXPECT_EQ(client.value("SP").size(), 2u);  // registers as m51sim prints them
    std::filesystem::remove_all(folder);
}

// A caller selected in the call stack: its own locals, and expressions in its function.
TEST(CoreDebuggee, LocalsOfACallerFrame)
{
    if (std::system("sdcc --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "SDCC is not installed";
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "m51dap-frames-test";
    std::filesystem::remove_all(folder);
    std::filesystem::copy(M51_EXAMPLES_DIR "/c/twofiles", folder, std::filesystem::copy_options::recursive);
    Client client;
    client.request("initialize");
    const Json launched = client.request("launch", {{"program", (folder / "twofiles.m51proj").string()}});
    ASSERT_TRUE(launched["success"]) << launched.dump();
    client.request("setFunctionBreakpoints", {{"breakpoints", {{{"name", "stats_add"}, {"hitCondition", "3"}}}}});
    client.request("configurationDone");
    ASSERT_EQ(client.waitStopped()["reason"], "breakpoint");
    const Json frames = client.request("stackTrace")["body"]["stackFrames"];
    ASSERT_GE(frames.size(), 2u);
    EXPECT_NE(frames[1]["name"].get<std::string>().find("main"), std::string::npos);
    auto localNames = [&](int frameId) {
        const Json scopes = client.request("scopes", {{"frameId", frameId}})["body"]["scopes"];
        const Json variables = client.request("variables", {{"variablesReference", scopes[0]["variablesReference"]}});
        std::string names;
        for (const Json& v : variables["body"]["variables"])
            names += v["name"].get<std::string>() + " ";
        return names;
    };
    EXPECT_NE(localNames(1).find("value"), std::string::npos);
    const std::string callers = localNames(frames[1]["id"]);
    EXPECT_NE(callers.find("i "), std::string::npos) << callers;
    EXPECT_EQ(callers.find("value"), std::string::npos) << callers;
    // The same name in the innermost frame and in the caller.
    EXPECT_TRUE(client.request("evaluate", {{"expression", "value"}, {"frameId", 1}})["success"]);
    EXPECT_FALSE(client.request("evaluate", {{"expression", "value"}, {"frameId", frames[1]["id"]}})["success"]);
    EXPECT_EQ(client.request("evaluate", {{"expression", "result.count"}, {"frameId", frames[1]["id"]}})["body"]["result"],
              "2");
    EXPECT_FALSE(client.request("scopes", {{"frameId", 99}})["success"]);
    std::filesystem::remove_all(folder);
}

// A program of assembly modules launched from its project file: it stops
// on a line of another module, which the stack names.
TEST(CoreDebuggee, AssemblyProjectStopsInEveryModule)
{
    const std::string delay = M51_EXAMPLES_DIR "/modules/delay.a51";
    Client client;
    client.request("initialize");
    const Json launched = client.request("launch", {{"program", M51_EXAMPLES_DIR "/modules/modules.a51proj"}});
    ASSERT_TRUE(launched["success"]) << launched.dump();
    const Json placed = client.request("setBreakpoints", {{"source", {{"path", delay}}}, {"breakpoints", {{{"line", 8}}}}});
    EXPECT_TRUE(placed["body"]["breakpoints"][0]["verified"]);
    client.request("configurationDone");
    ASSERT_EQ(client.waitStopped()["reason"], "breakpoint");
    const Json top = client.request("stackTrace")["body"]["stackFrames"][0];
    EXPECT_EQ(top["line"], 8);
    EXPECT_EQ(std::filesystem::path(top["source"]["path"].get<std::string>()).filename(), "delay.a51");
    EXPECT_EQ(client.value("A"), "03");
}

} // namespace

namespace {

// The serial port in the debug console ("send TEXT") and on a pseudo-terminal.
TEST(CoreDebuggee, SerialPortInTheConsoleAndOnAPseudoTerminal)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "m51dap-echo.asm";
    std::ofstream(file) << "        ORG 0\n        MOV SCON,#50H\n        MOV TMOD,#20H\n        MOV TH1,#0FDH\n"
                           "        SETB TR1\nLOOP:   JNB RI,LOOP\n        CLR RI\n        MOV A,SBUF\n"
                           "        MOV SBUF,A\nWAIT:   JNB TI,WAIT\n        CLR TI\n        SJMP LOOP\n        END\n";
    {
        Client client;
        client.launch({{"program", file.string()}});
        client.request("configurationDone");
        client.request("evaluate", {{"expression", "send hi\\r"}, {"context", "repl"}});
        for (int i = 0; i < 20; ++i)
            client.debuggee().runSlice();
        EXPECT_EQ(client.output("stdout"), "hi\r");
    }
    Client client;
    client.launch({{"program", file.string()}, {"serial", "pty"}});
    const std::string said = client.output("console");
    const size_t at = said.find("/dev/");
    ASSERT_NE(at, std::string::npos) << said;
    const std::string path = said.substr(at, said.find(' ', at) - at);
    const int terminal = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(terminal, 0) << path;
    ASSERT_EQ(::write(terminal, "ok", 2), 2);
    client.request("configurationDone");
    std::string echoed;
    char buffer[16];
    for (int i = 0; i < 200 && echoed.size() < 2; ++i) {
        client.debuggee().runSlice();
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n > 0)
            echoed.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(echoed, "ok");
    ::close(terminal);
    std::filesystem::remove(file);
}

} // namespace
