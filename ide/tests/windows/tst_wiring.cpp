// The windows working together as at start-up: Debug running the build chain
// (with the real assembler on the sample program, and with small scripts for
// the failure cases), the Macro window inserting into the editor, and the
// window placement saved at the end of one run and restored at the next.

#include "ide/BuildChain.h"
#include "ide/BuildScriptOutput.h"
#include "compiler/Compiler.h"
#include "ide/ListBox.h"
#include "ide/Main.h"
#include "ide/Nastavu.h"
#include "ide/Placement.h"
#include "ide/ProfileFile.h"
#include "ide/ProgramFolder.h"
#include "ide/Session.h"
#include "ide/StartUp.h"
#ifdef ZELVAR_WITH_DEBUGGER
#include "debugger/window/DebugController.h"
#include "debugger/window/SimulatorWindow.h"
#endif
#include "ide/TextFiles.h"
#include "ide/asembu.h"
#include "ide/editoru.h"
#include "ide/helpu.h"
#include "ide/lstu.h"
#include "ide/skladu.h"
#include "ide/splashu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList outputsOf(const QString& base)
{
    QStringList left;
    for (const char* ext : {".lst", ".hex", ".bin"})
        if (QFileInfo::exists(base + QLatin1String(ext)))
            left << QLatin1String(ext);
    return left;
}

} // namespace

class TestWiring : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void debugBuildsWithTheRealAssembler();
    void buildRunsOnlyForDebugWithC1_data();
    void buildRunsOnlyForDebugWithC1();
    void asmWriteFailureStartsNoBuild();
    void missingTemplateAfterDeletingOutputs();
    void failingScriptLeavesTheListing();
    void macroInsertsAfterTheCaretLine_data();
    void macroInsertsAfterTheCaretLine();
    void macroInsertsIntoALongText();
    void placementSurvivesARestart();
    void garbledProfileGivesDefaults();
    void helpPlacementOnlyWhenHelpWasWritten();
    void unwritablePlacesGiveOneMessage();
    void listingIsWesternText();
    void buildScriptOutput();
    void failedBuildLeadsToTheM51Line();
#ifdef ZELVAR_WITH_DEBUGGER
    void debuggerStopsAtAnEditorBreakpoint();
    void boardMistakesReachTheErrorList();
    void checkThenRunBuildsOnce();
    void assemblySourceErrorsLandOnTheirLines();
    void debuggerStopsOnAnAssemblyLine();
    void simulatorChoiceSurvivesARestart();
    void anotherSourceEndsTheSession();
#endif
    void checkReportsWhatTheAssemblerRefuses();

private:
    // The run under test and its windows.
    std::unique_ptr<Zelvar> m_zelvar;
    TForm1* Form1 = nullptr;
    TSplash* Splash = nullptr;
    THelp* Help = nullptr;
    TEd* Ed = nullptr;
    TAed* Aed = nullptr;
    TNastav* Nastav = nullptr;
    TLST* LST = nullptr;
    TSklad* Sklad = nullptr;
    void createWindows()
    {
        m_zelvar = std::make_unique<Zelvar>();
        const WindowSet& w = m_zelvar->windows();
        Form1 = w.main;
        Splash = w.splash;
        Help = w.help;
        Ed = w.editor;
        Aed = w.assembly;
        Nastav = w.setup;
        LST = w.listing;
        Sklad = w.store;
    }
    void destroyWindows() { m_zelvar.reset(); }
    TBuildChain* buildChain() const { return m_zelvar->session().buildChain(); }
    void start()
    {
        createWindows();
        Nastav->Auto->setChecked(false);
        Nastav->SaveSetup();
    }
    // The sample program copied into a source folder whose name holds a blank.
    QString copyBlink()
    {
        const QString folder = m_dir->filePath(QStringLiteral("my src"));
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/blink.M51");
        QFile::remove(path);
        if (!QFile::copy(QStringLiteral(ZELVAR_EXAMPLES "/blink.M51"), path))
            return {};
        return path;
    }
    void writeTemplate(const QByteArray& text)
    {
        QCOMPARE(writeFileBytes(m_program + QLatin1Char('/') + BuildChain::TemplateName(), text), QString());
    }
    QString profile() const { return m_dir->filePath(QStringLiteral("config/Zelvar")); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_program;
    QStringList m_errors;
};

void TestWiring::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_program = m_dir->filePath(QStringLiteral("program"));
    QDir().mkpath(m_program);
    setProgramFolder(m_program);
    QDir::setCurrent(m_dir->path());
    qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toLocal8Bit());
    m_errors.clear();
    setErrorHandler([this](const QString& message) { m_errors << message; });
}

