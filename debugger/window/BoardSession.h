#pragma once
// The virtual board of the program being debugged: NAME.board beside the
// source, read when a session starts, wired to the built-in simulator's pins
// for each start (a new machine each time) and powered on again at a reset.
// The Board pane shows board(); the s51 backend has no pins to wire, so the
// board stays unattached there.

#include "debugger/DebugEngine.h"
#include "board/VirtualBoard.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace m51dbg {

class BoardSession : public QObject {
    Q_OBJECT
public:
    explicit BoardSession(DebugEngine* engine, QObject* parent = nullptr);
    ~BoardSession() override;

    // Reads the board file; a missing file means no board. The errors are
    // "file:line: message" lines; the lines without errors still make the board.
    QStringList load(const QString& boardPath);
    // The board file beside a source: prog.M51 -> prog.board.
    static QString BoardPathFor(const QString& sourcePath);
    QString path() const { return m_path; }

    board::VirtualBoard* board() const { return m_board.get(); }

signals:
    // A new board model (or none): the pane shows it.
    void boardChanged(board::VirtualBoard* board);

private:
    void onStopped(DebugEngine::StopCause cause);
    void onStateChanged(DebugEngine::State state);
    void rebuild();

    DebugEngine* m_engine;
    QString m_path;
    board::BoardDescription m_description;
    std::unique_ptr<board::VirtualBoard> m_board;
};

} // namespace m51dbg
