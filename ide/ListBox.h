#pragma once
// A list box of text lines for the main window's result lists. The compiler's
// lists are handed over whole (code page 1250 lines), so the box is a view on a
// string model, filled in one step however long the list. With more than one
// column the entries run down the first column and on into the next, each
// column a fraction of the box's width, as in a multi-column list box.

#include "Compiler.h"

#include <QListView>
#include <string>
#include <vector>

class QStringListModel;

class ListBox : public QListView {
    Q_OBJECT
public:
    explicit ListBox(int columns, QWidget* parent = nullptr);

    void setLines(const std::vector<std::string>& lines);
    // The entries' texts, and their source lines for selectedLine().
    void setEntries(const std::vector<m51::ListEntry>& entries);
    void setItems(const QStringList& items);
    void clear();
    QStringList items() const;
    int count() const;
    // The selected entry's text, or an empty text when none is selected.
    bool hasSelection() const;
    QString selectedText() const;
    // The source line of the selected entry, -1 when none is selected or known.
    int selectedLine() const;
    void selectRow(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateGrid();

    QStringListModel* m_model;
    std::vector<int> m_lines;  // source line of each row, from setEntries()
    int m_columns;
};
