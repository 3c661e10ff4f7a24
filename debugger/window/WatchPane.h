#pragma once
// The Watch pane: the watch list as a table, one watch a row (hexadecimal,
// decimal, binary, character), changed values marked; the last row takes a
// new watch, a value cell edited writes the machine. Redrawn at each stop
// and 25 times a second while the program runs on the built-in simulator.

#include "LiveTimer.h"
#include "DebugEngine.h"
#include "WatchList.h"

#include <QWidget>

class QTableWidget;

namespace m51dbg {

class WatchPane : public QWidget {
    Q_OBJECT
public:
    WatchPane(DebugEngine* engine, WatchList* list, QWidget* parent = nullptr);

    // The program's names changed (a new build).
    void setNames(SourceNames names);
    void addWatch(const QString& expression);
    // Cell text for tests and tools (column 0 the expression, 1-4 the forms).
    QString cellText(int row, int column) const;
    bool isMarkedChanged(int row) const;

private:
    void sample(bool atStop);
    void fill();
    void onCellChanged(int row, int column);
    ByteReader reader() const;

    DebugEngine* m_engine;
    WatchList* m_list;
    QTableWidget* m_table = nullptr;
    LiveTimer m_timer;
    bool m_filling = false;
};

} // namespace m51dbg