void TestWiring::cleanup()
{
    destroyWindows();
    setErrorHandler(nullptr);
    setProgramFolder(QString());
}

void TestWiring::debugBuildsWithTheRealAssembler()
{
#ifndef M51AS_PATH
    QSKIP("m51as is not built");
#else
    QVERIFY(QFile::copy(QStringLiteral(M51AS_PATH), m_program + "/m51as"));
#endif
    QVERIFY(QFile::copy(QStringLiteral(ZELVAR_RESOURCES "/compile.sh"), m_program + "/compile.sh"));
    const QString source = copyBlink();
    QVERIFY(!source.isEmpty());
    const QString base = source.left(source.size() - 4);
    start();
    Form1->OpenSourceFile(source);
    Nastav->C1->setChecked(true);
    Nastav->SaveSetup();
    QSignalSpy finished(buildChain(), &TBuildChain::buildFinished);

    Form1->Kompiluj1Click(true);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join('\n')));
    QVERIFY(Form1->buildStatus->text().startsWith("Building blink.M51"));
    QVERIFY(finished.wait(180000));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(outputsOf(base), (QStringList{".lst", ".hex", ".bin"}));
    QVERIFY(readAll(base + ".hex").startsWith(':'));
    QVERIFY(!readAll(base + ".bin").isEmpty());
    QVERIFY(LST->isVisible());
    const QString listing = LST->M->toPlainText();
    // The window drops the line break that ends the file.
    QString file = TBuildChain::ReadListingText(base + ".lst");
    if (file.endsWith('\n'))
        file.chop(1);
    QCOMPARE(listing, file);
    QVERIFY(listing.contains("MAIN"));
    QVERIFY(Form1->buildStatus->text().startsWith("Build finished"));

    // The second Debug deletes the outputs of the first before its script
    // runs: the script notes what it finds, then assembles as before.
    LST->hide();
    writeTemplate("ls -a \"Filename\".* > \"Filename\".seen\n" + readAll(ZELVAR_RESOURCES "/compile.sh"));
    Form1->Kompiluj1Click(true);
    QVERIFY(finished.wait(180000));
    QCOMPARE(finished.at(1).at(0).toBool(), true);
    const QByteArray seen = readAll(base + ".seen");
    QVERIFY2(seen.contains("blink.asm") && seen.contains("blink.M51"), seen.constData());
    QVERIFY2(!seen.contains(".lst") && !seen.contains(".hex") && !seen.contains(".bin"), seen.constData());
    QCOMPARE(outputsOf(base), (QStringList{".lst", ".hex", ".bin"}));
    QVERIFY(LST->isVisible());
    QVERIFY(m_errors.isEmpty());
}

void TestWiring::buildRunsOnlyForDebugWithC1_data()
{
    QTest::addColumn<bool>("debug");
    QTest::addColumn<bool>("c1");
    QTest::addColumn<bool>("builds");
    QTest::newRow("Check, C1 clear") << false << false << false;
    QTest::newRow("Check, C1 set") << false << true << false;
    QTest::newRow("Debug, C1 clear") << true << false << false;
    QTest::newRow("Debug, C1 set") << true << true << true;
}

void TestWiring::buildRunsOnlyForDebugWithC1()
{
    QFETCH(bool, debug);
    QFETCH(bool, c1);
    QFETCH(bool, builds);
    writeTemplate("echo built > \"Filename\".lst\n");
    const QString source = copyBlink();
    const QString base = source.left(source.size() - 4);
    QCOMPARE(writeFileBytes(base + ".hex", "old"), QString());
    start();
    Form1->OpenSourceFile(source);
    Nastav->C1->setChecked(c1);
    Nastav->SaveSetup();
    LST->M->setPlainText("earlier listing");
    QSignalSpy started(buildChain(), &TBuildChain::buildStarted);
    QSignalSpy finished(buildChain(), &TBuildChain::buildFinished);

    Form1->Kompiluj1Click(debug);
    QVERIFY(m_errors.isEmpty());
    // Both commands compile and write the .asm file.
    QVERIFY(readAll(base + ".asm").contains("MAIN"));
    QCOMPARE(started.count(), builds ? 1 : 0);
    QCOMPARE(QFileInfo::exists(m_program + "/" + BuildChain::ScriptName()), builds);
    QCOMPARE(QFileInfo::exists(base + ".hex"), !builds);
    if (builds) {
        QVERIFY(finished.wait(60000));
        QCOMPARE(LST->M->toPlainText(), QStringLiteral("built"));
        QVERIFY(LST->isVisible());
    } else {
        QTest::qWait(50);
        QCOMPARE(buildChain()->runningBuilds(), 0);
        QCOMPARE(LST->M->toPlainText(), QStringLiteral("earlier listing"));
        QVERIFY(Form1->buildStatus->text().isEmpty());
    }
}

