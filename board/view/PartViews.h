#pragma once
// Drawn views of the board's parts: LEDs, a 7-segment display, an LCD and a
// logic trace. Each shows what its part (in the board model) shows at the
// last refresh() and keeps nothing of its own beyond that picture.

#include "board/Parts.h"

#include <QStringList>
#include <QWidget>

namespace board {

class LedView : public QWidget {
public:
    LedView(const LedPart& part, QWidget* parent = nullptr);
    void refresh();
    QSize sizeHint() const override;
    // A short pane scrolls rather than squeezing a part out of sight.
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const LedPart& m_part;
    std::vector<bool> m_lit;
};

class SevenSegView : public QWidget {
public:
    SevenSegView(const SevenSegPart& part, QWidget* parent = nullptr);
    void refresh();
    QSize sizeHint() const override;
    // A short pane scrolls rather than squeezing a part out of sight.
    QSize minimumSizeHint() const override { return sizeHint(); }
    QString shownText() const { return m_text; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const SevenSegPart& m_part;
    std::vector<std::array<float, 8>> m_brightness;
    QString m_text;
};

class LcdView : public QWidget {
public:
    LcdView(const LcdPart& part, QWidget* parent = nullptr);
    void refresh();
    QSize sizeHint() const override;
    // A short pane scrolls rather than squeezing a part out of sight.
    QSize minimumSizeHint() const override { return sizeHint(); }
    // The rows as drawn at the last refresh (CGRAM characters as '?').
    QStringList shownRows() const { return m_rows; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const LcdPart& m_part;
    std::vector<std::vector<uint8_t>> m_codes;
    QStringList m_rows;
    std::pair<int, int> m_cursor{-1, -1};
    bool m_on = false;
};

// The trace's pins over the last `span` machine cycles up to the machine's time.
class TraceView : public QWidget {
public:
    TraceView(const TracePart& part, QWidget* parent = nullptr);
    void refresh(uint64_t now, uint64_t span);
    QSize sizeHint() const override;
    // A short pane scrolls rather than squeezing a part out of sight.
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    const TracePart& m_part;
    uint64_t m_now = 0, m_span = 1;
};

} // namespace board
