#include "ResultLists.h"

#include "ErrorReasons.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>

int entryLine(QStringView entry)
{
    const qsizetype blank = entry.indexOf(QLatin1Char(' '));
    bool ok = false;
    const int line = entry.left(blank < 0 ? entry.size() : blank).toInt(&ok);
    return ok && line >= 0 ? line : -1;
}

QStringView entryText(QStringView entry)
{
    const qsizetype blank = entry.indexOf(QLatin1Char(' '));
    return blank < 0 ? QStringView() : entry.mid(blank + 1);
}

QString errorReason(QStringView text)
{
    // The compiler's own words, which m51c prints too; the entry texts it
    // matches are plain ASCII.
    const QByteArray entry = text.toLatin1();
    const std::string_view reason = m51::ErrorReason(std::string_view(entry.constData(), size_t(entry.size())));
    return QString::fromLatin1(reason.data(), qsizetype(reason.size()));
}

QString ResultEntryDelegate::reasonFor(int row, QStringView entry) const
{
    return row < m_compilerRows ? errorReason(entryText(entry)) : QStringLiteral("message of the assembler (Debug)");
}

ResultEntryDelegate::ResultEntryDelegate(bool reasons, const QColor& reasonColour, QObject* parent)
    : QStyledItemDelegate(parent), m_reasons(reasons), m_reasonColour(reasonColour)
{
}

void ResultEntryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (!m_reasons)
        return;
    const QString entry = index.data().toString();
    if (entryLine(entry) < 0)
        return;
    // The reason follows the entry's text, in a lighter colour, cut to the cell.
    const QFontMetrics metrics(option.font);
    const int textWidth = metrics.horizontalAdvance(entry);
    QRect area = option.rect.adjusted(textWidth + 6 + metrics.horizontalAdvance(QLatin1Char(' ')) * 2, 0, -2, 0);
    if (area.width() <= metrics.horizontalAdvance(QStringLiteral("...")))
        return;
    QFont font = option.font;
    font.setBold(false);
    font.setItalic(true);
    painter->save();
    painter->setFont(font);
    painter->setPen(option.state & QStyle::State_Selected ? option.palette.highlightedText().color() : m_reasonColour);
    const QString reason = QStringLiteral("\u2190 line %1: %2").arg(entryLine(entry) + 1).arg(reasonFor(index.row(), entry));
    painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(font).elidedText(reason, Qt::ElideRight, area.width()));
    painter->restore();
}

bool ResultEntryDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                    const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString entry = index.data().toString();
    const int line = entryLine(entry);
    QString tip;
    if (line >= 0) {
        tip = QStringLiteral("Source line %1 - double-click to show it").arg(line + 1);
        if (m_reasons)
            tip = entry + QStringLiteral("\n") + reasonFor(index.row(), entry) + QStringLiteral("\n") + tip;
    }
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), tip, view);
    return true;
}

QWidget* withHeading(const QString& title, QWidget* list, const QColor& colour, QLabel** heading)
{
    auto* box = new QWidget(list->parentWidget());
    box->setObjectName(list->objectName() + QStringLiteral("Box"));
    auto* label = new QLabel(title, box);
    label->setObjectName(list->objectName() + QStringLiteral("Heading"));
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setContentsMargins(4, 1, 4, 1);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour.darker(150));
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(label);
    layout->addWidget(list, 1);
    if (heading)
        *heading = label;
    return box;
}
