#include "CodeEditor.h"

#include <QAction>
#include <QInputDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolTip>

namespace {

// What a line carries besides its text. Kept in the block, so it moves with it.
class LineMarks : public QTextBlockUserData {
public:
    QString error;
    bool breakpoint = false;
};

LineMarks* marksOf(const QTextBlock& block)
{
    return block.isValid() ? dynamic_cast<LineMarks*>(block.userData()) : nullptr;
}

LineMarks* ensureMarks(QTextBlock block)
{
    LineMarks* marks = marksOf(block);
    if (!marks && block.isValid()) {
        marks = new LineMarks;
        block.setUserData(marks);
    }
    return marks;
}

int defaultAskLine(QWidget* parent, int current, int last)
{
    bool ok = false;
    const int line = QInputDialog::getInt(parent, QStringLiteral("Go to Line"),
                                          QStringLiteral("Line (1 - %1):").arg(last), current, 1, last, 1, &ok);
    return ok ? line : 0;
}

} // namespace

class CodeEditorGutter : public QWidget {
public:
    explicit CodeEditorGutter(CodeEditor* editor) : QWidget(editor), m_editor(editor)
    {
        setObjectName(QStringLiteral("gutter"));
        setCursor(Qt::ArrowCursor);
    }
    QSize sizeHint() const override { return {m_editor->gutterWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { m_editor->paintGutter(event); }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && event->position().x() < m_editor->marginWidth())
            m_editor->gutterClicked(int(event->position().y()));
    }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            const QString tip = m_editor->toolTipAt(help->pos().y());
            if (tip.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), tip, this);
            return true;
        }
        return QWidget::event(event);
    }

private:
    CodeEditor* m_editor;
};

CodeEditor::CodeEditor(QWidget* parent)
    : QPlainTextEdit(parent), askLine(defaultAskLine)
{
    m_gutter = new CodeEditorGutter(this);
    connect(this, &QPlainTextEdit::blockCountChanged, this, &CodeEditor::updateGutterWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy)
            m_gutter->scroll(0, dy);
        else
            m_gutter->update(0, rect.y(), m_gutter->width(), rect.height());
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        viewport()->update();
        m_gutter->update();
        emit caretMoved(caretLine(), caretColumn());
    });

    const auto addKey = [this](const QString& name, const QKeySequence& key, auto slot) {
        auto* action = new QAction(name, this);
        action->setObjectName(name);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    addKey(QStringLiteral("goToLine"), QKeySequence(Qt::CTRL | Qt::Key_G), [this] { goToLineDialog(); });
    addKey(QStringLiteral("nextError"), QKeySequence(Qt::Key_F8), [this] { nextError(); });
    addKey(QStringLiteral("previousError"), QKeySequence(Qt::SHIFT | Qt::Key_F8), [this] { previousError(); });
    addKey(QStringLiteral("toggleBreakpoint"), QKeySequence(Qt::Key_F2), [this] { toggleBreakpoint(caretLine()); });
    updateGutterWidth();
}

void CodeEditor::setColours(const Colours& colours)
{
    m_colours = colours;
    viewport()->update();
    m_gutter->update();
}

int CodeEditor::marginWidth() const
{
    return fontMetrics().height() + 2;
}

int CodeEditor::gutterWidthFor(const QFontMetrics& metrics, int digits)
{
    return metrics.height() + 2 + metrics.horizontalAdvance(QLatin1Char('9')) * digits + 8;
}

int CodeEditor::gutterWidth() const
{
    return gutterWidthFor(fontMetrics(), m_digits);
}

void CodeEditor::updateGutterWidth()
{
    int digits = 3;
    for (int count = blockCount(); count >= 1000; count /= 10)
        ++digits;
    if (digits == m_digits)
        return;
    m_digits = digits;
    setViewportMargins(gutterWidth(), 0, 0, 0);
    const QRect area = contentsRect();
    m_gutter->setGeometry(area.left(), area.top(), gutterWidth(), area.height());
}

