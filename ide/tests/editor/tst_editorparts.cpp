// The editor's parts on their own: syntax classes of M51 and 8051 lines, the
// lazy colouring and the folds, markers that travel with their lines, the
// error keys, breakpoints and bookmarks, completion and call tips, Find and
// Replace, the recent files and the error reasons.

#include "ide/CodeEditor.h"
#include "ide/FindBar.h"
#include "ide/StatementTips.h"
#include "ide/SyntaxLexer.h"
#include "ide/RecentFiles.h"
#include "ide/ResultLists.h"
#include "ide/SyntaxRules.h"
#include "ide/TextPane.h"

#include <QCheckBox>
#include <QFile>
#include <cmath>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
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

// The contrast ratio of two colours (WCAG 2).
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor over(const QColor& below, const QColor& shade, int alpha)
{
    const auto mix = [alpha](int b, int s) { return (b * (255 - alpha) + s * alpha + 127) / 255; };
    return QColor(mix(below.red(), shade.red()), mix(below.green(), shade.green()), mix(below.blue(), shade.blue()));
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
    void foldSteps_data();
    void foldSteps();
    void foldsInThePane();
    void markersTravelWithTheirLines();
    void errorKeysGoRound();
    void breakpointsAndExecutionLine();
    void bookmarks();
    void goToLineCentres();
    void completionAndTips();
    void valueTipExpressions_data();
    void valueTipExpressions();
    void tipsAgreeWithTheHelp();
    void findAndReplace();
    void findAndReplaceWithPatterns();
    void recentFiles();
    void errorRows();
    void themesAreReadable();
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
    // The words of modules, macros and conditionals are the assembler's too.
    QTest::newRow("relocatable segment") << "RSEG PROG" << std::vector<Span>{{0, 4, Kind::Directive}};
    QTest::newRow("names taken") << "EXTRN CODE (Send)"
                                 << std::vector<Span>{{0, 5, Kind::Directive}, {6, 4, Kind::Directive}};
    QTest::newRow("macro end") << "ENDM" << std::vector<Span>{{0, 4, Kind::Directive}};
    QTest::newRow("segment declared")
        << "?PR?MAIN SEGMENT CODE\r\n" << std::vector<Span>{{9, 7, Kind::Directive}, {17, 4, Kind::Directive}};
}

void TestEditorParts::asmSpans()
{
    QFETCH(QString, line);
    QFETCH(std::vector<Span>, spans);
    QCOMPARE(syntax::asm51Line(line), spans);
}

namespace {

int styleAt(CodeEditor& editor, int line, int column)
{
    return int(editor.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, editor.positionFromLineIndex(line, column)));
}

int foldLevel(CodeEditor& editor, int line)
{
    return int(editor.SendScintilla(QsciScintillaBase::SCI_GETFOLDLEVEL, line));
}

} // namespace

void TestEditorParts::colouringIsLazy()
{
    CodeEditor editor;
    editor.resize(400, 300);
    auto* lexer = new M51Lexer(Qt::black, Qt::white, QFont(), &editor);
    editor.setLexer(lexer);
    editor.setPlainText(numbered(20000));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.viewport()->repaint();
    QCoreApplication::processEvents();
    const qint64 first = lexer->styledLines();
    QVERIFY(first > 5);
    QVERIFY2(first < 200, qPrintable(QString::number(first)));
    // The visible lines are coloured; one keystroke restyles at most the
    // lines on the screen from the edited one down.
    QCOMPARE(styleAt(editor, 0, 0), SyntaxLexer::styleOf(Kind::Operation));
    QCOMPARE(lexer->color(styleAt(editor, 0, 0)), M51Lexer::defaultPalette().value(Kind::Operation).colour);
    QCOMPARE(styleAt(editor, 0, 12), SyntaxLexer::styleOf(Kind::Comment));
    editor.setCursorPosition(0, 0);
    QTest::keyClick(editor.viewport(), Qt::Key_X);
    editor.viewport()->repaint();
    QCoreApplication::processEvents();
    const qint64 onScreen = editor.SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN);
    QVERIFY2(lexer->styledLines() - first <= onScreen + 2, qPrintable(QString::number(lexer->styledLines() - first)));
    // New procedure names colour the calls already on the screen.
    lexer->setProcedureNames({QStringLiteral("XSETBIT")});
    editor.viewport()->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(styleAt(editor, 0, 0), SyntaxLexer::styleOf(Kind::Procedure));
    QVERIFY(lexer->font(SyntaxLexer::styleOf(Kind::Procedure)).underline());
    // Letters beyond ASCII take more than one byte: the colours still start
    // where their words do.
    editor.setPlainText(QStringLiteral("; čárka\nSETBIT P1.0"));
    editor.viewport()->repaint();
    QCoreApplication::processEvents();
    QCOMPARE(styleAt(editor, 1, 0), SyntaxLexer::styleOf(Kind::Operation));
}

