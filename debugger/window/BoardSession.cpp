#include "debugger/window/BoardSession.h"

#include "common/FileRead.h"
#include "common/FileWriteQt.h"

#include <QFile>
#include <QFileInfo>

namespace m51dbg {

BoardSession::BoardSession(DebugEngine* engine, QObject* parent) : QObject(parent), m_engine(engine)
{
    connect(m_engine, &DebugEngine::stopped, this, &BoardSession::onStopped);
    connect(m_engine, &DebugEngine::stateChanged, this, &BoardSession::onStateChanged);
}

BoardSession::~BoardSession()
{
    m_engine->setPinListener(nullptr);
}

QString BoardSession::BoardPathFor(const QString& sourcePath)
{
    const QFileInfo info(sourcePath);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".board");
}

QStringList BoardSession::load(const QString& boardPath)
{
    m_path = boardPath;
    QStringList errors;
    m_description = {};
    if (!boardPath.isEmpty() && QFileInfo::exists(boardPath)) {
        std::string why;
        const auto text = m51::readFileBounded(m51::filePathBytes(boardPath), m51::kInputLimit, why);
        if (!text) {
            errors << QStringLiteral("%1: %2").arg(boardPath, QString::fromLocal8Bit(why.data(), qsizetype(why.size())));
        } else {
            const board::BoardParse parse = board::ParseBoard(*text);
            m_description = parse.board;
            for (const board::BoardError& e : parse.errors)
                errors << (e.line > 0 ? QStringLiteral("%1:%2: %3").arg(boardPath).arg(e.line) : boardPath + QStringLiteral(": %1"))
                              .arg(QString::fromStdString(e.message));
        }
    }
    rebuild();
    return errors;
}

// A new model on the engine's current machine (when it has one).
void BoardSession::rebuild()
{
    m_engine->setPinListener(nullptr);
    if (m_board)
        m_board->release();
    m_board.reset();
    if (!m_description.parts.empty()) {
        m_board = std::make_unique<board::VirtualBoard>(m_description, m_engine->options().crystalHz);
        if (sim::Machine* core = m_engine->core()) {
            m_board->attach(core);
            m_engine->setPinListener(m_board.get());
        }
    }
    emit boardChanged(m_board.get());
}

void BoardSession::onStopped(DebugEngine::StopCause cause)
{
    if (cause == DebugEngine::StopCause::Started)
        rebuild();  // a new machine: the parts power on with it
    else if (cause == DebugEngine::StopCause::Reset && m_board)
        m_board->powerOn();
}

void BoardSession::onStateChanged(DebugEngine::State state)
{
    // Before a new machine is made, and after one is gone, the board lets go of it.
    if ((state == DebugEngine::State::Starting || state == DebugEngine::State::Off || state == DebugEngine::State::Failed)
        && m_board) {
        m_engine->setPinListener(nullptr);
        m_board->release();
    }
}

} // namespace m51dbg
