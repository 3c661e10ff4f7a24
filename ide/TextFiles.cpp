#include "ide/TextFiles.h"

#include "compiler/Compiler.h"
#include "common/Cp1250.h"
#include "common/FileWriteQt.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>

QString FileError::cannotOpen(const QString& path)
{
    return QStringLiteral("Cannot open file %1").arg(QDir::toNativeSeparators(path));
}

QString FileError::cannotCreate(const QString& path, const QString& reason)
{
    const QString message = QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(path));
    return reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
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

FileRead readFileBytes(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {{}, FileError::cannotOpen(path)};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {{}, FileError::cannotOpen(path)};
    return {std::move(bytes), {}};
}

QString writeFileBytes(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        return FileError::cannotCreate(path);
    const QString reason = m51::writeFileAtomically(path, bytes);
    return reason.isEmpty() ? QString() : FileError::cannotCreate(path, reason);
}

QString textFromFileBytes(const QByteArray& bytes)
{
    QString text = withLfLineEnds(cp1250::decode(bytes));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

QString withLfLineEnds(QString text)
{
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
    return m51::SplitSourceLines(std::string_view(bytes.constData(), size_t(bytes.size())));
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
