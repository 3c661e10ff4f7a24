#include "ide/FindBar.h"

#include "ide/CodeEditor.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
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

FindBar::FindBar(CodeEditor* pane, QWidget* parent)
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
    m_regex = new QCheckBox(QStringLiteral("Regex"), this);
    m_regex->setToolTip(QStringLiteral("The text is a regular expression; \\1 in the replacement is its first group"));
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
    findRow->addWidget(m_regex);
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
    int lineFrom = 0, indexFrom = 0, lineTo = 0, indexTo = 0;
    m_pane->getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
    if (m_pane->hasSelectedText() && lineFrom == lineTo)
        m_find->setText(m_pane->selectedText());
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
    // From the selection's start backwards, from its end forwards, round the
    // end of the text.
    int lineFrom = -1, indexFrom = -1, lineTo = -1, indexTo = -1;
    int line = -1, index = -1;
    if (m_pane->hasSelectedText()) {
        m_pane->getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
        line = backward ? lineFrom : lineTo;
        index = backward ? indexFrom : indexTo;
    } else {
        m_pane->getCursorPosition(&line, &index);
    }
    const bool found = m_pane->findFirst(needle, m_regex->isChecked(), m_matchCase->isChecked(),
                                         m_wholeWords->isChecked(), true, !backward, line, index, true, false, true);
    showFound(found);
    if (found) {
        int caretLine = 0, caretIndex = 0;
        m_pane->getSelection(&caretLine, &caretIndex, &lineTo, &indexTo);
        m_pane->centreLine(caretLine);
    }
    return found;
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
    if (!m_pane->hasSelectedText())
        return false;
    const QString selected = m_pane->selectedText();
    const auto cs = m_matchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (!m_regex->isChecked())
        return selected.compare(m_find->text(), cs) == 0;
    QRegularExpression pattern(QRegularExpression::anchoredPattern(m_find->text()),
                               m_matchCase->isChecked() ? QRegularExpression::NoPatternOption
                                                        : QRegularExpression::CaseInsensitiveOption);
    return pattern.match(selected).hasMatch();
}

bool FindBar::replaceOne()
{
    if (m_find->text().isEmpty())
        return false;
    if (selectionIsMatch()) {
        // The component replaces the match it found last: find the selected one.
        int lineFrom = 0, indexFrom = 0, lineTo = 0, indexTo = 0;
        m_pane->getSelection(&lineFrom, &indexFrom, &lineTo, &indexTo);
        if (m_pane->findFirst(m_find->text(), m_regex->isChecked(), m_matchCase->isChecked(),
                              m_wholeWords->isChecked(), false, true, lineFrom, indexFrom, true, false, true))
            m_pane->replace(m_replace->text());
    }
    return findNext();
}

int FindBar::replaceAll()
{
    const QString needle = m_find->text();
    if (needle.isEmpty())
        return 0;
    // A pattern that matches the empty text would replace forever.
    if (m_regex->isChecked() && QRegularExpression(needle).match(QString()).hasMatch()) {
        showFound(false);
        m_status->setText(QStringLiteral("Matches the empty text"));
        return 0;
    }
    int line = 0, index = 0;
    m_pane->getCursorPosition(&line, &index);
    m_pane->beginUndoAction();
    int count = 0;
    bool found = m_pane->findFirst(needle, m_regex->isChecked(), m_matchCase->isChecked(), m_wholeWords->isChecked(),
                                   false, true, 0, 0, false, false, true);
    while (found) {
        m_pane->replace(m_replace->text());
        ++count;
        found = m_pane->findNext();
    }
    m_pane->endUndoAction();
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
