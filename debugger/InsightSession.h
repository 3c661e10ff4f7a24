#pragma once
// Coverage and cycle profile of the program being debugged on the built-in
// simulator: while recording, every step of the session's machine goes
// through an insight Recorder (branch outcomes, time with what a procedure
// calls, interrupt handlers apart); the line counts and own cycles come from
// the core's execution counters in any case. After each stop the figures are
// built afresh as an insight Report, which the editor's marks and the profile
// table show. A Reset starts them anew, or they add up across runs when kept.
// Stepping back shows the figures of the last stop at or before that moment
// (none before the first): the counters themselves only ever grow.
// On s51 there are none.

#include "debugger/DebugEngine.h"

#include "insight/Insight.h"

#include <QObject>

#include <memory>

namespace m51dbg {

class InsightSession : public QObject {
    Q_OBJECT
public:
    explicit InsightSession(DebugEngine* engine, QObject* parent = nullptr);
    ~InsightSession() override;

    // Branch outcomes and inclusive cycles cost a little speed: recorded only
    // while wanted. Switching it on during a session starts the figures anew.
    void setRecording(bool on);
    bool recording() const { return m_recording; }
    // Whether a Reset keeps the figures of the runs before it.
    void setKeptAcrossRuns(bool keep) { m_keep = keep; }
    bool keptAcrossRuns() const { return m_keep; }

    // The figures at the last stop; null without a session on the built-in simulator.
    std::shared_ptr<const insight::Report> report() const { return m_report; }
    // Forgets the figures so far (the program runs on from here).
    void clear();

signals:
    // After each stop of the built-in simulator, a clear and a new session.
    void reportChanged();

private:
    void onStopped(DebugEngine::StopCause cause);
    void startSession();
    void attachRecorder();
    void rebuild();
    // The figures of the moment a step back or forward through the history reached.
    void showPast();
    // The session's machine is still the engine's (a new start or a shutdown
    // drops it before the next stop tells).
    bool live() const { return m_machine && m_engine->core() == m_machine; }

    DebugEngine* m_engine;
    sim::Machine* m_machine = nullptr;  // the session's, null without one
    insight::ProgramInfo m_program;
    std::vector<insight::ProcedureInfo> m_procedures;
    std::unique_ptr<insight::Recorder> m_recorder;
    std::shared_ptr<const insight::Report> m_report;
    // The figures at each stop of the present, by the machine's cycle count then.
    std::vector<std::pair<uint64_t, std::shared_ptr<const insight::Report>>> m_atStops;
    uint64_t m_cyclesBefore = 0;  // cycles of the runs before the last kept Reset
    bool m_recording = true;
    bool m_keep = false;
};

} // namespace m51dbg
