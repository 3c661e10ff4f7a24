// The views of a C program being debugged: the Locals pane and the Watch
// pane's C values (fields open, values written back), the call stack with C
// functions, arguments and lines (a caller's frame chosen shows its locals),
// and the disassembly under its C lines. On SDCC's two-file sample.
#include "debugger/window/CallFrames.h"
#include "debugger/window/CallStackPane.h"
#include "debugger/window/CValueModel.h"
#include "debugger/window/DisassemblyPane.h"
#include "debugger/tests/EngineHarness.h"
#include "debugger/window/LocalsPane.h"
#include "debugger/window/StackModel.h"
#include "toolchain/CBuild.h"

#include <QFile>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

using namespace m51dbg;
using namespace m51dbg::test;

TEST(CallFrames, ParameterNamesOfADefinition)
{
    const struct {
        const char* definition;
        const char* function;
        std::vector<std::string> names;
    } cases[] = {
        {"void stats_add(struct Stats *s, int value)", "stats_add", {"s", "value"}},
        {"static char get ( unsigned char buffer[4], __bit last ) {", "get", {"buffer", "last"}},
        {"int main(void)", "main", {}},
        {"void isr(void) __interrupt(1)", "isr", {}},
        {"unsigned long sum(int count,", "sum", {}},           // the list goes on past the text
        {"void stats_addx(int a)", "stats_add", {}},            // another function's name
        {"void f(const char *fmt, ...)", "f", {"fmt"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParameterNames(c.definition, c.function), c.names) << c.definition;
}

#ifdef M51_SDCC

namespace {

namespace fs = std::filesystem;

// The row of a top-level name in a model of C values.
QModelIndex RowNamed(const CValueModel& model, const QString& name, const QModelIndex& parent = {})
{
    for (int row = 0; row < model.rowCount(parent); ++row)
        if (model.index(row, CValueModel::Name, parent).data().toString() == name)
            return model.index(row, CValueModel::Name, parent);
    return {};
}

QString ValueOf(const QModelIndex& name) { return name.siblingAtColumn(CValueModel::Value).data().toString(); }

class CPanes : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariable("M51_SIMULATOR") == QLatin1String("s51"))
            GTEST_SKIP() << "C programs are debugged on the built-in simulator";
        m_folder = fs::temp_directory_path() / ("m51-cpanes-" + std::to_string(::getpid()));
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
    // To the first time stats_add reaches its last line (count and max updated for readings[0] = 120).
    void runToMean()
    {
        int file = -1, line = -1;
        for (size_t i = 0; i < m_program.files.size(); ++i)
            if (fs::path(m_program.files[i]).filename() == "stats.c")
                file = int(i);
        QFile source(QString::fromStdString((m_folder / "stats.c").string()));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = source.readAll().split('\n');
        for (int i = 0; i < lines.size() && line < 0; ++i)
            if (lines[i].trimmed().startsWith("s->mean +="))
                line = i;
        ASSERT_TRUE(file >= 0 && line >= 0);
        m_meanLine = line;
        ASSERT_EQ(m_engine.runToLine({file, line}).toStdString(), "");
        ASSERT_TRUE(WaitForStop(m_engine));
    }

    fs::path m_folder;
    Program m_program;
    DebugEngine m_engine;
    int m_meanLine = -1;
};

} // namespace

