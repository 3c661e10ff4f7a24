#include "terminal/CompactTextView.h"

#include "terminal/ui/ControlPictures.h"
#include "terminal/MacroCodec.h"
#include "terminal/ReceiveStore.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

namespace {
constexpr int Margin = 3;
}

TCompactTextView::TCompactTextView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_controlPictures = HasControlPictures(font());
    m_dragTimer.setInterval(50);
    connect(&m_dragTimer, &QTimer::timeout, this, &TCompactTextView::autoScroll);
}

void TCompactTextView::setSource(const TLineSource* source)
{
    m_source = source;
    clearSelection();
    refreshNow();
}

int TCompactTextView::lineHeight() const
{
    return qMax(1, fontMetrics().lineSpacing());
}

int TCompactTextView::charWidth() const
{
    return qMax(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

int TCompactTextView::visibleLineCount() const
{
    return qMax(1, viewport()->height() / lineHeight());
}

qint64 TCompactTextView::firstVisibleLine() const
{
    return verticalScrollBar()->value();
}

bool TCompactTextView::atEnd() const
{
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void TCompactTextView::scrollToEnd()
{
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    m_followEnd = true;
}

void TCompactTextView::setFirstVisibleLine(qint64 first)
{
    verticalScrollBar()->setValue(int(std::clamp<qint64>(first, 0, INT_MAX)));
    m_followEnd = atEnd();
}

void TCompactTextView::showPosition(Position position)
{
    const qint64 first = firstVisibleLine();
    if (position.Line < first || position.Line >= first + visibleLineCount())
        setFirstVisibleLine(position.Line - visibleLineCount() / 2);
    QScrollBar* h = horizontalScrollBar();
    const int x = int(std::min<qint64>(position.Column * charWidth(), INT_MAX));
    if (x < h->value() || x >= h->value() + viewport()->width() - 2 * charWidth())
        h->setValue(std::max(0, x - viewport()->width() / 3));
}

void TCompactTextView::refreshNow()
{
    const bool follow = m_followEnd;
    // Lines dropped from the front: the view and the selection keep to the
    // lines they showed.
    const qint64 dropped = m_source ? m_source->droppedLines() : 0;
    const qint64 shift = dropped - m_droppedSeen;
    m_droppedSeen = dropped;
    if (shift > 0) {
        if (!follow)
            verticalScrollBar()->setValue(int(std::max<qint64>(0, verticalScrollBar()->value() - shift)));
        if (hasSelection()) {
            m_anchor.Line -= shift;
            m_cursor.Line -= shift;
            if (qMax(m_anchor, m_cursor).Line < 0)
                m_anchor = m_cursor = Position();
            else if (qMin(m_anchor, m_cursor).Line < 0)
                (m_anchor < m_cursor ? m_anchor : m_cursor) = Position();
        }
    }
    updateScrollBars();
    if (follow)
        scrollToEnd();
    viewport()->update();
}

void TCompactTextView::updateScrollBars()
{
    const qint64 lines = m_source ? m_source->lineCount() : 0;
    const int visible = visibleLineCount();
    QScrollBar* v = verticalScrollBar();
    v->setPageStep(visible);
    v->setSingleStep(1);
    v->setRange(0, int(std::clamp<qint64>(lines - visible, 0, INT_MAX)));
    const qint64 width = qint64(m_source ? m_source->maxLineLength() : 0) * charWidth() + 2 * Margin + charWidth();
    QScrollBar* h = horizontalScrollBar();
    h->setPageStep(viewport()->width());
    h->setSingleStep(charWidth());
    h->setRange(0, int(std::clamp<qint64>(width - viewport()->width(), 0, INT_MAX)));
}

void TCompactTextView::scrollContentsBy(int, int)
{
    m_followEnd = atEnd();
    viewport()->update();
}

void TCompactTextView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool follow = m_followEnd;
    updateScrollBars();
    if (follow)
        scrollToEnd();
}

void TCompactTextView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_controlPictures = HasControlPictures(font());
        refreshNow();
    }
}

void TCompactTextView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int lh = lineHeight();
    const int cw = charWidth();
    const int ascent = fontMetrics().ascent();
    const qint64 lines = m_source ? m_source->lineCount() : 0;
    const qint64 first = firstVisibleLine();
    const int hscroll = horizontalScrollBar()->value();
    const qint64 firstColumn = qMax(0, (hscroll - Margin) / cw);
    const qint64 columns = viewport()->width() / cw + 2;
    Position s = qMin(m_anchor, m_cursor), e = qMax(m_anchor, m_cursor);
    const bool selection = hasSelection();
    const QPalette& pal = palette();
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;

    for (qint64 i = first, y = 0; i < lines && y < viewport()->height(); ++i, y += lh) {
        const QString text = DisplayText(m_source->lineSlice(i, firstColumn, columns), m_controlPictures);
        const int x0 = Margin - hscroll + int(firstColumn) * cw;
        painter.setPen(pal.color(group, QPalette::Text));
        painter.drawText(x0, int(y) + ascent, text);
        if (selection && i >= s.Line && i <= e.Line) {
            const qint64 from = i == s.Line ? s.Column : 0;
            const qint64 to = i == e.Line ? e.Column : m_source->lineLength(i) + 1;
            const qint64 left = qMax<qint64>(from, firstColumn), right = qMin<qint64>(to, firstColumn + columns);
            if (right > left) {
                const QRect r(Margin - hscroll + int(left) * cw, int(y), int(right - left) * cw, lh);
                painter.fillRect(r, pal.color(group, QPalette::Highlight));
                painter.save();
                painter.setClipRect(r);
                painter.setPen(pal.color(group, QPalette::HighlightedText));
                painter.drawText(x0, int(y) + ascent, text);
                painter.restore();
            }
        }
    }
    m_paintedLines = lines;
    emit painted();
}

