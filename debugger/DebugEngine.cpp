#include "DebugEngine.h"

#include "IntelHex.h"
#include "S51Answers.h"
#include "SerialBridge.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <algorithm>

namespace m51dbg {

namespace {

// Without an answer for this long, s51 is taken to hang.
constexpr int AnswerTimeoutMs = 10000;
// A slice of the run lasts about this long; a Stop waits at most one slice.
constexpr qint64 SliceTargetMs = 15;
constexpr uint64_t SliceMin = 500, SliceMax = 2000000;

QByteArray Hex(unsigned value) { return "0x" + QByteArray::number(value, 16); }

const char* SpaceName(DebugEngine::Memory memory)
{
    switch (memory) {
    case DebugEngine::Memory::Iram: return "iram";
    case DebugEngine::Memory::Sfr: return "sfr";
    case DebugEngine::Memory::Xram: return "xram";
    case DebugEngine::Memory::Code: return "rom";
    }
    return "iram";
}

bool IsReturn(uint8_t opcode) { return opcode == 0x22 || opcode == 0x32; }  // RET, RETI

} // namespace

DebugEngine::DebugEngine(QObject* parent) : QObject(parent)
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(AnswerTimeoutMs);
    connect(&m_watchdog, &QTimer::timeout, this, &DebugEngine::onWatchdog);
}

DebugEngine::~DebugEngine() { shutdown(); }

QString DebugEngine::findWakeHelper() const
{
    if (!m_options.wakeHelper.isEmpty())
        return QFileInfo::exists(m_options.wakeHelper) ? m_options.wakeHelper : QString();
    QStringList places;
    if (QCoreApplication::instance())
        places << QCoreApplication::applicationDirPath() << QCoreApplication::applicationDirPath() + "/../lib";
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

void DebugEngine::start(const Program& program)
{
    shutdown();
    m_error.clear();
    m_program = program;
    if (m_program.code.size() != 0x10000) {
        QFile file(m_program.hexPath);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("%1: cannot read the program: %2").arg(m_program.hexPath, file.errorString()));
            return;
        }
        const QByteArray text = file.readAll();
        m_program.code = ReadIntelHex(std::string_view(text.constData(), text.size()));
        if (m_program.code.empty()) {
            fail(QStringLiteral("%1: not a valid Intel HEX file").arg(m_program.hexPath));
            return;
        }
    }

    QStringList arguments{"-q", "-P", "-t", m_options.cpuType, "-X",
                          QString::number(m_options.crystalHz, 'f', 0), "-R", QString::number(m_options.randomSeed)};
    if (!m_options.serialInFile.isEmpty() || !m_options.serialOutFile.isEmpty()) {
        QStringList serial;
        if (!m_options.serialInFile.isEmpty())
            serial << "in=" + m_options.serialInFile;
        if (!m_options.serialOutFile.isEmpty())
            serial << "out=" + m_options.serialOutFile;
        arguments << "-S" << serial.join(',');
    } else if (m_options.serialTerminal) {
        m_serial = new SerialBridge(this);
        if (!m_serial->open()) {
            fail(m_serial->errorString());
            return;
        }
        connect(m_serial, &SerialBridge::received, this, &DebugEngine::serialReceived);
        arguments << "-s" << m_serial->boardPath();
    }

    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString helper = findWakeHelper();
    if (!helper.isEmpty())
        environment.insert("LD_PRELOAD", helper);
    m_process->setProcessEnvironment(environment);
    connect(m_process, &QProcess::readyRead, this, &DebugEngine::onReadyRead);
    connect(m_process, &QProcess::errorOccurred, this, &DebugEngine::onProcessError);
    connect(m_process, &QProcess::finished, this, &DebugEngine::onFinished);
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
    // s51 otherwise looks at an input file only now and then and may miss it.
    if (!m_options.serialInFile.isEmpty())
        send("expression uart0_check_often=1");
    for (unsigned port = 0; port < 4; ++port)
        m_pins[port] = 0xFF;
    m_userBreakpoints.clear();
    syncBreakpoints();
    refresh(StopCause::Started);
}

void DebugEngine::shutdown()
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
    delete m_serial;
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

QString DebugEngine::serialTerminalPath() const { return m_serial ? m_serial->userPath() : QString(); }

