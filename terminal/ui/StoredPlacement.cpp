#include "terminal/ui/StoredPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
QScreen* screenOf(const QWidget* window)
{
    QScreen* screen = window->screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}
}  // namespace

TStoredPlacement::TStoredPlacement(QWidget* window) : m_window(window), m_designedSize(window->size()) {}

void TStoredPlacement::restore(const QSettings& store, const QString& group)
{
    m_restored = true;
    QScreen* screen = screenOf(m_window);
    const QSize screenSize = screen ? screen->geometry().size() : QSize();
    const int ppi = screen ? qRound(screen->logicalDotsPerInch()) : 96;
    const QRect current = m_window->isMaximized() || m_window->isMinimized() ? m_window->normalGeometry()
                                                                              : m_window->geometry();
    const TPlacementRestore r = RestorePlacement(store, group, screenSize, ppi, current);
    if (r.ApplyRect) {
        QRect rect = r.Normal;
        // Keep the window reachable on a smaller screen than it was saved on.
        if (screen && !screen->availableGeometry().intersects(rect))
            rect.moveTopLeft(screen->availableGeometry().topLeft());
        m_window->setGeometry(rect);
    }
    m_window->setWindowState(r.State);
}

void TStoredPlacement::save(QSettings& store, const QString& group, bool destroying) const
{
    if (!m_restored)
        return;
    QScreen* screen = screenOf(m_window);
    TPlacement p;
    p.ShowCmd = m_window->isMinimized() ? 2 : m_window->isMaximized() ? 3 : 1;
    p.PixelsPerInch = screen ? qRound(screen->logicalDotsPerInch()) : 96;
    p.Normal = m_window->isMaximized() || m_window->isMinimized() ? m_window->normalGeometry() : m_window->geometry();
    // A window maximized since its start has no normal rectangle yet.
    if (!p.Normal.isValid())
        p.Normal = QRect(m_window->geometry().topLeft(), m_designedSize);
    SavePlacement(store, group, p, screen ? screen->geometry().size() : QSize(), destroying);
}
