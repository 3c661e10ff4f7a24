#include "terminal/ui/WindowControls.h"

#include "terminal/MacroCodec.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QKeyEvent>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent), m_buttons(new QButtonGroup(this))
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(0);
    const int rows = (int(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        m_buttons->addButton(button, i);
        grid->addWidget(button, i % rows, i / rows);
    }
    m_fixed = int(items.size());
    grid->setRowStretch(rows + 1, 1);
    connect(m_buttons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && id != m_index) {
            m_index = id;
            emit Click();
        }
    });
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index < 0 || index >= count() || index == m_index)
        return;
    m_buttons->button(index)->setChecked(true);
}

int TRadioGroup::count() const
{
    return int(m_buttons->buttons().size());
}

QStringList TRadioGroup::items() const
{
    QStringList list;
    for (int i = 0; i < m_fixed; ++i)
        list << m_buttons->button(i)->text();
    return list;
}

void TRadioGroup::addOtherItem(const QString& caption, QWidget* field)
{
    auto* grid = static_cast<QGridLayout*>(layout());
    const int row = (m_fixed + grid->columnCount() - 1) / std::max(1, grid->columnCount());
    auto* button = new QRadioButton(caption, this);
    m_buttons->addButton(button, count());
    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    line->addWidget(button);
    line->addWidget(field, 1);
    grid->addLayout(line, row, 0, 1, grid->columnCount());
}

// ---------------------------------------------------------------------------

void TTxMemo::keyPressEvent(QKeyEvent* event)
{
    QByteArray bytes = TypedBytes(event->key(), event->modifiers(), event->text());
    if (bytes == QByteArray(1, 13) && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter))
        bytes = EnterBytes;
    if (!bytes.isEmpty() && OnKeyPress)
        OnKeyPress(bytes);
    QPlainTextEdit::keyPressEvent(event);
}
