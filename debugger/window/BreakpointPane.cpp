#include "debugger/window/BreakpointPane.h"

#include "debugger/window/DebugController.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace m51dbg {

BreakpointPane::BreakpointPane(DebugController* controller, QWidget* parent)
    : QWidget(parent), m_controller(controller), m_engine(controller->engine())
{
    m_table = new QTableWidget(0, 4);
    m_table->setHorizontalHeaderLabels({tr("On"), tr("Line"), tr("Condition"), tr("Hits")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_table->setToolTip(tr("Double-click a condition to edit it: A = 5, iram[30] > 10, a DEFINEBIT name …; "
                           "empty: the breakpoint always stops"));
    m_message = new QLabel;
    m_message->setStyleSheet("color:#b00");
    m_remove = new QPushButton(tr("Remove"));
    auto* removeAll = new QPushButton(tr("Remove all"));
    // The message shares the buttons' row: the pane keeps its height when one comes.
    m_message->setWordWrap(false);
    m_message->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_remove);
    buttons->addWidget(removeAll);
    buttons->addWidget(m_message, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    layout->addLayout(buttons);
    connect(m_remove, &QAbstractButton::clicked, this, [this] { removeRows(false); });
    connect(removeAll, &QAbstractButton::clicked, this, [this] { removeRows(true); });
    connect(m_table, &QTableWidget::cellChanged, this, &BreakpointPane::onItemChanged);
    connect(m_controller, &DebugController::breakpointsChanged, this, &BreakpointPane::refresh);
    connect(m_engine, &DebugEngine::breakpointsUpdated, this, &BreakpointPane::refresh);
    connect(m_engine, &DebugEngine::stopped, this, &BreakpointPane::refresh);
    refresh();
}

QString BreakpointPane::where(const BreakpointRef& breakpoint) const
{
    const QString file = m_controller->sourceFileName();
    return breakpoint.assembly ? tr("%1 (assembly):%2").arg(file).arg(breakpoint.line + 1)
                               : QStringLiteral("%1:%2").arg(file).arg(breakpoint.line + 1);
}

void BreakpointPane::refresh()
{
    if (QWidget* focus = QApplication::focusWidget(); focus && focus != m_table && m_table->isAncestorOf(focus))
        return;  // the condition being typed stays; the row is filled again when it is entered
    std::vector<BreakpointRef> rows;
    for (int line : m_controller->breakpoints())
        rows.push_back({false, line});
    for (int line : m_engine->asmBreakpoints())
        rows.push_back({true, line});
    std::sort(rows.begin(), rows.end());
    m_rows = rows;
    m_filling = true;
    m_table->setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row) {
        const BreakpointSettings settings = m_engine->breakpointSettings(rows[size_t(row)]);
        for (int column = 0; column < 4; ++column)
            if (!m_table->item(row, column))
                m_table->setItem(row, column, new QTableWidgetItem);
        QTableWidgetItem* on = m_table->item(row, 0);
        on->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        on->setCheckState(settings.enabled ? Qt::Checked : Qt::Unchecked);
        QTableWidgetItem* line = m_table->item(row, 1);
        line->setText(where(rows[size_t(row)]));
        line->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        QTableWidgetItem* condition = m_table->item(row, 2);
        condition->setText(settings.condition);
        condition->setForeground(settings.error.isEmpty() ? QBrush() : QBrush(QColor(180, 0, 0)));
        condition->setToolTip(settings.error);
        QTableWidgetItem* hits = m_table->item(row, 3);
        hits->setText(QString::number(settings.hits));
        hits->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    m_filling = false;
    m_table->resizeColumnToContents(0);
    m_table->resizeColumnToContents(1);
    m_remove->setEnabled(!rows.empty());
}

QString BreakpointPane::enterCondition(int row, const QString& condition)
{
    if (row < 0 || row >= m_table->rowCount())
        return {};
    m_table->item(row, 2)->setText(condition);
    return m_message->text();
}

void BreakpointPane::onItemChanged(int row, int column)
{
    if (m_filling || row < 0 || size_t(row) >= m_rows.size())
        return;
    const BreakpointRef breakpoint = m_rows[size_t(row)];
    if (column == 0) {
        m_engine->setBreakpointEnabled(breakpoint, m_table->item(row, 0)->checkState() == Qt::Checked);
    } else if (column == 2) {
        const QString error = m_engine->setBreakpointCondition(breakpoint, m_table->item(row, 2)->text());
        m_message->setText(error.isEmpty() ? QString() : tr("%1: %2").arg(where(breakpoint), error));
    }
    refresh();
}

void BreakpointPane::removeRows(bool all)
{
    QSet<int> lines = m_controller->breakpoints();
    std::set<int> asmLines = m_engine->asmBreakpoints();
    if (all) {
        lines.clear();
        asmLines.clear();
    } else {
        const int row = m_table->currentRow();
        if (row < 0 || size_t(row) >= m_rows.size())
            return;
        const BreakpointRef breakpoint = m_rows[size_t(row)];
        if (breakpoint.assembly)
            asmLines.erase(breakpoint.line);
        else
            lines.remove(breakpoint.line);
    }
    m_message->clear();
    if (asmLines != m_engine->asmBreakpoints())
        m_engine->setAsmBreakpoints(asmLines);
    m_controller->setBreakpoints(lines);
}

} // namespace m51dbg
