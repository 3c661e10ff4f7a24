// The main window with all windows created as at start-up: the creation
// order, AutoOpen, the file commands with stand-in dialogs, Check filling the
// lists and writing the .asm file, the double click on a list entry, the tool
// buttons and the resize rule.

#include "ide/BuildChain.h"
#include "compiler/Compiler.h"
#include "common/Cp1250.h"
#include "ide/ListBox.h"
#include "ide/Main.h"
#include "ide/Nastavu.h"
#include "ide/Placement.h"
#include "ide/ProgramFolder.h"
#include "ide/ShellRun.h"
#include "common/tests/SmallDisk.h"
#include "ide/StartUp.h"
#include "ide/TextFiles.h"
#include "ide/asembu.h"
#include "ide/editoru.h"
#include "ide/lstu.h"
#include "ide/skladu.h"
#include "ide/splashu.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowsAreCreatedInOrder();
    void autoOpen_data();
    void autoOpen();
    void openLoadsAndRecords();
    void openUnreadableChangesNothing();
    void openDialogCancelAndFolder();
    void saveKeepsTheFilesLineEnds();
    void saveUntitledAsksLikeSaveAs();
    void saveAsPresetsAndCancel();
    void saveFailureKeepsCaption();
    void failedWritesKeepTheTextModified();
    void newAndCloseFile();
    void checkFillsListsAndWritesAsm();
    void checkAutosavesFirst();
    void asmFileName_data();
    void asmFileName();
    void erBoxClick_data();
    void erBoxClick();
    void erBoxClickWithoutSelection();
    void toolButtonRunsCurrentCommand();
    void erBoxIsAThirdOfTheClientHeight();
    void shellTargets();
    void menuItems_data();
    void menuItems();
    void unsavedChangesAreAskedFor_data();
    void unsavedChangesAreAskedFor();
    void modifiedShowsInTitleAndStatusBar();
    void statusBarShowsTheLastCommand();
    void toolBarFollowsSetupAtOnce();
    void firstStartPlaces();
    void windowLook_data();
    void windowLook();

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
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir->filePath(name);
        if (const QString error = writeFileBytes(path, bytes); !error.isEmpty())
            QTest::qFail(qPrintable(error), __FILE__, __LINE__);
        return path;
    }
    void start()
    {
        createWindows();
        Form1->OD1 = [this](QWidget*, const QString& folder) {
            m_dialogFolder = folder;
            return m_openAnswer;
        };
        Form1->SD1 = [this](QWidget*, const QString& folder, const QString& name) {
            m_dialogFolder = folder;
            m_dialogName = name;
            ++m_saveDialogs;
            return m_saveAnswer;
        };
        Form1->shellRun = [this](const QString& command) { m_started << command; };
        Form1->askSaveChanges = [this](QWidget*, const QString& file) {
            m_asked << file;
            return m_saveChangesAnswer;
        };
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_errors, m_started;
    QString m_openAnswer, m_saveAnswer, m_dialogFolder, m_dialogName;
    int m_saveDialogs = 0;
    QStringList m_asked;
    int m_saveChangesAnswer = QMessageBox::Cancel;
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    setProgramFolder(m_dir->path());
    QDir::setCurrent(m_dir->path());
    m_errors.clear();
    m_started.clear();
    m_openAnswer.clear();
    m_saveAnswer.clear();
    m_dialogFolder.clear();
    m_dialogName.clear();
    m_saveDialogs = 0;
    m_asked.clear();
    m_saveChangesAnswer = QMessageBox::Cancel;
    setErrorHandler([this](const QString& message) { m_errors << message; });
}

void TestMainWindow::cleanup()
{
    destroyWindows();
    setErrorHandler(nullptr);
    setProgramFolder(QString());
}

