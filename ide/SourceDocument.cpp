#include "ide/SourceDocument.h"

#include "common/Cp1250.h"
#include "common/FileWriteQt.h"
#include "ide/TextFiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray hashOf(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

const char* lineEndBytes(SourceDocument::LineEnds ends)
{
    switch (ends) {
    case SourceDocument::LineEnds::Lf:
        return "\n";
    case SourceDocument::LineEnds::Cr:
        return "\r";
    case SourceDocument::LineEnds::CrLf:
        break;
    }
    return "\r\n";
}

} // namespace

SourceDocument::Decoded SourceDocument::decode(const QByteArray& bytes)
{
    Decoded decoded;
    const qsizetype end = bytes.indexOf('\n'), cr = bytes.indexOf('\r');
    if (cr >= 0 && (end < 0 || cr < end))
        decoded.lineEnds = cr + 1 < bytes.size() && bytes[cr + 1] == '\n' ? LineEnds::CrLf : LineEnds::Cr;
    else if (end >= 0)
        decoded.lineEnds = LineEnds::Lf;
    decoded.finalLineEnd = bytes.isEmpty() || bytes.endsWith('\n') || bytes.endsWith('\r');
    decoded.text = textFromFileBytes(bytes);
    return decoded;
}

QByteArray SourceDocument::encode(const QString& text, LineEnds lineEnds, bool finalLineEnd)
{
    if (text.isEmpty())
        return {};
    QByteArray bytes = cp1250::encodeBytes(text);
    const char* end = lineEndBytes(lineEnds);
    if (lineEnds != LineEnds::Lf)
        bytes.replace("\n", end);
    if (finalLineEnd)
        bytes.append(end);
    return bytes;
}

SourceDocument::SourceDocument(QObject* parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &SourceDocument::fileEvent);
}

void SourceDocument::setModified(bool modified)
{
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

SourceDocument::Opened SourceDocument::open(const QString& path)
{
    const FileRead file = readFileBytes(path);
    if (!file.ok())
        return {{}, file.error};
    Decoded decoded = decode(file.bytes);
    m_lineEnds = decoded.lineEnds;
    m_finalLineEnd = decoded.finalLineEnd;
    watch(path, file.bytes);
    if (path != m_path) {
        m_path = path;
        emit pathChanged(path);
    }
    setModified(false);
    return {std::move(decoded.text), {}};
}

void SourceDocument::reset()
{
    watch(QString(), {});
    m_lineEnds = LineEnds::CrLf;
    m_finalLineEnd = true;
    if (!m_path.isEmpty()) {
        m_path.clear();
        emit pathChanged(m_path);
    }
    setModified(false);
}

QString SourceDocument::save(const QString& path, const QString& text)
{
    const QByteArray bytes = encode(text, m_lineEnds, m_finalLineEnd || path != m_path);
    const QString reason = path.isEmpty() ? QString() : m51::writeFileAtomically(path, bytes);
    if (path.isEmpty() || !reason.isEmpty())
        return FileError::cannotCreate(path, reason);
    watch(path, bytes);
    if (path != m_path) {
        m_path = path;
        emit pathChanged(path);
    }
    setModified(false);
    return {};
}

SourceDocument::Opened SourceDocument::reload()
{
    return open(m_path);
}

void SourceDocument::watch(const QString& path, const QByteArray& bytes)
{
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    m_diskHash = path.isEmpty() ? QByteArray() : hashOf(bytes);
    m_diskGone = false;
    if (!path.isEmpty())
        m_watcher.addPath(path);
}

void SourceDocument::fileEvent(const QString& path)
{
    if (path != m_path || m_path.isEmpty())
        return;
    // A replaced file (saved through a temporary file and a rename) is no
    // longer watched: watch the new one.
    if (QFileInfo::exists(path) && !m_watcher.files().contains(path))
        m_watcher.addPath(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!m_diskGone) {
            m_diskGone = true;
            emit changedOnDisk(path);
        }
        return;
    }
    const QByteArray hash = hashOf(file.readAll());
    if (hash == m_diskHash && !m_diskGone)
        return;
    m_diskGone = false;
    m_diskHash = hash;   // told once per change
    emit changedOnDisk(path);
}
