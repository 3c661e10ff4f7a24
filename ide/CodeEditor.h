#pragma once
// The code pane of the source editor and of the ASM and LST windows, on the
// QScintilla editor component: line numbers (counted from 1, as the status
// bar and m51c count them), the caret's line shaded, error markers (the line
// shaded, a red mark in the margin and the reason as an annotation under the
// line), a margin for a debugger (breakpoints, toggled by a click in the
// margin or F2 and announced by breakpointToggled; the execution line),
// bookmarks (Ctrl+F2, next F4, previous Shift+F4), zoom (Ctrl++, Ctrl+-,
// Ctrl+0 and the wheel), and for sources completion (Ctrl+Space, or as a
// word is typed), call tips and folding.
//
// Markers belong to lines, not to line numbers: they travel with their line
// when lines are inserted or removed above it. Lines are addressed by their
// 0-based index, like the compiler's list entries. The text inside the pane
// always has '\n' line ends; a file's own line ends are the document's
// business (SourceDocument).
//
// Jumps (goToLine, the error keys, the execution line) put the line in the
// middle of the pane.

#include <QColor>
#include <QFontMetrics>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <Qsci/qsciscintilla.h>
#include <functional>

class QsciStyle;

class CodeEditor : public QsciScintilla {
    Q_OBJECT
public:
    explicit CodeEditor(QWidget* parent = nullptr);
    ~CodeEditor() override;

    struct Colours {
        QColor gutter{40, 0, 40};
        QColor number{160, 130, 160};
        QColor currentLine{84, 16, 84};
        QColor errorLine{110, 0, 40};
        QColor errorMark{220, 40, 40};
        QColor executionLine{56, 56, 0};
        QColor executionMark{255, 220, 0};
        QColor breakpoint{230, 30, 30};
        QColor bookmark{80, 160, 255};
        QColor annotationText{255, 200, 200};
        QColor annotationPaper{80, 0, 30};
        QColor heat{150, 0, 30};  // the hot lines' translucent shade
    };
    void setColours(const Colours& colours);
    const Colours& colours() const { return m_colours; }

    // Source editing extras: completion, call tips and the fold margin.
    void setSourceEditing(bool on);
    // The font of the reasons shown under error lines.
    void setAnnotationFont(const QFont& font);

    // The text with '\n' line ends; setting it clears the undo history and
    // the modified flag (the text of a file just read).
    QString toPlainText() const { return text(); }
    void setPlainText(const QString& text);
    // Replaces the selection (or inserts at the caret) and puts the caret after it.
    void insertPlainText(const QString& text);
    // Appends the text as a new last line.
    void appendPlainText(const QString& text);
    bool isEmpty() const { return length() == 0; }
    // Inserts `lines` so that the first becomes line `index`; an index at or
    // past the end appends them, an empty pane simply takes them. One undo
    // step; the caret stays on its line.
    void insertLinesAt(int index, const QStringList& lines);

    // Error markers: line index -> the reason shown under the line. Replaces
    // all markers.
    void setErrorMarkers(const QMap<int, QString>& markers);
    QMap<int, QString> errorMarkers() const;
    // The reason for the line, or an empty text when it has no marker.
    QString errorAt(int line) const;
    // F8 / Shift+F8: the caret goes to the next / previous marked line, round
    // the end of the text. False when there is no marker.
    bool nextError();
    bool previousError();

    // The debugger's margin. -1: no execution line.
    void setExecutionLine(int line);
    int executionLine() const;
    void setBreakpoints(const QSet<int>& lines);
    QSet<int> breakpoints() const;
    // Sets or clears the line's breakpoint and emits breakpointToggled.
    void toggleBreakpoint(int line);

    // Bookmarks: Ctrl+F2 toggles the caret line's, F4 / Shift+F4 go to the
    // next / previous one round the end of the text.
    void toggleBookmark(int line);
    QSet<int> bookmarks() const;
    bool nextBookmark();
    bool previousBookmark();

    // Completion words besides the statements: procedure names (also
    // complete a line's first word) and defined names (operands).
    void setCompletionNames(const QStringList& procedures, const QStringList& defined);
    // Ctrl+Space: the words that start as the word before the caret does
    // (none: no list; Enter ends the line unless an arrow key chose a word).
    void showCompletion();
    // The call tip of the caret line's statement (form and assembly); false
    // when the line's first word has none.
    bool showStatementTip();
    // The words offered for `prefix` at the start of a line or after it.
    QStringList completionsFor(const QString& prefix, bool firstWord) const;

