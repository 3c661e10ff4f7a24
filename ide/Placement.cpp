#include "Placement.h"

#include "ProfileFile.h"
#include "TextFiles.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
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

QString TPlacement::ResolveProfilePath(const QString& iniFileName)
{
    if (iniFileName.isEmpty() || QFileInfo(iniFileName).isAbsolute())
        return iniFileName;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + iniFileName;
}

QString TPlacement::profilePath() const
{
    return ResolveProfilePath(IniFileName);
}

bool TPlacement::ParseProfileInt(QByteArrayView text, int* value)
{
    QByteArrayView t = text.trimmed();
    bool negative = false;
    if (!t.isEmpty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t = t.sliced(1);
    }
    int base = 10;
    if (t.startsWith("0x") || t.startsWith("0X")) {
        base = 16;
        t = t.sliced(2);
    } else if (t.startsWith('$')) {
        base = 16;
        t = t.sliced(1);
    }
    if (t.isEmpty() || t.size() > 10)
        return false;
    quint64 v = 0;
    for (char c : t) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * base + d;
    }
    qint64 result;
    if (base == 16) {
        // Hexadecimal spells the 32 bits, so $FFFFFFFF is -1 as on Windows.
        if (v > 0xFFFFFFFFull)
            return false;
        result = qint32(quint32(v));
    } else {
        if (v > 0x80000000ull || (!negative && v == 0x80000000ull))
            return false;
        result = qint64(v);
    }
    *value = int(negative ? -result : result);
    return true;
}

void TPlacement::LoadPlacement()
{
    if (IniFileName.isEmpty() || !m_owner)
        return;
    TProfileFile file;
    file.load(profilePath());
    const QByteArray section = Section.toUtf8();
    bool stored = false;
    auto read = [&](const char* key, int def) {
        int v;
        if (!ParseProfileInt(file.GetPrivateProfileString(section, key), &v))
            return def;
        stored = true;
        return v;
    };
    // Flags and the minimised and maximised positions have no use on a window
    // that always comes back in its normal state; they are read for symmetry.
    read("PlaceFlags", 0);
    const qint64 left = read("PlaceNormPosL", WLeft);
    const qint64 top = read("PlaceNormPosT", WTop);
    const qint64 right = read("PlaceNormPosR", WLeft + m_owner->width());
    const qint64 bottom = read("PlaceNormPosB", WTop + m_owner->height());
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
            hs->setRange(0, std::max(0, read("pcHR", client.width() - 2)));
            hs->setValue(read("pcHP", 0));
            vs->setRange(0, std::max(0, read("pcVR", client.height() - 2)));
            vs->setValue(read("pcVP", 0));
        }
    }
}

bool TPlacement::SavePlacement()
{
    m_lastError.clear();
    if (IniFileName.isEmpty())
        return true;
    if (!m_owner)
        return true; // "Unable to retrieve window placement": silent, nothing written
    QRect normal = m_owner->normalGeometry();
    if (!normal.isValid())
        normal = m_owner->geometry();
    normal.setSize(fittedSize(normal));
    const Qt::WindowStates state = m_owner->windowState();
    const bool maximised = state & Qt::WindowMaximized;
    const int flags = (state & Qt::WindowMinimized) && maximised ? WPF_RESTORETOMAXIMIZED : 0;
    const QPoint maxPos = maximised ? m_owner->geometry().topLeft() : QPoint(-1, -1);

    const QString path = profilePath();
    TProfileFile file;
    file.load(path);
    const QByteArray section = Section.toUtf8();
    auto write = [&](const char* key, qint64 v) {
        file.WritePrivateProfileString(section, key, QByteArray::number(v));
    };
    write("PlaceFlags", flags);
    write("PlaceMinPosX", -1);
    write("PlaceMinPosY", -1);
    write("PlaceMaxPosX", maxPos.x());
    write("PlaceMaxPosY", maxPos.y());
    write("PlaceNormPosL", normal.left());
    write("PlaceNormPosT", normal.top());
    write("PlaceNormPosR", qint64(normal.left()) + normal.width());
    write("PlaceNormPosB", qint64(normal.top()) + normal.height());
    if (SaveScroll) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(m_owner)) {
            write("pcHR", area->horizontalScrollBar()->maximum());
            write("pcHP", area->horizontalScrollBar()->value());
            write("pcVR", area->verticalScrollBar()->maximum());
            write("pcVP", area->verticalScrollBar()->value());
        }
    }
    if (!file.save(path)) {
        m_lastError = QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

bool TPlacement::hasStoredPlacement() const
{
    if (IniFileName.isEmpty())
        return false;
    TProfileFile file;
    file.load(profilePath());
    const QByteArray section = Section.toUtf8();
    int v;
    for (const char* key : {"PlaceNormPosL", "PlaceNormPosT", "PlaceNormPosR", "PlaceNormPosB"})
        if (ParseProfileInt(file.GetPrivateProfileString(section, key), &v))
            return true;
    return false;
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
    if (placement->SavePlacement())
        return true;
    reportError(placement->lastError());
    return false;
}
