#include "terminal/core/ReceiveFind.h"

#include "common/Cp1250.h"
#include "terminal/ReceiveStore.h"

#include <array>

namespace {

using TFold = std::array<char, 256>;

// Each byte's lower-case byte in code page 1250 (itself when it has none).
TFold lowerCaseTable()
{
    TFold table;
    for (int b = 0; b < 256; ++b) {
        const char c = char(b);
        const QString lower = cp1250::decode(QByteArray(1, c)).toLower();
        const QByteArray back = cp1250::encodeBytes(lower);
        table[size_t(b)] = back.size() == 1 && back[0] != '?' ? back[0] : c;
    }
    return table;
}

QByteArray folded(QByteArray text, const TFold& fold)
{
    for (char& c : text)
        c = fold[quint8(c)];
    return text;
}

// The hits of needle in one line: first at or after from (forward), or last
// starting before from (backward); -1 when none.
qint64 findInLine(const QByteArray& line, const QByteArray& needle, bool forward, qint64 from)
{
    if (forward)
        return from > line.size() ? -1 : line.indexOf(needle, from);
    if (from <= 0 || needle.size() > line.size())
        return -1;
    return line.lastIndexOf(needle, std::min<qint64>(from - 1, line.size() - needle.size()));
}

} // namespace

std::optional<TFindHit> FindInLines(const TLineSource& lines, const TFindQuery& query, qint64 line, qint64 column)
{
    const qint64 count = lines.lineCount();
    if (query.Text.isEmpty() || count == 0)
        return std::nullopt;
    const TFold fold = query.MatchCase ? TFold{} : lowerCaseTable();
    const QByteArray needle = query.MatchCase ? query.Text : folded(query.Text, fold);
    line = std::clamp<qint64>(line, 0, count - 1);
    // Every line once, and the starting line a second time for the part
    // before (forward) or after (backward) the start position.
    for (qint64 step = 0; step <= count; ++step) {
        const qint64 offset = query.Forward ? step : -step;
        const qint64 index = ((line + offset) % count + count) % count;
        const bool wrapped = query.Forward ? line + offset >= count : line + offset < 0;
        const QByteArray text = query.MatchCase ? lines.line(index) : folded(lines.line(index), fold);
        qint64 from;
        if (step == 0)
            from = column;
        else
            from = query.Forward ? 0 : text.size() + 1;
        qint64 at = findInLine(text, needle, query.Forward, from);
        // Back on the starting line after going round: only what the first look skipped.
        if (step == count && at >= 0 && (query.Forward ? at >= column : at < column))
            at = -1;
        if (at >= 0)
            return TFindHit{index, at, wrapped || step == count};
    }
    return std::nullopt;
}
