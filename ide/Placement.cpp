#include "ide/Placement.h"

#include "ide/TextFiles.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace {

// Win32 placement flag: the window returns maximised from minimised.
constexpr int WPF_RESTORETOMAXIMIZED = 2;

int clampCoord(qint64 v)
{
    return int(std::clamp<qint64>(v, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

// The available area of the screen that holds most of `rect` (the primary
// screen when none does).
QRect availableAreaFor(const QRect& rect)
{
    QRect best;
    qint64 bestOverlap = -1;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->availableGeometry().intersected(rect);
        const qint64 size = overlap.isEmpty() ? 0 : qint64(overlap.width()) * overlap.height();
        if (size > bestOverlap) {
            bestOverlap = size;
            best = screen->availableGeometry();
        }
    }
    if (bestOverlap <= 0)
        if (const QScreen* primary = QGuiApplication::primaryScreen())
            best = primary->availableGeometry();
    return best;
}

// A window is never larger than the screen area it is on: a damaged profile
// must not make a window of 32767 x 32767 pixels.
QSize fittedSize(const QRect& rect)
{
    const QRect area = availableAreaFor(rect);
    if (area.isEmpty())
        return rect.size();
    return rect.size().boundedTo(area.size());
}

// A rectangle that lies on no screen any more (a monitor was removed, the
// resolution got smaller) is moved onto the primary screen, as Windows does
// with a placement that would leave the window out of sight.
// It is never larger than that screen's area either.
QRect onSomeScreen(QRect rect)
{
    rect.setSize(fittedSize(rect));
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(rect))
            return rect;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        const QRect area = primary->availableGeometry();
        rect.moveTopLeft(QPoint(std::clamp(rect.left(), area.left(), std::max(area.left(), area.right() - rect.width())),
                                std::clamp(rect.top(), area.top(), std::max(area.top(), area.bottom() - rect.height()))));
    }
    return rect;
}

} // namespace

TPlacement::TPlacement(QWidget* owner, const QString& section, const QString& iniFileName)
    : QObject(owner), IniFileName(iniFileName), Section(section), m_owner(owner)
{
    if (Section.isEmpty() && owner)
        Section = owner->objectName();
}

TPlacement::TPlacement(QWidget* owner, const QString& section, ProfileStore* shared)
    : TPlacement(owner, section)
{
    m_shared = shared;
    if (shared)
        IniFileName = shared->path();
}

QString TPlacement::ResolveProfilePath(const QString& iniFileName)
{
    return ProfileStore::resolvePath(iniFileName);
}

QString TPlacement::profilePath() const
{
    return ResolveProfilePath(IniFileName);
}

bool TPlacement::ParseProfileInt(QByteArrayView text, int* value)
{
    const std::optional<int> v = ProfileStore::parseInt(text);
    if (v)
        *value = *v;
    return v.has_value();
}

template <typename Use>
auto TPlacement::withStore(Use use) const
{
    if (m_shared)
        return use(*m_shared);
    ProfileStore own(IniFileName);
    return use(own);
}

void TPlacement::LoadPlacement()
{
    if (IniFileName.isEmpty() || !m_owner)
        return;
    const ProfileStore::WindowPlace place = withStore([this](ProfileStore& store) { return store.windowPlace(Section); });
    // Flags and the minimised and maximised positions have no use on a window
    // that always comes back in its normal state.
    const bool stored = place.flags || place.left || place.top || place.right || place.bottom;
    const qint64 left = place.left.value_or(WLeft);
    const qint64 top = place.top.value_or(WTop);
    const qint64 right = place.right.value_or(WLeft + m_owner->width());
    const qint64 bottom = place.bottom.value_or(WTop + m_owner->height());
    if (right >= left && bottom >= top) {
        m_owner->setWindowState(m_owner->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
        // A zero-sized window could never be found again: keep at least its minimum.
        const QSize least = m_owner->minimumSizeHint().expandedTo(QSize(1, 1));
        const int w = std::max(clampCoord(right - left), least.width());
        const int h = std::max(clampCoord(bottom - top), least.height());
        const QRect rect(clampCoord(left), clampCoord(top), w, h);
        m_owner->setGeometry(stored ? onSomeScreen(rect) : rect);
    }
    if (SaveScroll) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(m_owner)) {
            const QSize client = area->viewport()->size();
            QScrollBar* hs = area->horizontalScrollBar();
            QScrollBar* vs = area->verticalScrollBar();
            hs->setRange(0, std::max(0, int(place.hRange.value_or(client.width() - 2))));
            hs->setValue(int(place.hPos.value_or(0)));
            vs->setRange(0, std::max(0, int(place.vRange.value_or(client.height() - 2))));
            vs->setValue(int(place.vPos.value_or(0)));
        }
    }
}

