#include "debugger/S51Backend.h"

#include "toolchain/IntelHex.h"
#include "debugger/S51Answers.h"
#include "debugger/SerialBridge.h"

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
    send(QByteArray("set memory ") + SpaceName(memory) + ' ' + hex(address) + ' ' + hex(value));
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
    send("expression pin" + QByteArray::number(port) + '=' + hex(m_pins[port]));
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
    send("dump /h " + space + ' ' + hex(first) + ' ' + hex(first + count - 1) + " 16",
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
            send("clear " + hex(it->first));
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
        send("break " + hex(address));
    }
}

} // namespace m51dbg
