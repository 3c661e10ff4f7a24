#include "debugger/DebugEngine.h"

#include "debugger/CoreBackend.h"
#include "common/FileRead.h"
#include "common/FileWriteQt.h"
#include "toolchain/IntelHex.h"
#include "debugger/S51Backend.h"
#include "debugger/SerialBridge.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace m51dbg {

QString LoadCodeImage(Program& program)
{
    if (program.code.size() == 0x10000)
        return {};
    std::string why;
    const auto text = m51::readFileBounded(m51::filePathBytes(program.hexPath), m51::kInputLimit, why);
    if (!text)
        return QStringLiteral("%1: cannot read the program: %2").arg(program.hexPath, QString::fromLocal8Bit(why.c_str()));
    toolchain::HexError error;
    program.code = toolchain::ReadIntelHex(*text, error);
    if (program.code.empty())
        return QStringLiteral("%1:%2: not a valid Intel HEX file: %3")
            .arg(program.hexPath)
            .arg(error.line)
            .arg(QString::fromStdString(error.reason));
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
        connect(m_backend.get(), &SimulatorBackend::stopped, this, &DebugEngine::onBackendStopped);
        connect(m_backend.get(), &SimulatorBackend::failed, this, &DebugEngine::failed);
        connect(m_backend.get(), &SimulatorBackend::serialReceived, this, &DebugEngine::serialReceived);
        connect(m_backend.get(), &SimulatorBackend::serialLost, this, &DebugEngine::serialLost);
    }
    m_backend->setBreakpoints(breakpointAddresses());
    m_backend->setBreakFilter([this](uint16_t address, const ByteReader& read, uint16_t pc) {
        return breakpointStops(address, read, pc);
    });
    resetHitCounts();
    m_freeRun = false;
    m_backend->setPinListener(m_pinListener);
    m_backend->start(m_program, m_options, m_options.serialTerminal ? m_serial : nullptr);
    // terminal's Device menu names the line by the program it now carries.
    if (m_options.serialTerminal)
        m_servedPort.publish({m_serial->userPath().toStdString(), QCoreApplication::applicationName().toStdString(),
                              QFileInfo(m_program.hexPath).completeBaseName().toStdString()});
}

void DebugEngine::shutdown()
{
    if (m_backend)
        m_backend->shutdown();
}

