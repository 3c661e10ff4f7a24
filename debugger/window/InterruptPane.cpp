#include "debugger/window/InterruptPane.h"

#include "debugger/window/StackModel.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace m51dbg {

InterruptPane::InterruptPane(StackModel* model, QWidget* parent) : QWidget(parent), m_model(model)
{
    m_summary = new QLabel;
    m_table = new QTableWidget(0, 5);
    m_table->setHorizontalHeaderLabels({tr("Source"), tr("Enabled"), tr("Pending"), tr("In service"), tr("Priority")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_summary);
    layout->addWidget(m_table);
    connect(m_model, &StackModel::changed, this, &InterruptPane::refresh);
    refresh();
}

void InterruptPane::refresh()
{
    const DebugEngine::State state = m_model->engine()->state();
    const bool shown = state == DebugEngine::State::Paused || state == DebugEngine::State::Running;
    const auto& states = m_model->interrupts();
    const bool ea = m_model->engine()->machine().sfrAt(0xA8) & 0x80;
    m_summary->setText(!shown ? tr("No program is being debugged.")
                       : ea   ? tr("EA = 1: the enabled sources interrupt")
                              : tr("EA = 0: every interrupt is disabled"));
    m_table->setRowCount(shown ? int(states.size()) : 0);
    const QColor on(200, 240, 200), pending(255, 220, 150), service(190, 215, 255);
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const InterruptState& s = states[size_t(row)];
        struct Cell {
            QString text;
            QBrush brush;
        };
        const Cell cells[] = {
            {tr("%1 (%2)").arg(tr(s.name), QString::fromLatin1(s.enableBit)), {}},
            {s.enabled ? tr("yes") : tr("no"), s.enabled ? QBrush(on) : QBrush()},
            {s.pending ? tr("yes") : tr("no"), s.pending ? QBrush(pending) : QBrush()},
            {s.inService ? tr("yes") : tr("no"), s.inService ? QBrush(service) : QBrush()},
            {s.priority ? tr("high") : tr("low"), {}},
        };
        for (int column = 0; column < 5; ++column) {
            QTableWidgetItem* item = m_table->item(row, column);
            if (!item)
                m_table->setItem(row, column, item = new QTableWidgetItem);
            item->setText(cells[column].text);
            item->setBackground(cells[column].brush);
        }
    }
    m_table->resizeColumnsToContents();
}

} // namespace m51dbg
