// The main window's docks: the simulator's panes dock into it at a debug
// start (also panes added later), and both layouts (separate windows, One
// window) come back with their docks' places after a restart.

#include "debugger/window/DebugController.h"
#include "ide/Main.h"
#include "ide/ProfileFile.h"
#include "ide/ProgramFolder.h"
#include "debugger/window/SimulatorWindow.h"
#include "ide/StartUp.h"
#include "ide/TextFiles.h"
#include "ide/WindowLayout.h"
#include "board/view/BoardPane.h"
#include "ide/ListBox.h"
#include "ide/editoru.h"

#include <QDockWidget>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

class TestDocks : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void simulatorPanesDockAtADebugStart();
    void layoutRoundTrips_data();
    void layoutRoundTrips();

private:
    m51dbg::DebugController* debugger() const { return m_zelvar->windows().main->findChild<m51dbg::DebugController*>(); }
    QDockWidget* dock(const char* id) const
    {
        return m_zelvar->windows().main->findChild<QDockWidget*>(QStringLiteral("dock_") + id);
    }
    void start()
    {
        m_zelvar = std::make_unique<Zelvar>();
        m_zelvar->windows().main->show();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Zelvar> m_zelvar;
};

void TestDocks::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    setProgramFolder(m_dir->filePath(QStringLiteral("program")));
    qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toLocal8Bit());
    setErrorHandler([](const QString& message) { QFAIL(qPrintable(message)); });
}

void TestDocks::cleanup()
{
    m_zelvar.reset();
    setErrorHandler(nullptr);
    setProgramFolder(QString());
}

void TestDocks::simulatorPanesDockAtADebugStart()
{
    start();
    const QString path = m_dir->filePath(QStringLiteral("lcd.M51"));
    QVERIFY(QFile::copy(QStringLiteral(ZELVAR_EXAMPLES "/lcd.M51"), path));
    QVERIFY(QFile::copy(QStringLiteral(ZELVAR_EXAMPLES "/lcd.board"), m_dir->filePath(QStringLiteral("lcd.board"))));
    TForm1* main = m_zelvar->windows().main;
    main->OpenSourceFile(path);
    debugger()->trigger(m51dbg::DebugController::Action::StepLine);
    QTRY_VERIFY(debugger()->isDebugging());
    // A view added while the session runs gets its dock too.
    debugger()->simulatorWindow()->addPane(QStringLiteral("memory"), QStringLiteral("Memory"), new QLabel);
    for (const char* id : {"simulator", "iram", "serial", "board", "watch", "memory"}) {
        QDockWidget* d = dock(id);
        QVERIFY2(d, id);
        QVERIFY2(main->dockWidgetArea(d) != Qt::NoDockWidgetArea && !d->isFloating(), id);
        QVERIFY2(d->isVisibleTo(main), id);
    }
    // The machine's groups are shown inside the main window, not over it.
    QVERIFY(!debugger()->simulatorWindow()->isWindow());
    QVERIFY(main->isAncestorOf(debugger()->simulatorWindow()->boardPane()));
    QVERIFY(m_zelvar->windows().editor->isWindow());
    debugger()->trigger(m51dbg::DebugController::Action::Stop);
}

void TestDocks::layoutRoundTrips_data()
{
    QTest::addColumn<bool>("oneWindow");
    QTest::newRow("separate windows") << false;
    QTest::newRow("one window") << true;
}

// A dock moved in either layout is there again after a restart, in the
// layout of the last run; switching back gives the other layout as it was.
void TestDocks::layoutRoundTrips()
{
    QFETCH(bool, oneWindow);
    using Kind = WindowLayout::Kind;
    start();
    TEd* editor = m_zelvar->windows().editor;
    editor->setGeometry(60, 420, 500, 400);
    editor->show();
    const QRect editorPlace = editor->geometry();
    debugger()->simulatorWindow();
    WindowLayout* layout = m_zelvar->layout();
    layout->setKind(oneWindow ? Kind::OneWindow : Kind::Separate);
    TForm1* main = m_zelvar->windows().main;
    QCOMPARE(main->centralWidget() == editor, oneWindow);
    main->addDockWidget(Qt::BottomDockWidgetArea, dock("watch"));
    dock("watch")->show();
    m_zelvar.reset();

    TProfileFile file;
    file.load(m_dir->filePath(QStringLiteral("config/Zelvar")));
    QCOMPARE(file.GetPrivateProfileString("Docks", "Layout"), QByteArray(oneWindow ? "one" : "separate"));
    QCOMPARE(file.GetPrivateProfileString("Editor", "PlaceNormPosL"), QByteArray("60"));

    start();
    layout = m_zelvar->layout();
    main = m_zelvar->windows().main;
    editor = m_zelvar->windows().editor;
    QCOMPARE(layout->kind(), oneWindow ? Kind::OneWindow : Kind::Separate);
    QCOMPARE(main->centralWidget() == editor, oneWindow);
    QCOMPARE(layout->oneWindowAction()->isChecked(), oneWindow);
    debugger()->simulatorWindow();
    QCOMPARE(main->dockWidgetArea(dock("watch")), Qt::BottomDockWidgetArea);
    QVERIFY(main->dockWidgetArea(dock("simulator")) != Qt::BottomDockWidgetArea);

    layout->setKind(oneWindow ? Kind::Separate : Kind::OneWindow);
    QCOMPARE(main->centralWidget() == editor, !oneWindow);
    if (oneWindow) {
        QVERIFY(editor->isWindow());
        QCOMPARE(editor->geometry(), editorPlace);
    } else {
        QVERIFY(main->isAncestorOf(m_zelvar->windows().main->ErBox));
        QVERIFY(dock("lists")->isVisibleTo(main));
    }
}

QTEST_MAIN(TestDocks)
#include "tst_docks.moc"
