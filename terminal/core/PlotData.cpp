#include "PlotData.h"

#include <algorithm>

namespace {
bool isSeparator(char c)
{
    return c == ' ' || c == ',' || c == ';' || c == '\t';
}

// A number in C notation with a '.' decimal point, the whole token or nothing.
bool toNumber(const QByteArray& token, double* value)
{
    if (token.isEmpty())
        return false;
    bool ok = false;
    *value = token.toDouble(&ok);
    return ok;
}
}  // namespace

QList<QPair<QString, double>> ParsePlotLine(const QByteArray& line)
{
    QList<QPair<QString, double>> values;
    int position = 0;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        while (i < n && isSeparator(line[i]))
            ++i;
        const qsizetype start = i;
        while (i < n && !isSeparator(line[i]))
            ++i;
        if (i == start)
            break;
        const QByteArray token = line.mid(start, i - start);
        double value = 0;
        const qsizetype eq = token.indexOf('=');
        if (eq > 0) {
            if (toNumber(token.mid(eq + 1), &value))
                values.append({QString::fromLatin1(token.left(eq)), value});
            continue;
        }
        ++position;
        if (toNumber(token, &value))
            values.append({QString::number(position), value});
    }
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
            addLine(m_partial, t);
            m_partial.clear();
        } else if (i > start) {
            addLine(QByteArray::fromRawData(data + start, i - start), t);
        }
        start = i + 1;
    }
    if (start < size)
        m_partial.append(data + start, size - start);
    if (m_partial.size() > 4096)  // no line end in sight: not a line of numbers
        m_partial.clear();
}

void TPlotData::addLine(const QByteArray& line, double t)
{
    const auto values = ParsePlotLine(line);
    if (values.isEmpty())
        return;
    Row row{t, {}};
    for (const auto& [name, value] : values) {
        int index = -1;
        for (int k = 0; k < m_series.size(); ++k)
            if (m_series[k].Name == name)
                index = k;
        if (index < 0) {
            m_series.append(Series{name, {}, {}});
            index = int(m_series.size()) - 1;
        }
        Series& s = m_series[index];
        s.Time.append(t);
        s.Value.append(value);
        trim(s, t);
        row.Values.append({index, value});
    }
    m_rows.append(row);
    while (m_rows.size() > MaxPoints || (m_window > 0 && m_rows.first().Time < t - m_window))
        m_rows.removeFirst();
    ++m_generation;
}

void TPlotData::trim(Series& s, double newest)
{
    // Old values go in steps of a thousand or so, not one by one.
    if (s.Time.size() % 1024 != 0)
        return;
    qsizetype drop = std::max<qsizetype>(0, s.Time.size() - MaxPoints);
    if (m_window > 0)
        drop = std::max<qsizetype>(drop, std::lower_bound(s.Time.cbegin(), s.Time.cend(), newest - m_window) - s.Time.cbegin());
    if (drop > 0) {
        s.Time.remove(0, drop);
        s.Value.remove(0, drop);
    }
}

void TPlotData::clear()
{
    m_partial.clear();
    m_series.clear();
    m_rows.clear();
    ++m_generation;
}

QByteArray TPlotData::toCsv() const
{
    QByteArray out = "time";
    for (const Series& s : m_series)
        out += ',' + s.Name.toUtf8();
    out += '\n';
    for (const Row& row : m_rows) {
        QList<QByteArray> cells(m_series.size());
        for (const auto& [index, value] : row.Values)
            cells[index] = QByteArray::number(value, 'g', 12);
        out += QByteArray::number(row.Time, 'f', 6);
        for (const QByteArray& cell : cells)
            out += ',' + cell;
        out += '\n';
    }
    return out;
}