void TestWiring::asmWriteFailureStartsNoBuild()
{
    writeTemplate("echo built > \"Filename\".lst\n");
    const QString source = copyBlink();
    const QString base = source.left(source.size() - 4);
    QVERIFY(QDir().mkpath(base + ".asm")); // a folder in the way of the .asm file
    QCOMPARE(writeFileBytes(base + ".lst", "old listing"), QString());
    start();
    Form1->OpenSourceFile(source);
    Nastav->C1->setChecked(true);
    Nastav->SaveSetup();
    QSignalSpy started(buildChain(), &TBuildChain::buildStarted);
    Form1->Kompiluj1Click(true);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY(m_errors.front().startsWith("Cannot create file "));
    QCOMPARE(started.count(), 0);
    QCOMPARE(readAll(base + ".lst"), QByteArray("old listing"));
}

void TestWiring::missingTemplateAfterDeletingOutputs()
{
    const QString source = copyBlink();
    const QString base = source.left(source.size() - 4);
    for (const char* ext : {".lst", ".hex", ".bin"})
        QCOMPARE(writeFileBytes(base + QLatin1String(ext), "old"), QString());
    start();
    Form1->OpenSourceFile(source);
    Nastav->C1->setChecked(true);
    Nastav->SaveSetup();
    QSignalSpy started(buildChain(), &TBuildChain::buildStarted);
    Form1->Kompiluj1Click(true);
    QCOMPARE(m_errors, QStringList{"Cannot open file " +
                                   QDir::toNativeSeparators(m_program + "/" + BuildChain::TemplateName())});
    QCOMPARE(outputsOf(base), QStringList());
    QCOMPARE(started.count(), 0);
    QVERIFY(!QFileInfo::exists(m_program + "/" + BuildChain::ScriptName()));
    QVERIFY(Form1->buildStatus->text().isEmpty());
}

void TestWiring::failingScriptLeavesTheListing()
{
    writeTemplate("exit 3\n");
    const QString source = copyBlink();
    start();
    Form1->OpenSourceFile(source);
    Nastav->C1->setChecked(true);
    Nastav->SaveSetup();
    LST->M->setPlainText("earlier listing");
    QSignalSpy finished(buildChain(), &TBuildChain::buildFinished);
    Form1->Kompiluj1Click(true);
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(LST->M->toPlainText(), QStringLiteral("earlier listing"));
    QVERIFY(LST->isHidden());
    QVERIFY(Form1->buildStatus->text().startsWith("Build failed"));
    QVERIFY(m_errors.isEmpty());
}

void TestWiring::macroInsertsAfterTheCaretLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caretLine");
    QTest::addColumn<QString>("expected");
    QTest::newRow("caret on line 3") << "L0\nL1\nL2\nL3\nL4" << 3 << "L0\nL1\nL2\nL3\nx\ny\nz\nL4";
    QTest::newRow("caret on line 0") << "L0\nL1" << 0 << "L0\nx\ny\nz\nL1";
    QTest::newRow("caret on the last line") << "L0\nL1" << 1 << "L0\nL1\nx\ny\nz";
    QTest::newRow("empty editor") << "" << 0 << "x\ny\nz";
}

void TestWiring::macroInsertsAfterTheCaretLine()
{
    QFETCH(QString, text);
    QFETCH(int, caretLine);
    QFETCH(QString, expected);
    start();
    Ed->setText(text);
    Ed->M->setCursorPosition(caretLine, 0);
    Sklad->M->setPlainText("x\ny\nz");
    Sklad->SpeedButton1Click();
    QCOMPARE(Ed->M->toPlainText(), expected);
    // The editor is neither shown nor changed otherwise; the caret stays.
    QVERIFY(Ed->isHidden());
    QCOMPARE(Ed->M->caretLine(), caretLine);
}

