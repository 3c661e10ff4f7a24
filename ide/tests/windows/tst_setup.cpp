// The setup file Zelvar.INI and the setup dialog: reading any line ends and
// lengths, the "A" flag rule, writing exactly 24 lines, and the tool bar the
// main window lays out from the settings.

#include "ide/Main.h"
#include "ide/Nastavu.h"
#include "ide/ProgramFolder.h"
#include "ide/Session.h"
#include "ide/TextFiles.h"
#include "ide/WindowSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

// A session that has read the setup file, the main window and the dialog.
struct SetupWindows {
    SetupWindows() { session.loadSetup(); }
    Session session;
    WindowSet none;
    TForm1 form{session, none};
    TNastav setup{session};
};

class TestSetup : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void noFileMeansEmpty();
    void readsAnyLineEnd_data();
    void readsAnyLineEnd();
    void shortFileIsPadded();
    void flagRule_data();
    void flagRule();
    void saveWritesExactly24Lines();
    void hiddenFieldsSurvive();
    void unreadableFileSkipsTheRest();
    void saveFailureKeepsDialogOpen();
    void toolBar_data();
    void toolBar();
    void buttonWidthsFollowTheFont();
    void dataFolderIsFilledWithoutOverwriting();
    void debugChoicesAreKeptInTheProfile();

private:
    void writeSetup(const QByteArray& bytes) { QCOMPARE(writeFileBytes(setupFilePath(), bytes), QString()); }
    QByteArray lines(const QStringList& list)
    {
        return SetupFile::fileBytes(list);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_errors;
};

void TestSetup::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    setProgramFolder(m_dir->path());
    m_errors.clear();
    setErrorHandler([this](const QString& message) { m_errors << message; });
}

void TestSetup::cleanup()
{
    setErrorHandler(nullptr);
    setProgramFolder(QString());
}

void TestSetup::noFileMeansEmpty()
{
    SetupWindows windows;
    [[maybe_unused]] TForm1& form = windows.form;
    [[maybe_unused]] TNastav& setup = windows.setup;
    QVERIFY(m_errors.isEmpty());
    QVERIFY(!setup.Auto->isChecked() && !setup.C1->isChecked() && !setup.AutoOpen->isChecked());
    QVERIFY(setup.Edit4->text().isEmpty() && setup.Edit6->text().isEmpty());
    QVERIFY(form.Panel1->isHidden());
    QCOMPARE(setup.LB.size(), SetupFile::PaddedLines);
}

void TestSetup::readsAnyLineEnd_data()
{
    QTest::addColumn<QByteArray>("eol");
    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR") << QByteArray("\r");
}

void TestSetup::readsAnyLineEnd()
{
    QFETCH(QByteArray, eol);
    QByteArray file;
    for (const char* line : {"asm51", "", "", "A", "/home/u/p\xf8\xedklad.M51", "A", "F", "7", "/usr/bin/terminal"})
        file += QByteArray(line) + eol;
    writeSetup(file);
    SetupWindows windows;
    [[maybe_unused]] TForm1& form = windows.form;
    [[maybe_unused]] TNastav& setup = windows.setup;
    QCOMPARE(setup.Edit1->text(), QStringLiteral("asm51"));
    QVERIFY(setup.Auto->isChecked());
    QCOMPARE(setup.Edit4->text(), QStringLiteral("/home/u/příklad.M51"));
    QVERIFY(setup.C1->isChecked());
    QVERIFY(!setup.C2->isChecked());
    QCOMPARE(setup.Edit5->text(), QStringLiteral("7"));
    QCOMPARE(setup.toolCommand(1), QStringLiteral("/usr/bin/terminal"));
}

void TestSetup::shortFileIsPadded()
{
    writeSetup("a\r\nb\r\nc\r\nA\r\nfile");
    SetupWindows windows;
    [[maybe_unused]] TForm1& form = windows.form;
    [[maybe_unused]] TNastav& setup = windows.setup;
    QVERIFY(setup.Auto->isChecked());
    QCOMPARE(setup.Edit4->text(), QStringLiteral("file"));
    QVERIFY(!setup.C1->isChecked() && !setup.C2->isChecked() && !setup.AutoOpen->isChecked());
    QVERIFY(setup.Edit5->text().isEmpty() && setup.Edit12->text().isEmpty() && setup.Edit20->text().isEmpty());
    QVERIFY(setup.LB.size() >= SetupFile::PaddedLines);
}

void TestSetup::flagRule_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("set");
    QTest::newRow("A") << "A" << true;
    QTest::newRow("F") << "F" << false;
    QTest::newRow("lower-case a") << "a" << false;
    QTest::newRow("A and a blank") << "A " << false;
    QTest::newRow("empty") << "" << false;
}