void TestEditorParts::foldSteps_data()
{
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("next");
    QTest::addColumn<int>("step");
    QTest::newRow("procedure opens") << "" << "  procedure Blink ; x" << "NOP" << 1;
    QTest::newRow("endproc closes") << "NOP" << "ENDPROC" << "" << -1;
    QTest::newRow("while opens") << "" << "WHILEA=0" << "" << 1;
    QTest::newRow("endwhile closes") << "" << "endwhile" << "" << -1;
    QTest::newRow("waiting loop is one line") << "" << "LOOPWHILEBIT P3.2" << "" << 0;
    QTest::newRow("comment run opens") << "NOP" << "; a" << "; b" << 1;
    QTest::newRow("comment run goes on") << "; a" << "; b" << "; c" << 0;
    QTest::newRow("comment run closes") << "; b" << "  ; c" << "NOP" << -1;
    QTest::newRow("single comment") << "NOP" << "; only" << "NOP" << 0;
    QTest::newRow("plain statement") << "" << "SETBIT P1.0" << "" << 0;
}

void TestEditorParts::foldSteps()
{
    QFETCH(QString, previous);
    QFETCH(QString, line);
    QFETCH(QString, next);
    QFETCH(int, step);
    QCOMPARE(syntax::m51FoldStep(line, previous, next), step);
}

void TestEditorParts::foldsInThePane()
{
    CodeEditor editor;
    editor.setLexer(new M51Lexer(Qt::black, Qt::white, QFont(), &editor));
    editor.setSourceEditing(true);
    editor.setPlainText("PROCEDURE A\nWHILEBIT P1.0\nNOP\nENDWHILE\nENDPROC\nNOP");
    editor.resize(300, 300);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    editor.viewport()->repaint();
    QCoreApplication::processEvents();
    const int base = QsciScintillaBase::SC_FOLDLEVELBASE, header = QsciScintillaBase::SC_FOLDLEVELHEADERFLAG;
    const QList<int> expected = {base | header, (base + 1) | header, base + 2, base + 2, base + 1, base};
    for (int line = 0; line < expected.size(); ++line)
        QCOMPARE(foldLevel(editor, line), expected[line]);
    // Folding the procedure hides its body, not the line after it.
    editor.SendScintilla(QsciScintillaBase::SCI_TOGGLEFOLD, 0);
    QVERIFY(!editor.SendScintilla(QsciScintillaBase::SCI_GETLINEVISIBLE, 2));
    QVERIFY(editor.SendScintilla(QsciScintillaBase::SCI_GETLINEVISIBLE, 5));
    // A jump to a folded line unfolds it.
    QVERIFY(editor.goToLine(2));
    QVERIFY(editor.SendScintilla(QsciScintillaBase::SCI_GETLINEVISIBLE, 2));
}

void TestEditorParts::markersTravelWithTheirLines()
{
    CodeEditor editor;
    editor.setPlainText(numbered(10));
    editor.setErrorMarkers({{2, QStringLiteral("two")}, {5, QStringLiteral("five")}});
    editor.insertAt(QStringLiteral("new line\n"), 1, 0);
    QCOMPARE(editor.errorMarkers(), (QMap<int, QString>{{3, "two"}, {6, "five"}}));
    QCOMPARE(editor.errorAt(6), QStringLiteral("five"));
    // The reason is shown under its line, and moves with it.
    QCOMPARE(editor.annotation(6), QStringLiteral("five"));
    editor.toggleBreakpoint(6);
    // Lines removed above: the marks move up with their lines.
    editor.setSelection(0, 0, 1, 0);
    editor.removeSelectedText();
    QCOMPARE(editor.errorMarkers(), (QMap<int, QString>{{2, "two"}, {5, "five"}}));
    QCOMPARE(editor.breakpoints(), QSet<int>{5});
    editor.setErrorMarkers({});
    QVERIFY(editor.errorMarkers().isEmpty());
    QVERIFY(editor.annotation(5).isEmpty());
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
    const int y = int(editor.SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0,
                                           editor.positionFromLineIndex(1, 0)))
        + editor.textHeight(1) / 2;
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, {}, QPoint(3, y));
    QCOMPARE(editor.breakpoints(), QSet<int>{8});
    editor.setExecutionLine(4);
    QCOMPARE(editor.executionLine(), 4);
    QCOMPARE(editor.caretLine(), 3);   // the caret stays where the user left it
}

