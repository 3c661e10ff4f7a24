// The code pane's marks in the gutter and beside the lines: the errors with
// their annotations (kept on their lines while the text is edited), the
// execution line, breakpoints and bookmarks, and moving between them.
#include "ide/CodeEditor.h"

#include <Qsci/qscistyle.h>

void CodeEditor::setErrorMarkers(const QMap<int, QString>& markers)
{
    for (int line : std::as_const(m_annotated))
        clearAnnotations(line);
    m_annotated.clear();
    markerDeleteAll(ErrorLine);
    markerDeleteAll(ErrorMark);
    m_reasons.clear();
    for (auto it = markers.cbegin(); it != markers.cend(); ++it) {
        if (it.key() < 0 || it.key() >= lines())
            continue;
        markerAdd(it.key(), ErrorLine);
        markerAdd(it.key(), ErrorMark);
        m_reasons.insert(it.key(), it.value().isEmpty() ? QStringLiteral("error") : it.value());
    }
    annotateVisible();
}

void CodeEditor::annotateVisible()
{
    if (m_reasons.isEmpty() && m_annotated.isEmpty())
        return;
    m_annotationStyle->apply(this);
    const int style = m_annotationStyle->style();
    const int first = int(SendScintilla(SCI_DOCLINEFROMVISIBLE, firstVisibleLine()));
    const int last = int(SendScintilla(SCI_DOCLINEFROMVISIBLE, firstVisibleLine() + SendScintilla(SCI_LINESONSCREEN) + 2));
    for (auto it = m_reasons.lowerBound(first); it != m_reasons.cend() && it.key() <= last; ++it) {
        if (m_annotated.contains(it.key()) && annotation(it.key()) == it.value())
            continue;
        annotate(it.key(), it.value(), style);
        m_annotated.insert(it.key());
    }
}

void CodeEditor::textModified(int position, int type, int linesAdded)
{
    if (linesAdded == 0 || !(type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)))
        return;
    const int line = int(SendScintilla(SCI_LINEFROMPOSITION, position));
    const bool atLineStart = position == int(SendScintilla(SCI_POSITIONFROMLINE, line));
    // Lines inserted at a line's start push that line down; lines removed
    // take their reasons with them.
    const int from = atLineStart ? line : line + 1;
    const auto shifted = [&](const auto& keys) {
        std::decay_t<decltype(keys)> moved;
        for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
            const int key = it.key();
            if (key < from)
                moved.insert(key, it.value());
            else if (linesAdded > 0)
                moved.insert(key + linesAdded, it.value());
            else if (key >= from - linesAdded)
                moved.insert(key + linesAdded, it.value());
        }
        return moved;
    };
    if (!m_reasons.isEmpty() && m_reasons.lastKey() >= from) {
        m_reasons = shifted(m_reasons);
        syncErrorMarks(line);
    }
    QMap<int, bool> annotated;
    for (int key : std::as_const(m_annotated))
        annotated.insert(key, true);
    m_annotated.clear();
    for (auto it = annotated.cbegin(); it != annotated.cend(); ++it)
        if (const QMap<int, bool> one = shifted(QMap<int, bool>{{it.key(), true}}); !one.isEmpty())
            m_annotated.insert(one.firstKey());
}

void CodeEditor::syncErrorMarks(int line)
{
    // The component merges the marks of removed lines into the line before:
    // the marks follow the reasons.
    for (int at = qMax(0, line - 1); at <= line + 1 && at < lines(); ++at) {
        const bool marked = markersAtLine(at) & (1u << ErrorLine);
        if (marked == m_reasons.contains(at))
            continue;
        if (marked) {
            markerDelete(at, ErrorLine);
            markerDelete(at, ErrorMark);
            clearAnnotations(at);
            m_annotated.remove(at);
        } else {
            markerAdd(at, ErrorLine);
            markerAdd(at, ErrorMark);
        }
    }
}

QMap<int, QString> CodeEditor::errorMarkers() const
{
    return m_reasons;
}

QString CodeEditor::errorAt(int line) const
{
    return m_reasons.value(line);
}

bool CodeEditor::jumpToMarker(unsigned mask, bool forward)
{
    const int count = lines();
    const int from = caretLine();
    int found = forward ? markerFindNext(from + 1, mask) : markerFindPrevious(from - 1, mask);
    if (found < 0)
        found = forward ? markerFindNext(0, mask) : markerFindPrevious(count - 1, mask);
    if (found < 0)
        return false;
    return goToLine(found);
}

bool CodeEditor::nextError()
{
    return jumpToMarker(1u << ErrorLine, true);
}

bool CodeEditor::previousError()
{
    return jumpToMarker(1u << ErrorLine, false);
}

void CodeEditor::showExecutionLine(int line)
{
    setExecutionLine(line);
    goToLine(line);
}

bool CodeEditor::presentLine(int line, QWidget* window)
{
    if (!goToLine(line))
        return false;
    window->show();
    window->raise();
    window->activateWindow();
    setFocus();
    return true;
}

void CodeEditor::setExecutionLine(int line)
{
    markerDeleteAll(Execution);
    markerDeleteAll(ExecutionLine);
    if (line < 0 || line >= lines())
        return;
    markerAdd(line, Execution);
    markerAdd(line, ExecutionLine);
    const int first = firstVisibleLine();
    const int visible = int(SendScintilla(SCI_VISIBLEFROMDOCLINE, line));
    if (visible < first || visible >= first + int(SendScintilla(SCI_LINESONSCREEN)))
        centreLine(line);
}

int CodeEditor::executionLine() const
{
    return markerFindNext(0, 1u << Execution);
}

void CodeEditor::setBreakpoints(const QSet<int>& set)
{
    markerDeleteAll(Breakpoint);
    for (int line : set)
        if (line >= 0 && line < lines())
            markerAdd(line, Breakpoint);
}

QSet<int> CodeEditor::breakpoints() const
{
    QSet<int> set;
    for (int line = markerFindNext(0, 1u << Breakpoint); line >= 0; line = markerFindNext(line + 1, 1u << Breakpoint))
        set.insert(line);
    return set;
}

void CodeEditor::toggleBreakpoint(int line)
{
    if (line < 0 || line >= lines())
        return;
    const bool set = !(markersAtLine(line) & (1u << Breakpoint));
    if (set)
        markerAdd(line, Breakpoint);
    else
        markerDelete(line, Breakpoint);
    emit breakpointToggled(line, set);
}

void CodeEditor::toggleBookmark(int line)
{
    if (line < 0 || line >= lines())
        return;
    if (markersAtLine(line) & (1u << Bookmark))
        markerDelete(line, Bookmark);
    else
        markerAdd(line, Bookmark);
}

QSet<int> CodeEditor::bookmarks() const
{
    QSet<int> set;
    for (int line = markerFindNext(0, 1u << Bookmark); line >= 0; line = markerFindNext(line + 1, 1u << Bookmark))
        set.insert(line);
    return set;
}

bool CodeEditor::nextBookmark()
{
    return jumpToMarker(1u << Bookmark, true);
}

bool CodeEditor::previousBookmark()
{
    return jumpToMarker(1u << Bookmark, false);
}
