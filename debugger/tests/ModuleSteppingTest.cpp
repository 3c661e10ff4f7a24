// The assembly program of three modules in examples/modules, built from one
// of them as Zelvar's Debug builds it (BuildAssembly), on the built-in
// simulator: a breakpoint in another module stops there, steps go into and
// out of modules by their own lines.
#include "debugger/tests/EngineHarness.h"
#include "debugger/ProgramBuilder.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

using namespace m51dbg;
using namespace m51dbg::test;

namespace {

const QString kFolder = QStringLiteral(M51_EXAMPLES_DIR "/modules");

// The 0-based line of a module that starts with `text` (after its indentation).
int LineOf(const char* file, const char* text)
{
    QFile f(kFolder + '/' + file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].trimmed().startsWith(text))
            return i;
    return -1;
}

TEST(ModuleStepping, BreakpointsAndStepsAcrossModules)
{
    if (qEnvironmentVariable("M51_SIMULATOR") == QLatin1String("s51"))
        GTEST_SKIP() << "stepped on the built-in simulator";
    QFile main(kFolder + "/main.a51");
    ASSERT_TRUE(main.open(QIODevice::ReadOnly));
    QTemporaryDir out;
    const BuildOutput built = BuildAssembly(main.readAll().toStdString(), kFolder + "/main.a51", out.path());
    ASSERT_TRUE(built.ok) << (built.program.diagnostics.empty() ? "" : built.program.diagnostics[0].message);
    // Linked in the project file's order; the opened module's lines are the map's.
    ASSERT_EQ(built.program.files.size(), 3u);
    EXPECT_EQ(std::filesystem::path(built.program.files[2]).filename(), "delay.a51");
    const toolchain::SourceLine delay{2, LineOf("delay.a51", "Delay:")};
    const toolchain::SourceLine call{1, LineOf("main.a51", "CALL")};
    const toolchain::SourceLine after{1, LineOf("main.a51", "SJMP")};

    DebugEngine engine;
    engine.start(built.program);
    ASSERT_TRUE(WaitForStop(engine));
    ASSERT_EQ(engine.setSourceBreakpoints(delay.file, {delay.line}), std::set<int>{delay.line});
    engine.run();
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(engine.currentLine(), delay);
    engine.setSourceBreakpoints(delay.file, {});
    engine.stepOut();
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(engine.currentLine(), after);

    ASSERT_EQ(engine.runToLine(call).toStdString(), "");
    ASSERT_TRUE(WaitForStop(engine));
    engine.stepInto();
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(engine.currentLine(), delay);
    engine.shutdown();
}

} // namespace
