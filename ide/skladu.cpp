#include "ide/skladu.h"

#include "ide/Placement.h"
#include "common/FileWriteQt.h"
#include "ide/TextFiles.h"

#include <utility>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The pane's lines; an empty pane has none.
QStringList paneLines(const QPlainTextEdit* pane)
{
    const QString text = pane->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// Text before the first "." with bytes of code 32 or below trimmed, as the
// snippet name is cut.
QString namePart(const QString& typed)
{
    const QString head = typed.section(QLatin1Char('.'), 0, 0);
    qsizetype from = 0, to = head.size();
    while (from < to && head[from].unicode() <= 32)
        ++from;
    while (to > from && head[to - 1].unicode() <= 32)
        --to;
    return head.mid(from, to - from);
}

bool holdsFolder(const QString& name)
{
    return name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'));
}

} // namespace

void InsertLinesAt(QPlainTextEdit* editor, int index, const QStringList& lines)
{
    if (!editor || lines.isEmpty())
        return;
    QTextDocument* doc = editor->document();
    const QTextCursor caret = editor->textCursor();
    const int anchor = caret.anchor(), position = caret.position();
    QTextCursor c(doc);
    c.beginEditBlock();
    const QString block = lines.join(QLatin1Char('\n'));
    if (doc->isEmpty()) {
        c.insertText(block);
    } else if (index >= 0 && index < doc->blockCount()) {
        c.setPosition(doc->findBlockByNumber(index).position());
        c.insertText(block + QLatin1Char('\n'));
    } else {
        c.movePosition(QTextCursor::End);
        c.insertText(QLatin1Char('\n') + block);
    }
    c.endEditBlock();
    // The lines land after the caret's line, so the caret's place is unchanged.
    QTextCursor restored(doc);
    restored.setPosition(std::min(anchor, doc->characterCount() - 1));
    restored.setPosition(std::min(position, doc->characterCount() - 1), QTextCursor::KeepAnchor);
    editor->setTextCursor(restored);
}

TSklad::TSklad(const QString& programFolder, QWidget* parent, ProfileStore* profile)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Sklad"));
    setWindowTitle(QStringLiteral("Macro"));
    resize(625, 355);

    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(41);
    panel->setAutoFillBackground(true);
    QPalette pp = panel->palette();
    pp.setColor(QPalette::Window, QColor(178, 178, 178));
    panel->setPalette(pp);

    auto makeButton = [panel](const char* name, const QString& caption, const QString& hint) {
        auto* b = new QToolButton(panel);
        b->setObjectName(QLatin1String(name));
        b->setText(caption);
        b->setToolTip(hint);
        b->setAutoRaise(true);
        return b;
    };
    SpeedButton1 = makeButton("SpeedButton1", QStringLiteral("Insert to *.M51"), QStringLiteral("Vlož do programu"));
    Edit1 = new QLineEdit(panel);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFixedWidth(135);
    SpeedButton2 = makeButton("SpeedButton2", QStringLiteral("Save Macro"), QStringLiteral("Ulož do skladu pod názvem"));
    SpeedButton3 = makeButton("SpeedButton3", QStringLiteral("Delete Macro"), QStringLiteral("Vymazat soubor ze skladu"));
    auto* top = new QHBoxLayout(panel);
    top->setContentsMargins(4, 2, 4, 2);
    top->addWidget(SpeedButton1);
    top->addWidget(Edit1);
    top->addWidget(SpeedButton2);
    top->addWidget(SpeedButton3);
    top->addStretch();

    M = new QPlainTextEdit(this);
    M->setObjectName(QStringLiteral("M"));
    M->setLineWrapMode(QPlainTextEdit::NoWrap);
    M->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    M->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setBold(true);
    mono.setPixelSize(16);
    M->setFont(mono);
    QPalette mp = M->palette();
    mp.setColor(QPalette::Base, QColor(107, 107, 107));
    mp.setColor(QPalette::Text, Qt::yellow);
    M->setPalette(mp);

    FB = new QListWidget(this);
    FB->setObjectName(QStringLiteral("FB"));
    FB->setFixedWidth(145);
    QPalette fp = FB->palette();
    fp.setColor(QPalette::Base, QColor(194, 211, 194));
    FB->setPalette(fp);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(M, 1);
    body->addWidget(FB);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(panel);
    outer->addLayout(body, 1);

    // The pane loads on a click (or Enter), never while the selection merely
    // moves: an arrow key must not replace the text being written.
    connect(FB, &QListWidget::itemClicked, this, &TSklad::FBClick);
    connect(FB, &QListWidget::itemActivated, this, &TSklad::FBClick);
    connect(SpeedButton1, &QToolButton::clicked, this, &TSklad::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TSklad::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TSklad::SpeedButton3Click);

    // FormCreate
    PL1 = new TPlacement(this, QStringLiteral("Sklad"), profile);
    // Until a placement is stored, the store opens right of the main window.
    placeByDefault(this, 830, 8);
    restoreWindowPlacement(PL1);
    m_storeFolder = programFolder + QStringLiteral("/Macro");
    QDir().mkpath(m_storeFolder);
    refreshList();
}

