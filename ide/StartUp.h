#pragma once
// The program's start-up code: the session and the windows of one run.
//
// Every window is created once, in the order Form1, Splash, Help, Ed, Aed,
// Nastav, LST, Sklad, kept for the whole run and only shown and hidden. The
// session is created first and loads the setup, so each window starts from
// the settings.

#include "ide/Session.h"
#include "ide/WindowSet.h"

#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

class QApplication;
class QWidget;
class WindowLayout;

class Zelvar {
public:
    // Creates the session (and reads the setup) and the windows in their order.
    // With `showSplash`, the splash is on the screen as soon as it exists, so
    // the user sees the program while the other windows are made.
    explicit Zelvar(bool showSplash = false);
    // Ends every window, last created first: each saves its placement, the
    // help window its text when it was changed. Places that cannot be written
    // give one message naming the folder.
    ~Zelvar();

    Session& session() { return *m_session; }
    const WindowSet& windows() const { return m_windows; }
    // The windows in creation order.
    QList<QWidget*> createdWindows() const { return m_created; }

    // AutoOpen: when the setup says so and the last file still exists, opens it.
    void autoOpenLastFile();
    // Every window whole on the screen it will show on, frame included (a
    // place stored on a larger screen, a first start on a small one). On a
    // first start ASM and LST go one above the other right of the editor
    // when the screen is too narrow for them side by side.
    void fitOnScreen();
    // Separate windows or One window, and the main window's docks.
    WindowLayout* layout() const { return m_layout; }
    // What need not be there for the first painted window: the simulator's
    // window and docks, so that their stored places come back.
    void afterFirstPaint();

private:
    template <typename Window>
    Window* made(Window* window);

    std::unique_ptr<Session> m_session;
    WindowSet m_windows;
    QList<QWidget*> m_created;
    WindowLayout* m_layout = nullptr;
    std::function<void()> m_afterFirstPaint;
};

// The splash picture: splash.jpg in the program folder, else among the
// installed resources.
QString splashPicturePath();

// The whole run: session and windows, AutoOpen, the modal splash (when
// `showSplash`), the main window, the file named on the command line (if
// any), the event loop, the end. Returns the event loop's exit code.
int runZelvar(QApplication& app, const QStringList& arguments, bool showSplash = true);
