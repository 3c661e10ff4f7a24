#include "terminal/HistoryComboBox.h"

#include "terminal/Storage.h"

#include <QKeyEvent>
#include <QLineEdit>

THistoryComboBox::THistoryComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);  // Enter does not add to the list; only saving does
    setDuplicatesEnabled(false);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(10);
}

QStringList THistoryComboBox::History() const
{
    QStringList list;
    for (int i = 0; i < count(); ++i)
        list << itemText(i);
    return list;
}

void THistoryComboBox::setHistory(const QStringList& list)
{
    const QString text = currentText();
    clear();
    addItems(list);
    setEditText(text);
}

void THistoryComboBox::LoadHistory()
{
    if (m_key.isEmpty())
        return;
    clear();
    setEditText(QString());
    const auto store = OpenUserStore();
    setHistory(LoadHistoryList(*store, KeyToGroup(m_key), m_maxHistoryLength));
    setEditText(QString());
}

void THistoryComboBox::AddToHistory(const QString& text)
{
    if (text.isEmpty())
        return;
    setHistory(AddToHistoryList(History(), text, m_maxHistoryLength));
}

void THistoryComboBox::SaveHistory()
{
    if (m_key.isEmpty())
        return;
    AddToHistory(currentText());
    const auto store = OpenUserStore();
    SaveHistoryList(*store, KeyToGroup(m_key), History());
}

void THistoryComboBox::keyPressEvent(QKeyEvent* event)
{
    // The edit field passes Enter on to the box (its returnPressed comes
    // again from here), so the press is told once, here.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        emit entered();
    QComboBox::keyPressEvent(event);
}
