#pragma once
// File ▸ Recent files: the ten sources opened or saved last, newest first,
// kept in the window placement profile (section "Recent", keys File1 …
// File10, paths in UTF-8), so they survive the run beside the windows'
// places and Zelvar.INI keeps its fixed lines. The same folder memory serves
// the file dialogs: they start in the current file's folder, else in the
// folder used last.

#include <QString>
#include <QStringList>
#include <memory>

class ProfileStore;

class RecentFiles {
public:
    static constexpr int Capacity = 10;

    // The profile file; empty: the per-user "Zelvar" profile of the windows.
    explicit RecentFiles(const QString& profilePath = QString());
    // The list kept in the run's profile store.
    explicit RecentFiles(ProfileStore& store);
    ~RecentFiles();

    QStringList files() const { return m_files; }
    // Puts `path` first (once) and remembers its folder; the list keeps ten.
    void add(const QString& path);
    void remove(const QString& path);
    void clear();

    // The folder a file dialog starts in: the current file's, else the one
    // used last, else `fallback`.
    QString dialogFolder(const QString& currentFile, const QString& fallback) const;
    QString lastFolder() const { return m_lastFolder; }
    void setLastFolder(const QString& folder);

    void load();
    // False when the profile could not be written.
    bool save() const;

private:
    std::unique_ptr<ProfileStore> m_own;
    ProfileStore* m_store;
    QStringList m_files;
    QString m_lastFolder;
};
