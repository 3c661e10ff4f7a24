#include "ListBox.h"

#include "Cp1250.h"

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

void ListBox::setItems(const QStringList& items)
{
    m_model->setStringList(items);
}

void ListBox::clear()
{
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