void TestMainWindow::windowsAreCreatedInOrder()
{
    start();
    QStringList names, captions;
    for (QWidget* window : m_zelvar->createdWindows()) {
        names << window->objectName();
        captions << window->windowTitle();
    }
    QCOMPARE(names, (QStringList{"Form1", "Splash", "Help", "Ed", "Aed", "Nastav", "LST", "Sklad"}));
    QCOMPARE(captions, (QStringList{"Zelvar v3.0b", "Zelvar", "Help", "", "ASM", "Internal Setup", "LST", "Macro"}));
    // The editor starts hidden, empty and untitled; the viewers empty.
    QVERIFY(Ed->isHidden());
    QCOMPARE(Ed->lineCount(), 0);
    QVERIFY(Aed->M->isEmpty() && LST->M->isEmpty());
    QCOMPARE(Form1->ProcBox->count(), 0);
    QVERIFY(m_errors.isEmpty());
}

void TestMainWindow::autoOpen_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("opened");
    QTest::newRow("set, file there") << "A" << true << true;
    QTest::newRow("set, file deleted") << "A" << false << false;
    QTest::newRow("clear") << "F" << true << false;
}

void TestMainWindow::autoOpen()
{
    QFETCH(QString, flag);
    QFETCH(bool, fileExists);
    QFETCH(bool, opened);
    const QString source = m_dir->filePath("last.M51");
    if (fileExists)
        write("last.M51", "LOOP\r\n");
    QStringList setup(24);
    setup[4] = source;
    setup[22] = flag;
    write("Zelvar.INI", SetupFile::fileBytes(setup));
    start();
    m_zelvar->autoOpenLastFile();
    QCOMPARE(!Ed->isHidden(), opened);
    QCOMPARE(Ed->windowTitle(), opened ? source : QString());
    QVERIFY(m_errors.isEmpty());
}

void TestMainWindow::openLoadsAndRecords()
{
    const QString source = write("blink.M51", "PROCEDURE Blink\r\nLOOP\r\n");
    start();
    Aed->show();
    LST->show();
    Form1->OpenSourceFile(source);
    QVERIFY(Aed->isHidden() && LST->isHidden());
    QVERIFY(Ed->isVisible());
    QCOMPARE(Ed->windowTitle(), source);
    QCOMPARE(Ed->lines(), (std::vector<std::string>{"PROCEDURE Blink", "LOOP"}));
    // Recorded in the setup file at once, with no dialog shown.
    QCOMPARE(SetupFile::readLines(readFileBytes(setupFilePath()).bytes).at(4), source);
    QCOMPARE(readFileBytes(setupFilePath()).bytes.count("\r\n"), 24);
}

void TestMainWindow::openUnreadableChangesNothing()
{
    const QString source = write("a.M51", "KEEP\r\n");
    start();
    Form1->OpenSourceFile(source);
    Aed->show();
    const QString missing = m_dir->filePath("gone.M51");
    Form1->OpenSourceFile(missing);
    QCOMPARE(m_errors, QStringList{QStringLiteral("Cannot open file ") + QDir::toNativeSeparators(missing)});
    QCOMPARE(Ed->windowTitle(), source);
    QCOMPARE(Ed->lines(), std::vector<std::string>{"KEEP"});
    QVERIFY(Aed->isVisible());
    QCOMPARE(Nastav->Edit4->text(), source);
}

void TestMainWindow::openDialogCancelAndFolder()
{
    start();
    Form1->Otevt1Click();
    QCOMPARE(m_dialogFolder, programFolder());
    QVERIFY(Ed->isHidden());
    m_openAnswer = write("b.M51", "X\r\n");
    Form1->Otevt1Click();
    QCOMPARE(Ed->windowTitle(), m_openAnswer);
    // Always the program folder, whatever was opened before.
    Form1->Otevt1Click();
    QCOMPARE(m_dialogFolder, programFolder());
}

void TestMainWindow::saveKeepsTheFilesLineEnds()
{
    // The file's own line ends come back, for the lines added too.
    const QList<std::pair<QByteArray, QByteArray>> files = {
        {"A\nB\n", "A\nB\n\xe8" "as\n"},
        {"A\r\nB\r\n", "A\r\nB\r\n\xe8" "as\r\n"},
    };
    start();
    for (const auto& [before, after] : files) {
        const QString source = write("s.M51", before);
        Form1->OpenSourceFile(source);
        Ed->M->appendPlainText("čas");
        Form1->UloClick(false);
        QCOMPARE(m_saveDialogs, 0);
        QCOMPARE(readFileBytes(source).bytes, after);
    }
}