void TestEditorParts::bookmarks()
{
    CodeEditor editor;
    editor.setPlainText(numbered(10));
    editor.toggleBookmark(2);
    editor.toggleBookmark(6);
    editor.toggleBookmark(8);
    editor.toggleBookmark(8);
    QCOMPARE(editor.bookmarks(), (QSet<int>{2, 6}));
    editor.goToLine(4);
    const QList<std::pair<bool, int>> steps = {{true, 6}, {true, 2}, {false, 6}};
    for (const auto& [forward, line] : steps) {
        QVERIFY(forward ? editor.nextBookmark() : editor.previousBookmark());
        QCOMPARE(editor.caretLine(), line);
    }
    // Bookmarks are no breakpoints.
    QVERIFY(editor.breakpoints().isEmpty());
}

void TestEditorParts::goToLineCentres()
{
    CodeEditor editor;
    editor.resize(300, 300);
    editor.setPlainText(numbered(1000));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QVERIFY(editor.goToLine(500, true));
    QCOMPARE(editor.selectedText(), QStringLiteral("SETBIT P1.0 ; line 500"));
    const int onScreen = int(editor.SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN));
    QVERIFY2(qAbs(editor.firstVisibleLine() + onScreen / 2 - 500) <= 1, qPrintable(QString::number(editor.firstVisibleLine())));
    QVERIFY(!editor.goToLine(1000));
    editor.askLine = [](QWidget*, int current, int last) {
        return current == 501 && last == 1000 ? 20 : 0;
    };
    QTest::keyClick(editor.viewport(), Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(editor.caretLine(), 19);
}

void TestEditorParts::completionAndTips()
{
    CodeEditor editor;
    editor.setCompletionNames({"BLINK", "SETUP"}, {"LIMIT", "LED"});
    // A line's first word: statements and procedures; an operand: definitions and procedures.
    QCOMPARE(editor.completionsFor("SETB", true), QStringList{"SETBIT"});
    QCOMPARE(editor.completionsFor("se", true), (QStringList{"SERIAL", "SETBIT", "SETUP"}));
    QCOMPARE(editor.completionsFor("L", false), (QStringList{"LED", "LIMIT"}));
    QVERIFY(!editor.completionsFor("WRP", true).isEmpty());
    QVERIFY(editor.completionsFor("SETBIT", true).isEmpty());   // complete already

    // The tips come from the help's examples: the form and its assembly.
    const QHash<QString, StatementTip> tips = statementTipsFrom(
        "text\n```m51\nSETBIT P1.0            Setb P1.0\nWHILEBIT P3.2          Whi0001:\n"
        "                       JnB P3.2,EnW0001\n; a comment\nsetbit P2.0   Setb P2.0\n```\nNOTBIT outside\n");
    QCOMPARE(tips.size(), 2);
    QCOMPARE(tips.value("SETBIT").form, QStringLiteral("SETBIT P1.0"));   // the first example wins
    QCOMPARE(tips.value("WHILEBIT").assembly, (QStringList{"Whi0001:", "JnB P3.2,EnW0001"}));
    // The help built into Zelvar gives a tip for the common statements.
    for (const char* word : {"SETBIT", "CLEARBIT", "WHILEBIT", "ENDWHILE", "PROCEDURE"})
        QVERIFY2(statementTips().contains(word), word);
    editor.setPlainText("SETBIT P1.0\nFOO");
    editor.setCursorPosition(0, 3);
    QVERIFY(editor.showStatementTip());
    editor.setCursorPosition(1, 1);
    QVERIFY(!editor.showStatementTip());

    // Typing: Enter ends the line unless an arrow key chose an item of the list.
    editor.setSourceEditing(true);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    const struct {
        const char* typed;
        QList<int> keys;
        bool listBeforeKeys;
        const char* text;
    } typing[] = {
        {"BEGIN", {Qt::Key_Return}, false, "BEGIN\n"},
        {"ENDPROC", {Qt::Key_Return}, false, "ENDPROC\n"},
        {"SETB", {Qt::Key_Return}, true, "SETB\n"},
        {"SETB", {Qt::Key_Down, Qt::Key_Return}, true, "SETBIT"},
    };
    for (const auto& row : typing) {
        editor.setPlainText({});
        QTest::keyClicks(editor.viewport(), row.typed);
        QCOMPARE(editor.isListActive(), row.listBeforeKeys);
        for (int key : row.keys)
            QTest::keyClick(editor.viewport(), Qt::Key(key));
        QCOMPARE(editor.text(), QString::fromLatin1(row.text));
    }
}

