#include "insight/LineMarks.h"

#include <algorithm>
#include <cstdio>

namespace insight {

namespace {

std::string Times(uint64_t n) { return n == 1 ? std::string("once") : std::to_string(n) + " times"; }

std::string Hex(uint16_t address)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04XH", address);
    return text;
}

std::string TimeText(double seconds)
{
    char text[32];
    if (seconds >= 1)
        std::snprintf(text, sizeof text, "%.3f s", seconds);
    else if (seconds >= 1e-3)
        std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f µs", seconds * 1e6);
    return text;
}

std::string BranchText(const Branch& branch)
{
    const std::string head = "Conditional jump at " + Hex(branch.address) + ": ";
    switch (StateOf(branch)) {
    case BranchState::Both:
        return head + "jumped " + Times(branch.taken) + ", went on " + Times(branch.fallThrough);
    case BranchState::OnlyTaken:
        return head + "only jumped (" + Times(branch.taken) + "), never went on";
    case BranchState::OnlyFallThrough:
        return head + "only went on (" + Times(branch.fallThrough) + "), never jumped";
    case BranchState::Never:
        break;
    }
    return head + "never reached";
}

} // namespace

std::vector<LineMark> MarksOf(const std::vector<LineStats>& lines, bool branchesKnown)
{
    std::vector<LineMark> marks;
    marks.reserve(lines.size());
    for (const LineStats& stats : lines) {
        LineMark mark{stats.line, LineCoverage::Never, stats.hits, stats.cycles, stats.branches, 0};
        if (stats.executed()) {
            const bool oneWay = branchesKnown && std::any_of(stats.branches.begin(), stats.branches.end(),
                                                             [](const Branch& b) { return StateOf(b) != BranchState::Both; });
            mark.coverage = oneWay ? LineCoverage::Partial : LineCoverage::Executed;
        }
        marks.push_back(std::move(mark));
    }
    // The hottest lines: shaded by their share of the hottest line's cycles.
    std::vector<LineMark*> byCycles;
    for (LineMark& mark : marks)
        if (mark.cycles)
            byCycles.push_back(&mark);
    const size_t hot = std::min<size_t>(byCycles.size(), HotLines);
    std::partial_sort(byCycles.begin(), byCycles.begin() + hot, byCycles.end(),
                      [](const LineMark* a, const LineMark* b) { return a->cycles > b->cycles; });
    if (hot == 0)
        return marks;
    const uint64_t top = byCycles.front()->cycles;
    uint64_t total = 0;
    for (const LineMark* mark : byCycles)
        total += mark->cycles;
    for (size_t i = 0; i < hot; ++i) {
        LineMark& mark = *byCycles[i];
        if (mark.cycles * HeatShare >= total)  // a line of no real share of the run stays plain
            mark.heat = std::max(1, static_cast<int>((mark.cycles * HeatLevels + top - 1) / top));
    }
    return marks;
}

std::string TipOf(const LineMark& mark, bool branchesKnown, double crystalHz, uint64_t totalCycles)
{
    if (mark.hits == 0)
        return "Never executed";
    std::string tip = "Executed " + Times(mark.hits) + ", " + std::to_string(mark.cycles) + " machine cycles ("
        + TimeText(Seconds(mark.cycles, crystalHz));
    if (totalCycles) {
        char share[32];
        std::snprintf(share, sizeof share, ", %.1f %% of the run", 100.0 * mark.cycles / totalCycles);
        tip += share;
    }
    tip += ")";
    if (!branchesKnown)
        return tip;
    for (const Branch& branch : mark.branches)
        tip += "\n" + BranchText(branch);
    return tip;
}

} // namespace insight
