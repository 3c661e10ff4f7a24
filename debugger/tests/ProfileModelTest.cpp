// The Profile pane's table sorts by the figures, not by their texts, and a
// sorted row still leads to its own line.
#include "debugger/window/ProfileModel.h"

#include <QSortFilterProxyModel>

#include <gtest/gtest.h>

using namespace m51dbg;

TEST(ProfileModel, SortsByTheFiguresAndRowsKeepTheirLines)
{
    auto report = std::make_shared<insight::Report>();
    report->totalCycles = 119;
    report->crystalHz = 12e6;
    for (const auto& [line, cycles] : {std::pair{4, 9}, {7, 100}, {2, 10}})
        report->sourceLines.push_back({line, 1, uint64_t(cycles), {}});
    insight::ProcedureStats recorded, unknown;
    recorded.info.name = "WORK";
    recorded.sourceLine = 7;
    recorded.ownCycles = recorded.inclusiveCycles = 5;
    recorded.recorded = true;
    unknown.info.name = "LATE";
    unknown.asmLine = 30;
    unknown.ownCycles = 50;
    report->procedures = {recorded, unknown};

    ProfileModel model;
    model.setReport(report);
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.setSortRole(ProfileModel::SortRole);
    sorted.sort(ProfileModel::LineCycles, Qt::DescendingOrder);
    std::vector<int> lines;
    for (int row = 0; row < sorted.rowCount(); ++row)
        lines.push_back(model.sourceLineOf(sorted.mapToSource(sorted.index(row, 0)).row()));
    EXPECT_EQ(lines, (std::vector<int>{7, 2, 4}));  // 100, 10, 9 cycles; as texts "9" would lead

    model.setView(ProfileModel::View::Procedures);
    sorted.sort(ProfileModel::ProcInclusive, Qt::DescendingOrder);
    const int first = sorted.mapToSource(sorted.index(0, 0)).row();
    const int last = sorted.mapToSource(sorted.index(1, 0)).row();
    EXPECT_EQ(model.sourceLineOf(first), 7);  // known inclusive cycles before unknown ones
    EXPECT_EQ(model.sourceLineOf(last), -1);
    EXPECT_EQ(model.asmLineOf(last), 30);    // a procedure without an M51 line goes to its assembly line
}
