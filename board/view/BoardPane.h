#pragma once
// The Board pane: the virtual board's parts drawn from its model, with the
// buttons, switches and keypad keys under the mouse and on the keyboard keys
// the board file gives them. While the program runs the pane redraws 25
// times a second from a timer (never per pin change, so a fast-running
// program is not slowed down by drawing); when it stops, refresh() once.

#include "board/VirtualBoard.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <vector>

class QAbstractButton;
class QVBoxLayout;
class QScrollArea;

namespace board {

class LcdView;
class LedView;
class SevenSegView;
class TraceView;

class BoardPane : public QWidget {
    Q_OBJECT
public:
    // `model` may be null (no board for this program) and may change with setBoard.
    explicit BoardPane(VirtualBoard* model, QWidget* parent = nullptr);

    void setBoard(VirtualBoard* model);
    VirtualBoard* board() const { return m_board; }
    // Redrawn 25 times a second while live (the program runs).
    void setLive(bool live);
    bool isLive() const { return m_timer.isActive(); }
    void refresh();

    // For tests and tools: the button (or keypad key) widgets of part `i`.
    QAbstractButton* buttonOf(size_t part, char key = 0) const;
    const LcdView* lcdView(size_t nth = 0) const;
    const SevenSegView* sevenSegView(size_t nth = 0) const;

    static constexpr int FrameMs = 40;

signals:
    // The user pressed or let go of a part (the board model has it already).
    void partOperated(int part);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void rebuild();
    void fitWidth();
    bool keyEvent(QKeyEvent* event, bool down);

    struct Control {
        size_t part;
        char key;  // keypad key, 0 for a button or switch
        QAbstractButton* button;
        int keyCode;  // keyboard key, 0: none
    };
    VirtualBoard* m_board = nullptr;
    QVBoxLayout* m_layout = nullptr;
    QWidget* m_content = nullptr;
    QScrollArea* m_scroll = nullptr;
    QTimer m_timer;
    std::vector<Control> m_controls;
    std::vector<LedView*> m_leds;
    std::vector<SevenSegView*> m_sevenSegs;
    std::vector<LcdView*> m_lcds;
    std::vector<TraceView*> m_traces;
};

} // namespace board
