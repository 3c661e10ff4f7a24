#pragma once
// The stack of the debugged program as the stack, call stack and interrupt
// panes show it: read again at every stop and 25 times a second while the
// program runs, with the procedure names of the program being debugged.

#include "debugger/window/LiveTimer.h"
#include "simrun/CallStack.h"
#include "debugger/DebugEngine.h"

#include <QObject>

#include <vector>

namespace m51dbg {

class StackModel : public QObject {
    Q_OBJECT
public:
    explicit StackModel(DebugEngine* engine, QObject* parent = nullptr);

    // The names of a new build: its M51 procedures (source) or every code label (assembly).
    void setProcedures(std::vector<CodeName> procedures);
    DebugEngine* engine() const { return m_engine; }
    const StackView& view() const { return m_view; }
    const std::vector<InterruptState>& interrupts() const { return m_interrupts; }
    bool hasTimer2() const;

signals:
    void changed();

private:
    void update();

    DebugEngine* m_engine;
    std::vector<CodeName> m_procedures;
    StackView m_view;
    std::vector<InterruptState> m_interrupts;
    LiveTimer m_timer;
};

} // namespace m51dbg