void TestMainWindow::saveUntitledAsksLikeSaveAs()
{
    start();
    Form1->Nov1Click();
    Ed->M->setPlainText("LOOP");
    m_saveAnswer = m_dir->filePath("new.M51");
    Form1->UloClick(false);
    QCOMPARE(m_saveDialogs, 1);
    QCOMPARE(m_dialogFolder, programFolder());
    QCOMPARE(m_dialogName, QString());
    QCOMPARE(Ed->windowTitle(), m_saveAnswer);
    QCOMPARE(readFileBytes(m_saveAnswer).bytes, QByteArray("LOOP\r\n"));
}

void TestMainWindow::saveAsPresetsAndCancel()
{
    QDir(m_dir->path()).mkdir("work");
    const QString source = write("work/prog.M51", "A\r\n");
    start();
    Form1->OpenSourceFile(source);
    Form1->UloClick(true);   // cancelled
    QCOMPARE(m_dialogFolder, m_dir->filePath("work"));
    QCOMPARE(m_dialogName, QStringLiteral("prog.M51"));
    QCOMPARE(Ed->windowTitle(), source);
    m_saveAnswer = m_dir->filePath("copy.M51");
    Form1->UloClick(true);
    QCOMPARE(Ed->windowTitle(), m_saveAnswer);
    QCOMPARE(readFileBytes(m_saveAnswer).bytes, QByteArray("A\r\n"));
}

void TestMainWindow::saveFailureKeepsCaption()
{
    const QString source = write("keep.M51", "OLD\r\n");
    start();
    Form1->OpenSourceFile(source);
    m_saveAnswer = m_dir->filePath("no/such/folder/x.M51");
    QVERIFY(!Form1->UloClick(true));
    Form1->Uloitjako1->trigger();   // the menu command reports it too
    QCOMPARE(m_errors.size(), 2);
    QVERIFY(m_errors.first().startsWith("Cannot create file "));
    QVERIFY(m_errors.last().startsWith("Cannot create file "));
    QCOMPARE(Ed->windowTitle(), source);
    QCOMPARE(readFileBytes(source).bytes, QByteArray("OLD\r\n"));
}

// A save or a Check that cannot write says why, keeps the old file and the
// text marked modified: a read-only source, then a full disk.
void TestMainWindow::failedWritesKeepTheTextModified()
{
    const QString readOnly = write("ro.M51", "OLD\r\n");
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    start();
    Form1->OpenSourceFile(readOnly);
    Ed->M->insertPlainText("NEW ");
    Form1->Ulo->trigger();
    QCOMPARE(m_errors, QStringList{"Cannot create file " + QDir::toNativeSeparators(readOnly) + "\nFile is read-only"});
    QVERIFY(Form1->windowTitle().endsWith("(modified)"));
    QCOMPARE(readFileBytes(readOnly).bytes, QByteArray("OLD\r\n"));
    QVERIFY(!(QFileInfo(readOnly).permissions() & QFileDevice::WriteOwner));

    m51test::SmallDisk disk("zelvar-full");
    if (!disk.mounted())
        QSKIP("cannot mount a small file system here");
    const QString source = QString::fromStdString(disk.file("full.M51"));
    const QString asmFile = QString::fromStdString(disk.file("full.asm"));
    QCOMPARE(writeFileBytes(source, "OLD\r\n"), QString());
    QCOMPARE(writeFileBytes(asmFile, "old asm"), QString());
    Form1->OpenSourceFile(source);
    Ed->M->selectAll();
    Ed->M->insertPlainText(QString("NOP\n").repeated(20000));
    m_errors.clear();
    Form1->Ulo->trigger();
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().endsWith("\nNo space left on device"), qPrintable(m_errors.first()));
    QVERIFY(Form1->windowTitle().endsWith("(modified)"));
    QCOMPARE(readFileBytes(source).bytes, QByteArray("OLD\r\n"));

    m_errors.clear();
    Form1->Kontroluj1->trigger();
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().endsWith("\nNo space left on device"), qPrintable(m_errors.first()));
    QCOMPARE(readFileBytes(asmFile).bytes, QByteArray("old asm"));
    QCOMPARE(Form1->statusBar()->currentMessage(), QString("Check: the assembly file could not be written"));
    QCOMPARE(QDir(QString::fromStdString(disk.path().string())).entryList(QDir::Files).size(), 2);
}