void DebugEngine::fail(const QString& message)
{
    m_failed = true;
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

QString DebugEngine::serialTerminalPath() const
{
    return m_serial && m_options.serialTerminal ? m_serial->userPath() : QString();
}

void DebugEngine::run(uint64_t instructionLimit)
{
    if (!isPaused())
        return;
    m_freeRun = instructionLimit == 0;
    m_backend->run(instructionLimit);
}

void DebugEngine::stop()
{
    if (m_backend)
        m_backend->stop();
}

void DebugEngine::reset()
{
    resetHitCounts();
    if (m_backend)
        m_backend->reset();
}

void DebugEngine::stepInstruction()
{
    m_freeRun = false;
    if (isPaused())
        m_backend->stepInstruction();
}

void DebugEngine::stepLine()
{
    m_freeRun = false;
    if (isPaused())
        m_backend->stepLine();
}

void DebugEngine::stepInto()
{
    m_freeRun = false;
    if (isPaused())
        m_backend->stepInto();
}

void DebugEngine::stepOut()
{
    m_freeRun = false;
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

QString DebugEngine::runToLine(toolchain::SourceLine line)
{
    if (!isPaused())
        return QStringLiteral("the program is not paused");
    const toolchain::LineTable& lines = m_program.lineTable();
    const auto real = lines.lineWithCode(line.file, line.line);
    if (!real)
        return QStringLiteral("no code at or after line %1").arg(line.line + 1);
    m_freeRun = false;
    m_backend->runTo(*lines.lineAddress({line.file, *real}));
    return {};
}

QString DebugEngine::runToAsmLine(int line)
{
    if (!isPaused())
        return QStringLiteral("the program is not paused");
    const auto real = m_program.map.asmLineWithCode(line);
    if (!real)
        return QStringLiteral("no code at or after line %1").arg(line + 1);
    m_freeRun = false;
    m_backend->runTo(*m_program.map.asmLineAddress(*real));
    return {};
}

std::set<uint16_t> DebugEngine::breakpointAddresses() const
{
    std::set<uint16_t> addresses;
    auto enabled = [this](bool assembly, int line, int file) {
        const auto it = m_breakpointSettings.find({assembly, line, file});
        return it == m_breakpointSettings.end() || it->second.enabled;
    };
    for (const auto& [file, lines] : m_sourceBreakpoints)
        for (int line : lines)
            if (const auto address = m_program.lineTable().lineAddress({file, line}); address && enabled(false, line, file))
                addresses.insert(*address);
    for (int line : m_asmBreakpoints)
        if (const auto address = m_program.map.asmLineAddress(line); address && enabled(true, line, 0))
            addresses.insert(*address);
    return addresses;
}

const std::set<int>& DebugEngine::sourceBreakpoints(int file) const
{
    static const std::set<int> none;
    const auto it = m_sourceBreakpoints.find(file);
    return it == m_sourceBreakpoints.end() ? none : it->second;
}

std::set<int> DebugEngine::setSourceBreakpoints(int file, const std::set<int>& lines)
{
    std::set<int>& now = m_sourceBreakpoints[file];
    const std::set<int> before = std::exchange(now, {});
    for (int line : lines)
        if (const auto real = m_program.lineTable().lineWithCode(file, line))
            now.insert(*real);
    forgetRemoved(false, file, before);
    return now;
}

std::set<int> DebugEngine::setAsmBreakpoints(const std::set<int>& lines)
{
    const std::set<int> before = std::exchange(m_asmBreakpoints, {});
    for (int line : lines)
        if (const auto real = m_program.map.asmLineWithCode(line))
            m_asmBreakpoints.insert(*real);
    forgetRemoved(true, 0, before);
    return m_asmBreakpoints;
}

// A removed breakpoint's settings go with it; those of lines given a
// condition before a session (no breakpoint set in the engine yet) stay.
void DebugEngine::forgetRemoved(bool assembly, int file, const std::set<int>& before)
{
    const std::set<int>& now = assembly ? m_asmBreakpoints : sourceBreakpoints(file);
    for (int line : before)
        if (!now.contains(line))
            m_breakpointSettings.erase({assembly, line, file});
    applyBreakpoints();
}

// The backend's addresses of the enabled breakpoints.
void DebugEngine::applyBreakpoints()
{
    if (m_backend)
        m_backend->setBreakpoints(breakpointAddresses());
    emit breakpointsUpdated();
}

QString DebugEngine::setBreakpointCondition(BreakpointRef breakpoint, const QString& condition)
{
    BreakpointSettings& settings = m_breakpointSettings[breakpoint];
    const ConditionParse parse = ParseCondition(condition.toStdString(), m_conditionNames);
    settings.condition = condition.trimmed();
    settings.parsed = parse.condition;
    settings.error = QString::fromStdString(parse.error);
    emit breakpointsUpdated();
    return settings.error;
}

void DebugEngine::setBreakpointEnabled(BreakpointRef breakpoint, bool enabled)
{
    m_breakpointSettings[breakpoint].enabled = enabled;
    applyBreakpoints();
}

BreakpointSettings DebugEngine::breakpointSettings(BreakpointRef breakpoint) const
{
    const auto it = m_breakpointSettings.find(breakpoint);
    return it == m_breakpointSettings.end() ? BreakpointSettings() : it->second;
}

// A new build's names: every condition is read again with them.
void DebugEngine::setConditionNames(SourceNames names)
{
    m_conditionNames = std::move(names);
    for (auto& [breakpoint, settings] : m_breakpointSettings) {
        const ConditionParse parse = ParseCondition(settings.condition.toStdString(), m_conditionNames);
        settings.parsed = parse.condition;
        settings.error = QString::fromStdString(parse.error);
    }
    emit breakpointsUpdated();
}

void DebugEngine::resetHitCounts()
{
    for (auto& entry : m_breakpointSettings)
        entry.second.hits = 0;
    emit breakpointsUpdated();
}

bool DebugEngine::breakpointStops(uint16_t address, const ByteReader& read, uint16_t pc)
{
    bool stops = false;
    auto check = [&](bool assembly, int line, int file, std::optional<uint16_t> at) {
        if (at != address)
            return;
        BreakpointSettings& settings = m_breakpointSettings[{assembly, line, file}];
        if (!settings.enabled || (settings.parsed && !EvaluateCondition(*settings.parsed, read, pc)))
            return;
        ++settings.hits;
        stops = true;
    };
    for (const auto& [file, lines] : m_sourceBreakpoints)
        for (int line : lines)
            check(false, line, file, m_program.lineTable().lineAddress({file, line}));
    for (int line : m_asmBreakpoints)
        check(true, line, 0, m_program.map.asmLineAddress(line));
    return stops;
}

// A backend that cannot ask about conditions stops at every breakpoint: its
// condition is checked here, and a run goes on when it does not hold.
void DebugEngine::onBackendStopped(StopCause cause)
{
    if (cause == StopCause::Breakpoint && m_backend && !m_backend->filtersBreakpoints()) {
        const MachineState& m = m_backend->machine();
        bool unknown = false;  // the condition reads external RAM, which the stop did not bring back
        const ByteReader read = [this, &m, &unknown](WatchSpace space, unsigned address) -> uint8_t {
            switch (space) {
            case WatchSpace::Iram: return m.iram[address & 0xFF];
            case WatchSpace::Sfr: return m.sfrAt(address);
            case WatchSpace::Code: return address < m_program.code.size() ? m_program.code[address] : 0xFF;
            case WatchSpace::Xram: unknown = true; return 0;
            }
            return 0;
        };
        // A condition that cannot be told stops, rather than being passed by unseen.
        if (!breakpointStops(m.pc, read, m.pc) && !unknown && m_freeRun) {
            m_backend->run(0);
            return;
        }
    }
    if (cause == StopCause::Breakpoint)
        emit breakpointsUpdated();
    emit stopped(cause);
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
