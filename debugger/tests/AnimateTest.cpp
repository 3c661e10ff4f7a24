// Run ▸ Animate over the controller (offscreen): line by line, the execution
// line reported after every step, until a breakpoint or Stop.
#include "debugger/window/DebugController.h"
#include "debugger/tests/EngineHarness.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

using namespace m51dbg;
using namespace m51dbg::test;
using Action = DebugController::Action;

namespace {

bool PumpWhile(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (condition() && clock.elapsed() < timeoutMs)
        Pump(5);
    return !condition();
}

} // namespace

TEST(DebugController, AnimateStepsLineByLineUntilABreakpointOrStop)
{
    QFile file(M51_EXAMPLES_DIR "/loops.M51");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray source = file.readAll();
    DebugController controller;
    controller.setSourceProvider([&] { return source; }, [] { return QString("loops.M51"); });
    EngineOptions options = controller.engine()->options();
    options.animatePauseMs = 1;
    controller.engine()->setOptions(options);
    std::vector<int> lines;
    QObject::connect(&controller, &DebugController::executionLineChanged, [&](int l, int) {
        if (l >= 0)
            lines.push_back(l);
    });
    const int stopAt = LineOf(source, "COUNT2 3");
    controller.setBreakpoints({stopAt});

    controller.action(Action::Animate)->trigger();
    ASSERT_TRUE(PumpWhile([&] { return !controller.isAnimating(); }));
    EXPECT_TRUE(controller.action(Action::Stop)->isEnabled());
    EXPECT_FALSE(controller.action(Action::Run)->isEnabled());
    ASSERT_TRUE(PumpWhile([&] { return controller.isAnimating(); }));
    const std::vector<int> expected = {LineOf(source, "WRSP 60H"), LineOf(source, "CLEARRESULTS"),
                                       LineOf(source, "COUNT1 10"), LineOf(source, "LOOP1 TICK"), stopAt};
    EXPECT_EQ(lines, expected);
    EXPECT_FALSE(controller.action(Action::Stop)->isEnabled());

    // Animating again from the breakpoint; Stop ends it between two lines.
    lines.clear();
    controller.action(Action::Animate)->trigger();
    ASSERT_TRUE(PumpWhile([&] { return lines.size() < 2; }));
    controller.action(Action::Stop)->trigger();
    EXPECT_FALSE(controller.isAnimating());
    const size_t seen = lines.size();
    Pump(100);
    EXPECT_LE(lines.size(), seen + 1);  // at most the step that was under way
    EXPECT_TRUE(controller.action(Action::Run)->isEnabled());
}
