#include "S51Backend.h"

#include "IntelHex.h"
#include "S51Answers.h"
#include "SerialBridge.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <algorithm>
#include <cstdio>

namespace m51dbg {

namespace {

// Without an answer for this long, s51 is taken to hang.
constexpr int AnswerTimeoutMs = 10000;
// A slice of the run lasts about this long; a Stop waits at most one slice.
constexpr qint64 SliceTargetMs = 15;
// The cap bounds a slice that turns slow (conditional breakpoints hit often).
constexpr uint64_t SliceMin = 500, SliceMax = 200000;

QByteArray Hex(unsigned value) { return "0x" + QByteArray::number(value, 16); }

const char* SpaceName(SimulatorBackend::Memory memory)
{
    switch (memory) {
    case SimulatorBackend::Memory::Iram: return "iram";
    case SimulatorBackend::Memory::Sfr: return "sfr";
    case SimulatorBackend::Memory::Xram: return "xram";
    case SimulatorBackend::Memory::Code: return "rom";
    }
    return "iram";
}


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

S51Backend::S51Backend(QObject* parent) : SimulatorBackend(parent), m_trace(qEnvironmentVariableIsSet("M51_TRACE_S51"))
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(AnswerTimeoutMs);
    connect(&m_watchdog, &QTimer::timeout, this, &S51Backend::onWatchdog);
}

S51Backend::~S51Backend()
{
    // Receivers may be half destroyed by now (members of the owner).
    blockSignals(true);
    shutdown();
}

QString S51Backend::findWakeHelper() const
{
    if (!m_options.wakeHelper.isEmpty())
        return QFileInfo::exists(m_options.wakeHelper) ? m_options.wakeHelper : QString();
    QStringList places;
    if (QCoreApplication::instance())
        places << QCoreApplication::applicationDirPath()
               << QCoreApplication::applicationDirPath() + QStringLiteral("/../" M51_WAKE_HELPER_INSTALL_DIR);
#ifdef M51_WAKE_HELPER_DIR
    places << QStringLiteral(M51_WAKE_HELPER_DIR);
#endif
    for (const QString& place : places) {
        const QString path = QDir(place).filePath(QStringLiteral("libs51wake.so"));
        if (QFileInfo::exists(path))
            return QFileInfo(path).absoluteFilePath();
    }
    return {};
}

void S51Backend::start(const Program& program, const EngineOptions& options, SerialBridge* serial)
{
    shutdown();
    m_error.clear();
    m_program = program;
    m_options = options;

    QStringList arguments{"-q", "-P", "-t", m_options.cpuType, "-X",
                          QString::number(m_options.crystalHz, 'f', 0), "-R", QString::number(m_options.randomSeed)};
    if (serial && serial->isOpen()) {
        m_serial = serial;
        m_serial->setBoardOutside(true);
        connect(m_serial, &SerialBridge::received, this, &S51Backend::serialReceived);
        arguments << "-s" << m_serial->boardPath();
    }

    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString helper = findWakeHelper();
    if (!helper.isEmpty())
        environment.insert("LD_PRELOAD", helper);
    m_process->setProcessEnvironment(environment);
    connect(m_process, &QProcess::readyRead, this, &S51Backend::onReadyRead);
    connect(m_process, &QProcess::errorOccurred, this, &S51Backend::onProcessError);
    connect(m_process, &QProcess::finished, this, &S51Backend::onFinished);
    setState(State::Starting);
    m_process->start(m_options.simulator, arguments);
    if (!m_process)
        return;  // failed to start: failed() has been emitted

    // The console prints its prompt (a NUL byte with -P) only when interactive.
    m_inFlight.enqueue({"set console interactive on", {}, false});
    m_process->write("set console interactive on\n");
    m_watchdog.start();
    QString path = QFileInfo(m_program.hexPath).absoluteFilePath();
    path.replace('\\', "\\\\").replace('"', "\\\"");
    send("file \"" + path.toLocal8Bit() + "\"", [this](const std::string& answer) {
        const std::string error = FindErrorLine(answer);
        if (!error.empty())
            fail(QStringLiteral("%1: %2").arg(m_program.hexPath, QString::fromStdString(error)));
    });
    if (m_serial) {
        // Without these s51 looks at its serial input once per million
        // instructions, and a byte that arrives while the program is busy
        // overwrites the one before it.
        send("expression uart0_check_often=1");
        send("expression uart0_flowctrl=1");
    }
    for (unsigned port = 0; port < 4; ++port)
        m_pins[port] = 0xFF;
    m_userBreakpoints.clear();
    syncBreakpoints();
    refresh(StopCause::Started);
}

void S51Backend::shutdown()
{
    m_watchdog.stop();
    if (m_process) {
        m_process->disconnect(this);
        if (m_process->state() != QProcess::NotRunning) {
            m_process->write("kill\n");
            m_process->closeWriteChannel();
            if (!m_process->waitForFinished(200)) {
                m_process->kill();
                m_process->waitForFinished(1000);
            }
        }
        delete m_process;
        m_process = nullptr;
    }
    if (m_serial)
        m_serial->disconnect(this);  // the engine's, kept for the next session
    m_serial = nullptr;
    m_waiting.clear();
    m_inFlight.clear();
    m_buffer.clear();
    m_targets.clear();
    m_operation = Operation::None;
    m_stopRequested = m_resetRequested = false;
    if (m_state != State::Failed)
        setState(State::Off);
}

void S51Backend::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void S51Backend::fail(const QString& message)
{
    if (m_state == State::Failed)
        return;
    m_error = message;
    m_watchdog.stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
        m_process->deleteLater();
        m_process = nullptr;
    }
    m_waiting.clear();
    m_inFlight.clear();
    m_operation = Operation::None;
    setState(State::Failed);
    emit failed(message);
}

