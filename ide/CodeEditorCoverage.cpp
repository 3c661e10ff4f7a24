// CodeEditor's coverage strip, hot-line shades and their tool tips.
#include "ide/CodeEditor.h"

#include <QHelpEvent>
#include <QToolTip>

namespace {

// The strip is the margin after the marks, numbers and folds, beside the text.
constexpr int CoverageMargin = 3;
constexpr int CoverageWidth = 6;
// Marker numbers of their own, clear of the editor's other markers (from 0
// up) and of the fold markers (25-31). A translucent background marker
// leaves the caret line, the execution line and error lines visible below it.
constexpr int HeatMarker = 17;     // 17, 18, 19: heat 1 to 3
constexpr int CoveredMarker = 20;  // 20 executed, 21 partial, 22 never
constexpr int TipMarker = 23;      // invisible: carries a line's tip
constexpr unsigned CoverageMask = 7u << CoveredMarker;
// A translucent background marker is drawn on the text only when some
// margin's mask holds it (a margin itself draws nothing for it).
constexpr unsigned HeatMask = 7u << HeatMarker;

// Legible on the dark source paper and on the ASM window's light one.
const QColor StripColours[3] = {QColor(40, 175, 70), QColor(240, 170, 0), QColor(225, 45, 45)};

} // namespace

// How opaque each heat's shade of the theme's colour is.
const int CodeEditor::HeatAlpha[3] = {35, 60, 90};

void CodeEditor::setCoverage(const QList<CoverageLine>& lines, bool showMarks, bool showHeat)
{
    if (!m_coverageDefined) {
        m_coverageDefined = true;
        for (int i = 0; i < 3; ++i) {
            markerDefine(FullRectangle, CoveredMarker + i);
            setMarkerBackgroundColor(StripColours[i], CoveredMarker + i);
            setMarkerForegroundColor(StripColours[i], CoveredMarker + i);
            markerDefine(Background, HeatMarker + i);
            setMarkerBackgroundColor(m_colours.heat, HeatMarker + i);
            SendScintilla(SCI_MARKERSETALPHA, HeatMarker + i, HeatAlpha[i]);
        }
        markerDefine(Invisible, TipMarker);
        setMarginType(CoverageMargin, SymbolMargin);
        setMarginMarkerMask(CoverageMargin, int(CoverageMask | HeatMask));
    }
    clearCoverage();
    for (const CoverageLine& line : lines) {
        if (line.line < 0 || line.line >= this->lines())
            continue;
        if (showMarks)
            markerAdd(line.line, CoveredMarker + int(line.mark));
        if (showHeat && line.heat > 0)
            markerAdd(line.line, HeatMarker + qMin(line.heat, 3) - 1);
        if (!line.tip.isEmpty())
            m_coverageTips.insert(markerAdd(line.line, TipMarker), line.tip);
    }
    setMarginWidth(CoverageMargin, showMarks && !lines.isEmpty() ? CoverageWidth : 0);
}

void CodeEditor::setHeatColour(const QColor& colour)
{
    if (!m_coverageDefined)
        return;
    for (int i = 0; i < 3; ++i)
        setMarkerBackgroundColor(colour, HeatMarker + i);
}

void CodeEditor::clearCoverage()
{
    if (!m_coverageDefined)
        return;
    for (int marker = HeatMarker; marker <= TipMarker; ++marker)
        markerDeleteAll(marker);
    m_coverageTips.clear();
    setMarginWidth(CoverageMargin, 0);
}

QString CodeEditor::coverageTipAt(int line) const
{
    if (m_coverageTips.isEmpty() || !(markersAtLine(line) & (1u << TipMarker)))
        return {};
    for (auto it = m_coverageTips.cbegin(); it != m_coverageTips.cend(); ++it)
        if (markerLine(it.key()) == line)
            return it.value();
    return {};
}

QString CodeEditor::expressionAt(const QString& line, int column)
{
    const auto isName = [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); };
    if (column < 0 || column >= line.size() || !isName(line[column]))
        return {};
    int start = column, end = column;
    while (start > 0 && isName(line[start - 1]))
        --start;
    while (end < line.size() && isName(line[end]))
        ++end;
    // The structures the field is reached through: "result.max", "s->max".
    for (;;) {
        int before = start;
        while (before > 0 && line[before - 1] == QLatin1Char(' '))
            --before;
        if (before > 0 && line[before - 1] == QLatin1Char('.'))
            before -= 1;
        else if (before > 1 && line[before - 1] == QLatin1Char('>') && line[before - 2] == QLatin1Char('-'))
            before -= 2;
        else
            break;
        while (before > 0 && line[before - 1] == QLatin1Char(' '))
            --before;
        if (before == 0 || !isName(line[before - 1]))
            break;
        while (before > 0 && isName(line[before - 1]))
            --before;
        start = before;
    }
    if (line[start].isDigit())
        return {};
    return line.mid(start, end - start).remove(QLatin1Char(' '));
}

// The tip of the line under the mouse, in the margins or on the text; over a
// name while debugging, its value.
bool CodeEditor::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip || (m_coverageTips.isEmpty() && !m_valueTip))
        return QsciScintilla::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const int x = qMax(help->pos().x(), gutterWidth());
    const long position = SendScintilla(SCI_POSITIONFROMPOINT, x, help->pos().y());
    const int line = int(SendScintilla(SCI_LINEFROMPOSITION, position));
    const int top = int(SendScintilla(SCI_POINTYFROMPOSITION, 0, SendScintilla(SCI_POSITIONFROMLINE, line)));
    const int height = int(SendScintilla(SCI_TEXTHEIGHT, line));
    const bool onLine = help->pos().y() >= top && help->pos().y() < top + height;
    QString tip;
    if (m_valueTip && onLine && help->pos().x() >= gutterWidth()) {
        const long exact = SendScintilla(SCI_POSITIONFROMPOINTCLOSE, help->pos().x(), help->pos().y());
        if (exact >= 0) {
            int tipLine = 0, column = 0;
            lineIndexFromPosition(int(exact), &tipLine, &column);
            const QString expression = expressionAt(text(tipLine), column);
            if (!expression.isEmpty())
                tip = m_valueTip(expression);
        }
    }
    if (tip.isEmpty() && onLine)
        tip = coverageTipAt(line);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport());
    return true;
}