void TestSetup::flagRule()
{
    QFETCH(QString, line);
    QFETCH(bool, set);
    QStringList file(24);
    file[3] = line;
    writeSetup(lines(file));
    SetupWindows windows;
    [[maybe_unused]] TForm1& form = windows.form;
    [[maybe_unused]] TNastav& setup = windows.setup;
    QCOMPARE(setup.Auto->isChecked(), set);
    QVERIFY(setup.SaveSetup());
    QCOMPARE(SetupFile::readLines(readFileBytes(setupFilePath()).bytes).at(3), set ? QStringLiteral("A") : QStringLiteral("F"));
}

void TestSetup::saveWritesExactly24Lines()
{
    QStringList file;
    for (int i = 1; i <= 30; ++i)
        file << QStringLiteral("line %1").arg(i);
    writeSetup(lines(file));
    SetupWindows windows;
    [[maybe_unused]] TForm1& form = windows.form;
    [[maybe_unused]] TNastav& setup = windows.setup;
    QVERIFY(setup.SaveSetup());
    const QByteArray saved = readFileBytes(setupFilePath()).bytes;
    QCOMPARE(saved.count("\r\n"), 24);
    QVERIFY(saved.endsWith("line 24\r\n"));
    QVERIFY(!saved.contains("line 25"));
    // Flag lines are written as A or F whatever they held.
    const QStringList read = SetupFile::readLines(saved);
    for (int flagLine : {4, 6, 7, 23})
        QCOMPARE(read.at(flagLine - 1), QStringLiteral("F"));
}

void TestSetup::hiddenFieldsSurvive()
{
    QStringList file(24);
    file[0] = "ASM51.PIF";
    file[1] = "two";
    file[2] = "three";
    file[5] = "A";
    file[6] = "A";
    file[22] = "A";
    file[23] = "last";
    writeSetup(lines(file));
    SetupWindows windows;
    [[maybe_unused]] TForm1& form = windows.form;
    [[maybe_unused]] TNastav& setup = windows.setup;
    setup.Edit6->setText("/usr/bin/xterm");
    QVERIFY(setup.SaveSetup());
    file[3] = "F";
    file[7] = "";
    file[8] = "/usr/bin/xterm";
    QCOMPARE(readFileBytes(setupFilePath()).bytes, lines(file));
}

void TestSetup::unreadableFileSkipsTheRest()
{
    // A folder in the file's place exists but cannot be read as a file.
    QVERIFY(QDir(m_dir->path()).mkdir("Zelvar.INI"));
    Session session;
    WindowSet none;
    TForm1 form(session, none);
    form.T1->setText("design");
    session.loadSetup();
    TNastav setup(session);
    QCOMPARE(m_errors, QStringList{QStringLiteral("Cannot open file ") + QDir::toNativeSeparators(setupFilePath())});
    QCOMPARE(form.T1->text(), QStringLiteral("design"));
}

void TestSetup::saveFailureKeepsDialogOpen()
{
    SetupWindows windows;
    [[maybe_unused]] TForm1& form = windows.form;
    [[maybe_unused]] TNastav& setup = windows.setup;
    setProgramFolder(m_dir->filePath("missing/folder"));
    setup.show();
    QVERIFY(!setup.SaveSetup());
    QVERIFY(setup.isVisible());
    QCOMPARE(m_errors.size(), 1);
    QVERIFY(m_errors.first().startsWith("Cannot create file "));
}

void TestSetup::toolBar_data()
{
    QTest::addColumn<QStringList>("commands");   // tools 1 … 7
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<bool>("panel");
    QTest::addColumn<QString>("visible");        // 'x' for a visible button, '.' for a hidden one
    QStringList none(7);
    QStringList caption5 = none;
    caption5[4] = "Five";
    QStringList command1 = none;
    command1[0] = "/usr/bin/terminal";
    QStringList command7 = none;
    command7[6] = "/usr/bin/seven";
    QStringList captions12 = none;
    captions12[0] = "Term";
    captions12[1] = "Files";
    QTest::newRow("nothing") << none << none << false << "x......";
    QTest::newRow("caption of tool 5 only") << none << caption5 << false << "x...x..";
    QTest::newRow("command of tool 1 only") << command1 << none << true << "x......";
    QTest::newRow("command of tool 7 does not count") << command7 << none << false << "x......";
    QTest::newRow("captions 1 and 2") << none << captions12 << true << "xx.....";
}

void TestSetup::toolBar()
{
    QFETCH(QStringList, commands);
    QFETCH(QStringList, captions);
    QFETCH(bool, panel);
    QFETCH(QString, visible);
    QStringList file(24);
    for (int k = 0; k < 7; ++k) {
        file[8 + k] = commands[k];
        file[15 + k] = captions[k];
    }
    writeSetup(lines(file));
    SetupWindows windows;
    [[maybe_unused]] TForm1& form = windows.form;
    [[maybe_unused]] TNastav& setup = windows.setup;
    QCOMPARE(!form.Panel1->isHidden(), panel);
    int left = 5;
    for (int k = 1; k <= 7; ++k) {
        QToolButton* button = form.toolButton(k);
        QCOMPARE(!button->isHidden(), visible[k - 1] == QLatin1Char('x'));
        QCOMPARE(button->text(), captions[k - 1]);
        QCOMPARE(button->toolTip(), commands[k - 1]);
        QCOMPARE(button->geometry().top(), 6);
        QCOMPARE(button->height(), 22);
        QCOMPARE(button->x(), left);
        if (captions[k - 1].isEmpty())
            QCOMPARE(button->width(), 10);
        left += button->width() + 5;
    }
}

