#include "Main.h"

#include "CodeEditor.h"
#include "ListBox.h"
#include "Nastavu.h"
#include "Placement.h"
#include "ProgramFolder.h"
#include "RecentFiles.h"
#include "ResultLists.h"
#include "Session.h"
#include "ShellRun.h"
#include "TextFiles.h"
#include "TextPane.h"
#include "WindowSet.h"
#include "asembu.h"
#include "editoru.h"
#include "helpu.h"
#include "lstu.h"
#include "skladu.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QScopeGuard>
#include <QStatusBar>
#include <QStyle>
#include <QTime>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QStringList openFilters = {QStringLiteral("M51 (*.M51)"), QStringLiteral("Assembly (*.asm *.a51 *.ASM *.A51)"),
                                 QStringLiteral("TXT (*.txt)"),
                                 QStringLiteral("*.* (*)")};
const QStringList saveFilters = {QStringLiteral("M51 (*.M51)"), QStringLiteral("TXT (*.TXT)"),
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

// Runs a command; a file error ends it and goes to the error handler.
template <typename Command>
void guarded(Command command)
{
    try {
        command();
    } catch (const FileError& error) {
        reportError(error.message());
    }
}

void setBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, role, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
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
      m_recent(std::make_unique<RecentFiles>())
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

    PL1 = new TPlacement(this, QStringLiteral("Form1"));
    restorePlacement();
    FormResize();
}

TForm1::~TForm1() = default;

void TForm1::buildStatusBar()
{
    // The build's progress: "Building ..." while the script runs, then when it
    // ended and whether it succeeded.
    statusBar()->setFont(QApplication::font("QStatusBar"));
    statusBar()->setSizeGripEnabled(true);
    buildStatus = new QLabel(statusBar());
    buildStatus->setObjectName(QStringLiteral("buildStatus"));
    statusBar()->addWidget(buildStatus, 1);
    modifiedStatus = new QLabel(QStringLiteral("Modified"), statusBar());
    modifiedStatus->setObjectName(QStringLiteral("modifiedStatus"));
    modifiedStatus->hide();
    statusBar()->addPermanentWidget(modifiedStatus);
}

void TForm1::showModified(bool modified)
{
    modifiedStatus->setVisible(modified);
    setWindowTitle(modified ? MainCaption + QStringLiteral(" - ") + m_session.displayName() + QStringLiteral(" (modified)")
                            : MainCaption);
}

void TForm1::layOutTools()
{
    const Setup& setup = m_session.setup();
    QString counted;
    for (int k = 1; k <= 6; ++k)
        counted += setup.toolCommand(k);
    for (int k = 1; k <= 3; ++k)
        counted += setup.toolCaption(k);
    Panel1->setVisible(!counted.isEmpty());

    const QFontMetrics metrics(font());
    int left = 5;
    for (int k = 1; k <= 7; ++k) {
        QToolButton* button = toolButton(k);
        const QString caption = setup.toolCaption(k);
        const int width = caption.isEmpty() ? 10 : metrics.horizontalAdvance(caption) + 10;
        button->setText(caption);
        button->setGeometry(left, 6, width, 22);
        button->setVisible(k == 1 || !caption.isEmpty());
        button->setToolTip(setup.toolCommand(k));
        left += width + 5;
    }
}

