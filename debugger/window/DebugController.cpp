#include "debugger/window/DebugController.h"

#include "debugger/window/BreakpointPane.h"
#include "debugger/window/CallStackPane.h"
#include "debugger/window/InterruptPane.h"
#include "debugger/window/LocalsPane.h"
#include "common/Cp1250.h"
#include "debugger/window/ProfilePane.h"
#include "debugger/ProgramBuilder.h"
#include "debugger/window/SimulatorWindow.h"
#include "debugger/window/StackPane.h"
#include "debugger/window/WatchPane.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QThread>

#include <algorithm>
#include <utility>

namespace m51dbg {

namespace {

struct ActionInfo {
    DebugController::Action action;
    const char* text;
    QKeySequence key;
    const char* name;
};

const ActionInfo& Info(int index)
{
    static const ActionInfo infos[] = {
        {DebugController::Action::Run, "&Run / Continue", QKeySequence(Qt::Key_F5), "actionRun"},
        {DebugController::Action::Stop, "S&top", QKeySequence(Qt::SHIFT | Qt::Key_F5), "actionStop"},
        {DebugController::Action::StepLine, "Step &line", QKeySequence(Qt::Key_F10), "actionStepLine"},
        {DebugController::Action::StepInto, "Step &into", QKeySequence(Qt::Key_F11), "actionStepInto"},
        {DebugController::Action::StepOut, "Step &out", QKeySequence(Qt::SHIFT | Qt::Key_F11), "actionStepOut"},
        {DebugController::Action::RunToCaret, "Run to &caret line", QKeySequence(Qt::CTRL | Qt::Key_F10),
         "actionRunToCaret"},
        {DebugController::Action::ToggleBreakpoint, "Toggle &breakpoint", QKeySequence(Qt::Key_F2),
         "actionToggleBreakpoint"},
        {DebugController::Action::Reset, "R&eset", QKeySequence(), "actionReset"},
        {DebugController::Action::ShowSimulator, "&Simulator window", QKeySequence(), "actionSimulator"},
        {DebugController::Action::Animate, "&Animate", QKeySequence(Qt::CTRL | Qt::Key_F5), "actionAnimate"},
        {DebugController::Action::StepBack, "Step Bac&k", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F10),
         "actionStepBack"},
        {DebugController::Action::ReverseContinue, "Reverse Co&ntinue", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5),
         "actionReverseContinue"},
        {DebugController::Action::SaveState, "Save St&ate…", QKeySequence(), "actionSaveState"},
        {DebugController::Action::LoadState, "Loa&d State…", QKeySequence(), "actionLoadState"},
        {DebugController::Action::ShowCoverage, "Show co&verage", QKeySequence(), "actionShowCoverage"},
        {DebugController::Action::ShadeHotLines, "Shade the &hottest lines", QKeySequence(), "actionShadeHotLines"},
        {DebugController::Action::KeepCoverage, "&Keep coverage across runs", QKeySequence(), "actionKeepCoverage"},
    };
    return infos[index];
}
constexpr int ActionCount = 17;

} // namespace

DebugController::DebugController(QObject* parent) : QObject(parent)
{
    // The coverage choices are ticked, not run: their toggles act, below.
    const auto isChoice = [](Action a) {
        return a == Action::ShowCoverage || a == Action::ShadeHotLines || a == Action::KeepCoverage;
    };
    for (int i = 0; i < ActionCount; ++i) {
        const ActionInfo& info = Info(i);
        auto* action = new QAction(tr(info.text), this);
        action->setObjectName(info.name);
        if (!info.key.isEmpty())
            action->setShortcut(info.key);
        action->setCheckable(isChoice(info.action));
        if (!isChoice(info.action))
            connect(action, &QAction::triggered, this, [this, which = info.action] { trigger(which); });
        m_actions.insert(int(info.action), action);
    }
    // Coverage and profile: recorded while either of their marks is shown.
    for (Action a : {Action::ShowCoverage, Action::ShadeHotLines})
        connect(m_actions.value(int(a)), &QAction::toggled, this, [this] {
            m_insight.setRecording(action(Action::ShowCoverage)->isChecked() || action(Action::ShadeHotLines)->isChecked());
        });
    connect(m_actions.value(int(Action::KeepCoverage)), &QAction::toggled, &m_insight, &InsightSession::setKeptAcrossRuns);
    m_insight.setRecording(false);
    connect(&m_engine, &DebugEngine::stopped, this, &DebugController::onStopped);
    connect(&m_engine, &DebugEngine::stateChanged, this, &DebugController::onStateChanged);
    m_animateTimer.setSingleShot(true);
    connect(&m_animateTimer, &QTimer::timeout, this, &DebugController::animateStep);
    connect(&m_engine, &DebugEngine::failed, this, [this](const QString& message) {
        m_afterStart = {};
        stopAnimating();
        emit problems({message});
        emit executionLineChanged(-1, -1);
        emit executionPlaceChanged(QString(), -1);
    });
    updateActions();
}

