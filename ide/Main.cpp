#include "Main.h"

#include "BuildChain.h"
#include "CodeEditor.h"
#include "Compiler.h"
#include "Cp1250.h"
#include "ListBox.h"
#include "MyVision.h"
#include "Nastavu.h"
#include "Placement.h"
#include "ProgramFolder.h"
#include "RecentFiles.h"
#include "ResultLists.h"
#include "ShellRun.h"
#include "StartUp.h"
#include "TextFiles.h"
#include "TextPane.h"
#include "asembu.h"
#include "editoru.h"
#include "helpu.h"
#include "lstu.h"
#include "skladu.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QStatusBar>
#include <QStyle>
#include <QTime>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace {

const QStringList openFilters = {QStringLiteral("M51 (*.M51)"), QStringLiteral("TXT (*.txt)"),
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

void showAndRaise(QWidget* window)
{
    window->show();
    window->raise();
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), OD1(runOpenDialog), SD1(runSaveDialog), shellRun(ShellRun),
      m_recent(std::make_unique<RecentFiles>())
{
    m_recent->load();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Zelvar v3.0b"));
    setFont(courierFont(13, true));
    resize(812, 267);
    placeByDefault(this, 8, 8);
    buildMenus();
    buildClientArea();
    buildStatusBar();

    BuildChain1 = new TBuildChain(programFolder(), [] { return Ed ? Ed->fileName() : QString(); }, this);
    connect(BuildChain1, &TBuildChain::buildStarted, this, [this] {
        buildStatus->setText(QStringLiteral("Building %1 ...").arg(QFileInfo(Ed->fileName()).fileName()));
    });
    connect(BuildChain1, &TBuildChain::listingReady, this, &TForm1::BuildFinished);
    connect(BuildChain1, &TBuildChain::buildFinished, this, [this](bool ok) {
        // With a second build still running, the status keeps saying so.
        if (BuildChain1->runningBuilds() > 0)
            return;
        const QString at = QLocale().toString(QTime::currentTime(), QLocale::LongFormat);
        buildStatus->setText((ok ? QStringLiteral("Build finished %1") : QStringLiteral("Build failed %1")).arg(at));
    });

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
    auto* client = new QWidget(this);
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

    ProcBox = new ListBox(3, client);
    ProcBox->setObjectName(QStringLiteral("ProcBox"));
    Definebox = new ListBox(1, client);
    Definebox->setObjectName(QStringLiteral("Definebox"));
    InlineBox = new ListBox(1, client);
    InlineBox->setObjectName(QStringLiteral("InlineBox"));
    ErBox = new ListBox(2, client);
    ErBox->setObjectName(QStringLiteral("ErBox"));
    setBackground(ProcBox, QPalette::Base, QColor(0, 128, 0));
    setBackground(Definebox, QPalette::Base, QColor(192, 192, 192));
    setBackground(InlineBox, QPalette::Base, QColor(128, 128, 0));
    setBackground(ErBox, QPalette::Base, QColor(0, 128, 128));
    Definebox->setFixedWidth(136);
    InlineBox->setFixedWidth(136);
    for (ListBox* box : {ProcBox, ErBox, Definebox})
        connect(box, &QListView::doubleClicked, this, [this, box] { ErBoxClick(box); });
    // Each entry tells its line as a tool tip; an error also says why it is listed.
    for (ListBox* box : {ProcBox, Definebox})
        box->setItemDelegate(new ResultEntryDelegate(false, QColor(), box));
    ErBox->setItemDelegate(new ResultEntryDelegate(true, QColor(225, 255, 255), ErBox));

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
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        FormResize();
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormResize()
{
    ErBox->setFixedHeight(centralWidget()->height() / 3);
}

void TForm1::OpenSourceFile(const QString& path)
{
    guarded([&] {
        const QByteArray bytes = readFileBytes(path);
        Aed->hide();
        LST->hide();
        Ed->setText(textFromFileBytes(bytes));
        Ed->setWindowTitle(path);
        showAndRaise(Ed);
        rememberFile(path);
        Nastav->Edit4->setText(path);
        Nastav->SaveSetup();
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
    OpenSourceFile(path);
}

void TForm1::Nov1Click()
{
    showAndRaise(Ed);
    Ed->setText(QString());
    Ed->setWindowTitle(QString());
}

void TForm1::Otevt1Click()
{
    const QString path = OD1(this, m_recent->dialogFolder(Ed->fileName(), programFolder()));
    if (!path.isEmpty())
        OpenSourceFile(QFileInfo(path).absoluteFilePath());
}

void TForm1::UloClick(bool saveAs)
{
    const QString current = Ed->fileName();
    if (!saveAs && !current.isEmpty()) {
        Ed->saveToFile(current);
        return;
    }
    const QFileInfo info(current);
    const QString folder = m_recent->dialogFolder(current, programFolder());
    const QString name = current.isEmpty() ? QString() : info.fileName();
    const QString path = SD1(this, folder, name);
    if (path.isEmpty())
        return;
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    Ed->saveToFile(fullPath);
    Ed->setWindowTitle(fullPath);
    rememberFile(fullPath);
}

void TForm1::Zavt1Click()
{
    Ed->close();
    Aed->hide();
    LST->hide();
}

void TForm1::ZavtZelvar1Click()
{
    close();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Closing the main window ends the program, whatever else is open.
    event->accept();
    QCoreApplication::quit();
}

void TForm1::Kompiluj1Click(bool debug)
{
    guarded([&] {
        if (Nastav->Auto->isChecked())
            UloClick(false);
        showAndRaise(Aed);
        // The compile runs to its end without the event loop; say so.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restoreCursor = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        CompileSource();
        writeAsmFile();
        if (debug)
            startDebugBuild();
    });
}

void TForm1::CompileSource()
{
    const m51::CompileResult result = m51::CompileSource(Ed->lines());
    ProcBox->setLines(result.ProcBox);
    Definebox->setLines(result.Definebox);
    InlineBox->setLines(result.InlineBox);
    ErBox->setLines(result.ErBox);
    Aed->setLines(result.Output);
    Ed->showCompileResult(result.ProcBox, result.ErBox);
}

QString TForm1::asmFileFor(const QString& sourcePath)
{
    // The rule looks only at '.', '/' and '\', which UTF-8 never uses inside a
    // multi-byte character, so any path survives it unchanged.
    return QString::fromStdString(m51::AsmFileName(sourcePath.toStdString()));
}

void TForm1::writeAsmFile()
{
    writeFileBytes(asmFileFor(Ed->fileName()), joinLinesCrLf(Aed->lines()));
}

void TForm1::startDebugBuild()
{
    if (!Nastav->C1->isChecked())
        return;
    const QString error = BuildChain1->RunBatchBuild(BuildChain::ShowModeFromText(Nastav->Edit5->text()));
    if (!error.isEmpty()) {
        if (BuildChain1->runningBuilds() == 0)
            buildStatus->clear();
        reportError(error);
    }
}

void TForm1::BuildFinished(const QString& listing)
{
    guarded([&] {
        showAndRaise(LST);
        LST->loadFile(listing);
    });
}

void TForm1::ErBoxClick(ListBox* box)
{
    if (!box->hasSelection())
        return;
    if (Ed->isHidden())
        Ed->show();
    Ed->raise();
    Ed->activateWindow();
    Ed->M->setFocus();
    const std::string first = MyVision::ExtractField(' ', cp1250::encode(box->selectedText()), 1);
    const double number = std::trunc(MyVision::TextToNumber(first));
    const int line = number > 0 && number < double(std::numeric_limits<int>::max()) ? int(number) : 0;
    Ed->GoToLine(line);
}

void TForm1::T1Click(int k)
{
    shellRun(Nastav->toolCommand(k));
}

void TForm1::Sklad1Click()
{
    showAndRaise(Sklad);
}

void TForm1::Vnitn1Click()
{
    Nastav->exec();
}

void TForm1::Help1Click()
{
    showAndRaise(Help);
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
