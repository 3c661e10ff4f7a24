#pragma once
// Running and debugging inside Zelvar: the Run menu on the main window, the
// editor's breakpoints and execution line, the ASM window's execution line,
// and the debugger's messages in the main window's status bar. The debugger
// itself (engine, simulator window, the Run menu's actions) lives in its own
// library; this file only connects it to Zelvar's windows.

struct WindowSet;

namespace m51dbg {
class DebugController;
}

// Makes the controller for `windows` (parented to the main window) and wires
// it; the windows must all exist.
m51dbg::DebugController* attachDebugger(const WindowSet& windows);