void TestMainWindow::newAndCloseFile()
{
    const QString source = write("c.M51", "A\r\n");
    start();
    Form1->OpenSourceFile(source);
    Aed->show();
    Form1->Zavt1Click();
    QVERIFY(Ed->isHidden() && Aed->isHidden() && LST->isHidden());
    // The hidden editor still holds the file: Save writes it.
    Ed->M->setPlainText("B");
    Form1->Ulo->trigger();
    QCOMPARE(readFileBytes(source).bytes, QByteArray("B\r\n"));
    Form1->Nov1Click();
    QVERIFY(Ed->isVisible());
    QCOMPARE(Ed->windowTitle(), QString());
    QCOMPARE(Ed->lineCount(), 0);
}

void TestMainWindow::checkFillsListsAndWritesAsm()
{
    const QByteArray text = "PROCEDURE Blink ; main loop\r\n\r\nFOO\r\nENDPROC\r\nDEFINE LED P1.0\r\n";
    const QString source = write("blink.M51", text);
    start();
    Form1->OpenSourceFile(source);
    Form1->Kontroluj1->trigger();
    const m51::CompileResult expected = m51::CompileSource(splitLines(text));
    QCOMPARE(Form1->ProcBox->items(), cp1250::decodeLines(m51::EntryTexts(expected.ProcBox)));
    QCOMPARE(Form1->Definebox->items(), cp1250::decodeLines(m51::EntryTexts(expected.Definebox)));
    QCOMPARE(Form1->InlineBox->items(), cp1250::decodeLines(m51::EntryTexts(expected.InlineBox)));
    QCOMPARE(Form1->ErBox->items(), cp1250::decodeLines(m51::EntryTexts(expected.ErBox)));
    QVERIFY(Form1->ProcBox->items().contains("0 BLINK"));
    QVERIFY(Form1->ErBox->items().contains("2 FOO"));
    QCOMPARE(Aed->lines(), expected.Output);
    QVERIFY(Aed->isVisible());
    const QString asmFile = m_dir->filePath("blink.asm");
    QCOMPARE(readFileBytes(asmFile).bytes, joinLinesCrLf(expected.Output));
    QVERIFY(m_errors.isEmpty());
    // A second compile gives the same output and replaces the file.
    Form1->Kompiluj1->trigger();
    QCOMPARE(readFileBytes(asmFile).bytes, joinLinesCrLf(expected.Output));
}

void TestMainWindow::checkAutosavesFirst()
{
    const QString source = write("auto.M51", "LOOP\r\n");
    start();
    Form1->OpenSourceFile(source);
    Ed->M->setPlainText("ENDLOOP");
    Nastav->Auto->setChecked(false);
    Nastav->SaveSetup();
    Form1->Kompiluj1Click(false);
    QCOMPARE(readFileBytes(source).bytes, QByteArray("LOOP\r\n"));
    Nastav->Auto->setChecked(true);
    Nastav->SaveSetup();
    Form1->Kompiluj1Click(false);
    QCOMPARE(readFileBytes(source).bytes, QByteArray("ENDLOOP\r\n"));
    // Untitled: the save dialog asks for a name first; cancelled, nothing is
    // compiled and no nameless ".asm" appears in the current folder.
    Form1->Nov1Click();
    Ed->M->setPlainText("LOOP");
    Form1->Kompiluj1Click(false);
    QCOMPARE(m_saveDialogs, 1);
    QVERIFY(!QFile::exists(m_dir->filePath(".asm")));
}

void TestMainWindow::asmFileName_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("asmFile");
    QTest::newRow("plain") << "/work/blink.M51" << "/work/blink.asm";
    QTest::newRow("dot in folder") << "/my.dir/blink.M51" << "/my.dir/blink.asm";
    QTest::newRow("two dots") << "/w/prog.v2.M51" << "/w/prog.asm";
    QTest::newRow("non-Latin folder") << "/home/用户/žluť.M51" << "/home/用户/žluť.asm";
    QTest::newRow("untitled") << "" << ".asm";
}

