// The editor's parts on their own: syntax classes of M51 and 8051 lines, the
// lazy colouring, markers that travel with their lines, the error keys,
// breakpoints, Find and Replace, the recent files and the error reasons.

#include "CodeEditor.h"
#include "FindBar.h"
#include "LineHighlighter.h"
#include "RecentFiles.h"
#include "ResultLists.h"
#include "SyntaxRules.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

using syntax::Kind;
using syntax::Span;

Q_DECLARE_METATYPE(std::vector<Span>)

namespace {

QString numbered(int lines)
{
    QStringList text;
    for (int i = 0; i < lines; ++i)
        text << QStringLiteral("SETBIT P1.0 ; line %1").arg(i);
    return text.join(QLatin1Char('\n'));
}

} // namespace

class TestEditorParts : public QObject {
    Q_OBJECT
private slots:
    void m51Spans_data();
    void m51Spans();
    void asmSpans_data();
    void asmSpans();
    void colouringIsLazy();
    void markersTravelWithTheirLines();
    void errorKeysGoRound();
    void breakpointsAndExecutionLine();
    void goToLineCentres();
    void findAndReplace();
    void recentFiles();
    void errorReasons_data();
    void errorReasons();
};

void TestEditorParts::m51Spans_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<std::vector<Span>>("spans");
    QTest::newRow("keyword, operand, comment")
        << "SETBIT P1.0 ; led on" << std::vector<Span>{{0, 6, Kind::Operation}, {12, 8, Kind::Comment}};
    QTest::newRow("lower case, number")
        << "  wrp1 0FFH" << std::vector<Span>{{2, 4, Kind::Data}, {7, 4, Kind::Number}};
    QTest::newRow("procedure defined")
        << "PROCEDURE Blink" << std::vector<Span>{{0, 9, Kind::Structure}, {10, 5, Kind::Procedure}};
    QTest::newRow("procedure called")
        << "BLINK 7" << std::vector<Span>{{0, 5, Kind::Procedure}, {6, 1, Kind::Number}};
    QTest::newRow("buffer prefix and action")
        << "3@IFA=0 EXITPROC"
        << std::vector<Span>{{0, 2, Kind::Number}, {2, 5, Kind::Flow}, {8, 8, Kind::Structure}};
    QTest::newRow("counted loop names its procedure")
        << "LOOP1 FLASH" << std::vector<Span>{{0, 5, Kind::Flow}, {6, 5, Kind::Procedure}};
    QTest::newRow("ASM: line")
        << "ASM: MOV A,@R0 ;x"
        << std::vector<Span>{{0, 4, Kind::AsmPrefix}, {4, 11, Kind::AsmText}, {15, 2, Kind::Comment}};
    QTest::newRow("special-function register write") << "WRTMOD 21H"
                                                     << std::vector<Span>{{0, 6, Kind::Data}, {7, 3, Kind::Number}};
    QTest::newRow("unknown word stays plain") << "FOO X" << std::vector<Span>{};
    QTest::newRow("comment only") << ";; all" << std::vector<Span>{{0, 6, Kind::Comment}};
}

void TestEditorParts::m51Spans()
{
    QFETCH(QString, line);
    QFETCH(std::vector<Span>, spans);
    QCOMPARE(syntax::m51Line(line, {QStringLiteral("BLINK")}), spans);
}

void TestEditorParts::asmSpans_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<std::vector<Span>>("spans");
    QTest::newRow("label, mnemonic, registers, immediate")
        << "LP0001: Mov A,#005 ; x"
        << std::vector<Span>{{0, 7, Kind::Label}, {8, 3, Kind::Mnemonic}, {12, 1, Kind::Register},
                             {14, 4, Kind::Number}, {19, 3, Kind::Comment}};
    QTest::newRow("directive and bit") << "LED BIT P1.0"
                                       << std::vector<Span>{{4, 3, Kind::Directive}, {8, 4, Kind::Register}};
    QTest::newRow("the compiler's refusal")
        << "ERROR - variable number above 207" << std::vector<Span>{{0, 33, Kind::Error}};
    QTest::newRow("module line") << "$MOD51" << std::vector<Span>{{0, 6, Kind::Directive}};
}

void TestEditorParts::asmSpans()
{
    QFETCH(QString, line);
    QFETCH(std::vector<Span>, spans);
    QCOMPARE(syntax::asm51Line(line), spans);
}

