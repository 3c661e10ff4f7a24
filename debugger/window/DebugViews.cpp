#include "debugger/window/DebugViews.h"

#include "debugger/window/DisassemblyPane.h"
#include "debugger/window/MemoryPane.h"
#include "debugger/window/SfrPane.h"
#include "debugger/window/SimulatorWindow.h"

namespace m51dbg {

void AddDebugViews(SimulatorWindow& window, DebugEngine* engine)
{
    window.addPane("iramView", QObject::tr("Memory: internal"), new MemoryPane(engine, DebugEngine::Memory::Iram));
    window.addPane("xramView", QObject::tr("Memory: external"), new MemoryPane(engine, DebugEngine::Memory::Xram));
    window.addPane("codeView", QObject::tr("Memory: code"), new MemoryPane(engine, DebugEngine::Memory::Code));
    window.addPane("sfrView", QObject::tr("SFR"), new SfrPane(engine));
    window.addPane("disassemblyView", QObject::tr("Disassembly"), new DisassemblyPane(engine));
}

} // namespace m51dbg
