#pragma once
// The splitter between the receive and transmit areas.

#include <QPainter>
#include <QResizeEvent>
#include <QSplitter>
#include <QSplitterHandle>

// The handle between the receive and transmit areas: a raised bar with a grip
// in its middle, so that it is plain to see that it can be dragged.
class TGripHandle : public QSplitterHandle {
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRect r = rect();
        p.fillRect(r, palette().color(QPalette::Button));
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(r.topLeft(), r.topRight());
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(palette().color(underMouse() ? QPalette::Highlight : QPalette::Dark));
        const QPoint c = r.center();
        for (int i = -3; i <= 3; ++i)
            p.drawEllipse(QPointF(c.x() + i * 7 + 0.5, c.y() + 0.5), 1.6, 1.6);
    }
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }
};

// The receive area above takes what the window gains or loses; the transmit
// area below keeps its height (as long as it fits).
class TGripSplitter : public QSplitter {
public:
    using QSplitter::QSplitter;

protected:
    QSplitterHandle* createHandle() override { return new TGripHandle(orientation(), this); }
    void resizeEvent(QResizeEvent* event) override
    {
        const int below = count() == 2 ? widget(1)->height() : -1;
        QSplitter::resizeEvent(event);
        const int total = height() - handleWidth();
        if (below <= 0 || event->oldSize().height() <= 0 || total <= below)
            return;
        setSizes({total - below, below});
    }
};
