#pragma once
// The one owner of Zelvar's profile file ("Zelvar" in the per-user
// configuration folder): the windows' places, the recent files, the layout
// of the docks, the simulator and SDCC chosen in Setup, the coverage
// choices. The session keeps one store for the run; every part that keeps
// something there gets its section from it as a typed record and hands the
// record back, so no part reads, parses or writes the file on its own.
//
// The file is read once, at the first look. A record handed back changes
// only the keys whose text differs; save() writes those keys onto the file
// as it is on disk at that moment, so keys another Zelvar wrote meanwhile,
// unknown lines and comments survive, and a save with nothing changed
// writes nothing. The keys, their sections and the stored texts are those
// of the profile as it always was.

#include "ide/ProfileFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

class ProfileStore {
public:
    // A bare name lives in the per-user configuration folder, an absolute
    // path is used as it is; an empty name keeps nothing.
    explicit ProfileStore(const QString& iniFileName = QStringLiteral("Zelvar"));

    // The file a profile name names.
    static QString resolvePath(const QString& iniFileName);
    // Reads an integer as the placement keys are written: optional sign, then
    // decimal digits, or hexadecimal digits after "0x", "0X" or "$". Empty
    // for anything else and for values outside 32 bits.
    static std::optional<int> parseInt(QByteArrayView text);

    QString path() const { return m_path; }
    bool keepsNothing() const { return m_path.isEmpty(); }

    // A window's place, mirroring the Windows window-placement record (one
    // section per window). A field is empty where its key is missing or
    // unreadable; only the fields with a value are written.
    struct WindowPlace {
        std::optional<qint64> flags, minX, minY, maxX, maxY;
        std::optional<qint64> left, top, right, bottom;   // the normal rectangle
        std::optional<qint64> hRange, hPos, vRange, vPos; // scroll bars, where kept
    };
    WindowPlace windowPlace(const QString& section) const;
    void setWindowPlace(const QString& section, const WindowPlace& place);

    // File ▸ Recent files (section "Recent"): newest first, and the folder used last.
    struct Recent {
        QStringList files;
        QString lastFolder;
    };
    Recent recent(int capacity) const;
    void setRecent(const Recent& recent, int capacity);

    // The main window's layout and its docks' places (section "Docks").
    struct DockLayout {
        bool oneWindow = false;
        QByteArray separateState, oneWindowState; // QMainWindow::saveState of each layout
        QByteArray onePlace;                      // the One window's place, as WindowLayout writes it
    };
    DockLayout dockLayout() const;
    void setDockLayout(const DockLayout& layout);

    // The Setup dialog's simulator (section "Simulator") and SDCC (section "C").
    bool s51Simulator() const;
    void setS51Simulator(bool s51);
    QString sdccProgram() const;
    void setSdccProgram(const QString& program);

    // A coverage choice by its key (section "Coverage"); empty when never chosen.
    std::optional<bool> coverageChoice(const char* key) const;
    void setCoverageChoice(const char* key, bool on);

    // Writes the changed keys; "" or "Unable to write to <file>". The
    // changes stay pending after a failure, for the next save.
    QString save();

private:
    const TProfileFile& file() const;
    QByteArray value(QByteArrayView section, QByteArrayView key) const;
    void setValue(QByteArrayView section, QByteArrayView key, const QByteArray& value);

    struct Change {
        QByteArray section, key, value;
    };
    QString m_path;
    mutable std::optional<TProfileFile> m_file;
    std::vector<Change> m_changes;
};
