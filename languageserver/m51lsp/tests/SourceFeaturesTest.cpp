// m51lsp's answers on small M51 and assembly sources, through the server as
// an editor talks to it.
#include "languageserver/m51lsp/SourceFeatures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

using m51lsp::Json;

const char kM51[] =
    "PROCESOR 51\n"
    "BEGIN\n"
    "STARTPROC MAIN\n"
    "DEFINE LIMIT 10H\n"
    "PROCEDURE MAIN\n"
    "A LIMIT\n"
    "SKIP SHOW ; the display\n"
    "FROBNICATE 3\n"
    "ENDPROC\n"
    "PROCEDURE SHOW\n"
    "ENDPROC\n"
    "END\n";

class Editor {
public:
    Editor() : features_(M51_REGISTERS_DIR), server_(features_, [this](const std::string& body) { sent_.push_back(Json::parse(body)); }, "m51lsp", "1")
    {
        call("initialize", {{"capabilities", Json::object()}});
    }
    Json call(const std::string& method, Json params)
    {
        server_.handle(Json{{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", params}}.dump());
        return sent_.back().value("result", Json());
    }
    // Opens a document; the diagnostics published for it.
    Json open(const std::string& uri, const std::string& language, const std::string& text)
    {
        server_.handle(Json{{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"},
                            {"params", {{"textDocument", {{"uri", uri}, {"languageId", language}, {"version", 1}, {"text", text}}}}}}
                           .dump());
        return sent_.back()["params"]["diagnostics"];
    }
    Json at(const std::string& method, const std::string& uri, int line, int character)
    {
        return call(method, {{"textDocument", {{"uri", uri}}}, {"position", {{"line", line}, {"character", character}}},
                             {"context", {{"includeDeclaration", true}}}});
    }

private:
    m51lsp::SourceFeatures features_;
    std::vector<Json> sent_;
    languageserver::Server server_;
    int id_ = 0;
};

TEST(SourceFeatures, M51DiagnosticsDefinitionsHoverAndCompletion)
{
    Editor editor;
    const std::string uri = "file:///tmp/m51lsp-test/prog.M51";
    const Json diagnostics = editor.open(uri, "m51", kM51);
    ASSERT_FALSE(diagnostics.empty());
    EXPECT_EQ(diagnostics[0]["range"]["start"]["line"], 7);  // FROBNICATE 3
    EXPECT_EQ(diagnostics[0]["source"], "m51c");

    const Json definition = editor.at("textDocument/definition", uri, 6, 6);  // SKIP SHOW
    ASSERT_TRUE(definition.is_array());
    EXPECT_EQ(definition[0]["range"]["start"]["line"], 9);
    EXPECT_EQ(editor.at("textDocument/definition", uri, 5, 3)[0]["range"]["start"]["line"], 3);  // A LIMIT

    EXPECT_EQ(editor.at("textDocument/references", uri, 3, 8).size(), 2u);
    EXPECT_NE(editor.at("textDocument/hover", uri, 6, 1)["contents"]["value"].get<std::string>().find("SKIP"),
              std::string::npos);
    EXPECT_NE(editor.at("textDocument/hover", uri, 5, 4)["contents"]["value"].get<std::string>().find("10H"),
              std::string::npos);
    EXPECT_TRUE(editor.at("textDocument/hover", uri, 6, 12).is_null());  // in the comment: no name

    std::set<std::string> labels;
    const Json completion = editor.at("textDocument/completion", uri, 6, 0);
    for (const Json& item : completion["items"])
        labels.insert(item["label"].get<std::string>());
    for (const char* expected : {"PROCEDURE", "SHOW", "LIMIT", "TMOD", "TR0"})
        EXPECT_TRUE(labels.count(expected)) << expected;

    const Json symbols = editor.call("textDocument/documentSymbol", {{"textDocument", {{"uri", uri}}}});
    EXPECT_EQ(symbols.size(), 3u);
    const Json tokens = editor.call("textDocument/semanticTokens/full", {{"textDocument", {{"uri", uri}}}})["data"];
    EXPECT_EQ(tokens.size() % 5, 0u);
    EXPECT_GT(tokens.size(), 20u);
}

TEST(SourceFeatures, AssemblyNamesAndIncludeFiles)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "m51lsp-asm-test";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "defs.inc") << "; shared\nLED BIT P1.0\nCOUNT EQU 30H\n";
    const std::string source = "$INCLUDE(defs.inc)\n"
                               "        ORG 0\n"
                               "START:  SETB LED\n"
                               "        MOV COUNT,#5\n"
                               "        SJMP START\n"
                               "        MOV A,#\n"
                               "        END\n";
    Editor editor;
    const std::string uri = m51lsp::UriOfPath((folder / "main.asm").string());
    const Json diagnostics = editor.open(uri, "asm8051", source);
    ASSERT_FALSE(diagnostics.empty());
    EXPECT_EQ(diagnostics[0]["range"]["start"]["line"], 5);
    EXPECT_EQ(diagnostics[0]["source"], "m51as");

    EXPECT_EQ(editor.at("textDocument/definition", uri, 4, 14)[0]["range"]["start"]["line"], 2);  // SJMP START
    const Json led = editor.at("textDocument/definition", uri, 2, 14);
    EXPECT_NE(led[0]["uri"].get<std::string>().find("defs.inc"), std::string::npos);
    EXPECT_EQ(led[0]["range"]["start"]["line"], 1);
    EXPECT_NE(editor.at("textDocument/definition", uri, 0, 3)["uri"].get<std::string>().find("defs.inc"),
              std::string::npos);
    EXPECT_NE(editor.at("textDocument/hover", uri, 3, 13)["contents"]["value"].get<std::string>().find("30H"),
              std::string::npos);
    std::filesystem::remove_all(folder);
}

// The client's UTF-8 and UTF-16 columns over code page 1250 names: Czech
// letters (one unit each) and a character beyond 16 bits (two) before a name.
TEST(SourceFeatures, CzechNamesKeepTheClientsColumns)
{
    const std::string source = "POČET   EQU 10H\n"
                               "žluť:   MOV A,#POČET\n"
                               "        DB '😀',POČET\n"
                               "        SJMP žluť\n"
                               "        SETB TR0\n";
    Editor editor;
    const std::string uri = "file:///tmp/m51lsp-test/czech.asm";
    editor.open(uri, "asm8051", source);
    const Json references = editor.at("textDocument/references", uri, 1, 16);
    ASSERT_EQ(references.size(), 3u) << references.dump();
    const int columns[][3] = {{0, 0, 5}, {1, 15, 20}, {2, 16, 21}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(references[i]["range"]["start"]["line"], columns[i][0]);
        EXPECT_EQ(references[i]["range"]["start"]["character"], columns[i][1]);
        EXPECT_EQ(references[i]["range"]["end"]["character"], columns[i][2]);
    }
    const Json definition = editor.at("textDocument/definition", uri, 3, 14);  // SJMP žluť
    ASSERT_TRUE(definition.is_array()) << definition.dump();
    EXPECT_EQ(definition[0]["range"]["start"]["line"], 1);
    EXPECT_EQ(definition[0]["range"]["end"]["character"], 4);
    const Json hover = editor.at("textDocument/hover", uri, 1, 17);
    EXPECT_NE(hover["contents"]["value"].get<std::string>().find("POČET = 10H"), std::string::npos) << hover.dump();
    EXPECT_EQ(hover["range"]["start"]["character"], 15);
    // An SFR bit with its register file's description.
    const std::string bit = editor.at("textDocument/hover", uri, 4, 14)["contents"]["value"];
    EXPECT_NE(bit.find("bit 4 of TCON"), std::string::npos) << bit;
    EXPECT_NE(bit.find("timer 0 run"), std::string::npos) << bit;
}

} // namespace
