#include "ide/helpu.h"

#include "ide/RtfCodec.h"
#include "ide/TextFiles.h"
#include "ide/Placement.h"
#include "ide/TextPane.h"

#include <QShortcut>
#include <QTextEdit>
#include <QVBoxLayout>

THelp::THelp(const QString& helpFile, QWidget* parent, ProfileStore* profile)
    : QWidget(parent, Qt::Window), m_helpFile(helpFile)
{
    setObjectName(QStringLiteral("Help"));
    setWindowTitle(QStringLiteral("Help"));
    resize(775, 540);
    placeByDefault(this, 120, 80);
    RTF = new QTextEdit(this);
    RTF->setObjectName(QStringLiteral("RTF"));
    RTF->setAcceptRichText(true);
    RTF->setLineWrapMode(QTextEdit::WidgetWidth);
    RTF->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    RTF->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = RTF->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Base, QColor(128, 128, 0));
    RTF->setPalette(palette);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RTF);
    connect(RTF, &QTextEdit::textChanged, this, &THelp::RTFChange);
    // Esc closes Help, as it closes a dialog.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    PL = new TPlacement(this, QStringLiteral("Help"), profile);
    FormCreate();
}

void THelp::FormCreate()
{
    // A missing or unreadable help file leaves the text empty.
    if (const FileRead file = readFileBytes(m_helpFile); file.ok()) {
        // A help file that is not rich text is shown as plain text, so that
        // editing it does not silently drop what it held.
        if (!readRtf(file.bytes, RTF->document()))
            RTF->setPlainText(textFromFileBytes(file.bytes));
    }
    RTF->document()->setModified(false);
    RTF->moveCursor(QTextCursor::Start);
    HelpChanged = false;
    restorePlacement();
}

void THelp::RTFChange()
{
    HelpChanged = true;
}

bool THelp::saveText()
{
    if (!HelpChanged)
        return true;
    if (const QString error = writeFileBytes(m_helpFile, writeRtf(RTF->document())); !error.isEmpty()) {
        reportError(error);
        return false;
    }
    HelpChanged = false;
    return true;
}

void THelp::FormDestroy()
{
    if (saveText())
        savePlacement();
}

void THelp::restorePlacement()
{
    restoreWindowPlacement(PL);
}

void THelp::savePlacement()
{
    saveWindowPlacement(PL);
}
