#include "StartUp.h"

#include "CodeEditor.h"
#include "Main.h"
#include "Nastavu.h"
#include "Placement.h"
#include "ProgramFolder.h"
#include "TextFiles.h"
#include "asembu.h"
#include "editoru.h"
#include "helpu.h"
#include "lstu.h"
#include "skladu.h"
#include "splashu.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>

TForm1* Form1 = nullptr;
TSplash* Splash = nullptr;
THelp* Help = nullptr;
TEd* Ed = nullptr;
TAed* Aed = nullptr;
TNastav* Nastav = nullptr;
TLST* LST = nullptr;
TSklad* Sklad = nullptr;

namespace {

QList<QWidget*>& windows()
{
    static QList<QWidget*> list;
    return list;
}

template <typename Window>
Window* made(Window* window)
{
    windows().append(window);
    return window;
}

// The snippet store window "Macro": its snippets go into the editor's text,
// after the caret's line.
TSklad* createSnippetStore()
{
    auto* store = new TSklad(programFolder());
    store->setEditor(Ed->M, [] { return Ed->CaretLine(); });
    return store;
}

} // namespace

void createWindows()
{
    Form1 = made(new TForm1);
    Splash = made(new TSplash(splashPicturePath()));
    Help = made(new THelp(helpFilePath()));
    Ed = made(new TEd);
    Aed = made(new TAed);
    Nastav = made(new TNastav(Form1, Form1));
    LST = made(new TLST);
    Sklad = made(createSnippetStore());
}

QList<QWidget*> createdWindows()
{
    return windows();
}

void destroyWindows()
{
    if (Sklad && !Sklad->FormDestroy())
        reportError(Sklad->PL1->lastError());
    if (Help)
        Help->FormDestroy();
    if (LST)
        LST->FormDestroy();
    if (Aed)
        Aed->FormDestroy();
    if (Ed)
        Ed->FormDestroy();
    if (Form1)
        Form1->FormDestroy();
    // Nastav belongs to Form1 and goes with it.
    QList<QWidget*>& list = windows();
    while (!list.isEmpty()) {
        QWidget* window = list.takeLast();
        if (window != Nastav)
            delete window;
    }
    Form1 = nullptr;
    Splash = nullptr;
    Help = nullptr;
    Ed = nullptr;
    Aed = nullptr;
    Nastav = nullptr;
    LST = nullptr;
    Sklad = nullptr;
}

void autoOpenLastFile()
{
    const QString last = Nastav->Edit4->text();
    if (Nastav->AutoOpen->isChecked() && !last.isEmpty() && QFileInfo(last).isFile())
        Form1->OpenSourceFile(last);
}

QString splashPicturePath()
{
    const QString local = programFolder() + QStringLiteral("/splash.jpg");
    if (QFileInfo::exists(local))
        return local;
    return installedResourceFolder() + QStringLiteral("/splash.jpg");
}

int runZelvar(QApplication& app, const QStringList& arguments, bool showSplash)
{
    app.setApplicationName(QStringLiteral("Zelvar"));
    app.setDesktopFileName(QStringLiteral("zelvar"));
    app.setWindowIcon(QIcon(QStringLiteral(":/zelvar/zelvar.png")));
    // Closing the main window ends the program (TForm1 quits); the other
    // windows closing must not.
    app.setQuitOnLastWindowClosed(false);

    createWindows();
    autoOpenLastFile();
    if (showSplash)
        Splash->exec();
    Form1->show();
    if (arguments.size() > 1 && !arguments.at(1).isEmpty())
        Form1->OpenSourceFile(QFileInfo(arguments.at(1)).absoluteFilePath());
    const int code = app.exec();
    destroyWindows();
    return code;
}