void TestWiring::macroInsertsIntoALongText()
{
    // A long text is loaded in parts; the snippet still lands after the
    // caret's line, and nothing of the text is lost or moved.
    QStringList lines;
    for (int i = 0; i < 60000; ++i)
        lines << QStringLiteral("LINE %1 ; some comment text").arg(i);
    start();
    Ed->setText(lines.join('\n'));
    Sklad->M->setPlainText("x\ny");
    Sklad->SpeedButton1Click();
    QStringList expected = lines;
    expected.insert(1, "y");
    expected.insert(1, "x");
    QCOMPARE(Ed->M->toPlainText(), expected.join('\n'));
}

void TestWiring::placementSurvivesARestart()
{
    start();
    const QList<std::pair<QWidget*, QRect>> places = {
        {Form1, QRect(40, 50, 700, 300)}, {Ed, QRect(60, 70, 400, 500)},  {Aed, QRect(80, 90, 300, 350)},
        {LST, QRect(100, 110, 450, 260)}, {Help, QRect(120, 130, 640, 480)}, {Sklad, QRect(140, 150, 600, 330)}};
    for (const auto& [window, rect] : places)
        window->setGeometry(rect);
    // The main window ends the run maximised: it comes back at its normal rectangle.
    Form1->show();
    Form1->showMaximized();
    QCoreApplication::processEvents();
    destroyWindows();
    QVERIFY(m_errors.isEmpty());

    TProfileFile file;
    file.load(profile());
    for (const char* section : {"Form1", "Editor", "Asemb", "LST", "Help", "Sklad"})
        QVERIFY2(!file.GetPrivateProfileString(section, "PlaceNormPosR").isEmpty(), section);
    QCOMPARE(file.GetPrivateProfileString("Editor", "PlaceNormPosL"), QByteArray("60"));
    QCOMPARE(file.GetPrivateProfileString("Editor", "PlaceNormPosB"), QByteArray("570"));

    start();
    const QList<QWidget*> again = {Form1, Ed, Aed, LST, Help, Sklad};
    for (int i = 0; i < again.size(); ++i)
        QCOMPARE(again[i]->geometry(), places[i].second);
    QVERIFY(!(Form1->windowState() & Qt::WindowMaximized));
}

void TestWiring::garbledProfileGivesDefaults()
{
    start();
    const QRect editor = Ed->geometry();
    const QRect store = Sklad->geometry();
    destroyWindows();
    QCOMPARE(writeFileBytes(profile(), "[Editor]\nPlaceNormPosL=banana\nPlaceNormPosT=$zz\nPlaceNormPosR=\x01\xff\n"
                                       "[Sklad\nPlaceNormPosL=5\nPlaceNormPosR=1\n[Asemb]\nPlaceNormPosL=300\nPlaceNormPosR=100\n"),
             QString());
    start();
    QCOMPARE(Ed->geometry(), editor);
    QCOMPARE(Sklad->geometry(), store);
    // A right edge left of the left edge: the stored rectangle is ignored.
    QCOMPARE(Aed->size(), QSize(414, 403));
    QVERIFY(m_errors.isEmpty());
}

void TestWiring::helpPlacementOnlyWhenHelpWasWritten()
{
    QVERIFY(QDir().mkpath(helpFilePath())); // a folder where the help file should go
    start();
    Help->RTF->setPlainText("edited help");
    QVERIFY(Help->HelpChanged);
    destroyWindows();
    QCOMPARE(m_errors, QStringList{"Cannot create file " + QDir::toNativeSeparators(helpFilePath()) + "\nIs a folder"});
    TProfileFile file;
    file.load(profile());
    QVERIFY(file.GetPrivateProfileString("Help", "PlaceNormPosL").isEmpty());
    QVERIFY(!file.GetPrivateProfileString("Editor", "PlaceNormPosL").isEmpty());
}

void TestWiring::unwritablePlacesGiveOneMessage()
{
    // A file where the configuration folder should be.
    QCOMPARE(writeFileBytes(m_dir->filePath("config"), "in the way"), QString());
    start();
    destroyWindows();
    QCOMPARE(m_errors, QStringList{"Cannot save the window places: the folder " +
                                   QDir::toNativeSeparators(m_dir->filePath("config")) + " cannot be written"});
}

void TestWiring::listingIsWesternText()
{
    // 0xE8 is "è" in the Western character set (and "č" in code page 1250).
    writeTemplate("printf 'MOV A,#0 ; \\350\\r\\n' > \"Filename\".lst\n");
    const QString source = copyBlink();
    start();
    Form1->OpenSourceFile(source);
    Nastav->C1->setChecked(true);
    Nastav->SaveSetup();
    QSignalSpy finished(buildChain(), &TBuildChain::buildFinished);
    Form1->Kompiluj1Click(true);
    QVERIFY(finished.wait(60000));
    QCOMPARE(LST->M->toPlainText(), QString::fromUtf8("MOV A,#0 ; è"));
}