// The tips the editor shows are the examples the help gives: a statement
// added to or changed in one of them shows up here until the other follows.
void TestEditorParts::tipsAgreeWithTheHelp()
{
    QFile help(QStringLiteral(M51_HELP_SOURCE));
    QVERIFY(help.open(QIODevice::ReadOnly));
    const QHash<QString, StatementTip> fromHelp = statementTipsFrom(QString::fromUtf8(help.readAll()));
    QCOMPARE(statementTips().keys().size(), fromHelp.size());
    for (auto it = fromHelp.cbegin(); it != fromHelp.cend(); ++it) {
        QVERIFY2(statementTips().contains(it.key()), qPrintable(it.key()));
        QCOMPARE(tipText(statementTips().value(it.key())), tipText(it.value()));
    }
}

void TestEditorParts::findAndReplace()
{
    CodeEditor pane;
    pane.setPlainText("setbit a\nSETBIT b\nclearbit c\nsetbitx");
    FindBar bar(&pane);
    bar.open(true);
    bar.findField()->setText("SETBIT");
    QVERIFY(bar.findNext());
    QCOMPARE(pane.caretLine(), 0);
    QVERIFY(bar.findNext());
    QVERIFY(bar.findNext());
    QCOMPARE(pane.caretLine(), 3);
    QVERIFY(bar.findNext());   // round the end
    QCOMPARE(pane.caretLine(), 0);
    QVERIFY(bar.findPrevious());
    QCOMPARE(pane.caretLine(), 3);
    bar.wholeWords()->setChecked(true);
    bar.matchCase()->setChecked(true);
    QVERIFY(bar.findNext());
    QCOMPARE(pane.caretLine(), 1);
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

void TestEditorParts::findAndReplaceWithPatterns()
{
    CodeEditor pane;
    pane.setPlainText("WRP1 10\nWRP2 20\nRDP1\nwrp3 x");
    FindBar bar(&pane);
    bar.open(true);
    bar.regularExpression()->setChecked(true);
    bar.findField()->setText("WRP([0-9]) ([0-9]+)");
    QVERIFY(bar.findNext());
    QCOMPARE(pane.selectedText(), QStringLiteral("WRP1 10"));
    // One replacement with the groups, then the next match is selected.
    bar.replaceField()->setText("\\2 TO P\\1");
    QVERIFY(bar.replaceOne());
    QCOMPARE(pane.text(0), QStringLiteral("10 TO P1\n"));
    QCOMPARE(pane.selectedText(), QStringLiteral("WRP2 20"));
    QCOMPARE(bar.replaceAll(), 1);
    QCOMPARE(pane.toPlainText(), QStringLiteral("10 TO P1\n20 TO P2\nRDP1\nwrp3 x"));
    // A pattern that matches nothing at all would replace forever: refused.
    bar.findField()->setText("X*");
    QCOMPARE(bar.replaceAll(), 0);
    QCOMPARE(pane.toPlainText(), QStringLiteral("10 TO P1\n20 TO P2\nRDP1\nwrp3 x"));
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

void TestEditorParts::errorRows()
{
    // The compiler's rows keep its entry texts and get the reason; later
    // stages' rows name their stage; only lines of this source are lines.
    const m51::CompileResult compiled = m51::CompileSource({"NOP", "FOO 1", "WRMEM 1010B"});
    std::vector<m51::Diagnostic> diagnostics = compiled.Diagnostics;
    m51::Diagnostic onLine;
    onLine.stage = m51::Stage::Assembler;
    onLine.line = 3;
    onLine.asmLine = 5;
    onLine.message = "undefined symbol";
    diagnostics.push_back(onLine);
    m51::Diagnostic elsewhere = onLine;
    elsewhere.stage = m51::Stage::BuildScript;
    elsewhere.severity = m51::Severity::Warning;
    elsewhere.file = "regs.inc";
    elsewhere.asmLine = 0;
    diagnostics.push_back(elsewhere);
    const std::vector<ResultRow> rows = ::errorRows(compiled, diagnostics);
    const struct {
        int line;
        const char* text;
        const char* note;
    } expected[] = {
        {1, "1 FOO 1", "unknown statement, no code generated"},
        {2, "2 binary value", "a variable number cannot be written in binary"},
        {2, "undefined symbol (assembly line 5)", "assembler"},
        {-1, "regs.inc:3: undefined symbol", "build script, warning"},
    };
    QCOMPARE(rows.size(), std::size(expected));
    for (size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].line, expected[i].line);
        QCOMPARE(rows[i].text, QString(expected[i].text));
        QCOMPARE(rows[i].note, QString(expected[i].note));
    }
    QCOMPARE(markerText(diagnostics[0]), QStringLiteral("FOO 1: unknown statement, no code generated"));
    QCOMPARE(markerText(diagnostics[2]), QStringLiteral("assembler: undefined symbol (assembly line 5)"));
}

