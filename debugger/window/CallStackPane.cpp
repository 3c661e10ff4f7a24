#include "CallStackPane.h"

#include "StackModel.h"

#include <QHeaderView>
#include <algorithm>
#include <QTableWidget>
#include <QVBoxLayout>

namespace m51dbg {

namespace {

const char* const InterruptNames[] = {"external 0", "timer 0", "external 1", "timer 1", "serial port", "timer 2"};

QString Hex(unsigned value, int digits) { return QStringLiteral("%1H").arg(value, digits, 16, QChar('0')).toUpper(); }

} // namespace

CallStackPane::CallStackPane(StackModel* model, QWidget* parent) : QWidget(parent), m_model(model)
{
    m_table = new QTableWidget(0, 4);
    m_table->setHorizontalHeaderLabels({tr("Procedure"), tr("Line"), tr("Address"), tr("Entered by")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setToolTip(tr("Double-click a frame to show its line"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const auto& frames = m_model->view().frames;
        if (row >= 0 && size_t(row) < frames.size())
            emit lineActivated(frames[size_t(row)].sourceLine, frames[size_t(row)].asmLine);
    });
    connect(m_model, &StackModel::changed, this, &CallStackPane::refresh);
    refresh();
}

void CallStackPane::refresh()
{
    const DebugEngine::State state = m_model->engine()->state();
    const auto& frames = m_model->view().frames;
    const bool shown = state == DebugEngine::State::Paused || state == DebugEngine::State::Running;
    m_table->setRowCount(shown ? int(frames.size()) : 0);
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const StackFrame& frame = frames[size_t(row)];
        QString entered;
        switch (frame.enteredBy) {
        case StackFrame::Entry::Reset: entered = tr("reset"); break;
        case StackFrame::Entry::Call: entered = tr("call"); break;
        case StackFrame::Entry::Interrupt:
            entered = tr("interrupt (%1)").arg(tr(InterruptNames[std::clamp(frame.interruptSource, 0, 5)]));
            break;
        }
        const QString texts[] = {
            frame.procedure.empty() ? tr("(no name)") : QString::fromStdString(frame.procedure),
            frame.sourceLine >= 0 ? QString::number(frame.sourceLine + 1) : QStringLiteral("-"),
            Hex(frame.at, 4),
            entered,
        };
        for (int column = 0; column < 4; ++column) {
            QTableWidgetItem* item = m_table->item(row, column);
            if (!item)
                m_table->setItem(row, column, item = new QTableWidgetItem);
            item->setText(texts[column]);
            QFont font = item->font();
            font.setBold(frame.enteredBy == StackFrame::Entry::Interrupt);
            item->setFont(font);
        }
    }
    m_table->resizeColumnsToContents();
}

} // namespace m51dbg
