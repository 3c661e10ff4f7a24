#pragma once
// Zelvar's two layouts and the docks of its main window.
//
// Separate windows (the default, as Zelvar always was): the main window holds
// the menus and the lists; the editor, ASM and LST are windows of their own.
// One window (View > One window): the editor is in the middle of the main
// window, the lists, ASM and LST are docks around it. In both, the panes of
// the simulator dock into the main window and float when dragged out.
//
// Each layout's dock places (QMainWindow::saveState) and, for One window, the
// main window's place are kept in the placement profile beside the windows'
// own entries, section "Docks"; the separate windows keep their own sections,
// whichever layout was last used. Switching takes effect at once.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <map>
#include <set>
#include <vector>

class QAction;
class QDockWidget;
class QMenu;
class ProfileStore;
class QWidget;
class TForm1;
struct WindowSet;

class WindowLayout : public QObject {
    Q_OBJECT
public:
    enum class Kind { Separate, OneWindow };
    // Where a dock goes when no stored place says otherwise. The simulator's
    // panes come in three groups, each a row of tabs of its own (in separate
    // windows on a screen too low for three rows, all share one): memory
    // (Panes), the program's code and flow (CodePanes), and what the run
    // tells and meets outside (InsightPanes).
    enum class Group { Lists, Code, Simulator, Panes, CodePanes, InsightPanes };

    // Adds the View menu to the main window's menu bar. The layout is kept
    // in `profile` (none: kept nowhere).
    WindowLayout(const WindowSet& windows, ProfileStore* profile);
    ~WindowLayout() override;

    Kind kind() const { return m_kind; }
    void setKind(Kind kind);
    QAction* oneWindowAction() const { return m_oneWindow; }
    QMenu* viewMenu() const { return m_viewMenu; }

    // A pane as a dock of the main window, named "dock_<id>": it comes back
    // at its stored place, or else at its group's place in the current
    // layout. The dock takes the widget; it is listed in the View menu.
    QDockWidget* addDock(const QString& id, const QString& title, QWidget* widget, Group group);
    QDockWidget* dock(const QString& id) const;
    // Whether the dock got its group's place rather than a stored one.
    bool placedByDefault(const QString& id) const { return m_defaultPlaced.count(id) > 0; }
    // Shows the docks that got their group's place and were not shown yet
    // (they wait for the first debug start).
    void showDefaultPlacedDocks();

    // Separate windows: the main window grows beside the lists so that its
    // docks fit, up to the screen's right edge, and down far enough for the
    // registers; the editor, ASM and LST below it move down to make room.
    void makeRoomForDocks();

    // Reads the profile: the last run's layout and its dock places.
    void restore();
    // Writes both layouts to the profile. In One window the editor, ASM and
    // LST first go back to being windows (hidden) at their own places, so
    // their sections keep the separate layout. False when the file could not
    // be written.
    bool save();
    // As save, but only hands both layouts to the profile store: the caller
    // writes the file.
    void keep();

signals:
    void kindChanged(WindowLayout::Kind kind);

private:
    struct Place {
        QRect geometry;
        bool visible = false;
        Qt::WindowFlags flags;
    };
    void switchTo(Kind kind, bool remember);
    void toOneWindow();
    void toSeparateWindows(bool show);
    void placeDock(QDockWidget* dock, Group group);
    void keepTabTitlesWhole();
    void placeAllByDefault();
    void sizeByDefault(QDockWidget* dock, Group group);
    bool paneRows() const;
    void placePaneRows();
    void placeRow(QDockWidget* dock, Group group, QDockWidget* above);
    void evenPaneRows();
    void fitDocksToWidth(int width);
    QDockWidget* makeDock(const QString& id, const QString& title, Group group);
    bool eventFilter(QObject* watched, QEvent* event) override;

    const WindowSet& m_windows;
    TForm1* m_main;
    ProfileStore* m_profile;
    Kind m_kind = Kind::Separate;
    bool m_arranging = false;  // docks moved by the layout itself, not closed by the user
    QAction* m_oneWindow = nullptr;
    QMenu* m_viewMenu = nullptr;
    QAction* m_panesSeparator = nullptr;
    std::map<QString, QDockWidget*> m_docks;
    std::map<QString, Group> m_groups;
    std::vector<QString> m_order;  // ids in the order the docks were made
    std::set<QString> m_unplaced;  // taken out to be placed again
    std::map<QString, bool> m_defaultPlaced;  // docks that got their group's place: not shown yet
    std::map<Kind, QByteArray> m_states;  // saveState of each layout
    QByteArray m_onePlace;                // the main window in One window: "left top width height maximised"
    QRect m_separatePlace;                // the main window in separate windows
    std::map<QWidget*, Place> m_places;   // the editor, ASM and LST as windows
    std::vector<QPointer<QDockWidget>> m_rowFirsts;  // rows of panes placed, to open on their first pane
};
