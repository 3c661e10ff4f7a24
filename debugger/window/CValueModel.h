#pragma once
// C values of the debugged program as a tree: the locals and parameters of a
// frame (the Locals pane) or the expressions of the watch list (the Watch
// pane of a C program), each with its value as C reads it and its type;
// structures, unions, arrays and pointers open into their fields, elements
// and what they point to. The values are read through the engine at every
// stop (and, for watches, while the program runs); a value typed into the
// Value column is written back through the engine. Values that changed since
// the last stop are marked.

#include "debugger/DebugEngine.h"
#include "debugger/window/LiveTimer.h"
#include "toolchain/CExpression.h"

#include <QAbstractItemModel>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace m51dbg {

class CValueModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { Name, Value, Type, ColumnCount };
    enum class Kind { Locals, Watches };

    CValueModel(DebugEngine* engine, Kind kind, QObject* parent = nullptr);
    ~CValueModel() override;

    Kind kind() const { return m_kind; }
    // Watches: the expressions, one a row; a last empty row takes a new one.
    void setExpressions(const QStringList& expressions);
    // Where names are read: a frame of the call stack (none: the innermost,
    // as every stop sets it again).
    void setPlace(std::optional<toolchain::StopPlace> place);
    // Reads every value shown again; `atStop` makes these the values later changes are marked against.
    void refresh(bool atStop);
    bool isMarkedChanged(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    // Watches: the expression of `row` typed anew (empty: removed; the row
    // after the last: a new watch).
    void expressionEdited(int row, const QString& text);
    void editRejected(const QString& message);

private:
    struct Node;
    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(Node* node, int column) const;
    QStringList rootNames() const;
    void rebuildRoots();
    void evaluate(Node& node, const toolchain::CValue* parentValue, const std::string* childName, bool atStop);
    void refreshChildren(Node& node, bool atStop);
    bool live() const;

    DebugEngine* m_engine;
    Kind m_kind;
    QStringList m_expressions;
    std::optional<toolchain::StopPlace> m_place;
    std::vector<std::unique_ptr<Node>> m_roots;
    LiveTimer m_timer;
};

} // namespace m51dbg
