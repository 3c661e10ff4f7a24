#include "terminal/core/PlotData.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {
bool isSeparator(char c)
{
    return c == ' ' || c == ',' || c == ';' || c == '\t';
}

// A finite number in C notation with a '.' decimal point, the whole token or
// nothing.
bool toNumber(const char* p, qsizetype n, double* value)
{
    if (n > 1 && *p == '+' && p[1] != '-') {
        ++p;
        --n;
    }
    if (n <= 0)
        return false;
    const auto [end, ec] = std::from_chars(p, p + n, *value);
    return ec == std::errc() && end == p + n && std::isfinite(*value);
}

// Calls value(name, nameSize, position, number) for each value of the line;
// nameSize is 0 for a plain value, which is known by its position from 1.
template <typename Value>
void forEachValue(const char* line, qsizetype n, Value value)
{
    int position = 0;
    qsizetype i = 0;
    while (i < n) {
        while (i < n && isSeparator(line[i]))
            ++i;
        const qsizetype start = i;
        qsizetype eq = -1;
        while (i < n && !isSeparator(line[i])) {
            if (line[i] == '=' && eq < 0)
                eq = i;
            ++i;
        }
        if (i == start)
            break;
        double number = 0;
        if (eq > start) {
            if (toNumber(line + eq + 1, i - eq - 1, &number))
                value(line + start, eq - start, 0, number);
            continue;
        }
        ++position;
        if (toNumber(line + start, i - start, &number))
            value(nullptr, 0, position, number);
    }
}
}  // namespace

QString PlotSeriesLabel(const QString& name)
{
    bool position = false;
    name.toInt(&position);
    return position ? QStringLiteral("Column ") + name : name;
}

QList<QPair<QString, double>> ParsePlotLine(const QByteArray& line)
{
    QList<QPair<QString, double>> values;
    forEachValue(line.constData(), line.size(), [&values](const char* name, qsizetype size, int position, double v) {
        values.append({size ? QString::fromLatin1(name, size) : QString::number(position), v});
    });
    return values;
}

void TPlotData::receive(const char* data, qsizetype size, double t)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (data[i] != '\r' && data[i] != '\n')
            continue;
        if (!m_partial.isEmpty()) {
            m_partial.append(data + start, i - start);
            addLine(m_partial.constData(), m_partial.size(), t);
            m_partial.clear();
        } else if (i > start) {
            addLine(data + start, i - start, t);
        }
        start = i + 1;
    }
    if (start < size)
        m_partial.append(data + start, size - start);
    if (m_partial.size() > 4096)  // no line end in sight: not a line of numbers
        m_partial.clear();
    trimRows(t);
}

int TPlotData::seriesIndex(const char* name, qsizetype size)
{
    const QByteArrayView key(name, size);
    for (int k = 0; k < m_names.size(); ++k)
        if (m_names[k] == key)
            return k;
    m_names.append(key.toByteArray());
    m_series.append(Series{QString::fromLatin1(name, size), {}, {}, 0});
    return int(m_series.size()) - 1;
}

int TPlotData::positionIndex(int position)
{
    if (position > m_byPosition.size())
        m_byPosition.resize(position, -1);
    int& index = m_byPosition[position - 1];
    if (index < 0) {
        const QByteArray name = QByteArray::number(position);
        index = seriesIndex(name.constData(), name.size());
    }
    return index;
}

void TPlotData::addLine(const char* line, qsizetype size, double t)
{
    const qsizetype cellsBefore = m_cells.size();
    forEachValue(line, size, [&](const char* name, qsizetype nameSize, int position, double value) {
        const int index = nameSize ? seriesIndex(name, nameSize) : positionIndex(position);
        Series& s = m_series[index];
        s.Time.append(t);
        s.Value.append(value);
        ++s.Appended;
        trim(s, t);
        m_cells.append(Cell{index, value});
    });
    if (m_cells.size() == cellsBefore)
        return;
    m_rowTime.append(t);
    m_rowStart.append(cellsBefore);
    ++m_generation;
}

void TPlotData::trim(Series& s, double newest)
{
    // Old values go in steps of a quarter of the series, so that moving the
    // kept ones costs little per value, however fast lines come.
    if (s.Time.size() % 1024 != 0)
        return;
    qsizetype drop = std::max<qsizetype>(0, s.Time.size() - MaxPoints);
    if (m_window > 0)
        drop = std::max<qsizetype>(drop, std::lower_bound(s.Time.cbegin(), s.Time.cend(), newest - m_window) - s.Time.cbegin());
    if (drop >= std::max<qsizetype>(1024, s.Time.size() / 4)) {
        s.Time.remove(0, drop);
        s.Value.remove(0, drop);
    }
}

void TPlotData::trimRows(double newest)
{
    const qsizetype rows = m_rowTime.size();
    qsizetype first = std::max(m_firstRow, rows - MaxPoints);
    if (m_window > 0)
        first = std::max<qsizetype>(first, std::lower_bound(m_rowTime.cbegin() + first, m_rowTime.cend(), newest - m_window)
                                               - m_rowTime.cbegin());
    m_firstRow = first;
    // Compacted once the dropped rows outnumber the kept ones.
    if (m_firstRow < 4096 || m_firstRow < rows - m_firstRow)
        return;
    const qsizetype cellsDropped = m_firstRow < rows ? m_rowStart[m_firstRow] : m_cells.size();
    m_cells.remove(0, cellsDropped);
    m_rowTime.remove(0, m_firstRow);
    m_rowStart.remove(0, m_firstRow);
    for (qsizetype& start : m_rowStart)
        start -= cellsDropped;
    m_firstRow = 0;
}

void TPlotData::clear()
{
    m_partial.clear();
    m_series.clear();
    m_names.clear();
    m_byPosition.clear();
    m_rowTime.clear();
    m_rowStart.clear();
    m_cells.clear();
    m_firstRow = 0;
    ++m_generation;
}

QByteArray TPlotData::toCsv() const
{
    QByteArray out = "time";
    for (const Series& s : m_series)
        out += ',' + s.Name.toUtf8();
    out += '\n';
    QList<QByteArray> cells(m_series.size());
    for (qsizetype r = m_firstRow; r < m_rowTime.size(); ++r) {
        for (QByteArray& cell : cells)
            cell.clear();
        const qsizetype end = r + 1 < m_rowTime.size() ? m_rowStart[r + 1] : m_cells.size();
        for (qsizetype c = m_rowStart[r]; c < end; ++c)
            cells[m_cells[c].Series] = QByteArray::number(m_cells[c].Value, 'g', 12);
        out += QByteArray::number(m_rowTime[r], 'f', 6);
        for (const QByteArray& cell : cells)
            out += ',' + cell;
        out += '\n';
    }
    return out;
}
