#pragma once
// The debugging side of the development environment: the Run menu's actions
// with their usual keys, building the program first when the source changed,
// breakpoints on M51 lines, and the execution line the editor marks. It owns
// the engine and the simulator window; the environment supplies the source
// text and the editor's caret line and shows the lines this reports.

#include "debugger/window/BoardSession.h"
#include "debugger/DebugEngine.h"
#include "debugger/window/StackModel.h"
#include "debugger/InsightSession.h"
#include "simrun/WatchList.h"
#include "debugger/ProgramBuilder.h"
#include "toolchain/Build.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QThread;
class QWidget;

namespace m51dbg {

class SimulatorWindow;

class DebugController : public QObject {
    Q_OBJECT
public:
    enum class Action {
        Run, Stop, StepLine, StepInto, StepOut, RunToCaret, ToggleBreakpoint, Reset, ShowSimulator, Animate,
        StepBack, ReverseContinue, SaveState, LoadState, ShowCoverage, ShadeHotLines, KeepCoverage
    };

    explicit DebugController(QObject* parent = nullptr);
    ~DebugController() override;

    // The current source: its bytes (code page 1250) and its path (may be
    // empty for an unsaved text); and the editor's caret line (0-based).
    void setSourceProvider(std::function<QByteArray()> text, std::function<QString()> path);
    void setCaretLineProvider(std::function<int()> caretLine);
    // Asked when the source changed while a program is being debugged and a
    // Run menu command comes: true rebuilds and restarts, false goes on with
    // the running program (and the same text is not asked about again).
    // Without it the program is rebuilt.
    void setRebuildQuestion(std::function<bool()> ask);
    // How a program is built: given the folder for its HEX file, the build of
    // the current source (the environment's own build step, which may reuse
    // what it built before). Without it the controller builds the source itself.
    void setProgramBuilder(std::function<BuildOutput(const QString& outputDir)> build);
    // Asks for the file of Save State… (`save`) or Load State…; empty: cancelled.
    // Without it a file dialog asks.
    void setStateFileQuestion(std::function<QString(bool save)> ask);
    // Before a C program is built (SDCC reads the files from disk): saves the
    // current source when it has changes; false when that did not happen.
    void setSourceSaver(std::function<bool()> save) { m_saveSource = std::move(save); }
    // The SDCC that builds C programs (Setup); empty: $SDCC, else sdcc on the PATH.
    void setSdccProgram(const QString& program) { m_sdccProgram = program; }
    // A C build is running on its thread.
    bool isBuilding() const { return m_worker != nullptr; }

    DebugEngine* engine() { return &m_engine; }
    // The virtual board of the program (NAME.board beside the source) and the watch list.
    BoardSession* boardSession() { return &m_board; }
    WatchList* watches() { return &m_watches; }
    // Coverage and cycle profile of the built-in simulator's sessions; the
    // checkable actions ShowCoverage, ShadeHotLines and KeepCoverage steer it.
    InsightSession* insight() { return &m_insight; }
    // The simulator of the next debug session (a running one keeps its own).
    void setSimulator(SimulatorKind kind);
    SimulatorWindow* simulatorWindow();  // made on first use
    // Where the simulator window shows: on its own by default; a host (Zelvar's
    // main window) gets the window once it is made, to dock it and its panes,
    // and `show` whenever it is to come into view (a debug start, the Run
    // menu's "Simulator window").
    void setWindowHost(std::function<void(SimulatorWindow*)> made, std::function<void()> show);
    QAction* action(Action which) const { return m_actions.value(int(which)); }
    // A "Run" menu with every action, for the main window's menu bar.
    QMenu* createMenu(QWidget* parent);

    QSet<int> breakpoints() const { return m_breakpoints; }
    void setBreakpoints(const QSet<int>& lines);
    // The editor went over to another source file of the program being
    // debugged (a C program's, an assembly module's): the breakpoints of
    // `previousPath` are kept for it, the new file's come back, and its text
    // counts as built.
    void switchSource(const QString& previousPath);
    // Whether `path` is one of the source files of the program being debugged.
    bool isProgramFile(const QString& path) const;
    void toggleBreakpoint(int line);
    bool isDebugging() const;
    // Ends the debug session, if any (another source takes the editor): the
    // simulator stops, the execution line goes and the next Run builds anew.
    void endSession();
    // Animate: stepping line by line with the pause of the engine's options, until Stop, a breakpoint or the end.
    bool isAnimating() const { return m_animating; }
    // The source's file name as messages name it ("untitled.M51" when unsaved).
    QString sourceFileName() const;

