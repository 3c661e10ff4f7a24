#include "ide/Main.h"

#include "ide/CodeEditor.h"
#include "ide/CLexer.h"
#include "ide/CSourceCheck.h"
#include "ide/ListBox.h"
#include "ide/Nastavu.h"
#include "ide/Placement.h"
#include "ide/ProgramFolder.h"
#include "ide/RecentFiles.h"
#include "ide/ResultLists.h"
#include "ide/Session.h"
#include "ide/ShellRun.h"
#include "ide/TextFiles.h"
#include "ide/TextPane.h"
#include "ide/WindowSet.h"
#include "ide/asembu.h"
#include "ide/editoru.h"
#include "ide/helpu.h"
#include "ide/lstu.h"
#include "ide/skladu.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <algorithm>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStyle>
#include <QTime>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The dialog starts on every kind of source Zelvar opens; one kind at a time follows.
const QStringList sourcePatterns = {QStringLiteral("*.M51"), QStringLiteral("*.m51"), QStringLiteral("*.asm"),
                                    QStringLiteral("*.a51"), QStringLiteral("*.ASM"), QStringLiteral("*.A51"),
                                    QStringLiteral("*.c"),   QStringLiteral("*.h")};
const QStringList openFilters = {QStringLiteral("Sources (%1)").arg(sourcePatterns.join(QLatin1Char(' '))),
                                 QStringLiteral("M51 (*.M51)"), QStringLiteral("Assembly (*.asm *.a51 *.ASM *.A51)"),
                                 QStringLiteral("C (*.c *.h)"), QStringLiteral("TXT (*.txt)"),
                                 QStringLiteral("*.* (*)")};
const QStringList saveFilters = {QStringLiteral("M51 (*.M51)"), QStringLiteral("C (*.c *.h)"), QStringLiteral("TXT (*.TXT)"),
                                 QStringLiteral("*.* (*)")};