void TestWiring::buildScriptOutput()
{
    const std::vector<int> lineMap = {0, 0, 4, 7, -1};
    const QString output = "/src/p.asm:3: undefined symbol FOO\r\n"
                           "p.asm:4:12: jump out of range\n"
                           "p.asm:5: no source line\n"
                           "p.asm:9: beyond the map\n"
                           "C:\\inc\\regs.inc:3: warning: unused\n"
                           "\n"
                           "m51as: 4 errors\n";
    const struct {
        const char* file;
        int line, column, asmLine;
        m51::Severity severity;
        const char* message;
    } expected[] = {
        {"", 5, 0, 3, m51::Severity::Error, "undefined symbol FOO"},
        {"", 8, 0, 4, m51::Severity::Error, "jump out of range"},
        {"p.asm", 5, 0, 0, m51::Severity::Error, "no source line"},
        {"p.asm", 9, 0, 0, m51::Severity::Error, "beyond the map"},
        {"C:\\inc\\regs.inc", 3, 0, 0, m51::Severity::Warning, "warning: unused"},
        {"", 0, 0, 0, m51::Severity::Note, "m51as: 4 errors"},
    };
    const std::vector<m51::Diagnostic> read = readBuildScriptOutput(output, "/src/p.asm", lineMap);
    QCOMPARE(read.size(), std::size(expected));
    for (size_t i = 0; i < read.size(); ++i) {
        QCOMPARE(QString::fromStdString(read[i].file), QString(expected[i].file));
        QCOMPARE(read[i].line, expected[i].line);
        QCOMPARE(read[i].asmLine, expected[i].asmLine);
        QCOMPARE(read[i].severity, expected[i].severity);
        QCOMPARE(read[i].stage, m51::Stage::BuildScript);
        QCOMPARE(QString::fromStdString(read[i].message), QString(expected[i].message));
    }
    QString many;
    for (int i = 0; i < 2 * MaxBuildScriptMessages; ++i)
        many += "line\n";
    QCOMPARE(int(readBuildScriptOutput(many, "/src/p.asm", lineMap).size()), MaxBuildScriptMessages);
}

void TestWiring::failedBuildLeadsToTheM51Line()
{
    // The build script reports an error on .asm line 40 and fails.
    writeTemplate("echo \"$(basename \"Filename\").asm:40: undefined symbol\"\necho done\nexit 1\n");
    const QString source = copyBlink();
    start();
    Form1->OpenSourceFile(source);
    Nastav->C1->setChecked(true);
    Nastav->SaveSetup();
    QSignalSpy finished(buildChain(), &TBuildChain::buildFinished);
    Form1->Kompiluj1Click(true);
    QVERIFY(finished.wait(60000));
    const m51::CompileResult result = m51::CompileSource(Ed->lines());
    const int m51Line = result.LineMap.at(39);
    QVERIFY(m51Line > 0);
    const QStringList items = Form1->ErBox->items();
    QCOMPARE(items.mid(items.size() - 2),
             (QStringList{"undefined symbol (assembly line 40)", "done"}));
    QVERIFY(Form1->buildStatus->text().startsWith("Build failed"));
    Form1->ErBox->selectRow(items.size() - 2);
    Form1->ErBoxClick(Form1->ErBox);
    QCOMPARE(Ed->M->caretLine(), m51Line);
    QVERIFY(m_errors.isEmpty());
}

#ifdef ZELVAR_WITH_DEBUGGER
// A breakpoint set in the editor's margin stops the simulated program on that
// M51 line: the editor marks it and the simulator window shows the machine.
void TestWiring::debuggerStopsAtAnEditorBreakpoint()
{
    start();
    const QString path = copyBlink();
    QVERIFY(!path.isEmpty());
    Form1->OpenSourceFile(path);
    const std::vector<std::string> lines = Ed->lines();
    int line = -1;
    for (int i = 0; i < int(lines.size()) && line < 0; ++i)
        if (lines[i].rfind("SETBIT LED", 0) == 0)
            line = i;
    QVERIFY(line > 0);
    Ed->M->toggleBreakpoint(line);
    auto* debugger = Form1->findChild<m51dbg::DebugController*>();
    QVERIFY(debugger);
    QCOMPARE(debugger->breakpoints(), QSet<int>{line});
    debugger->trigger(m51dbg::DebugController::Action::Run);
    QTRY_COMPARE_WITH_TIMEOUT(Ed->M->executionLine(), line, 20000);
    // CLEARBIT LED just ran: the LED's pin P1.0 is low.
    QLabel* p1 = debugger->simulatorWindow()->findChild<QLabel*>(QStringLiteral("register_P1"));
    QVERIFY(p1);
    QTRY_COMPARE(p1->text().left(2), QStringLiteral("FE"));
    debugger->trigger(m51dbg::DebugController::Action::Stop);
}

