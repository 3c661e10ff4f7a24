// The memory, SFR and disassembly panes and the serial console's sending,
// wired to a real engine (offscreen): an edit writes the machine, changed
// bytes are marked, the disassembly follows the PC of a program without
// source lines, hex and file sends reach the program.
#include "debugger/window/DebugViews.h"
#include "debugger/window/DisassemblyPane.h"
#include "debugger/tests/EngineHarness.h"
#include "debugger/window/MemoryModel.h"
#include "debugger/window/MemoryPane.h"
#include "debugger/window/SerialSend.h"
#include "debugger/window/SfrPane.h"
#include "debugger/window/SimulatorWindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

using namespace m51dbg;
using namespace m51dbg::test;

namespace {

template <typename T>
T* Pane(SimulatorWindow& window, const char* id)
{
    for (const auto& pane : window.panes())
        if (pane.id == id)
            return qobject_cast<T*>(pane.widget);
    return nullptr;
}

std::vector<uint8_t> Read(DebugEngine& engine, DebugEngine::Memory memory, unsigned address, unsigned count)
{
    std::optional<std::vector<uint8_t>> result;
    bool done = false;
    engine.read(memory, address, count, [&](std::optional<std::vector<uint8_t>> bytes) {
        result = std::move(bytes);
        done = true;
    });
    for (int i = 0; i < 200 && !done; ++i)
        Pump(10);
    return result.value_or(std::vector<uint8_t>{});
}

// Stores every byte the serial port receives in external RAM from 0 on.
const char* const Receiver = R"(
        ORG 0
        MOV SCON,#50H
        MOV DPTR,#0
LOOP:   JNB RI,LOOP
        MOV A,SBUF
        CLR RI
        MOVX @DPTR,A
        INC DPTR
        SJMP LOOP
)";

// Writes 42H, 43H, ... to external RAM from 0 on.
const char* const Writer = R"(
        ORG 0
        MOV DPTR,#0
        MOV A,#42H
LOOP:   MOVX @DPTR,A
        INC DPTR
        INC A
        SJMP LOOP
)";

// The byte as the view shows it, once s51's answer to the view's read has come.
std::optional<uint8_t> Shown(MemoryModel* model, unsigned address)
{
    for (int i = 0; i < 100 && !model->byteAt(address); ++i)
        Pump(10);
    return model->byteAt(address);
}

bool OnS51(const DebugEngine& engine) { return engine.options().kind == SimulatorKind::S51; }

} // namespace

TEST(DebugViews, EditsWriteTheMachineAndChangesAreMarked)
{
    QTemporaryDir dir;
    Program program = AssembleProgram(Writer, dir);
    program.map = SourceMap();  // as a program loaded from a HEX file: no lines
    DebugEngine engine;
    engine.start(program);
    ASSERT_TRUE(WaitForStop(engine));
    SimulatorWindow window(&engine);
    window.resize(1100, 900);
    window.show();
    auto* xram = Pane<MemoryPane>(window, "xramView");
    auto* code = Pane<MemoryPane>(window, "codeView");
    auto* iram = Pane<MemoryPane>(window, "iramView");
    auto* sfr = Pane<SfrPane>(window, "sfrView");
    auto* disassembly = Pane<DisassemblyPane>(window, "disassemblyView");
    ASSERT_TRUE(xram && code && iram && sfr && disassembly);
    EXPECT_EQ(xram->model()->rowCount(), 65536 / 16);

    // A byte typed in the external and the internal RAM view is in the machine; code is read-only.
    MemoryModel* x = xram->model();
    EXPECT_TRUE(x->setData(x->index(0x12, 3), "5A", Qt::EditRole));
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(Read(engine, DebugEngine::Memory::Xram, 0x123, 1), std::vector<uint8_t>{0x5A});
    EXPECT_FALSE(x->setData(x->index(0, 0), "1G", Qt::EditRole));
    EXPECT_TRUE(iram->model()->setData(iram->model()->index(3, 0), "0A5H", Qt::EditRole));
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(engine.machine().iram[0x30], 0xA5);
    EXPECT_FALSE(code->model()->flags(code->model()->index(0, 0)) & Qt::ItemIsEditable);

    // An SFR's value and one of its bits.
    QTableWidget* sfrs = sfr->table();
    const int p1 = sfr->rowOf(0x90);
    ASSERT_GE(p1, 0);
    sfrs->item(p1, 2)->setText("0F");
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(engine.machine().sfrAt(0x90), 0x0F);
    sfrs->item(p1, 3)->setCheckState(Qt::Checked);  // bit 7
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(engine.machine().sfrAt(0x90), 0x8F);
    EXPECT_EQ(sfrs->item(sfr->rowOf(0x88), 3 + 7 - 4)->text(), "TR0");

    // Steps: the byte the program writes is marked until the next step; the
    // disassembly follows the PC.
    window.findChild<QTabWidget*>("paneTabs")->setCurrentWidget(xram);
    for (int i = 0; i < 3; ++i) {  // to the first MOVX
        engine.stepInstruction();
        ASSERT_TRUE(WaitForStop(engine));
    }
    EXPECT_EQ(Shown(x, 0), 0x42);
    EXPECT_TRUE(x->isChanged(0));
    EXPECT_FALSE(x->isChanged(1));
    engine.stepInstruction();
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(Shown(x, 0), 0x42);
    EXPECT_FALSE(x->isChanged(0));
    const uint16_t pc = engine.machine().pc;
    const auto& shown = disassembly->addresses();
    const auto at = std::find(shown.begin(), shown.end(), pc);
    ASSERT_NE(at, shown.end());
    EXPECT_TRUE(disassembly->table()->item(int(at - shown.begin()), 0)->text().contains(QStringLiteral("▶")));
    EXPECT_EQ(disassembly->table()->item(int(at - shown.begin()), 3)->text(), "INC A");

    // A window made at a stop (as Zelvar makes it at a session's first stop)
    // marks what the running program changes since then.
    if (OnS51(engine))
        return;  // s51's memories are read at its stops only
    SimulatorWindow late(&engine);
    late.show();
    late.findChild<QTabWidget*>("paneTabs")->setCurrentWidget(Pane<SfrPane>(late, "sfrView"));
    engine.run();
    QTableWidgetItem* dph = Pane<SfrPane>(late, "sfrView")->table()->item(sfr->rowOf(0x83), 2);
    for (int i = 0; i < 100 && dph->background().style() == Qt::NoBrush; ++i)
        Pump(20);
    EXPECT_NE(dph->background().style(), Qt::NoBrush);
    EXPECT_TRUE(Pane<MemoryPane>(late, "xramView")->model()->isChanged(0x10));
    engine.stop();
    ASSERT_TRUE(WaitForStop(engine));
}

