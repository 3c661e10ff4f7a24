#include "debugger/window/ProfileModel.h"

#include <QFileInfo>

namespace m51dbg {

QString TimeText(double seconds)
{
    if (seconds >= 1)
        return QStringLiteral("%1 s").arg(seconds, 0, 'f', 3);
    if (seconds >= 1e-3)
        return QStringLiteral("%1 ms").arg(seconds * 1e3, 0, 'f', 3);
    return QStringLiteral("%1 µs").arg(seconds * 1e6, 0, 'f', 1);
}

void ProfileModel::setReport(std::shared_ptr<const insight::Report> report)
{
    beginResetModel();
    m_report = std::move(report);
    m_cLines.clear();
    if (m_report)
        for (size_t file = 0; file < m_report->fileLines.size(); ++file)
            for (const insight::LineStats& line : m_report->fileLines[file])
                m_cLines.emplace_back(int(file), &line);
    endResetModel();
}

void ProfileModel::setSourceLines(const QStringList& lines)
{
    beginResetModel();
    m_source = lines;
    endResetModel();
}

void ProfileModel::setView(View view)
{
    if (view == m_view)
        return;
    beginResetModel();
    m_view = view;
    endResetModel();
}

int ProfileModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_report)
        return 0;
    if (m_view == View::Lines && !m_cLines.empty())
        return int(m_cLines.size());
    return int(m_view == View::Lines ? m_report->sourceLines.size() : m_report->procedures.size());
}

int ProfileModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return m_view == View::Lines ? int(LineColumns) : int(ProcColumns);
}

std::pair<QString, int> ProfileModel::placeOf(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    int file = -1, line = -1;
    if (m_view == View::Lines && !m_cLines.empty()) {
        file = m_cLines[size_t(row)].first;
        line = m_cLines[size_t(row)].second->line;
    } else if (m_view == View::Procedures) {
        file = m_report->procedures[size_t(row)].file;
        line = m_report->procedures[size_t(row)].sourceLine;
    }
    if (file < 0 || size_t(file) >= m_report->files.size() || line < 0)
        return {};
    return {QString::fromStdString(m_report->files[size_t(file)]), line};
}

QString ProfileModel::cLineText(int file, int line) const
{
    if (!m_report || file < 0 || size_t(file) >= m_report->files.size())
        return {};
    const QStringList& lines = m_texts.lines(m_report->files[size_t(file)]);
    return line >= 0 && line < lines.size() ? lines[line].trimmed() : QString();
}

int ProfileModel::sourceLineOf(int row) const
{
    if (row < 0 || row >= rowCount() || !placeOf(row).first.isEmpty())
        return -1;
    return m_view == View::Lines ? m_report->sourceLines[size_t(row)].line : m_report->procedures[size_t(row)].sourceLine;
}

int ProfileModel::asmLineOf(int row) const
{
    if (row < 0 || row >= rowCount() || m_view == View::Lines)
        return -1;
    return m_report->procedures[size_t(row)].asmLine;
}

QVariant ProfileModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::TextAlignmentRole) {
        const bool text = m_view == View::Lines ? index.column() == LineStatement
                                                 : index.column() == ProcName || index.column() == ProcKind;
        return QVariant::fromValue(Qt::AlignVCenter | (text ? Qt::AlignLeft : Qt::AlignRight));
    }
    if (role != Qt::DisplayRole && role != SortRole && role != Qt::ToolTipRole)
        return {};
    const size_t row = size_t(index.row());
    if (m_view == View::Lines && !m_cLines.empty()) {
        const auto& [file, line] = m_cLines[row];
        if (index.column() == LineNumber && file >= 0 && size_t(file) < m_report->files.size()) {
            if (role == SortRole)
                return qlonglong(file) << 32 | line->line;
            return QStringLiteral("%1:%2")
                .arg(QFileInfo(QString::fromStdString(m_report->files[size_t(file)])).fileName())
                .arg(line->line + 1);
        }
        if (index.column() == LineStatement)
            return role == Qt::ToolTipRole ? QVariant() : QVariant(cLineText(file, line->line));
        return lineData(*line, index.column(), role);
    }
    return m_view == View::Lines ? lineData(m_report->sourceLines[row], index.column(), role)
                                 : procedureData(m_report->procedures[row], index.column(), role);
}

