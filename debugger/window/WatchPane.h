#pragma once
// The Watch pane: the watch list as a table, one watch a row (hexadecimal,
// decimal, binary, character), changed values marked; the last row takes a
// new watch, a value cell edited writes the machine. Redrawn at each stop
// and 25 times a second while the program runs on the built-in simulator.
// For a C program the same watches are C expressions, shown as a tree of C
// values (CValueView): fields and elements open, values as C reads them.

#include "debugger/window/LiveTimer.h"
#include "debugger/DebugEngine.h"
#include "simrun/WatchList.h"
#include "debugger/window/CValueModel.h"

#include <QWidget>

class QStackedWidget;
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
    // The C values of a C program's watches.
    CValueModel* cModel() const { return m_cModel; }

private:
    void sample(bool atStop);
    void fill();
    void onCellChanged(int row, int column);
    ByteReader reader() const;
    void showKind();
    void onExpressionEdited(int row, const QString& text);
    void editExpression(size_t index, const QString& text);

    DebugEngine* m_engine;
    WatchList* m_list;
    QTableWidget* m_table = nullptr;
    QStackedWidget* m_views = nullptr;
    CValueModel* m_cModel = nullptr;
    LiveTimer m_timer;
    bool m_filling = false;
};

// The bytes the watches read: Reverse Continue stops where one of them changes.
std::vector<SimulatorBackend::WatchedByte> WatchedBytes(const WatchList& watches);

} // namespace m51dbg
