#include "FindBar.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>

namespace {

QToolButton* button(const QString& text, const QString& tip, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    return b;
}

} // namespace

FindBar::FindBar(QPlainTextEdit* pane, QWidget* parent)
    : QWidget(parent), m_pane(pane)
{
    setObjectName(QStringLiteral("findBar"));
    m_find = new QLineEdit(this);
    m_find->setObjectName(QStringLiteral("findText"));
    m_find->setPlaceholderText(QStringLiteral("Find"));
    m_find->setClearButtonEnabled(true);
    m_replace = new QLineEdit(this);
    m_replace->setObjectName(QStringLiteral("replaceText"));
    m_replace->setPlaceholderText(QStringLiteral("Replace with"));
    // Short captions, so the bar fits the editor's narrow first size.
    m_matchCase = new QCheckBox(QStringLiteral("Case"), this);
    m_matchCase->setToolTip(QStringLiteral("Match case"));
    m_wholeWords = new QCheckBox(QStringLiteral("Words"), this);
    m_wholeWords->setToolTip(QStringLiteral("Whole words only"));
    for (QLineEdit* field : {m_find, m_replace})
        field->setMinimumWidth(60);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("findStatus"));
    QToolButton* previous = button(QStringLiteral("Prev"), QStringLiteral("Previous match (Shift+F3)"), this);
    QToolButton* next = button(QStringLiteral("Next"), QStringLiteral("Next match (F3)"), this);
    QToolButton* closer = button(QStringLiteral("\u2715"), QStringLiteral("Close (Esc)"), this);
    QToolButton* replace = button(QStringLiteral("Replace"), QStringLiteral("Replace this match and find the next"), this);
    QToolButton* all = button(QStringLiteral("All"), QStringLiteral("Replace every match"), this);
    previous->setObjectName(QStringLiteral("findPrevious"));
    next->setObjectName(QStringLiteral("findNext"));
    replace->setObjectName(QStringLiteral("replaceOne"));
    all->setObjectName(QStringLiteral("replaceAll"));

    auto* findRow = new QHBoxLayout;
    findRow->setContentsMargins(0, 0, 0, 0);
    findRow->addWidget(m_find, 1);
    findRow->addWidget(previous);
    findRow->addWidget(next);
    findRow->addWidget(m_matchCase);
    findRow->addWidget(m_wholeWords);
    findRow->addWidget(closer);
    m_replaceRow = new QWidget(this);
    auto* replaceRow = new QHBoxLayout(m_replaceRow);
    replaceRow->setContentsMargins(0, 0, 0, 0);
    replaceRow->addWidget(m_replace, 1);
    replaceRow->addWidget(replace);
    replaceRow->addWidget(all);
    replaceRow->addWidget(m_status);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    layout->addLayout(findRow);
    layout->addWidget(m_replaceRow);

    connect(next, &QToolButton::clicked, this, &FindBar::findNext);
    connect(previous, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(closer, &QToolButton::clicked, this, &FindBar::dismiss);
    connect(replace, &QToolButton::clicked, this, &FindBar::replaceOne);
    connect(all, &QToolButton::clicked, this, &FindBar::replaceAll);
    connect(m_find, &QLineEdit::textChanged, this, [this] {
        m_status->clear();
        m_find->setStyleSheet(QString());
    });
    m_find->installEventFilter(this);
    m_replace->installEventFilter(this);
    hide();
}

void FindBar::open(bool replace)
{
    const QTextCursor cursor = m_pane->textCursor();
    if (cursor.hasSelection() && cursor.block().contains(cursor.selectionStart())
        && cursor.block().contains(cursor.selectionEnd()))
        m_find->setText(cursor.selectedText());
    m_replaceRow->setVisible(replace);
    m_status->clear();
    show();
    m_find->setFocus();
    m_find->selectAll();
}

void FindBar::dismiss()
{
    hide();
    m_pane->setFocus();
}

bool FindBar::replaceShown() const
{
    return isVisible() && m_replaceRow->isVisible();
}

QTextDocument::FindFlags FindBar::flags() const
{
    QTextDocument::FindFlags f;
    if (m_matchCase->isChecked())
        f |= QTextDocument::FindCaseSensitively;
    if (m_wholeWords->isChecked())
        f |= QTextDocument::FindWholeWords;
    return f;
}

void FindBar::showFound(bool found)
{
    m_find->setStyleSheet(found ? QString() : QStringLiteral("QLineEdit { background: rgb(255, 170, 170); }"));
    m_status->setText(found ? QString() : QStringLiteral("Not found"));
}

bool FindBar::find(bool backward)
{
    const QString needle = m_find->text();
    if (needle.isEmpty())
        return false;
    QTextDocument::FindFlags f = flags();
    if (backward)
        f |= QTextDocument::FindBackward;
    QTextDocument* document = m_pane->document();
    QTextCursor found = document->find(needle, m_pane->textCursor(), f);
    if (found.isNull()) {
        // Round the end of the text.
        QTextCursor from(document);
        if (backward)
            from.movePosition(QTextCursor::End);
        found = document->find(needle, from, f);
    }
    showFound(!found.isNull());
    if (found.isNull())
        return false;
    m_pane->setTextCursor(found);
    m_pane->centerCursor();
    return true;
}

bool FindBar::findNext()
{
    return find(false);
}

bool FindBar::findPrevious()
{
    return find(true);
}

bool FindBar::selectionIsMatch() const
{
    const QTextCursor cursor = m_pane->textCursor();
    if (!cursor.hasSelection())
        return false;
    QTextCursor start(m_pane->document());
    start.setPosition(cursor.selectionStart());
    const QTextCursor found = m_pane->document()->find(m_find->text(), start, flags());
    return !found.isNull() && found.selectionStart() == cursor.selectionStart()
        && found.selectionEnd() == cursor.selectionEnd();
}

bool FindBar::replaceOne()
{
    if (m_find->text().isEmpty())
        return false;
    if (selectionIsMatch())
        m_pane->textCursor().insertText(m_replace->text());
    return findNext();
}

int FindBar::replaceAll()
{
    const QString needle = m_find->text();
    if (needle.isEmpty())
        return 0;
    QTextDocument* document = m_pane->document();
    QTextCursor edit(document);
    edit.beginEditBlock();
    int count = 0;
    QTextCursor found = document->find(needle, 0, flags());
    while (!found.isNull()) {
        edit.setPosition(found.selectionStart());
        edit.setPosition(found.selectionEnd(), QTextCursor::KeepAnchor);
        edit.insertText(m_replace->text());
        ++count;
        found = document->find(needle, edit.position(), flags());
    }
    edit.endEditBlock();
    showFound(count > 0);
    if (count > 0)
        m_status->setText(count == 1 ? QStringLiteral("1 replaced") : QStringLiteral("%1 replaced").arg(count));
    return count;
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Escape:
            dismiss();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (watched == m_replace)
                replaceOne();
            else if (key->modifiers() & Qt::ShiftModifier)
                findPrevious();
            else
                findNext();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