void TForm1::buildMenus()
{
    // Menus keep the desktop's menu font; the window's Courier font is for the
    // lists and the tool buttons.
    menuBar()->setFont(QApplication::font("QMenuBar"));
    QStyle* look = style();
    Soubor1 = menuBar()->addMenu(QStringLiteral("File"));
    Soubor1->setFont(QApplication::font("QMenu"));
    Nov1 = Soubor1->addAction(look->standardIcon(QStyle::SP_FileIcon), QStringLiteral("New"));
    Otevt1 = Soubor1->addAction(look->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("Open"));
    Ulo = Soubor1->addAction(look->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Save"));
    Uloitjako1 = Soubor1->addAction(QStringLiteral("Save As"));
    Zavt1 = Soubor1->addAction(look->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Close File"));
    QAction* separator = Soubor1->addSeparator();
    ZavtZelvar1 = Soubor1->addAction(look->standardIcon(QStyle::SP_TitleBarCloseButton), QStringLiteral("Close Zelvar"));
    // The recent sources follow the items of old, which keep their places.
    Soubor1->addSeparator();
    recentMenu = Soubor1->addMenu(QStringLiteral("Recent files"));
    recentMenu->setObjectName(QStringLiteral("recentMenu"));
    recentMenu->setToolTipsVisible(true);
    connect(recentMenu, &QMenu::aboutToShow, this, &TForm1::fillRecentMenu);
    Kontroluj1 = menuBar()->addAction(QStringLiteral("Check"));
    Kompiluj1 = menuBar()->addAction(QStringLiteral("Debug"));
    Sklad1 = menuBar()->addAction(QStringLiteral("Macro"));
    Vnitn1 = menuBar()->addAction(QStringLiteral("Setup"));
    Help1 = menuBar()->addAction(QStringLiteral("Help"));
    // Each menu entry carries its item name, as every control of the window does.
    Soubor1->setObjectName(QStringLiteral("Soubor1"));
    const std::pair<QAction*, const char*> names[] = {
        {Nov1, "Nov1"}, {Otevt1, "Otevt1"}, {Ulo, "Ulo"}, {Uloitjako1, "Uloitjako1"}, {Zavt1, "Zavt1"},
        {separator, "N1"}, {ZavtZelvar1, "ZavtZelvar1"}, {Kontroluj1, "Kontroluj1"}, {Kompiluj1, "Kompiluj1"},
        {Sklad1, "Sklad1"}, {Vnitn1, "Vnitn1"}, {Help1, "Help1"}};
    for (const auto& [action, name] : names)
        action->setObjectName(QLatin1String(name));

    // The commands work from every window of the program.
    const std::pair<QAction*, QKeySequence> keys[] = {
        {Nov1, QKeySequence::New},          {Otevt1, QKeySequence::Open},
        {Ulo, QKeySequence::Save},          {Uloitjako1, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {Kontroluj1, QKeySequence(Qt::Key_F9)}, {Kompiluj1, QKeySequence(Qt::CTRL | Qt::Key_F9)},
        {Help1, QKeySequence(Qt::Key_F1)}};
    for (const auto& [action, key] : keys) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
    }

    connect(Nov1, &QAction::triggered, this, &TForm1::Nov1Click);
    connect(Otevt1, &QAction::triggered, this, &TForm1::Otevt1Click);
    connect(Ulo, &QAction::triggered, this, [this] { guarded([this] { UloClick(false); }); });
    connect(Uloitjako1, &QAction::triggered, this, [this] { guarded([this] { UloClick(true); }); });
    connect(Zavt1, &QAction::triggered, this, &TForm1::Zavt1Click);
    connect(ZavtZelvar1, &QAction::triggered, this, &TForm1::ZavtZelvar1Click);
    connect(Kontroluj1, &QAction::triggered, this, [this] { Kompiluj1Click(false); });
    connect(Kompiluj1, &QAction::triggered, this, [this] { Kompiluj1Click(true); });
    connect(Sklad1, &QAction::triggered, this, &TForm1::Sklad1Click);
    connect(Vnitn1, &QAction::triggered, this, &TForm1::Vnitn1Click);
    connect(Help1, &QAction::triggered, this, &TForm1::Help1Click);
}

void TForm1::buildClientArea()
{
    auto* client = m_lists = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    client->installEventFilter(this);

    Panel1 = new QWidget(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(33);
    setBackground(Panel1, QPalette::Window, QColor(146, 210, 222));
    QToolButton** buttons[] = {&T1, &T2, &T3, &T4, &T5, &T6, &T7};
    for (int k = 1; k <= 7; ++k) {
        auto* button = new QToolButton(Panel1);
        button->setObjectName(QStringLiteral("T%1").arg(k));
        button->setAutoRaise(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setGeometry(5 + (k - 1) * 15, 6, 10, 22);
        connect(button, &QToolButton::clicked, this, [this, k] { T1Click(k); });
        *buttons[k - 1] = button;
    }

    const QString line = QStringLiteral("Line");
    ProcBox = new ListBox({line, QStringLiteral("Procedure")}, client);
    ProcBox->setObjectName(QStringLiteral("ProcBox"));
    Definebox = new ListBox({line, QStringLiteral("Name")}, client);
    Definebox->setObjectName(QStringLiteral("Definebox"));
    InlineBox = new ListBox({line, QStringLiteral("Block")}, client);
    InlineBox->setObjectName(QStringLiteral("InlineBox"));
    // An error's entry and its reason get the list's whole width.
    ErBox = new ListBox({line, QStringLiteral("Entry"), QStringLiteral("Reason")}, client);
    ErBox->setObjectName(QStringLiteral("ErBox"));
    setBackground(ProcBox, QPalette::Base, QColor(0, 128, 0));
    setBackground(Definebox, QPalette::Base, QColor(192, 192, 192));
    setBackground(InlineBox, QPalette::Base, QColor(128, 128, 0));
    setBackground(ErBox, QPalette::Base, QColor(0, 128, 128));
    // Narrow lists: a name is cut at the edge (its tool tip holds all of it).
    for (ListBox* box : {Definebox, InlineBox}) {
        box->setFixedWidth(200);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    for (ListBox* box : {ProcBox, ErBox, Definebox, InlineBox})
        connect(box, &QAbstractItemView::doubleClicked, this, [this, box] { ErBoxClick(box); });

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    middle->addWidget(withHeading(QStringLiteral("Procedures"), ProcBox, QColor(0, 128, 0)), 1);
    middle->addWidget(withHeading(QStringLiteral("Definitions"), Definebox, QColor(192, 192, 192)));
    middle->addWidget(withHeading(QStringLiteral("Inline blocks"), InlineBox, QColor(128, 128, 0)));
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addLayout(middle, 1);
    layout->addWidget(withHeading(QStringLiteral("Errors"), ErBox, QColor(0, 128, 128)));
}

QToolButton* TForm1::toolButton(int k) const
{
    QToolButton* const buttons[] = {T1, T2, T3, T4, T5, T6, T7};
    return k >= 1 && k <= 7 ? buttons[k - 1] : nullptr;
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
    guarded([&] {
        const QString text = m_session.document().open(path);
        TEd* editor = m_windows.editor;
        m_windows.assembly->hide();
        m_windows.listing->hide();
        editor->setText(text);
        editor->M->setModified(false);
        showAndRaise(editor);
        m_session.fileWasOpened(path);
        // The lists and the status told of the file before.
        clearResults();
    });
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
    if (maySetTextAside())
        OpenSourceFile(path);
}

bool TForm1::maySetTextAside()
{
    if (!m_session.isModified())
        return true;
    const QString file = m_session.currentFile().isEmpty() ? m_session.displayName()
                                                            : QDir::toNativeSeparators(m_session.currentFile());
    switch (askSaveChanges(this, file)) {
    case QMessageBox::Save: {
        bool saved = false;
        guarded([&] { saved = UloClick(false); });
        return saved;
    }
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void TForm1::Nov1Click()
{
    if (!maySetTextAside())
        return;
    TEd* editor = m_windows.editor;
    showAndRaise(editor);
    editor->setText(QString());
    editor->M->setModified(false);
    m_session.document().reset();
    clearResults();
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
    guarded([&] {
        TEd* editor = m_windows.editor;
        const int line = editor->M->caretLine();
        editor->setText(m_session.document().reload());
        editor->M->setModified(false);
        editor->M->goToLine(qMin(line, editor->M->lines() - 1));
        clearResults();
    });
}

void TForm1::Otevt1Click()
{
    if (!maySetTextAside())
        return;
    const QString path = OD1(this, m_recent->dialogFolder(m_session.currentFile(), programFolder()));
    if (!path.isEmpty())
        OpenSourceFile(QFileInfo(path).absoluteFilePath());
}

bool TForm1::UloClick(bool saveAs)
{
    TEd* editor = m_windows.editor;
    const QString current = m_session.currentFile();
    if (!saveAs && !current.isEmpty()) {
        m_session.document().save(current, editor->text());
        editor->M->setModified(false);
        return true;
    }
    const QFileInfo info(current);
    const QString folder = m_recent->dialogFolder(current, programFolder());
    const QString name = current.isEmpty() ? QString() : info.fileName();
    const QString path = SD1(this, folder, name);
    if (path.isEmpty())
        return false;
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    m_session.document().save(fullPath, editor->text());
    editor->M->setModified(false);
    rememberFile(fullPath);
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
    guarded([&] {
        // The generated files lie beside the source, so an untitled text gets
        // its name first.
        if (m_session.currentFile().isEmpty()) {
            if (!UloClick(true))
                return;
        } else if (m_session.setup().autosave()) {
            UloClick(false);
        }
        // The compile runs to its end without the event loop; say so.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        m_session.compile(m_windows.editor->lines());
        if (debug)
            startDebugBuild();
    });
}

void TForm1::showCompileResult()
{
    const m51::CompileResult& result = m_session.lastResult();
    ProcBox->setEntries(result.ProcBox);
    Definebox->setEntries(result.Definebox);
    InlineBox->setEntries(result.InlineBox);
    showDiagnostics();
    // The status bar tells the result of this command, not an earlier build's.
    buildStatus->clear();
    statusBar()->showMessage(m_session.outcome());
}

void TForm1::showDiagnostics()
{
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
    Ed->M->setFocus();
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