void TestMainWindow::asmFileName()
{
    QFETCH(QString, source);
    QFETCH(QString, asmFile);
    QCOMPARE(Session::asmFileFor(source), asmFile);
}

void TestMainWindow::erBoxClick_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("entryLine");
    QTest::addColumn<int>("line");   // -1: nothing selected
    QTest::newRow("line 12") << "12 FOO" << 12 << 12;
    QTest::newRow("line 0 moves nothing") << "0 BLINK" << 0 << -1;
    QTest::newRow("no line") << "INLINE 1" << -1 << -1;
    QTest::newRow("the entry's line, not its text") << "0 X" << 3 << 3;
    QTest::newRow("beyond the end") << "99 X" << 99 << -1;
}

void TestMainWindow::erBoxClick()
{
    QFETCH(QString, entry);
    QFETCH(int, entryLine);
    QFETCH(int, line);
    QByteArray text;
    for (int i = 0; i < 20; ++i)
        text += "LINE" + QByteArray::number(i) + "\r\n";
    start();
    Form1->OpenSourceFile(write("e.M51", text));
    Ed->hide();
    for (ListBox* box : {Form1->ErBox, Form1->ProcBox, Form1->Definebox}) {
        Ed->M->setCursorPosition(0, 0);
        box->setEntries({{5, "5 OTHER"}, {entryLine, cp1250::encode(entry)}});
        box->selectRow(1);
        Form1->ErBoxClick(box);
        QVERIFY(Ed->isVisible());
        if (line < 0) {
            QVERIFY(!Ed->M->hasSelectedText());
        } else {
            QCOMPARE(Ed->M->selectedText(), QStringLiteral("LINE%1").arg(line));
            QCOMPARE(Ed->M->caretLine(), line);
        }
    }
}

void TestMainWindow::erBoxClickWithoutSelection()
{
    start();
    Form1->ErBox->setItems({"3 X"});
    Form1->ErBoxClick(Form1->ErBox);
    QVERIFY(Ed->isHidden());
}

void TestMainWindow::toolButtonRunsCurrentCommand()
{
    QStringList setup(24);
    setup[8] = "/usr/bin/first";
    setup[15] = "One";
    write("Zelvar.INI", SetupFile::fileBytes(setup));
    start();
    Form1->T1->click();
    // An edited command counts at the next click; the whole text is the command.
    Nastav->Edit6->setText("/opt/my tools/run me --flag");
    Nastav->SaveSetup();
    Form1->T1Click(1);
    Form1->T7->click();
    QCOMPARE(m_started, (QStringList{"/usr/bin/first", "/opt/my tools/run me --flag", ""}));
}

void TestMainWindow::erBoxIsAThirdOfTheClientHeight()
{
    start();
    Form1->show();
    for (int height : {267, 400, 150}) {
        Form1->resize(812, height);
        QCoreApplication::processEvents();
        QCOMPARE(Form1->ErBox->height(), Form1->centralWidget()->height() / 3);
    }
}

void TestMainWindow::shellTargets()
{
    const QString script = write("tool.sh", "#!/bin/sh\n");
    QFile::setPermissions(script, QFile::permissions(script) | QFileDevice::ExeOwner);
    const QString notes = write("notes.txt", "x");
    const struct {
        QString command;
        ShellTarget::Kind kind;
        QString target;
    } cases[] = {
        {script, ShellTarget::Program, script},
        {notes, ShellTarget::Document, notes},
        {m_dir->path(), ShellTarget::Document, m_dir->path()},
        {"sh", ShellTarget::Program, QStandardPaths::findExecutable("sh")},
        {"https://example.org/manual", ShellTarget::Url, "https://example.org/manual"},
        {script + " --with-argument", ShellTarget::Nothing, ""},
        {"no such tool", ShellTarget::Nothing, ""},
        {"C:tool.exe", ShellTarget::Nothing, ""},
        {"", ShellTarget::Nothing, ""},
    };
    for (const auto& c : cases) {
        const ShellTarget target = shellTarget(c.command);
        QCOMPARE(target.kind, c.kind);
        QCOMPARE(target.target, c.target);
    }
}