void CodeEditor::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    m_gutter->setGeometry(area.left(), area.top(), gutterWidth(), area.height());
}

bool CodeEditor::event(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        m_digits = 0;
        updateGutterWidth();
    }
    return QPlainTextEdit::event(event);
}

void CodeEditor::paintEvent(QPaintEvent* event)
{
    // Line backgrounds first; the text is painted over them.
    {
        QPainter painter(viewport());
        const int caret = textCursor().blockNumber();
        const QRect area = event->rect();
        QTextBlock block = firstVisibleBlock();
        qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
        while (block.isValid() && top <= area.bottom()) {
            const qreal height = blockBoundingRect(block).height();
            const int number = block.blockNumber();
            const LineMarks* marks = marksOf(block);
            QColor background;
            if (number == m_executionLine)
                background = m_colours.executionLine;
            else if (marks && !marks->error.isEmpty())
                background = m_colours.errorLine;
            else if (number == caret)
                background = m_colours.currentLine;
            if (background.isValid() && block.isVisible())
                painter.fillRect(QRectF(area.left(), top, area.width(), height), background);
            top += height;
            block = block.next();
        }
    }
    QPlainTextEdit::paintEvent(event);
}

void CodeEditor::paintGutter(QPaintEvent* event)
{
    QPainter painter(m_gutter);
    painter.fillRect(event->rect(), m_colours.gutter);
    painter.setFont(font());
    const int caret = textCursor().blockNumber();
    const int margin = marginWidth();
    const int width = m_gutter->width();
    QTextBlock block = firstVisibleBlock();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    const int lineHeight = fontMetrics().height();
    while (block.isValid() && top <= event->rect().bottom()) {
        const qreal height = blockBoundingRect(block).height();
        if (block.isVisible() && top + height >= event->rect().top()) {
            const int number = block.blockNumber();
            const LineMarks* marks = marksOf(block);
            const QRectF numberRect(margin, top, width - margin - 4, lineHeight);
            if (marks && !marks->error.isEmpty()) {
                painter.fillRect(QRectF(margin - 2, top, width - margin + 2, lineHeight), m_colours.errorMark);
                painter.setPen(Qt::white);
            } else {
                painter.setPen(number == caret ? m_colours.currentNumber : m_colours.number);
            }
            painter.drawText(numberRect, Qt::AlignRight | Qt::AlignVCenter, QString::number(number + 1));
            const QRectF mark(2, top + 2, margin - 5, lineHeight - 4);
            painter.setRenderHint(QPainter::Antialiasing, true);
            if (marks && marks->breakpoint) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(m_colours.breakpoint);
                painter.drawEllipse(mark);
            }
            if (number == m_executionLine) {
                QPainterPath arrow;
                arrow.moveTo(mark.left(), mark.top());
                arrow.lineTo(mark.right(), mark.center().y());
                arrow.lineTo(mark.left(), mark.bottom());
                arrow.closeSubpath();
                painter.setPen(QPen(Qt::black, 1));
                painter.setBrush(m_colours.executionMark);
                painter.drawPath(arrow);
            }
            painter.setRenderHint(QPainter::Antialiasing, false);
        }
        top += height;
        block = block.next();
    }
}

void CodeEditor::gutterClicked(int y)
{
    const QTextBlock block = cursorForPosition(QPoint(0, y)).block();
    if (block.isValid())
        toggleBreakpoint(block.blockNumber());
}

QString CodeEditor::toolTipAt(int y) const
{
    return errorAt(cursorForPosition(QPoint(0, y)).blockNumber());
}

bool CodeEditor::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTipAt(help->pos().y());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QPlainTextEdit::viewportEvent(event);
}

void CodeEditor::markersChanged()
{
    viewport()->update();
    m_gutter->update();
}

