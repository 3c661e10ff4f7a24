#pragma once
// Find in the receive box: a text searched through every kept line of a
// line source (the whole receive store, not only what the view shows), from
// a position forward or backward, wrapping around the end once. Lines are
// code page 1250 bytes; without case, letters match in either case
// (accented ones included).

#include <QByteArray>
#include <optional>

class TLineSource;

struct TFindHit {
    qint64 Line = 0;
    qint64 Column = 0;
    bool Wrapped = false;  // found only after going round the end (or start)
};

struct TFindQuery {
    QByteArray Text;  // code page 1250
    bool MatchCase = false;
    bool Forward = true;
};

// Forward: the first hit at or after (line, column). Backward: the last hit
// starting before (line, column). Matches do not span line breaks.
std::optional<TFindHit> FindInLines(const TLineSource& lines, const TFindQuery& query, qint64 line, qint64 column);
