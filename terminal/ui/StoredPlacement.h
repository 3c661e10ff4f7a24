#pragma once
// The window placement of a top-level window on its screen, kept in the
// terminal's store by the rules of Storage.h.

#include "terminal/Storage.h"

#include <QSize>

class QWidget;

// TStoredPlacement: the window placement of one top-level window, saved when
// it closes and restored when it is shown, in one group of the store.
class TStoredPlacement {
public:
    // The window's size now is its normal size until it has been shown normal.
    explicit TStoredPlacement(QWidget* window);
    void restore(const QSettings& store, const QString& group);
    // Does nothing until restore has run once.
    void save(QSettings& store, const QString& group, bool destroying) const;
    bool restored() const { return m_restored; }

private:
    QWidget* m_window;
    QSize m_designedSize;
    bool m_restored = false;
};
