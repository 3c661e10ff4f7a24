#pragma once
// The cycle profile of a run as a table: by source line (runs, machine
// cycles, time at the crystal, share of the run) or by procedure (entries,
// own cycles and with what it calls, interrupt entries and the handlers
// they run listed as such). Sorting goes by the numbers (Qt::UserRole, all
// signed, so that a figure not recorded, -1, sorts below every other one),
// not by the texts shown. A C program's lines are those of its C files
// ("stats.c:12"), its procedures its C functions.

#include "debugger/window/CallFrames.h"
#include "insight/Insight.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>

namespace m51dbg {

class ProfileModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class View { Lines, Procedures };
    enum LineColumn { LineNumber, LineStatement, LineRuns, LineCycles, LineTime, LineShare, LineColumns };
    enum ProcedureColumn {
        ProcName, ProcKind, ProcLine, ProcEntries, ProcOwn, ProcOwnTime, ProcInclusive, ProcInclusiveTime, ProcShare,
        ProcColumns
    };
    static constexpr int SortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    void setReport(std::shared_ptr<const insight::Report> report);
    const insight::Report* report() const { return m_report.get(); }
    // The source's lines as built, for the statement column.
    void setSourceLines(const QStringList& lines);
    void setView(View view);
    View view() const { return m_view; }

    // The source line (0-based, -1 none) and assembly line of a row.
    int sourceLineOf(int row) const;
    int asmLineOf(int row) const;
    // A C program's row: the path of its C file and the 0-based line; empty path none.
    std::pair<QString, int> placeOf(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVariant lineData(const insight::LineStats& line, int column, int role) const;
    QVariant procedureData(const insight::ProcedureStats& procedure, int column, int role) const;

    QString cLineText(int file, int line) const;

    std::shared_ptr<const insight::Report> m_report;
    // A C program's lines: (file, the line's figures), file by file.
    std::vector<std::pair<int, const insight::LineStats*>> m_cLines;
    mutable SourceTexts m_texts;
    QStringList m_source;
    View m_view = View::Lines;
};

// "12.345 ms", "3.2 µs", "1.250 s".
QString TimeText(double seconds);

} // namespace m51dbg
