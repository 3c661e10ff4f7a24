#pragma once
// How the main window's result lists explain themselves to a new user: a
// heading over each list ("Procedures", "Definitions", "Inline blocks",
// "Errors"), the line an entry points to as its tool tip (counted from 1, as
// the editor's gutter counts), and beside each error that line and the reason
// it is listed.
// The reason is added by the view only; the entries stay the compiler's.

#include <QStringView>
#include <QStyledItemDelegate>
#include <limits>
#include <string_view>

class QLabel;

// A short reason for an error-list entry's text (the entry without its line
// index), after the kinds of error the compiler reports.
QString errorReason(QStringView entryText);
// The line index an entry starts with, or -1.
int entryLine(QStringView entry);
// The entry's text after its line index and blank.
QStringView entryText(QStringView entry);

// Paints an entry of a result list and tells its line in a tool tip; with
// `reasons`, the reason for an error follows the entry's text.
class ResultEntryDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ResultEntryDelegate(bool reasons, const QColor& reasonColour, QObject* parent = nullptr);
    // The rows from `rows` on are an assembler's messages (after a failed
    // build), not the compiler's entries.
    void setCompilerRows(int rows) { m_compilerRows = rows; }
    QString reasonFor(int row, QStringView entry) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    bool m_reasons;
    QColor m_reasonColour;
    int m_compilerRows = std::numeric_limits<int>::max();
};

// Puts a heading over `list`: a strip in a darker shade of `colour` with the
// title in white. Returns the widget holding both.
QWidget* withHeading(const QString& title, QWidget* list, const QColor& colour, QLabel** heading = nullptr);