DebugController::~DebugController()
{
    if (m_worker) {  // SDCC finishes; its result goes nowhere
        m_worker->disconnect(this);
        m_worker->wait();
        delete m_worker;
    }
    m_engine.disconnect(this);
    delete m_window;
}

void DebugController::setSourceProvider(std::function<QByteArray()> text, std::function<QString()> path)
{
    m_text = std::move(text);
    m_path = std::move(path);
}

void DebugController::setCaretLineProvider(std::function<int()> caretLine) { m_caretLine = std::move(caretLine); }

void DebugController::setRebuildQuestion(std::function<bool()> ask) { m_askRebuild = std::move(ask); }

void DebugController::setProgramBuilder(std::function<BuildOutput(const QString&)> build) { m_build = std::move(build); }
void DebugController::setStateFileQuestion(std::function<QString(bool)> ask) { m_askStateFile = std::move(ask); }

void DebugController::setSimulator(SimulatorKind kind)
{
    EngineOptions options = m_engine.options();
    options.kind = kind;
    m_engine.setOptions(options);
    updateActions();
}

SimulatorWindow* DebugController::simulatorWindow()
{
    if (!m_window) {
        m_window = new SimulatorWindow(&m_engine, nullptr, &m_board, &m_watches);
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
        // The window's buttons take the Run menu's path.
        m_window->setCommandHandler([this](SimulatorWindow::Command command) {
            static constexpr Action actions[] = {Action::Run,     Action::Stop,    Action::StepLine,
                                                 Action::StepInto, Action::StepOut, Action::Reset};
            trigger(actions[int(command)]);
        });
        auto* callStack = new CallStackPane(&m_stack);
        connect(callStack, &CallStackPane::lineActivated, this, &DebugController::sourceLineRequested);
        m_window->addPane(QStringLiteral("callStackPane"), tr("Call stack"), callStack);
        // A C program's locals, of the frame chosen in the call stack (the watches read there too).
        auto* locals = new LocalsPane(&m_engine);
        connect(callStack, &CallStackPane::placeActivated, this, &DebugController::sourcePlaceRequested);
        connect(callStack, &CallStackPane::frameChosen, locals, &LocalsPane::showFrame);
        connect(callStack, &CallStackPane::frameChosen, this, [this](const toolchain::StopPlace& place) {
            if (WatchPane* watch = m_window->watchPane())
                watch->cModel()->setPlace(place.frameBase ? std::optional(place) : std::nullopt);
        });
        m_window->addPane(QStringLiteral("locals"), tr("Locals"), locals);
        m_window->addPane(QStringLiteral("stackPane"), tr("Stack"), new StackPane(&m_stack));
        m_window->addPane(QStringLiteral("interruptPane"), tr("Interrupts"), new InterruptPane(&m_stack));
        m_window->addPane(QStringLiteral("breakpointPane"), tr("Breakpoints"), new BreakpointPane(this));
        auto* profile = new ProfilePane(&m_insight);
        connect(profile, &ProfilePane::lineActivated, this, &DebugController::profileLineActivated);
        connect(profile, &ProfilePane::placeActivated, this, &DebugController::sourcePlaceRequested);
        connect(this, &DebugController::built, profile, [this, profile] {
            profile->setSourceLines(cp1250::decode(m_builtText).split(QLatin1Char('\n')));
        });
        profile->setSourceLines(cp1250::decode(m_builtText).split(QLatin1Char('\n')));
        m_window->addPane(QStringLiteral("profile"), tr("Profile"), profile);
        if (m_hostMade)
            m_hostMade(m_window);
    }
    return m_window;
}