void TestEditorParts::colouringIsLazy()
{
    CodeEditor editor;
    editor.resize(400, 300);
    auto* highlighter = new M51Highlighter(&editor);
    editor.setPlainText(numbered(20000));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.viewport()->repaint();
    const qint64 first = highlighter->classifiedLines();
    QVERIFY(first > 5);
    QVERIFY(first < 200);
    // The visible line is coloured; one keystroke recolours about one line.
    const QTextBlock top = editor.document()->firstBlock();
    QVERIFY(!top.layout()->formats().isEmpty());
    QCOMPARE(top.layout()->formats().first().format.foreground().color(),
             M51Highlighter::defaultPalette().value(Kind::Operation).foreground().color());
    QTest::keyClick(editor.viewport(), Qt::Key_X);
    editor.viewport()->repaint();
    QVERIFY(highlighter->classifiedLines() - first <= 2);
    // New procedure names colour the calls already on the screen.
    highlighter->setProcedureNames({QStringLiteral("XSETBIT")});
    editor.viewport()->repaint();
    QCOMPARE(editor.document()->firstBlock().layout()->formats().first().format.fontUnderline(), true);
}

void TestEditorParts::markersTravelWithTheirLines()
{
    CodeEditor editor;
    editor.setPlainText(numbered(10));
    editor.setErrorMarkers({{2, QStringLiteral("two")}, {5, QStringLiteral("five")}});
    QTextCursor cursor(editor.document()->findBlockByNumber(1));
    cursor.insertText(QStringLiteral("new line\n"));
    QCOMPARE(editor.errorMarkers(), (QMap<int, QString>{{3, "two"}, {6, "five"}}));
    QCOMPARE(editor.errorAt(6), QStringLiteral("five"));
    // The marked line deleted: its marker goes with it.
    cursor = QTextCursor(editor.document()->findBlockByNumber(3));
    cursor.select(QTextCursor::BlockUnderCursor);
    cursor.removeSelectedText();
    QCOMPARE(editor.errorMarkers().keys(), QList<int>{5});
    editor.setErrorMarkers({});
    QVERIFY(editor.errorMarkers().isEmpty());
}

void TestEditorParts::errorKeysGoRound()
{
    CodeEditor editor;
    editor.setPlainText(numbered(10));
    QVERIFY(!editor.nextError());
    editor.setErrorMarkers({{2, "a"}, {7, "b"}});
    editor.goToLine(4);
    const QList<std::pair<bool, int>> steps = {{true, 7}, {true, 2}, {true, 7}, {false, 2}, {false, 7}};
    for (const auto& [forward, line] : steps) {
        QVERIFY(forward ? editor.nextError() : editor.previousError());
        QCOMPARE(editor.caretLine(), line);
    }
    editor.show();   // the keys work in the shown pane
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QTest::keyClick(&editor, Qt::Key_F8);
    QCOMPARE(editor.caretLine(), 2);
    QTest::keyClick(&editor, Qt::Key_F8, Qt::ShiftModifier);
    QCOMPARE(editor.caretLine(), 7);
}

void TestEditorParts::breakpointsAndExecutionLine()
{
    CodeEditor editor;
    editor.setPlainText(numbered(10));
    editor.resize(300, 400);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QSignalSpy toggled(&editor, &CodeEditor::breakpointToggled);
    editor.goToLine(3);
    QTest::keyClick(&editor, Qt::Key_F2);
    editor.toggleBreakpoint(5);
    editor.toggleBreakpoint(5);
    QCOMPARE(editor.breakpoints(), QSet<int>{3});
    QCOMPARE(toggled.size(), 3);
    QCOMPARE(toggled.at(0), (QVariantList{3, true}));
    QCOMPARE(toggled.at(2), (QVariantList{5, false}));
    editor.setBreakpoints({1, 8});
    QCOMPARE(editor.breakpoints(), (QSet<int>{1, 8}));
    // A click in the margin toggles the line under the mouse.
    const QRect line1 = editor.cursorRect(QTextCursor(editor.document()->findBlockByNumber(1)));
    QTest::mouseClick(editor.gutter(), Qt::LeftButton, {}, QPoint(3, line1.center().y()));
    QCOMPARE(editor.breakpoints(), QSet<int>{8});
    editor.setExecutionLine(4);
    QCOMPARE(editor.executionLine(), 4);
    QCOMPARE(editor.caretLine(), 3);   // the caret stays where the user left it
}

