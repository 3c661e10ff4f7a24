// Going back through a history: by steps, by line, and to the last step at a
// breakpoint or that wrote a watched byte; what a step began with; the bytes
// a history holds. (The recording and replaying of steps: History.cpp.)
#include "insight/History.h"

#include <algorithm>

namespace insight {

namespace {
constexpr uint32_t NotAnInstruction = sim::RunRecord::kNoInstruction;
constexpr uint32_t InterruptEntry = sim::RunRecord::kInterruptEntry;
}

bool History::stepBack(uint64_t steps)
{
    return steps <= m_position && goTo(m_position - steps);
}

bool History::stepBackLine(const std::function<int(uint16_t)>& lineOf)
{
    if (m_position == 0 || m_position - 1 < oldest())
        return false;
    // A step that was no instruction (an interrupt entry, idle) is a line of its own.
    auto key = [&](uint64_t q) {
        const uint32_t trace = traceOf(q);
        return trace & NotAnInstruction ? -2 : lineOf(static_cast<uint16_t>(trace));
    };
    uint64_t q = m_position - 1;
    const int line = key(q);
    while (q > oldest() && key(q - 1) == line)
        --q;
    return goTo(q);
}

bool History::reverseContinue(const std::vector<uint16_t>& breakpoints, const std::vector<Watch>& watches)
{
    const uint64_t from = m_position;
    if (from == 0 || from <= oldest())
        return false;
    std::vector<bool> isBreak(65536, false);
    for (uint16_t address : breakpoints)
        isBreak[address] = true;
    auto readAll = [&] {
        std::vector<uint8_t> values;
        values.reserve(watches.size());
        for (const Watch& w : watches)
            values.push_back(m_machine.read(w.space, w.address));
        return values;
    };
    // Segment by segment from the newest checkpoint before `from` back: the
    // last hit in a segment is the one wanted.
    for (size_t i = m_checkpoints.size(); i-- > 0;) {
        const uint64_t begin = std::max(m_checkpoints[i].position, oldest());
        if (begin >= from)
            continue;
        const uint64_t end = std::min(from, i + 1 < m_checkpoints.size() ? m_checkpoints[i + 1].position : from);
        std::optional<uint64_t> found;
        if (!watches.empty()) {
            if (!goTo(begin))
                return false;
            std::vector<uint8_t> before = readAll();
            while (m_position < end) {
                const uint64_t q = m_position;
                applyInputsAt(q);
                advance();
                std::vector<uint8_t> after = readAll();
                if (after != before)
                    found = q;
                before = std::move(after);
            }
        }
        for (uint64_t q = end; q-- > std::max(begin, found ? *found + 1 : begin);) {
            const uint32_t trace = traceOf(q);
            if (!(trace & NotAnInstruction) && isBreak[trace & 0xFFFF] && q < from) {
                found = q;
                break;
            }
        }
        if (found)
            return goTo(*found);
    }
    goTo(from);
    return false;
}

std::optional<History::Traced> History::traced(uint64_t position) const
{
    if (position < oldest() || position >= m_newest)
        return std::nullopt;
    // Making the trace runs steps again and comes back: the history reads the same.
    const uint32_t trace = const_cast<History*>(this)->traceOf(position);
    Traced t;
    t.pc = static_cast<uint16_t>(trace);
    t.kind = trace & InterruptEntry     ? Traced::Kind::InterruptEntry
             : trace & NotAnInstruction ? Traced::Kind::Idle
                                        : Traced::Kind::Instruction;
    return t;
}

size_t History::memoryBytes() const
{
    size_t bytes = m_trace.size() * sizeof(uint32_t) + m_spare.bytes().capacity();
    for (const Checkpoint& c : m_checkpoints)
        bytes += c.snapshot.bytes().size() + sizeof c;
    for (const Input& input : m_inputs)
        bytes += sizeof input + input.bytes.size();
    bytes += m_answers.size() * sizeof(PinAnswer) + m_lineAnswers.size() * sizeof(LineAnswer);
    return bytes;
}

} // namespace insight
