// A C program of two files on the built-in simulator, stepped by C line:
// breakpoints in either file, steps over, into and out of functions across
// the files, and a step into SDCC's library (no C lines) stepping over it.
#include "debugger/tests/EngineHarness.h"
#include "toolchain/CBuild.h"

#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

using namespace m51dbg;
using namespace m51dbg::test;

#ifdef M51_SDCC

namespace {

namespace fs = std::filesystem;

class CStepping : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariable("M51_SIMULATOR") == QLatin1String("s51"))
            GTEST_SKIP() << "C programs are stepped on the built-in simulator";
        m_folder = fs::temp_directory_path() / ("m51-cstep-" + std::to_string(::getpid()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        for (const char* name : {"main.c", "stats.c", "stats.h", "twofiles.m51proj"})
            fs::copy_file(fs::path(M51_EXAMPLES_DIR) / "c/twofiles" / name, m_folder / name);
        toolchain::Program built =
            toolchain::CBuild(M51_SDCC).run({{}, (m_folder / "twofiles.m51proj").string(), "twofiles.asm"});
        ASSERT_TRUE(built.ok) << (built.diagnostics.empty() ? "" : built.diagnostics.front().message);
        m_program = Program(std::move(built), QString::fromStdString((m_folder / "build/twofiles.ihx").string()));
        m_engine.start(m_program);
        ASSERT_TRUE(WaitForStop(m_engine));
    }
    void TearDown() override
    {
        m_engine.shutdown();
        fs::remove_all(m_folder);
    }

    int fileIndex(const char* name) const
    {
        for (size_t i = 0; i < m_program.files.size(); ++i)
            if (fs::path(m_program.files[i]).filename() == name)
                return int(i);
        return -1;
    }
    // The 0-based line of a file of the example that starts with `text` (after its indentation).
    int lineOf(const char* file, const char* text) const
    {
        QFile f(QString::fromStdString((m_folder / file).string()));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i].trimmed().startsWith(text))
                return i;
        return -1;
    }
    toolchain::SourceLine here() const { return m_engine.currentLine().value_or(toolchain::SourceLine{-1, -1}); }
    toolchain::SourceLine at(const char* file, const char* text) const { return {fileIndex(file), lineOf(file, text)}; }

    fs::path m_folder;
    Program m_program;
    DebugEngine m_engine;
};

TEST_F(CStepping, BreakpointsAndStepsByCLineAcrossTwoFiles)
{
    const auto call = at("main.c", "stats_add(&result");
    const auto count = at("stats.c", "s->count++");
    const auto compare = at("stats.c", "if (value > s->max)");
    const auto mean = at("stats.c", "s->mean +=");
    ASSERT_GE(count.file, 0);
    ASSERT_NE(count.file, call.file);
    // The sources are named where they are, not in the build folder beside the image.
    EXPECT_EQ(fs::path(m_program.files[size_t(count.file)]), (m_folder / "stats.c").lexically_normal());

    // A breakpoint in the second file stops there.
    ASSERT_EQ(m_engine.setSourceBreakpoints(count.file, {count.line}), std::set<int>{count.line});
    m_engine.run();
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(here(), count);
    m_engine.setSourceBreakpoints(count.file, {});

    // Over the line to the next one of the same file, then over the comparison
    // (to the assignment or, when it is not taken, the mean).
    m_engine.stepLine();
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(here(), compare);
    m_engine.stepLine();
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_TRUE(here() == at("stats.c", "s->max = value") || here() == mean) << here().line + 1;

    // Into the mean's line: its float arithmetic calls SDCC's library, which
    // has no C lines; the step goes over it to the next C line of the function.
    ASSERT_EQ(m_engine.runToLine(mean).toStdString(), "");
    ASSERT_TRUE(WaitForStop(m_engine));
    ASSERT_EQ(here(), mean);
    m_engine.stepInto();
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(here().file, mean.file);
    EXPECT_GT(here().line, mean.line);

    // Out of stats_add, back to main.c; then into it again from the call.
    m_engine.stepOut();
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(here().file, call.file);
    ASSERT_EQ(m_engine.runToLine(call).toStdString(), "");
    ASSERT_TRUE(WaitForStop(m_engine));
    m_engine.stepInto();
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(here().file, count.file);
    EXPECT_LE(here().line, count.line);

    // Step back returns to the call's line in the first file.
    if (m_engine.canStepBack()) {
        m_engine.stepBack();
        ASSERT_TRUE(WaitForStop(m_engine));
        EXPECT_EQ(here(), call);
    }
}

} // namespace

#else

TEST(CStepping, NeedsSdcc) { GTEST_SKIP() << "sdcc is not installed"; }

#endif
