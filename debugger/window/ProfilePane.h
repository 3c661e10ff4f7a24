#pragma once
// The simulator window's Profile pane: the cycle profile of the debugged
// program at its last stop, by line or by procedure, sortable by any
// column; a double click on a row asks for its line in the editor.

#include <QWidget>

class QLabel;
class QSortFilterProxyModel;
class QTableView;
class QTabBar;

namespace m51dbg {

class InsightSession;
class ProfileModel;

class ProfilePane : public QWidget {
    Q_OBJECT
public:
    explicit ProfilePane(InsightSession* insight, QWidget* parent = nullptr);

    ProfileModel* model() const { return m_model; }
    // Modest: the window's other views keep their room; the table scrolls.
    QSize sizeHint() const override { return {520, 170}; }
    QSize minimumSizeHint() const override { return {240, 110}; }
    // The source's lines as built, for the statement column.
    void setSourceLines(const QStringList& lines);

signals:
    // A row was double-clicked: its source line (0-based, -1 none) and assembly line.
    void lineActivated(int sourceLine, int asmLine);
    // A C program's row was double-clicked: its C file and 0-based line.
    void placeActivated(const QString& file, int line);

private:
    void refresh();
    void fitColumns(bool byLine);

    InsightSession* m_insight;
    ProfileModel* m_model;
    QSortFilterProxyModel* m_sorted;
    QTabBar* m_views;
    QTableView* m_table;
    QLabel* m_summary;
};

} // namespace m51dbg
