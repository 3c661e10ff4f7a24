#include "DebugEngine.h"

#include "CoreBackend.h"
#include "IntelHex.h"
#include "S51Backend.h"
#include "SerialBridge.h"

#include <QFile>

namespace m51dbg {

QString LoadCodeImage(Program& program)
{
    if (program.code.size() == 0x10000)
        return {};
    QFile file(program.hexPath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: cannot read the program: %2").arg(program.hexPath, file.errorString());
    const QByteArray text = file.readAll();
    program.code = ReadIntelHex(std::string_view(text.constData(), text.size()));
    if (program.code.empty())
        return QStringLiteral("%1: not a valid Intel HEX file").arg(program.hexPath);
    return {};
}

DebugEngine::DebugEngine(QObject* parent) : QObject(parent)
{
    if (qgetenv("M51_SIMULATOR") == "s51")
        m_options.kind = SimulatorKind::S51;
}

DebugEngine::~DebugEngine()
{
    // Receivers may be half destroyed by now (members of the owner).
    blockSignals(true);
    shutdown();
    m_backend.reset();
}

void DebugEngine::start(const Program& program)
{
    shutdown();
    m_failed = false;
    m_error.clear();
    m_program = program;
    if (const QString error = LoadCodeImage(m_program); !error.isEmpty()) {
        fail(error);
        return;
    }
    if (m_options.serialTerminal && !m_serial) {
        m_serial = new SerialBridge(this);
        if (!m_serial->open()) {
            const QString error = m_serial->errorString();
            delete m_serial;
            m_serial = nullptr;
            fail(error);
            return;
        }
    }
    if (!m_backend || m_backendKind != m_options.kind) {
        m_backend.reset();
        m_backendKind = m_options.kind;
        if (m_backendKind == SimulatorKind::S51)
            m_backend = std::make_unique<S51Backend>();
        else
            m_backend = std::make_unique<CoreBackend>();
        connect(m_backend.get(), &SimulatorBackend::stateChanged, this, &DebugEngine::stateChanged);
        connect(m_backend.get(), &SimulatorBackend::stopped, this, &DebugEngine::stopped);
        connect(m_backend.get(), &SimulatorBackend::failed, this, &DebugEngine::failed);
        connect(m_backend.get(), &SimulatorBackend::serialReceived, this, &DebugEngine::serialReceived);
        connect(m_backend.get(), &SimulatorBackend::serialLost, this, &DebugEngine::serialLost);
    }
    m_backend->setBreakpoints(breakpointAddresses());
    m_backend->setPinListener(m_pinListener);
    m_backend->start(m_program, m_options, m_options.serialTerminal ? m_serial : nullptr);
}

void DebugEngine::shutdown()
{
    if (m_backend)
        m_backend->shutdown();
}

void DebugEngine::fail(const QString& message)
{
    m_failed = true;
    m_error = message;
    emit stateChanged(State::Failed);
    emit failed(message);
}

DebugEngine::State DebugEngine::state() const
{
    if (m_failed)
        return State::Failed;
    return m_backend ? m_backend->state() : State::Off;
}

const MachineState& DebugEngine::machine() const { return m_backend ? m_backend->machine() : m_idle; }

QString DebugEngine::lastError() const
{
    if (m_failed || !m_backend)
        return m_error;
    return m_backend->lastError();
}

QString DebugEngine::serialTerminalPath() const
{
    return m_serial && m_options.serialTerminal ? m_serial->userPath() : QString();
}

void DebugEngine::run(uint64_t instructionLimit)
{
    if (isPaused())
        m_backend->run(instructionLimit);
}

void DebugEngine::stop()
{
    if (m_backend)
        m_backend->stop();
}

void DebugEngine::reset()
{
    if (m_backend)
        m_backend->reset();
}

void DebugEngine::stepInstruction()
{
    if (isPaused())
        m_backend->stepInstruction();
}

void DebugEngine::stepLine()
{
    if (isPaused())
        m_backend->stepLine();
}

void DebugEngine::stepInto()
{
    if (isPaused())
        m_backend->stepInto();
}

void DebugEngine::stepOut()
{
    if (isPaused())
        m_backend->stepOut();
}

void DebugEngine::stepBack()
{
    if (isPaused())
        m_backend->stepBack();
}

bool DebugEngine::reverseContinue(const std::vector<WatchedByte>& watches)
{
    return isPaused() && m_backend->reverseContinue(watches);
}

QString DebugEngine::saveState(const QString& path)
{
    const QString why = canSaveState() ? m_backend->saveState(path) : QStringLiteral("no paused built-in simulator");
    return why.isEmpty() ? why : QStringLiteral("%1: %2").arg(path, why);
}

QString DebugEngine::loadState(const QString& path)
{
    const QString why = canSaveState() ? m_backend->loadState(path) : QStringLiteral("no paused built-in simulator");
    return why.isEmpty() ? why : QStringLiteral("%1: %2").arg(path, why);
}

bool DebugEngine::runToSourceLine(int line)
{
    if (!isPaused())
        return false;
    const auto real = m_program.map.sourceLineWithCode(line);
    if (!real)
        return false;
    m_backend->runTo(*m_program.map.sourceLineAddress(*real));
    return true;
}

bool DebugEngine::runToAsmLine(int line)
{
    if (!isPaused())
        return false;
    const auto real = m_program.map.asmLineWithCode(line);
    if (!real)
        return false;
    m_backend->runTo(*m_program.map.asmLineAddress(*real));
    return true;
}

std::set<uint16_t> DebugEngine::breakpointAddresses() const
{
    std::set<uint16_t> addresses;
    for (int line : m_sourceBreakpoints)
        if (const auto address = m_program.map.sourceLineAddress(line))
            addresses.insert(*address);
    for (int line : m_asmBreakpoints)
        if (const auto address = m_program.map.asmLineAddress(line))
            addresses.insert(*address);
    return addresses;
}

std::set<int> DebugEngine::setSourceBreakpoints(const std::set<int>& lines)
{
    m_sourceBreakpoints.clear();
    for (int line : lines)
        if (const auto real = m_program.map.sourceLineWithCode(line))
            m_sourceBreakpoints.insert(*real);
    if (m_backend)
        m_backend->setBreakpoints(breakpointAddresses());
    return m_sourceBreakpoints;
}

std::set<int> DebugEngine::setAsmBreakpoints(const std::set<int>& lines)
{
    m_asmBreakpoints.clear();
    for (int line : lines)
        if (const auto real = m_program.map.asmLineWithCode(line))
            m_asmBreakpoints.insert(*real);
    if (m_backend)
        m_backend->setBreakpoints(breakpointAddresses());
    return m_asmBreakpoints;
}

void DebugEngine::write(Memory memory, unsigned address, uint8_t value)
{
    if (!m_backend)
        return;
    if (memory == Memory::Code && address < m_program.code.size() && (isPaused() || state() == State::Running))
        m_program.code[address] = value;
    m_backend->write(memory, address, value);
}

void DebugEngine::setPin(unsigned port, unsigned bit, bool high)
{
    if (m_backend)
        m_backend->setPin(port, bit, high);
}

void DebugEngine::sendSerial(const QByteArray& bytes)
{
    if (m_backend)
        m_backend->sendSerial(bytes);
}

void DebugEngine::read(Memory memory, unsigned address, unsigned count,
                       std::function<void(std::optional<std::vector<uint8_t>>)> done)
{
    if (!m_backend) {
        done(std::nullopt);
        return;
    }
    m_backend->read(memory, address, count, std::move(done));
}

} // namespace m51dbg
