#pragma once
// The debug adapter's conversation with an editor (the Debug Adapter
// Protocol): requests answered in order with their sequence numbers, the
// capabilities announced at initialize and the initialized event after it,
// events from the program under debug, and an error response with its reason
// for every request the program cannot serve. The session runs the program
// in short slices between reading the client, so that pause, a new
// breakpoint or disconnect are heard while it runs, with no second thread.

#include "protocol/BaseProtocol.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace debugadapter {

using Json = nlohmann::json;

// A request's outcome: the response body, or the reason it failed.
struct Reply {
    bool ok = true;
    Json body = Json::object();
    std::string error;

    static Reply success(Json body = Json::object()) { return Reply{true, std::move(body), {}}; }
    static Reply failure(std::string reason) { return Reply{false, Json::object(), std::move(reason)}; }
};

// The program under debug, as the adapter drives it.
class Debuggee {
public:
    using EventSink = std::function<void(const std::string& event, Json body)>;
    virtual ~Debuggee() = default;

    // Where the debuggee sends its events (stopped, output, terminated, exited).
    virtual void setEventSink(EventSink sink) = 0;
    // Every request but initialize; an unknown command fails with its reason.
    virtual Reply request(const std::string& command, const Json& arguments) = 0;
    // True while the program runs free and wants `runSlice` called.
    virtual bool running() const = 0;
    // Runs the program for a short while (about a millisecond of host time).
    virtual void runSlice() = 0;
};

// The capabilities the adapter announces.
Json Capabilities();

class Session {
public:
    Session(Debuggee& debuggee, std::function<void(const std::string&)> send);

    // One message body from the client. False once the session has ended
    // (disconnect answered).
    bool handle(std::string_view body);
    // A fault in the client's stream, told to the user in the debug console.
    void fault(const std::string& what);

private:
    void respond(const Json& request, const Reply& reply);
    void event(const std::string& name, Json body);

    Debuggee& debuggee_;
    std::function<void(const std::string&)> send_;
    long long seq_ = 0;
    bool initialized_ = false;
};

// Waits up to `timeoutMs` (-1: without end) for bytes from the client and
// reads what has come into `buffer`. Returns the count, 0 when nothing came
// in time, or -1 when the client went away.
using ReadWithin = std::function<long(char* buffer, std::size_t size, int timeoutMs)>;

// Serves one client until it disconnects or goes away; the exit code.
int Serve(Debuggee& debuggee, const ReadWithin& read, std::ostream& out);

} // namespace debugadapter
