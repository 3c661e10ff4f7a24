#pragma once
// A memory view pane: internal RAM, external RAM or code as hex and
// characters (MemoryModel), a "Go to" box for an address, changed bytes
// marked, editable where the memory is writable. Drawn at each stop and 25
// times a second while the program runs, only the rows in sight.

#include "debugger/window/LiveTimer.h"
#include "debugger/DebugEngine.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTableView;

namespace m51dbg {

class MemoryModel;

class MemoryPane : public QWidget {
    Q_OBJECT
public:
    MemoryPane(DebugEngine* engine, DebugEngine::Memory memory, QWidget* parent = nullptr);

    MemoryModel* model() const { return m_model; }
    QTableView* view() const { return m_view; }
    // Shows the row of `address` with its byte selected; false when out of the memory.
    bool goTo(unsigned address);

private:
    void shownRowsChanged(bool look = true);
    void updateNote();
    bool eventFilter(QObject* watched, QEvent* event) override;

    DebugEngine* m_engine;
    MemoryModel* m_model;
    QTableView* m_view;
    QLineEdit* m_goTo;
    QLabel* m_note;
    LiveTimer m_live;
};

} // namespace m51dbg