void CodeEditor::setErrorMarkers(const QMap<int, QString>& markers)
{
    if (m_errorCount > 0) {
        for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
            if (LineMarks* marks = marksOf(block))
                marks->error.clear();
    }
    m_errorCount = 0;
    for (auto it = markers.cbegin(); it != markers.cend(); ++it) {
        if (LineMarks* marks = ensureMarks(document()->findBlockByNumber(it.key()))) {
            marks->error = it.value().isEmpty() ? QStringLiteral("error") : it.value();
            ++m_errorCount;
        }
    }
    markersChanged();
}

QMap<int, QString> CodeEditor::errorMarkers() const
{
    QMap<int, QString> markers;
    if (m_errorCount == 0)
        return markers;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        if (const LineMarks* marks = marksOf(block); marks && !marks->error.isEmpty())
            markers.insert(block.blockNumber(), marks->error);
    return markers;
}

QString CodeEditor::errorAt(int line) const
{
    const LineMarks* marks = marksOf(document()->findBlockByNumber(line));
    return marks ? marks->error : QString();
}

bool CodeEditor::jumpToError(bool forward)
{
    if (m_errorCount == 0)
        return false;
    const QTextBlock start = textCursor().block();
    QTextBlock block = start;
    do {
        block = forward ? block.next() : block.previous();
        if (!block.isValid())
            block = forward ? document()->begin() : document()->lastBlock();
        if (const LineMarks* marks = marksOf(block); marks && !marks->error.isEmpty())
            return goToLine(block.blockNumber());
    } while (block != start);
    return false;
}

bool CodeEditor::nextError()
{
    return jumpToError(true);
}

bool CodeEditor::previousError()
{
    return jumpToError(false);
}

void CodeEditor::setExecutionLine(int line)
{
    m_executionLine = line;
    if (line >= 0) {
        const QTextBlock block = document()->findBlockByNumber(line);
        const qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
        if (block.isValid() && (top < 0 || top + blockBoundingRect(block).height() > viewport()->height())) {
            // Off the screen: bring it to the middle without moving the caret.
            QTextCursor caret = textCursor();
            QTextCursor there(block);
            setTextCursor(there);
            centerCursor();
            const int scroll = verticalScrollBar()->value();
            setTextCursor(caret);
            verticalScrollBar()->setValue(scroll);
        }
    }
    markersChanged();
}

int CodeEditor::executionLine() const
{
    return m_executionLine;
}

void CodeEditor::setBreakpoints(const QSet<int>& lines)
{
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const bool set = lines.contains(block.blockNumber());
        LineMarks* marks = set ? ensureMarks(block) : marksOf(block);
        if (marks)
            marks->breakpoint = set;
    }
    markersChanged();
}

QSet<int> CodeEditor::breakpoints() const
{
    QSet<int> lines;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        if (const LineMarks* marks = marksOf(block); marks && marks->breakpoint)
            lines.insert(block.blockNumber());
    return lines;
}

void CodeEditor::toggleBreakpoint(int line)
{
    LineMarks* marks = ensureMarks(document()->findBlockByNumber(line));
    if (!marks)
        return;
    marks->breakpoint = !marks->breakpoint;
    markersChanged();
    emit breakpointToggled(line, marks->breakpoint);
}

bool CodeEditor::goToLine(int line, bool select)
{
    const QTextBlock block = document()->findBlockByNumber(line);
    if (line < 0 || !block.isValid())
        return false;
    QTextCursor cursor(block);
    if (select)
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    centerCursor();
    return true;
}

void CodeEditor::goToLineDialog()
{
    const int line = askLine ? askLine(this, caretLine() + 1, blockCount()) : 0;
    if (line > 0)
        goToLine(qMin(line, blockCount()) - 1);
}

int CodeEditor::caretLine() const
{
    return textCursor().blockNumber();
}

int CodeEditor::caretColumn() const
{
    return textCursor().positionInBlock();
}
