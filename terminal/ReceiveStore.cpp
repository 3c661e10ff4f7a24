#include "terminal/ReceiveStore.h"

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
    return m_starts.count() + (m_hasLast ? 1 : 0);
}

QByteArray TReceiveText::line(qint64 index) const
{
    return lineSlice(index, 0, lineLength(index));
}

qint64 TReceiveText::lineLength(qint64 index) const
{
    const qint64 line = m_starts.first() + index;
    const qint64 finished = m_starts.size();
    if (line == finished)
        return m_hasLast ? m_last.size() : 0;
    if (index < 0 || line > finished)
        return 0;
    const qint64 end = line + 1 < finished ? qint64(m_starts.at(line + 1)) : m_text.size();
    return end - qint64(m_starts.at(line));
}

QByteArray TReceiveText::lineSlice(qint64 index, qint64 from, qint64 count) const
{
    const qint64 length = lineLength(index);
    from = std::clamp<qint64>(from, 0, length);
    count = std::clamp<qint64>(count, 0, length - from);
    const qint64 line = m_starts.first() + index;
    if (line == m_starts.size())
        return from == 0 && count == length ? m_last : m_last.mid(from, count);
    QByteArray result(count, Qt::Uninitialized);
    m_text.copy(qint64(m_starts.at(line)) + from, count, result.data());
    return result;
}

qint64 TReceiveText::streamStart(qint64 index) const
{
    const qint64 line = m_starts.first() + std::max<qint64>(index, 0);
    return line < m_starts.size() ? qint64(m_streams.at(line)) : m_lastStream;
}

void TReceiveText::lastWritten()
{
    m_hasLast = true;
    m_maxLength = std::max(m_maxLength, int(std::min<qsizetype>(m_last.size(), INT_MAX)));
}

void TReceiveText::newLine(qint64 streamStart)
{
    lastWritten();
    m_starts.push(quint64(m_text.size()));
    m_streams.push(quint64(m_lastStream));
    m_text.append(m_last.constData(), m_last.size());
    m_lastStream = streamStart;
    // Keep the buffer of ordinary lines; give back the room of a very long one.
    if (m_last.capacity() > 65536)
        m_last = QByteArray();
    else
        m_last.resize(0);
}

void TReceiveText::clear(qint64 streamStart)
{
    m_text.clear();
    m_starts.clear();
    m_streams.clear();
    m_last = QByteArray();
    m_lastStream = streamStart;
    m_hasLast = false;
    m_maxLength = 0;
}

void TReceiveText::dropOldest(double fraction, qint64 maxOpen)
{
    if (!m_starts.empty()) {
        const qint64 target = m_text.first() + qint64(fraction * m_text.count());
        qint64 lo = m_starts.first(), hi = m_starts.size();
        while (lo < hi) {
            const qint64 mid = lo + (hi - lo) / 2;
            if (qint64(m_starts.at(mid)) < target)
                lo = mid + 1;
            else
                hi = mid;
        }
        m_text.dropBefore(lo < m_starts.size() ? qint64(m_starts.at(lo)) : m_text.size());
        m_starts.dropBefore(lo);
        m_streams.dropBefore(lo);
    }
    if (maxOpen > 0 && m_last.size() > maxOpen) {
        // One endless line: its newest half stays.
        const qsizetype cut = m_last.size() - qsizetype(maxOpen / 2);
        m_last.remove(0, cut);
        m_last.squeeze();
        m_lastStream += cut;
    }
}

qint64 TReceiveText::memoryBytes() const
{
    return m_text.memoryBytes() + m_starts.memoryBytes() + m_streams.memoryBytes() + m_last.capacity();
}

QByteArray TValueColumn::line(qint64 index) const
{
    if (index < 0 || index >= m_bytes.count())
        return {};
    const int value = m_bytes.at(m_bytes.first() + index);
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

void TValueColumn::append(const char* data, qint64 count, qint64 streamStart)
{
    if (count <= 0)
        return;
    if (m_segments.empty() || m_segments.back().Stream + (m_bytes.size() - m_segments.back().Entry) != streamStart)
        m_segments.push_back({streamStart, m_bytes.size()});
    m_bytes.append(reinterpret_cast<const quint8*>(data), count);
}

void TValueColumn::clear()
{
    m_bytes.clear();
    m_segments.clear();
}

qint64 TValueColumn::lineAtStream(qint64 streamOffset) const
{
    auto after = std::upper_bound(m_segments.begin(), m_segments.end(), streamOffset,
                                  [](qint64 offset, const Segment& s) { return offset < s.Stream; });
    qint64 entry = 0;
    if (after == m_segments.begin()) {
        entry = m_segments.empty() ? m_bytes.size() : m_segments.front().Entry;
    } else {
        const Segment& s = *(after - 1);
        const qint64 end = after == m_segments.end() ? m_bytes.size() : after->Entry;
        entry = std::min(s.Entry + (streamOffset - s.Stream), end);
    }
    return std::clamp<qint64>(entry - m_bytes.first(), 0, m_bytes.count());
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

void TReceiveLog::endLine(const TReceiveOptions& options, QByteArray& stamp, qint64 nextStream)
{
    writeOpenLine(options, stamp);
    if (LineEnded)
        LineEnded(Text.last());
    Text.newLine(nextStream);
    m_openStamped = false;
}

void TReceiveLog::receive(const char* data, qint64 size, const TReceiveOptions& options)
{
    if (size <= 0)
        return;
    const qint64 base = Received;
    Received += size;

    // Counter and value columns: every byte, CR, LF and backspace included. The
    // counted value cannot change while a block is handled (nothing else runs),
    // so reading it once per block reads it anew for every byte.
    CharCount += qint32(std::count(data, data + size, char(options.CountChar)));
    if (options.Dec)
        Dec.append(data, size, base);
    if (options.Hex)
        Hex.append(data, size, base);
    if (options.Bin)
        Bin.append(data, size, base);

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
            endLine(options, stamp, base + (p - data) + 1);
            lineEnded = true;
            break;
        default:  // 10: ignored, unless it ends lines by itself
            if (lineFeedEnds) {
                endLine(options, stamp, base + (p - data) + 1);
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
    enforceLimit();
}

void TReceiveLog::enforceLimit()
{
    if (MemoryLimit <= 0)
        return;
    const qint64 total = memoryBytes();
    if (total <= MemoryLimit)
        return;
    // Down to three quarters of the limit, so that trimming is rare; every
    // store loses the same share of its oldest contents. Memory is given back
    // in whole chunks, so a share too small to free one is raised.
    const double share = 1.0 - 0.75 * double(MemoryLimit) / double(total);
    for (int round = 0; round == 0 || (round < 5 && memoryBytes() > MemoryLimit); ++round) {
        const double drop = std::min(1.0, share + 0.25 * round);
        Text.dropOldest(drop, MemoryLimit / 4);
        Dec.dropOldest(drop);
        Hex.dropOldest(drop);
        Bin.dropOldest(drop);
    }
}

void TReceiveLog::clear()
{
    m_openStamped = false;
    Text.clear(Received);
    Dec.clear();
    Hex.clear();
    Bin.clear();
}

qint64 TReceiveLog::memoryBytes() const
{
    return Text.memoryBytes() + Dec.memoryBytes() + Hex.memoryBytes() + Bin.memoryBytes();
}
