#include "ide/WindowLayout.h"

#include "ide/Main.h"
#include "ide/Placement.h"
#include "ide/ProfileStore.h"
#include "ide/WindowSet.h"
#include "ide/asembu.h"
#include "ide/editoru.h"
#include "ide/lstu.h"

#include <QAction>
#include <QPointer>
#include <QDockWidget>
#include <QTabBar>
#include <QEvent>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScreen>
#include <QLayout>
#include <QTimer>

namespace {

struct Default {
    Qt::DockWidgetArea area;
    Qt::Orientation orientation;  // beside the docks already in the area
};

// Separate windows: the main window's height with the simulator's docks
// (buttons, registers and flags whole), the least height a window below it
// keeps when it moves down for them, and the least width of the simulator's
// dock on a narrow screen.
constexpr int kDocksHeight = 420;
constexpr int kLowestWindow = 240;
constexpr int kNarrowestSimulator = 260;
// Separate windows on a screen this tall or taller: the simulator's panes
// lie in three rows of tabs (memory, code, what the run tells), one under
// the other beside the simulator, and the main window takes this height for
// its docks so that each row shows a useful part of its pane. On a lower
// screen they share one row of tabs.
constexpr int kScreenForPaneRows = 900;
constexpr int kDocksHeightWithRows = 600;
constexpr int kPaneRowWidth = 500;

bool IsPaneGroup(WindowLayout::Group group)
{
    using G = WindowLayout::Group;
    return group == G::Panes || group == G::CodePanes || group == G::InsightPanes;
}

// Separate windows: the simulator beside the lists, its panes beside it.
// One window: the lists under the editor, ASM and LST right of it with the
// memory and code panes below them, the simulator left of it with the panes
// of what the run tells (profile, watch, board, serial port) below it.
Default DefaultPlace(WindowLayout::Kind kind, WindowLayout::Group group)
{
    using G = WindowLayout::Group;
    if (kind == WindowLayout::Kind::Separate)
        return {Qt::RightDockWidgetArea, Qt::Horizontal};
    switch (group) {
    case G::Lists: return {Qt::BottomDockWidgetArea, Qt::Horizontal};
    case G::Code: return {Qt::RightDockWidgetArea, Qt::Vertical};
    case G::Simulator: return {Qt::LeftDockWidgetArea, Qt::Vertical};
    case G::Panes:
    case G::CodePanes: return {Qt::RightDockWidgetArea, Qt::Vertical};
    case G::InsightPanes: return {Qt::LeftDockWidgetArea, Qt::Vertical};  // under the simulator's groups
    }
    return {Qt::RightDockWidgetArea, Qt::Vertical};
}

QMargins FrameMargins(const QWidget* window)
{
    const QRect frame = window->frameGeometry(), inner = window->geometry();
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

QByteArray placeText(const QWidget* window)
{
    const QRect r = window->normalGeometry().isValid() ? window->normalGeometry() : window->geometry();
    return QByteArray::number(r.left()) + ' ' + QByteArray::number(r.top()) + ' ' + QByteArray::number(r.width()) +
           ' ' + QByteArray::number(r.height()) + ' ' + (window->isMaximized() ? '1' : '0');
}

QRect AvailableArea(const QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

WindowLayout::WindowLayout(const WindowSet& windows, ProfileStore* profile)
    : QObject(windows.main), m_windows(windows), m_main(windows.main), m_profile(profile)
{
    m_main->setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks | QMainWindow::AllowNestedDocks);
    // Docks beside the editor reach down to the bottom; the lists lie under the editor only.
    m_main->setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    m_main->setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
    m_viewMenu = m_main->menuBar()->addMenu(QStringLiteral("&View"));
    m_viewMenu->setObjectName(QStringLiteral("menuView"));
    m_viewMenu->setFont(QApplication::font("QMenu"));
    m_oneWindow = m_viewMenu->addAction(QStringLiteral("One window"));
    m_oneWindow->setObjectName(QStringLiteral("actionOneWindow"));
    m_oneWindow->setCheckable(true);
    m_oneWindow->setStatusTip(QStringLiteral("The editor, the lists, ASM, LST and the simulator in the main window"));
    connect(m_oneWindow, &QAction::toggled, this, [this](bool one) { setKind(one ? Kind::OneWindow : Kind::Separate); });
    m_panesSeparator = m_viewMenu->addSeparator();
    m_panesSeparator->setVisible(false);
    m_separatePlace = m_main->geometry();
}

WindowLayout::~WindowLayout() = default;

QDockWidget* WindowLayout::dock(const QString& id) const
{
    const auto it = m_docks.find(id);
    return it == m_docks.end() ? nullptr : it->second;
}

QDockWidget* WindowLayout::makeDock(const QString& id, const QString& title, Group group)
{
    auto* dock = new QDockWidget(title, m_main);
    dock->setObjectName(QStringLiteral("dock_") + id);
    m_docks[id] = dock;
    m_groups[id] = group;
    m_viewMenu->addAction(dock->toggleViewAction());
    m_panesSeparator->setVisible(true);
    m_order.push_back(id);
    connect(dock, &QObject::destroyed, this, [this, id] {
        m_docks.erase(id);
        m_defaultPlaced.erase(id);
        m_groups.erase(id);
        std::erase(m_order, id);
    });
    return dock;
}

QDockWidget* WindowLayout::addDock(const QString& id, const QString& title, QWidget* widget, Group group)
{
    QDockWidget* dock = makeDock(id, title, group);
    dock->setWidget(widget);
    if (m_main->restoreDockWidget(dock)) {
        m_defaultPlaced.erase(id);
    } else {
        placeDock(dock, group);
        m_defaultPlaced[id] = true;
    }
    return dock;
}

// The first dock of the same group gets this one as a tab; else the group's
// area takes it beside what is there; the simulator's panes in One window go
// under ASM and LST, in separate windows all into one row of tabs.
void WindowLayout::placeDock(QDockWidget* dock, Group group)
{
    auto firstOf = [&](Group g) -> QDockWidget* {
        for (const QString& id : m_order) {
            QDockWidget* other = m_docks[id];
            if (m_groups[id] == g && other != dock && !other->isFloating() && !m_unplaced.count(id) &&
                m_main->dockWidgetArea(other) != Qt::NoDockWidgetArea)
                return other;
        }
        return nullptr;
    };
    if (QDockWidget* first = firstOf(group); first && group != Group::Simulator) {
        m_main->tabifyDockWidget(first, dock);
        keepTabTitlesWhole();
        return;
    }
    // Separate windows: where the screen is tall enough, memory and code are
    // rows beside the simulator and what the run tells a row under the lists;
    // else every pane shares one row of tabs.
    if (IsPaneGroup(group) && m_kind == Kind::Separate) {
        if (paneRows()) {
            placeRow(dock, group, firstOf(Group::Panes) ? firstOf(Group::Panes) : firstOf(Group::CodePanes));
            return;
        }
        for (Group other : {Group::Panes, Group::CodePanes, Group::InsightPanes})
            if (QDockWidget* first = firstOf(other)) {
                m_main->tabifyDockWidget(first, dock);
                keepTabTitlesWhole();
                return;
            }
    }
    // One window: each group of panes is a row of its own in its area
    // (a split beside a tabbed dock would only add a tab).
    const Default place = DefaultPlace(m_kind, group);
    m_main->addDockWidget(place.area, dock, place.orientation);
    sizeByDefault(dock, group);
}

// The editor keeps the most room: the lists under it a third of the height
// at most, the docks beside it what their contents need.
void WindowLayout::sizeByDefault(QDockWidget* dock, Group group)
{
    if (group == Group::Lists)
        m_main->resizeDocks({dock}, {std::min(240, m_main->height() / 3)}, Qt::Vertical);
    else
        m_main->resizeDocks({dock}, {group == Group::Simulator ? 430 : 420}, Qt::Horizontal);
}

bool WindowLayout::paneRows() const
{
    return m_kind == Kind::Separate && AvailableArea(m_main).height() >= kScreenForPaneRows;
}

// Separate windows: the panes that got no stored place go into their rows,
// the first pane of each group under the one of the group before while no
// row holds tabs yet (a split beside a tabbed dock would only add a tab),
// then the other panes as tabs of their group's row.
void WindowLayout::placePaneRows()
{
    if (!paneRows())
        return;
    const bool arranging = std::exchange(m_arranging, true);
    const auto done = qScopeGuard([this, arranging] { m_arranging = arranging; });
    std::vector<QString> panes;
    for (const QString& id : m_order)
        if (IsPaneGroup(m_groups[id]) && m_defaultPlaced.count(id) && m_defaultPlaced[id] && !m_docks[id]->isFloating())
            panes.push_back(id);
    if (panes.size() < 2)
        return;
    for (const QString& id : panes)
        m_main->removeDockWidget(m_docks[id]);
    std::map<Group, QDockWidget*> rows;
    for (Group group : {Group::Panes, Group::CodePanes, Group::InsightPanes})
        for (const QString& id : panes) {
            if (m_groups[id] != group)
                continue;
            const auto memory = rows.find(Group::Panes);
            placeRow(m_docks[id], group, memory != rows.end() ? memory->second : nullptr);
            rows[group] = m_docks[id];
            break;
        }
    for (const QString& id : panes)
        if (QDockWidget* first = rows[m_groups[id]]; first != m_docks[id])
            m_main->tabifyDockWidget(first, m_docks[id]);
    m_rowFirsts.clear();
    for (const auto& [group, first] : rows)
        m_rowFirsts.emplace_back(first);
    keepTabTitlesWhole();
}

// The first pane of a group as its row: what the run tells under the lists,
// the code under the memory row (`above`) or else beside the simulator.
void WindowLayout::placeRow(QDockWidget* dock, Group group, QDockWidget* above)
{
    if (group == Group::InsightPanes)
        m_main->addDockWidget(Qt::BottomDockWidgetArea, dock, Qt::Horizontal);
    else if (above && above != dock)
        m_main->splitDockWidget(above, dock, Qt::Vertical);
    else
        m_main->addDockWidget(Qt::RightDockWidgetArea, dock, Qt::Horizontal);
}

// The rows of panes share the docks' height evenly.
void WindowLayout::evenPaneRows()
{
    if (!paneRows())
        return;
    QList<QDockWidget*> rows;
    for (Group group : {Group::Panes, Group::CodePanes, Group::InsightPanes})
        for (const QString& id : m_order) {
            QDockWidget* d = m_docks[id];
            if (m_groups[id] == group && !d->isHidden() && !d->isFloating() &&
                m_main->dockWidgetArea(d) != Qt::NoDockWidgetArea) {
                rows.push_back(d);
                break;
            }
        }
    const int height = m_main->height() - m_main->menuBar()->height();
    QList<QDockWidget*> beside;
    for (QDockWidget* row : rows) {
        if (m_main->dockWidgetArea(row) == Qt::BottomDockWidgetArea)
            m_main->resizeDocks({row}, {height * 9 / 20}, Qt::Vertical);
        else
            beside.push_back(row);
    }
    if (beside.size() > 1)
        m_main->resizeDocks(beside, QList<int>(beside.size(), height / static_cast<int>(beside.size())), Qt::Vertical);
    // Wide enough for a memory row of sixteen bytes; the lists give way.
    if (!beside.empty())
        m_main->resizeDocks({beside.front()}, {kPaneRowWidth}, Qt::Horizontal);
}

void WindowLayout::showDefaultPlacedDocks()
{
    for (auto& [id, waiting] : m_defaultPlaced) {
        QDockWidget* d = dock(id);
        if (!waiting || !d)
            continue;
        waiting = false;
        d->show();
    }
    // Each row of panes opens on its first pane (internal RAM, the disassembly).
    for (const QPointer<QDockWidget>& first : std::exchange(m_rowFirsts, {}))
        if (first)
            first->raise();
}

void WindowLayout::placeAllByDefault()
{
    const bool arranging = std::exchange(m_arranging, true);
    const auto done = qScopeGuard([this, arranging] { m_arranging = arranging; });
    // All out first, so that each group finds only its own kind placed before it.
    std::vector<QString> shown;
    for (const QString& id : m_order)
        if (!m_docks[id]->isHidden())
            shown.push_back(id);
    for (const QString& id : shown) {
        m_docks[id]->setFloating(false);
        m_main->removeDockWidget(m_docks[id]);
        m_unplaced.insert(id);
    }
    for (Group group : {Group::Lists, Group::Code, Group::Simulator, Group::Panes, Group::CodePanes, Group::InsightPanes})
        for (const QString& id : shown) {
            if (m_groups[id] != group)
                continue;
            placeDock(m_docks[id], group);
            m_unplaced.erase(id);
            m_docks[id]->show();
        }
    // Sizes once the main window has its new size.
    QTimer::singleShot(0, this, [this, shown] {
        for (const QString& id : shown)
            if (QDockWidget* d = dock(id); d && !d->isHidden() && !d->isFloating())
                sizeByDefault(d, m_groups[id]);
        evenPaneRows();
    });
}

void WindowLayout::makeRoomForDocks()
{
    if (m_kind != Kind::Separate)
        return;
    placePaneRows();
    const QRect area = AvailableArea(m_main);
    const QMargins frame = FrameMargins(m_main);
    QRect rect = m_main->geometry();
    rect.setRight(area.right() - frame.right());
    // Once the docks are shown and count in the main window's width.
    QTimer::singleShot(0, this, [this, width = rect.width()] {
        fitDocksToWidth(width);
        evenPaneRows();
    });
    // The window manager may give the main window its new height later; the
    // rows share it once it has.
    QTimer::singleShot(300, this, &WindowLayout::evenPaneRows);
    // The docks need this much height for the buttons, the registers and the
    // flags. The editor, ASM and LST below the main window move down to make
    // it (smaller where need be, never off the screen); the main window then
    // reaches down to the highest of them, else to a height the simulator's
    // groups fit in.
    const int docksHeight = paneRows() ? kDocksHeightWithRows : kDocksHeight;
    const int needed = rect.top() + docksHeight;
    int bottom = std::min(area.bottom() - frame.bottom(), rect.top() + std::max(640, docksHeight));
    int below = area.bottom() + 1;
    for (QWidget* window : {static_cast<QWidget*>(m_windows.editor), static_cast<QWidget*>(m_windows.assembly),
                            static_cast<QWidget*>(m_windows.listing)}) {
        if (!window || !window->isWindow())
            continue;
        QRect place = outerPlace(window);
        if (place.top() <= rect.top() || place.left() > rect.right() || place.right() < rect.left())
            continue;
        if (place.top() < needed + frame.bottom() + 6) {
            const QMargins own = frameAllowance(window);
            const int top = needed + frame.bottom() + 6;
            const int height = std::max(kLowestWindow, std::min(window->height(), area.bottom() + 1 - top - own.top() - own.bottom()));
            window->resize(window->width(), height);
            window->move(place.left(), top);
            place = outerPlace(window);
        }
        below = std::min(below, place.top());
    }
    if (below <= area.bottom())
        bottom = below - frame.bottom() - 6;
    rect.setBottom(std::max(rect.bottom(), bottom));
    m_main->setGeometry(rect);
}

// On a narrow screen the simulator's dock gives up width (its groups scroll)
// so that the lists, it and the panes beside it fit across the screen.
void WindowLayout::fitDocksToWidth(int width)
{
    QDockWidget* simulator = dock(QStringLiteral("simulator"));
    QWidget* groups = simulator ? simulator->widget() : nullptr;
    if (!groups)
        return;
    const int wanted = groups->property("wantedMinimumWidth").isValid() ? groups->property("wantedMinimumWidth").toInt()
                                                                         : groups->minimumWidth();
    groups->setProperty("wantedMinimumWidth", wanted);
    groups->setMinimumWidth(wanted);
    const int excess = m_main->minimumSizeHint().width() - width;
    if (excess <= 0)
        return;
    groups->setMinimumWidth(std::max(kNarrowestSimulator, wanted - excess));
    // The dock's and the window's least sizes follow at once.
    simulator->layout()->activate();
    m_main->layout()->invalidate();
    m_main->layout()->activate();
    m_main->resize(std::min(m_main->width(), width), m_main->height());
}

void WindowLayout::setKind(Kind kind)
{
    switchTo(kind, true);
}

// `remember`: the layout left keeps its docks' places (at start-up it has
// none yet, and keeps the stored ones).
void WindowLayout::switchTo(Kind kind, bool remember)
{
    if (kind == m_kind)
        return;
    const bool arranging = std::exchange(m_arranging, true);
    const auto done = qScopeGuard([this, arranging] { m_arranging = arranging; });
    if (remember)
        m_states[m_kind] = m_main->saveState();
    if (m_kind == Kind::OneWindow)
        m_onePlace = placeText(m_main);
    else
        m_separatePlace = m_main->normalGeometry().isValid() ? m_main->normalGeometry() : m_main->geometry();
    m_kind = kind;
    if (kind == Kind::OneWindow)
        toOneWindow();
    else
        toSeparateWindows(true);
    const QByteArray& state = m_states[kind];
    if (state.isEmpty() || !m_main->restoreState(state))
        placeAllByDefault();
    keepTabTitlesWhole();
    // ASM and LST are shown when their window would be.
    for (QWidget* content : {static_cast<QWidget*>(m_windows.assembly), static_cast<QWidget*>(m_windows.listing)})
        if (QDockWidget* d = content ? qobject_cast<QDockWidget*>(content->parentWidget()) : nullptr)
            d->setVisible(!content->isHidden());
    // The lists, ASM and LST docks are there in One window only.
    for (const char* id : {"lists", "asm", "lst"})
        if (QDockWidget* d = dock(QLatin1String(id))) {
            d->toggleViewAction()->setVisible(kind == Kind::OneWindow);
            if (kind == Kind::Separate)
                d->hide();
        }
    m_main->setFileInTitle(kind == Kind::OneWindow);
    const QSignalBlocker quiet(m_oneWindow);
    m_oneWindow->setChecked(kind == Kind::OneWindow);
    emit kindChanged(kind);
}

void WindowLayout::toOneWindow()
{
    const std::pair<QWidget*, const char*> viewers[] = {{m_windows.assembly, "asm"}, {m_windows.listing, "lst"}};
    for (QWidget* window : {static_cast<QWidget*>(m_windows.editor), viewers[0].first, viewers[1].first})
        if (window)
            m_places[window] = {window->normalGeometry().isValid() ? window->normalGeometry() : window->geometry(),
                                !window->isHidden(), window->windowFlags()};
    // The lists leave the middle to the editor.
    QWidget* lists = m_main->takeCentralWidget();
    QDockWidget* listsDock = dock(QStringLiteral("lists"));
    if (!listsDock) {
        listsDock = makeDock(QStringLiteral("lists"), QStringLiteral("Lists"), Group::Lists);
        placeDock(listsDock, Group::Lists);
    }
    listsDock->setWidget(lists);
    lists->show();
    listsDock->show();
    if (m_windows.editor) {
        m_main->setCentralWidget(m_windows.editor);
        m_windows.editor->show();
    }
    for (const auto& [window, id] : viewers) {
        if (!window)
            continue;
        QDockWidget* d = dock(QLatin1String(id));
        if (!d) {
            d = makeDock(QLatin1String(id), window->windowTitle(), Group::Code);
            placeDock(d, Group::Code);
            window->installEventFilter(this);
            // Closing the dock hides its window, so that the window's own
            // show (after a Check, a build) brings the dock back.
            connect(d, &QDockWidget::visibilityChanged, window, [this, d, window](bool) {
                if (!m_arranging && d->isHidden() && window->parentWidget() == d)
                    window->hide();
            });
        }
        const bool visible = m_places[window].visible;
        d->setWidget(window);
        window->setVisible(visible);
        d->setVisible(visible);
    }
    const QRect area = AvailableArea(m_main).marginsRemoved(FrameMargins(m_main));
    // "left top width height maximised", as the main window was left in One
    // window; kept on the screen it is on now.
    const QList<QByteArray> v = m_onePlace.split(' ');
    QRect place = area;
    if (v.size() == 5) {
        const QRect stored(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
        if (stored.isValid() && stored.intersects(area))
            place = QRect(stored.topLeft(), stored.size().boundedTo(area.size()));
    }
    m_main->setGeometry(place);
    // A window manager may keep the old size while the window's contents
    // change; it is asked once more when they have.
    QTimer::singleShot(0, m_main, [this, place] {
        if (m_kind == Kind::OneWindow && !m_main->isMaximized() && m_main->geometry() != place)
            m_main->setGeometry(place);
    });
    if (v.size() == 5 && v[4] == "1")
        m_main->setWindowState(m_main->windowState() | Qt::WindowMaximized);
}

void WindowLayout::toSeparateWindows(bool show)
{
    QWidget* editor = m_main->centralWidget() == m_windows.editor ? m_main->takeCentralWidget() : nullptr;
    if (QDockWidget* listsDock = dock(QStringLiteral("lists")); listsDock && listsDock->widget()) {
        QWidget* lists = listsDock->widget();
        m_main->setCentralWidget(lists);
        lists->show();
        listsDock->hide();
    }
    for (QWidget* window : {static_cast<QWidget*>(m_windows.assembly), static_cast<QWidget*>(m_windows.listing), editor}) {
        if (!window)
            continue;
        auto* d = qobject_cast<QDockWidget*>(window->parentWidget());
        const bool visible = window == editor || (d && !d->isHidden() && !window->isHidden());
        const auto it = m_places.find(window);
        window->setParent(nullptr, it != m_places.end() ? it->second.flags : Qt::Window);
        if (it != m_places.end())
            window->setGeometry(it->second.geometry);
        if (d)
            d->hide();
        window->setVisible(show && visible);
    }
    m_main->setGeometry(m_separatePlace);
}

bool WindowLayout::eventFilter(QObject* watched, QEvent* event)
{
    // ASM and LST, shown or hidden by their own commands, take their dock along.
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) {
        auto* window = static_cast<QWidget*>(watched);
        if (auto* d = qobject_cast<QDockWidget*>(window->parentWidget())) {
            d->setVisible(event->type() == QEvent::ShowToParent);
            if (event->type() == QEvent::ShowToParent)
                d->raise();
        }
    }
    return QObject::eventFilter(watched, event);
}

void WindowLayout::restore()
{
    const ProfileStore::DockLayout stored = m_profile ? m_profile->dockLayout() : ProfileStore::DockLayout();
    m_states[Kind::Separate] = stored.separateState;
    m_states[Kind::OneWindow] = stored.oneWindowState;
    m_onePlace = stored.onePlace;
    m_separatePlace = m_main->geometry();
    // Docks made later (the simulator's, at a debug start) take their places from this.
    if (!m_states[Kind::Separate].isEmpty())
        m_main->restoreState(m_states[Kind::Separate]);
    keepTabTitlesWhole();
    if (stored.oneWindow)
        switchTo(Kind::OneWindow, false);
}

bool WindowLayout::save()
{
    keep();
    return !m_profile || m_profile->save().isEmpty();
}

void WindowLayout::keep()
{
    if (!m_profile)
        return;
    m_states[m_kind] = m_main->saveState();
    if (m_kind == Kind::OneWindow) {
        m_onePlace = placeText(m_main);
        toSeparateWindows(false);
    }
    m_profile->setDockLayout({m_kind == Kind::OneWindow, m_states[Kind::Separate], m_states[Kind::OneWindow], m_onePlace});
}

// Tabbed docks show their whole titles ("Internal RAM", "Interrupts") and
// scroll, rather than cutting them to "Inte…". The main window makes its tab
// bars as it lays the docks out, so this looks once that is done.
void WindowLayout::keepTabTitlesWhole()
{
    QTimer::singleShot(0, m_main, [main = m_main] {
        for (QTabBar* bar : main->findChildren<QTabBar*>(Qt::FindDirectChildrenOnly)) {
            bar->setElideMode(Qt::ElideNone);
            bar->setUsesScrollButtons(true);
        }
    });
}
