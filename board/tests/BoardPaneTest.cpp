#include "board/view/BoardPane.h"
#include "board/tests/BoardTesting.h"
#include "board/view/PartViews.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace board;
using board::test::Rig;

namespace {

const char* const LcdHello = R"(
        ORG 0
        CLR P3.7
        MOV R7,#4
        MOV DPTR,#INIT
CMDS:   ACALL WAIT
        CLR P3.5
        CLR A
        MOVC A,@A+DPTR
        ACALL SEND
        INC DPTR
        DJNZ R7,CMDS
        MOV DPTR,#TEXT
CHARS:  ACALL WAIT
        CLR A
        MOVC A,@A+DPTR
        JZ DONE
        SETB P3.5
        ACALL SEND
        INC DPTR
        SJMP CHARS
DONE:   SJMP DONE
WAIT:   MOV P1,#0FFH
        CLR P3.5
        SETB P3.6
W:      SETB P3.7
        MOV C,P1.7
        CLR P3.7
        JC W
        CLR P3.6
        RET
SEND:   MOV P1,A
        SETB P3.7
        CLR P3.7
        RET
INIT:   DB 38H,0CH,06H,01H
TEXT:   DB 'hello',0
)";

} // namespace

// The pane's buttons, switches and keys drive the board model (and so the
// pins); the LCD shown is the model's.
TEST(BoardPane, ControlsDriveThePinsAndTheLcdShowsTheModel)
{
    Rig rig("SJMP $\n", "button P3.2 low key=Space\nswitch P3.3 low\nkeypad 3x4 rows=P1.0-3 cols=P1.4-6\n");
    BoardPane pane(rig.board.get());
    pane.show();
    QAbstractButton* button = pane.buttonOf(0);
    ASSERT_TRUE(button);
    QTest::mousePress(button, Qt::LeftButton);
    EXPECT_EQ(rig.machine->pins(3) & 0x04, 0) << "held down: P3.2 low";
    QTest::mouseRelease(button, Qt::LeftButton);
    EXPECT_EQ(rig.machine->pins(3) & 0x04, 0x04);

    QTest::mouseClick(pane.buttonOf(1), Qt::LeftButton);
    EXPECT_EQ(rig.machine->pins(3) & 0x08, 0) << "a switch stays on";
    QTest::mouseClick(pane.buttonOf(1), Qt::LeftButton);
    EXPECT_EQ(rig.machine->pins(3) & 0x08, 0x08);

    // Keyboard: Space is the button's key, digits are the keypad's.
    QTest::keyPress(&pane, Qt::Key_Space);
    EXPECT_EQ(rig.machine->pins(3) & 0x04, 0);
    QTest::keyRelease(&pane, Qt::Key_Space);
    EXPECT_EQ(rig.machine->pins(3) & 0x04, 0x04);
    rig.machine->write(sim::Space::Sfr, 0x90, 0xFE);  // row 0 low
    QTest::keyPress(&pane, Qt::Key_2);
    EXPECT_EQ(rig.machine->pins(1), 0xDE) << "key 2 joins row 0 and column 1";
    QTest::keyRelease(&pane, Qt::Key_2);
    QTest::mousePress(pane.buttonOf(2, '3'), Qt::LeftButton);
    EXPECT_EQ(rig.machine->pins(1), 0xBE);
    QTest::mouseRelease(pane.buttonOf(2, '3'), Qt::LeftButton);
    EXPECT_EQ(rig.machine->pins(1), 0xFE);
}

TEST(BoardPane, LcdAndDisplaysRedrawnWhileLive)
{
    Rig rig(LcdHello, "lcd 16x2 data=P1 rs=P3.5 rw=P3.6 e=P3.7\n");
    BoardPane pane(rig.board.get());
    pane.show();
    ASSERT_TRUE(pane.lcdView());
    EXPECT_EQ(pane.lcdView()->shownRows().value(0).trimmed(), "");
    pane.setLive(true);
    EXPECT_TRUE(pane.isLive());
    rig.run(30000);
    // The pane shows it at its next frame, without a call.
    QTest::qWait(BoardPane::FrameMs * 3);
    EXPECT_EQ(pane.lcdView()->shownRows().value(0), "hello           ");
    EXPECT_EQ(pane.lcdView()->shownRows().value(1), "                ");
    pane.setLive(false);
    EXPECT_FALSE(pane.isLive());
    // Another board replaces the parts; no board says how to make one.
    pane.setBoard(nullptr);
    EXPECT_FALSE(pane.lcdView());
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