void DebugEngine::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void DebugEngine::fail(const QString& message)
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

void DebugEngine::send(const QByteArray& text, std::function<void(const std::string&)> done, bool exclusive)
{
    if (!m_process)
        return;
    m_waiting.enqueue({text, std::move(done), exclusive});
    pump();
}

// Commands that only read or write go out back to back; s51 answers them in
// order. A command that runs the CPU goes out alone: s51 reads a line that
// arrives while the CPU runs as the Enter key that stops it.
void DebugEngine::pump()
{
    while (m_process && !m_waiting.isEmpty()) {
        if (!m_inFlight.isEmpty() && (m_waiting.head().exclusive || m_inFlight.last().exclusive))
            return;
        Command command = m_waiting.dequeue();
        m_process->write(command.text + '\n');
        m_inFlight.enqueue(std::move(command));
        if (!m_watchdog.isActive())
            m_watchdog.start();
    }
}

void DebugEngine::onReadyRead()
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

void DebugEngine::onProcessError(QProcess::ProcessError error)
{
    if (error == QProcess::FailedToStart)
        fail(QStringLiteral("The 8051 simulator \"%1\" could not be started (%2). Install the package sdcc-ucsim "
                            "or set the simulator's path.")
                 .arg(m_options.simulator, m_process ? m_process->errorString() : QString()));
}

void DebugEngine::onFinished(int exitCode, QProcess::ExitStatus status)
{
    const QString output = QString::fromLocal8Bit(m_buffer).trimmed().right(300);
    if (status == QProcess::CrashExit)
        fail(QStringLiteral("The 8051 simulator crashed. %1").arg(output));
    else
        fail(QStringLiteral("The 8051 simulator ended unexpectedly (exit code %1). %2").arg(exitCode).arg(output));
}

void DebugEngine::onWatchdog()
{
    fail(QStringLiteral("The 8051 simulator does not answer (waited %1 s for \"%2\").")
             .arg(AnswerTimeoutMs / 1000)
             .arg(m_inFlight.isEmpty() ? QString() : QString::fromLocal8Bit(m_inFlight.head().text)));
}

// ---- machine state ----

void DebugEngine::refresh(StopCause cause)
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

void DebugEngine::write(Memory memory, unsigned address, uint8_t value)
{
    if (m_state != State::Paused && m_state != State::Running)
        return;
    if (memory == Memory::Code && address < m_program.code.size())
        m_program.code[address] = value;
    send(QByteArray("set memory ") + SpaceName(memory) + ' ' + Hex(address) + ' ' + Hex(value));
    if (m_state == State::Paused)
        refresh(StopCause::Changed);
}

void DebugEngine::setPin(unsigned port, unsigned bit, bool high)
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

void DebugEngine::sendSerial(const QByteArray& bytes)
{
    if (m_serial)
        m_serial->send(bytes);
}

void DebugEngine::read(Memory memory, unsigned address, unsigned count,
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

std::set<int> DebugEngine::setSourceBreakpoints(const std::set<int>& lines)
{
    m_sourceBreakpoints.clear();
    for (int line : lines)
        if (const auto real = m_program.map.sourceLineWithCode(line))
            m_sourceBreakpoints.insert(*real);
    syncBreakpoints();
    return m_sourceBreakpoints;
}

std::set<int> DebugEngine::setAsmBreakpoints(const std::set<int>& lines)
{
    m_asmBreakpoints.clear();
    for (int line : lines)
        if (const auto real = m_program.map.asmLineWithCode(line))
            m_asmBreakpoints.insert(*real);
    syncBreakpoints();
    return m_asmBreakpoints;
}

// Brings s51's breakpoints in line with the wanted set.
void DebugEngine::syncBreakpoints()
{
    if (!m_process)
        return;
    std::set<uint16_t> wanted;
    for (int line : m_sourceBreakpoints)
        if (const auto address = m_program.map.sourceLineAddress(line))
            wanted.insert(*address);
    for (int line : m_asmBreakpoints)
        if (const auto address = m_program.map.asmLineAddress(line))
            wanted.insert(*address);
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

void DebugEngine::addTarget(uint16_t address, std::optional<uint8_t> spAtMost)
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

void DebugEngine::beginOperation(Operation operation, uint64_t limit)
{
    m_operation = operation;
    m_stopRequested = false;
    m_limit = limit;
    m_done = 0;
    setState(State::Running);
    runSlice();
}

void DebugEngine::runSlice()
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
             // A temporary stop: the step is complete. Stepping out stops on
             // the return instruction and still has to execute it.
             if (m_operation == Operation::StepOut)
                 send("step", [this](const std::string&) { finishOperation(StopCause::StepDone); }, true);
             else
                 finishOperation(StopCause::StepDone);
         },
         true);
}

