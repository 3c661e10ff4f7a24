#include "debugger/InsightSession.h"

#include "insight/Recorder.h"

namespace m51dbg {

InsightSession::InsightSession(DebugEngine* engine, QObject* parent) : QObject(parent), m_engine(engine)
{
    connect(engine, &DebugEngine::stopped, this, &InsightSession::onStopped);
}

InsightSession::~InsightSession()
{
    if (m_recorder && live())
        m_engine->setRecorder(nullptr);
}

void InsightSession::setRecording(bool on)
{
    if (on == m_recording)
        return;
    m_recording = on;
    if (!live())
        return;
    if (!on) {
        m_engine->setRecorder(nullptr);
        m_recorder.reset();
    } else {
        attachRecorder();
        clear();  // the counts so far were not recorded: their branches are unknown
        return;
    }
    rebuild();
}

void InsightSession::attachRecorder()
{
    m_recorder = std::make_unique<insight::Recorder>(*m_machine, insight::ProcedureIndex(m_procedures), m_procedures.size());
    m_engine->setRecorder(m_recorder.get());
}

void InsightSession::clear()
{
    m_cyclesBefore = 0;
    if (!live())
        return;
    if (m_recorder)
        m_recorder->clear(*m_machine);
    else
        m_machine->clearExecutionCounts();
    // The run goes on from here: its cycles so far are not counted.
    m_cyclesBefore = 0 - m_machine->cycles();
    m_atStops.clear();
    rebuild();
}

void InsightSession::startSession()
{
    m_engine->setRecorder(nullptr);
    m_recorder.reset();
    m_machine = m_engine->core();
    m_cyclesBefore = 0;
    m_atStops.clear();
    if (!m_machine) {
        m_report.reset();
        emit reportChanged();
        return;
    }
    const Program& program = m_engine->program();
    m_program = insight::InfoOf(program);
    m_procedures = insight::FindProcedures(m_program);
    if (m_recording)
        attachRecorder();
    m_machine->clearExecutionCounts();
    rebuild();
}

void InsightSession::onStopped(DebugEngine::StopCause cause)
{
    if (cause == DebugEngine::StopCause::Started) {
        startSession();
        return;
    }
    if (!live())
        return;
    if (m_engine->isReplaying()) {
        showPast();
        return;
    }
    if (cause == DebugEngine::StopCause::Reset) {
        m_atStops.clear();
        if (m_recorder)
            m_recorder->machineReset();
        if (!m_keep) {
            clear();
            return;
        }
        // Nothing ran since the reset: the counts hold every run so far.
        rebuild();
        uint64_t cycles = m_report->idleCycles;
        for (const insight::ProcedureStats& procedure : m_report->procedures)
            cycles += procedure.ownCycles;
        m_cyclesBefore = cycles - m_machine->cycles();
    }
    rebuild();
}

void InsightSession::rebuild()
{
    auto report = std::make_shared<insight::Report>(
        insight::BuildReport(*m_machine, m_program, m_procedures, m_recorder.get()));
    report->totalCycles += m_cyclesBefore;
    m_report = std::move(report);
    // A stop of the present: stops of a future abandoned by stepping back go.
    const uint64_t now = m_machine->cycles();
    while (!m_atStops.empty() && m_atStops.back().first >= now)
        m_atStops.pop_back();
    constexpr size_t Kept = 500;
    if (m_atStops.size() >= Kept)
        m_atStops.erase(m_atStops.begin(), m_atStops.begin() + Kept / 2);
    m_atStops.emplace_back(now, m_report);
    emit reportChanged();
}

void InsightSession::showPast()
{
    const uint64_t now = m_machine->cycles();
    std::shared_ptr<const insight::Report> report;
    for (const auto& [cycles, atStop] : m_atStops)
        if (cycles <= now)
            report = atStop;
    m_report = std::move(report);
    emit reportChanged();
}

} // namespace m51dbg
