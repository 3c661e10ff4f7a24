#pragma once
// The Breakpoints pane: every breakpoint of the program with its line, an
// On box that enables and disables it, its condition (typed in the cell:
// "A = 5", "iram[30] > 10", a DEFINEBIT name ...) and its hit count since
// the start or the last Reset. Remove takes the selected breakpoint away
// (from the editor too).

#include "debugger/DebugEngine.h"

#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace m51dbg {

class DebugController;

class BreakpointPane : public QWidget {
    Q_OBJECT
public:
    explicit BreakpointPane(DebugController* controller, QWidget* parent = nullptr);

    // The rows: the breakpoints as shown (for tests and tools).
    const std::vector<BreakpointRef>& rows() const { return m_rows; }
    // Types a condition into a row, as the user does in its cell; the message shown comes back.
    QString enterCondition(int row, const QString& condition);

private:
    void refresh();
    void onItemChanged(int row, int column);
    void removeRows(bool all);
    QString where(const BreakpointRef& breakpoint) const;

    DebugController* m_controller;
    DebugEngine* m_engine;
    QTableWidget* m_table = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_remove = nullptr;
    std::vector<BreakpointRef> m_rows;
    bool m_filling = false;
};

} // namespace m51dbg