    void trigger(Action which);

signals:
    // The M51 line (0-based) and assembly line of the program counter, -1
    // while running or when no program runs.
    void executionLineChanged(int sourceLine, int asmLine);
    // The program counter's line in any source file of the program (`file`
    // its path as the build names it; empty when not known); line -1 while
    // running or when no program runs.
    void executionPlaceChanged(const QString& file, int line);
    // Where the breakpoints really are (a line without code moves to the next).
    void breakpointsChanged(const QSet<int>& lines);
    // The generated assembly of the build that is being debugged.
    void built(const QString& assembly);
    // A C program stopped in another module's code: the assembly SDCC wrote
    // of it (the ASM window's new text; executionLineChanged's assembly line
    // is in it), or a note for code without one (SDCC's library).
    void moduleAssemblyShown(const QString& text);
    // "file:line: message" of a failed build, or a simulator error.
    void problems(const QStringList& messages);
    // The errors of a failed build as values, for the error list and markers.
    void buildFailed(const std::vector<toolchain::Diagnostic>& errors);
    void statusMessage(const QString& text);
    // A line to show (a call stack frame double-clicked): M51 or assembly source line and .asm line, 0-based.
    void sourceLineRequested(int sourceLine, int asmLine);
    // A row of the Profile pane was double-clicked: its M51 line (-1 none) and assembly line.
    void profileLineActivated(int sourceLine, int asmLine);
    // A line of one of a C program's files to show (a call stack frame or a
    // Profile row double-clicked): its path and 0-based line.
    void sourcePlaceRequested(const QString& file, int line);

private:
    bool ensureStarted(std::function<void()> then, bool afterFreshStart);
    void buildC(const QByteArray& text, const QString& path, std::function<void()> then, bool afterFreshStart);
    // Starts the simulator with a finished build (or reports its errors).
    bool startBuilt(const BuildOutput& output, const QByteArray& text, const QString& path,
                    std::function<void()> then, bool afterFreshStart);
    void onStopped(DebugEngine::StopCause cause);
    void onStateChanged(DebugEngine::State state);
    void updateActions();
    void animateStep();
    void stopAnimating();
    void reverseContinue();
    void saveOrLoadState(bool save);
    void showSimulatorWindow();
    void emitExecutionLine();
    // The assembly line of the PC in its module's assembly, shown first when it is another module's.
    int moduleAssemblyLine();
    // The current source's file in the program being debugged (0: the file built).
    int sourceFileIndex() const;

    DebugEngine m_engine;
    BoardSession m_board{&m_engine};
    WatchList m_watches;
    InsightSession m_insight{&m_engine};
    QPointer<SimulatorWindow> m_window;
    QHash<int, QAction*> m_actions;
    std::function<QByteArray()> m_text;
    std::function<QString()> m_path;
    std::function<int()> m_caretLine;
    QSet<int> m_breakpoints;
    QHash<QString, QSet<int>> m_otherFileBreakpoints;  // by path: files of the program not in the editor
    QByteArray m_builtText;  // the source the running program was built from
    QByteArray m_keptText;   // a changed source the user chose not to rebuild for
    std::function<bool()> m_askRebuild;
    std::function<BuildOutput(const QString&)> m_build;
    std::function<QString(bool)> m_askStateFile;
    std::function<bool()> m_saveSource;
    QString m_sdccProgram;
    QThread* m_worker = nullptr;  // the C build, while it runs
    std::unique_ptr<QTemporaryDir> m_buildDir;
    std::function<void()> m_afterStart;
    StackModel m_stack{&m_engine};
    QTimer m_animateTimer;
    bool m_animating = false;
    int m_shownAssembly = -2;  // the module assembly in the ASM window (-1 the note, -2 none yet)
    std::function<void(SimulatorWindow*)> m_hostMade;
    std::function<void()> m_hostShow;
};

} // namespace m51dbg