namespace {

QVariant Number(uint64_t value, int role)
{
    return role == ProfileModel::SortRole ? QVariant(qlonglong(value)) : QVariant(QString::number(qulonglong(value)));
}

QVariant Share(uint64_t cycles, uint64_t total, int role)
{
    const double share = total ? 100.0 * double(cycles) / double(total) : 0;
    return role == ProfileModel::SortRole ? QVariant(share) : QVariant(QStringLiteral("%1 %").arg(share, 0, 'f', 1));
}

} // namespace

QVariant ProfileModel::lineData(const insight::LineStats& line, int column, int role) const
{
    const double hz = m_report->crystalHz;
    switch (column) {
    case LineNumber:
        return role == SortRole ? QVariant(line.line) : QVariant(QString::number(line.line + 1));
    case LineStatement:
        return line.line < m_source.size() ? m_source[line.line].trimmed() : QString();
    case LineRuns:
        return Number(line.hits, role);
    case LineCycles:
        return Number(line.cycles, role);
    case LineTime:
        return role == SortRole ? QVariant(qlonglong(line.cycles)) : QVariant(TimeText(insight::Seconds(line.cycles, hz)));
    case LineShare:
        return Share(line.cycles, m_report->totalCycles, role);
    default:
        return {};
    }
}

QVariant ProfileModel::procedureData(const insight::ProcedureStats& procedure, int column, int role) const
{
    const double hz = m_report->crystalHz;
    const bool known = procedure.recorded;
    switch (column) {
    case ProcName:
        return QString::fromStdString(procedure.info.name);
    case ProcKind:
        if (role == Qt::ToolTipRole)
            return procedure.info.vector >= 0 ? tr("Entered by the interrupt; its time is not counted in the code it interrupted")
                                              : QVariant();
        return procedure.info.vector >= 0 ? tr("interrupt") : procedure.info.handler ? tr("handler") : tr("procedure");
    case ProcLine: {
        if (procedure.file >= 0 && size_t(procedure.file) < m_report->files.size() && procedure.sourceLine >= 0) {
            if (role == SortRole)
                return qlonglong(procedure.file) << 32 | procedure.sourceLine;
            return QStringLiteral("%1:%2")
                .arg(QFileInfo(QString::fromStdString(m_report->files[size_t(procedure.file)])).fileName())
                .arg(procedure.sourceLine + 1);
        }
        const int line = procedure.sourceLine >= 0 ? procedure.sourceLine : procedure.asmLine;
        if (role == SortRole)
            return line;
        if (line < 0)
            return QString();
        return procedure.sourceLine >= 0 ? QString::number(line + 1) : tr("asm %1").arg(line + 1);
    }
    case ProcEntries:
        return Number(procedure.entries, role);
    case ProcOwn:
        return Number(procedure.ownCycles, role);
    case ProcOwnTime:
        return role == SortRole ? QVariant(qlonglong(procedure.ownCycles))
                                : QVariant(TimeText(insight::Seconds(procedure.ownCycles, hz)));
    case ProcInclusive:
        if (role == Qt::ToolTipRole && !known)
            return tr("Recorded while Run ▸ Show coverage or Shade the hottest lines is on");
        return known ? Number(procedure.inclusiveCycles, role) : role == SortRole ? QVariant(qlonglong(-1)) : QVariant(QStringLiteral("—"));
    case ProcInclusiveTime:
        return !known ? (role == SortRole ? QVariant(qlonglong(-1)) : QVariant(QStringLiteral("—")))
               : role == SortRole ? QVariant(qlonglong(procedure.inclusiveCycles))
                                  : QVariant(TimeText(insight::Seconds(procedure.inclusiveCycles, hz)));
    case ProcShare:
        return Share(known ? procedure.inclusiveCycles : procedure.ownCycles, m_report->totalCycles, role);
    default:
        return {};
    }
}

QVariant ProfileModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const lines[] = {"Line", "Statement", "Runs", "Cycles", "Time", "Share"};
    static const char* const procedures[] = {"Procedure", "Kind", "Line", "Entries", "Own cycles",
                                             "Own time", "With calls", "Time with calls", "Share"};
    if (m_view == View::Lines)
        return section < LineColumns ? tr(lines[section]) : QVariant();
    return section < ProcColumns ? tr(procedures[section]) : QVariant();
}

} // namespace m51dbg
