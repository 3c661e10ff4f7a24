#include "debugger/window/StackModel.h"

#include "sim/Chip.h"

namespace m51dbg {

StackModel::StackModel(DebugEngine* engine, QObject* parent) : QObject(parent), m_engine(engine)
{
    connect(&m_timer, &QTimer::timeout, this, &StackModel::update);
    connect(m_engine, &DebugEngine::stopped, this, &StackModel::update);
    m_timer.follow(m_engine);
}

void StackModel::setProcedures(std::vector<CodeName> procedures)
{
    m_procedures = std::move(procedures);
    update();
}

bool StackModel::hasTimer2() const
{
    const sim::Chip* chip = sim::findChip(m_engine->options().cpuType.toStdString());
    return chip && chip->timer2;
}

void StackModel::update()
{
    const DebugEngine::State state = m_engine->state();
    if (state != DebugEngine::State::Paused && state != DebugEngine::State::Running) {
        m_view = {};
        m_interrupts.clear();
    } else {
        const Program& program = m_engine->program();
        m_view = ReadStack(m_engine->machine(), program, m_procedures, hasTimer2());
        m_interrupts = InterruptStates(m_engine->machine(), m_view, hasTimer2());
    }
    emit changed();
}

} // namespace m51dbg
