#pragma once
// The lines of a receive box or value column as text, for comparing in tests.

#include "terminal/ReceiveStore.h"

#include <QStringList>

inline QStringList sourceLines(const TLineSource& source)
{
    QStringList out;
    for (qint64 i = 0; i < source.lineCount(); ++i)
        out << QString::fromLatin1(source.line(i));
    return out;
}
