#pragma once
// The shared safe file write (FileWrite.h) for Qt programs: Zelvar and
// terminal pass their paths and bytes as Qt holds them. Link m51filewrite.

#include "FileWrite.h"

#include <QByteArray>
#include <QFile>
#include <QString>

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

} // namespace m51
