// Debugging M51 programs by their source lines: the samples and the test
// programs built in memory and run in the real s51.
#include "debugger/tests/EngineHarness.h"
#include "debugger/ProgramBuilder.h"

#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace m51dbg;
using namespace m51dbg::test;
using Cause = DebugEngine::StopCause;

namespace {

class Sample : public ::testing::Test {
protected:
    // Builds and starts a program; false on any trouble.
    bool Load(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        m_source = bytes.toStdString();
        const BuildOutput built = BuildM51(m_source, path, m_dir.path());
        for (const QString& error : built.messages())
            ADD_FAILURE() << error.toStdString();
        if (!built.ok)
            return false;
        m_engine.start(built.program);
        return WaitForStop(m_engine);
    }
    // The 0-based index of the first line that begins with `text`.
    int Line(const std::string& text) const
    {
        int index = 0;
        size_t at = 0;
        while (at < m_source.size()) {
            if (m_source.compare(at, text.size(), text) == 0)
                return index;
            at = m_source.find('\n', at);
            if (at == std::string::npos)
                break;
            ++at;
            ++index;
        }
        ADD_FAILURE() << "no line " << text;
        return -1;
    }
    int Current() const { return m_engine.currentSourceLine().value_or(-1); }
    // Runs one engine command to its stop.
    template <typename F>
    Cause Do(F command)
    {
        Cause cause{};
        command();
        EXPECT_EQ(WaitForStopReason(m_engine, 5000, &cause).toStdString(), "");
        return cause;
    }

    QTemporaryDir m_dir;
    DebugEngine m_engine;
    std::string m_source;
};

const QString Examples = QStringLiteral(M51_EXAMPLES_DIR);
const QString Programs = QStringLiteral(M51_TEST_PROGRAMS_DIR);

} // namespace

TEST_F(Sample, BreakpointInsideALoopStopsEveryPass)
{
    ASSERT_TRUE(Load(Examples + "/loops.M51"));
    const int tick = Line("INCADR 40H");
    // A breakpoint on the PROCEDURE line goes to its first statement.
    EXPECT_EQ(m_engine.setSourceBreakpoints({Line("PROCEDURE TICK\n") >= 0 ? tick - 1 : tick}), std::set<int>{tick});
    EXPECT_EQ(Do([&] { m_engine.run(); }), Cause::Breakpoint);
    EXPECT_EQ(Current(), tick);
    const uint8_t before = m_engine.machine().iram[0x40];
    EXPECT_EQ(Do([&] { m_engine.run(); }), Cause::Breakpoint);
    EXPECT_EQ(Current(), tick);
    EXPECT_EQ(m_engine.machine().iram[0x40], before + 1);
}

TEST_F(Sample, StepOverACountedLoopAndIntoAndOutOfItsProcedure)
{
    ASSERT_TRUE(Load(Examples + "/loops.M51"));
    EXPECT_EQ(Do([&] { EXPECT_EQ(m_engine.runToSourceLine(Line("COUNT1 10")).toStdString(), ""); }), Cause::StepDone);
    EXPECT_EQ(Current(), Line("COUNT1 10"));
    Do([&] { m_engine.stepLine(); });
    EXPECT_EQ(Current(), Line("LOOP1 TICK"));
    Do([&] { m_engine.stepInto(); });
    EXPECT_EQ(Current(), Line("INCADR 40H"));
    Do([&] { m_engine.stepOut(); });
    EXPECT_EQ(Current(), Line("LOOP1 TICK"));  // back in the caller, behind the call
    EXPECT_EQ(m_engine.machine().iram[0x40], 1);
    Do([&] { m_engine.stepLine(); });           // the other nine passes at once
    EXPECT_EQ(Current(), Line("COUNT2 3"));
    EXPECT_EQ(m_engine.machine().iram[0x40], 10);
}

TEST_F(Sample, WhileBitLoopReleasedByDrivingThePin)
{
    ASSERT_TRUE(Load(Programs + "/pinserial.M51"));
    const int whileLine = Line("WHILEBIT P3.2");
    Do([&] { EXPECT_EQ(m_engine.runToSourceLine(whileLine).toStdString(), ""); });
    EXPECT_EQ(Current(), whileLine);
    Do([&] { m_engine.stepLine(); });
    EXPECT_EQ(Current(), Line("INCADR 30H"));
    Do([&] { m_engine.stepLine(); });
    EXPECT_EQ(Current(), Line("ENDWHILE"));
    Do([&] { m_engine.stepLine(); });
    EXPECT_EQ(Current(), whileLine);
    Do([&] { m_engine.setPin(3, 2, false); });
    EXPECT_EQ(m_engine.portValue(3), 0xFB);
    Do([&] { m_engine.stepLine(); });
    EXPECT_EQ(Current(), Line("WRTMOD 20H"));
    EXPECT_EQ(m_engine.machine().iram[0x30], 1);
}

TEST_F(Sample, SerialLineThroughThePseudoTerminal)
{
    ASSERT_TRUE(Load(Programs + "/pinserial.M51"));
    m_engine.setSourceBreakpoints({Line("JUMP PARK")});
    Do([&] { m_engine.setPin(3, 2, false); });
    const int fd = ::open(m_engine.serialTerminalPath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    m_engine.run();
    QByteArray sent;
    for (int i = 0; i < 300 && sent.isEmpty(); ++i) {
        Pump(10);
        char c;
        if (::read(fd, &c, 1) == 1)
            sent += c;
    }
    EXPECT_EQ(sent, "A");
    EXPECT_EQ(::write(fd, "z", 1), 1);
    Cause cause{};
    EXPECT_TRUE(WaitForStop(m_engine, 5000, &cause));
    ::close(fd);
    EXPECT_EQ(cause, Cause::Breakpoint);
    EXPECT_EQ(m_engine.machine().iram[0x31], 'z');
}

TEST_F(Sample, TimerInterruptHandlerIsEntered)
{
    ASSERT_TRUE(Load(Examples + "/interrupts.M51"));
    const int handler = Line("RDMEM 0");
    m_engine.setSourceBreakpoints({handler});
    EXPECT_EQ(Do([&] { m_engine.run(); }), Cause::Breakpoint);
    EXPECT_EQ(Current(), handler);
    EXPECT_EQ(m_engine.machine().sfrAt(0xA8), 0x97);  // IE as MAIN set it
    // Stepping over the handler's lines stays in the handler ...
    Do([&] { m_engine.stepLine(); });
    EXPECT_EQ(Current(), Line("A+1"));
    // ... and stepping out returns to where the interrupt came.
    Do([&] { m_engine.stepOut(); });
    EXPECT_GT(Current(), 0);
    EXPECT_LT(Current(), Line("PROCEDURE T0ISR"));
}
