#pragma once
// The source text pane: a plain-text editor with a gutter of line numbers
// (counted from 1, as the status bar and m51c count them), the caret's line
// shaded, error markers (the line shaded and its number on red, the reason as
// a tool tip), and a margin for a debugger: breakpoints (toggled by a click in
// the margin or F2, announced by breakpointToggled) and the execution line.
//
// Markers belong to lines, not to line numbers: they travel with their line
// when lines are inserted or removed above it, and go with it when it is
// deleted. Lines are addressed by their 0-based index, like the compiler's
// list entries.
//
// Jumps (goToLine, the error keys, the execution line) put the line in the
// middle of the pane.

#include <QColor>
#include <QFontMetrics>
#include <QMap>
#include <QPlainTextEdit>
#include <QSet>
#include <functional>

class CodeEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CodeEditor(QWidget* parent = nullptr);

    struct Colours {
        QColor gutter{40, 0, 40};
        QColor number{160, 130, 160};
        QColor currentNumber{0, 255, 255};
        QColor currentLine{84, 16, 84};
        QColor errorLine{110, 0, 40};
        QColor errorMark{220, 40, 40};
        QColor executionLine{90, 90, 0};
        QColor executionMark{255, 220, 0};
        QColor breakpoint{230, 30, 30};
    };
    void setColours(const Colours& colours);
    const Colours& colours() const { return m_colours; }

    // Error markers: line index -> the reason shown as its tool tip. Replaces
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

    // Moves the caret to the start of the line (selecting it with `select`)
    // and puts the line in the middle of the pane. Lines outside the text
    // move nothing; returns whether the caret moved.
    bool goToLine(int line, bool select = false);
    // Ctrl+G: asks for a line number (from 1) and goes there.
    void goToLineDialog();
    // The question Ctrl+G asks: returns the line number from 1, or 0 for
    // cancel. Tests replace it.
    std::function<int(QWidget* parent, int current, int last)> askLine;

    // The caret's line index and column (both from 0).
    int caretLine() const;
    int caretColumn() const;

    int gutterWidth() const;
    // The gutter's width in a font, for texts of up to 999 lines.
    static int gutterWidthFor(const QFontMetrics& metrics, int digits = 3);
    // The gutter's margin column, where breakpoints and the execution mark lie.
    int marginWidth() const;
    QWidget* gutter() const { return m_gutter; }

signals:
    void breakpointToggled(int line, bool set);
    // The caret moved to another line or column.
    void caretMoved(int line, int column);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    friend class CodeEditorGutter;
    void paintGutter(QPaintEvent* event);
    void gutterClicked(int y);
    QString toolTipAt(int y) const;
    void updateGutterWidth();
    bool jumpToError(bool forward);
    void markersChanged();

    QWidget* m_gutter;
    Colours m_colours;
    int m_executionLine = -1;
    int m_errorCount = 0;
    int m_digits = 0;
};