void DebugController::setWindowHost(std::function<void(SimulatorWindow*)> made, std::function<void()> show)
{
    m_hostMade = std::move(made);
    m_hostShow = std::move(show);
    if (m_window && m_hostMade)
        m_hostMade(m_window);
}

void DebugController::showSimulatorWindow()
{
    SimulatorWindow* window = simulatorWindow();
    if (m_hostShow) {
        m_hostShow();
        return;
    }
    window->show();
    window->raise();
}

QMenu* DebugController::createMenu(QWidget* parent)
{
    auto* menu = new QMenu(tr("&Run"), parent);
    menu->setObjectName("menuRun");
    menu->setToolTipsVisible(true);  // why a command is off
    // Stepping back beside the other steps, the state files and coverage before the window; -1: a separator.
    static const int order[] = {0, 1, 2, 3, 4, 5, 9, 10, 11, -1, 6, -1, 7, -1, 12, 13, -1, 14, 15, 16, -1, 8};
    for (int i : order) {
        if (i < 0)
            menu->addSeparator();
        else
            menu->addAction(m_actions.value(int(Info(i).action)));
    }
    return menu;
}

bool DebugController::isDebugging() const
{
    return m_engine.state() == DebugEngine::State::Paused || m_engine.state() == DebugEngine::State::Running;
}

void DebugController::endSession()
{
    stopAnimating();
    m_afterStart = {};
    m_builtText.clear();
    m_keptText.clear();
    if (m_engine.state() == DebugEngine::State::Off)
        return;
    m_engine.shutdown();
    emit executionLineChanged(-1, -1);
    emit executionPlaceChanged(QString(), -1);
    emit statusMessage(tr("Debugging ended"));
}

QString DebugController::sourceFileName() const
{
    const QString path = m_path ? m_path() : QString();
    return path.isEmpty() ? QStringLiteral("untitled.M51") : QFileInfo(path).fileName();
}

void DebugController::setBreakpoints(const QSet<int>& lines)
{
    m_breakpoints = lines;
    if (isDebugging()) {
        const std::set<int> real = m_engine.setSourceBreakpoints(sourceFileIndex(), std::set<int>(lines.begin(), lines.end()));
        m_breakpoints = QSet<int>(real.begin(), real.end());
    }
    emit breakpointsChanged(m_breakpoints);
}

void DebugController::switchSource(const QString& previousPath)
{
    const QString path = m_path ? m_path() : QString();
    if (!previousPath.isEmpty())
        m_otherFileBreakpoints.insert(QFileInfo(previousPath).absoluteFilePath(), m_breakpoints);
    const QSet<int> lines = m_otherFileBreakpoints.take(QFileInfo(path).absoluteFilePath());
    if (isDebugging())
        m_builtText = m_text ? m_text() : QByteArray();
    setBreakpoints(lines);
}

bool DebugController::isProgramFile(const QString& path) const
{
    if (!isDebugging() || path.isEmpty())
        return false;
    const QFileInfo wanted(path);
    for (const std::string& file : m_engine.program().files)
        if (!file.empty() && QFileInfo(QString::fromStdString(file)) == wanted)
            return true;
    return false;
}

void DebugController::toggleBreakpoint(int line)
{
    if (line < 0)
        return;
    QSet<int> lines = m_breakpoints;
    if (!lines.remove(line)) {
        // A line without code gets the breakpoint of the next code line; a
        // second toggle on the same line takes that one away again.
        const auto real = isDebugging() ? m_engine.program().lineTable().lineWithCode(sourceFileIndex(), line)
                                        : std::optional<int>(line);
        if (real && lines.contains(*real))
            lines.remove(*real);
        else
            lines.insert(line);
    }
    setBreakpoints(lines);
}