QString runOpenDialog(QWidget* parent, const QString& folder)
{
    QFileDialog dialog(parent, QStringLiteral("Open"), folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(openFilters);
    dialog.setDefaultSuffix(QStringLiteral("M51"));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString runSaveDialog(QWidget* parent, const QString& folder, const QString& name)
{
    QFileDialog dialog(parent, QStringLiteral("Save As"), folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(saveFilters);
    dialog.setDefaultSuffix(QStringLiteral("M51"));
    dialog.selectFile(name);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

bool runReloadBox(QWidget* parent, const QString& file, bool modified)
{
    const QString text = modified
        ? QStringLiteral("%1\nwas changed by another program. Reload it and lose your changes?").arg(file)
        : QStringLiteral("%1\nwas changed by another program. Reload it?").arg(file);
    return QMessageBox::question(parent, QStringLiteral("Zelvar"), text) == QMessageBox::Yes;
}

int runSaveChangesBox(QWidget* parent, const QString& file)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Zelvar"),
                    QStringLiteral("Save changes to %1?").arg(file),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Save);
    return box.exec();
}

const QString MainCaption = QStringLiteral("Zelvar v3.0b");

void showAndRaise(QWidget* window)
{
    window->show();
    window->raise();
}

} // namespace

TForm1::TForm1(Session& session, const WindowSet& windows, QWidget* parent)
    : QMainWindow(parent), OD1(runOpenDialog), SD1(runSaveDialog), shellRun(ShellRun),
      askSaveChanges(runSaveChangesBox), askReload(runReloadBox), m_session(session), m_windows(windows),
      m_recent(std::make_unique<RecentFiles>(session.profile()))
{
    m_recent->load();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(MainCaption);
    setFont(courierFont(13, true));
    resize(812, 267);
    placeByDefault(this, 8, 8);
    buildMenus();
    buildClientArea();
    buildStatusBar();

    connect(&m_session, &Session::setupChanged, this, &TForm1::layOutTools);
    connect(&m_session, &Session::compiled, this, &TForm1::showCompileResult);
    connect(&m_session, &Session::fileOpened, this, &TForm1::rememberFile);
    connect(&m_session, &Session::modifiedChanged, this, &TForm1::showModified);
    connect(&m_session, &Session::fileChanged, this, &TForm1::updateTitle);
    connect(&m_session.document(), &SourceDocument::changedOnDisk, this, &TForm1::reloadChangedFile);
    connect(&m_session, &Session::buildStarted, this, [this](const QString& file) {
        statusBar()->clearMessage();
        buildStatus->setText(QStringLiteral("Building %1 ...").arg(QFileInfo(file).fileName()));
    });
    connect(&m_session, &Session::buildFinished, this, [this](bool ok) {
        // With a second build still running, the status keeps saying so.
        if (m_session.isBuilding())
            return;
        statusBar()->clearMessage();
        buildStatus->setText(m_session.outcome());
        // A failed build's messages follow the compiler's in the error list; a
        // double click on one goes to the M51 line behind it.
        if (!ok && !m_session.lastBuild().scriptDiagnostics.empty())
            buildStatus->setText(buildStatus->text() + QStringLiteral(": the messages are in the error list"));
    });
    // Every stage's errors in the error list, as soon as a stage ends.
    connect(&m_session, &Session::diagnosticsChanged, this, &TForm1::showDiagnostics);
    layOutTools();

    PL1 = new TPlacement(this, QStringLiteral("Form1"), &m_session.profile());
    restorePlacement();
    FormResize();
}

TForm1::~TForm1() = default;

void TForm1::showModified(bool modified)
{
    modifiedStatus->setVisible(modified);
    updateTitle();
}

void TForm1::updateTitle()
{
    const bool modified = m_session.isModified();
    if (!modified && !m_fileInTitle) {
        setWindowTitle(MainCaption);
        return;
    }
    setWindowTitle(MainCaption + QStringLiteral(" - ") + m_session.displayName() +
                   (modified ? QStringLiteral(" (modified)") : QString()));
}

void TForm1::setFileInTitle(bool on)
{
    m_fileInTitle = on;
    updateTitle();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lists && event->type() == QEvent::Resize)
        FormResize();
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormResize()
{
    ErBox->setFixedHeight(m_lists->height() / 3);
}

void TForm1::OpenSourceFile(const QString& path)
{
    const SourceDocument::Opened opened = m_session.document().open(path);
    if (!opened.error.isEmpty()) {
        reportError(opened.error);
        return;
    }
    TEd* editor = m_windows.editor;
    m_windows.assembly->hide();
    m_windows.listing->hide();
    editor->setText(opened.text);
    editor->markSaved();
    showAndRaise(editor);
    m_session.fileWasOpened(path);
    // The lists and the status told of the file before.
    clearResults();
    buildStatus->setText(QStringLiteral("Opened %1").arg(QDir::toNativeSeparators(path)));
}

void TForm1::rememberFile(const QString& path)
{
    m_recent->add(path);
    m_recent->save();
}

void TForm1::fillRecentMenu()
{
    recentMenu->clear();
    const QStringList files = m_recent->files();
    for (int i = 0; i < files.size(); ++i) {
        const QString label = QStringLiteral("&%1 %2").arg((i + 1) % 10).arg(QFileInfo(files[i]).fileName());
        QAction* action = recentMenu->addAction(label);
        action->setToolTip(files[i]);
        action->setStatusTip(files[i]);
        const QString path = files[i];
        connect(action, &QAction::triggered, this, [this, path] { openRecentFile(path); });
    }
    if (files.isEmpty()) {
        recentMenu->addAction(QStringLiteral("(none)"))->setEnabled(false);
        return;
    }
    recentMenu->addSeparator();
    connect(recentMenu->addAction(QStringLiteral("Clear list")), &QAction::triggered, this, [this] {
        m_recent->clear();
        m_recent->save();
    });
}

void TForm1::openRecentFile(const QString& path)
{
    if (!QFileInfo(path).isFile()) {
        m_recent->remove(path);
        m_recent->save();
        QMessageBox::information(this, QStringLiteral("Recent files"),
                                 QStringLiteral("%1\nno longer exists and leaves the list.").arg(path));
        return;
    }
    if (maySetTextAside() && mayEndDebugging(path))
        OpenSourceFile(path);
}

bool TForm1::maySetTextAside()
{
    if (!m_session.isModified())
        return true;
    const QString file = m_session.currentFile().isEmpty() ? m_session.displayName()
                                                            : QDir::toNativeSeparators(m_session.currentFile());
    switch (askSaveChanges(this, file)) {
    case QMessageBox::Save:
        return UloClick(false);
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void TForm1::Nov1Click()
{
    if (!maySetTextAside() || !mayEndDebugging(QString()))
        return;
    TEd* editor = m_windows.editor;
    showAndRaise(editor);
    editor->setText(QString());
    editor->markSaved();
    m_session.document().reset();
    clearResults();
    buildStatus->setText(QStringLiteral("New file"));
}

void TForm1::clearResults()
{
    for (ListBox* box : {ProcBox, Definebox, InlineBox, ErBox})
        box->clear();
    buildStatus->clear();
    statusBar()->clearMessage();
}

void TForm1::reloadChangedFile(const QString& path)
{
    // One question at a time, however often the file changes meanwhile.
    if (m_askingReload)
        return;
    m_askingReload = true;
    const auto done = qScopeGuard([this] { m_askingReload = false; });
    if (!askReload(this, QDir::toNativeSeparators(path), m_session.isModified()))
        return;
    const SourceDocument::Opened reloaded = m_session.document().reload();
    if (!reloaded.error.isEmpty()) {
        reportError(reloaded.error);
        return;
    }
    m_windows.editor->reloadText(reloaded.text);
    clearResults();
    buildStatus->setText(QStringLiteral("Reloaded %1").arg(QDir::toNativeSeparators(path)));
}

void TForm1::Otevt1Click()
{
    if (!maySetTextAside())
        return;
    const QString path = OD1(this, m_recent->dialogFolder(m_session.currentFile(), programFolder()));
    if (!path.isEmpty() && mayEndDebugging(QFileInfo(path).absoluteFilePath()))
        OpenSourceFile(QFileInfo(path).absoluteFilePath());
}

bool TForm1::UloClick(bool saveAs)
{
    TEd* editor = m_windows.editor;
    const QString current = m_session.currentFile();
    if (!saveAs && !current.isEmpty()) {
        if (const QString error = m_session.document().save(current, editor->text()); !error.isEmpty()) {
            reportError(error);
            return false;
        }
        editor->markSaved();
        statusBar()->showMessage(QStringLiteral("Saved %1").arg(QDir::toNativeSeparators(current)));
        return true;
    }
    const QFileInfo info(current);
    const QString folder = m_recent->dialogFolder(current, programFolder());
    const QString name = current.isEmpty() ? QString() : info.fileName();
    const QString path = SD1(this, folder, name);
    if (path.isEmpty())
        return false;
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    if (const QString error = m_session.document().save(fullPath, editor->text()); !error.isEmpty()) {
        reportError(error);
        return false;
    }
    editor->markSaved();
    rememberFile(fullPath);
    statusBar()->showMessage(QStringLiteral("Saved %1").arg(QDir::toNativeSeparators(fullPath)));
    return true;
}

void TForm1::Zavt1Click()
{
    m_windows.editor->close();
    m_windows.assembly->hide();
    m_windows.listing->hide();
}

void TForm1::ZavtZelvar1Click()
{
    close();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program, whatever else is open, once
    // unsaved changes are dealt with.
    if (!maySetTextAside()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void TForm1::Kompiluj1Click(bool debug)
{
    // The generated files lie beside the source, so an untitled text gets
    // its name first.
    if (m_session.currentFile().isEmpty()) {
        if (!UloClick(true))
            return;
    } else if (m_session.setup().autosave() && !UloClick(false)) {
        return;
    }
    if (IsCFile(m_session.currentFile())) {
        checkCSource();
        return;
    }
    QString error;
    {
        // The compile runs to its end without the event loop; say so.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        error = m_session.compile(m_windows.editor->lines(), debug ? QStringLiteral("Debug") : QStringLiteral("Check"));
        if (error.isEmpty() && debug)
            startDebugBuild();
    }
    // A .asm file that could not be written ends the command.
    if (!error.isEmpty())
        reportError(error);
}

// A C source: SDCC compiles it (Check and Debug alike; the Run menu builds
// the whole program) while the window goes on.
void TForm1::checkCSource()
{
    const QString path = m_session.currentFile();
    if (QFileInfo(path).suffix().toLower() != QLatin1String("c")) {
        statusBar()->showMessage(QStringLiteral("Check compiles a .c file; the Run menu builds the whole program"));
        return;
    }
    if (m_session.isModified() && !UloClick(false))
        return;
    if (!m_cCheck) {
        m_cCheck = new CSourceCheck(this);
        connect(m_cCheck, &CSourceCheck::finished, this,
                [this](const QStringList& messages, const QMap<int, QString>& markers, const QString& summary) {
                    std::vector<ResultRow> rows;
                    for (const QString& message : messages)
                        rows.push_back({-1, message, {}});
                    ErBox->setRows(std::move(rows));
                    m_windows.editor->setErrorMarkers(markers);
                    buildStatus->setText(summary);
                    statusBar()->showMessage(messages.isEmpty() ? summary : messages.front());
                });
    }
    if (!m_cCheck->start(path, m_session.profile().sdccProgram()))
        return;
    ErBox->clear();
    buildStatus->setText(QStringLiteral("Checking %1 with SDCC …").arg(QFileInfo(path).fileName()));
}

void TForm1::showCompileResult()
{
    showDiagnostics();
    // The status bar tells the result of this command, not an earlier build's.
    buildStatus->clear();
    statusBar()->showMessage(m_session.outcome());
}

void TForm1::showDiagnostics()
{
    // Every build fills the lists, also one Run started.
    const m51::CompileResult& result = m_session.lastResult();
    ProcBox->setEntries(result.ProcBox);
    Definebox->setEntries(result.Definebox);
    InlineBox->setEntries(result.InlineBox);
    ErBox->setRows(errorRows(m_session.lastResult(), m_session.diagnostics()));
}

void TForm1::startDebugBuild()
{
    const QString error = m_session.startBuild();
    if (error.isEmpty())
        return;
    if (!m_session.isBuilding())
        buildStatus->clear();
    reportError(error);
}

void TForm1::ErBoxClick(ListBox* box)
{
    if (!box->hasSelection())
        return;
    TEd* Ed = m_windows.editor;
    if (Ed->isHidden())
        Ed->show();
    Ed->raise();
    Ed->activateWindow();
    Ed->focusText();
    // A message of another file ("FILE:LINE: text", as SDCC's on a C
    // program's other sources): that file opens at its line.
    static const QRegularExpression place(QStringLiteral("^(.+?):(\\d+):"));
    const QRegularExpressionMatch found = box->selectedLine() < 0 ? place.match(box->selectedText()) : QRegularExpressionMatch();
    // A name without a folder (another module of an assembly program) is beside the current file.
    const QFileInfo named(QFileInfo(m_session.currentFile()).dir(), found.captured(1));
    if (found.hasMatch() && named.isFile()) {
        const QString file = named.absoluteFilePath();
        if (QFileInfo(file) != QFileInfo(m_session.currentFile())) {
            if (!maySetTextAside() || !mayEndDebugging(file))
                return;
            OpenSourceFile(file);
        }
        Ed->selectLine(std::max(0, found.captured(2).toInt() - 1));
        return;
    }
    Ed->GoToLine(box->selectedLine());
}

void TForm1::T1Click(int k)
{
    shellRun(m_session.setup().toolCommand(k));
}

void TForm1::Sklad1Click()
{
    showAndRaise(m_windows.store);
}

void TForm1::Vnitn1Click()
{
    m_windows.setup->LoadSetup();
    m_windows.setup->exec();
}

void TForm1::Help1Click()
{
    showAndRaise(m_windows.help);
}

void TForm1::restorePlacement()
{
    restoreWindowPlacement(PL1);
}

void TForm1::savePlacement()
{
    saveWindowPlacement(PL1);
}

void TForm1::FormDestroy()
{
    savePlacement();
}
