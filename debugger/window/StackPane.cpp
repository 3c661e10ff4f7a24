#include "debugger/window/StackPane.h"

#include "debugger/window/StackModel.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace m51dbg {

namespace {

QString Hex(unsigned value, int digits) { return QStringLiteral("%1H").arg(value, digits, 16, QChar('0')).toUpper(); }

// "MAIN, M51 line 14" or the address where no name or line is known.
QString Place(const StackFrame& frame, uint16_t address)
{
    QString text = frame.procedure.empty() ? Hex(address, 4) : QString::fromStdString(frame.procedure);
    if (frame.sourceLine >= 0)
        text += QObject::tr(", line %1").arg(frame.sourceLine + 1);
    return text;
}

} // namespace

StackPane::StackPane(StackModel* model, QWidget* parent) : QWidget(parent), m_model(model)
{
    m_summary = new QLabel;
    m_table = new QTableWidget(0, 3);
    m_table->setHorizontalHeaderLabels({tr("Address"), tr("Byte"), tr("Meaning")});
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_summary);
    layout->addWidget(m_table);
    connect(m_model, &StackModel::changed, this, &StackPane::refresh);
    refresh();
}

void StackPane::refresh()
{
    const DebugEngine::State state = m_model->engine()->state();
    if (state != DebugEngine::State::Paused && state != DebugEngine::State::Running) {
        m_summary->setText(tr("No program is being debugged."));
        m_table->setRowCount(0);
        return;
    }
    const MachineState& m = m_model->engine()->machine();
    const StackView& view = m_model->view();
    const unsigned sp = m.sp();
    const int rows = sp >= view.base ? int(sp - view.base + 1) : 0;
    m_summary->setText(rows ? tr("SP = %1, the stack from %2: %n byte(s)", nullptr, rows).arg(Hex(sp, 2), Hex(view.base, 2))
                            : tr("SP = %1: the stack (from %2) is empty").arg(Hex(sp, 2), Hex(view.base, 2)));
    m_table->setRowCount(rows);
    // Each return address: which frame's pair a byte belongs to.
    std::vector<const StackFrame*> owner(256, nullptr);
    std::vector<const StackFrame*> caller(256, nullptr);
    for (size_t i = 0; i < view.frames.size(); ++i) {
        const StackFrame& frame = view.frames[i];
        if (frame.returnSlot < 0 || frame.returnSlot > 254 || i + 1 >= view.frames.size())
            continue;
        owner[frame.returnSlot] = owner[frame.returnSlot + 1] = &frame;
        caller[frame.returnSlot] = caller[frame.returnSlot + 1] = &view.frames[i + 1];
    }
    int shade = 0;
    for (int row = 0; row < rows; ++row) {
        const unsigned address = sp - unsigned(row);
        const StackFrame* frame = owner[address];
        QString meaning;
        if (frame && unsigned(frame->returnSlot) + 1 == address) {
            ++shade;
            const QString kind = frame->enteredBy == StackFrame::Entry::Interrupt
                                     ? tr("interrupt return to %1").arg(Place(*caller[address], frame->returnAddress))
                                     : tr("return to %1").arg(Place(*caller[address], frame->returnAddress));
            meaning = tr("%1 (%2), high byte").arg(kind, Hex(frame->returnAddress, 4));
        } else if (frame) {
            meaning = tr("low byte");
        }
        const QString texts[] = {Hex(address, 2) + (address == sp ? tr(" ← SP") : QString()), Hex(m.iram[address], 2), meaning};
        for (int column = 0; column < 3; ++column) {
            QTableWidgetItem* item = m_table->item(row, column);
            if (!item)
                m_table->setItem(row, column, item = new QTableWidgetItem);
            item->setText(texts[column]);
            item->setBackground(frame ? QBrush(shade % 2 ? QColor(220, 235, 255) : QColor(255, 240, 210)) : QBrush());
        }
    }
}

} // namespace m51dbg