void DebugController::trigger(Action which)
{
    switch (which) {
    case Action::Stop:
        stopAnimating();
        m_engine.stop();
        return;
    case Action::Reset:
        stopAnimating();
        m_engine.reset();
        return;
    case Action::ShowSimulator:
        showSimulatorWindow();
        return;
    case Action::ToggleBreakpoint:
        toggleBreakpoint(m_caretLine ? m_caretLine() : -1);
        return;
    case Action::StepBack:
        m_engine.stepBack();
        return;
    case Action::ReverseContinue:
        reverseContinue();
        return;
    case Action::SaveState:
    case Action::LoadState:
        saveOrLoadState(which == Action::SaveState);
        return;
    default:
        break;
    }
    if (m_engine.state() == DebugEngine::State::Running || m_engine.state() == DebugEngine::State::Starting
        || m_animating)
        return;
    const bool stepping = which == Action::StepLine || which == Action::StepInto || which == Action::StepOut;
    ensureStarted([this, which] {
        switch (which) {
        case Action::Run:
            m_engine.run();
            break;
        case Action::StepLine:
            m_engine.stepLine();
            break;
        case Action::StepInto:
            m_engine.stepInto();
            break;
        case Action::StepOut:
            m_engine.stepOut();
            break;
        case Action::RunToCaret:
            if (!m_engine.runToLine({sourceFileIndex(), m_caretLine ? m_caretLine() : -1}).isEmpty())
                emit statusMessage(tr("No code at or after the caret line."));
            break;
        case Action::Animate:
            m_animating = true;
            updateActions();
            animateStep();
            break;
        default:
            break;
        }
    }, !stepping);
}

// One line of Animate; the next follows the pause after its stop.
void DebugController::animateStep()
{
    if (!m_animating || !m_engine.isPaused())
        return;
    // A jump to itself is where the program ends: stepping over it would never finish.
    const Program& program = m_engine.program();
    const uint16_t pc = m_engine.machine().pc;
    auto at = [&](unsigned a) { return a < program.code.size() ? program.code[a] : uint8_t(0xFF); };
    const bool selfJump = (at(pc) == 0x80 && at(pc + 1u) == 0xFE) || (at(pc) == 0x02 && (at(pc + 1u) << 8 | at(pc + 2u)) == pc)
                          || ((at(pc) & 0x1F) == 0x01 && (((pc + 2u) & 0xF800) | ((at(pc) & 0xE0u) << 3) | at(pc + 1u)) == pc);
    if (selfJump) {
        stopAnimating();
        emit statusMessage(tr("Animate: the program ends here (a jump to itself)."));
        return;
    }
    m_engine.stepLine();
}

void DebugController::stopAnimating()
{
    m_animateTimer.stop();
    if (!std::exchange(m_animating, false))
        return;
    updateActions();
}

void DebugController::reverseContinue()
{
    if (!m_engine.canStepBack())
        return;
    if (!m_engine.reverseContinue(WatchedBytes(m_watches)))
        emit statusMessage(tr("No earlier breakpoint or watch change: back at the oldest step kept."));
}

// Errors are "path: why", in the problem list like a build's.
void DebugController::saveOrLoadState(bool save)
{
    if (!m_engine.canSaveState())
        return;
    QString path;
    if (m_askStateFile) {
        path = m_askStateFile(save);
    } else {
        const QString source = m_path ? m_path() : QString();
        const QString suggested = source.isEmpty() ? QString()
                                                   : QFileInfo(source).path() + QLatin1Char('/')
                                                         + QFileInfo(source).completeBaseName() + QStringLiteral(".state");
        const QString filter = tr("Simulation states (*.state);;All files (*)");
        path = save ? QFileDialog::getSaveFileName(m_window, tr("Save State"), suggested, filter)
                    : QFileDialog::getOpenFileName(m_window, tr("Load State"), suggested, filter);
    }
    if (path.isEmpty())
        return;
    const QString error = save ? m_engine.saveState(path) : m_engine.loadState(path);
    if (!error.isEmpty()) {
        emit problems({error});
        return;
    }
    emit statusMessage((save ? tr("State saved to %1") : tr("State loaded from %1")).arg(QFileInfo(path).fileName()));
}

