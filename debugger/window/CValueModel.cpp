#include "debugger/window/CValueModel.h"

#include "debugger/window/EngineMemory.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace m51dbg {

struct CValueModel::Node {
    QString name;
    std::optional<toolchain::CValue> value;
    QString error;  // why there is no value
    QString text, type;
    QString atStop, before;  // the text at the last stop and at the one before
    int stops = 0;           // stops seen with a value (up to 2)
    bool changed = false;
    bool expandable = false, loaded = false;
    bool blank = false;  // the row that takes a new watch
    Node* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;
};

CValueModel::CValueModel(DebugEngine* engine, Kind kind, QObject* parent)
    : QAbstractItemModel(parent), m_engine(engine), m_kind(kind)
{
    connect(m_engine, &DebugEngine::stopped, this, [this](DebugEngine::StopCause cause) {
        if (cause == DebugEngine::StopCause::Started) {
            beginResetModel();
            m_roots.clear();
            endResetModel();
        }
        // A step or a run: the innermost frame again. A change (an edit) keeps the frame.
        if (cause != DebugEngine::StopCause::Changed)
            m_place.reset();
        refresh(cause != DebugEngine::StopCause::Changed);
    });
    connect(m_engine, &DebugEngine::stateChanged, this, [this](DebugEngine::State state) {
        if (state == DebugEngine::State::Off || state == DebugEngine::State::Failed)
            refresh(false);
    });
    // Watches follow the running program; a frame's locals are those of a stop.
    if (m_kind == Kind::Watches) {
        connect(&m_timer, &QTimer::timeout, this, [this] { refresh(false); });
        m_timer.follow(m_engine);
    }
    refresh(false);
}

CValueModel::~CValueModel() = default;

bool CValueModel::live() const
{
    const DebugEngine::State state = m_engine->state();
    return (state == DebugEngine::State::Paused || state == DebugEngine::State::Running)
           && m_engine->program().language == toolchain::Language::C;
}

void CValueModel::setExpressions(const QStringList& expressions)
{
    if (expressions == m_expressions)
        return;
    m_expressions = expressions;
    refresh(false);
}

void CValueModel::setPlace(std::optional<toolchain::StopPlace> place)
{
    m_place = place;
    refresh(false);
}

QStringList CValueModel::rootNames() const
{
    if (m_kind == Kind::Watches)
        return m_expressions;
    QStringList names;
    if (!live())
        return names;
    const uint16_t pc = m_place ? m_place->pc : m_engine->machine().pc;
    // SDCC's spill locations (sloc0, sloc1 …) are the compiler's, not the program's.
    static const QRegularExpression spill(QStringLiteral("^sloc[0-9]+$"));
    for (const toolchain::Symbol* symbol : toolchain::LocalsAt(m_engine->program(), pc)) {
        const QString name = QString::fromStdString(symbol->name);
        if (!names.contains(name) && !spill.match(name).hasMatch())
            names << name;
    }
    return names;
}

// The rows stay (and stay open) while they name the same things; other names make them anew.
void CValueModel::rebuildRoots()
{
    const QStringList names = rootNames();
    const size_t wanted = size_t(names.size()) + (m_kind == Kind::Watches ? 1 : 0);
    bool same = m_roots.size() == wanted;
    for (size_t i = 0; same && i < size_t(names.size()); ++i)
        same = m_roots[i]->name == names[int(i)];
    if (same)
        return;
    beginResetModel();
    m_roots.clear();
    for (int i = 0; i < int(wanted); ++i) {
        auto node = std::make_unique<Node>();
        node->row = i;
        node->blank = i == names.size();
        if (!node->blank)
            node->name = names[i];
        m_roots.push_back(std::move(node));
    }
    endResetModel();
}

void CValueModel::refresh(bool atStop)
{
    rebuildRoots();
    if (m_roots.empty())
        return;
    for (auto& root : m_roots)
        if (!root->blank)
            evaluate(*root, nullptr, nullptr, atStop);
    emit dataChanged(index(0, 0), index(int(m_roots.size()) - 1, ColumnCount - 1));
}

void CValueModel::evaluate(Node& node, const toolchain::CValue* parentValue, const std::string* childName, bool atStop)
{
    const toolchain::Program& program = m_engine->program();
    const EngineMemory memory(m_engine);
    if (!parentValue) {
        node.value.reset();
        node.error.clear();
        if (!live()) {
            node.error = m_engine->state() == DebugEngine::State::Off ? tr("(not debugging)") : tr("(a C program's)");
        } else {
            const toolchain::StopPlace place = m_place.value_or(toolchain::StopPlace{m_engine->machine().pc, std::nullopt});
            toolchain::CResult result = toolchain::Evaluate(node.name.toStdString(), program, memory, place);
            node.value = result.value;
            node.error = QString::fromStdString(result.error);
        }
    } else if (childName) {
        node.name = QString::fromStdString(*childName);
        node.value = *parentValue;
        node.error.clear();
    }
    node.text = node.value ? QString::fromStdString(toolchain::FormatValue(*node.value, program, memory, toolchain::ValueStyle::Rich))
                           : node.error;
    node.type = node.value ? QString::fromStdString(toolchain::TypeName(*node.value, program)) : QString();
    node.expandable = node.value && toolchain::HasChildren(*node.value, program);
    // Marked: changed by the last step, or since the last stop (running, or an edit).
    if (atStop) {
        node.before = std::exchange(node.atStop, node.text);
        node.stops = node.value ? std::min(node.stops + 1, 2) : 0;
    }
    node.changed = (node.stops >= 1 && node.text != node.atStop)
                   || (node.stops >= 2 && node.text != node.before && m_engine->isPaused());
    if (node.loaded)
        refreshChildren(node, atStop);
}