// The board file's mistakes go to the error list as NAME.board:LINE, without
// the control bytes of the file, and stay in the status bar once debugging starts.
void TestWiring::boardMistakesReachTheErrorList()
{
    start();
    const QString path = copyBlink();
    QVERIFY(!path.isEmpty());
    QCOMPARE(writeFileBytes(QFileInfo(path).path() + QStringLiteral("/blink.board"), "led P1.0\nlamp\x1B]0;x\x07 P1.1\n"), QString());
    Form1->OpenSourceFile(path);
    auto* debugger = Form1->findChild<m51dbg::DebugController*>();
    QVERIFY(debugger);
    debugger->trigger(m51dbg::DebugController::Action::StepLine);
    QTRY_VERIFY_WITH_TIMEOUT(!Form1->ErBox->rows().empty(), 20000);
    const QString expected = QStringLiteral("blink.board:2: unknown part 'lamp\\x1B]0;x\\x07'");
    QVERIFY2(Form1->ErBox->rows().back().text.contains(expected), qPrintable(Form1->ErBox->rows().back().text));
    QVERIFY2(Form1->statusBar()->currentMessage().contains(expected), qPrintable(Form1->statusBar()->currentMessage()));
    debugger->trigger(m51dbg::DebugController::Action::Stop);
}

// Check, then Run: one compile, the program run from it. After an edit,
// Run compiles the new text; an assembler error of the new text lands on its
// M51 line in the error list and the status bar says the run's outcome.
void TestWiring::checkThenRunBuildsOnce()
{
    start();
    const QString path = copyBlink();
    QVERIFY(!path.isEmpty());
    Form1->OpenSourceFile(path);
    Form1->Kompiluj1Click(false);
    Session& session = Form1->session();
    const int compiles = session.lastBuild().compiles;
    QVERIFY(!session.lastBuild().assembled);
    auto* debugger = Form1->findChild<m51dbg::DebugController*>();
    QVERIFY(debugger);
    debugger->trigger(m51dbg::DebugController::Action::Run);
    QCOMPARE(session.lastBuild().compiles, compiles);
    QVERIFY(session.lastBuild().assembled);
    QTRY_VERIFY_WITH_TIMEOUT(debugger->isDebugging(), 20000);
    debugger->trigger(m51dbg::DebugController::Action::Stop);
    QTRY_VERIFY_WITH_TIMEOUT(debugger->engine()->state() == m51dbg::DebugEngine::State::Paused, 20000);

    // An edit: a jump to a label nowhere defined, which only the assembler sees.
    const std::vector<std::string> lines = Ed->lines();
    const int park = int(std::find(lines.begin(), lines.end(), std::string("JUMP PARK")) - lines.begin());
    QVERIFY(park < int(lines.size()));
    Ed->M->insertAt(QStringLiteral("JUMP NOWHERE\n"), park, 0);
    debugger->setRebuildQuestion([] { return true; });
    debugger->trigger(m51dbg::DebugController::Action::Run);
    QCOMPARE(session.lastBuild().compiles, compiles + 1);
    const std::vector<ResultRow>& rows = Form1->ErBox->rows();
    QVERIFY2(rows.size() == 1, qPrintable(Form1->ErBox->items().join('|')));
    QCOMPARE(rows[0].line, park);
    QVERIFY2(rows[0].text.contains(QStringLiteral("NOWHERE")), qPrintable(rows[0].text));
    QCOMPARE(Ed->M->errorMarkers().keys(), QList<int>{park});
    QCOMPARE(Form1->statusBar()->currentMessage(), QStringLiteral("The program has errors; nothing to debug."));
}

// An assembly source opened in Zelvar: Check assembles it (not the M51
// compiler), errors of the source mark their own lines and those of an
// include file name it, and the source is never overwritten by a generated
// .asm file of the same name.
// The error list has one row about FROB, on source line 5 (index 4).
static bool frobOnLine5(const ListBox* box)
{
    return std::count_if(box->rows().begin(), box->rows().end(), [](const ResultRow& row) {
               return row.line == 4 && row.text.contains(QStringLiteral("FROB"));
           }) == 1;
}

