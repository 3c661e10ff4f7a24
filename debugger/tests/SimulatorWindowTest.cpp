// The simulator window over a real engine (offscreen): a breakpoint stop shows
// its line and the registers, changed RAM is marked, pins are driven by a click.
#include "debugger/tests/EngineHarness.h"
#include "debugger/ProgramBuilder.h"
#include "debugger/window/SimulatorWindow.h"
#include "debugger/window/DebugController.h"

#include <QAction>
#include <QRegularExpression>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace m51dbg;
using namespace m51dbg::test;

TEST(SimulatorWindow, BreakpointStopShowsLineRegistersAndChangedRam)
{
    QFile file(M51_EXAMPLES_DIR "/loops.M51");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray source = file.readAll();
    QTemporaryDir dir;
    const BuildOutput built = BuildM51(source.toStdString(), file.fileName(), dir.path());
    ASSERT_TRUE(built.ok);
    DebugEngine engine;
    engine.start(built.program);
    ASSERT_TRUE(WaitForStop(engine));
    SimulatorWindow window(&engine);
    window.resize(1100, 750);
    window.show();

    const int tick = LineOf(source, "INCADR 40H");
    engine.setSourceBreakpoints({tick});
    auto* run = window.findChild<QPushButton*>("run");
    ASSERT_TRUE(run && run->isEnabled());
    QTest::mouseClick(run, Qt::LeftButton);
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_TRUE(window.findChild<QLabel*>("status")->text().contains(QString("line %1").arg(tick + 1)));
    const MachineState& m = engine.machine();
    EXPECT_EQ(window.registerText("PC"), QString("%1").arg(m.pc, 4, 16, QChar('0')).toUpper());
    EXPECT_EQ(window.registerText("SP"), "62");  // inside TICK, called from MAIN with SP 60H
    EXPECT_EQ(window.registerText("R0"), QString("%1").arg(m.r(0), 2, 16, QChar('0')).toUpper());

    // One step over INCADR 40H: the byte at 40H changes and is marked.
    QTest::mouseClick(window.findChild<QPushButton*>("stepline"), Qt::LeftButton);
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_TRUE(window.isIramByteHighlighted(0x40));
    EXPECT_FALSE(window.isIramByteHighlighted(0x41));

    // A click on pin P3.2 pulls it low from outside.
    QTest::mouseClick(window.findChild<QToolButton*>("pin_P3_2"), Qt::LeftButton);
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(engine.pins(3), 0xFB);
    EXPECT_EQ(window.registerText("P3"), "FB");
    EXPECT_EQ(window.findChild<QToolButton*>("pin_P3_2")->text(), "0");
    EXPECT_TRUE(window.isIramByteHighlighted(0x40));  // still the last step's change

    // Time follows the crystal the user sets.
    const QString at11 = window.findChild<QLabel*>("time")->text();
    window.setCrystalMHz(22.1184);
    EXPECT_NE(window.findChild<QLabel*>("time")->text(), at11);
    EXPECT_TRUE(window.findChild<QLabel*>("serialPath")->text().contains("/dev/pts/"));
    if (qEnvironmentVariableIsSet("M51_WINDOW_SHOT"))
        window.grab().save(qEnvironmentVariable("M51_WINDOW_SHOT"));
}

