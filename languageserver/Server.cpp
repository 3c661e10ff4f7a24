#include "languageserver/Server.h"

#include "protocol/BaseProtocol.h"

namespace languageserver {
namespace {

// The protocol's error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kServerNotInitialized = -32002;

std::optional<Range> rangeOf(const Json& change)
{
    if (!change.contains("range"))
        return std::nullopt;
    const Json& r = change.at("range");
    return Range{{r.at("start").at("line").get<int>(), r.at("start").at("character").get<int>()},
                 {r.at("end").at("line").get<int>(), r.at("end").at("character").get<int>()}};
}

} // namespace

Server::Server(Features& features, std::function<void(const std::string&)> send, std::string name, std::string version)
    : features_(features), send_(std::move(send)), name_(std::move(name)), version_(std::move(version))
{
}

void Server::respond(const Json& id, Json result)
{
    send_(Json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Server::fail(const Json& id, int code, const std::string& message)
{
    send_(Json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}}.dump(
        -1, ' ', false, Json::error_handler_t::replace));
}

void Server::publish(const TextDocument& document)
{
    Json diagnostics = Json::array();
    for (Json& d : features_.diagnose(document, documents_))
        diagnostics.push_back(std::move(d));
    send_(Json{{"jsonrpc", "2.0"},
               {"method", "textDocument/publishDiagnostics"},
               {"params", {{"uri", document.uri()}, {"version", document.version()}, {"diagnostics", diagnostics}}}}
              .dump(-1, ' ', false, Json::error_handler_t::replace));
}

bool Server::handle(std::string_view body)
{
    const Json message = Json::parse(body, nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        fail(nullptr, kParseError, "the message is not a JSON object");
        return true;
    }
    const auto method = message.find("method");
    const auto id = message.find("id");
    if (method == message.end() || !method->is_string()) {
        if (id != message.end())
            fail(*id, kInvalidRequest, "a request without a method");
        return true;  // a response to something the server never asks is passed over
    }
    const Json params = message.value("params", Json::object());
    const std::string name = method->get<std::string>();
    if (name == "exit")
        return false;
    try {
        if (id != message.end())
            request(*id, name, params);
        else
            notification(name, params);
    } catch (const Json::exception& e) {
        if (id != message.end())
            fail(*id, kInvalidParams, std::string("the parameters do not fit ") + name + ": " + e.what());
    }
    return true;
}

void Server::request(const Json& id, const std::string& method, const Json& params)
{
    if (method == "initialize") {
        initialized_ = true;
        Json capabilities = features_.capabilities();
        capabilities["textDocumentSync"] = {{"openClose", true}, {"change", 2}};
        respond(id, {{"capabilities", capabilities}, {"serverInfo", {{"name", name_}, {"version", version_}}}});
        return;
    }
    if (!initialized_)
        return fail(id, kServerNotInitialized, "the client has not sent initialize yet");
    if (shutdown_)
        return fail(id, kInvalidRequest, "the server is shutting down");
    if (method == "shutdown") {
        shutdown_ = true;
        return respond(id, nullptr);
    }
    if (auto result = features_.answer(method, params, documents_))
        return respond(id, std::move(*result));
    fail(id, kMethodNotFound, "no such method: " + method);
}

void Server::notification(const std::string& method, const Json& params)
{
    if (!initialized_ || shutdown_)
        return;
    if (method == "textDocument/didOpen") {
        const Json& d = params.at("textDocument");
        publish(documents_.open(TextDocument(d.at("uri").get<std::string>(), d.value("languageId", ""),
                                             d.value("version", 0), d.at("text").get<std::string>())));
        return;
    }
    if (method == "textDocument/didChange") {
        const Json& d = params.at("textDocument");
        TextDocument* document = documents_.get(d.at("uri").get<std::string>());
        if (!document)
            return;
        for (const Json& change : params.at("contentChanges"))
            document->apply(rangeOf(change), change.at("text").get<std::string>(), d.value("version", document->version()));
        publish(*document);
        return;
    }
    if (method == "textDocument/didClose") {
        const std::string uri = params.at("textDocument").at("uri").get<std::string>();
        documents_.close(uri);
        send_(Json{{"jsonrpc", "2.0"},
                   {"method", "textDocument/publishDiagnostics"},
                   {"params", {{"uri", uri}, {"diagnostics", Json::array()}}}}
                  .dump());
    }
}

int Serve(Features& features, const ReadSome& read, std::ostream& out, const std::string& name,
          const std::string& version)
{
    Server server(
        features, [&out](const std::string& body) { out << protocol::Frame(body) << std::flush; }, name, version);
    protocol::FrameReader reader;
    char buffer[65536];
    for (std::size_t got; (got = read(buffer, sizeof buffer)) > 0;) {
        reader.feed(std::string_view(buffer, got));
        for (auto next = reader.next(); next.status != protocol::FrameReader::Status::NeedMore; next = reader.next()) {
            if (next.status == protocol::FrameReader::Status::Message && !server.handle(next.body))
                return server.exitCode();
        }
    }
    return 1;  // the client went away without exit
}

} // namespace languageserver