void TestWiring::assemblySourceErrorsLandOnTheirLines()
{
    start();
    const QByteArray source = "$NOMOD51\r\n$INCLUDE(defs.inc)\r\n        ORG 0\r\n        MOV A,#1\r\n"
                              "        FROB A\r\n        SJMP $\r\n";
    for (const QString& name : {QStringLiteral("prog.a51"), QStringLiteral("prog.asm")}) {
        const QString path = m_dir->filePath(name);
        QCOMPARE(writeFileBytes(path, source), QString());
        QCOMPARE(writeFileBytes(m_dir->filePath(QStringLiteral("defs.inc")), "P1 DATA 90H\r\nP2 DATA\r\n"), QString());
        Form1->OpenSourceFile(path);
        Form1->Kompiluj1Click(false);
        const QStringList items = Form1->ErBox->items();
        QVERIFY2(items.size() == 2, qPrintable(items.join('|')));
        QVERIFY2(frobOnLine5(Form1->ErBox), qPrintable(items.join('|')));
        QVERIFY2(items.filter(QRegularExpression("^defs.inc:2: .*included from")).size() == 1,
                 qPrintable(items.join('|')));
        QCOMPARE(Ed->M->errorMarkers().keys(), QList<int>{4});
        QCOMPARE(readAll(path), source);
    }
    // Run builds on its own: its errors land in the error list and the
    // editor's markers the same way, not only in the status bar.
    Form1->ErBox->clear();
    Ed->M->setErrorMarkers({});
    auto* debugger = Form1->findChild<m51dbg::DebugController*>();
    QVERIFY(debugger);
    debugger->trigger(m51dbg::DebugController::Action::Run);
    const QStringList items = Form1->ErBox->items();
    QVERIFY2(frobOnLine5(Form1->ErBox), qPrintable(items.join('|')));
    QVERIFY2(items.filter(QRegularExpression("defs.inc:2: .*included from")).size() == 1, qPrintable(items.join('|')));
    QCOMPARE(Ed->M->errorMarkers().keys(), QList<int>{4});
    QVERIFY(!Form1->statusBar()->currentMessage().startsWith(QStringLiteral("Building")));
}

// A breakpoint on a line of an assembly source: Run stops there.
void TestWiring::debuggerStopsOnAnAssemblyLine()
{
    start();
    const QString path = m_dir->filePath(QStringLiteral("count.a51"));
    QCOMPARE(writeFileBytes(path, "; counts on P1\r\n        ORG 0\r\nSTART:  MOV A,#0\r\nLOOP:   INC A\r\n"
                                  "        MOV P1,A\r\n        CJNE A,#3,LOOP\r\n        MOV R7,A\r\n        MOV R6,A\r\n"
                                  "        MOV R5,A\r\n        SJMP $\r\n"),
             QString());
    Form1->OpenSourceFile(path);
    // Debug builds it beside itself, without the M51 build script.
    Form1->Kompiluj1Click(true);
    QVERIFY(Form1->ErBox->items().isEmpty());
    QVERIFY(readAll(m_dir->filePath(QStringLiteral("count.hex"))).startsWith(":"));
    QVERIFY(QFileInfo::exists(m_dir->filePath(QStringLiteral("count.lst"))));
    Ed->M->toggleBreakpoint(6);
    auto* debugger = Form1->findChild<m51dbg::DebugController*>();
    QVERIFY(debugger);
    debugger->trigger(m51dbg::DebugController::Action::Run);
    QTRY_COMPARE_WITH_TIMEOUT(Ed->M->executionLine(), 6, 20000);
    QLabel* p1 = debugger->simulatorWindow()->findChild<QLabel*>(QStringLiteral("register_P1"));
    QVERIFY(p1);
    QTRY_COMPARE(p1->text().left(2), QStringLiteral("03"));
    QVERIFY(!Form1->statusBar()->currentMessage().startsWith(QStringLiteral("Building")));

    // Editing during the session: the next step asks before rebuilding. "No"
    // goes on with the running program, and the same text is not asked again;
    // "yes" to a further change restarts at the reset state.
    int asked = 0;
    bool rebuild = false;
    debugger->setRebuildQuestion([&] {
        ++asked;
        return rebuild;
    });
    Ed->M->insertLinesAt(10, {QStringLiteral("        NOP")});
    debugger->trigger(m51dbg::DebugController::Action::StepLine);
    QTRY_COMPARE(Ed->M->executionLine(), 7);
    debugger->trigger(m51dbg::DebugController::Action::StepLine);
    QTRY_COMPARE(Ed->M->executionLine(), 8);
    QCOMPARE(asked, 1);
    rebuild = true;
    Ed->M->insertLinesAt(11, {QStringLiteral("        NOP")});
    debugger->trigger(m51dbg::DebugController::Action::StepLine);
    QCOMPARE(asked, 2);
    QTRY_COMPARE(Ed->M->executionLine(), 2);
    debugger->trigger(m51dbg::DebugController::Action::Stop);
}

