#include "debugadapter/AdapterSession.h"

namespace debugadapter {
namespace {

std::string dump(const Json& message)
{
    return message.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace

Json Capabilities()
{
    return {
        {"supportsConfigurationDoneRequest", true},
        {"supportsFunctionBreakpoints", true},
        {"supportsConditionalBreakpoints", true},
        {"supportsHitConditionalBreakpoints", true},
        {"supportsEvaluateForHovers", true},
        {"supportsStepBack", true},
        {"supportsGotoTargetsRequest", true},
        {"supportsSetVariable", true},
        {"supportsRestartRequest", true},
        {"supportsTerminateRequest", true},
        {"supportsReadMemoryRequest", true},
        {"supportsWriteMemoryRequest", true},
        {"supportsDisassembleRequest", true},
        {"supportsInstructionBreakpoints", true},
        {"supportsSteppingGranularity", false},
    };
}

Session::Session(Debuggee& debuggee, std::function<void(const std::string&)> send)
    : debuggee_(debuggee), send_(std::move(send))
{
    debuggee_.setEventSink([this](const std::string& name, Json body) { event(name, std::move(body)); });
}

void Session::event(const std::string& name, Json body)
{
    send_(dump({{"seq", ++seq_}, {"type", "event"}, {"event", name}, {"body", std::move(body)}}));
}

void Session::respond(const Json& request, const Reply& reply)
{
    Json response{{"seq", ++seq_},
                  {"type", "response"},
                  {"request_seq", request.value("seq", 0)},
                  {"command", request.value("command", "")},
                  {"success", reply.ok}};
    if (reply.ok) {
        response["body"] = reply.body;
    } else {
        response["message"] = reply.error;
        response["body"] = {{"error", {{"id", 1}, {"format", reply.error}, {"showUser", true}}}};
    }
    send_(dump(response));
}

void Session::fault(const std::string& what)
{
    event("output", {{"category", "stderr"}, {"output", "m51sim: " + what + " was passed over\n"}});
}

bool Session::handle(std::string_view body)
{
    const Json message = Json::parse(body, nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        fault("a message that is not a JSON object");
        return true;
    }
    if (message.value("type", "") != "request" || !message.contains("command") || !message["command"].is_string()) {
        if (message.value("type", "") == "request")
            respond(message, Reply::failure("a request without a command"));
        return true;
    }
    const std::string command = message["command"].get<std::string>();
    const Json arguments = message.contains("arguments") && message["arguments"].is_object() ? message["arguments"]
                                                                                             : Json::object();
    if (command == "initialize") {
        respond(message, Reply::success(Capabilities()));
        if (!initialized_)
            event("initialized", Json::object());
        initialized_ = true;
        return true;
    }
    if (!initialized_) {
        respond(message, Reply::failure("the client has not sent initialize yet"));
        return true;
    }
    Reply reply;
    try {
        reply = debuggee_.request(command, arguments);
    } catch (const Json::exception& e) {
        reply = Reply::failure("the arguments of " + command + " do not fit: " + e.what());
    }
    respond(message, reply);
    return !(command == "disconnect" && reply.ok);
}

int Serve(Debuggee& debuggee, const ReadWithin& read, std::ostream& out)
{
    Session session(debuggee, [&out](const std::string& body) { out << protocol::Frame(body) << std::flush; });
    protocol::FrameReader reader;
    char buffer[65536];
    for (;;) {
        const long got = read(buffer, sizeof buffer, debuggee.running() ? 0 : -1);
        if (got < 0) {
            debuggee.request("disconnect", Json::object());  // the client went away: end the program
            return 0;
        }
        reader.feed(std::string_view(buffer, static_cast<std::size_t>(got)));
        for (auto next = reader.next(); next.status != protocol::FrameReader::Status::NeedMore; next = reader.next()) {
            if (next.status == protocol::FrameReader::Status::Error) {
                session.fault(next.error);
                continue;
            }
            if (!session.handle(next.body))
                return 0;
        }
        if (debuggee.running())
            debuggee.runSlice();
    }
}

} // namespace debugadapter
