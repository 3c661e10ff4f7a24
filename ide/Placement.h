#pragma once
// TPlacement: remembers where a window was on the screen between runs. The
// window calls LoadPlacement when it is created (still hidden) and
// SavePlacement when it is destroyed. The values live in the private profile
// file named by IniFileName ("Zelvar" in Zelvar; in a run, the session's
// ProfileStore of that file), one section per window, as
// integer keys that mirror the Windows window-placement record, so a profile
// written on Windows reads the same here.
//
// A bare IniFileName lives in the per-user configuration folder
// ($XDG_CONFIG_HOME, by default ~/.config, on Linux); an absolute path is used
// as it is. The normal rectangle is the window's normal geometry (client area,
// left/top/right/bottom); a window that was maximised or minimised comes back
// in its normal state at that rectangle. Values are written in decimal and read
// in decimal or in hexadecimal after "0x", "0X" or "$"; a missing or unreadable
// value takes its default, so a damaged file never stops a window from opening.

#include "ide/ProfileStore.h"

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QString>

class QWidget;

class TPlacement : public QObject {
    Q_OBJECT
public:
    // `owner` is the window whose placement is kept; an empty `section` takes
    // the owner's object name.
    explicit TPlacement(QWidget* owner, const QString& section = QString(),
                        const QString& iniFileName = QStringLiteral("Zelvar"));
    // A placement kept in the run's profile store; without one, in the file
    // "Zelvar" read and written on each load and save.
    TPlacement(QWidget* owner, const QString& section, ProfileStore* shared);

    QString IniFileName;  // empty disables the component
    QString Section;
    bool SaveScroll = false; // also keep the owner's scroll bars (a QAbstractScrollArea)
    int WLeft = 0;        // default left edge of the normal rectangle
    int WTop = 0;         // default top edge of the normal rectangle

    // Writes the owner's placement: empty when done, else why not ("Unable
    // to write to <file>"). Nothing to do (no file name, no owner) is done.
    [[nodiscard]] virtual QString SavePlacement();
    // Hands the owner's placement to the store without writing the file (the
    // run's store then writes all windows' places with one save).
    void StorePlacement();
    // Reads the section and applies it to the owner. A stored rectangle whose
    // right edge lies left of its left edge (or bottom above top) is ignored.
    virtual void LoadPlacement();
    // Whether the profile holds a rectangle for this window.
    bool hasStoredPlacement() const;

    // The file that IniFileName names.
    QString profilePath() const;
    static QString ResolveProfilePath(const QString& iniFileName);
    // Reads an integer as the placement keys are written: optional sign, then
    // decimal digits, or hexadecimal digits after "0x", "0X" or "$". False for
    // anything else and for values outside 32 bits.
    static bool ParseProfileInt(QByteArrayView text, int* value);

private:
    template <typename Use>
    auto withStore(Use use) const;
    ProfileStore::WindowPlace currentPlace() const;

    QWidget* m_owner;
    ProfileStore* m_shared = nullptr;
};

// Puts a window's frame at its first-start place, an offset from the top left
// of the available screen area (kept on the screen), before any stored
// placement.
void placeByDefault(QWidget* window, int x, int y);
// The room a window manager's frame takes around the window: measured once
// the window was shown, else a title bar and thin borders.
QMargins frameAllowance(const QWidget* window);
// Where the window's frame lies (or will lie, before the first show).
QRect outerPlace(const QWidget* window);
// Moves the window, and makes it smaller where need be, so that it lies
// whole (frame included) inside the available area of its screen.
void keepOnScreen(QWidget* window);

// Restores the owner's stored placement. A window with no stored placement
// yet keeps the place placeByDefault gave its frame, so that on a first start
// the windows lie side by side, title bars on the screen.
void restoreWindowPlacement(TPlacement* placement);
// Saves the owner's placement; "Unable to write to %s" goes to the error
// handler. False when the placement could not be written.
bool saveWindowPlacement(TPlacement* placement);
