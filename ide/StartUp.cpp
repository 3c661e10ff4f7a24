#include "ide/StartUp.h"

#include "ide/CodeEditor.h"
#ifdef ZELVAR_WITH_DEBUGGER
#include "debugger/window/DebugController.h"
#include "ide/DebugWiring.h"
#include "ide/SimulatorDocks.h"
#endif
#include "ide/Main.h"
#include "ide/Nastavu.h"
#include "ide/Placement.h"
#include "ide/ProgramFolder.h"
#include "ide/TextFiles.h"
#include "ide/WindowLayout.h"
#include "ide/asembu.h"
#include "ide/editoru.h"
#include "ide/helpu.h"
#include "ide/lstu.h"
#include "ide/skladu.h"
#include "ide/splashu.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

namespace {

// Notes the first paint of a window.
class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// Shows the window and runs the events until it has been painted (a fifth
// of a second at most, for a display that never exposes it).
template <typename Window>
Window* showPainted(Window* window)
{
    FirstPaint paint;
    window->installEventFilter(&paint);
    window->show();
    QElapsedTimer waited;
    waited.start();
    while (!paint.painted && waited.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    // The painted picture reaches the screen now, not with the next events.
    QCoreApplication::processEvents();
    window->removeEventFilter(&paint);
    return window;
}

} // namespace

template <typename Window>
Window* Zelvar::made(Window* window)
{
    m_created.append(window);
    return window;
}

Zelvar::Zelvar(bool showSplash)
    : m_session(std::make_unique<Session>())
{
    Session& session = *m_session;
    session.loadSetup();
    // The splash comes first and is painted before anything else is made:
    // it is what the user sees of the start. It is listed after the main
    // window all the same, the order the windows end in.
    TSplash* splash = showSplash ? showPainted(new TSplash(splashPicturePath())) : nullptr;
    m_windows.main = made(new TForm1(session, m_windows));
    m_windows.splash = made(splash ? splash : new TSplash(splashPicturePath()));
    ProfileStore* profile = &session.profile();
    m_windows.help = made(new THelp(helpFilePath(), nullptr, profile));
    TEd* editor = m_windows.editor = made(new TEd(nullptr, profile));
    m_windows.assembly = made(new TAed(&session));
    m_windows.setup = made(new TNastav(session, m_windows.main));
    QObject::connect(m_windows.setup, &TNastav::profileNotWritten, m_windows.main,
                     [main = m_windows.main](const QString& reason) { main->statusBar()->showMessage(reason); });
    m_windows.listing = made(new TLST(&session));
    // The snippet store "Macro": its snippets go into the editor's text, after
    // the caret's line.
    m_windows.store = made(new TSklad(programFolder(), nullptr, profile));
    m_windows.store->setEditor(
        TSklad::Inserter([editor](int index, const QStringList& lines) { editor->insertLinesAt(index, lines); }),
        [editor] { return editor->CaretLine(); });

    // The editor's caption is the current file; its text's changes are the
    // session's "modified".
    QObject::connect(&session, &Session::fileChanged, editor, &QWidget::setWindowTitle);
    QObject::connect(editor, &TEd::modifiedChanged, &session, &Session::setModified);
    // A build's errors, of every stage, mark their lines; its procedures
    // colour their calls.
    const auto showResult = [editor, &session] { editor->showCompileResult(session.lastResult(), session.diagnostics()); };
    QObject::connect(&session, &Session::compiled, editor, showResult);
    QObject::connect(&session, &Session::diagnosticsChanged, editor, showResult);
    // An assembly source gets the 8051 colours, an M51 source the M51 ones.
    QObject::connect(&session, &Session::fileChanged, editor,
                     [editor](const QString& path) { editor->setSourceFile(path); });
    m_layout = new WindowLayout(m_windows, profile);
#ifdef ZELVAR_WITH_DEBUGGER
    m51dbg::DebugController* debugger = attachDebugger(m_windows);
    dockSimulator(debugger, m_layout);
    m_afterFirstPaint = [debugger] { debugger->simulatorWindow(); };
#endif
    m_layout->restore();
}

void Zelvar::afterFirstPaint()
{
    if (m_afterFirstPaint)
        std::exchange(m_afterFirstPaint, {})();
}

Zelvar::~Zelvar()
{
    // Every window hands its place to the run's profile store, which writes
    // them all at once: when that fails, one message names the folder
    // instead of one box per window.
    ProfileStore& profile = m_session->profile();
    // The docks' places first: in One window the editor, ASM and LST then
    // become windows again, at the places their own sections keep.
    if (m_layout)
        m_layout->keep();
    if (m_windows.store)
        m_windows.store->keepPlacement();
    if (m_windows.help && m_windows.help->saveText())
        m_windows.help->PL->StorePlacement();
    for (TPlacement* placement : {m_windows.listing ? m_windows.listing->PL : nullptr,
                                  m_windows.assembly ? m_windows.assembly->PL : nullptr,
                                  m_windows.editor ? m_windows.editor->PL : nullptr,
                                  m_windows.main ? m_windows.main->PL1 : nullptr})
        if (placement)
            placement->StorePlacement();
    if (!profile.save().isEmpty())
        reportError(QStringLiteral("Cannot save the window places: the folder %1 cannot be written")
                        .arg(QDir::toNativeSeparators(QFileInfo(profile.path()).absolutePath())));
    // The setup dialog belongs to the main window and goes with it.
    while (!m_created.isEmpty()) {
        QWidget* window = m_created.takeLast();
        if (window != m_windows.setup)
            delete window;
    }
    m_windows = WindowSet();
}

void Zelvar::fitOnScreen()
{
    TAed* assembly = m_windows.assembly;
    TLST* listing = m_windows.listing;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && assembly && listing && !assembly->PL->hasStoredPlacement() && !listing->PL->hasStoredPlacement()) {
        const QRect area = screen->availableGeometry();
        const QMargins frame = frameAllowance(listing);
        const QRect asmPlace = outerPlace(assembly), lstPlace = outerPlace(listing);
        if (lstPlace.intersects(asmPlace) || lstPlace.right() > area.right()) {
            const int gap = 4;
            const int width = std::max(assembly->width(), area.right() + 1 - asmPlace.left() - frame.left() - frame.right() - 8);
            const int height = (area.bottom() + 1 - asmPlace.top()) / 2 - frame.top() - frame.bottom() - gap;
            assembly->resize(width, std::max(height, 120));
            listing->resize(width, std::max(height, 120));
            listing->move(asmPlace.left(), outerPlace(assembly).bottom() + 1 + gap);
        }
    }
    for (QWidget* window : {static_cast<QWidget*>(m_windows.main), static_cast<QWidget*>(m_windows.editor),
                            static_cast<QWidget*>(assembly), static_cast<QWidget*>(listing),
                            static_cast<QWidget*>(m_windows.help), static_cast<QWidget*>(m_windows.store)})
        if (window && window->isWindow())
            keepOnScreen(window);
}

void Zelvar::autoOpenLastFile()
{
    const Setup& setup = m_session->setup();
    const QString last = setup.lastFile();
    if (setup.autoOpen() && !last.isEmpty() && QFileInfo(last).isFile())
        m_windows.main->OpenSourceFile(last);
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

    Zelvar zelvar(showSplash);
    zelvar.fitOnScreen();
    zelvar.autoOpenLastFile();
    if (showSplash)
        zelvar.windows().splash->exec();
    zelvar.windows().main->show();
    if (arguments.size() > 1 && !arguments.at(1).isEmpty())
        zelvar.windows().main->OpenSourceFile(QFileInfo(arguments.at(1)).absoluteFilePath());
    // With no file, an empty editor with its hint to open a sample.
    if (zelvar.session().currentFile().isEmpty())
        zelvar.windows().editor->show();
    QTimer::singleShot(200, &app, [&zelvar] { zelvar.afterFirstPaint(); });
    return app.exec();
}
