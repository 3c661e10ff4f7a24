// The editor's parts wired into the windows: Check marks the errors in the
// editor and the lists keep the compiler's entries; recent files and the
// folders the file dialogs start in; undo across the Macro window's
// insertion; a large file read in parts is not "modified".

#include "ide/CodeEditor.h"
#include "ide/SyntaxLexer.h"
#include "ide/ListBox.h"
#include "ide/Main.h"
#include "ide/ProgramFolder.h"
#include "ide/RecentFiles.h"
#include "ide/StartUp.h"
#include "ide/TextFiles.h"
#include "ide/editoru.h"
#include "ide/skladu.h"

#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

class TestEditorWindows : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void checkMarksErrorsInTheEditor();
    void recentFilesAndDialogFolders();
    void undoCoversTheMacroInsertion();
    void largeFileIsNotModified();
    void anotherFileEmptiesTheLists();
    void fileChangedOnDiskAsksToReload();
    void emptyTextShowsTheHint();

private:
    std::unique_ptr<Zelvar> m_zelvar;
    TForm1* Form1 = nullptr;
    TEd* Ed = nullptr;
    TSklad* Sklad = nullptr;
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir->filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (const QString error = writeFileBytes(path, bytes); !error.isEmpty())
            QTest::qFail(qPrintable(error), __FILE__, __LINE__);
        return path;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_openFolder;
};

void TestEditorWindows::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->filePath("config")));
    setProgramFolder(m_dir->path());
    m_zelvar = std::make_unique<Zelvar>();
    Form1 = m_zelvar->windows().main;
    Ed = m_zelvar->windows().editor;
    Sklad = m_zelvar->windows().store;
    Form1->OD1 = [this](QWidget*, const QString& folder) {
        m_openFolder = folder;
        return QString();
    };
}

void TestEditorWindows::cleanup()
{
    m_zelvar.reset();
    setProgramFolder(QString());
}

void TestEditorWindows::checkMarksErrorsInTheEditor()
{
    Form1->OpenSourceFile(write("e.M51", "PROCEDURE MAIN\r\nFOO X\r\nWRMEM 300\r\nENDPROC\r\n"));
    Form1->Kompiluj1Click(false);
    QCOMPARE(Form1->ErBox->items(), (QStringList{"1 FOO X", "2 variable number above 207"}));
    const QMap<int, QString> markers = Ed->M->errorMarkers();
    QCOMPARE(markers.keys(), (QList<int>{1, 2}));
    QCOMPARE(markers.value(1), QStringLiteral("FOO X: unknown statement, no code generated"));
    QVERIFY(markers.value(2).contains("0 to 207"));
    // The reasons show under their lines.
    QCOMPARE(Ed->M->annotation(1), markers.value(1));
    QVERIFY(Ed->highlighter->procedureNames().contains("MAIN"));
    Ed->M->goToLine(0);
    QVERIFY(Ed->M->nextError());
    QVERIFY(Ed->caretStatus->text().startsWith("Line 2, Column 1"));
    QVERIFY(Ed->caretStatus->text().contains("unknown statement"));
    for (const char* heading : {"ProcBoxHeading", "DefineboxHeading", "InlineBoxHeading", "ErBoxHeading"})
        QVERIFY2(Form1->findChild<QLabel*>(heading), heading);
    // A new text drops the old markers.
    Form1->Nov1Click();
    QVERIFY(Ed->M->errorMarkers().isEmpty());
}

void TestEditorWindows::recentFilesAndDialogFolders()
{
    const QString first = write("a/one.M51", "A 1\r\n");
    const QString second = write("b/two.M51", "A 2\r\n");
    Form1->Otevt1Click();
    QCOMPARE(m_openFolder, programFolder());
    Form1->OpenSourceFile(first);
    Form1->OpenSourceFile(second);
    Form1->Otevt1Click();
    QCOMPARE(m_openFolder, QFileInfo(second).absolutePath());
    Form1->Nov1Click();   // untitled: the folder used last
    QVERIFY(!m_zelvar->session().isModified());   // a new text after a file has nothing to save
    Form1->Otevt1Click();
    QCOMPARE(m_openFolder, QFileInfo(second).absolutePath());
    QCOMPARE(Form1->recentFiles()->files(), (QStringList{second, first}));
    // The menu lists them newest first and opens the one chosen.
    emit Form1->recentMenu->aboutToShow();
    const QList<QAction*> items = Form1->recentMenu->actions();
    QVERIFY(items.size() >= 2);
    QVERIFY(items[1]->text().endsWith("one.M51"));
    items[1]->trigger();
    QCOMPARE(Ed->windowTitle(), first);
    // Kept in the profile for the next start.
    RecentFiles stored;
    stored.load();
    QCOMPARE(stored.files(), (QStringList{first, second}));
}