TSklad::~TSklad()
{
    (void)FormDestroy();  // a closing window has no one left to tell
}

QString TSklad::FormDestroy()
{
    if (m_placementSaved)
        return {};
    m_placementSaved = true;
    return PL1->SavePlacement();
}

void TSklad::keepPlacement()
{
    if (std::exchange(m_placementSaved, true))
        return;
    PL1->StorePlacement();
}

void TSklad::setEditor(QPlainTextEdit* editor, std::function<int()> caretLine)
{
    m_editor = editor;
    m_insert = nullptr;
    m_caretLine = std::move(caretLine);
}

void TSklad::setEditor(Inserter insert, std::function<int()> caretLine)
{
    m_editor = nullptr;
    m_insert = std::move(insert);
    m_caretLine = std::move(caretLine);
}

bool TSklad::message(const QString& text, const QString& caption, bool okCancel)
{
    if (m_messageBox)
        return m_messageBox(this, text, caption, okCancel);
    const auto buttons = okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
    return QMessageBox(okCancel ? QMessageBox::Question : QMessageBox::Warning, caption, text, buttons, this).exec() ==
           QMessageBox::Ok;
}

void TSklad::refreshList()
{
    const QString selected = FB->currentItem() ? FB->currentItem()->text() : QString();
    const QSignalBlocker quiet(FB);
    FB->clear();
    QFileIconProvider icons;
    const QDir dir(m_storeFolder);
    // The mask "*.Mac" matches without regard to letter case, as it does on Windows.
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*.Mac")}, QDir::Files | QDir::Hidden, QDir::Name)) {
        auto* item = new QListWidgetItem(icons.icon(info), info.fileName(), FB);
        if (info.fileName() == selected)
            FB->setCurrentItem(item);
    }
}

void TSklad::FBClick()
{
    const QListWidgetItem* item = FB->currentItem();
    if (!item)
        return;
    if (M->document()->isModified() && !M->toPlainText().isEmpty()
        && !message(QStringLiteral("Replace the edited text in the pane with %1?").arg(item->text()),
                    QStringLiteral("Macro"), true))
        return;
    const QString path = m_storeFolder + QLatin1Char('/') + item->text();
    const FileRead file = readFileBytes(path);
    if (!file.ok()) {
        message(file.error, QStringLiteral("Zelvar"), false);
        return;
    }
    // Plain text lines: CR LF, LF or a lone CR end a line; a final break adds no empty line.
    M->setPlainText(textFromFileBytes(file.bytes));
    M->document()->setModified(false);
    Edit1->setText(item->text());
}

void TSklad::SpeedButton1Click()
{
    if (m_insert) {
        m_insert(m_caretLine ? m_caretLine() : 0, paneLines(M));
        return;
    }
    if (!m_editor)
        return;
    const int k = m_caretLine ? m_caretLine() : m_editor->textCursor().blockNumber() + 1;
    InsertLinesAt(m_editor, k, paneLines(M));
}

void TSklad::SpeedButton2Click()
{
    const QString name = namePart(Edit1->text());
    // A name that is empty once cut, or that points into another folder, is no snippet name.
    if (Edit1->text().isEmpty() || name.isEmpty() || holdsFolder(name)) {
        message(QStringLiteral("Zadej jméno *.Mac"), QStringLiteral("Chyba"), false);
        return;
    }
    Edit1->setText(name + QStringLiteral(".Mac"));
    const QString path = m_storeFolder + QLatin1Char('/') + Edit1->text();
    if (QFileInfo::exists(path) && !message(QStringLiteral("Přepsat existující soubor?"), QStringLiteral("Dotaz"), true)) {
        refreshList();
        return;
    }
    const QByteArray bytes = fileBytesFromText(M->toPlainText());
    const QString reason = m51::writeFileAtomically(path, bytes);
    if (!reason.isEmpty()) {
        message(FileError::cannotCreate(path, reason), QStringLiteral("Zelvar"), false);
        return;
    }
    M->document()->setModified(false);
    refreshList();
    const QList<QListWidgetItem*> found = FB->findItems(Edit1->text(), Qt::MatchExactly);
    if (!found.isEmpty()) {
        const QSignalBlocker quiet(FB);
        FB->setCurrentItem(found.front());
    }
}

void TSklad::SpeedButton3Click()
{
    const QString name = Edit1->text();
    // Exactly as typed, and only a file of the store itself.
    if (!name.isEmpty() && !holdsFolder(name) && name != QLatin1String("..")) {
        const QString path = m_storeFolder + QLatin1Char('/') + name;
        if (QFileInfo(path).isFile())
            QFile::remove(path);
    }
    refreshList();
}
