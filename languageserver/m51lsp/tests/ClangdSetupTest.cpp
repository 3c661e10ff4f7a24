// The clangd files of a C project: made where there are none, brought up to
// date where they are m51lsp's, and the user's own left alone.
#include "languageserver/m51lsp/ClangdSetup.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ClangdSetup, WritesItsFilesAndKeepsTheUsers)
{
    const fs::path folder = fs::temp_directory_path() / "m51lsp-clangd-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "main.c") << "void main(void) {}\n";
    std::ofstream(folder / "lib.c") << "int x;\n";

    m51lsp::ClangdFiles files = m51lsp::WriteClangdFiles(folder, "/sdcc/include");
    EXPECT_TRUE(files.error.empty()) << files.error;
    EXPECT_EQ(files.written.size(), 3u);
    const std::string commands = Read(folder / "compile_commands.json");
    EXPECT_NE(commands.find("lib.c"), std::string::npos);
    EXPECT_NE(commands.find("main.c"), std::string::npos);
    const std::string clangd = Read(folder / ".clangd");
    EXPECT_NE(clangd.find("/sdcc/include/mcs51"), std::string::npos);
    EXPECT_NE(clangd.find("sdcc-keywords.h"), std::string::npos);
    EXPECT_NE(Read(folder / ".m51" / "sdcc-keywords.h").find("#define __sbit"), std::string::npos);

    // Again: its own files are rewritten; a .clangd of the user's stays.
    std::ofstream(folder / ".clangd") << "CompileFlags:\n  Add: [-DMINE]\n";
    files = m51lsp::WriteClangdFiles(folder, "/sdcc/include");
    EXPECT_EQ(files.written.size(), 2u);
    ASSERT_EQ(files.kept.size(), 1u);
    EXPECT_EQ(Read(folder / ".clangd"), "CompileFlags:\n  Add: [-DMINE]\n");

    EXPECT_FALSE(m51lsp::WriteClangdFiles(folder / "missing").error.empty());
    fs::remove_all(folder);
}

} // namespace
