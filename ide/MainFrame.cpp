// The main window's frame: its menus, the tool bar of the setup's buttons,
// the four result lists and the status bar. The commands behind them are in
// Main.cpp.

#include "ide/Main.h"

#include "ide/CProjectDialog.h"
#include "ide/ListBox.h"
#include "ide/ResultLists.h"
#include "ide/Session.h"
#include "ide/TextFiles.h"
#include "ide/WindowSet.h"
#include "ide/editoru.h"
#include "toolchain/AssemblyProject.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

void setBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, role, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

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
    // Every entry of the menu bar has its Alt key (an underlined letter).
    // Menus keep the desktop's menu font; the window's Courier font is for the
    // lists and the tool buttons.
    menuBar()->setFont(QApplication::font("QMenuBar"));
    QStyle* look = style();
    Soubor1 = menuBar()->addMenu(QStringLiteral("&File"));
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
    // A C program's project file (after the items of old, which keep their places).
    QAction* project = Soubor1->addAction(QStringLiteral("C Project…"));
    project->setObjectName(QStringLiteral("cProject"));
    connect(project, &QAction::triggered, this, [this] {
        const QString source = m_session.currentFile();
        if (source.isEmpty()) {
            statusBar()->showMessage(QStringLiteral("Open or save a C source first: the project lies in its folder"));
            return;
        }
        CProjectDialog dialog(source, this);
        if (dialog.exec() == QDialog::Accepted)
            statusBar()->showMessage(QStringLiteral("Saved %1").arg(QDir::toNativeSeparators(dialog.projectPath())));
    });
    // The dialect an assembly source is written in, kept in its project file
    // (NAME.a51proj, toolchain/AssemblyProject.h) and read by every build of it.
    QMenu* dialects = Soubor1->addMenu(QStringLiteral("Assembly dialect"));
    dialects->setObjectName(QStringLiteral("assemblyDialect"));
    auto* dialectGroup = new QActionGroup(dialects);
    const std::pair<m51asm::Dialect, const char*> dialectNames[] = {
        {m51asm::Dialect::Auto, "By the source (as31 where it has dot directives, else ASM51)"},
        {m51asm::Dialect::Asm51, "ASM51 (Intel, Metalink, ASEM-51)"},
        {m51asm::Dialect::Keil, "Keil A51"},
        {m51asm::Dialect::As31, "as31"}};
    for (const auto& [dialect, caption] : dialectNames) {
        QAction* choice = dialects->addAction(QLatin1String(caption));
        choice->setCheckable(true);
        choice->setData(int(dialect));
        dialectGroup->addAction(choice);
    }
    const auto sourceBytes = [this] {
        std::string bytes;
        for (const std::string& line : m_windows.editor->lines())
            bytes += line + "\r\n";
        return bytes;
    };
    connect(dialects, &QMenu::aboutToShow, this, [this, dialects, sourceBytes] {
        const QString source = m_session.currentFile();
        const bool assembly = !source.isEmpty() && m_session.isAssemblySource();
        const m51asm::Dialect dialect =
            assembly ? toolchain::AssemblyProjectFor(source.toStdString(), sourceBytes()).dialect : m51asm::Dialect::Auto;
        for (QAction* choice : dialects->actions()) {
            choice->setEnabled(assembly);
            choice->setChecked(choice->data().toInt() == int(dialect));
        }
    });
    connect(dialectGroup, &QActionGroup::triggered, this, [this, sourceBytes](QAction* choice) {
        std::string projectPath;
        const std::string why = toolchain::SaveDialect(m_session.currentFile().toStdString(), sourceBytes(),
                                                       m51asm::Dialect(choice->data().toInt()), projectPath);
        const QString file = QDir::toNativeSeparators(QString::fromStdString(projectPath));
        statusBar()->showMessage(why.empty() ? QStringLiteral("The dialect is kept in %1").arg(file)
                                             : QStringLiteral("Cannot write %1: %2").arg(file, QString::fromStdString(why)));
    });
    Kontroluj1 = menuBar()->addAction(QStringLiteral("&Check"));
    Kompiluj1 = menuBar()->addAction(QStringLiteral("&Debug"));
    Sklad1 = menuBar()->addAction(QStringLiteral("&Macro"));
    Vnitn1 = menuBar()->addAction(QStringLiteral("&Setup"));
    Help1 = menuBar()->addAction(QStringLiteral("&Help"));
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
        {Help1, QKeySequence(Qt::Key_F1)},   {ZavtZelvar1, QKeySequence(Qt::CTRL | Qt::Key_Q)}};
    for (const auto& [action, key] : keys) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
    }

    connect(Nov1, &QAction::triggered, this, &TForm1::Nov1Click);
    connect(Otevt1, &QAction::triggered, this, &TForm1::Otevt1Click);
    connect(Ulo, &QAction::triggered, this, [this] { UloClick(false); });
    connect(Uloitjako1, &QAction::triggered, this, [this] { UloClick(true); });
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


void TForm1::addProblems(const QStringList& messages)
{
    std::vector<ResultRow> rows = ErBox->rows();
    // A build's errors are listed already, on their lines ("FILE:LINE: TEXT" ends with the row's TEXT).
    for (const QString& message : messages)
        if (std::none_of(rows.begin(), rows.end(), [&](const ResultRow& row) { return !row.text.isEmpty() && message.endsWith(row.text); }))
            rows.push_back({-1, message, {}});
    ErBox->setRows(std::move(rows));
    if (messages.size() == 1)
        statusBar()->showMessage(messages.front());
    else if (messages.size() > 1)
        statusBar()->showMessage(QStringLiteral("%1 (and %2 more in the error list)").arg(messages.front()).arg(messages.size() - 1));
}
