#pragma once
// Per-user storage of the terminal: where the values live, the settings list
// (TStoredSettings), the rules of the window placement and of
// the macro histories. Registry keys below HKEY_CURRENT_USER\Software are
// QSettings group paths with "/" for "\": Software\terminal\WindowState is the
// group "terminal/WindowState". On Windows the store is the registry itself; on
// other platforms one INI file, $XDG_CONFIG_HOME/terminal.ini
// (~/.config/terminal.ini when the variable is unset).

#include <QRect>
#include <QSettings>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// The INI file used where there is no registry.
QString UserStoreFile();
// The store below HKEY_CURRENT_USER\Software (or the INI file).
std::unique_ptr<QSettings> OpenUserStore();
// The program's own key below Software: the executable's name without its
// extension (the application name, "terminal" for the program).
QString ProgramKey();
// A registry key path ("TERMINAL\Macro1") as a group path ("TERMINAL/Macro1").
QString KeyToGroup(const QString& key);
// A stored value as text, or found = false when missing. Values the INI
// reader took for lists ("1,2,3,4") come back as the text they were.
QString ReadStoreText(const QSettings& store, const QString& name, bool* found = nullptr);

// The list of stored settings: each entry is a component property written as
// text under "Component_Property" (integers in decimal, Booleans as "True" or
// "False", texts verbatim), trimmed on both sides when saved and restored.
class TStoredSettings {
public:
    void addInteger(const QString& name, std::function<int()> get, std::function<void(int)> set);
    void addBoolean(const QString& name, std::function<bool()> get, std::function<void(bool)> set);
    void addText(const QString& name, std::function<QString()> get, std::function<void(const QString&)> set);

    QStringList names() const;
    // Writes every entry into group of store, in list order.
    void save(QSettings& store, const QString& group) const;
    // Reads every entry back: a missing value keeps the property's current
    // value; a non-number sets an integer to 0; a Boolean other than
    // True/False (any case) is left as it is.
    void restore(const QSettings& store, const QString& group) const;

private:
    enum Kind { Integer, Boolean, Text };
    struct Entry {
        QString Name;
        Kind Type;
        std::function<QString()> Get;
        std::function<void(const QString&)> Set;
    };
    std::vector<Entry> m_entries;
};

// The placement values of a main window, as stored and read back.
struct TPlacement {
    int Flags = 0;
    int ShowCmd = 1;       // 1 normal, 2 minimized, 3 maximized
    int PixelsPerInch = 96;
    QRect Normal;          // the restored (normal) window rectangle
};

// Writes Flags, ShowCmd, PixelsPerInch, MinMaxPos and NormPos (each under the
// screen-size name, e.g. NormPos(1024x768), and the plain name) and Visible.
void SavePlacement(QSettings& store, const QString& group, const TPlacement& placement, QSize screen,
                   bool destroying);

// What restoring tells the window to do.
struct TPlacementRestore {
    bool ApplyRect = false;
    QRect Normal;
    Qt::WindowState State = Qt::WindowMaximized;
};
// Reads the placement back: the rectangle applies only if a position value
// was found, the stored pixels per inch match (missing counts as a match) and
// the left edge lies left of the right one; ShowCmd 1/5/9 is normal, 2/6/7
// minimized, anything else (nothing stored included) maximized.
TPlacementRestore RestorePlacement(const QSettings& store, const QString& group, QSize screen, int pixelsPerInch,
                                   QRect current);

// The history rule of THistoryComboBox: text becomes the first entry, later
// equal entries (case-sensitive) go, and the list keeps at most max entries.
QStringList AddToHistoryList(QStringList list, const QString& text, int max);
// Reads H0, H1, ... of the group: at most max, up to the first missing or empty one.
QStringList LoadHistoryList(const QSettings& store, const QString& group, int max);
void SaveHistoryList(QSettings& store, const QString& group, const QStringList& list);
