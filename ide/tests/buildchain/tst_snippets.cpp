// The snippet store: the store folder, naming on save, the overwrite question,
// delete exactly as typed, loading from the list, code page 1250 and CR LF,
// and insertion after the editor's caret line.
#include "ide/skladu.h"
#include "ide/tests/buildchain/BuildChainTestSupport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>

namespace {

struct Box {
    QString text, caption;
    bool okCancel;
};

QStringList items(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

} // namespace

class TestSnippets : public QObject {
    Q_OBJECT
    QTemporaryDir m_config;
    QTemporaryDir* m_dir = nullptr;
    TSklad* m_sklad = nullptr;
    QList<Box> m_boxes;
    bool m_answer = true;

    QString store() const { return m_dir->path() + "/Macro"; }

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path())); }
    void init()
    {
        m_dir = new QTemporaryDir;
        m_boxes.clear();
        m_answer = true;
        m_sklad = new TSklad(m_dir->path());
        m_sklad->setMessageBox([this](QWidget*, const QString& text, const QString& caption, bool okCancel) {
            m_boxes.append({text, caption, okCancel});
            return m_answer;
        });
    }
    void cleanup()
    {
        delete m_sklad;
        delete m_dir;
    }

    void saveNaming_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("file");
        QTest::newRow("plain") << "blink" << "blink.Mac";
        QTest::newRow("other extension") << "blink.txt" << "blink.Mac";
        QTest::newRow("several dots") << "a.b.c" << "a.Mac";
        QTest::newRow("blanks trimmed") << "  led on .x" << "led on.Mac";
        QTest::newRow("already .Mac") << "blink.Mac" << "blink.Mac";
    }
    void saveNaming()
    {
        QFETCH(QString, typed);
        QFETCH(QString, file);
        QVERIFY(QFileInfo(store()).isDir()); // made at start
        m_sklad->M->setPlainText("SETBIT P1.0\nCLEARBIT P1.0");
        m_sklad->Edit1->setText(typed);
        m_sklad->SpeedButton2Click();
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(m_sklad->Edit1->text(), file);
        QCOMPARE(readAll(store() + "/" + file), QByteArray("SETBIT P1.0\r\nCLEARBIT P1.0\r\n"));
        QCOMPARE(items(m_sklad->FB), QStringList{file});
    }

    void saveWithoutName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << "";
        QTest::newRow("only an extension") << ".txt";
        QTest::newRow("blank") << "   ";
        QTest::newRow("folder") << "../evil";
        QTest::newRow("sub folder") << "sub/evil";
    }
    void saveWithoutName()
    {
        QFETCH(QString, typed);
        m_sklad->M->setPlainText("X");
        m_sklad->Edit1->setText(typed);
        m_sklad->SpeedButton2Click();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, QString::fromUtf8("Zadej jméno *.Mac"));
        QCOMPARE(m_boxes[0].caption, QString("Chyba"));
        QCOMPARE(m_boxes[0].okCancel, false);
        QCOMPARE(QDir(store()).entryList(QDir::Files | QDir::Hidden).size(), 0);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    }

    void overwriteAsks()
    {
        write(store() + "/blink.Mac", "old\r\n");
        m_sklad->M->setPlainText("new");
        m_sklad->Edit1->setText("blink");
        m_answer = false; // Cancel
        m_sklad->SpeedButton2Click();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, QString::fromUtf8("Přepsat existující soubor?"));
        QCOMPARE(m_boxes[0].caption, QString("Dotaz"));
        QCOMPARE(m_boxes[0].okCancel, true);
        QCOMPARE(readAll(store() + "/blink.Mac"), QByteArray("old\r\n"));
        m_answer = true; // OK
        m_sklad->SpeedButton2Click();
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(readAll(store() + "/blink.Mac"), QByteArray("new\r\n"));
    }

    void deleteExactlyAsTyped()
    {
        write(store() + "/blink.Mac", "x\r\n");
        write(m_dir->path() + "/keep.Mac", "x\r\n");
        m_sklad->refreshList();
        for (const char* typed : {"blink", "../keep.Mac", ""}) {
            m_sklad->Edit1->setText(typed);
            m_sklad->SpeedButton3Click();
        }
        QVERIFY(QFile::exists(store() + "/blink.Mac"));
        QVERIFY(QFile::exists(m_dir->path() + "/keep.Mac"));
        // A click in the list fills in the whole name; then Delete removes it.
        QCOMPARE(items(m_sklad->FB), QStringList{"blink.Mac"});
        m_sklad->FB->setCurrentRow(0);
        m_sklad->FBClick();
        QCOMPARE(m_sklad->Edit1->text(), QString("blink.Mac"));
        m_sklad->SpeedButton3Click();
        QVERIFY(!QFile::exists(store() + "/blink.Mac"));
        QCOMPARE(m_sklad->FB->count(), 0);
        QVERIFY(m_boxes.isEmpty());
    }

    // Code page 1250 text, even bytes it cannot show, and any line ends load
    // into the pane and save back as CR LF lines.
    void loadAndSaveBytes()
    {
        write(store() + "/cz.Mac", "; \x9a\xe8\xf8\x9e \x81\nA 5\rWRP1\r\n");
        write(store() + "/notes.txt", "not a snippet");
        m_sklad->refreshList();
        QCOMPARE(items(m_sklad->FB), QStringList{"cz.Mac"});
        m_sklad->FB->setCurrentRow(0);
        m_sklad->FBClick();
        QCOMPARE(m_sklad->M->toPlainText(), QString::fromUtf8("; ščřž \u0081\nA 5\nWRP1"));
        m_sklad->Edit1->setText("cz2");
        m_sklad->SpeedButton2Click();
        QCOMPARE(readAll(store() + "/cz2.Mac"), QByteArray("; \x9a\xe8\xf8\x9e \x81\r\nA 5\r\nWRP1\r\n"));
    }

    // Moving the selection loads nothing; a click asks before it replaces
    // text typed into the pane, and replaces an unchanged snippet at once.
    void paneLoadsOnClickAndAsks()
    {
        write(store() + "/a.Mac", "AAA\r\n");
        write(store() + "/b.Mac", "BBB\r\n");
        m_sklad->refreshList();
        m_sklad->M->insertPlainText("my own text");
        m_sklad->FB->setCurrentRow(1);
        QCOMPARE(m_sklad->M->toPlainText(), QString("my own text"));
        m_answer = false;
        m_sklad->FBClick();
        QCOMPARE(m_sklad->M->toPlainText(), QString("my own text"));
        QCOMPARE(m_boxes.size(), 1);
        m_answer = true;
        m_sklad->FBClick();
        QCOMPARE(m_sklad->M->toPlainText(), QString("BBB"));
        m_sklad->FB->setCurrentRow(0);
        m_sklad->FBClick();
        QCOMPARE(m_sklad->M->toPlainText(), QString("AAA"));
        QCOMPARE(m_boxes.size(), 2);
    }

    // A snippet that cannot be written is reported and the old entry stays.
    void unwritableSnippet()
    {
        QVERIFY(QDir().mkpath(store() + "/dir.Mac"));
        m_sklad->M->setPlainText("kept");
        m_sklad->Edit1->setText("dir");
        m_sklad->SpeedButton2Click();
        QCOMPARE(m_boxes.size(), 2); // overwrite?, then the failure
        QCOMPARE(m_boxes[1].text, "Cannot create file " + QDir::toNativeSeparators(store() + "/dir.Mac") + "\nIs a folder");
        QVERIFY(QFileInfo(store() + "/dir.Mac").isDir());
        QCOMPARE(m_sklad->M->toPlainText(), QString("kept"));
    }

    void insertAfterCaret_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caretLine"); // 0-based line of the caret
        QTest::addColumn<QString>("expected");
        QTest::newRow("middle") << "L0\nL1\nL2\nL3\nL4\nL5" << 3 << "L0\nL1\nL2\nL3\nS1\nS2\nS3\nL4\nL5";
        QTest::newRow("first line") << "L0\nL1" << 0 << "L0\nS1\nS2\nS3\nL1";
        QTest::newRow("last line") << "L0\nL1" << 1 << "L0\nL1\nS1\nS2\nS3";
        QTest::newRow("empty editor") << "" << 0 << "S1\nS2\nS3";
    }
    void insertAfterCaret()
    {
        QFETCH(QString, text);
        QFETCH(int, caretLine);
        QFETCH(QString, expected);
        QPlainTextEdit editor;
        editor.setPlainText(text);
        QTextCursor c(editor.document()->findBlockByNumber(caretLine));
        c.movePosition(QTextCursor::EndOfBlock);
        editor.setTextCursor(c);
        const int caret = editor.textCursor().position();
        m_sklad->setEditor(&editor);
        m_sklad->M->setPlainText("S1\nS2\nS3");
        m_sklad->SpeedButton1Click();
        QCOMPARE(editor.toPlainText(), expected);
        QCOMPARE(editor.textCursor().position(), caret);
        // One undo step takes the whole snippet out again.
        editor.undo();
        QCOMPARE(editor.toPlainText(), text);
    }

    // The editor's own CaretLine decides where the lines go; an empty pane inserts nothing.
    void insertWithEditorsCaretLine()
    {
        QPlainTextEdit editor;
        editor.setPlainText("L0\nL1\nL2");
        m_sklad->setEditor(&editor, [] { return 2; });
        m_sklad->M->setPlainText("S");
        m_sklad->SpeedButton1Click();
        QCOMPARE(editor.toPlainText(), QString("L0\nL1\nS\nL2"));
        m_sklad->M->clear();
        m_sklad->SpeedButton1Click();
        QCOMPARE(editor.toPlainText(), QString("L0\nL1\nS\nL2"));
    }
};

QTEST_MAIN(TestSnippets)
#include "tst_snippets.moc"
