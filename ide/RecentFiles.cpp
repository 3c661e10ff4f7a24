#include "RecentFiles.h"

#include "Placement.h"
#include "ProfileFile.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr QByteArrayView Section("Recent");

QByteArray fileKey(int i)
{
    return "File" + QByteArray::number(i + 1);
}

} // namespace

RecentFiles::RecentFiles(const QString& profilePath)
    : m_path(profilePath.isEmpty() ? TPlacement::ResolveProfilePath(QStringLiteral("Zelvar")) : profilePath)
{
}

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
    TProfileFile profile;
    profile.load(m_path);
    m_files.clear();
    for (int i = 0; i < Capacity; ++i) {
        const QString file = QString::fromUtf8(profile.GetPrivateProfileString(Section, fileKey(i)));
        if (!file.isEmpty() && !m_files.contains(file))
            m_files.append(file);
    }
    m_lastFolder = QString::fromUtf8(profile.GetPrivateProfileString(Section, "LastFolder"));
}

bool RecentFiles::save() const
{
    TProfileFile profile;
    profile.load(m_path);
    for (int i = 0; i < Capacity; ++i)
        profile.WritePrivateProfileString(Section, fileKey(i), m_files.value(i).toUtf8());
    profile.WritePrivateProfileString(Section, "LastFolder", m_lastFolder.toUtf8());
    return profile.save(m_path);
}
