#pragma once
// The source editor `Ed`. It shows the text of the current source file; its
// caption is that file's full path (empty for an untitled text), set from the
// session, which alone says what the current file is. It offers a text search
// and the go-to-line operation the main window's lists use.
//
// Positions are kept in line terms, so the rule that a line break counts as
// two characters needs no counting.

#include "ide/CodeEditor.h"
#include "compiler/Compiler.h"

#include <QMap>
#include <QSet>
#include <QWidget>
#include <string>
#include <vector>

class FindBar;
class Asm51Lexer;
class M51Lexer;
class CLexer;
class QLabel;
class QLineEdit;
class ProfileStore;
class TPlacement;
class QPushButton;
class QTimer;

class TEd : public QWidget {
    Q_OBJECT
public:
    // `profile`: the run's profile store, where the window keeps its place.
    explicit TEd(QWidget* parent = nullptr, ProfileStore* profile = nullptr);

    // The first-start width: an 80-column line of the text's font fits.
    static int designWidth();
    // First-start places of the editor and of the viewers right of it, as
    // offsets from the top left of the screen: side by side, below the main
    // window and the Macro window (355 high at the top, and a title bar).
    static constexpr int FirstTop = 8 + 355 + 40;
    static int firstLeftOfViewers();

    TPlacement* PL; // window placement, section "Editor"

    QWidget* Panel1;
    QLineEdit* Edit1;       // search text, hint "Hledaný text"
    QPushButton* Button1;   // "Search"
    QPushButton* Next;      // "Next"
    CodeEditor* M;          // the source text: gutter, markers, caret line
    M51Lexer* highlighter;  // the colours, folds and procedure names
    Asm51Lexer* asmHighlighter;  // the colours of an assembly source (.asm, .a51)
    CLexer* cHighlighter;        // the colours of a C source (.c, .h) for SDCC

    // Colours the text as 8051 assembly (true) or as M51 (false).
    void setAssemblySource(bool assembly);
    // Colours the text as the kind of source `path` names: C, assembly or M51.
    void setSourceFile(const QString& path);
    FindBar* findBar;       // Find and Replace (Ctrl+F, Ctrl+H)
    QLabel* caretStatus;    // "Line 13, Column 5" and the caret line's error
    QLabel* emptyHint;      // over an empty text: how to start, where the samples are

    // The 0-based line where the next search begins.
    int SearchStart = 0;

    // Selects line n (0-based) and brings it to the middle of the pane; 0 and
    // lines beyond the end move nothing.
    void GoToLine(int n);
    // The 0-based index of the caret's line, plus 1 (1 for an empty text).
    int CaretLine();
    // "Search" (next == false) starts at line 0, "Next" where the last match
    // left off. The needle and the lines are compared upper-cased (UpperText).
    void Button1Click(bool next);

    // The text as code page 1250 lines, and line-wise changes.
    std::vector<std::string> lines();
    int lineCount();
    // The text with '\n' between lines.
    QString text() const;

    // Replaces the text ('\n' between lines), unmodified, with no undo
    // history. With no text, the pane shows a hint to open a sample.
    void setText(const QString& text);
    // The text is the file's now (opened, saved): it counts as unchanged.
    void markSaved();
    // Replaces the text as setText does and marks it saved; the caret stays
    // on its line (the last one, when the new text is shorter).
    void reloadText(const QString& text);
    // Selects line `line` (0-based) and centres it; the focus goes to the text.
    void selectLine(int line);
    void focusText();
    // Inserts lines so that the first lands at line index `index`; an index at
    // or beyond the end appends them after the last line (as the Macro window
    // inserts its snippet, and by the same code).
    void insertLines(int index, const std::vector<std::string>& lines);
    void insertLinesAt(int index, const QStringList& lines);

    // A build's results: each diagnostic on a line of this source marks the
    // line with its reason as the annotation and tool tip (several on a line
    // are listed together); the procedure names colour their calls; the
    // definitions' names complete operands.
    void showCompileResult(const m51::CompileResult& compiled, const std::vector<m51::Diagnostic>& diagnostics);

    // What the debugger shows in the text, as calls from its wiring: the
    // line the program stopped on (marked and brought into view; -1 clears
    // the mark), a line brought into view, the coverage marks.
    void showExecutionLine(int line);
    bool showLine(int line);
    // Shows the window with `line` in view and the focus in the text; false
    // (nothing shown) when the text has no such line.
    bool presentLine(int line);
    void setCoverage(const QList<CodeEditor::CoverageLine>& lines, bool marks, bool heat);
    void clearCoverage();
    // A build's errors that are not the session's (SDCC's on a C file).
    void setErrorMarkers(const QMap<int, QString>& markers);
    // What a name under the mouse shows (a stopped C program's values).
    void setValueTips(std::function<QString(const QString& expression)> tip);
    // The lines with a breakpoint (0-based); breakpointsChanged follows each toggle in the gutter.
    QSet<int> breakpoints() const;
    void setBreakpoints(const QSet<int>& lines);

    // Window placement, section "Editor": restored at creation, saved at the end.
    void restorePlacement();
    void savePlacement();
    void FormDestroy();

signals:
    void breakpointsChanged(const QSet<int>& lines);
    // The text differs from the file (true) or no longer does.
    void modifiedChanged(bool modified);

private:
    void showCaret();
    // Procedure names defined in `text` (PROCEDURE lines), upper-cased.
    static QSet<QString> definedProcedures(QStringView text);

    QMap<int, QString> m_firstReason;  // line (0-based) -> its first diagnostic, for the status line
};
