#pragma once
// A label whose new texts repaint the label alone. A QLabel asks its parents
// for a new layout whenever its text changes, and every layout above it is
// worked out again up to the window (the pane tabs repaint with it): for a
// status line that changes at every step that cost more than the step. Here
// the label sits in a holder of fixed height without a layout, so its texts
// stop at the holder; the holder gives it its whole area.

#include <QLabel>
#include <QResizeEvent>
#include <QWidget>

namespace m51dbg {

class SteadyLabel : public QWidget {
public:
    // `label` becomes the holder's child; `lines`: the lines of text it has room for.
    SteadyLabel(QLabel* label, int lines, QWidget* parent = nullptr) : QWidget(parent), m_label(label)
    {
        label->setParent(this);
        const QMargins margins = label->contentsMargins();
        setFixedHeight(lines * label->fontMetrics().lineSpacing() + margins.top() + margins.bottom() + 2);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    QLabel* label() const { return m_label; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        m_label->setGeometry(rect());
    }

private:
    QLabel* m_label;
};

} // namespace m51dbg