// ---- the command pipe ----

void S51Backend::send(const QByteArray& text, std::function<void(const std::string&)> done, bool exclusive)
{
    if (!m_process)
        return;
    m_waiting.enqueue({text, std::move(done), exclusive});
    pump();
}

// Commands that only read or write go out back to back; s51 answers them in
// order. A command that runs the CPU goes out alone: s51 reads a line that
// arrives while the CPU runs as the Enter key that stops it.
void S51Backend::pump()
{
    while (m_process && !m_waiting.isEmpty()) {
        if (!m_inFlight.isEmpty() && (m_waiting.head().exclusive || m_inFlight.last().exclusive))
            return;
        Command command = m_waiting.dequeue();
        if (m_trace)
            std::fprintf(stderr, "s51< %s\n", command.text.constData());
        m_process->write(command.text + '\n');
        m_inFlight.enqueue(std::move(command));
        if (!m_watchdog.isActive())
            m_watchdog.start();
    }
}

void S51Backend::onReadyRead()
{
    if (!m_process)
        return;
    m_buffer += m_process->readAll();
    qsizetype end;
    while (m_process && (end = m_buffer.indexOf('\0')) >= 0) {
        const QByteArray raw = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        if (m_inFlight.isEmpty())
            continue;  // a prompt nobody waits for
        Command command = m_inFlight.dequeue();
        if (m_trace)
            std::fprintf(stderr, "s51> %s\n", raw.constData());
        if (m_inFlight.isEmpty())
            m_watchdog.stop();
        else
            m_watchdog.start();
        if (command.done)
            command.done(CleanAnswer(std::string_view(raw.constData(), raw.size()),
                                     std::string_view(command.text.constData(), command.text.size())));
        pump();
    }
}

void S51Backend::onProcessError(QProcess::ProcessError error)
{
    if (error == QProcess::FailedToStart)
        fail(QStringLiteral("The 8051 simulator \"%1\" could not be started (%2). Install the package sdcc-ucsim "
                            "or set the simulator's path.")
                 .arg(m_options.simulator, m_process ? m_process->errorString() : QString()));
}

void S51Backend::onFinished(int exitCode, QProcess::ExitStatus status)
{
    const QString output = QString::fromLocal8Bit(m_buffer).trimmed().right(300);
    if (status == QProcess::CrashExit)
        fail(QStringLiteral("The 8051 simulator crashed. %1").arg(output));
    else
        fail(QStringLiteral("The 8051 simulator ended unexpectedly (exit code %1). %2").arg(exitCode).arg(output));
}

void S51Backend::onWatchdog()
{
    fail(QStringLiteral("The 8051 simulator does not answer (waited %1 s for \"%2\").")
             .arg(AnswerTimeoutMs / 1000)
             .arg(m_inFlight.isEmpty() ? QString() : QString::fromLocal8Bit(m_inFlight.head().text)));
}

// ---- machine state ----

