// The engine with small assembly programs, on the simulator core (and on s51
// with M51_SIMULATOR=s51).
#include "debugger/tests/EngineHarness.h"
#include "common/ServedPorts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace m51dbg;
using namespace m51dbg::test;
using Cause = DebugEngine::StopCause;

namespace {

// Line numbers (0-based) are noted where tests use them.
const char* const Program1 =
    "        ORG 0\n"                 // 0
    "        LJMP MAIN\n"             // 1
    "        ORG 0BH\n"               // 2
    "        INC 40H\n"               // 3  timer 0 interrupt counts in 40H
    "        RETI\n"                  // 4
    "        ORG 30H\n"               // 5
    "MAIN:   MOV SP,#60H\n"           // 6
    "        MOV A,#2CH\n"            // 7
    "        MOV 30H,A\n"             // 8
    "        JB P3.2,$\n"             // 9  waits for a low pin
    "        MOV 31H,#1\n"            // 10
    "        MOV TMOD,#02H\n"         // 11
    "        MOV 40H,#0\n"            // 12
    "        SETB TR0\n"              // 13
    "        MOV IE,#82H\n"           // 14
    "WAIT:   MOV A,40H\n"             // 15
    "        JZ WAIT\n"               // 16
    "        MOV 32H,A\n"             // 17
    "        MOV TMOD,#22H\n"         // 18  serial: mode 1, timer 1 baud rate
    "        MOV TH1,#0FFH\n"         // 19
    "        SETB TR1\n"              // 20
    "        MOV SCON,#50H\n"         // 21
    "        MOV IE,#0\n"             // 22
    "        MOV SBUF,#41H\n"         // 23
    "        JNB RI,$\n"              // 24
    "        MOV 33H,SBUF\n"          // 25
    "PARK:   SJMP PARK\n"             // 26
    "        END\n";

class Engine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_engine.start(AssembleProgram(Program1, m_dir));
        ASSERT_EQ(WaitForStopReason(m_engine).toStdString(), "");
    }
    QTemporaryDir m_dir;
    DebugEngine m_engine;
};

} // namespace

TEST_F(Engine, StartsPausedAtResetAndStopsOnAssemblyBreakpoints)
{
    EXPECT_EQ(m_engine.machine().pc, 0);
    EXPECT_EQ(m_engine.setAsmBreakpoints({5, 9}), (std::set<int>{6, 9}));  // ORG line moves to MAIN
    Cause cause{};
    m_engine.run();
    ASSERT_TRUE(WaitForStop(m_engine, 5000, &cause));
    EXPECT_EQ(cause, Cause::Breakpoint);
    EXPECT_EQ(m_engine.machine().pc, 0x30);
    m_engine.run();
    ASSERT_TRUE(WaitForStop(m_engine, 5000, &cause));
    EXPECT_EQ(m_engine.currentAsmLine(), 9);
    EXPECT_EQ(m_engine.machine().a(), 0x2C);
    EXPECT_EQ(m_engine.machine().iram[0x30], 0x2C);
    EXPECT_EQ(m_engine.machine().sp(), 0x60);
}

TEST_F(Engine, StopsARunningProgramAndResets)
{
    m_engine.run();
    Pump(100);
    EXPECT_EQ(m_engine.state(), DebugEngine::State::Running);
    QElapsedTimer clock;
    clock.start();
    m_engine.stop();
    Cause cause{};
    ASSERT_TRUE(WaitForStop(m_engine, 2000, &cause));
    EXPECT_EQ(cause, Cause::UserStop);
    EXPECT_EQ(m_engine.currentAsmLine(), 9);  // still waiting for the pin
    EXPECT_GT(m_engine.machine().ticks, 0u);

    m_engine.reset();
    ASSERT_TRUE(WaitForStop(m_engine, 2000, &cause));
    EXPECT_EQ(cause, Cause::Reset);
    EXPECT_EQ(m_engine.machine().pc, 0);
    EXPECT_EQ(m_engine.machine().ticks, 0u);
}

