// C programs built with the installed SDCC into the program model: C lines of
// the source with their addresses, functions, typed variables with their
// storage; SDCC's errors with their lines; debug information older than its
// image left out with a warning.
#include "toolchain/CBuild.h"
#include "toolchain/CdbProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

#ifdef M51_SDCC

namespace {

namespace fs = std::filesystem;
using namespace toolchain;

class CBuildTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() / ("m51-cbuild-" + std::to_string(::getpid()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        fs::copy_file(fs::path(M51_EXAMPLES_DIR) / "c/blink/blink.c", m_folder / "blink.c");
    }
    void TearDown() override { fs::remove_all(m_folder); }

    Program build() const { return CBuild(M51_SDCC).run({{}, (m_folder / "blink.c").string(), "blink.asm"}); }

    fs::path m_folder;
};

TEST_F(CBuildTest, LinesFunctionsAndTypedVariables)
{
    const Program program = build();
    ASSERT_TRUE(program.ok) << (program.diagnostics.empty() ? "" : program.diagnostics[0].message);
    EXPECT_EQ(program.language, Language::C);
    ASSERT_FALSE(program.files.empty());
    EXPECT_EQ(fs::path(program.files[0]).filename(), "blink.c");
    // Line 22 ("LED = 0;") made code, and the code there maps back to it.
    const auto ranges = program.rangesOf(0, 21);
    ASSERT_FALSE(ranges.empty());
    const auto back = program.linesAt(ranges.front().first);
    EXPECT_TRUE(std::find(back.begin(), back.end(), SourceLine{0, 21}) != back.end());

    const Symbol* flashes = program.findSymbol("flashes");
    ASSERT_NE(flashes, nullptr);
    EXPECT_EQ(flashes->storage, Storage::InternalRam);
    EXPECT_EQ(program.types.at(static_cast<size_t>(flashes->type)).name, "unsigned char");
    const auto isMain = [](const Function& f) { return f.name == "main"; };
    const auto main = std::find_if(program.functions.begin(), program.functions.end(), isMain);
    ASSERT_NE(main, program.functions.end());
    EXPECT_GT(main->end, main->start);
    EXPECT_EQ(program.functionAt(main->start), &*main);
}

// The ASM window's text: SDCC's blink.asm, each C line's code on the
// assembly lines under SDCC's ";\tblink.c:N:" comment for that line.
TEST_F(CBuildTest, ModuleAssemblyPlacesEachInstruction)
{
    const Program program = build();
    ASSERT_TRUE(program.ok);
    ASSERT_EQ(program.moduleAssemblies.size(), 1u);
    const ModuleAssembly& module = program.moduleAssemblies[0];
    EXPECT_EQ(fs::path(module.path).filename(), "blink.asm");
    EXPECT_EQ(module.file, 0);
    std::vector<std::string> text;
    std::istringstream in(module.text);
    for (std::string line; std::getline(in, line);)
        text.push_back(line);
    for (const int line : {20, 21, 23, 26}) {
        const auto ranges = program.rangesOf(0, line);
        ASSERT_FALSE(ranges.empty()) << line + 1;
        ASSERT_EQ(program.moduleAssemblyAt(ranges.front().first), &module);
        const auto asmLine = module.map.asmLineAt(ranges.front().first);
        ASSERT_TRUE(asmLine && size_t(*asmLine) < text.size()) << line + 1;
        int comment = *asmLine;
        while (comment > 0 && text[size_t(comment)].rfind(";\tblink.c:", 0) != 0)
            --comment;
        EXPECT_EQ(text[size_t(comment)].rfind(";\tblink.c:" + std::to_string(line + 1) + ":", 0), 0u)
            << line + 1 << ": " << text[size_t(comment)];
    }
    EXPECT_EQ(program.moduleAssemblyAt(0xFFFF), nullptr);
}

TEST_F(CBuildTest, ErrorsStaleDebugInformationAndNoSdcc)
{
    ASSERT_TRUE(build().ok);
    // An image newer than its debug information runs without C lines.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    fs::last_write_time(m_folder / "blink.ihx", fs::file_time_type::clock::now());
    std::ifstream hex(m_folder / "blink.ihx");
    const std::string text((std::istreambuf_iterator<char>(hex)), std::istreambuf_iterator<char>());
    const Program stale = HexBuild({CdbReader()}).run({text, (m_folder / "blink.ihx").string(), "blink.asm"});
    EXPECT_TRUE(stale.ok);
    EXPECT_TRUE(stale.lines.empty());
    ASSERT_EQ(stale.diagnostics.size(), 1u);
    EXPECT_EQ(stale.diagnostics[0].severity, m51::Severity::Warning);

    std::ofstream(m_folder / "blink.c", std::ios::app) << "int broken = ;\n";
    const Program broken = build();
    EXPECT_FALSE(broken.ok);
    EXPECT_FALSE(BuildCouldNotRun(broken));
    ASSERT_FALSE(broken.diagnostics.empty());
    EXPECT_EQ(fs::path(broken.diagnostics[0].file).filename(), "blink.c");
    EXPECT_EQ(broken.diagnostics[0].line, 31);

    const Program missing = CBuild("/nonexistent/sdcc").run({{}, (m_folder / "blink.c").string(), "blink.asm"});
    EXPECT_TRUE(BuildCouldNotRun(missing));
}

} // namespace

#endif