void CValueModel::refreshChildren(Node& node, bool atStop)
{
    const toolchain::Program& program = m_engine->program();
    const EngineMemory memory(m_engine);
    std::vector<std::pair<std::string, toolchain::CValue>> kids;
    if (node.value && node.expandable)
        kids = toolchain::ChildrenOf(*node.value, program, memory);
    const QModelIndex parent = indexOf(&node, 0);
    if (kids.size() != node.children.size()) {
        if (!node.children.empty()) {
            beginRemoveRows(parent, 0, int(node.children.size()) - 1);
            node.children.clear();
            endRemoveRows();
        }
        if (kids.empty())
            return;
        beginInsertRows(parent, 0, int(kids.size()) - 1);
        for (size_t i = 0; i < kids.size(); ++i) {
            auto child = std::make_unique<Node>();
            child->parent = &node;
            child->row = int(i);
            node.children.push_back(std::move(child));
        }
        endInsertRows();
    }
    for (size_t i = 0; i < kids.size(); ++i)
        evaluate(*node.children[i], &kids[i].second, &kids[i].first, atStop);
    emit dataChanged(index(0, 0, parent), index(int(kids.size()) - 1, ColumnCount - 1, parent));
}

bool CValueModel::isMarkedChanged(const QModelIndex& index) const
{
    const Node* node = nodeOf(index);
    return node && node->changed;
}

CValueModel::Node* CValueModel::nodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex CValueModel::indexOf(Node* node, int column) const
{
    return node ? createIndex(node->row, column, node) : QModelIndex();
}

QModelIndex CValueModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount)
        return {};
    const Node* owner = nodeOf(parent);
    const auto& list = owner ? owner->children : m_roots;
    return size_t(row) < list.size() ? createIndex(row, column, list[size_t(row)].get()) : QModelIndex();
}

QModelIndex CValueModel::parent(const QModelIndex& child) const
{
    const Node* node = nodeOf(child);
    return node && node->parent ? indexOf(node->parent, 0) : QModelIndex();
}

int CValueModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const Node* node = nodeOf(parent);
    return int(node ? node->children.size() : m_roots.size());
}

int CValueModel::columnCount(const QModelIndex&) const { return ColumnCount; }

bool CValueModel::hasChildren(const QModelIndex& parent) const
{
    const Node* node = nodeOf(parent);
    return node ? node->expandable && parent.column() == 0 : !m_roots.empty();
}

bool CValueModel::canFetchMore(const QModelIndex& parent) const
{
    const Node* node = nodeOf(parent);
    return node && node->expandable && !node->loaded;
}

void CValueModel::fetchMore(const QModelIndex& parent)
{
    Node* node = nodeOf(parent);
    if (!node || node->loaded)
        return;
    node->loaded = true;
    // Opened at a stop: these are the values of that stop.
    refreshChildren(*node, m_engine->isPaused());
}

QVariant CValueModel::data(const QModelIndex& index, int role) const
{
    const Node* node = nodeOf(index);
    if (!node)
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (node->blank)
            return column == Name ? tr("(new watch)") : QVariant();
        return column == Name ? node->name : column == Value ? node->text : node->type;
    case Qt::EditRole:
        if (column == Name)
            return node->blank ? QString() : node->name;
        return node->value ? QString::fromStdString(toolchain::FormatValue(*node->value, m_engine->program(),
                                                                           EngineMemory(m_engine)))
                           : QString();
    case Qt::ToolTipRole:
        return column == Value && !node->blank ? node->text : QVariant();
    case Qt::ForegroundRole:
        if (node->blank || (column == Value && !node->value))
            return QBrush(QColor(128, 128, 128));
        return column == Value && node->changed ? QBrush(QColor(200, 0, 0)) : QVariant();
    case Qt::FontRole: {
        if (!node->changed && !node->blank)
            return {};
        QFont font;
        font.setBold(node->changed && column == Value);
        font.setItalic(node->blank);
        return font;
    }
    default:
        return {};
    }
}

QVariant CValueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {"Name", "Value", "Type"};
    return section >= 0 && section < ColumnCount ? tr(titles[section]) : QVariant();
}

Qt::ItemFlags CValueModel::flags(const QModelIndex& index) const
{
    const Node* node = nodeOf(index);
    if (!node)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == Name && m_kind == Kind::Watches && !node->parent)
        flags |= Qt::ItemIsEditable;
    if (index.column() == Value && node->value && node->value->location && !node->expandable && m_engine->isPaused())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool CValueModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    Node* node = nodeOf(index);
    if (!node || role != Qt::EditRole)
        return false;
    const QString text = value.toString().trimmed();
    if (index.column() == Name) {
        if (m_kind != Kind::Watches || node->parent || (node->blank && text.isEmpty()))
            return false;
        emit expressionEdited(node->row, text);
        return true;
    }
    if (index.column() != Value || !node->value || !m_engine->isPaused())
        return false;
    EngineMemory memory(m_engine);
    const std::string error = toolchain::Assign(*node->value, text.toStdString(), m_engine->program(), memory);
    if (!error.empty()) {
        emit editRejected(tr("%1: %2").arg(node->name, QString::fromStdString(error)));
        return false;
    }
    return true;
}

} // namespace m51dbg
