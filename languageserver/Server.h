#pragma once
// A language server's conversation with its editor (the Language Server
// Protocol over JSON-RPC): the life cycle (initialize, shutdown, exit), the
// open documents kept in step with the editor's edits, diagnostics published
// after every change, and requests passed to the language's features. Faults
// in what the client sends get the protocol's error responses; none ends the
// server. m51lsp runs this over its standard input and output.

#include "languageserver/Documents.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace languageserver {

using Json = nlohmann::json;

// What one language (M51, 8051 assembly) answers.
class Features {
public:
    virtual ~Features() = default;
    // Added to the server's capabilities in the initialize result.
    virtual Json capabilities() const = 0;
    // The protocol's Diagnostic objects for `document`.
    virtual std::vector<Json> diagnose(const TextDocument& document, const DocumentStore& documents) = 0;
    // The result of a request (textDocument/definition, hover, ...); nothing
    // when the language does not answer `method`.
    virtual std::optional<Json> answer(const std::string& method, const Json& params, const DocumentStore& documents) = 0;
};

class Server {
public:
    Server(Features& features, std::function<void(const std::string&)> send, std::string name, std::string version);

    // One message body from the client. False once the client said exit.
    bool handle(std::string_view body);
    // The exit code the protocol asks for: 0 after shutdown, 1 without it.
    int exitCode() const { return shutdown_ ? 0 : 1; }

    const DocumentStore& documents() const { return documents_; }

private:
    void request(const Json& id, const std::string& method, const Json& params);
    void notification(const std::string& method, const Json& params);
    void publish(const TextDocument& document);
    void respond(const Json& id, Json result);
    void fail(const Json& id, int code, const std::string& message);

    Features& features_;
    std::function<void(const std::string&)> send_;
    std::string name_;
    std::string version_;
    DocumentStore documents_;
    bool initialized_ = false;
    bool shutdown_ = false;
};

// Reads what has arrived from the client (waiting for at least one byte) into
// `buffer`; 0 when the client went away.
using ReadSome = std::function<std::size_t(char* buffer, std::size_t size)>;

// Serves one client until it says exit or goes away; the process's exit code.
int Serve(Features& features, const ReadSome& read, std::ostream& out, const std::string& name,
          const std::string& version);

} // namespace languageserver
