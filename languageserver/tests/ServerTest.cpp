// The language server's life cycle, documents kept in step with edits in
// UTF-16 positions, and the protocol's answers to faulty messages.
#include "languageserver/Server.h"

#include "protocol/BaseProtocol.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using languageserver::Json;

// A language that reports one diagnostic per line holding "bad" and answers hover.
class FakeLanguage : public languageserver::Features {
public:
    Json capabilities() const override { return {{"hoverProvider", true}}; }
    std::vector<Json> diagnose(const languageserver::TextDocument& document, const languageserver::DocumentStore&) override
    {
        std::vector<Json> out;
        std::istringstream lines(document.text());
        int number = 0;
        for (std::string line; std::getline(lines, line); ++number)
            if (line.find("bad") != std::string::npos)
                out.push_back({{"range", {{"start", {{"line", number}, {"character", 0}}}, {"end", {{"line", number}, {"character", 3}}}}},
                               {"message", "bad line"}});
        return out;
    }
    std::optional<Json> answer(const std::string& method, const Json&, const languageserver::DocumentStore&) override
    {
        if (method == "textDocument/hover")
            return Json{{"contents", "help"}};
        return std::nullopt;
    }
};

struct Session {
    FakeLanguage language;
    std::vector<Json> sent;
    languageserver::Server server{language, [this](const std::string& body) { sent.push_back(Json::parse(body)); }, "m51lsp", "1"};

    bool send(const Json& message) { return server.handle(message.dump()); }
    Json last() const { return sent.empty() ? Json() : sent.back(); }
};

TEST(LanguageServer, LifeCycleAndFaults)
{
    Session s;
    s.send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "textDocument/hover"}, {"params", Json::object()}});
    EXPECT_EQ(s.last()["error"]["code"], -32002);
    s.send({{"jsonrpc", "2.0"}, {"id", 2}, {"method", "initialize"}, {"params", Json::object()}});
    EXPECT_EQ(s.last()["result"]["capabilities"]["hoverProvider"], true);
    EXPECT_EQ(s.last()["result"]["capabilities"]["textDocumentSync"]["change"], 2);
    EXPECT_TRUE(s.server.handle("{not json"));
    EXPECT_EQ(s.last()["error"]["code"], -32700);
    s.send({{"jsonrpc", "2.0"}, {"id", 3}, {"method", "textDocument/unknown"}});
    EXPECT_EQ(s.last()["error"]["code"], -32601);
    s.send({{"jsonrpc", "2.0"}, {"id", 4}, {"method", "textDocument/hover"}});
    EXPECT_EQ(s.last()["result"]["contents"], "help");
    const std::size_t before = s.sent.size();
    s.send({{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"}, {"params", {{"textDocument", 5}}}});  // malformed notification
    s.send({{"jsonrpc", "2.0"}, {"method", "$/cancelRequest"}, {"params", {{"id", 4}}}});
    EXPECT_EQ(s.sent.size(), before);
    s.send({{"jsonrpc", "2.0"}, {"id", 5}, {"method", "shutdown"}});
    EXPECT_TRUE(s.last()["result"].is_null());
    EXPECT_FALSE(s.send({{"jsonrpc", "2.0"}, {"method", "exit"}}));
    EXPECT_EQ(s.server.exitCode(), 0);
}

TEST(LanguageServer, DocumentsFollowEditsAndPublishDiagnostics)
{
    Session s;
    s.send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", Json::object()}});
    const std::string uri = "file:///p/main.M51";
    s.send({{"jsonrpc", "2.0"},
            {"method", "textDocument/didOpen"},
            {"params", {{"textDocument", {{"uri", uri}, {"languageId", "m51"}, {"version", 1}, {"text", "BEGIN\nčaj 😀 ok\nEND\n"}}}}}});
    EXPECT_EQ(s.last()["method"], "textDocument/publishDiagnostics");
    EXPECT_TRUE(s.last()["params"]["diagnostics"].empty());
    // After the emoji (two UTF-16 units) on line 1: " ok" becomes " bad".
    s.send({{"jsonrpc", "2.0"},
            {"method", "textDocument/didChange"},
            {"params", {{"textDocument", {{"uri", uri}, {"version", 2}}},
                        {"contentChanges", {{{"range", {{"start", {{"line", 1}, {"character", 7}}}, {"end", {{"line", 1}, {"character", 9}}}}},
                                             {"text", "bad"}}}}}}});
    EXPECT_EQ(s.server.documents().find(uri)->text(), "BEGIN\nčaj 😀 bad\nEND\n");
    ASSERT_EQ(s.last()["params"]["diagnostics"].size(), 1u);
    EXPECT_EQ(s.last()["params"]["diagnostics"][0]["range"]["start"]["line"], 1);
    EXPECT_EQ(s.last()["params"]["version"], 2);
    // Positions past the end are clamped, a whole-text change replaces everything.
    s.send({{"jsonrpc", "2.0"},
            {"method", "textDocument/didChange"},
            {"params", {{"textDocument", {{"uri", uri}, {"version", 3}}},
                        {"contentChanges", {{{"range", {{"start", {{"line", 9}, {"character", 0}}}, {"end", {{"line", 99}, {"character", 99}}}}},
                                             {"text", "X"}},
                                            {{"text", "fresh"}}}}}}});
    EXPECT_EQ(s.server.documents().find(uri)->text(), "fresh");
    const languageserver::TextDocument doc("u", "m51", 1, "a😀b\ncd");
    EXPECT_EQ(doc.positionOf(doc.offsetOf({0, 3})), (languageserver::Position{0, 3}));
    EXPECT_EQ(doc.offsetOf({1, 1}), doc.text().find('d'));
}

TEST(LanguageServer, ServesAFramedStream)
{
    FakeLanguage language;
    std::string input = protocol::Frame(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})")
        + "Content-Length: 999999999999\r\n\r\n" + protocol::Frame(R"({"jsonrpc":"2.0","id":2,"method":"shutdown"})")
        + protocol::Frame(R"({"jsonrpc":"2.0","method":"exit"})");
    std::size_t at = 0;
    std::ostringstream out;
    const int code = languageserver::Serve(
        language,
        [&](char* buffer, std::size_t size) {
            const std::size_t n = std::min<std::size_t>({size, 5, input.size() - at});
            input.copy(buffer, n, at);
            at += n;
            return n;
        },
        out, "m51lsp", "1");
    // The over-long message swallows what follows it up to its length, so
    // shutdown never arrives: the server ends when the input does, with 1.
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.str().find("\"capabilities\""), std::string::npos);
}

} // namespace