// Setup's simulator choice goes to the profile file (Zelvar.INI keeps its 24
// lines) and to the next debug session, also after a restart.
void TestWiring::simulatorChoiceSurvivesARestart()
{
    start();
    auto engineKind = [this] { return Form1->findChild<m51dbg::DebugController*>()->engine()->options().kind; };
    QCOMPARE(Nastav->Simulator->currentIndex(), 0);
    QCOMPARE(engineKind(), m51dbg::SimulatorKind::Core);
    Nastav->Simulator->setCurrentIndex(1);
    QCOMPARE(engineKind(), m51dbg::SimulatorKind::S51);
    TProfileFile file;
    file.load(profile());
    QCOMPARE(file.GetPrivateProfileString("Simulator", "Kind"), QByteArray("s51"));
    destroyWindows();
    createWindows();
    QCOMPARE(Nastav->Simulator->currentIndex(), 1);
    QCOMPARE(engineKind(), m51dbg::SimulatorKind::S51);
}

// Run's own build fills the lists and the LST window; File > Open of another
// source ends the session, and its first Run starts anew without a question.
void TestWiring::anotherSourceEndsTheSession()
{
    start();
    Form1->OpenSourceFile(copyBlink());
    auto* debugger = Form1->findChild<m51dbg::DebugController*>();
    QVERIFY(debugger);
    debugger->trigger(m51dbg::DebugController::Action::StepLine);
    QTRY_VERIFY_WITH_TIMEOUT(debugger->engine()->isPaused(), 20000);
    QVERIFY(Form1->ProcBox->count() > 0);
    QVERIFY2(LST->M->text().contains(QStringLiteral("SETB"), Qt::CaseInsensitive), qPrintable(LST->M->text().left(300)));
    QVERIFY(Ed->M->executionLine() >= 0);

    const QString other = m_dir->filePath(QStringLiteral("other.M51"));
    QCOMPARE(writeFileBytes(other, "PROCESOR 51\r\nSETBIT P1.0\r\nEND\r\n"), QString());
    Form1->OD1 = [other](QWidget*, const QString&) { return other; };
    Form1->Otevt1Click();
    QCOMPARE(debugger->engine()->state(), m51dbg::DebugEngine::State::Off);
    QCOMPARE(Ed->M->executionLine(), -1);
    QVERIFY(Form1->buildStatus->text().contains(QStringLiteral("other.M51")));
    int asked = 0;
    debugger->setRebuildQuestion([&] {
        ++asked;
        return true;
    });
    debugger->trigger(m51dbg::DebugController::Action::StepLine);
    QTRY_VERIFY_WITH_TIMEOUT(debugger->engine()->isPaused(), 20000);
    QCOMPARE(asked, 0);
}
#endif

// Check assembles too: an operand the compiler lets pass but the assembler
// refuses is told on its M51 line, in the statement's words.
void TestWiring::checkReportsWhatTheAssemblerRefuses()
{
    start();
    const QString path = m_dir->filePath(QStringLiteral("refused.M51"));
    QCOMPARE(writeFileBytes(path, "PROCESOR 51\r\nIFA=\r\nEND\r\n"), QString());
    Form1->OpenSourceFile(path);
    Form1->Kompiluj1Click(false);
    const std::vector<ResultRow>& rows = Form1->ErBox->rows();
    QVERIFY2(!rows.empty(), "no error");
    QCOMPARE(rows[0].line, 1);
    QVERIFY2(rows[0].text.startsWith(QStringLiteral("IFA= needs a number")), qPrintable(rows[0].text));
    QVERIFY(Form1->statusBar()->currentMessage().startsWith(QStringLiteral("Check: ")));
    QVERIFY(Form1->statusBar()->currentMessage() != QStringLiteral("Check: no errors"));
}

QTEST_MAIN(TestWiring)
#include "tst_wiring.moc"
