#include "ListBox.h"

#include "Cp1250.h"
#include "FileWrite.h"

#include <QEvent>
#include <QResizeEvent>
#include <QStringListModel>

ListBox::ListBox(int columns, QWidget* parent)
    : QListView(parent), m_model(new QStringListModel(this)), m_columns(columns)
{
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(2000);
    if (m_columns > 1) {
        setFlow(QListView::TopToBottom);
        setWrapping(true);
        setResizeMode(QListView::Adjust);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
}

void ListBox::setLines(const std::vector<std::string>& lines)
{
    setItems(cp1250::decodeLines(lines));
}

void ListBox::setEntries(const std::vector<m51::ListEntry>& entries)
{
    // Runs of equal entries (a long run of duplicate reports) share one
    // decoded text: QString is shared on copy.
    std::vector<std::string> distinct;
    // Source text shows without control bytes and cut when long.
    for (size_t i = 0; i < entries.size(); ++i)
        if (i == 0 || entries[i].text != entries[i - 1].text)
            distinct.push_back(m51::quoteForMessage(entries[i].text));
    const QStringList decoded = cp1250::decodeLines(distinct);
    QStringList items;
    items.reserve(qsizetype(entries.size()));
    qsizetype next = 0;
    for (size_t i = 0; i < entries.size(); ++i)
        items.append(i == 0 || entries[i].text != entries[i - 1].text ? decoded[next++] : items.back());
    setItems(items);
    m_lines.reserve(entries.size());
    for (const m51::ListEntry& e : entries)
        m_lines.push_back(e.line);
}

void ListBox::setItems(const QStringList& items)
{
    m_lines.clear();
    m_model->setStringList(items);
}

void ListBox::clear()
{
    m_lines.clear();
    m_model->setStringList({});
}

QStringList ListBox::items() const
{
    return m_model->stringList();
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
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? QString() : rows.first().data().toString();
}

int ListBox::selectedLine() const
{
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    if (rows.isEmpty() || rows.first().row() >= int(m_lines.size()))
        return -1;
    return m_lines[std::size_t(rows.first().row())];
}

void ListBox::selectRow(int row)
{
    const QModelIndex index = m_model->index(row);
    setCurrentIndex(index);
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
}

void ListBox::resizeEvent(QResizeEvent* event)
{
    QListView::resizeEvent(event);
    updateGrid();
}

void ListBox::changeEvent(QEvent* event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGrid();
}

void ListBox::updateGrid()
{
    if (m_columns <= 1)
        return;
    const int width = qMax(1, viewport()->width() / m_columns);
    const int height = fontMetrics().height() + 2;
    if (gridSize() != QSize(width, height))
        setGridSize(QSize(width, height));
}
