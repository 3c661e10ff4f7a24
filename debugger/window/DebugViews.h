#pragma once
// The simulator window's memory, SFR and disassembly views, added as its panes.

namespace m51dbg {

class DebugEngine;
class SimulatorWindow;

// Internal RAM, external RAM, code, SFR and disassembly panes of `engine`.
void AddDebugViews(SimulatorWindow& window, DebugEngine* engine);

} // namespace m51dbg
