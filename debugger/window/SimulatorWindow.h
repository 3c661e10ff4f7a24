#pragma once
// The simulator window: the state of the simulated 8051 while a program is
// debugged (registers, PSW flags, ports with pins the user drives, timers and
// interrupt registers, internal RAM with the bytes the last step changed,
// cycles and time at the crystal frequency) and the simulated serial line's
// console. It shows one DebugEngine and never waits for it.

#include "debugger/DebugEngine.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

class QAbstractButton;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;
class QTabWidget;
class QToolButton;

namespace board {
class BoardPane;
}

namespace m51dbg {

class BoardSession;
class WatchList;
class WatchPane;

class SimulatorWindow : public QWidget {
    Q_OBJECT
public:
    // `board` and `watches` (may be null) add the Board and Watch panes.
    explicit SimulatorWindow(DebugEngine* engine, QWidget* parent = nullptr, BoardSession* board = nullptr,
                             WatchList* watches = nullptr);

    // A further view of the debugged program (memory, stack, breakpoints, ...):
    // shown as a tab of the window's pane area; `id` names it for stored
    // places, `title` is its caption. The window takes ownership.
    struct Pane {
        QString id;
        QString title;
        QWidget* widget = nullptr;
    };
    void addPane(const QString& id, const QString& title, QWidget* widget);
    const std::vector<Pane>& panes() const { return m_panes; }

    // Hands the window's separable panes to a host that shows them elsewhere
    // (Zelvar docks them in its main window): the internal RAM ("iram"), the
    // serial console ("serial"), the Board ("board") and Watch ("watch")
    // panes and every addPane pane, those made so far at once and later ones
    // as they come. The host reparents each widget; the window keeps the
    // controls, registers, ports, timers and time. The window still owns the
    // panes: when it goes, the host must delete them with it.
    using PaneHost = std::function<void(const Pane& pane)>;
    void setPaneHost(PaneHost host);
    bool hasPaneHost() const { return bool(m_host); }

    board::BoardPane* boardPane() const { return m_boardPane; }
    WatchPane* watchPane() const { return m_watchPane; }

    // The commands of the window's six buttons. A window the debugging side
    // made hands them to it, so that they act as the Run menu's commands do
    // (building first, ending Animate); a window on its own drives the engine.
    enum class Command { Run, Stop, StepLine, StepInto, StepOut, Reset };
    void setCommandHandler(std::function<void(Command)> handler);

    // Run ▸ Animate is under way: Stop stays enabled between its steps.
    void setAnimating(bool on);

    double crystalMHz() const;
    void setCrystalMHz(double mhz);

    // The text a register field shows ("A" -> "2C"), for tests and tools.
    QString registerText(const QString& name) const;
    bool isIramByteHighlighted(unsigned address) const;

signals:
    void stopRequested();  // the window's Stop: also ends Animate

private:
    void command(Command which);
    void onStopped(DebugEngine::StopCause cause);
    void onStateChanged(DebugEngine::State state);
    void updateViews();
    void updateTime();
    void onIramEdited(int row, int column);

    DebugEngine* m_engine;
    QTimer m_liveTimer;  // 25 times a second while the program runs
    board::BoardPane* m_boardPane = nullptr;
    WatchPane* m_watchPane = nullptr;
    std::vector<Pane> m_panes;
    PaneHost m_host;
    std::vector<Pane> m_ownPanes;  // iram, serial, board, watch: in the window's layout until hosted
    QTabWidget* m_paneTabs = nullptr;
    std::map<QString, QLabel*> m_registers;
    std::array<QLabel*, 7> m_flags{};
    std::array<std::array<QToolButton*, 8>, 4> m_pins{};
    // The look last given to each flag and pin (0: none yet).
    std::array<uint8_t, 7> m_flagLooks{};
    std::array<std::array<uint8_t, 8>, 4> m_pinLooks{};
    QTableWidget* m_iram = nullptr;
    QLabel* m_bank = nullptr;
    QLabel* m_cycles = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_stopwatch = nullptr;
    uint64_t m_stopwatchBase = 0;  // ticks at the stopwatch's reset
    QLabel* m_status = nullptr;
    QLabel* m_replay = nullptr;  // shown while behind the newest step
    QDoubleSpinBox* m_crystal = nullptr;
    std::array<QAbstractButton*, 6> m_actions{};  // run, stop, step, into, out, reset
    std::function<void(Command)> m_commands;       // null: the buttons drive the engine
    std::array<uint8_t, 256> m_previousIram{}, m_lastStopIram{};
    bool m_havePrevious = false, m_haveLastStop = false;
    bool m_updating = false;
    bool m_animating = false;
};

} // namespace m51dbg
