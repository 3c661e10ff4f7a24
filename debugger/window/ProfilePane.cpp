#include "debugger/window/ProfilePane.h"

#include "debugger/InsightSession.h"
#include "debugger/window/ProfileModel.h"

#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

namespace m51dbg {

ProfilePane::ProfilePane(InsightSession* insight, QWidget* parent)
    : QWidget(parent), m_insight(insight), m_model(new ProfileModel(this)), m_sorted(new QSortFilterProxyModel(this)),
      m_views(new QTabBar(this)), m_table(new QTableView(this)), m_summary(new QLabel(this))
{
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(ProfileModel::SortRole);
    m_views->addTab(tr("By line"));
    m_views->addTab(tr("By procedure"));
    m_views->setDrawBase(false);
    m_table->setModel(m_sorted);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(ProfileModel::LineCycles, Qt::DescendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    fitColumns(true);
    m_summary->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_views);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_summary);

    connect(m_views, &QTabBar::currentChanged, this, [this](int index) {
        const auto view = index == 1 ? ProfileModel::View::Procedures : ProfileModel::View::Lines;
        m_model->setView(view);
        fitColumns(view == ProfileModel::View::Lines);
        m_table->sortByColumn(view == ProfileModel::View::Lines ? int(ProfileModel::LineCycles) : int(ProfileModel::ProcInclusive),
                              Qt::DescendingOrder);
    });
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const int row = m_sorted->mapToSource(index).row();
        if (const auto [file, line] = m_model->placeOf(row); !file.isEmpty()) {
            emit placeActivated(file, line);
            return;
        }
        emit lineActivated(m_model->sourceLineOf(row), m_model->asmLineOf(row));
    });
    connect(insight, &InsightSession::reportChanged, this, &ProfilePane::refresh);
    refresh();
}

// The figures show whole; the statement (or the procedure's name) takes the
// room left and is cut short in a narrow pane, instead of pushing the figures
// out of sight.
void ProfilePane::fitColumns(bool byLine)
{
    QHeaderView* header = m_table->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    const int text = byLine ? int(ProfileModel::LineStatement) : int(ProfileModel::ProcName);
    if (text < header->count())
        header->setSectionResizeMode(text, QHeaderView::Stretch);
}

void ProfilePane::setSourceLines(const QStringList& lines) { m_model->setSourceLines(lines); }

void ProfilePane::refresh()
{
    const auto report = m_insight->report();
    m_model->setReport(report);
    if (!report) {
        m_summary->setText(tr("The cycle profile needs the built-in simulator (Setup ▸ Simulator); it is shown after "
                              "the program stops."));
        return;
    }
    const double mhz = report->crystalHz / 1e6;
    QString text = tr("%1 machine cycles, %2 at %3 MHz")
                       .arg(qulonglong(report->totalCycles))
                       .arg(TimeText(insight::Seconds(report->totalCycles, report->crystalHz)))
                       .arg(mhz, 0, 'f', 4);
    if (report->idleCycles)
        text += tr("; %1 cycles in idle mode").arg(qulonglong(report->idleCycles));
    if (!report->branchesKnown)
        text += tr(". Time with calls and branch outcomes are recorded while Run ▸ Show coverage or Shade the hottest "
                   "lines is on.");
    m_summary->setText(text);
}

} // namespace m51dbg