TEST_F(Engine, PinReleasesTheWaitTimerInterruptAndSerialLine)
{
    m_engine.setAsmBreakpoints({17, 26});
    m_engine.run();
    Pump(50);
    m_engine.setPin(3, 2, false);  // while running
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(m_engine.currentAsmLine(), 17);
    EXPECT_EQ(m_engine.machine().iram[0x31], 1);
    EXPECT_GE(m_engine.machine().iram[0x40], 1);  // the timer interrupt was taken
    EXPECT_EQ(m_engine.pins(3), 0xFB);

    // The program sends "A" and waits for a byte from the terminal side.
    const QString path = m_engine.serialTerminalPath();
    ASSERT_FALSE(path.isEmpty());
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    QByteArray console;
    QObject::connect(&m_engine, &DebugEngine::serialReceived, [&](const QByteArray& b) { console += b; });
    m_engine.run();
    QByteArray received;
    for (int i = 0; i < 200 && received.isEmpty(); ++i) {
        Pump(10);
        char c;
        if (::read(fd, &c, 1) == 1)
            received += c;
    }
    EXPECT_EQ(received, "A");
    EXPECT_EQ(console, "A");
    ASSERT_EQ(::write(fd, "z", 1), 1);
    ASSERT_TRUE(WaitForStop(m_engine));
    ::close(fd);
    EXPECT_EQ(m_engine.currentAsmLine(), 26);
    EXPECT_EQ(m_engine.machine().iram[0x33], 'z');
}

TEST_F(Engine, WritesAndReadsMemory)
{
    m_engine.write(DebugEngine::Memory::Iram, 0x50, 0xA5);
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(m_engine.machine().iram[0x50], 0xA5);
    m_engine.write(DebugEngine::Memory::Sfr, 0xF0, 0x12);
    ASSERT_TRUE(WaitForStop(m_engine));
    EXPECT_EQ(m_engine.machine().b(), 0x12);
    m_engine.write(DebugEngine::Memory::Xram, 0x1234, 0x77);
    ASSERT_TRUE(WaitForStop(m_engine));
    std::optional<std::vector<uint8_t>> xram, code;
    m_engine.read(DebugEngine::Memory::Xram, 0x1233, 2, [&](auto bytes) { xram = bytes; });
    m_engine.read(DebugEngine::Memory::Code, 0, 3, [&](auto bytes) { code = bytes; });
    Pump(100);
    ASSERT_TRUE(xram && code);
    EXPECT_EQ((*xram)[1], 0x77);
    EXPECT_EQ(*code, (std::vector<uint8_t>{0x02, 0x00, 0x30}));
}

// The cycle counter after every kind of stop, also when stop and step
// requests come back to back, is the exact sum of the executed instructions'
// cycles (NOP 1, SJMP 2), never a stale or garbage value.
TEST(EngineCounters, ExactAfterEveryStop)
{
    QTemporaryDir dir;
    DebugEngine engine;
    engine.start(AssembleProgram("L:      NOP\n        SJMP L\n        END\n", dir));
    ASSERT_TRUE(WaitForStop(engine));
    auto cyclesOf = [](uint64_t instructions) { return instructions / 2 * 3 + instructions % 2; };
    uint64_t executed = 0;
    for (uint64_t limit : {1u, 2u, 1001u, 20000u}) {
        Cause cause{};
        engine.run(limit);
        ASSERT_TRUE(WaitForStop(engine, 5000, &cause));
        EXPECT_EQ(cause, Cause::StepLimit);
        executed += limit;
        EXPECT_EQ(engine.machine().ticks, 12 * cyclesOf(executed)) << limit;
    }
    // Stop, step and reset requests racing a free run.
    for (int round = 0; round < 5; ++round) {
        engine.run();
        Pump(round * 3);
        engine.stop();
        engine.stepInstruction();
        engine.stop();
        ASSERT_TRUE(WaitForStop(engine));
        Pump(20);
        ASSERT_EQ(engine.state(), DebugEngine::State::Paused);
        const uint64_t ticks = engine.machine().ticks;
        EXPECT_EQ(ticks % 12, 0u);
        // A few milliseconds of this loop, made in one go turn after turn,
        // stay far below this; a garbage count does not.
        EXPECT_LT(ticks, 12ull << 40) << "round " << round;
        const uint16_t pc = engine.machine().pc;
        EXPECT_TRUE(pc == 0 || pc == 1) << pc;
    }
    engine.reset();
    ASSERT_TRUE(WaitForStop(engine));
    EXPECT_EQ(engine.machine().ticks, 0u);
}