TEST_F(CPanes, LocalsWatchesAndCallStackAtAStopInAFunction)
{
    LocalsPane locals(&m_engine);
    CValueModel watches(&m_engine, CValueModel::Kind::Watches);
    StackModel stack(&m_engine);
    stack.setProcedures(ProceduresOf(m_program));
    CallStackPane callStack(&stack);
    QObject::connect(&callStack, &CallStackPane::frameChosen, &locals, &LocalsPane::showFrame);
    ASSERT_NO_FATAL_FAILURE(runToMean());

    // The parameters with their C values; the structure pointed to opens into its fields.
    CValueModel* model = locals.model();
    const QModelIndex value = RowNamed(*model, "value"), s = RowNamed(*model, "s");
    ASSERT_TRUE(value.isValid() && s.isValid());
    EXPECT_FALSE(RowNamed(*model, "sloc0").isValid());  // SDCC's own spill location
    EXPECT_EQ(ValueOf(value), "120");
    EXPECT_EQ(value.siblingAtColumn(CValueModel::Type).data().toString(), "int");
    ASSERT_TRUE(model->canFetchMore(s));
    model->fetchMore(s);
    const QModelIndex pointee = model->index(0, 0, s);
    ASSERT_TRUE(pointee.isValid());
    model->fetchMore(pointee);
    EXPECT_EQ(ValueOf(RowNamed(*model, "count", pointee)), "1");
    EXPECT_EQ(ValueOf(RowNamed(*model, "max", pointee)), "120");

    // A value typed in is written through the engine and read back at its stop.
    const QModelIndex edited = RowNamed(*model, "max", pointee).siblingAtColumn(CValueModel::Value);
    ASSERT_TRUE(model->flags(edited) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->setData(edited, "not a number", Qt::EditRole));
    ASSERT_TRUE(model->setData(edited, "-300", Qt::EditRole));
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(ValueOf(RowNamed(*model, "max", pointee)), "-300");
    EXPECT_TRUE(model->isMarkedChanged(RowNamed(*model, "max", pointee)));

    // Watches: C expressions, their values, and why a name has none.
    watches.setExpressions({"result.max", "readings[2]", "nosuch"});
    ASSERT_EQ(watches.rowCount(), 4);  // and the row for a new one
    EXPECT_EQ(ValueOf(watches.index(0, 0)), "-300");
    EXPECT_EQ(ValueOf(watches.index(1, 0)), "300");
    EXPECT_TRUE(ValueOf(watches.index(2, 0)).contains("no such name")) << ValueOf(watches.index(2, 0)).toStdString();

    // The call stack: C functions with their arguments and C lines.
    QTableWidget* table = callStack.findChild<QTableWidget*>();
    ASSERT_TRUE(table && table->rowCount() >= 2);
    EXPECT_TRUE(table->item(0, 0)->text().startsWith("stats_add(s=0x")) << table->item(0, 0)->text().toStdString();
    EXPECT_TRUE(table->item(0, 0)->text().endsWith(", value=120)")) << table->item(0, 0)->text().toStdString();
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("stats.c:%1").arg(m_meanLine + 1));
    EXPECT_EQ(table->item(1, 0)->text(), "main()");
    ASSERT_EQ(table->rowCount(), 2);  // SDCC's startup jumps to main
    EXPECT_EQ(table->item(1, 3)->text(), "reset");
    EXPECT_TRUE(table->item(1, 1)->text().startsWith("main.c:"));
    // The caller's frame chosen: its locals.
    table->setCurrentCell(1, 0);
    EXPECT_EQ(ValueOf(RowNamed(*model, "i")), "0");  // in R7, which the call saved on the stack
    EXPECT_FALSE(RowNamed(*model, "value").isValid());
}

TEST_F(CPanes, DisassemblyUnderItsCLines)
{
    DisassemblyPane pane(&m_engine);
    ASSERT_NO_FATAL_FAILURE(runToMean());
    const int row = pane.rowOf(m_engine.machine().pc);
    ASSERT_GT(row, 0);
    QTableWidget* table = pane.table();
    // The C line's own row comes before the first of its instructions.
    EXPECT_EQ(table->item(row - 1, 1)->text(), QStringLiteral("stats.c:%1").arg(m_meanLine + 1));
    EXPECT_EQ(table->item(row - 1, 2)->text(), "s->mean += (value - s->mean) / s->count;");
    EXPECT_EQ(table->item(row, 4)->text(), QStringLiteral("stats.c:%1").arg(m_meanLine + 1));
}

#endif
