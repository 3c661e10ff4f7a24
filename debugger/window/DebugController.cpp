#include "DebugController.h"

#include "ProgramBuilder.h"
#include "SimulatorWindow.h"

#include <QAction>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>

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
    };
    return infos[index];
}
constexpr int ActionCount = 9;

} // namespace

DebugController::DebugController(QObject* parent) : QObject(parent)
{
    for (int i = 0; i < ActionCount; ++i) {
        const ActionInfo& info = Info(i);
        auto* action = new QAction(tr(info.text), this);
        action->setObjectName(info.name);
        if (!info.key.isEmpty())
            action->setShortcut(info.key);
        connect(action, &QAction::triggered, this, [this, which = info.action] { trigger(which); });
        m_actions.insert(int(info.action), action);
    }
    connect(&m_engine, &DebugEngine::stopped, this, &DebugController::onStopped);
    connect(&m_engine, &DebugEngine::stateChanged, this, &DebugController::onStateChanged);
    connect(&m_engine, &DebugEngine::failed, this, [this](const QString& message) {
        m_afterStart = {};
        emit problems({message});
        emit executionLineChanged(-1, -1);
    });
    updateActions();
}

DebugController::~DebugController()
{
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

void DebugController::setSimulator(SimulatorKind kind)
{
    EngineOptions options = m_engine.options();
    options.kind = kind;
    m_engine.setOptions(options);
}

SimulatorWindow* DebugController::simulatorWindow()
{
    if (!m_window) {
        m_window = new SimulatorWindow(&m_engine, nullptr, &m_board, &m_watches);
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
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
    for (int i = 0; i < ActionCount; ++i) {
        if (i == 6 || i == 7 || i == 8)
            menu->addSeparator();
        menu->addAction(m_actions.value(int(Info(i).action)));
    }
    return menu;
}

bool DebugController::isDebugging() const
{
    return m_engine.state() == DebugEngine::State::Paused || m_engine.state() == DebugEngine::State::Running;
}

void DebugController::setBreakpoints(const QSet<int>& lines)
{
    m_breakpoints = lines;
    if (isDebugging()) {
        const std::set<int> real = m_engine.setSourceBreakpoints(std::set<int>(lines.begin(), lines.end()));
        m_breakpoints = QSet<int>(real.begin(), real.end());
    }
    emit breakpointsChanged(m_breakpoints);
}

void DebugController::toggleBreakpoint(int line)
{
    if (line < 0)
        return;
    QSet<int> lines = m_breakpoints;
    if (!lines.remove(line)) {
        // A line without code gets the breakpoint of the next code line; a
        // second toggle on the same line takes that one away again.
        const auto real = isDebugging() ? m_engine.program().map.sourceLineWithCode(line) : std::optional<int>(line);
        if (real && lines.contains(*real))
            lines.remove(*real);
        else
            lines.insert(line);
    }
    setBreakpoints(lines);
}

// Starts the simulator with a fresh build when the source changed since the
// program in it was built (or none runs), then does `then`.
bool DebugController::ensureStarted(std::function<void()> then, bool afterFreshStart)
{
    const QByteArray text = m_text ? m_text() : QByteArray();
    if (isDebugging() && (text == m_builtText || text == m_keptText)) {
        then();
        return true;
    }
    if (isDebugging() && m_askRebuild && !m_askRebuild()) {
        m_keptText = text;
        then();
        return true;
    }
    const QString path = m_path ? m_path() : QString();
    const QString name = path.isEmpty() ? QStringLiteral("untitled.M51") : path;
    m_buildDir = std::make_unique<QTemporaryDir>();
    emit statusMessage(tr("Building %1 …").arg(QFileInfo(name).fileName()));
    const BuildOutput output = IsAssemblySource(name) ? BuildAssembly(text.toStdString(), name, m_buildDir->path())
                                                      : BuildM51(text.toStdString(), name, m_buildDir->path());
    if (!output.ok) {
        QStringList messages;
        for (const QString& error : output.errors)
            messages << error;
        emit buildFailed(output.buildErrors);
        emit problems(messages);
        emit statusMessage(tr("The program has errors; nothing to debug."));
        return false;
    }
    m_builtText = text;
    m_keptText.clear();
    emit built(QString::fromLatin1(output.assembly));
    // The board beside the source; its mistakes are shown, the rest of it still works.
    const QStringList boardErrors = m_board.load(path.isEmpty() ? QString() : BoardSession::BoardPathFor(path));
    if (!boardErrors.isEmpty())
        emit problems(boardErrors);
    m_watches.setNames(CollectSourceNames(text.toStdString()));
    // The build's "Building …" gives way to what runs now.
    emit statusMessage(tr("Debugging %1").arg(QFileInfo(name).fileName()));
    // A fresh start shows the reset state: a step key then stops on the first
    // line instead of stepping past it.
    m_afterStart = afterFreshStart ? std::move(then) : std::function<void()>();
    m_engine.start(output.program);
    return true;
}

void DebugController::trigger(Action which)
{
    switch (which) {
    case Action::Stop:
        m_engine.stop();
        return;
    case Action::Reset:
        m_engine.reset();
        return;
    case Action::ShowSimulator:
        showSimulatorWindow();
        return;
    case Action::ToggleBreakpoint:
        toggleBreakpoint(m_caretLine ? m_caretLine() : -1);
        return;
    default:
        break;
    }
    if (m_engine.state() == DebugEngine::State::Running || m_engine.state() == DebugEngine::State::Starting)
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
            if (!m_engine.runToSourceLine(m_caretLine ? m_caretLine() : -1))
                emit statusMessage(tr("No code at or after the caret line."));
            break;
        default:
            break;
        }
    }, !stepping);
}

void DebugController::onStopped(DebugEngine::StopCause cause)
{
    if (cause == DebugEngine::StopCause::Started) {
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
    emit executionLineChanged(m_engine.currentSourceLine().value_or(-1), m_engine.currentAsmLine().value_or(-1));
}

void DebugController::onStateChanged(DebugEngine::State state)
{
    if (state == DebugEngine::State::Running)
        emit executionLineChanged(-1, -1);
    updateActions();
}

void DebugController::updateActions()
{
    const DebugEngine::State state = m_engine.state();
    const bool running = state == DebugEngine::State::Running || state == DebugEngine::State::Starting;
    for (Action a : {Action::Run, Action::StepLine, Action::StepInto, Action::StepOut, Action::RunToCaret})
        m_actions.value(int(a))->setEnabled(!running);
    m_actions.value(int(Action::Stop))->setEnabled(running);
    m_actions.value(int(Action::Reset))->setEnabled(isDebugging());
}

} // namespace m51dbg