void TestSetup::buttonWidthsFollowTheFont()
{
    QStringList file(24);
    file[15] = "Term";
    file[16] = "A longer caption";
    writeSetup(lines(file));
    SetupWindows windows;
    [[maybe_unused]] TForm1& form = windows.form;
    [[maybe_unused]] TNastav& setup = windows.setup;
    const QFontMetrics metrics(form.font());
    QCOMPARE(form.T1->width(), metrics.horizontalAdvance("Term") + 10);
    QCOMPARE(form.T2->width(), metrics.horizontalAdvance("A longer caption") + 10);
    QCOMPARE(form.T2->x(), 5 + form.T1->width() + 5);
    QCOMPARE(form.T3->x(), form.T2->x() + form.T2->width() + 5);
    QCOMPARE(form.T3->width(), 10);
    QVERIFY(form.T2->width() > form.T1->width());
}

void TestSetup::dataFolderIsFilledWithoutOverwriting()
{
    QTemporaryDir installed, data;
    QDir(installed.path()).mkpath("Macro");
    QCOMPARE(writeFileBytes(installed.filePath("Zelvar.rtf"), "{\\rtf1 shipped}"), QString());
    QCOMPARE(writeFileBytes(installed.filePath("compile.sh"), "shipped"), QString());
    QCOMPARE(writeFileBytes(installed.filePath("Macro/frame.Mac"), "PROCESOR 51\r\n"), QString());
    QCOMPARE(writeFileBytes(data.filePath("compile.sh"), "the user's own"), QString());
    copyMissingFiles(installed.path(), data.path() + "/Zelvar");
    copyMissingFiles(installed.path(), data.path());
    QCOMPARE(readFileBytes(data.filePath("compile.sh")).bytes, QByteArray("the user's own"));
    QCOMPARE(readFileBytes(data.filePath("Zelvar.rtf")).bytes, QByteArray("{\\rtf1 shipped}"));
    QCOMPARE(readFileBytes(data.filePath("Macro/frame.Mac")).bytes, QByteArray("PROCESOR 51\r\n"));
    QCOMPARE(readFileBytes(data.filePath("Zelvar/Macro/frame.Mac")).bytes, QByteArray("PROCESOR 51\r\n"));
    // A data folder made for a program folder that is not installed gets
    // what Debug and Help need from the program's own folder.
    QTemporaryDir fresh;
    QCOMPARE(writeFileBytes(installed.filePath("Zelvar.INI"), "asm\r\n"), QString());
    QCOMPARE(writeFileBytes(installed.filePath(programBaseName() + ".rtf"), "{\\rtf1 help}"), QString());
    QCOMPARE(writeFileBytes(installed.filePath("Zelvar"), "the program itself"), QString());
    copyProgramFiles(installed.path(), fresh.path());
    for (const QString& name : {programBaseName() + ".rtf", QString("Zelvar.INI"), QString("compile.sh"),
                               QString("Macro/frame.Mac")})
        QVERIFY2(QFileInfo::exists(fresh.filePath(name)), qPrintable(name));
    QVERIFY(!QFileInfo::exists(fresh.filePath("Zelvar")));
    // The help file and the setup file lie in the program folder.
    QCOMPARE(helpFilePath(), m_dir->path() + "/" + programBaseName() + ".rtf");
    QCOMPARE(setupFilePath(), m_dir->path() + "/Zelvar.INI");
    QVERIFY(!programBaseName().contains('.'));
}

// The simulator and SDCC chosen in the dialog are kept in the profile at
// once (not in Zelvar.INI), told to whoever listens, and come back with the
// next run.
void TestSetup::debugChoicesAreKeptInTheProfile()
{
    QString chosen;
    {
        SetupWindows windows;
        connect(&windows.setup, &TNastav::sdccChosen, this, [&chosen](const QString& program) { chosen = program; });
        windows.setup.Sdcc->setText(QStringLiteral("  /opt/sdcc/bin/sdcc "));
        emit windows.setup.Sdcc->editingFinished();
        windows.setup.Simulator->setCurrentIndex(1);
    }
    QCOMPARE(chosen, QStringLiteral("/opt/sdcc/bin/sdcc"));
    {
        SetupWindows again;
        QCOMPARE(again.setup.Sdcc->text(), QStringLiteral("/opt/sdcc/bin/sdcc"));
        QCOMPARE(again.setup.Simulator->currentIndex(), 1);
        QCOMPARE(again.session.profile().sdccProgram(), QStringLiteral("/opt/sdcc/bin/sdcc"));
    }
    QVERIFY(m_errors.isEmpty());
    QFile::remove(ProfileStore::resolvePath(QStringLiteral("Zelvar")));
}

QTEST_MAIN(TestSetup)
#include "tst_setup.moc"
