#pragma once
// The shared safe file write (FileWrite.h) for Qt programs: Zelvar and
// terminal pass their paths and bytes as Qt holds them. Link m51filewrite.

#include "common/FileWrite.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>

namespace m51 {

// The path as FileWrite.h takes it: the file system's own bytes, UTF-8 on Windows.
inline std::string filePathBytes(const QString& path)
{
#ifdef Q_OS_WIN
    return path.toUtf8().toStdString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

// "" when the file holds `bytes`, else the reason; the file is unchanged then.
inline QString writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    const std::string reason =
        writeFileAtomically(filePathBytes(path), std::string_view(bytes.constData(), size_t(bytes.size())));
    return QString::fromLocal8Bit(reason.data(), qsizetype(reason.size()));
}

// quoteForMessage() for text Qt holds: the same rules (control characters as
// \xNN, tabs kept, a quote longer than maxChars cut and ended with "…"), for
// messages of Zelvar and terminal that show what a file or a device gave.
inline QString quoteForMessage(const QString& text, qsizetype maxChars = 200)
{
    QString quoted;
    const qsizetype shown = std::min(text.size(), maxChars);
    quoted.reserve(shown + 8);
    for (qsizetype i = 0; i < shown; ++i) {
        const char16_t c = text[i].unicode();
        if ((c < 0x20 && c != '\t') || (c >= 0x7F && c < 0xA0))
            quoted += QLatin1String("\\x") + QLatin1Char("0123456789ABCDEF"[c >> 4]) + QLatin1Char("0123456789ABCDEF"[c & 15]);
        else
            quoted += text[i];
    }
    if (text.size() > maxChars)
        quoted += QChar(0x2026);
    return quoted;
}

} // namespace m51
