// The editor's line operations: GoToLine, CaretLine, Search and Next, and the
// line-wise insertion the snippet store uses.

#include "ide/editoru.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void goToLine_data();
    void goToLine();
    void caretLine_data();
    void caretLine();
    void searchAndNext_data();
    void searchAndNext();
    void searchIgnoresCase_data();
    void searchIgnoresCase();
    void insertLines_data();
    void insertLines();
    void longTextLoadsWhole();

private:
    static int selectedLine(const TEd& ed)
    {
        return ed.M->hasSelectedText() ? ed.M->caretLine() : -1;
    }
    static QStringList text(const TEd& ed) { return ed.M->toPlainText().split('\n'); }
};

void TestEditor::goToLine_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("selected");
    QTest::newRow("line 2") << 2 << "CCC";
    QTest::newRow("line 1") << 1 << "BB";
    QTest::newRow("line 0 moves nothing") << 0 << "";
    QTest::newRow("beyond the end") << 3 << "";
    QTest::newRow("negative") << -4 << "";
}

void TestEditor::goToLine()
{
    QFETCH(int, line);
    QFETCH(QString, selected);
    TEd ed;
    ed.setText("A\nBB\nCCC");
    ed.M->setCursorPosition(0, 0);
    ed.GoToLine(line);
    QCOMPARE(ed.M->selectedText(), selected);
    if (!selected.isEmpty())   // the caret ends at the end of the selection
        QCOMPARE(ed.M->caretColumn(), int(selected.size()));
    else
        QCOMPARE(ed.M->caretLine() + ed.M->caretColumn(), 0);
}

void TestEditor::caretLine_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("result");
    QTest::newRow("start of line 2") << "A\nBB\nCCC" << 2 << 0 << 3;
    QTest::newRow("end of line 1") << "A\nBB\nCCC" << 1 << 2 << 2;
    QTest::newRow("start of text") << "A\nBB\nCCC" << 0 << 0 << 1;
    QTest::newRow("empty text") << "" << 0 << 0 << 1;
}

void TestEditor::caretLine()
{
    QFETCH(QString, content);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(int, result);
    TEd ed;
    ed.setText(content);
    ed.M->setCursorPosition(line, column);
    QCOMPARE(ed.CaretLine(), result);
}

void TestEditor::searchAndNext_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("presses");     // S = Search, N = Next
    QTest::addColumn<QList<int>>("selected"); // line after each press, -1 none
    QTest::addColumn<int>("searchStart");
    const QString six = "zero\nsetbit led\nloop\nx\nSETBIT other\nend";
    const QString five = "zero\nsetbit led\nloop\nx\nSETBIT other";
    QTest::newRow("lines 1 and 4") << six << "SetBit" << "SNN" << QList<int>{1, 4, 4} << 5;
    QTest::newRow("match on the last line wraps") << five << "setbit" << "SNN" << QList<int>{1, 4, 1} << 2;
    QTest::newRow("Search starts again") << six << "setbit" << "SNS" << QList<int>{1, 4, 1} << 2;
    QTest::newRow("match on line 0 moves nothing") << six << "ZERO" << "SN" << QList<int>{-1, -1} << 1;
    QTest::newRow("empty needle") << six << "" << "S" << QList<int>{-1} << 0;
    QTest::newRow("not found") << six << "jump" << "S" << QList<int>{-1} << 0;
}

void TestEditor::searchAndNext()
{
    QFETCH(QString, content);
    QFETCH(QString, needle);
    QFETCH(QString, presses);
    QFETCH(QList<int>, selected);
    QFETCH(int, searchStart);
    TEd ed;
    ed.setText(content);
    ed.Edit1->setText(needle);
    for (int i = 0; i < presses.size(); ++i) {
        if (presses[i] == 'S')
            ed.Button1->click();
        else
            ed.Next->click();
        QCOMPARE(selectedLine(ed), selected[i]);
    }
    QCOMPARE(ed.SearchStart, searchStart);
}

void TestEditor::searchIgnoresCase_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("found");
    QTest::newRow("lower finds upper") << "MOV A,#1" << "mov a" << true;
    QTest::newRow("upper finds lower") << "mov a,#1" << "MOV A" << true;
    QTest::newRow("Czech letters") << "; PŘÍLIŠ ŽLUŤOUČKÝ" << "příliš žluťoučký" << true;
    QTest::newRow("substring, no whole words") << "DELAYLOOP" << "lay" << true;
    QTest::newRow("different text") << "LOOP" << "LOOPS" << false;
}

void TestEditor::searchIgnoresCase()
{
    QFETCH(QString, line);
    QFETCH(QString, needle);
    QFETCH(bool, found);
    TEd ed;
    ed.setText("first\n" + line);
    ed.Edit1->setText(needle);
    ed.Button1Click(false);
    QCOMPARE(selectedLine(ed), found ? 1 : -1);
}

void TestEditor::insertLines_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("at");
    QTest::addColumn<QStringList>("result");
    const std::vector<std::string> snippet{"s1", "s2", "s3"};
    QTest::newRow("after line 3") << "l0\nl1\nl2\nl3\nl4\nl5" << 4
                                  << QStringList{"l0", "l1", "l2", "l3", "s1", "s2", "s3", "l4", "l5"};
    QTest::newRow("after the last line") << "l0\nl1" << 2 << QStringList{"l0", "l1", "s1", "s2", "s3"};
    QTest::newRow("far beyond the end") << "l0" << 9 << QStringList{"l0", "s1", "s2", "s3"};
    QTest::newRow("empty editor") << "" << 1 << QStringList{"s1", "s2", "s3"};
}

void TestEditor::insertLines()
{
    QFETCH(QString, content);
    QFETCH(int, at);
    QFETCH(QStringList, result);
    TEd ed;
    ed.setText(content);
    ed.insertLines(at, {"s1", "s2", "s3"});
    QCOMPARE(text(ed), result);
    QCOMPARE(ed.lineCount(), result.size());
}

void TestEditor::longTextLoadsWhole()
{
    QString text;
    for (int i = 0; i < 60000; ++i)
        text += QStringLiteral("line %1\n").arg(i);
    text.chop(1);
    TEd ed;
    ed.setText(text);
    // The whole text is there at once; none of it can be undone, and the
    // file just read is unmodified.
    QCOMPARE(ed.M->lines(), 60000);
    QVERIFY(ed.M->toPlainText().startsWith("line 0\nline 1\n"));
    QVERIFY(!ed.M->isUndoAvailable());
    QVERIFY(!ed.M->isModified());
    ed.setText(text);
    const std::vector<std::string> lines = ed.lines();
    QCOMPARE(lines.size(), size_t(60000));
    QCOMPARE(lines[31234], std::string("line 31234"));
    QCOMPARE(lines.back(), std::string("line 59999"));
    ed.setText(text);
    ed.GoToLine(59998);
    QCOMPARE(ed.M->selectedText(), QStringLiteral("line 59998"));
    // A new text replaces the old one whole.
    ed.setText(text);
    ed.setText("short");
    QTest::qWait(50);
    QCOMPARE(ed.lines(), std::vector<std::string>{"short"});
}

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
