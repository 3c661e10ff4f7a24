// Running and stepping on s51: the program runs in slices of `step N`, sized
// to about 15 ms each so that a Stop takes effect within one slice, with
// temporary breakpoints at the targets of the operation (a line's next start,
// a call's return, the caller's return).

#include "debugger/S51Backend.h"

#include "simrun/LineWalk.h"
#include "debugger/S51Answers.h"

#include <QElapsedTimer>

#include <algorithm>

namespace m51dbg {

namespace {

// A slice of the run lasts about this long; a Stop waits at most one slice.
constexpr qint64 SliceTargetMs = 15;
// The cap bounds a slice that turns slow (conditional breakpoints hit often).
constexpr uint64_t SliceMin = 500, SliceMax = 200000;

// Whether the instruction at `address` writes the stack pointer (81H) as its
// direct operand: MOV SP,... (WRSP), INC/DEC SP, POP SP, logic on SP.
bool WritesSp(const std::vector<uint8_t>& code, uint16_t address)
{
    if (address + 2u >= code.size())
        return false;
    const uint8_t op = code[address], first = code[address + 1], second = code[address + 2];
    if (op == 0x85)  // MOV dest,src is encoded src first
        return second == 0x81;
    if (first != 0x81)
        return false;
    switch (op) {
    case 0x75: case 0xF5: case 0x86: case 0x87: case 0x05: case 0x15: case 0xD0: case 0x42: case 0x43:
    case 0x52: case 0x53: case 0x62: case 0x63: case 0xC5: case 0xD5:
        return true;
    default:
        return op >= 0x88 && op <= 0x8F;
    }
}

} // namespace

void S51Backend::addTarget(uint16_t address, std::optional<uint8_t> spAtMost)
{
    if (m_userBreakpoints.count(address) || m_targets.count(address))
        return;  // a breakpoint stops there anyway
    m_targets[address] = StopTarget{0, spAtMost};
    QByteArray command = "break " + hex(address);
    // s51 reads "if" conditions only without blanks.
    if (spAtMost)
        command += " if SP<=" + hex(*spAtMost);
    send(command);
}

void S51Backend::beginOperation(Operation operation, uint64_t limit)
{
    m_onTarget = {};
    m_operation = operation;
    m_stopRequested = false;
    m_limit = limit;
    m_done = 0;
    setState(State::Running);
    runSlice();
}

void S51Backend::runSlice()
{
    if (m_stopRequested) {
        finishOperation(StopCause::UserStop);
        return;
    }
    uint64_t count = m_slice;
    if (m_limit) {
        if (m_done >= m_limit) {
            finishOperation(StopCause::StepLimit);
            return;
        }
        count = std::min(count, m_limit - m_done);
    }
    m_sliceClock.start();
    send("step " + QByteArray::number(static_cast<qulonglong>(count)),
         [this, count](const std::string& answer) {
             const StopReport report = ParseStopReport(answer);
             if (report.reason == StopReason::None || !report.pc) {
                 fail(QStringLiteral("The 8051 simulator's answer to a step could not be read: %1")
                          .arg(QString::fromStdString(answer).left(300)));
                 return;
             }
             // Size the next slice after this one's duration.
             if (report.reason == StopReason::Stepped) {
                 m_done += count;
                 m_instructionsRun += count;
                 const qint64 ms = m_sliceClock.elapsed();
                 if (count == m_slice && ms < SliceTargetMs / 2)
                     m_slice = std::min(SliceMax, m_slice * 2);
                 else if (ms > SliceTargetMs)
                     m_slice = std::max(SliceMin, m_slice / 2);
             }
             const uint16_t pc = *report.pc;
             const bool atUser = m_userBreakpoints.count(pc) > 0;
             const auto target = m_targets.find(pc);
             // A slice may end just before a breakpoint; the next slice would
             // run over it (s51 starts every run with one unchecked instruction).
             bool atTarget = target != m_targets.end();
             if (atTarget && report.reason == StopReason::Stepped && target->second.spAtMost && report.sp
                 && *report.sp > *target->second.spAtMost)
                 atTarget = false;
             if (report.reason == StopReason::Stepped && !atUser && !atTarget) {
                 runSlice();
                 return;
             }
             if (atUser || (report.reason == StopReason::Breakpoint && !atTarget)) {
                 finishOperation(report.reason == StopReason::Breakpoint || atUser ? StopCause::Breakpoint
                                                                                    : StopCause::UserStop);
                 return;
             }
             if (report.reason != StopReason::Breakpoint && report.reason != StopReason::Stepped) {
                 finishOperation(StopCause::UserStop);
                 return;
             }
             // A temporary stop: the step is complete, or goes on (stepping
             // over a line). Stepping out stops on the return instruction and
             // still has to execute it.
             if (m_onTarget) {
                 const auto next = std::move(m_onTarget);
                 m_onTarget = {};
                 clearTargets();
                 next(report);
                 return;
             }
             if (m_operation == Operation::StepOut)
                 send("step", [this](const std::string&) { finishOperation(StopCause::StepDone); }, true);
             else
                 finishOperation(StopCause::StepDone);
         },
         true);
}

void S51Backend::clearTargets()
{
    if (m_targets.empty())
        return;
    QByteArray command = "clear";
    for (const auto& [address, target] : m_targets)
        command += ' ' + hex(address);
    send(command);
    m_targets.clear();
}

void S51Backend::finishOperation(StopCause cause)
{
    clearTargets();
    m_onTarget = {};
    m_operation = Operation::None;
    m_stopRequested = false;
    if (m_resetRequested) {
        m_resetRequested = false;
        send("reset");
        cause = StopCause::Reset;
    }
    refresh(cause);
}

void S51Backend::run(uint64_t instructionLimit)
{
    if (m_state != State::Paused)
        return;
    beginOperation(Operation::Run, instructionLimit);
}

void S51Backend::stop()
{
    if (m_state == State::Running)
        m_stopRequested = true;
}

void S51Backend::reset()
{
    if (m_state == State::Running) {
        m_resetRequested = m_stopRequested = true;
        return;
    }
    if (m_state != State::Paused)
        return;
    send("reset");
    refresh(StopCause::Reset);
}

void S51Backend::stepInstruction()
{
    if (m_state != State::Paused)
        return;
    setState(State::Running);
    send("step", [this](const std::string& answer) {
        m_instructionsRun += ParseStopReport(answer).reason == StopReason::Stepped;
        refresh(StopCause::StepDone);
    }, true);
}

// Stepping over a line walks its instructions one at a time until the program
// counter reaches the start of another line (or its own start by a jump from
// elsewhere ... which the walk cannot tell apart from a loop, so it goes on).
// A call is run through at full speed to its return address, as is an
// interrupt taken on the way. A line that keeps the walk going (a wait loop
// such as LOOPWHILEBIT, JUMP to itself) is left to run at full speed after a
// while, with stops on every other line start.
void S51Backend::stepLine()
{
    if (m_state != State::Paused)
        return;
    m_walk.begin(m_program.lineTable(), m_program.map, m_machine.pc);
    m_walkSteps = 0;
    m_operation = Operation::StepLine;
    m_stopRequested = false;
    setState(State::Running);
    walk(m_machine.pc, m_machine.sp());
}

void S51Backend::walk(uint16_t pc, uint8_t sp)
{
    constexpr int WalkLimit = 200;
    if (m_stopRequested) {
        finishOperation(StopCause::UserStop);
        return;
    }
    const uint8_t op = pc < m_program.code.size() ? m_program.code[pc] : 0;
    if (++m_walkSteps > WalkLimit) {
        // A waiting line: on at full speed to any other line start.
        bool setsSp = false;
        for (const Instruction& instruction : m_program.map.instructions())
            if (m_walk.lineAt(instruction.address) == m_walk.line()
                && WritesSp(m_program.code, instruction.address))
                setsSp = true;
        const std::optional<uint8_t> limit = sp < 0xFF && !setsSp ? std::optional<uint8_t>(sp + 1) : std::nullopt;
        const int own = m_walk.lineAddress(m_walk.line()).value_or(-1);
        for (const Instruction& instruction : m_program.map.instructions())
            if (instruction.address != own && m_walk.isLineStart(instruction.address, nullptr))
                addTarget(instruction.address, limit);
        m_onTarget = {};
        m_done = 0;
        m_limit = 0;
        runSlice();
        return;
    }
    if (const auto back = LineWalk::CallReturn(op, pc)) {
        runThrough(*back, sp);
        return;
    }
    send("step", [this, sp, op](const std::string& answer) {
        const StopReport report = ParseStopReport(answer);
        if (!report.pc || !report.sp) {
            fail(QStringLiteral("The 8051 simulator's answer to a step could not be read: %1")
                     .arg(QString::fromStdString(answer).left(300)));
            return;
        }
        ++m_instructionsRun;
        const uint16_t pc = *report.pc;
        // An interrupt was taken: its handler runs through to the return address.
        if (LineWalk::EnteredInterrupt(op, sp, pc, *report.sp) && report.stack.size() >= 2) {
            runThrough(static_cast<uint16_t>(report.stack[0] << 8 | report.stack[1]), sp);
            return;
        }
        if (m_userBreakpoints.count(pc)) {
            finishOperation(StopCause::Breakpoint);
            return;
        }
        if (m_walk.endsAt(pc)) {
            finishOperation(StopCause::StepDone);
            return;
        }
        walk(pc, *report.sp);
    }, true);
}

// Runs at full speed until `address` is reached with the stack back at `sp`
// (a breakpoint on the way stops there), then walks on.
void S51Backend::runThrough(uint16_t address, uint8_t sp)
{
    addTarget(address, sp);
    m_onTarget = [this](const StopReport& report) {
        if (m_userBreakpoints.count(*report.pc)) {
            finishOperation(StopCause::Breakpoint);
            return;
        }
        if (m_walk.endsAt(*report.pc)) {
            finishOperation(StopCause::StepDone);
            return;
        }
        walk(*report.pc, report.sp.value_or(0));
    };
    m_done = 0;
    m_limit = 0;
    runSlice();
}

void S51Backend::stepInto()
{
    if (m_state != State::Paused)
        return;
    const toolchain::LineTable& lines = m_program.lineTable();
    const std::optional<uint16_t> own = lines.startOf(m_machine.pc);
    for (const auto& [address, line] : lines.starts())
        if (address != own)
            addTarget(address, std::nullopt);
    if (lines.empty()) {
        stepInstruction();
        return;
    }
    beginOperation(Operation::StepInto);
}

// Stops on the return instruction of the current procedure: the first RET or
// RETI executed with the stack no deeper than now (a called procedure's RET
// runs deeper, the procedure's own after its POPs at most this deep), then
// executes it.
void S51Backend::stepOut()
{
    if (m_state != State::Paused)
        return;
    if (m_machine.pc < m_program.code.size() && IsReturnOpcode(m_program.code[m_machine.pc])) {
        stepInstruction();
        return;
    }
    const uint8_t sp = m_machine.sp();
    for (const Instruction& instruction : m_program.map.instructions())
        if (instruction.size == 1 && instruction.address < m_program.code.size()
            && IsReturnOpcode(m_program.code[instruction.address]))
            addTarget(instruction.address, sp);
    beginOperation(Operation::StepOut);
}

void S51Backend::runTo(uint16_t address)
{
    if (m_state != State::Paused)
        return;
    addTarget(address, std::nullopt);
    beginOperation(Operation::RunTo);
}

} // namespace m51dbg
