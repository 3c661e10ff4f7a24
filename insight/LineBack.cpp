#include "insight/LineBack.h"

#include "simrun/LineWalk.h"

namespace insight {

std::optional<uint64_t> PreviousLineStart(const History& history, const sim::Machine& machine,
                                          const toolchain::LineTable& lines, const toolchain::SourceMap& map)
{
    m51dbg::LineWalk walk;
    walk.begin(lines, map, machine.pc());
    auto lineOf = [&walk](uint16_t pc) { return walk.lineAt(pc); };
    using Kind = History::Traced::Kind;
    int depth = 0;  // before the step looked at, relative to now
    std::optional<toolchain::SourceLine> line;
    int lineDepth = 0;
    std::optional<uint64_t> start;
    for (uint64_t q = history.position(); q > history.oldest(); --q) {
        const auto step = history.traced(q - 1);
        if (!step)
            break;
        const uint8_t op = machine.read(sim::Space::Code, step->pc);
        if (step->kind == Kind::InterruptEntry || (step->kind == Kind::Instruction && m51dbg::IsCallOpcode(op)))
            --depth;
        else if (step->kind == Kind::Instruction && m51dbg::IsReturnOpcode(op))
            ++depth;
        if (!line) {
            if (step->kind != Kind::Instruction || depth > 0)
                continue;  // in a handler or procedure that has returned since
            line = lineOf(step->pc);
            lineDepth = depth;
            start = q - 1;
            continue;
        }
        if (depth > lineDepth)
            continue;
        // Interrupts taken and idle time right before the line belong to it,
        // as stepping over the line from its start runs them through.
        if (step->kind != Kind::Instruction) {
            if (depth == lineDepth)
                start = q - 1;
            continue;
        }
        if (depth < lineDepth || lineOf(step->pc) != *line)
            break;
        start = q - 1;
    }
    return start;
}

} // namespace insight
