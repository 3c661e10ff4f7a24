#include "ide/Setup.h"

#include "common/Cp1250.h"
#include "ide/TextFiles.h"

#include <QFile>

namespace SetupFile {

QStringList readLines(const QByteArray& bytes)
{
    QStringList lines = cp1250::decodeLines(splitLines(bytes));
    while (lines.size() < PaddedLines)
        lines.append(QString());
    return lines;
}

bool isSet(const QString& line)
{
    return line == QLatin1String("A");
}

QString flagText(bool set)
{
    return set ? QStringLiteral("A") : QStringLiteral("F");
}

QByteArray fileBytes(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += cp1250::encodeBytes(line);
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace SetupFile

Setup::Setup()
    : m_lines(SetupFile::PaddedLines)
{
}

Setup Setup::fromBytes(const QByteArray& bytes)
{
    Setup setup;
    setup.m_lines = SetupFile::readLines(bytes);
    return setup;
}

QString Setup::load(const QString& path)
{
    if (!QFile::exists(path)) {
        *this = Setup();
        return {};
    }
    const FileRead file = readFileBytes(path);
    if (file.ok())
        *this = fromBytes(file.bytes);
    return file.error;
}

QString Setup::save(const QString& path) const
{
    return writeFileBytes(path, fileBytes());
}

QByteArray Setup::fileBytes() const
{
    QStringList written;
    for (int n = 1; n <= SetupFile::LineCount; ++n)
        written.append(isFlagLine(n) ? SetupFile::flagText(flag(n)) : line(n));
    return SetupFile::fileBytes(written);
}

void Setup::setLine(int n, const QString& text)
{
    if (n < 1)
        return;
    while (m_lines.size() < n)
        m_lines.append(QString());
    m_lines[n - 1] = text;
}
