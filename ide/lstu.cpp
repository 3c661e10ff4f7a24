#include "lstu.h"

#include "LineHighlighter.h"
#include "Placement.h"
#include "TextPane.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

TLST::TLST(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("LST"));
    setWindowTitle(QStringLiteral("LST"));
    resize(487, 300);
    placeByDefault(this, 941, 330);
    M = new QPlainTextEdit(this);
    M->setObjectName(QStringLiteral("M"));
    styleTextPane(M, QColor(194, 211, 194), QColor(0, 0, 0), courierFont(13, true));
    new Asm51Highlighter(M);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(M);
    PL = new TPlacement(this, QStringLiteral("LST"));
    restorePlacement();
}

void TLST::loadFile(const QString& path)
{
    loadPaneFile(M, path);
}

void TLST::restorePlacement()
{
    restoreWindowPlacement(PL);
}

void TLST::savePlacement()
{
    saveWindowPlacement(PL);
}

void TLST::FormDestroy()
{
    savePlacement();
}