TEST(DebugController, KeysBreakpointLineAndRebuildWhenChanged)
{
    QFile file(M51_EXAMPLES_DIR "/loops.M51");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray source = file.readAll();
    int caret = LineOf(source, "INCADR 40H");
    DebugController controller;
    controller.setSourceProvider([&] { return source; }, [] { return QString("loops.M51"); });
    controller.setCaretLineProvider([&] { return caret; });
    int line = -2;
    QStringList problems;
    QObject::connect(&controller, &DebugController::executionLineChanged, [&](int l, int) { line = l; });
    QObject::connect(&controller, &DebugController::problems, [&](const QStringList& p) { problems = p; });

    EXPECT_EQ(controller.action(DebugController::Action::StepLine)->shortcut(), QKeySequence(Qt::Key_F10));
    // The coverage choices are only choices: ticking one starts no session.
    controller.action(DebugController::Action::ShowCoverage)->trigger();
    EXPECT_EQ(controller.engine()->state(), DebugEngine::State::Off);
    controller.action(DebugController::Action::ToggleBreakpoint)->trigger();  // F2 on the caret line
    EXPECT_EQ(controller.breakpoints(), QSet<int>{caret});
    controller.action(DebugController::Action::Run)->trigger();  // F5 builds, starts and runs
    ASSERT_TRUE(WaitForStop(*controller.engine()));  // started
    ASSERT_TRUE(WaitForStop(*controller.engine()));  // at the breakpoint
    EXPECT_EQ(line, caret);
    EXPECT_EQ(controller.simulatorWindow()->registerText("SP"), "62");

    // An edited source is built again; a step key then stops at reset.
    source.replace("INCADR 40H", "INCADR 41H");
    controller.action(DebugController::Action::StepLine)->trigger();
    ASSERT_TRUE(WaitForStop(*controller.engine()));
    EXPECT_EQ(line, LineOf(source, "STARTPROC MAIN"));
    EXPECT_EQ(controller.simulatorWindow()->registerText("PC"), "0000");

    source.replace("INCADR 41H", "INCADR");
    controller.action(DebugController::Action::StepLine)->trigger();
    // The assembler's complaint comes back on the M51 line.
    EXPECT_TRUE(problems.filter(QRegularExpression(QString("^loops.M51:%1: ").arg(caret + 1))).size() == 1)
        << problems.join('\n').toStdString();
}

// Step Back from the Run menu: off until something lies behind (always on
// s51), the window says what is not rewound while behind; a state file that
// cannot be written is a problem "path: why".
TEST(DebugController, StepBackAndStateFiles)
{
    QFile file(M51_EXAMPLES_DIR "/loops.M51");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray source = file.readAll();
    DebugController controller;
    controller.setSourceProvider([&] { return source; }, [] { return QString("loops.M51"); });
    QStringList problems;
    QObject::connect(&controller, &DebugController::problems, [&](const QStringList& p) { problems = p; });
    const QString unwritable = QStringLiteral("/nonexistent/dir/a.state");
    controller.setStateFileQuestion([&](bool) { return unwritable; });
    QAction* back = controller.action(DebugController::Action::StepBack);
    controller.action(DebugController::Action::StepLine)->trigger();
    ASSERT_TRUE(WaitForStop(*controller.engine()));  // at reset
    EXPECT_FALSE(back->isEnabled());
    for (int i = 0; i < 3; ++i) {
        controller.action(DebugController::Action::StepLine)->trigger();
        ASSERT_TRUE(WaitForStop(*controller.engine()));
    }
    const bool core = controller.engine()->options().kind == SimulatorKind::Core;
    EXPECT_EQ(back->isEnabled(), core);
    EXPECT_EQ(controller.action(DebugController::Action::SaveState)->isEnabled(), core);
    if (!core)
        return;
    const uint16_t pc = controller.engine()->machine().pc;
    auto* replay = controller.simulatorWindow()->findChild<QLabel*>("replay");
    ASSERT_TRUE(replay);
    EXPECT_TRUE(replay->isHidden());
    back->trigger();
    ASSERT_TRUE(WaitForStop(*controller.engine()));
    EXPECT_NE(controller.engine()->machine().pc, pc);
    EXPECT_FALSE(replay->isHidden());
    controller.action(DebugController::Action::StepLine)->trigger();
    ASSERT_TRUE(WaitForStop(*controller.engine()));
    EXPECT_EQ(controller.engine()->machine().pc, pc);
    EXPECT_TRUE(replay->isHidden());

    controller.action(DebugController::Action::SaveState)->trigger();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems.front().startsWith(unwritable + ": ")) << problems.front().toStdString();
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
