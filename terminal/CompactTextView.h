#pragma once
// TCompactTextView: a read-only text box over a TLineSource. It draws only the
// visible lines, so it shows hundreds of megabytes held compactly elsewhere,
// and still scrolls (bars, wheel, keys), selects (mouse, Shift, Ctrl+A) and
// copies (Ctrl+C, context menu) like the platform's own text box. The owner
// says when the source has grown (refreshNow, which it calls at most every
// RefreshPeriod ms however fast data comes); the view then follows the end
// while it is scrolled to the end.

#include <QAbstractScrollArea>
#include <QTimer>

class QAction;
class QScrollBar;

class TLineSource;

class TCompactTextView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TCompactTextView(QWidget* parent = nullptr);

    void setSource(const TLineSource* source);
    const TLineSource* source() const { return m_source; }

    // The source changed: scroll range, follow the end, repaint.
    void refreshNow();

    // Selection in (line, column) positions; the column counts characters.
    struct Position {
        qint64 Line = 0;
        qint64 Column = 0;
        bool operator<(const Position& o) const { return Line < o.Line || (Line == o.Line && Column < o.Column); }
        bool operator==(const Position& o) const { return Line == o.Line && Column == o.Column; }
    };
    bool hasSelection() const { return !(m_anchor == m_cursor); }
    Position selectionStart() const { return qMin(m_anchor, m_cursor); }
    QString selectedText() const;
    void setSelection(Position anchor, Position cursor);
    void selectAll();
    void clearSelection();
    void copy() const;
    // An owner's command shown in the context menu after Copy and Select All.
    void addMenuAction(QAction* action) { m_menuActions.append(action); }

    qint64 firstVisibleLine() const;
    // Shows line first at the top (within the scroll range); the view then
    // stays there instead of following the end.
    void setFirstVisibleLine(qint64 first);
    // Another view's scroll bar that wheel and keys move instead of this
    // view's own (columns that scroll together with a main view).
    void setScrollPartner(QScrollBar* partner) { m_partner = partner; }
    int visibleLineCount() const;
    // Scrolls so that the position is in sight (a found text), vertically
    // near the middle when it was out of sight.
    void showPosition(Position position);
    bool atEnd() const;
    void scrollToEnd();
    // Milliseconds between the owner's refreshes while data keeps arriving.
    static constexpr int RefreshPeriod = 30;
    // The number of source lines the last paint could show (for measurements).
    qint64 paintedLineCount() const { return m_paintedLines; }

signals:
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void updateScrollBars();
    Position positionAt(QPoint point) const;
    int lineHeight() const;
    int charWidth() const;
    void autoScroll();

    const TLineSource* m_source = nullptr;
    Position m_anchor, m_cursor;
    bool m_selecting = false;
    bool m_followEnd = true;
    bool m_controlPictures = false;
    QTimer m_dragTimer;
    QPoint m_dragPoint;
    qint64 m_paintedLines = 0;
    qint64 m_droppedSeen = 0;  // the source's dropped lines at the last refresh
    QScrollBar* m_partner = nullptr;
    QList<QAction*> m_menuActions;
};