TCompactTextView::Position TCompactTextView::positionAt(QPoint point) const
{
    Position p;
    const qint64 lines = m_source ? m_source->lineCount() : 0;
    if (lines == 0)
        return p;
    const qint64 line = firstVisibleLine() + (point.y() < 0 ? -1 - (-point.y() / lineHeight()) : point.y() / lineHeight());
    p.Line = qBound<qint64>(0, line, lines - 1);
    const int x = point.x() - Margin + horizontalScrollBar()->value();
    const qint64 column = (x + charWidth() / 2) / charWidth();
    p.Column = qBound<qint64>(0, column, m_source->lineLength(p.Line));
    return p;
}

void TCompactTextView::setSelection(Position anchor, Position cursor)
{
    m_anchor = anchor;
    m_cursor = cursor;
    viewport()->update();
}

void TCompactTextView::clearSelection()
{
    m_anchor = m_cursor = Position();
    viewport()->update();
}

void TCompactTextView::selectAll()
{
    const qint64 lines = m_source ? m_source->lineCount() : 0;
    if (lines == 0) {
        clearSelection();
        return;
    }
    setSelection(Position{0, 0}, Position{lines - 1, m_source->lineLength(lines - 1)});
}

QString TCompactTextView::selectedText() const
{
    if (!hasSelection() || !m_source)
        return {};
    const Position s = qMin(m_anchor, m_cursor), e = qMax(m_anchor, m_cursor);
    const qint64 last = qMin(e.Line, m_source->lineCount() - 1);
    QByteArray bytes;
    for (qint64 i = s.Line; i <= last; ++i) {
        const qint64 from = i == s.Line ? s.Column : 0;
        const qint64 to = i == e.Line ? e.Column : m_source->lineLength(i);
        bytes += m_source->lineSlice(i, from, to - from);
        if (i < e.Line)
            bytes += '\n';
    }
    return FromCp1250(bytes);
}

void TCompactTextView::copy() const
{
    if (hasSelection())
        QApplication::clipboard()->setText(selectedText());
}

void TCompactTextView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const Position p = positionAt(event->position().toPoint());
    if (event->modifiers() & Qt::ShiftModifier)
        m_cursor = p;
    else
        m_anchor = m_cursor = p;
    m_selecting = true;
    viewport()->update();
}

void TCompactTextView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_selecting)
        return;
    m_dragPoint = event->position().toPoint();
    m_cursor = positionAt(m_dragPoint);
    if (viewport()->rect().contains(m_dragPoint))
        m_dragTimer.stop();
    else if (!m_dragTimer.isActive())
        m_dragTimer.start();
    viewport()->update();
}

void TCompactTextView::autoScroll()
{
    QScrollBar* v = verticalScrollBar();
    if (m_dragPoint.y() < 0)
        v->setValue(v->value() - 1);
    else if (m_dragPoint.y() >= viewport()->height())
        v->setValue(v->value() + 1);
    QScrollBar* h = horizontalScrollBar();
    if (m_dragPoint.x() < 0)
        h->setValue(h->value() - charWidth());
    else if (m_dragPoint.x() >= viewport()->width())
        h->setValue(h->value() + charWidth());
    m_cursor = positionAt(m_dragPoint);
    viewport()->update();
}

void TCompactTextView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_selecting = false;
        m_dragTimer.stop();
        if (hasSelection() && QApplication::clipboard()->supportsSelection())
            QApplication::clipboard()->setText(selectedText(), QClipboard::Selection);
    }
}

void TCompactTextView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_source || m_source->lineCount() == 0)
        return;
    const Position p = positionAt(event->position().toPoint());
    setSelection(Position{p.Line, 0}, Position{p.Line, m_source->lineLength(p.Line)});
}

void TCompactTextView::wheelEvent(QWheelEvent* event)
{
    if (m_partner && !(event->modifiers() & Qt::ShiftModifier)) {
        QCoreApplication::sendEvent(m_partner, event);
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void TCompactTextView::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* v = m_partner ? m_partner : verticalScrollBar();
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else {
        switch (event->key()) {
        case Qt::Key_Up:
            v->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Down:
            v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        case Qt::Key_PageUp:
            v->triggerAction(QAbstractSlider::SliderPageStepSub);
            break;
        case Qt::Key_PageDown:
            v->triggerAction(QAbstractSlider::SliderPageStepAdd);
            break;
        case Qt::Key_Home:
            v->setValue(0);
            break;
        case Qt::Key_End:
            if (m_partner)
                v->setValue(v->maximum());
            else
                scrollToEnd();
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
        }
    }
    event->accept();
}

void TCompactTextView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copyAction = menu.addAction(tr("&Copy"), this, &TCompactTextView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    QAction* all = menu.addAction(tr("Select &All"), this, &TCompactTextView::selectAll);
    all->setShortcut(QKeySequence::SelectAll);
    if (!m_menuActions.isEmpty()) {
        menu.addSeparator();
        menu.addActions(m_menuActions);
    }
    menu.exec(event->globalPos());
}
