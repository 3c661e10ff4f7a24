// The Board and Watch panes in the simulator window as a new user meets them:
// F5 on a sample with its board, then the LCD, the keypad and the watches
// while the program runs.
#include "board/view/BoardPane.h"
#include "debugger/window/DebugController.h"
#include "board/view/PartViews.h"
#include "debugger/window/SimulatorWindow.h"
#include "debugger/window/WatchPane.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using namespace m51dbg;

namespace {

QByteArray ReadSample(const QString& name)
{
    QFile file(QStringLiteral(M51_EXAMPLES_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void RunSample(DebugController& controller, const QString& name)
{
    const QByteArray text = ReadSample(name);
    ASSERT_FALSE(text.isEmpty()) << name.toStdString();
    controller.setSourceProvider([text] { return text; }, [name] { return QStringLiteral(M51_EXAMPLES_DIR "/") + name; });
    controller.simulatorWindow()->show();
    controller.action(DebugController::Action::Run)->trigger();
}

} // namespace

TEST(BoardWindow, LcdSampleShowsHelloOnTheBoardWhileRunning)
{
    if (qEnvironmentVariable("M51_SIMULATOR") == "s51")
        GTEST_SKIP() << "the board needs the built-in simulator";
    DebugController controller;
    RunSample(controller, "lcd.M51");
    SimulatorWindow* window = controller.simulatorWindow();
    ASSERT_TRUE(window->boardPane());
    QTRY_VERIFY_WITH_TIMEOUT(window->boardPane()->lcdView() != nullptr, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(window->boardPane()->lcdView()->shownRows().value(0), QStringLiteral("hello           "), 5000);
    EXPECT_EQ(window->boardPane()->lcdView()->shownRows().value(1), QStringLiteral("from Zelvar     "));
    EXPECT_TRUE(window->boardPane()->isLive()) << "redrawn while the program runs";
    // The machine views follow the running program too.
    auto* cycles = window->findChild<QLabel*>("cycles");
    ASSERT_TRUE(cycles);
    const QString before = cycles->text();
    QTRY_VERIFY_WITH_TIMEOUT(cycles->text() != before, 2000);
    controller.trigger(DebugController::Action::Stop);
    QTRY_VERIFY_WITH_TIMEOUT(!window->boardPane()->isLive(), 5000);
    // The stopwatch counts from its reset: zero there, the step's cycles after a step.
    auto* stopwatch = window->findChild<QLabel*>("stopwatch");
    ASSERT_TRUE(stopwatch);
    QTest::mouseClick(window->findChild<QAbstractButton*>("resetStopwatch"), Qt::LeftButton);
    EXPECT_TRUE(stopwatch->text().startsWith("0 cycles")) << stopwatch->text().toStdString();
    controller.trigger(DebugController::Action::StepInto);
    QTRY_VERIFY_WITH_TIMEOUT(!stopwatch->text().startsWith("0 cycles"), 5000);
}

TEST(BoardWindow, KeypadReaderReactsAndWatchesFollowByName)
{
    if (qEnvironmentVariable("M51_SIMULATOR") == "s51")
        GTEST_SKIP() << "the board needs the built-in simulator";
    DebugController controller;
    RunSample(controller, "keypad.M51");
    SimulatorWindow* window = controller.simulatorWindow();
    WatchPane* watches = window->watchPane();
    ASSERT_TRUE(watches);
    watches->addWatch("MEM0");
    watches->addWatch("P2");
    watches->addWatch("NOSUCH");
    QTRY_VERIFY_WITH_TIMEOUT(controller.engine()->state() == DebugEngine::State::Running, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(window->boardPane()->buttonOf(0, '6') != nullptr, 5000);
    QTest::mousePress(window->boardPane()->buttonOf(0, '6'), Qt::LeftButton);
    // The running program reads the key; the watch list shows it without a stop.
    QTRY_COMPARE_WITH_TIMEOUT(watches->cellText(0, 1), QStringLiteral("36H"), 5000);
    EXPECT_EQ(watches->cellText(0, 4), QStringLiteral("'6'"));
    QTRY_COMPARE_WITH_TIMEOUT(watches->cellText(1, 1), QStringLiteral("F8H"), 5000);
    EXPECT_EQ(watches->cellText(2, 1), QStringLiteral("?"));
    QTest::mouseRelease(window->boardPane()->buttonOf(0, '6'), Qt::LeftButton);
    controller.trigger(DebugController::Action::Stop);
    QTRY_VERIFY_WITH_TIMEOUT(controller.engine()->isPaused(), 5000);
}

// Real time keeps the chip's pace at its crystal: after a while the core has
// run no more cycles than the crystal made (as fast as possible it runs ~50 times more).
TEST(BoardWindow, RealTimeRunsAtTheCrystal)
{
    if (qEnvironmentVariable("M51_SIMULATOR") == "s51")
        GTEST_SKIP() << "real time is the built-in simulator's";
    DebugController controller;
    auto* speed = controller.simulatorWindow()->findChild<QComboBox*>("speed");
    ASSERT_TRUE(speed);
    speed->setCurrentIndex(1);
    EXPECT_TRUE(controller.engine()->options().realTime);
    RunSample(controller, "counter.M51");
    QTRY_VERIFY_WITH_TIMEOUT(controller.engine()->state() == DebugEngine::State::Running, 5000);
    QElapsedTimer clock;
    clock.start();
    const uint64_t start = controller.engine()->core()->cycles();
    QTest::qWait(300);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    const double ran = static_cast<double>(controller.engine()->core()->cycles() - start);
    const double crystal = controller.engine()->options().crystalHz / 12.0 * seconds;
    EXPECT_GT(ran, 0.0);
    EXPECT_LT(ran, crystal * 1.2) << "ran " << ran << " cycles in " << seconds << " s";
    // The board shows the counter steadily at that pace.
    EXPECT_EQ(controller.simulatorWindow()->boardPane()->sevenSegView()->shownText().size(), 4);
    controller.trigger(DebugController::Action::Stop);
    QTRY_VERIFY_WITH_TIMEOUT(controller.engine()->isPaused(), 5000);
}