void TestEditorParts::goToLineCentres()
{
    CodeEditor editor;
    editor.resize(300, 300);
    editor.setPlainText(numbered(1000));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QVERIFY(editor.goToLine(500, true));
    QCOMPARE(editor.textCursor().selectedText(), QStringLiteral("SETBIT P1.0 ; line 500"));
    const int y = editor.cursorRect().center().y();
    QVERIFY2(qAbs(y - editor.viewport()->height() / 2) < editor.fontMetrics().height() * 2, qPrintable(QString::number(y)));
    QVERIFY(!editor.goToLine(1000));
    editor.askLine = [](QWidget*, int current, int last) {
        return current == 501 && last == 1000 ? 20 : 0;
    };
    QTest::keyClick(&editor, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(editor.caretLine(), 19);
}

void TestEditorParts::findAndReplace()
{
    QPlainTextEdit pane;
    pane.setPlainText("setbit a\nSETBIT b\nclearbit c\nsetbitx");
    FindBar bar(&pane);
    bar.open(true);
    bar.findField()->setText("SETBIT");
    QVERIFY(bar.findNext());
    QCOMPARE(pane.textCursor().blockNumber(), 0);
    QVERIFY(bar.findNext());
    QVERIFY(bar.findNext());
    QCOMPARE(pane.textCursor().blockNumber(), 3);
    QVERIFY(bar.findNext());   // round the end
    QCOMPARE(pane.textCursor().blockNumber(), 0);
    QVERIFY(bar.findPrevious());
    QCOMPARE(pane.textCursor().blockNumber(), 3);
    bar.wholeWords()->setChecked(true);
    bar.matchCase()->setChecked(true);
    QVERIFY(bar.findNext());
    QCOMPARE(pane.textCursor().blockNumber(), 1);
    bar.matchCase()->setChecked(false);
    bar.replaceField()->setText("NOTBIT");
    QCOMPARE(bar.replaceAll(), 2);
    QCOMPARE(pane.toPlainText(), QStringLiteral("NOTBIT a\nNOTBIT b\nclearbit c\nsetbitx"));
    pane.undo();   // one step undoes them all
    QCOMPARE(pane.toPlainText(), QStringLiteral("setbit a\nSETBIT b\nclearbit c\nsetbitx"));
    bar.findField()->setText("jump");
    QVERIFY(!bar.findNext());
    QCOMPARE(bar.replaceAll(), 0);
}

void TestEditorParts::recentFiles()
{
    QTemporaryDir dir;
    const QString profile = dir.filePath("Zelvar");
    RecentFiles recent(profile);
    for (int i = 0; i < 12; ++i)
        recent.add(dir.filePath(QStringLiteral("p%1.M51").arg(i)));
    recent.add(dir.filePath("p5.M51"));
    QCOMPARE(recent.files().size(), RecentFiles::Capacity);
    QCOMPARE(recent.files().first(), dir.filePath("p5.M51"));
    QCOMPARE(recent.files().count(dir.filePath("p5.M51")), 1);
    QCOMPARE(recent.files().last(), dir.filePath("p2.M51"));
    QVERIFY(recent.save());
    RecentFiles again(profile);
    again.load();
    QCOMPARE(again.files(), recent.files());
    // Dialog folders: the current file's, else the last used, else the fallback.
    QCOMPARE(again.dialogFolder(QStringLiteral("/tmp/x.M51"), "/fallback"), QStringLiteral("/tmp"));
    QCOMPARE(again.dialogFolder(QString(), "/fallback"), dir.path());
    QCOMPARE(RecentFiles(dir.filePath("none")).dialogFolder(QString(), "/fallback"), QStringLiteral("/fallback"));
}

void TestEditorParts::errorReasons_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("reason");
    QTest::newRow("unknown") << "2 FOO" << 2 << "unknown statement, no code generated";
    QTest::newRow("duplicate") << "14 Duplicate procedure Blink" << 14 << "this procedure name is already defined above";
    QTest::newRow("binary") << "12 binary value" << 12 << "a variable number cannot be written in binary";
    QTest::newRow("above 207") << "3 variable number above 207" << 3 << "variables run from 0 to 207";
    QTest::newRow("no number") << "INLINE 1" << -1 << "unknown statement, no code generated";
}

void TestEditorParts::errorReasons()
{
    QFETCH(QString, entry);
    QFETCH(int, line);
    QFETCH(QString, reason);
    QCOMPARE(entryLine(entry), line);
    QCOMPARE(errorReason(entryText(entry)), reason);
    // After a failed build the assembler's messages follow the compiler's entries.
    ResultEntryDelegate delegate(true, Qt::white);
    delegate.setCompilerRows(1);
    QCOMPARE(delegate.reasonFor(0, entry), reason);
    QCOMPARE(delegate.reasonFor(1, entry), QStringLiteral("message of the assembler (Debug)"));
}

QTEST_MAIN(TestEditorParts)
#include "tst_editorparts.moc"