void TPlacement::StorePlacement()
{
    if (IniFileName.isEmpty() || !m_owner)
        return; // "Unable to retrieve window placement": silent, nothing written
    withStore([this](ProfileStore& store) {
        store.setWindowPlace(Section, currentPlace());
        return 0;
    });
}

ProfileStore::WindowPlace TPlacement::currentPlace() const
{
    QRect normal = m_owner->normalGeometry();
    if (!normal.isValid())
        normal = m_owner->geometry();
    normal.setSize(fittedSize(normal));
    const Qt::WindowStates state = m_owner->windowState();
    const bool maximised = state & Qt::WindowMaximized;
    const QPoint maxPos = maximised ? m_owner->geometry().topLeft() : QPoint(-1, -1);
    ProfileStore::WindowPlace place;
    place.flags = (state & Qt::WindowMinimized) && maximised ? WPF_RESTORETOMAXIMIZED : 0;
    place.minX = place.minY = -1;
    place.maxX = maxPos.x();
    place.maxY = maxPos.y();
    place.left = normal.left();
    place.top = normal.top();
    place.right = qint64(normal.left()) + normal.width();
    place.bottom = qint64(normal.top()) + normal.height();
    if (SaveScroll) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(m_owner)) {
            place.hRange = area->horizontalScrollBar()->maximum();
            place.hPos = area->horizontalScrollBar()->value();
            place.vRange = area->verticalScrollBar()->maximum();
            place.vPos = area->verticalScrollBar()->value();
        }
    }
    return place;
}

QString TPlacement::SavePlacement()
{
    if (IniFileName.isEmpty() || !m_owner)
        return {};
    return withStore([this](ProfileStore& store) {
        store.setWindowPlace(Section, currentPlace());
        return store.save();
    });
}

bool TPlacement::hasStoredPlacement() const
{
    if (IniFileName.isEmpty())
        return false;
    const ProfileStore::WindowPlace place = withStore([this](ProfileStore& store) { return store.windowPlace(Section); });
    return place.left || place.top || place.right || place.bottom;
}

QMargins frameAllowance(const QWidget* window)
{
    const QRect frame = window->frameGeometry(), inner = window->geometry();
    if (frame != inner)
        return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                frame.bottom() - inner.bottom()};
    const int title = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    return {4, std::max(title, 20) + 8, 4, 4};
}

void placeByDefault(QWidget* window, int x, int y)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int left = qBound(area.left(), area.left() + x, qMax(area.left(), area.right() - window->width()));
    const int top = qBound(area.top(), area.top() + y, qMax(area.top(), area.bottom() - window->height()));
    window->move(left, top);
}

QRect outerPlace(const QWidget* window)
{
    // Before the first show a window's position is its frame's.
    if (window->frameGeometry() != window->geometry())
        return window->frameGeometry();
    return QRect(window->pos(), window->size().grownBy(frameAllowance(window)));
}

void keepOnScreen(QWidget* window)
{
    const QMargins frame = frameAllowance(window);
    QRect outer = outerPlace(window);
    const QRect area = availableAreaFor(outer);
    if (area.isEmpty() || area.contains(outer))
        return;
    const QSize size = window->size().boundedTo(area.size().shrunkBy(frame)).expandedTo(window->minimumSize());
    outer.setSize(size.grownBy(frame));
    outer.moveLeft(std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    outer.moveTop(std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    window->resize(size);
    window->move(outer.topLeft());
}

void restoreWindowPlacement(TPlacement* placement)
{
    // Nothing stored: the window keeps its first-start place. Applying it as
    // the inner rectangle would push the title bar above the screen.
    if (!placement->hasStoredPlacement())
        return;
    if (auto* owner = qobject_cast<QWidget*>(placement->parent())) {
        placement->WLeft = owner->x();
        placement->WTop = owner->y();
    }
    placement->LoadPlacement();
}

bool saveWindowPlacement(TPlacement* placement)
{
    const QString error = placement->SavePlacement();
    if (error.isEmpty())
        return true;
    reportError(error);
    return false;
}
