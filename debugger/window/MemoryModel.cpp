#include "debugger/window/MemoryModel.h"

#include "sim/Chip.h"
#include "sim/Machine.h"

#include <QBrush>
#include <QColor>
#include <QPointer>

namespace m51dbg {

namespace {

sim::Space SpaceOf(DebugEngine::Memory memory)
{
    switch (memory) {
    case DebugEngine::Memory::Iram: return sim::Space::Iram;
    case DebugEngine::Memory::Sfr: return sim::Space::Sfr;
    case DebugEngine::Memory::Xram: return sim::Space::Xram;
    case DebugEngine::Memory::Code: return sim::Space::Code;
    }
    return sim::Space::Iram;
}

QString Hex(unsigned value, int digits) { return QStringLiteral("%1").arg(value, digits, 16, QChar('0')).toUpper(); }

} // namespace

std::optional<unsigned> ParseHexNumber(const QString& text, unsigned max)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    else if (t.endsWith(QChar('H'), Qt::CaseInsensitive))
        t.chop(1);
    bool ok = false;
    const unsigned value = t.toUInt(&ok, 16);
    if (t.isEmpty() || !ok || value > max)
        return std::nullopt;
    return value;
}

MemoryModel::MemoryModel(DebugEngine* engine, DebugEngine::Memory memory, QObject* parent)
    : QAbstractTableModel(parent), m_engine(engine), m_memory(memory)
{
    m_size = sizeNow();
    m_atStop.assign(m_size, -1);
    m_before = m_read = m_atStop;
}

unsigned MemoryModel::sizeNow() const
{
    const sim::Machine* core = m_engine->core();
    switch (m_memory) {
    case DebugEngine::Memory::Iram: {
        const sim::Chip* chip = core ? &core->chip() : sim::findChip(m_engine->options().cpuType.toStdString());
        return chip ? chip->iramSize : 256;
    }
    case DebugEngine::Memory::Xram: {
        const unsigned size = core ? core->board().xramSize : m_engine->options().xramSize;
        return std::min(size, 0x10000u);
    }
    case DebugEngine::Memory::Sfr: return 0x80;
    case DebugEngine::Memory::Code: return 0x10000;
    }
    return 0;
}

bool MemoryModel::isWritable(unsigned address) const
{
    if (address >= m_size)
        return false;
    if (m_memory != DebugEngine::Memory::Code)
        return true;
    // Code is writable only where the board shares it with external RAM.
    const sim::Machine* core = m_engine->core();
    return core && address >= core->board().sharedFrom && address <= core->board().sharedTo;
}

std::optional<uint8_t> MemoryModel::byteAt(unsigned address) const
{
    if (address >= m_size)
        return std::nullopt;
    if (const sim::Machine* core = m_engine->core())
        return core->read(SpaceOf(m_memory), address);
    if (m_memory == DebugEngine::Memory::Iram)
        return m_engine->machine().iram[address & 0xFF];
    if (m_read[address] >= 0)
        return uint8_t(m_read[address]);
    return std::nullopt;
}

bool MemoryModel::isChanged(unsigned address) const
{
    if (address >= m_size)
        return false;
    // While running: against the last stop; when paused: the last stop against the one before.
    const int16_t reference = m_engine->state() == DebugEngine::State::Running ? m_atStop[address] : m_before[address];
    const std::optional<uint8_t> now = byteAt(address);
    return reference >= 0 && now && *now != reference;
}

void MemoryModel::remember(int first, int last)
{
    for (int row = std::max(first, 0); row <= last && row < rowCount(); ++row)
        for (unsigned a = unsigned(row) * 16; a < unsigned(row) * 16 + 16 && a < m_size; ++a)
            if (const auto b = byteAt(a))
                m_atStop[a] = *b;
}