TEST(DebugViews, ConsoleSendsHexBytesAndFilesAndClearsForANewProgram)
{
    QTemporaryDir dir;
    const Program program = AssembleProgram(Receiver, dir);
    DebugEngine engine;
    if (OnS51(engine))
        GTEST_SKIP() << "s51's serial line runs at its bit rate in real time";
    engine.start(program);
    ASSERT_TRUE(WaitForStop(engine));
    SimulatorWindow window(&engine);
    window.show();
    auto* bar = window.findChild<SerialSendBar*>();
    ASSERT_TRUE(bar);
    bar->setMode(SerialSendBar::Mode::Hex);
    auto* input = window.findChild<QLineEdit*>("consoleInput");
    input->setText("0D0A 00 41H");
    QTest::keyClick(input, Qt::Key_Return);

    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    QByteArray content;
    for (int i = 0; i < 3000; ++i)
        content.append(char(i * 7));
    file.write(content);
    file.close();
    ASSERT_TRUE(bar->sendFile(file.fileName()));
    engine.run();
    for (int i = 0; i < 1000 && bar->isSendingFile(); ++i)
        Pump(10);
    EXPECT_FALSE(bar->isSendingFile());
    Pump(300);
    engine.stop();
    ASSERT_TRUE(WaitForStop(engine));
    const std::vector<uint8_t> got = Read(engine, DebugEngine::Memory::Xram, 0, 4 + 3000);
    ASSERT_EQ(got.size(), 3004u);
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 4), (std::vector<uint8_t>{0x0D, 0x0A, 0x00, 0x41}));
    EXPECT_TRUE(std::equal(content.begin(), content.end(), got.begin() + 4, [](char a, uint8_t b) { return uint8_t(a) == b; }));

    auto* console = window.findChild<QPlainTextEdit*>("console");
    console->setPlainText("left over");
    engine.start(program);
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_TRUE(console->toPlainText().isEmpty());
}

TEST(DebugViews, HexBytesAsTyped)
{
    struct Case {
        const char* text;
        QByteArray bytes;
        bool ok;
    } const cases[] = {
        {"0D 0A", QByteArray("\r\n"), true},
        {"0D0A", QByteArray("\r\n"), true},
        {"00", QByteArray(1, '\0'), true},
        {"00H, 0x41 7", QByteArray("\0A\x07", 3), true},
        {"0FFH", QByteArray(1, char(0xFF)), true},
        {"0D0", {}, false},
        {"1FFH", {}, false},
        {"GG", {}, false},
    };
    for (const Case& c : cases) {
        const HexBytes parsed = ParseHexBytes(c.text);
        EXPECT_EQ(parsed.error.isEmpty(), c.ok) << c.text;
        EXPECT_EQ(parsed.bytes, c.bytes) << c.text;
    }
}
