// How Debug gets its program: built again when the source changed since the
// program in the simulator was built (C with SDCC on a thread of its own, the
// rest at once), then started with the board, the names and the stack it reads.
#include "debugger/window/DebugController.h"

#include "debugger/ProgramBuilder.h"

#include <QFileInfo>
#include <QThread>

#include <memory>
#include <utility>

namespace m51dbg {

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
    if (m_worker)
        return false;  // a C build runs; its program starts when it is done
    const QString path = m_path ? m_path() : QString();
    const QString name = path.isEmpty() ? QStringLiteral("untitled.M51") : path;
    m_buildDir = std::make_unique<QTemporaryDir>();
    if (IsCSource(name)) {
        if (m_saveSource && !m_saveSource())
            return false;
        buildC(text, name, std::move(then), afterFreshStart);
        return true;
    }
    emit statusMessage(tr("Building %1 …").arg(QFileInfo(name).fileName()));
    const BuildOutput output = m_build                 ? m_build(m_buildDir->path())
                               : IsAssemblySource(name) ? BuildAssembly(text.toStdString(), name, m_buildDir->path())
                                                        : BuildM51(text.toStdString(), name, m_buildDir->path());
    return startBuilt(output, text, path, std::move(then), afterFreshStart);
}

// SDCC takes seconds: the C build runs on a thread of its own while the
// window goes on; the Run menu waits (its actions are off) until it is done.
void DebugController::buildC(const QByteArray& text, const QString& path, std::function<void()> then,
                             bool afterFreshStart)
{
    emit statusMessage(tr("Building %1 with SDCC …").arg(QFileInfo(path).fileName()));
    auto result = std::make_shared<BuildOutput>();
    const QString dir = m_buildDir->path();
    const QString sdcc = m_sdccProgram;
    m_worker = QThread::create([result, path, dir, sdcc] { *result = BuildC(path, dir, sdcc); });
    connect(m_worker, &QThread::finished, this, [this, result, text, path, then, afterFreshStart] {
        m_worker->deleteLater();
        m_worker = nullptr;
        updateActions();
        startBuilt(*result, text, path, then, afterFreshStart);
    });
    m_worker->start();
    updateActions();
}

bool DebugController::startBuilt(const BuildOutput& output, const QByteArray& text, const QString& path,
                                 std::function<void()> then, bool afterFreshStart)
{
    const QString name = path.isEmpty() ? QStringLiteral("untitled.M51") : path;
    if (!output.ok) {
        QStringList messages;
        for (const QString& error : output.messages())
            messages << error;
        emit buildFailed(output.program.diagnostics);
        emit problems(messages);
        emit statusMessage(tr("The program has errors; nothing to debug."));
        return false;
    }
    m_builtText = text;
    m_keptText.clear();
    m_shownAssembly = -2;
    emit built(QString::fromLatin1(output.program.assembly));
    // The board beside the source; its mistakes are shown, the rest of it still works.
    const QStringList boardErrors = m_board.load(path.isEmpty() ? QString() : BoardSession::BoardPathFor(path));
    // The names of the watches, the break conditions and the call stack: the program's own.
    m_watches.setNames(NamesOf(output.program));
    m_engine.setConditionNames(NamesOf(output.program));
    m_stack.setProcedures(ProceduresOf(output.program));
    // The build's "Building …" gives way to what runs now.
    emit statusMessage(tr("Debugging %1").arg(QFileInfo(name).fileName()));
    // After it, so that the board's mistakes stay in view.
    if (!boardErrors.isEmpty())
        emit problems(boardErrors);
    // A fresh start shows the reset state: a step key then stops on the first
    // line instead of stepping past it.
    m_afterStart = afterFreshStart ? std::move(then) : std::function<void()>();
    m_engine.start(output.program);
    return true;
}

} // namespace m51dbg