void TestMainWindow::menuItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("inFileMenu");   // otherwise on the menu bar itself
    QTest::addColumn<int>("position");      // in its menu, 0 first ("File" is first on the bar)
    QTest::newRow("New") << "Nov1" << "New" << true << 0;
    QTest::newRow("Open") << "Otevt1" << "Open" << true << 1;
    QTest::newRow("Save") << "Ulo" << "Save" << true << 2;
    QTest::newRow("Save As") << "Uloitjako1" << "Save As" << true << 3;
    QTest::newRow("Close File") << "Zavt1" << "Close File" << true << 4;
    QTest::newRow("separator") << "N1" << "" << true << 5;
    QTest::newRow("Close Zelvar") << "ZavtZelvar1" << "Close Zelvar" << true << 6;
    QTest::newRow("Check") << "Kontroluj1" << "Check" << false << 1;
    QTest::newRow("Debug") << "Kompiluj1" << "Debug" << false << 2;
    QTest::newRow("Macro") << "Sklad1" << "Macro" << false << 3;
    QTest::newRow("Setup") << "Vnitn1" << "Setup" << false << 4;
    QTest::newRow("Help") << "Help1" << "Help" << false << 5;
}

void TestMainWindow::menuItems()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, inFileMenu);
    QFETCH(int, position);
    start();
    auto* file = Form1->findChild<QMenu*>("Soubor1");
    QVERIFY(file);
    // Captions as shown; the & marks an entry's Alt key.
    QCOMPARE(file->title().remove('&'), QString("File"));
    QCOMPARE(Form1->menuBar()->actions().value(0), file->menuAction());
    auto* item = Form1->findChild<QAction*>(name);
    QVERIFY(item);
    QCOMPARE(item->isSeparator(), name == "N1");
    if (!item->isSeparator())
        QCOMPARE(item->text().remove('&'), caption);
    QCOMPARE((inFileMenu ? file->actions() : Form1->menuBar()->actions()).indexOf(item), position);
    // Every entry of the menu bar has its Alt key; Ctrl+Q closes Zelvar.
    for (QAction* entry : Form1->menuBar()->actions())
        QVERIFY2(entry->text().contains('&'), qPrintable(entry->text()));
    QCOMPARE(Form1->ZavtZelvar1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void TestMainWindow::unsavedChangesAreAskedFor_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("textKept");     // the edited text is still in the editor
    QTest::addColumn<QByteArray>("file");   // the source file afterwards
    for (const char* command : {"New", "Open", "Close Zelvar"}) {
        const bool closing = QByteArray(command) == "Close Zelvar";
        QTest::addRow("%s, Save", command) << command << int(QMessageBox::Save) << closing << QByteArray("EDITED\r\n");
        QTest::addRow("%s, Discard", command) << command << int(QMessageBox::Discard) << closing << QByteArray("OLD\r\n");
        QTest::addRow("%s, Cancel", command) << command << int(QMessageBox::Cancel) << true << QByteArray("OLD\r\n");
    }
}

void TestMainWindow::unsavedChangesAreAskedFor()
{
    QFETCH(QString, command);
    QFETCH(int, answer);
    QFETCH(bool, textKept);
    QFETCH(QByteArray, file);
    const QString source = write("work.M51", "OLD\r\n");
    m_openAnswer = write("other.M51", "OTHER\r\n");
    start();
    Form1->OpenSourceFile(source);
    // An unchanged text goes without a question.
    Form1->Nov1Click();
    QVERIFY(m_asked.isEmpty());
    Form1->OpenSourceFile(source);
    Ed->M->selectAll();
    Ed->M->insertPlainText("EDITED");
    m_saveChangesAnswer = answer;
    if (command == "New")
        Form1->Nov1Click();
    else if (command == "Open")
        Form1->Otevt1Click();
    else
        Form1->close();
    QCOMPARE(m_asked, QStringList{QDir::toNativeSeparators(source)});
    QCOMPARE(Ed->M->toPlainText() == "EDITED", textKept);
    QCOMPARE(Ed->windowTitle() == source, textKept || command == "Close Zelvar");
    QCOMPARE(readFileBytes(source).bytes, file);
}