    // Moves the caret to the start of the line (selecting it with `select`)
    // and puts the line in the middle of the pane. Lines outside the text
    // move nothing; returns whether the caret moved.
    bool goToLine(int line, bool select = false);
    // The line the program executes: marked and gone to.
    void showExecutionLine(int line);
    // Goes to the line and brings `window` (the one this pane is in) to the
    // front with the focus here; false, and nothing shown, for no such line.
    bool presentLine(int line, QWidget* window);
    // Brings the line to the middle of the pane without moving the caret.
    void centreLine(int line);
    // Ctrl+G: asks for a line number (from 1) and goes there.
    void goToLineDialog();
    // The question Ctrl+G asks: returns the line number from 1, or 0 for
    // cancel. Tests replace it.
    std::function<int(QWidget* parent, int current, int last)> askLine;

    // The caret's line index and column (both from 0).
    int caretLine() const;
    int caretColumn() const;

    // The width of the margins left of the text in a font, for texts of up to
    // 999 lines.
    static int gutterWidthFor(const QFontMetrics& metrics, int digits = 3);
    int gutterWidth() const;
    // The width of the margin where breakpoints and the execution mark lie.
    int marginWidth() const;

    // Coverage and cycle profile of a run (CodeEditorCoverage.cpp): a narrow
    // strip right of the other margins marks each line with code as run, as
    // run with a condition gone one way only, or as never run; the hottest
    // lines get a translucent shade (heat 1..3, 3 the hottest); the mouse on
    // a line shows its tip. The marks travel with their lines.
    enum class CoverageMark { Executed, Partial, Never };
    struct CoverageLine {
        int line = 0;
        CoverageMark mark = CoverageMark::Executed;
        int heat = 0;  // 0: no shade
        QString tip;
    };
    void setCoverage(const QList<CoverageLine>& lines, bool showMarks, bool showHeat);
    void clearCoverage();
    // The line's coverage tip, empty without one.
    QString coverageTipAt(int line) const;
    // The opacity (0-255) of the shades of heat 1, 2 and 3 in colours().heat.
    static const int HeatAlpha[3];

    // Values while debugging: the mouse over a name shows what `tip` says of
    // the expression there (a name with its fields, "s->max"); an empty
    // answer leaves the line's coverage tip. Null: no value tips.
    void setValueTips(std::function<QString(const QString& expression)> tip) { m_valueTip = std::move(tip); }
    // The C expression around `column` of `line`: the name there with the
    // names and fields before it joined by '.' or "->"; empty when no name is there.
    static QString expressionAt(const QString& line, int column);

signals:
    void breakpointToggled(int line, bool set);
    // The caret moved to another line or column.
    void caretMoved(int line, int column);

protected:
    bool viewportEvent(QEvent* event) override;
    // Enter takes an item of the completion list only when the arrows chose it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum Marker { ErrorLine, ErrorMark, Breakpoint, Execution, ExecutionLine, Bookmark };
    void defineMarkers();
    void updateNumberWidth();
    void appendUndoable(const QString& text);
    // Keeps the reasons on their lines as lines come and go.
    void textModified(int position, int type, int linesAdded);
    void syncErrorMarks(int line);
    // Shows the reasons of the lines in view as annotations (many thousand
    // annotations would make every Check slow).
    void annotateVisible();
    bool jumpToMarker(unsigned mask, bool forward);
    void charAdded(int ch);
    void setHeatColour(const QColor& colour);
    QString wordBeforeCaret(bool* firstWord) const;

    Colours m_colours;
    QsciStyle* m_annotationStyle;
    QMap<int, QString> m_reasons;   // error line -> reason
    QSet<int> m_annotated;          // lines given an annotation
    int m_digits = 0;
    bool m_source = false;
    bool m_listChosen = false;  // an arrow key moved in the completion list
    QStringList m_procedures;
    QStringList m_defined;
    std::function<QString(const QString&)> m_valueTip;
    QHash<int, QString> m_coverageTips;  // marker handle of a covered line -> its tip
    bool m_coverageDefined = false;
};
