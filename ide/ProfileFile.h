#pragma once
// A private profile (INI) file as Zelvar keeps its window positions in it:
// sections in brackets, "key=value" lines, read and written the way the
// Windows profile service does it. Qt's own INI format escapes names, sorts
// keys and rewrites the whole file its way, so this small layer keeps the file
// as a person wrote it: unknown lines, comments and order survive a write, and
// only the touched line changes.
//
// Reading: section and key names compare without regard to letter case, the
// first matching section and key win, the value is the text after the first
// "=" with blanks trimmed and one pair of surrounding quotes removed. Lines
// may end in CR LF, LF or CR; bytes are kept as they are.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

class TProfileFile {
public:
    // Reads the whole file; a missing or unreadable file gives an empty profile.
    void load(const QString& path);
    void setBytes(const QByteArray& bytes);
    QByteArray bytes() const;

    // The value of `key` in `section`, or `def` when either is missing.
    QByteArray GetPrivateProfileString(QByteArrayView section, QByteArrayView key,
                                       const QByteArray& def = {}) const;
    // The value of `key` in `section`, or nothing when either is missing.
    std::optional<QByteArray> find(QByteArrayView section, QByteArrayView key) const;
    // Sets the key in place, or adds it at the end of its section, or adds the
    // section at the end of the file.
    void WritePrivateProfileString(QByteArrayView section, QByteArrayView key, QByteArrayView value);

    // Writes the file atomically (temporary file and rename), creating its folder when needed.
    bool save(const QString& path) const;

private:
    std::vector<QByteArray> m_lines;
};