void MemoryModel::readFromSimulator(int first, int last)
{
    // s51 is asked for the shown rows only; the answer may come later.
    if (m_engine->core() || m_memory == DebugEngine::Memory::Iram || !m_engine->isPaused() || last < first)
        return;
    const unsigned from = unsigned(std::max(first, 0)) * 16;
    const unsigned to = std::min(unsigned(last + 1) * 16, m_size);
    if (from >= to)
        return;
    const unsigned generation = m_readGeneration;
    QPointer<MemoryModel> self(this);
    m_engine->read(m_memory, from, to - from, [self, generation, from](std::optional<std::vector<uint8_t>> bytes) {
        if (!self || generation != self->m_readGeneration || !bytes)
            return;
        for (size_t i = 0; i < bytes->size() && from + i < self->m_size; ++i) {
            self->m_read[from + i] = (*bytes)[i];
            if (self->m_atStop[from + i] < 0)
                self->m_atStop[from + i] = (*bytes)[i];
        }
        emit self->dataChanged(self->index(int(from / 16), 0), self->index(int((from + bytes->size() - 1) / 16), CharColumn));
    });
}

void MemoryModel::setShownRows(int first, int last, bool look)
{
    m_first = first;
    m_last = last;
    if (look && m_engine->isPaused()) {
        remember(first, last);
        readFromSimulator(first, last);
    }
}

void MemoryModel::onStopped(DebugEngine::StopCause cause)
{
    if (cause == DebugEngine::StopCause::Started && sizeNow() != m_size) {
        beginResetModel();
        m_size = sizeNow();
        m_atStop.assign(m_size, -1);
        m_before = m_read = m_atStop;
        endResetModel();
    }
    ++m_readGeneration;
    std::fill(m_read.begin(), m_read.end(), int16_t(-1));
    if (cause == DebugEngine::StopCause::Started || cause == DebugEngine::StopCause::Reset) {
        std::fill(m_atStop.begin(), m_atStop.end(), int16_t(-1));
        std::fill(m_before.begin(), m_before.end(), int16_t(-1));
    } else if (cause != DebugEngine::StopCause::Changed) {
        m_before = m_atStop;
        std::fill(m_atStop.begin(), m_atStop.end(), int16_t(-1));
    }
    remember(m_first, m_last);
    readFromSimulator(m_first, m_last);
    refreshShown();
}

void MemoryModel::refreshShown()
{
    if (m_last >= m_first && rowCount() > 0)
        emit dataChanged(index(std::max(m_first, 0), 0), index(std::min(m_last, rowCount() - 1), CharColumn));
}

int MemoryModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int((m_size + 15) / 16); }
int MemoryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 17; }

QVariant MemoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const unsigned base = unsigned(index.row()) * 16;
    if (index.column() == CharColumn) {
        if (role != Qt::DisplayRole)
            return {};
        QString text;
        for (unsigned a = base; a < base + 16 && a < m_size; ++a) {
            const auto b = byteAt(a);
            text += !b ? QChar(' ') : (*b >= 0x20 && *b < 0x7F) ? QChar(*b) : QChar('.');
        }
        return text;
    }
    const unsigned address = base + unsigned(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const auto b = byteAt(address);
        return b ? Hex(*b, 2) : QStringLiteral("--");
    }
    case Qt::BackgroundRole:
        return isChanged(address) ? QVariant(QBrush(QColor(255, 220, 120))) : QVariant();
    case Qt::ToolTipRole:
        return QStringLiteral("%1H").arg(Hex(address, m_size > 0x100 ? 4 : 2));
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    }
    return {};
}

QVariant MemoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::TextAlignmentRole && orientation == Qt::Horizontal && section == CharColumn)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return Hex(unsigned(section) * 16, m_size > 0x100 ? 4 : 2);
    return section == CharColumn ? tr("Characters") : Hex(unsigned(section), 1);
}

Qt::ItemFlags MemoryModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    const bool live = m_engine->isPaused() || m_engine->state() == DebugEngine::State::Running;
    if (index.isValid() && index.column() < CharColumn && live &&
        isWritable(unsigned(index.row()) * 16 + unsigned(index.column())))
        f |= Qt::ItemIsEditable;
    return f;
}

bool MemoryModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() >= CharColumn)
        return false;
    const unsigned address = unsigned(index.row()) * 16 + unsigned(index.column());
    if (!isWritable(address))
        return false;
    const std::optional<unsigned> byte = ParseHexNumber(value.toString(), 0xFF);
    if (!byte) {
        emit editRejected(tr("Not a byte in hexadecimal: %1").arg(value.toString()));
        return false;
    }
    m_engine->write(m_memory, address, uint8_t(*byte));
    emit dataChanged(index, this->index(index.row(), CharColumn));
    return true;
}

} // namespace m51dbg
