// What comes into a history from outside: the inputs a user gives between
// steps (bytes for RXD, pins driven, memory written, the PC set), recorded
// with the step they came at and applied again on replay, and the board's
// answers to the pins a step moved, recorded with the report and put back on
// replay instead of asking the board again. (The recording and replaying of
// steps: History.cpp.)
#include "insight/History.h"

#include <algorithm>
#include <utility>

namespace insight {

void History::record(Input input)
{
    if (m_position < m_newest) {
        // A new present: the recorded future is gone.
        while (!m_checkpoints.empty() && m_checkpoints.back().position > m_position)
            m_checkpoints.pop_back();
        while (!m_inputs.empty() && m_inputs.back().at >= m_position)
            m_inputs.pop_back();
        while (!m_answers.empty() && m_answers.back().key >= m_reports)
            m_answers.pop_back();
        while (!m_lineAnswers.empty() && m_lineAnswers.back().at >= m_position)
            m_lineAnswers.pop_back();
        markTraced(m_position, UINT64_MAX);
        m_newest = m_position;
        // Not known exactly: as if every step since the checkpoint was made one by one.
        m_work = m_position - m_checkpoints.back().position;
    }
    input.at = m_position;
    apply(input);
    m_inputs.push_back(std::move(input));
    m_lastDrives = drives();
}

void History::apply(const Input& input)
{
    switch (input.kind) {
    case Input::Kind::Serial:
        m_machine.sendSerial(reinterpret_cast<const uint8_t*>(input.bytes.data()), input.bytes.size());
        break;
    case Input::Kind::Pin:
        m_machine.drivePin(input.a, input.b, input.c);
        break;
    case Input::Kind::Write:
        m_machine.write(static_cast<sim::Space>(input.c), input.a, static_cast<uint8_t>(input.b));
        break;
    case Input::Kind::SetPc:
        m_machine.setPc(static_cast<uint16_t>(input.a));
        break;
    case Input::Kind::Drives:
        setDrives(input.b);
        break;
    }
    m_lastDrives = drives();
}

void History::applyInputsAt(uint64_t position)
{
    auto it = std::lower_bound(m_inputs.begin(), m_inputs.end(), position,
                               [](const Input& input, uint64_t at) { return input.at < at; });
    for (; it != m_inputs.end() && it->at == position; ++it)
        apply(*it);
}

void History::sendSerial(const std::string& bytes)
{
    if (!bytes.empty())
        record({0, Input::Kind::Serial, bytes, 0, 0, 0});
}

void History::drivePin(unsigned port, unsigned bit, int level)
{
    record({0, Input::Kind::Pin, {}, port, bit, level});
}

void History::write(sim::Space space, unsigned address, uint8_t value)
{
    record({0, Input::Kind::Write, {}, address, value, static_cast<int>(space)});
}

void History::setPc(uint16_t pc)
{
    record({0, Input::Kind::SetPc, {}, pc, 0, 0});
}

void History::setDrives(uint32_t wanted)
{
    const uint32_t differ = wanted ^ drives();
    for (unsigned bit = 0; bit < 32; ++bit)
        if (differ & (1u << bit))
            m_machine.drivePin(bit / 8, bit % 8, wanted & (1u << bit) ? -1 : 0);
}

void History::noteOutsideDrives()
{
    if (const uint32_t now = drives(); now != m_lastDrives)
        record({0, Input::Kind::Drives, {}, 0, now, -1});
}

// Replaying: the drives kept for the report `key` in `answers`, if any, put
// back (the reports of their own changes go nowhere).
template <class Answer>
void History::putBackAnswer(const Answers<Answer>& answers, uint64_t key)
{
    const size_t i = answers.countBefore([key](const Answer& answer) { return answer.key < key; });
    if (i < answers.size() && answers[i].key == key) {
        reportsAre(Reports::Passed);
        setDrives(answers[i].drives);
        m_lastDrives = answers[i].drives;
        reportsAre(Reports::PutBack);
    }
}

template void History::putBackAnswer(const Answers<PinAnswer>& answers, uint64_t key);  // for Muted

// A report of a new step told to the listener (`tell`); the drives it
// changes in answer are kept (`keep`). The reports of its own drives are
// passed on to it meanwhile.
template <class Tell, class Keep>
void History::answer(Tell tell, Keep keep)
{
    const uint32_t before = drives();
    reportsAre(Reports::Passed);
    tell();
    reportsAre(Reports::Answered);
    if (const uint32_t after = drives(); after != before) {
        keep(after);
        m_lastDrives = after;
    }
}

void History::answerPins(uint64_t cycle, unsigned port, uint8_t levels)
{
    const uint64_t report = m_reports++;
    answer([&] { m_listener->pinsChanged(cycle, port, levels); },
           [&](uint32_t kept) { m_answers.push_back({report, kept}); });
}

// An edge of the line in a step (pin reports: Muted). A new one: the
// listener hears of it and what it drives in answer is kept with the edge's
// cycle, where the replay (following the line as long as there are any
// answers) makes the same edge; a replayed one has those drives put back.
void History::lineReportInStep(uint64_t cycle, uint8_t levels)
{
    if (m_inStep == Reports::PutBack) {
        putBackAnswer(m_lineAnswers, cycle);
        return;
    }
    if (m_inStep != Reports::Answered)
        return;
    answer([&] { m_listener->lineMoved(cycle, levels); },
           [&](uint32_t kept) { m_lineAnswers.push_back({cycle, kept, stepInProgress()}); });
}

}  // namespace insight
