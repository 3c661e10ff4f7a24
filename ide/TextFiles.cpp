#include "TextFiles.h"

#include "Cp1250.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSaveFile>

FileError::FileError(const QString& message)
    : std::runtime_error(message.toStdString()), m_message(message)
{
}

FileError FileError::cannotOpen(const QString& path)
{
    return FileError(QStringLiteral("Cannot open file %1").arg(QDir::toNativeSeparators(path)));
}

FileError FileError::cannotCreate(const QString& path)
{
    return FileError(QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(path)));
}

namespace {

void showErrorBox(const QString& message)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Zelvar"), message);
    else
        qWarning("%s", qPrintable(message));
}

ErrorHandler& errorHandler()
{
    static ErrorHandler handler = showErrorBox;
    return handler;
}

} // namespace

void setErrorHandler(ErrorHandler handler)
{
    errorHandler() = handler ? std::move(handler) : ErrorHandler(showErrorBox);
}

void reportError(const QString& message)
{
    errorHandler()(message);
}

QByteArray readFileBytes(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(path);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError::cannotOpen(path);
    return bytes;
}

void writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw FileError::cannotCreate(path);
}

QString textFromFileBytes(const QByteArray& bytes)
{
    QString text = cp1250::decode(bytes);
    if (text.contains(QLatin1Char('\r'))) {
        // One pass in place (QString::replace moves the tail at every match).
        QChar* out = text.data();
        const QChar* in = out;
        const QChar* end = in + text.size();
        while (in < end) {
            if (*in == QLatin1Char('\r')) {
                *out++ = QLatin1Char('\n');
                if (++in < end && *in == QLatin1Char('\n'))
                    ++in;
            } else {
                *out++ = *in++;
            }
        }
        text.truncate(out - text.constData());
    }
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

QByteArray fileBytesFromText(const QString& text)
{
    if (text.isEmpty())
        return {};
    QByteArray bytes = cp1250::encodeBytes(text);
    bytes.replace("\n", "\r\n");
    bytes.append("\r\n");
    return bytes;
}

std::vector<std::string> splitLines(const QByteArray& bytes)
{
    std::vector<std::string> lines;
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
    const char* start = p;
    while (p < end) {
        if (*p == '\r' || *p == '\n') {
            lines.emplace_back(start, p);
            if (*p == '\r' && p + 1 < end && p[1] == '\n')
                ++p;
            start = ++p;
        } else {
            ++p;
        }
    }
    if (start < end)
        lines.emplace_back(start, end);
    return lines;
}

QByteArray joinLinesCrLf(const std::vector<std::string>& lines)
{
    qsizetype size = 0;
    for (const std::string& line : lines)
        size += qsizetype(line.size()) + 2;
    QByteArray bytes;
    bytes.reserve(size);
    for (const std::string& line : lines) {
        bytes.append(line.data(), qsizetype(line.size()));
        bytes.append("\r\n", 2);
    }
    return bytes;
}
