#include "debugger/window/SfrPane.h"

#include "sim/Machine.h"
#include "debugger/window/MemoryModel.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace m51dbg {

namespace {

QString Hex(unsigned value) { return QStringLiteral("%1").arg(value, 2, 16, QChar('0')).toUpper(); }
const QColor Changed(255, 220, 120);

} // namespace

SfrPane::SfrPane(DebugEngine* engine, QWidget* parent) : QWidget(parent), m_engine(engine), m_table(new QTableWidget)
{
    m_table->setObjectName("sfrTable");
    m_table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_table->setColumnCount(FirstBitColumn + 8);
    QStringList headers{tr("SFR"), tr("Address"), tr("Value")};
    for (int bit = 7; bit >= 0; --bit)
        headers << QString::number(bit);
    m_table->setHorizontalHeaderLabels(headers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(m_table->font()).height() + 6);
    // Fitted to the contents once they are built: the values keep their
    // width, and fitting at every stop measured every cell again.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->setToolTip(tr("Type a value in hexadecimal, or click a bit's box to toggle it"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    // A few rows are enough on a short screen: the pane area never squeezes the registers above it.
    m_table->setMinimumHeight(3 * QFontMetrics(m_table->font()).height());
    layout->addWidget(m_table);
    m_atStop.fill(-1);
    m_before.fill(-1);
    connect(m_table, &QTableWidget::cellChanged, this, &SfrPane::onItemChanged);
    connect(m_engine, &DebugEngine::stopped, this, &SfrPane::onStopped);
    connect(&m_live, &QTimer::timeout, this, [this] {
        if (isVisible())
            fill();
    });
    m_live.follow(m_engine);
    // Made at a stop (the window comes with a new session's first stop): that stop's values.
    if (m_engine->isPaused()) {
        onStopped(DebugEngine::StopCause::Started);
    } else {
        rebuild();
        fill();
    }
}

void SfrPane::onStopped(DebugEngine::StopCause cause)
{
    if (cause == DebugEngine::StopCause::Started)
        rebuild();
    if (cause == DebugEngine::StopCause::Started || cause == DebugEngine::StopCause::Reset)
        m_before.fill(-1);
    else if (cause != DebugEngine::StopCause::Changed)
        m_before = m_atStop;
    for (const sim::SfrInfo& sfr : m_sfrs)
        m_atStop[sfr.address - 0x80] = valueOf(sfr.address);
    fill();
}

int SfrPane::rowOf(uint8_t address) const
{
    for (size_t i = 0; i < m_sfrs.size(); ++i)
        if (m_sfrs[i].address == address)
            return int(i);
    return -1;
}

uint8_t SfrPane::valueOf(uint8_t address)
{
    // The built-in simulator is read directly (also between its slices while running).
    if (sim::Machine* core = m_engine->core())
        return core->read(sim::Space::Sfr, address);
    return m_engine->machine().sfrAt(address);
}

void SfrPane::rebuild()
{
    const sim::Machine* core = m_engine->core();
    const sim::Chip* chip = core ? &core->chip() : sim::findChip(m_engine->options().cpuType.toStdString());
    m_sfrs = sim::sfrsOf(chip);
    m_filling = true;
    m_table->setRowCount(int(m_sfrs.size()));
    for (int row = 0; row < int(m_sfrs.size()); ++row) {
        const sim::SfrInfo& sfr = m_sfrs[size_t(row)];
        auto fixed = [](const QString& text) {
            auto* item = new QTableWidgetItem(text);
            item->setFlags(Qt::ItemIsEnabled);
            return item;
        };
        m_table->setItem(row, 0, fixed(sfr.name));
        m_table->setItem(row, 1, fixed(Hex(sfr.address) + "H"));
        m_table->setItem(row, ValueColumn, new QTableWidgetItem("--"));
        for (int bit = 0; bit < 8; ++bit) {
            const QString name = sfr.bitAddressable() ? QString::fromStdString(sim::bitName(m_sfrs, uint8_t(sfr.address + bit)))
                                                      : QString();
            auto* item = new QTableWidgetItem(name);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            item->setToolTip(name.isEmpty() ? tr("%1 bit %2").arg(sfr.name).arg(bit)
                                            : tr("%1 (bit %2 of %3, bit address %4H)")
                                                  .arg(name).arg(bit).arg(sfr.name).arg(Hex(sfr.address + bit)));
            m_table->setItem(row, FirstBitColumn + 7 - bit, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_filling = false;
}

void SfrPane::fill()
{
    const bool running = m_engine->state() == DebugEngine::State::Running;
    m_filling = true;
    for (int row = 0; row < int(m_sfrs.size()); ++row) {
        const uint8_t address = m_sfrs[size_t(row)].address;
        const uint8_t value = valueOf(address);
        const int16_t reference = running ? m_atStop[address - 0x80] : m_before[address - 0x80];
        const bool changed = reference >= 0 && reference != value;
        QTableWidgetItem* item = m_table->item(row, ValueColumn);
        item->setText(Hex(value));
        item->setBackground(changed ? QBrush(Changed) : QBrush());
        for (int bit = 0; bit < 8; ++bit) {
            QTableWidgetItem* bitItem = m_table->item(row, FirstBitColumn + 7 - bit);
            const bool on = value & (1u << bit);
            bitItem->setCheckState(on ? Qt::Checked : Qt::Unchecked);
            bitItem->setBackground(changed && reference >= 0 && bool(reference & (1 << bit)) != on ? QBrush(Changed)
                                                                                                   : QBrush());
        }
    }
    m_filling = false;
}

void SfrPane::onItemChanged(int row, int column)
{
    if (m_filling || row < 0 || row >= int(m_sfrs.size()))
        return;
    const uint8_t address = m_sfrs[size_t(row)].address;
    const uint8_t value = valueOf(address);
    QTableWidgetItem* item = m_table->item(row, column);
    if (column == ValueColumn) {
        const auto typed = ParseHexNumber(item->text(), 0xFF);
        if (!typed) {
            m_filling = true;
            item->setText(Hex(value));
            m_filling = false;
            return;
        }
        m_engine->write(DebugEngine::Memory::Sfr, address, uint8_t(*typed));
    } else if (column >= FirstBitColumn) {
        const uint8_t mask = uint8_t(1u << (7 - (column - FirstBitColumn)));
        const bool on = item->checkState() == Qt::Checked;
        m_engine->write(DebugEngine::Memory::Sfr, address, on ? (value | mask) : (value & ~mask));
    }
    fill();
}

} // namespace m51dbg
