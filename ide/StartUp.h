#pragma once
// The program's windows and its start-up sequence.
//
// Every window is created once, in the order Form1, Splash, Help, Ed, Aed,
// Nastav, LST, Sklad, kept for the whole run and only shown and hidden. The
// order matters: the setup dialog applies the tools to the main window when it
// is created, so Form1 comes before Nastav.

#include <QList>
#include <QStringList>

class QApplication;
class QWidget;
class TAed;
class TEd;
class TForm1;
class THelp;
class TLST;
class TNastav;
class TSklad;
class TSplash;

extern TForm1* Form1;
extern TSplash* Splash;
extern THelp* Help;
extern TEd* Ed;
extern TAed* Aed;
extern TNastav* Nastav;
extern TLST* LST;
extern TSklad* Sklad;

// Creates the windows in their order; each one's creation step (placement,
// help text, setup file) runs at once.
void createWindows();
// The windows created by createWindows(), in creation order.
QList<QWidget*> createdWindows();
// Ends every window, last created first: each saves its placement, the help
// window its text when it was changed.
void destroyWindows();

// AutoOpen: when the setup says so and the last file still exists, opens it.
void autoOpenLastFile();

// The splash picture: splash.jpg in the program folder, else among the
// installed resources.
QString splashPicturePath();

// The whole run: windows, AutoOpen, the modal splash (when `showSplash`), the
// main window, the file named on the command line (if any), the event loop,
// the end. Returns the event loop's exit code.
int runZelvar(QApplication& app, const QStringList& arguments, bool showSplash = true);