void TestMainWindow::modifiedShowsInTitleAndStatusBar()
{
    const QString source = write("m.M51", "A\r\n");
    start();
    Form1->OpenSourceFile(source);
    QCOMPARE(Form1->windowTitle(), QString("Zelvar v3.0b"));
    QVERIFY(Form1->modifiedStatus->isHidden());
    Ed->M->insertPlainText("B");
    QCOMPARE(Form1->windowTitle(), QString("Zelvar v3.0b - m.M51 (modified)"));
    QVERIFY(!Form1->modifiedStatus->isHidden());
    // The caption stays the plain path that the other commands read.
    QCOMPARE(Ed->windowTitle(), source);
    Form1->UloClick(false);
    QCOMPARE(Form1->windowTitle(), QString("Zelvar v3.0b"));
    QVERIFY(Form1->modifiedStatus->isHidden());
}

void TestMainWindow::statusBarShowsTheLastCommand()
{
    const QString source = write("st.M51", "FOO\r\nBAR\r\n");
    start();
    Form1->OpenSourceFile(source);
    Form1->buildStatus->setText("Build finished 10:00:00");
    Form1->Kontroluj1->trigger();
    QCOMPARE(Form1->statusBar()->currentMessage(), QString("Check: 2 errors"));
    QVERIFY(Form1->buildStatus->text().isEmpty());
    Ed->M->setPlainText("PROCESOR 51");
    Form1->Kontroluj1->trigger();
    QCOMPARE(Form1->statusBar()->currentMessage(), QString("Check: no errors"));
}

void TestMainWindow::toolBarFollowsSetupAtOnce()
{
    start();
    QVERIFY(Form1->Panel1->isHidden());
    Nastav->Edit13->setText("Term");
    Nastav->Edit6->setText("/usr/bin/xterm");
    QVERIFY(Nastav->SaveSetup());
    QVERIFY(!Form1->Panel1->isHidden());
    QCOMPARE(Form1->T1->text(), QString("Term"));
    QCOMPARE(SetupFile::readLines(readFileBytes(setupFilePath()).bytes).at(15), QString("Term"));
}

void TestMainWindow::firstStartPlaces()
{
    QFile::remove(TPlacement::ResolveProfilePath("Zelvar"));
    start();
    Ed->show();
    QCoreApplication::processEvents();
    // An 80-column line fits the editor, and every window starts with its
    // frame on the screen.
    QVERIFY(QFontMetrics(Ed->M->font()).horizontalAdvance(QString(80, 'M')) <= Ed->M->viewport()->width());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (QWidget* window : m_zelvar->createdWindows())
        QVERIFY2(window->frameGeometry().top() >= area.top() && window->frameGeometry().left() >= area.left(),
                 qPrintable(window->objectName()));
}