// The expression a value tip asks about: the name under the mouse with the
// structures it is reached through.
void TestEditorParts::valueTipExpressions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("expression");
    QTest::newRow("a name") << "    total += value;" << 6 << "total";
    QTest::newRow("its last letter") << "    total += value;" << 16 << "value";
    QTest::newRow("a field") << "    if (value > s->max)" << 20 << "s->max";
    QTest::newRow("the pointer itself") << "    if (value > s->max)" << 16 << "s";
    QTest::newRow("fields of fields") << "x = result . inner.max;" << 21 << "result.inner.max";
    QTest::newRow("an element's name") << "sum += readings[i];" << 9 << "readings";
    QTest::newRow("no name") << "sum += readings[i];" << 4 << "";
    QTest::newRow("a number") << "P1 = 0x3F;" << 7 << "";
    QTest::newRow("past the end") << "P1" << 5 << "";
}

void TestEditorParts::valueTipExpressions()
{
    QFETCH(QString, line);
    QFETCH(int, column);
    QFETCH(QString, expression);
    QCOMPARE(CodeEditor::expressionAt(line, column), expression);
}

QTEST_MAIN(TestEditorParts)
// Every colour of text on every shade a line of its theme can get, the
// hot-line shades over them included; the line numbers on the gutter and the
// error reasons on their paper.
void TestEditorParts::themesAreReadable()
{
    const struct {
        const char* name;
        PaneTheme theme;
    } themes[] = {{"M51", m51Theme()}, {"assembly", asmTheme()}};
    for (const auto& [name, theme] : themes) {
        const CodeEditor::Colours& c = theme.colours;
        QList<QColor> texts{theme.text};
        for (const SyntaxLexer::Look& look : theme.syntax)
            texts << look.colour;
        QList<QColor> shades{theme.paper, c.currentLine, c.executionLine, c.errorLine};
        for (const QColor& line : {theme.paper, c.currentLine, c.executionLine})
            for (int alpha : CodeEditor::HeatAlpha)
                shades << over(line, c.heat, alpha);
        QList<std::pair<QColor, QColor>> pairs{{c.number, c.gutter}, {c.annotationText, c.annotationPaper}};
        for (const QColor& text : texts)
            for (const QColor& shade : shades)
                pairs.append({text, shade});
        for (const auto& [text, shade] : pairs)
            QVERIFY2(contrast(text, shade) >= 4.5, qPrintable(QStringLiteral("%1: %2 on %3: %4").arg(
                name, text.name(), shade.name()).arg(contrast(text, shade), 0, 'f', 2)));
    }
}

#include "tst_editorparts.moc"