void DebugController::onStopped(DebugEngine::StopCause cause)
{
    if (m_animating && cause != DebugEngine::StopCause::Started && cause != DebugEngine::StopCause::Changed) {
        if (cause == DebugEngine::StopCause::StepDone)
            m_animateTimer.start(int(m_engine.options().animatePauseMs));
        else
            stopAnimating();
    }
    updateActions();
    if (cause == DebugEngine::StopCause::Started) {
        // The breakpoints of the program's other files (set while the
        // editor showed them) hold from the start as well.
        const std::vector<std::string>& files = m_engine.program().files;
        for (size_t i = 0; i < files.size(); ++i) {
            const auto kept = m_otherFileBreakpoints.constFind(QFileInfo(QString::fromStdString(files[i])).absoluteFilePath());
            if (!files[i].empty() && kept != m_otherFileBreakpoints.constEnd())
                m_engine.setSourceBreakpoints(int(i), std::set<int>(kept->begin(), kept->end()));
        }
        setBreakpoints(m_breakpoints);
        showSimulatorWindow();
        auto then = std::move(m_afterStart);
        m_afterStart = {};
        if (then) {
            then();
            if (m_engine.state() == DebugEngine::State::Running)
                return;
        }
    }
    emitExecutionLine();
}

void DebugController::emitExecutionLine()
{
    const auto line = m_engine.currentLine();
    const std::vector<std::string>& files = m_engine.program().files;
    const QString file = line && line->file >= 0 && size_t(line->file) < files.size()
                             ? QString::fromStdString(files[size_t(line->file)])
                             : QString();
    const int here = line && line->file == sourceFileIndex() ? line->line : -1;
    const int asmLine = m_engine.program().moduleAssemblies.empty() ? m_engine.currentAsmLine().value_or(-1)
                                                                    : moduleAssemblyLine();
    emit executionLineChanged(here, asmLine);
    emit executionPlaceChanged(file, line ? line->line : -1);
}

int DebugController::moduleAssemblyLine()
{
    const Program& program = m_engine.program();
    const uint16_t pc = m_engine.machine().pc;
    const toolchain::ModuleAssembly* module = program.moduleAssemblyAt(pc);
    const int index = module ? int(module - program.moduleAssemblies.data()) : -1;
    if (index != std::exchange(m_shownAssembly, index))
        emit moduleAssemblyShown(module ? cp1250::decode(std::string_view(module->text))
                                        : tr("; The program counter is in code without an assembly listing\n"
                                             "; (SDCC's library or start-up code): the Disassembly pane shows it."));
    return module ? module->map.asmLineAt(pc).value_or(-1) : -1;
}

int DebugController::sourceFileIndex() const
{
    const QString path = m_path ? m_path() : QString();
    const std::vector<std::string>& files = m_engine.program().files;
    if (path.isEmpty())
        return 0;
    const QFileInfo current(path);
    for (size_t i = 0; i < files.size(); ++i)
        if (!files[i].empty() && QFileInfo(QString::fromStdString(files[i])) == current)
            return int(i);
    return 0;
}

void DebugController::onStateChanged(DebugEngine::State state)
{
    if (state == DebugEngine::State::Running)
        emit executionLineChanged(-1, -1);
        emit executionPlaceChanged(QString(), -1);
    updateActions();
}

void DebugController::updateActions()
{
    const DebugEngine::State state = m_engine.state();
    const bool running = state == DebugEngine::State::Running || state == DebugEngine::State::Starting || m_worker;
    for (Action a : {Action::Run, Action::StepLine, Action::StepInto, Action::StepOut, Action::RunToCaret, Action::Animate})
        m_actions.value(int(a))->setEnabled(!running && !m_animating);
    m_actions.value(int(Action::Stop))->setEnabled(running || m_animating);
    if (m_window)
        m_window->setAnimating(m_animating);
    m_actions.value(int(Action::Reset))->setEnabled(isDebugging());
    // s51 keeps no history and no state files: these stay off there.
    const bool back = !running && m_engine.canStepBack();
    m_actions.value(int(Action::StepBack))->setEnabled(back);
    m_actions.value(int(Action::ReverseContinue))->setEnabled(back);
    const bool files = !running && m_engine.canSaveState();
    m_actions.value(int(Action::SaveState))->setEnabled(files);
    m_actions.value(int(Action::LoadState))->setEnabled(files);
    const bool core = m_engine.options().kind == SimulatorKind::Core;
    for (Action a : {Action::ShowCoverage, Action::ShadeHotLines, Action::KeepCoverage}) {
        m_actions.value(int(a))->setEnabled(core);
        m_actions.value(int(a))->setToolTip(core ? QString()
                                                 : tr("Coverage and the cycle profile need the built-in simulator "
                                                      "(Setup ▸ Simulator)"));
    }
}

} // namespace m51dbg
