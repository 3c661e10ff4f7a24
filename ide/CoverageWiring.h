#pragma once
// The debugger's coverage and cycle profile in Zelvar's windows: after each
// stop the source editor and the ASM window mark their lines (run, a
// condition gone one way only, never run; the hottest lines shaded; the
// figures as the line's tool tip), and a double click in the Profile pane
// goes to its line. The Run menu's choices (Show coverage, Shade the hottest
// lines, Keep coverage across runs) are kept in the profile file with the
// debugger's other choices.

#include "ide/CodeEditor.h"
#include "insight/Insight.h"

#include <QList>

struct WindowSet;

namespace m51dbg {
class DebugController;
}

void attachCoverage(const WindowSet& windows, m51dbg::DebugController* debugger);

// The editor's marks for the lines of a report (source or assembly lines).
QList<CodeEditor::CoverageLine> CoverageLinesOf(const insight::Report& report, const std::vector<insight::LineStats>& lines);