void TestEditorWindows::undoCoversTheMacroInsertion()
{
    Ed->setText("L0\nL1");
    Ed->M->setCursorPosition(1, 0);
    Ed->M->insertPlainText("typed ");
    Sklad->M->setPlainText("x\ny");
    Sklad->SpeedButton1Click();
    QCOMPARE(Ed->M->toPlainText(), QStringLiteral("L0\ntyped L1\nx\ny"));
    Ed->M->undo();
    QCOMPARE(Ed->M->toPlainText(), QStringLiteral("L0\ntyped L1"));
    Ed->M->undo();
    QCOMPARE(Ed->M->toPlainText(), QStringLiteral("L0\nL1"));
    Ed->M->redo();
    Ed->M->redo();
    QCOMPARE(Ed->M->toPlainText(), QStringLiteral("L0\ntyped L1\nx\ny"));
}

void TestEditorWindows::largeFileIsNotModified()
{
    QStringList lines;
    for (int i = 0; i < 60000; ++i)
        lines << QStringLiteral("SETBIT P1.0 ; %1").arg(i);
    Ed->setText(lines.join('\n'));
    QCOMPARE(Ed->lineCount(), 60000);
    QVERIFY(!Ed->M->isModified());
    QVERIFY(!m_zelvar->session().isModified());
}

void TestEditorWindows::anotherFileEmptiesTheLists()
{
    Form1->OpenSourceFile(write("a.M51", "PROCEDURE MAIN\r\nFOO\r\nENDPROC\r\n"));
    Form1->Kompiluj1Click(false);
    QVERIFY(Form1->ProcBox->count() > 0 && Form1->ErBox->count() > 0);
    Form1->OpenSourceFile(write("b.M51", "NOP\r\n"));
    for (ListBox* box : {Form1->ProcBox, Form1->Definebox, Form1->InlineBox, Form1->ErBox})
        QCOMPARE(box->count(), 0);
    QVERIFY(Form1->statusBar()->currentMessage().isEmpty());
    QVERIFY(Ed->M->errorMarkers().isEmpty());
}

void TestEditorWindows::fileChangedOnDiskAsksToReload()
{
    const QString path = write("c.M51", "NOP\r\n");
    Form1->OpenSourceFile(path);
    QStringList asked;
    bool answer = false;
    Form1->askReload = [&](QWidget*, const QString& file, bool modified) {
        asked << QStringLiteral("%1 %2").arg(QFileInfo(file).fileName()).arg(modified);
        return answer;
    };
    // Refused: the text stays, and so does the question's memory of the change.
    QCOMPARE(writeFileBytes(path, "SETBIT P1.0\r\n"), QString());
    QTRY_COMPARE(asked, QStringList{"c.M51 0"});
    QCOMPARE(Ed->M->toPlainText(), QStringLiteral("NOP"));
    // With changes of the user's own, the question says so; yes reloads.
    Ed->M->insertPlainText("; mine ");
    answer = true;
    QCOMPARE(writeFileBytes(path, "CLEARBIT P1.0\r\n"), QString());
    QTRY_COMPARE(asked.size(), 2);
    QCOMPARE(asked.last(), QStringLiteral("c.M51 1"));
    QCOMPARE(Ed->M->toPlainText(), QStringLiteral("CLEARBIT P1.0"));
    QVERIFY(!m_zelvar->session().isModified());
    // Our own save is no change on disk.
    Ed->M->insertPlainText("; x ");
    Form1->UloClick(false);
    QTest::qWait(200);
    QCOMPARE(asked.size(), 2);
}

void TestEditorWindows::emptyTextShowsTheHint()
{
    Ed->show();
    Ed->setText(QString());
    QVERIFY(Ed->emptyHint->isVisible());
    QVERIFY(Ed->emptyHint->text().contains("sample"));
    Ed->M->insertPlainText("N");
    QVERIFY(!Ed->emptyHint->isVisible());
    Ed->M->selectAll();
    Ed->M->removeSelectedText();
    QVERIFY(Ed->emptyHint->isVisible());
}

QTEST_MAIN(TestEditorWindows)
#include "tst_editorwindows.moc"
