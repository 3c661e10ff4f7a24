#include "debugger/window/WatchPane.h"

#include "debugger/window/LocalsPane.h"
#include "sim/Machine.h"

#include <QBrush>
#include <QFontDatabase>
#include <QHeaderView>
#include <QStackedWidget>
#include <QTreeView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace m51dbg {

namespace {

constexpr WatchFormat Forms[] = {WatchFormat::Hex, WatchFormat::Decimal, WatchFormat::Binary, WatchFormat::Char};

SimulatorBackend::Memory MemoryOf(WatchSpace space)
{
    switch (space) {
    case WatchSpace::Iram: return SimulatorBackend::Memory::Iram;
    case WatchSpace::Sfr: return SimulatorBackend::Memory::Sfr;
    case WatchSpace::Xram: return SimulatorBackend::Memory::Xram;
    case WatchSpace::Code: return SimulatorBackend::Memory::Code;
    }
    return SimulatorBackend::Memory::Iram;
}

} // namespace

// The bytes a watch reads: Reverse Continue stops where one of them changes.
std::vector<SimulatorBackend::WatchedByte> WatchedBytes(const WatchList& watches)
{
    using Memory = SimulatorBackend::Memory;
    std::vector<SimulatorBackend::WatchedByte> bytes;
    for (const WatchList::Entry& entry : watches.entries()) {
        if (!entry.target)
            continue;
        const WatchTarget& t = *entry.target;
        const Memory memory = t.space == WatchSpace::Sfr    ? Memory::Sfr
                              : t.space == WatchSpace::Xram ? Memory::Xram
                              : t.space == WatchSpace::Code ? Memory::Code
                                                            : Memory::Iram;
        switch (t.kind) {
        case WatchTarget::Kind::Byte:
            bytes.push_back({memory, t.address});
            break;
        case WatchTarget::Kind::Word:
            bytes.push_back({memory, t.address});
            bytes.push_back({memory, t.address2});
            break;
        case WatchTarget::Kind::Bit:
            if (t.address < 0x80)
                bytes.push_back({Memory::Iram, 0x20 + t.address / 8});
            else
                bytes.push_back({Memory::Sfr, t.address & 0xF8});
            break;
        case WatchTarget::Kind::Register:  // Rn of any bank (PSW's flags would stop nearly everywhere)
            for (unsigned bank = 0; bank < 4; ++bank)
                bytes.push_back({Memory::Iram, bank * 8 + (t.reg & 7)});
            break;
        case WatchTarget::Kind::Constant:
        case WatchTarget::Kind::Pc:
            break;
        }
    }
    return bytes;
}

WatchPane::WatchPane(DebugEngine* engine, WatchList* list, QWidget* parent)
    : QWidget(parent), m_engine(engine), m_list(list)
{
    m_table = new QTableWidget(0, 5, this);
    m_table->setHorizontalHeaderLabels({tr("Watch"), tr("Hex"), tr("Decimal"), tr("Binary"), tr("Char")});
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setToolTip(tr("Type a name of the program (DEFINE, DEFINEBIT), BUFFER1, COUNT1, MEM5, a register, "
                           "or iram[30], xram[100], sfr[90], code[0] in the last row; edit a value to change it"));
    m_cModel = new CValueModel(m_engine, CValueModel::Kind::Watches);
    auto* cView = new CValueView(m_cModel);
    cView->tree()->setToolTip(tr("Type a C expression in the last row (total, result.max, history[3], p->x); "
                                 "double-click a value to change it"));
    connect(m_cModel, &CValueModel::expressionEdited, this, &WatchPane::onExpressionEdited);
    m_views = new QStackedWidget;
    m_views->addWidget(m_table);
    m_views->addWidget(cView);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_views);
    connect(m_table, &QTableWidget::cellChanged, this, &WatchPane::onCellChanged);
    connect(&m_timer, &QTimer::timeout, this, [this] { sample(false); });
    connect(m_engine, &DebugEngine::stopped, this, [this] { sample(true); });
    connect(m_engine, &DebugEngine::stateChanged, this, &WatchPane::showKind);
    m_timer.follow(m_engine);
    fill();
    showKind();
}

// A C program's watches are C values; every other program's stay bytes of the machine.
void WatchPane::showKind()
{
    const bool c = m_engine->state() != DebugEngine::State::Off
                   && m_engine->program().language == toolchain::Language::C;
    m_views->setCurrentIndex(c ? 1 : 0);
}

// The row past the last adds a watch, an emptied row removes its watch, any
// other edit changes the expression.
void WatchPane::editExpression(size_t index, const QString& text)
{
    if (index >= m_list->size()) {
        if (!text.isEmpty())
            m_list->add(text.toStdString());
    } else if (text.isEmpty()) {
        m_list->remove(index);
    } else {
        m_list->setExpression(index, text.toStdString());
    }
}

