#include "ide/CoverageWiring.h"

#include "debugger/window/DebugController.h"
#include "insight/LineMarks.h"
#include "ide/Main.h"
#include "ide/Placement.h"
#include "ide/Session.h"
#include "ide/WindowSet.h"
#include "ide/asembu.h"
#include "ide/editoru.h"

#include <QAction>
#include <QFileInfo>
#include <algorithm>
#include <QStatusBar>

namespace {

struct Choice {
    m51dbg::DebugController::Action action;
    const char* key;
    bool byDefault;
};
constexpr Choice Choices[] = {
    {m51dbg::DebugController::Action::ShowCoverage, "Show", true},
    {m51dbg::DebugController::Action::ShadeHotLines, "ShadeHotLines", true},
    {m51dbg::DebugController::Action::KeepCoverage, "KeepAcrossRuns", false},
};

} // namespace

QList<CodeEditor::CoverageLine> CoverageLinesOf(const insight::Report& report, const std::vector<insight::LineStats>& lines)
{
    QList<CodeEditor::CoverageLine> out;
    for (const insight::LineMark& mark : insight::MarksOf(lines, report.branchesKnown)) {
        const auto kind = mark.coverage == insight::LineCoverage::Executed ? CodeEditor::CoverageMark::Executed
                          : mark.coverage == insight::LineCoverage::Partial ? CodeEditor::CoverageMark::Partial
                                                                            : CodeEditor::CoverageMark::Never;
        out.push_back({mark.line, kind, mark.heat,
                       QString::fromStdString(insight::TipOf(mark, report.branchesKnown, report.crystalHz,
                                                             report.totalCycles))});
    }
    return out;
}

void attachCoverage(const WindowSet& windows, m51dbg::DebugController* debugger)
{
    ProfileStore& profile = windows.main->session().profile();
    for (const Choice& choice : Choices)
        debugger->action(choice.action)->setChecked(profile.coverageChoice(choice.key).value_or(choice.byDefault));

    auto refresh = [debugger, windows] {
        const auto report = debugger->insight()->report();
        const bool marks = debugger->action(m51dbg::DebugController::Action::ShowCoverage)->isChecked();
        const bool heat = debugger->action(m51dbg::DebugController::Action::ShadeHotLines)->isChecked();
        TEd* source = windows.editor;
        TAed* assembly = windows.assembly;
        // Nothing ran yet (a start, a run before its first stop): nothing to tell.
        const auto executed = [](const insight::LineStats& line) { return line.executed(); };
        const bool ran = report && (std::any_of(report->sourceLines.begin(), report->sourceLines.end(), executed)
                                    || std::any_of(report->asmLines.begin(), report->asmLines.end(), executed)
                                    || std::any_of(report->fileLines.begin(), report->fileLines.end(), [&](const auto& lines) {
                                           return std::any_of(lines.begin(), lines.end(), executed);
                                       }));
        if (!ran || (!marks && !heat)) {
            source->clearCoverage();
            assembly->clearCoverage();
            return;
        }
        // A C program: the lines of the C file in the editor.
        const std::vector<insight::LineStats>* lines = &report->sourceLines;
        const std::vector<insight::LineStats> none;
        if (!report->files.empty()) {
            lines = &none;
            const QFileInfo current(windows.main->session().currentFile());
            for (size_t i = 0; i < report->files.size() && i < report->fileLines.size(); ++i)
                if (QFileInfo(QString::fromStdString(report->files[i])) == current)
                    lines = &report->fileLines[i];
        }
        source->setCoverage(CoverageLinesOf(*report, *lines), marks, heat);
        assembly->setCoverage(CoverageLinesOf(*report, report->asmLines), marks, heat);
    };
    QObject::connect(debugger->insight(), &m51dbg::InsightSession::reportChanged, windows.editor, refresh);
    // A C program's stop in another of its files: that file's marks.
    QObject::connect(debugger, &m51dbg::DebugController::executionPlaceChanged, windows.editor, refresh);
    for (const Choice& choice : Choices)
        QObject::connect(debugger->action(choice.action), &QAction::toggled, windows.editor,
                         [refresh, &profile, main = windows.main, key = choice.key](bool on) {
                             profile.setCoverageChoice(key, on);
                             if (const QString error = profile.save(); !error.isEmpty())
                                 main->statusBar()->showMessage(error);
                             refresh();
                         });
    // A new build's text has other lines: the old marks go.
    QObject::connect(debugger, &m51dbg::DebugController::built, windows.editor, [windows] {
        windows.editor->clearCoverage();
        windows.assembly->clearCoverage();
    });
    QObject::connect(debugger, &m51dbg::DebugController::profileLineActivated, windows.editor,
                     [windows](int sourceLine, int asmLine) {
                         if (sourceLine >= 0)
                             windows.editor->presentLine(sourceLine);
                         else
                             windows.assembly->presentLine(asmLine);
                     });
}
