#include "ide/ListBox.h"

#include "common/Cp1250.h"
#include "common/FileWrite.h"

#include <QEvent>
#include <QHeaderView>

ResultRowModel::ResultRowModel(QStringList headings, QObject* parent)
    : QAbstractTableModel(parent), m_headings(std::move(headings))
{
}

void ResultRowModel::setRows(std::vector<ResultRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int ResultRowModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ResultRowModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_headings.size());
}

QVariant ResultRowModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return {};
    const ResultRow& row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == LineColumn)
            return row.line >= 0 ? QVariant(row.line + 1) : QVariant();
        return index.column() == TextColumn ? row.text : row.note;
    case Qt::ToolTipRole: {
        // The whole text, however narrow the column, and where a double click goes.
        QString tip = row.text;
        if (!row.note.isEmpty())
            tip += QLatin1Char('\n') + row.note;
        if (row.line >= 0)
            tip += QStringLiteral("\nSource line %1 - double-click to show it").arg(row.line + 1);
        return tip;
    }
    case Qt::TextAlignmentRole:
        return index.column() == LineColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
        return {};
    }
}

QVariant ResultRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= m_headings.size())
        return {};
    return m_headings[section];
}

ListBox::ListBox(const QStringList& headings, QWidget* parent)
    : QTableView(parent), m_model(new ResultRowModel(headings, this))
{
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    // Fixed row heights and column widths: nothing is measured per row.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fitRows();
}

void ListBox::setLines(const std::vector<std::string>& lines)
{
    setItems(cp1250::decodeLines(lines));
}

void ListBox::setEntries(const std::vector<m51::ListEntry>& entries)
{
    std::vector<ResultRow> rows;
    rows.reserve(entries.size());
    // Runs of equal entries (a long run of duplicate reports) share one
    // decoded text: QString is shared on copy. Source text shows without
    // control bytes and cut when long.
    for (size_t i = 0; i < entries.size(); ++i) {
        const bool same = i > 0 && entries[i].text == entries[i - 1].text;
        rows.push_back({entries[i].line,
                        same ? rows.back().text : cp1250::decode(m51::quoteForMessage(entries[i].text)), {}});
    }
    setRows(std::move(rows));
}

void ListBox::setRows(std::vector<ResultRow> rows)
{
    m_model->setRows(std::move(rows));
    // With a note column the text column grows to its longest text (of the
    // first thousand rows) so that no message is cut; the list scrolls sideways.
    if (m_model->columnCount() > 2 && m_model->rowCount() > 0) {
        const int least = fontMetrics().horizontalAdvance(QLatin1Char('M')) * 40;
        setColumnWidth(ResultRowModel::TextColumn, qMax(least, sizeHintForColumn(ResultRowModel::TextColumn)));
    }
}

void ListBox::setItems(const QStringList& items)
{
    std::vector<ResultRow> rows;
    rows.reserve(size_t(items.size()));
    for (const QString& item : items)
        rows.push_back({-1, item, {}});
    setRows(std::move(rows));
}

void ListBox::clear()
{
    m_model->setRows({});
}

QStringList ListBox::items() const
{
    QStringList texts;
    texts.reserve(qsizetype(m_model->rows().size()));
    for (const ResultRow& row : m_model->rows())
        texts.append(row.text);
    return texts;
}

int ListBox::count() const
{
    return m_model->rowCount();
}

bool ListBox::hasSelection() const
{
    return selectionModel()->hasSelection();
}

QString ListBox::selectedText() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? QString() : m_model->rows()[size_t(rows.first().row())].text;
}

int ListBox::selectedLine() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : m_model->rows()[size_t(rows.first().row())].line;
}

void ListBox::selectRow(int row)
{
    const QModelIndex index = m_model->index(row, ResultRowModel::TextColumn);
    setCurrentIndex(index);
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ListBox::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitRows();
}

void ListBox::fitRows()
{
    // A row a line of the font high; the line column wide enough for six
    // digits (or its heading).
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    verticalHeader()->setMinimumSectionSize(fontMetrics().height());
    const int digits = fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 8;
    const int heading = horizontalHeader()->fontMetrics().horizontalAdvance(m_model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString()) + 12;
    setColumnWidth(ResultRowModel::LineColumn, qMax(digits, heading));
    if (m_model->columnCount() > 2)
        setColumnWidth(ResultRowModel::TextColumn, fontMetrics().horizontalAdvance(QLatin1Char('M')) * 40);
}