void TestMainWindow::windowLook_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");    // empty: the window itself
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("expected");
    const struct {
        const char* window;
        const char* control;
        const char* property;
        const char* expected;
    } rows[] = {
        {"Form1", "", "size", "812x267"},
        {"Form1", "", "font", "13 bold"},
        {"Form1", "Panel1", "height", "33"},
        {"Form1", "Panel1", "window", "#92d2de"},
        {"Form1", "ProcBox", "base", "#008000"},
        {"Form1", "Definebox", "base", "#c0c0c0"},
        {"Form1", "Definebox", "width", "200"},
        {"Form1", "InlineBox", "base", "#808000"},
        {"Form1", "InlineBox", "width", "200"},
        {"Form1", "ErBox", "base", "#008080"},
        {"Ed", "", "height", "612"},
        {"Ed", "Panel1", "height", "29"},
        {"Ed", "Panel1", "window", "#b2b2b2"},
        {"Ed", "Edit1", "width", "73"},
        {"Ed", "Edit1", "base", "#c2d3c2"},
        {"Ed", "Edit1", "hint", "Hledaný text"},
        {"Ed", "Button1", "text", "Search"},
        {"Ed", "Next", "text", "Next"},
        {"Ed", "M", "base", "#400040"},
        {"Ed", "M", "textColour", "#00ffff"},
        {"Ed", "M", "font", "13 bold"},
        {"Aed", "", "size", "414x403"},
        {"Aed", "M", "base", "#c2d3c2"},
        {"Aed", "M", "font", "11 bold"},
        {"LST", "", "size", "487x300"},
        {"LST", "M", "base", "#c2d3c2"},
        {"LST", "M", "font", "13 bold"},
        {"Help", "", "size", "775x540"},
        {"Help", "RTF", "base", "#808000"},
        {"Nastav", "", "size", "439x401"},
        {"Nastav", "", "window", "#b2b2b2"},
        {"Nastav", "Edit1", "hint", "Jmeno kompilatotu"},
        {"Nastav", "Edit2", "hint", "Jmeno kompilatoru"},
        {"Nastav", "Edit20", "hint", "Jmeno kompilatoru"},
        {"Nastav", "Auto", "text", "Autosave in Debug Process"},
        {"Nastav", "C1", "text", "Compile ASM >> HEX"},
        {"Nastav", "C2", "text", "Compile HEX >> BIN"},
        {"Nastav", "AutoOpen", "text", "AutoOpen při startu"},
        {"Nastav", "Edit13", "width", "89"},
        {"Nastav", "Edit6", "width", "209"},
        {"Nastav", "SpeedButton1", "text", "Save setup"},
        {"Sklad", "", "size", "625x355"},
        {"Sklad", "Panel1", "height", "41"},
        {"Sklad", "Panel1", "window", "#b2b2b2"},
        {"Sklad", "FB", "width", "145"},
        {"Sklad", "FB", "base", "#c2d3c2"},
        {"Sklad", "Edit1", "width", "135"},
        {"Sklad", "SpeedButton1", "text", "Insert to *.M51"},
        {"Sklad", "SpeedButton1", "hint", "Vlož do programu"},
        {"Sklad", "SpeedButton2", "text", "Save Macro"},
        {"Sklad", "SpeedButton2", "hint", "Ulož do skladu pod názvem"},
        {"Sklad", "SpeedButton3", "text", "Delete Macro"},
        {"Sklad", "SpeedButton3", "hint", "Vymazat soubor ze skladu"},
        {"Sklad", "M", "base", "#6b6b6b"},
        {"Sklad", "M", "textColour", "#ffff00"},
        {"Sklad", "M", "font", "16 bold"},
        {"Splash", "", "size", "597x450"},
        {"Splash", "", "window", "#00ffff"},
        {"Splash", "Label1", "text", "Compiling:"},
        {"Splash", "Button1", "text", "START"},
    };
    for (const auto& row : rows)
        QTest::addRow("%s %s %s", row.window, row.control, row.property)
            << QString::fromUtf8(row.window) << QString::fromUtf8(row.control) << QString::fromUtf8(row.property)
            << QString::fromUtf8(row.expected);
}

void TestMainWindow::windowLook()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, property);
    QFETCH(QString, expected);
    // Design sizes are those of a first start, before any placement is stored.
    QFile::remove(TPlacement::ResolveProfilePath("Zelvar"));
    start();
    QWidget* owner = nullptr;
    for (QWidget* w : m_zelvar->createdWindows())
        if (w->objectName() == window)
            owner = w;
    QVERIFY(owner);
    QWidget* widget = control.isEmpty() ? owner : owner->findChild<QWidget*>(control);
    QVERIFY2(widget, qPrintable(control));
    QString actual;
    if (property == "size")
        actual = QStringLiteral("%1x%2").arg(widget->width()).arg(widget->height());
    else if (property == "width")
        actual = QString::number(widget->width());
    else if (property == "height")
        actual = QString::number(widget->height());
    else if (property == "font")
        actual = QStringLiteral("%1%2").arg(widget->font().pixelSize()).arg(widget->font().bold() ? " bold" : "");
    else if (property == "base")
        actual = widget->palette().color(QPalette::Base).name();
    else if (property == "window")
        actual = widget->palette().color(QPalette::Window).name();
    else if (property == "textColour")
        actual = widget->palette().color(QPalette::Text).name();
    else if (property == "hint")
        actual = widget->toolTip();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        actual = button->text();
    else if (auto* label = qobject_cast<QLabel*>(widget))
        actual = label->text();
    QCOMPARE(actual, expected);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