void DebugEngine::finishOperation(StopCause cause)
{
    if (!m_targets.empty()) {
        QByteArray command = "clear";
        for (const auto& [address, target] : m_targets)
            command += ' ' + Hex(address);
        send(command);
        m_targets.clear();
    }
    m_operation = Operation::None;
    m_stopRequested = false;
    if (m_resetRequested) {
        m_resetRequested = false;
        send("reset");
        cause = StopCause::Reset;
    }
    refresh(cause);
}

void DebugEngine::run(uint64_t instructionLimit)
{
    if (m_state != State::Paused)
        return;
    beginOperation(Operation::Run, instructionLimit);
}

void DebugEngine::stop()
{
    if (m_state == State::Running)
        m_stopRequested = true;
}

void DebugEngine::reset()
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

void DebugEngine::stepInstruction()
{
    if (m_state != State::Paused)
        return;
    setState(State::Running);
    send("step", [this](const std::string& answer) {
        m_instructionsRun += ParseStopReport(answer).reason == StopReason::Stepped;
        refresh(StopCause::StepDone);
    }, true);
}

// The next line is the first line start reached outside the current line.
// Stepping over, calls and interrupts make the stack deeper than the current
// line ever does (an M51 line pushes at most one byte), so only line starts
// reached with SP at most one above the present SP count.
void DebugEngine::stepLine()
{
    if (m_state != State::Paused)
        return;
    const bool bySource = !m_program.map.sourceLineStarts().empty();
    const std::optional<int> line = bySource ? currentSourceLine() : currentAsmLine();
    int own = -1;  // the current line's start: reaching it again is no new line
    if (line)
        own = (bySource ? m_program.map.sourceLineAddress(*line) : m_program.map.asmLineAddress(*line)).value_or(-1);
    const uint8_t sp = m_machine.sp();
    const std::optional<uint8_t> limit = sp < 0xFF ? std::optional<uint8_t>(sp + 1) : std::nullopt;
    if (bySource) {
        for (const auto& [l, address] : m_program.map.sourceLineStarts())
            if (address != own)
                addTarget(address, limit);
    } else {
        for (const Instruction& instruction : m_program.map.instructions())
            if (instruction.address != own)
                addTarget(instruction.address, limit);
    }
    beginOperation(Operation::StepLine);
}

void DebugEngine::stepInto()
{
    if (m_state != State::Paused)
        return;
    const std::optional<int> line = currentSourceLine();
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
void DebugEngine::stepOut()
{
    if (m_state != State::Paused)
        return;
    if (m_machine.pc < m_program.code.size() && IsReturn(m_program.code[m_machine.pc])) {
        stepInstruction();
        return;
    }
    const uint8_t sp = m_machine.sp();
    for (const Instruction& instruction : m_program.map.instructions())
        if (instruction.size == 1 && instruction.address < m_program.code.size()
            && IsReturn(m_program.code[instruction.address]))
            addTarget(instruction.address, sp);
    m_stepOutSp = sp;
    beginOperation(Operation::StepOut);
}

bool DebugEngine::runToSourceLine(int line)
{
    if (m_state != State::Paused)
        return false;
    const auto real = m_program.map.sourceLineWithCode(line);
    if (!real)
        return false;
    addTarget(*m_program.map.sourceLineAddress(*real), std::nullopt);
    beginOperation(Operation::RunTo);
    return true;
}

bool DebugEngine::runToAsmLine(int line)
{
    if (m_state != State::Paused)
        return false;
    const auto real = m_program.map.asmLineWithCode(line);
    if (!real)
        return false;
    addTarget(*m_program.map.asmLineAddress(*real), std::nullopt);
    beginOperation(Operation::RunTo);
    return true;
}

} // namespace m51dbg
