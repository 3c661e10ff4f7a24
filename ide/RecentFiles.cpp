#include "ide/RecentFiles.h"

#include "ide/ProfileStore.h"

#include <QDir>
#include <QFileInfo>

RecentFiles::RecentFiles(const QString& profilePath)
    : m_own(std::make_unique<ProfileStore>(profilePath.isEmpty() ? QStringLiteral("Zelvar") : profilePath)),
      m_store(m_own.get())
{
}

RecentFiles::RecentFiles(ProfileStore& store)
    : m_store(&store)
{
}

RecentFiles::~RecentFiles() = default;

void RecentFiles::add(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    m_files.removeAll(clean);
    m_files.prepend(clean);
    while (m_files.size() > Capacity)
        m_files.removeLast();
    m_lastFolder = QFileInfo(clean).absolutePath();
}

void RecentFiles::remove(const QString& path)
{
    m_files.removeAll(QDir::cleanPath(path));
}

void RecentFiles::clear()
{
    m_files.clear();
}

void RecentFiles::setLastFolder(const QString& folder)
{
    if (!folder.isEmpty())
        m_lastFolder = folder;
}

QString RecentFiles::dialogFolder(const QString& currentFile, const QString& fallback) const
{
    if (!currentFile.isEmpty()) {
        const QString folder = QFileInfo(currentFile).absolutePath();
        if (QFileInfo(folder).isDir())
            return folder;
    }
    if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir())
        return m_lastFolder;
    return fallback;
}

void RecentFiles::load()
{
    const ProfileStore::Recent stored = m_store->recent(Capacity);
    m_files = stored.files;
    m_lastFolder = stored.lastFolder;
}

bool RecentFiles::save() const
{
    m_store->setRecent({m_files, m_lastFolder}, Capacity);
    return m_store->save().isEmpty();
}
