#include "ReceiveStore.h"

#include <algorithm>
#include <cstring>

QString IntToBin(int Value)
{
    QString result = QStringLiteral("00000000");
    for (int i = 7; i >= 0; --i, Value >>= 1)
        if (Value & 1)
            result[i] = QLatin1Char('1');
    return result;
}

TReceiveText::TReceiveText() = default;

qint64 TReceiveText::lineCount() const
{
    return m_starts.size() + (m_hasLast ? 1 : 0);
}

QByteArray TReceiveText::line(qint64 index) const
{
    return lineSlice(index, 0, lineLength(index));
}

qint64 TReceiveText::lineLength(qint64 index) const
{
    const qint64 finished = m_starts.size();
    if (index == finished)
        return m_hasLast ? m_last.size() : 0;
    if (index < 0 || index > finished)
        return 0;
    const qint64 end = index + 1 < finished ? qint64(m_starts.at(index + 1)) : m_text.size();
    return end - qint64(m_starts.at(index));
}

QByteArray TReceiveText::lineSlice(qint64 index, qint64 from, qint64 count) const
{
    const qint64 length = lineLength(index);
    from = std::clamp<qint64>(from, 0, length);
    count = std::clamp<qint64>(count, 0, length - from);
    if (index == m_starts.size())
        return from == 0 && count == length ? m_last : m_last.mid(from, count);
    QByteArray result(count, Qt::Uninitialized);
    m_text.copy(qint64(m_starts.at(index)) + from, count, result.data());
    return result;
}

void TReceiveText::lastWritten()
{
    m_hasLast = true;
    m_maxLength = std::max(m_maxLength, int(std::min<qsizetype>(m_last.size(), INT_MAX)));
}

void TReceiveText::newLine()
{
    lastWritten();
    m_starts.push(quint64(m_text.size()));
    m_text.append(m_last.constData(), m_last.size());
    // Keep the buffer of ordinary lines; give back the room of a very long one.
    if (m_last.capacity() > 65536)
        m_last = QByteArray();
    else
        m_last.resize(0);
}

void TReceiveText::clear()
{
    m_text.clear();
    m_starts.clear();
    m_last = QByteArray();
    m_hasLast = false;
    m_maxLength = 0;
}

qint64 TReceiveText::memoryBytes() const
{
    return m_text.memoryBytes() + m_starts.memoryBytes() + m_last.capacity();
}

QByteArray TValueColumn::line(qint64 index) const
{
    if (index < 0 || index >= m_bytes.size())
        return {};
    const int value = m_bytes.at(index);
    switch (m_format) {
    case Decimal:
        return QByteArray::number(value);
    case Hexadecimal: {
        static const char digits[] = "0123456789ABCDEF";
        const char hex[2] = {digits[value >> 4], digits[value & 15]};
        return QByteArray(hex, 2);
    }
    case Binary:
        return IntToBin(value).toLatin1();
    }
    return {};
}

int TValueColumn::maxLineLength() const
{
    if (m_bytes.empty())
        return 0;
    return m_format == Decimal ? 3 : m_format == Hexadecimal ? 2 : 8;
}

TReceiveLog::TReceiveLog() = default;

void TReceiveLog::writeOpenLine(const TReceiveOptions& options, QByteArray& stamp)
{
    if (options.Time && !(options.StampOnce && m_openStamped)) {
        if (stamp.isEmpty())
            stamp = clock().toString(QStringLiteral("hh:mm:ss")).toLatin1() + "> ";
        Text.last().prepend(stamp);
        m_openStamped = true;
    }
    Text.lastWritten();
}

void TReceiveLog::endLine(const TReceiveOptions& options, QByteArray& stamp)
{
    writeOpenLine(options, stamp);
    if (LineEnded)
        LineEnded(Text.last());
    Text.newLine();
    m_openStamped = false;
}

void TReceiveLog::receive(const char* data, qint64 size, const TReceiveOptions& options)
{
    if (size <= 0)
        return;
    Received += size;

    // Counter and value columns: every byte, CR, LF and backspace included. The
    // counted value cannot change while a block is handled (nothing else runs),
    // so reading it once per block reads it anew for every byte.
    CharCount += qint32(std::count(data, data + size, char(options.CountChar)));
    if (options.Dec)
        Dec.append(data, size);
    if (options.Hex)
        Hex.append(data, size);
    if (options.Bin)
        Bin.append(data, size);

    // The open line is the box's last line, edited in place. Should it end the
    // block empty without any CR, the box still shows its old text (an empty
    // open line is not written), so a block with backspaces keeps a copy.
    const bool hasBackspace = std::memchr(data, 8, size_t(size)) != nullptr;
    const QByteArray before = hasBackspace ? Text.last() : QByteArray();
    QByteArray& open = Text.last();
    QByteArray stamp;  // one time of day per block
    bool lineEnded = false;

    const char* p = data;
    const char* const end = data + size;
    while (p < end) {
        const char* run = p;
        while (p < end && *p != 8 && *p != 10 && *p != 13)
            ++p;
        if (p > run) {
            open.append(run, p - run);
            m_lastWasCr = false;
        }
        if (p == end)
            break;
        const bool lineFeedEnds = *p == 10 && options.LfNewLine && !m_lastWasCr;
        switch (*p) {
        case 8:
            if (!open.isEmpty())
                open.chop(1);
            break;
        case 13:
            endLine(options, stamp);
            lineEnded = true;
            break;
        default:  // 10: ignored, unless it ends lines by itself
            if (lineFeedEnds) {
                endLine(options, stamp);
                lineEnded = true;
            }
            break;
        }
        m_lastWasCr = *p == 13;
        ++p;
    }

    if (!Text.last().isEmpty())
        writeOpenLine(options, stamp);
    else if (!lineEnded)
        Text.last() = before;
}

void TReceiveLog::clear()
{
    m_openStamped = false;
    Text.clear();
    Dec.clear();
    Hex.clear();
    Bin.clear();
}

qint64 TReceiveLog::memoryBytes() const
{
    return Text.memoryBytes() + Dec.memoryBytes() + Hex.memoryBytes() + Bin.memoryBytes();
}