// The board's serial port keeps its path across resets and new sessions, and
// a terminal that opened it once still talks to the new program.
TEST(EngineSerial, OnePathAcrossSessions)
{
    QTemporaryDir dir;
    DebugEngine engine;
    const Program program = AssembleProgram(Program1, dir);
    engine.start(program);
    ASSERT_TRUE(WaitForStop(engine));
    const QString path = engine.serialTerminalPath();
    ASSERT_FALSE(path.isEmpty());
    // Listed for terminal's Device menu while the engine lives.
    const std::vector<m51::ServedPort> served = m51::ListServedPorts();
    EXPECT_TRUE(std::any_of(served.begin(), served.end(), [&](const m51::ServedPort& port) {
        return port.path == path.toStdString() && port.pid == ::getpid();
    }));
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    for (int session = 0; session < 3; ++session) {
        if (session > 0) {
            if (session == 1) {
                engine.reset();
            } else {
                engine.shutdown();
                engine.start(program);
            }
            ASSERT_TRUE(WaitForStop(engine)) << session;
        }
        EXPECT_EQ(engine.serialTerminalPath(), path);
        // Line 23 sends "A" once the pin and timer waits are passed.
        engine.setAsmBreakpoints({24});
        engine.setPin(3, 2, false);
        ASSERT_TRUE(WaitForStop(engine));
        engine.run();
        ASSERT_TRUE(WaitForStop(engine)) << session;
        engine.setAsmBreakpoints({});
        engine.run(3000);  // the byte goes out while the program waits for one
        ASSERT_TRUE(WaitForStop(engine)) << session;
        QByteArray received;
        for (int i = 0; i < 100 && !received.contains('A'); ++i) {
            Pump(5);
            char c;
            while (::read(fd, &c, 1) == 1)
                received += c;
        }
        EXPECT_TRUE(received.endsWith('A')) << session << ": " << received.toHex().constData();
        engine.setPin(3, 2, true);
        ASSERT_TRUE(WaitForStop(engine));
    }
    ::close(fd);
}

// On the real line a byte that arrives while RI is still set is lost, and
// the engine says which; in the ideal line it waits for the program.
TEST(EngineSerial, LostByteIsReported)
{
    QTemporaryDir dir;
    const Program program = AssembleProgram("        MOV TMOD,#20H\n        MOV TH1,#0FDH\n        MOV TL1,#0FDH\n"
                                            "        SETB TR1\n        MOV SCON,#50H\n        SJMP $\n        END\n", dir);
    for (bool realLine : {true, false}) {
        DebugEngine engine;
        EngineOptions options;
        options.kind = SimulatorKind::Core;
        options.serialTerminal = false;
        options.realLine = realLine;
        engine.setOptions(options);
        engine.start(program);
        ASSERT_TRUE(WaitForStop(engine));
        engine.run(100);
        ASSERT_TRUE(WaitForStop(engine));
        QByteArray lost;
        QObject::connect(&engine, &DebugEngine::serialLost, [&](uint8_t byte) { lost += char(byte); });
        engine.sendSerial("abc");
        engine.run(20000);
        ASSERT_TRUE(WaitForStop(engine));
        EXPECT_EQ(engine.machine().sfrAt(0x99), 'a') << realLine;
        EXPECT_EQ(lost, realLine ? "bc" : "") << realLine;
    }
}

TEST(EngineFailure, MissingSimulatorIsAClearError)
{
    QTemporaryDir dir;
    DebugEngine engine;
    EngineOptions options;
    options.kind = SimulatorKind::S51;
    options.simulator = "/nonexistent/s51";
    engine.setOptions(options);
    QString message;
    QObject::connect(&engine, &DebugEngine::failed, [&](const QString& m) { message = m; });
    engine.start(AssembleProgram("NOP\nEND\n", dir));
    Pump(200);
    EXPECT_EQ(engine.state(), DebugEngine::State::Failed);
    EXPECT_TRUE(message.contains("could not be started")) << message.toStdString();
}

TEST(EngineFailure, CrashedSimulatorIsAClearError)
{
    QTemporaryDir dir;
    DebugEngine engine;
    EngineOptions options;
    options.kind = SimulatorKind::S51;
    engine.setOptions(options);
    engine.start(AssembleProgram("NOP\nEND\n", dir));
    ASSERT_TRUE(WaitForStop(engine));
    QString message;
    QObject::connect(&engine, &DebugEngine::failed, [&](const QString& m) { message = m; });
    ASSERT_GT(engine.simulatorProcessId(), 0);
    ::kill(static_cast<pid_t>(engine.simulatorProcessId()), SIGKILL);
    Pump(300);
    EXPECT_EQ(engine.state(), DebugEngine::State::Failed);
    EXPECT_TRUE(message.contains("crashed") || message.contains("ended")) << message.toStdString();
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
