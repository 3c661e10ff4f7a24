#include "terminal/LogFile.h"

namespace {
#ifdef Q_OS_WIN
const char LineBreak[] = "\r\n";
#else
const char LineBreak[] = "\n";
#endif
}  // namespace

bool TLogFile::start(const QString& path, Mode mode, QString* error)
{
    stop();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_mode = mode;
    m_size = 0;
    m_error.clear();
    m_sinceFlush.start();
    return true;
}

void TLogFile::stop(const QByteArray& openLine)
{
    if (!active())
        return;
    if (m_mode == Text && !openLine.isEmpty() && !writeLine(openLine))
        return;
    if (!m_file.flush())
        m_error = m_file.errorString();
    m_file.close();
}

bool TLogFile::write(const char* data, qint64 size)
{
    if (!active())
        return false;
    if (m_file.write(data, size) != size || (m_sinceFlush.elapsed() >= 1000 && !m_file.flush())) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    if (m_sinceFlush.elapsed() >= 1000)
        m_sinceFlush.start();
    m_size += size;
    return true;
}

bool TLogFile::writeRaw(const char* data, qint64 size)
{
    return write(data, size);
}

bool TLogFile::writeLine(const QByteArray& line)
{
    return write(line.constData(), line.size()) && write(LineBreak, qint64(sizeof LineBreak - 1));
}

QString LogModeName(TLogFile::Mode mode)
{
    return mode == TLogFile::Text ? QStringLiteral("Text") : QStringLiteral("Raw");
}

TLogFile::Mode LogModeFromName(const QString& name)
{
    return name.compare(QLatin1String("Text"), Qt::CaseInsensitive) == 0 ? TLogFile::Text : TLogFile::Raw;
}