void WatchPane::onExpressionEdited(int row, const QString& text)
{
    editExpression(size_t(row), text);
    // Later, as the view still holds the edited row.
    QMetaObject::invokeMethod(this, [this] { sample(false); }, Qt::QueuedConnection);
}

ByteReader WatchPane::reader() const
{
    // The built-in simulator is read directly (also while it runs, between
    // its slices); s51's state is the one of its last stop.
    if (sim::Machine* core = m_engine->core()) {
        return [core](WatchSpace space, unsigned address) -> uint8_t {
            static constexpr sim::Space Spaces[] = {sim::Space::Iram, sim::Space::Sfr, sim::Space::Xram, sim::Space::Code};
            return core->read(Spaces[static_cast<int>(space)], address);
        };
    }
    return [this](WatchSpace space, unsigned address) -> uint8_t {
        const MachineState& m = m_engine->machine();
        switch (space) {
        case WatchSpace::Iram: return m.iram[address & 0xFF];
        case WatchSpace::Sfr: return m.sfrAt(address);
        case WatchSpace::Xram:
        case WatchSpace::Code: return 0;
        }
        return 0;
    };
}

void WatchPane::setNames(SourceNames names)
{
    m_list->setNames(std::move(names));
    fill();
}

void WatchPane::addWatch(const QString& expression)
{
    m_list->add(expression.toStdString());
    sample(false);
}

void WatchPane::sample(bool atStop)
{
    if (m_engine->state() != DebugEngine::State::Off) {
        const sim::Machine* core = m_engine->core();
        m_list->sample(reader(), core ? core->pc() : m_engine->machine().pc, atStop);
    }
    fill();
}

void WatchPane::fill()
{
    m_filling = true;
    const auto& entries = m_list->entries();
    QStringList expressions;
    for (const WatchList::Entry& e : entries)
        expressions << QString::fromStdString(e.expression);
    m_cModel->setExpressions(expressions);
    m_table->setRowCount(static_cast<int>(entries.size()) + 1);
    for (int row = 0; row <= static_cast<int>(entries.size()); ++row) {
        for (int c = 0; c < 5; ++c) {
            if (!m_table->item(row, c))
                m_table->setItem(row, c, new QTableWidgetItem);
        }
        if (row == static_cast<int>(entries.size())) {  // the row for a new watch
            for (int c = 0; c < 5; ++c)
                m_table->item(row, c)->setText(QString());
            for (int c = 1; c < 5; ++c)
                m_table->item(row, c)->setFlags(Qt::ItemIsEnabled);
            continue;
        }
        const WatchList::Entry& e = entries[static_cast<size_t>(row)];
        m_table->item(row, 0)->setText(QString::fromStdString(e.expression));
        m_table->item(row, 0)->setToolTip(QString::fromStdString(e.error));
        const bool editable = e.target && e.target->writable();
        for (int c = 1; c < 5; ++c) {
            QTableWidgetItem* item = m_table->item(row, c);
            QString text;
            // A watch that names nothing says why beside its "?".
            if (!e.target)
                text = c == 1 ? tr("?") : c == 2 ? QString::fromStdString(e.error) : QString();
            else if (e.known)
                text = QString::fromStdString(FormatWatch(*e.target, e.value, Forms[c - 1]));
            item->setText(text);
            item->setFlags(editable ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                                    : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setForeground(e.changed ? QBrush(QColor(200, 0, 0)) : QBrush());
            QFont font = item->font();
            font.setBold(e.changed);
            item->setFont(font);
        }
    }
    m_filling = false;
}

void WatchPane::onCellChanged(int row, int column)
{
    if (m_filling)
        return;
    const size_t index = static_cast<size_t>(row);
    const QString text = m_table->item(row, column)->text().trimmed();
    if (column == 0) {
        editExpression(index, text);
        sample(false);
        return;
    }
    const auto value = ParseWatchValue(text.toStdString(), Forms[column - 1]);
    const bool written = value && m_list->write(index, *value, reader(), [this](WatchSpace space, unsigned address, uint8_t byte) {
        m_engine->write(MemoryOf(space), address, byte);
    });
    if (!written)
        fill();  // back to the machine's value
}

QString WatchPane::cellText(int row, int column) const
{
    const QTableWidgetItem* item = m_table->item(row, column);
    return item ? item->text() : QString();
}

bool WatchPane::isMarkedChanged(int row) const
{
    const QTableWidgetItem* item = m_table->item(row, 1);
    return item && item->font().bold();
}

} // namespace m51dbg