void S51Backend::refresh(StopCause cause)
{
    auto bad = [this](const char* what) {
        fail(QStringLiteral("The 8051 simulator's answer to \"%1\" could not be read.").arg(what));
    };
    send("dump /h iram 0 0xff 16", [this, bad](const std::string& answer) {
        if (const auto bytes = ParseDump(answer, 0, 256))
            std::copy(bytes->begin(), bytes->end(), m_machine.iram.begin());
        else
            bad("dump iram");
    });
    send("dump /h sfr_chip 0 0x7f 16", [this, bad](const std::string& answer) {
        if (const auto bytes = ParseDump(answer, 0, 128))
            std::copy(bytes->begin(), bytes->end(), m_machine.sfr.begin());
        else
            bad("dump sfr");
    });
    send("expression PC", [this, bad](const std::string& answer) {
        if (const auto value = ParseExpressionValue(answer))
            m_machine.pc = static_cast<uint16_t>(*value);
        else
            bad("expression PC");
    });
    send("expression sim_ticks", [this, bad, cause](const std::string& answer) {
        const auto value = ParseExpressionValue(answer);
        if (!value) {
            bad("expression sim_ticks");
            return;
        }
        m_machine.ticks = static_cast<uint64_t>(*value);
        if (m_state == State::Failed || m_operation != Operation::None)
            return;
        setState(State::Paused);
        emit stopped(cause);
    });
}

void S51Backend::write(Memory memory, unsigned address, uint8_t value)
{
    if (m_state != State::Paused && m_state != State::Running)
        return;
    if (memory == Memory::Code && address < m_program.code.size())
        m_program.code[address] = value;
    send(QByteArray("set memory ") + SpaceName(memory) + ' ' + Hex(address) + ' ' + Hex(value));
    if (m_state == State::Paused)
        refresh(StopCause::Changed);
}

void S51Backend::setPin(unsigned port, unsigned bit, bool high)
{
    if (m_state != State::Paused && m_state != State::Running)
        return;
    port &= 3;
    const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
    m_pins[port] = high ? (m_pins[port] | mask) : (m_pins[port] & ~mask);
    send("expression pin" + QByteArray::number(port) + '=' + Hex(m_pins[port]));
    if (m_state == State::Paused)
        refresh(StopCause::Changed);
}

void S51Backend::sendSerial(const QByteArray& bytes)
{
    if (m_serial)
        m_serial->send(bytes);
}

void S51Backend::read(Memory memory, unsigned address, unsigned count,
                       std::function<void(std::optional<std::vector<uint8_t>>)> done)
{
    if (count == 0 || m_state != State::Paused) {
        done(std::nullopt);
        return;
    }
    // The SFR space prints names beside its bytes; its chip prints plain rows.
    const bool sfr = memory == Memory::Sfr;
    const unsigned first = sfr ? address - 0x80 : address;
    const QByteArray space = sfr ? "sfr_chip" : SpaceName(memory);
    send("dump /h " + space + ' ' + Hex(first) + ' ' + Hex(first + count - 1) + " 16",
         [first, count, done](const std::string& answer) { done(ParseDump(answer, first, count)); });
}

// ---- breakpoints ----

void S51Backend::setBreakpoints(const std::set<uint16_t>& addresses)
{
    m_wanted = addresses;
    syncBreakpoints();
}

// Brings s51's breakpoints in line with the wanted set.
void S51Backend::syncBreakpoints()
{
    if (!m_process)
        return;
    const std::set<uint16_t>& wanted = m_wanted;
    for (auto it = m_userBreakpoints.begin(); it != m_userBreakpoints.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        if (!m_targets.count(it->first))
            send("clear " + Hex(it->first));
        it = m_userBreakpoints.erase(it);
    }
    for (uint16_t address : wanted) {
        if (m_userBreakpoints.count(address))
            continue;
        m_userBreakpoints[address] = 0;
        // A temporary stop of the running step already sits there: it becomes
        // the breakpoint (s51 keeps one breakpoint per address).
        if (m_targets.erase(address))
            continue;
        send("break " + Hex(address));
    }
}

// ---- execution ----

void S51Backend::addTarget(uint16_t address, std::optional<uint8_t> spAtMost)
{
    if (m_userBreakpoints.count(address) || m_targets.count(address))
        return;  // a breakpoint stops there anyway
    m_targets[address] = StopTarget{0, spAtMost};
    QByteArray command = "break " + Hex(address);
    // s51 reads "if" conditions only without blanks.
    if (spAtMost)
        command += " if SP<=" + Hex(*spAtMost);
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
        command += ' ' + Hex(address);
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
    m_walk.begin(m_program.map, m_machine.pc);
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
            if (m_walk.lineOf(instruction) == m_walk.line()
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
    const std::optional<int> line = m_program.map.sourceLineAt(m_machine.pc);
    const int own = line ? m_program.map.sourceLineAddress(*line).value_or(-1) : -1;
    for (const auto& [l, address] : m_program.map.sourceLineStarts())
        if (address != own)
            addTarget(address, std::nullopt);
    if (m_program.map.sourceLineStarts().empty()) {
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
