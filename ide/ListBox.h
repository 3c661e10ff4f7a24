#pragma once
// A result list of the main window: a table of rows, each the source line it
// points to (counted from 1, as the editor's gutter counts; blank for none)
// and its text, and for the error list the reason or the stage that reported
// it. The compiler's lists are handed over whole, so the table is a view on a
// model of rows, filled in one step however long the list; every row has the
// same height, so a list of 100,000 errors scrolls as fast as a short one.

#include "compiler/Compiler.h"

#include <QAbstractTableModel>
#include <QTableView>
#include <string>
#include <vector>

// One row: the 0-based source line (-1: none), the text, an optional note.
struct ResultRow {
    int line = -1;
    QString text;
    QString note;
};

class ResultRowModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { LineColumn, TextColumn, NoteColumn };
    ResultRowModel(QStringList headings, QObject* parent = nullptr);

    void setRows(std::vector<ResultRow> rows);
    const std::vector<ResultRow>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList m_headings;
    std::vector<ResultRow> m_rows;
};

class ListBox : public QTableView {
    Q_OBJECT
public:
    // `headings`: the column titles, "Line" and the text's (and the note's).
    explicit ListBox(const QStringList& headings, QWidget* parent = nullptr);

    void setLines(const std::vector<std::string>& lines);
    // The entries' texts (code page 1250) with their source lines.
    void setEntries(const std::vector<m51::ListEntry>& entries);
    void setRows(std::vector<ResultRow> rows);
    void setItems(const QStringList& items);
    void clear();
    // The rows' texts, and the rows.
    QStringList items() const;
    const std::vector<ResultRow>& rows() const { return m_model->rows(); }
    int count() const;
    bool hasSelection() const;
    // The selected row's text, or an empty text when none is selected.
    QString selectedText() const;
    // The source line of the selected row, -1 when none is selected or known.
    int selectedLine() const;
    void selectRow(int row);

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitRows();

    ResultRowModel* m_model;
};
