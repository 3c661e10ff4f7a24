#include "terminal/ui/ReceiveFindBar.h"

#include "common/Cp1250.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

TFindBar::TFindBar(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    auto* label = new QLabel(QStringLiteral("Find:"), this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("FindEdit"));
    label->setBuddy(m_edit);
    m_next = new QPushButton(QStringLiteral("Next"), this);
    m_next->setObjectName(QStringLiteral("FindNextBtn"));
    m_next->setToolTip(QStringLiteral("Find the next place (Enter, F3)"));
    m_previous = new QPushButton(QStringLiteral("Previous"), this);
    m_previous->setObjectName(QStringLiteral("FindPreviousBtn"));
    m_previous->setToolTip(QStringLiteral("Find the place before (Shift+Enter, Shift+F3)"));
    m_case = new QCheckBox(QStringLiteral("Match case"), this);
    m_case->setObjectName(QStringLiteral("FindCaseBox"));
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("FindNote"));
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("\u00d7"));
    close->setToolTip(QStringLiteral("Close the find bar (Esc)"));
    close->setAutoRaise(true);
    row->addWidget(label);
    row->addWidget(m_edit, 1);
    row->addWidget(m_next);
    row->addWidget(m_previous);
    row->addWidget(m_case);
    row->addWidget(m_note);
    row->addWidget(close);

    connect(m_next, &QPushButton::clicked, this, [this] { request(true); });
    connect(m_previous, &QPushButton::clicked, this, [this] { request(false); });
    connect(m_edit, &QLineEdit::returnPressed, this,
            [this] { request(!(QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)); });
    connect(m_edit, &QLineEdit::textChanged, m_note, &QLabel::clear);
    connect(close, &QToolButton::clicked, this, [this] {
        hide();
        emit closed();
    });
    auto* f3 = new QShortcut(QKeySequence(Qt::Key_F3), parent ? parent->window() : this);
    connect(f3, &QShortcut::activated, this, [this] { request(true); });
    auto* shiftF3 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), parent ? parent->window() : this);
    connect(shiftF3, &QShortcut::activated, this, [this] { request(false); });
}

void TFindBar::open()
{
    // The clear button's icon comes from the icon theme, a search that costs
    // a tenth of the program's start: it is made when the bar first opens.
    m_edit->setClearButtonEnabled(true);
    show();
    m_edit->setFocus();
    m_edit->selectAll();
}

QString TFindBar::text() const
{
    return m_edit->text();
}

void TFindBar::request(bool forward)
{
    if (m_edit->text().isEmpty()) {
        open();
        return;
    }
    emit findRequested(TFindQuery{cp1250::encodeBytes(m_edit->text()), m_case->isChecked(), forward});
}

void TFindBar::showResult(const std::optional<TFindHit>& hit)
{
    m_note->setText(!hit          ? QStringLiteral("Not found")
                    : hit->Wrapped ? QStringLiteral("Went round the end")
                                   : QString());
    m_edit->setStyleSheet(hit ? QString() : QStringLiteral("QLineEdit { background: #fcc; }"));
}

void TFindBar::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        hide();
        emit closed();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
