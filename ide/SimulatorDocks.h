#pragma once
// The simulator's window in Zelvar: its machine groups (controls, registers,
// ports, timers, time) as the "Simulator" dock of the main window, and each of
// its panes (internal RAM, serial port, Board, Watch and the further views
// added to it at any time) as a dock of its own. A debug start brings the
// docks into view; in the separate-window layout the main window first makes
// room for them beside the lists, so they never lie over the editor.

class WindowLayout;

namespace m51dbg {
class DebugController;
}

void dockSimulator(m51dbg::DebugController* debugger, WindowLayout* layout);
