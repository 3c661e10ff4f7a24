// m51sim: its options and values without a simulator, and its contract
// (output, exit status) with the real s51.
#include "debugger/m51sim/SimOptions.h"
#include "common/tests/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <utility>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace m51sim;

TEST(M51simOptions, PrintItems)
{
    m51dbg::MachineState machine;
    machine.pc = 0x123;
    machine.iram[0x30] = 0x2C;
    machine.iram[0x08 + 3] = 0x77;  // R3 of bank 1
    machine.sfr[0xD0 - 0x80] = 0x08;  // PSW: bank 1
    machine.sfr[0xE0 - 0x80] = 0x2C;
    machine.sfr[0x90 - 0x80] = 0xFE;
    machine.sfr[0x82 - 0x80] = 0x34;
    machine.sfr[0x83 - 0x80] = 0x12;
    struct Case {
        const char* text;
        const char* printed;  // nullptr: rejected
    } cases[] = {
        {"A", "A=2C"},         {"acc", "acc=2C"},           {"PC", "PC=0123"},        {"DPTR", "DPTR=1234"},
        {"P1", "P1=FE"},       {"PSW", "PSW=08"},           {"R3", "R3=77"},          {"iram[30]", "iram[30]=2C"},
        {"iram[30H]", "iram[30H]=2C"}, {"sfr[90]", "sfr[90]=FE"}, {"IRAM[30]", "IRAM[30]=2C"},
        {"R8", nullptr},       {"X", nullptr},              {"iram[100]", nullptr},   {"sfr[7F]", nullptr},
        {"iram[]", nullptr},   {"iram[3G]", nullptr},       {"xram[10000]", nullptr}, {"iram[30", nullptr},
    };
    for (const Case& c : cases) {
        const auto item = ParsePrintItem(c.text);
        ASSERT_EQ(item.has_value(), c.printed != nullptr) << c.text;
        if (item) {
            EXPECT_EQ(FormatItem(*item, machine), c.printed);
        }
    }
    EXPECT_EQ(FormatItem(*ParsePrintItem("xram[1234]"), machine), std::nullopt);  // read from the simulator
}

TEST(M51simOptions, Arguments)
{
    const auto ok = ParseArguments({"--steps", "500", "--until-line", "12", "--print", "A", "--print", "iram[30]", "p.M51"});
    EXPECT_EQ(ok.error, "");
    EXPECT_EQ(ok.options.steps, 500u);
    EXPECT_EQ(ok.options.untilLine, 12);
    EXPECT_EQ(ok.options.prints.size(), 2u);
    EXPECT_EQ(ok.options.source, "p.M51");
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {}, {"--steps", "x", "p.M51"}, {"--steps", "0", "p.M51"}, {"--until-line", "0", "p.M51"},
             {"--print", "Q", "p.M51"}, {"--frob", "p.M51"}, {"a.M51", "b.M51"}, {"p.M51", "--steps"}})
        EXPECT_NE(ParseArguments(bad).error, "") << (bad.empty() ? "" : bad[0]);
    EXPECT_TRUE(ParseArguments({"--help"}).options.help);
}

namespace {

struct SimRun {
    int exitCode;
    QString out, err;
};

SimRun M51sim(const QStringList& arguments)
{
    QProcess process;
    process.start(M51SIM_PATH, arguments);
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()), QString::fromLocal8Bit(process.readAllStandardError())};
}

const QString Examples = QStringLiteral(M51_EXAMPLES_DIR);
const QString Programs = QStringLiteral(M51_TEST_PROGRAMS_DIR);

} // namespace

TEST(M51sim, RunsASampleAndPrintsTheAskedValues)
{
    const SimRun run = M51sim({"--steps", "20000", "--print", "iram[40]", "--print", "P1", "--print", "xram[0]",
                            Examples + "/loops.M51"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("iram[40]=0A\nP1=F5\nxram[0]=")) << run.out.toStdString();

    const SimRun defaults = M51sim({"--steps", "20000", Examples + "/loops.M51"});
    EXPECT_EQ(defaults.out.count('\n'), 18);
    EXPECT_TRUE(defaults.out.startsWith("A=")) << defaults.out.toStdString();
}

TEST(M51sim, UntilLine)
{
    // loops.M51: "COUNT2 3" follows the ten passes of LOOP1 TICK.
    QFile file(Examples + "/loops.M51");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    int count2 = 0;
    while (count2 < lines.size() && !lines[count2].startsWith("COUNT2 3"))
        ++count2;
    const QString line = QString::number(count2 + 1);
    const SimRun reached = M51sim({"--until-line", line, "--print", "iram[40]", "--print", "iram[41]", Examples + "/loops.M51"});
    EXPECT_EQ(reached.exitCode, 0) << reached.err.toStdString();
    EXPECT_EQ(reached.out, "iram[40]=0A\niram[41]=00\n");
    const SimRun tooShort = M51sim({"--until-line", line, "--steps", "10", "--print", "A", Examples + "/loops.M51"});
    EXPECT_EQ(tooShort.exitCode, 3);
    EXPECT_TRUE(tooShort.err.contains("not reached")) << tooShort.err.toStdString();
}

TEST(M51sim, SerialInAndOut)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in"), out = dir.filePath("out");
    QFile input(in);
    ASSERT_TRUE(input.open(QIODevice::WriteOnly));
    input.write("z");
    input.close();
    const SimRun run = M51sim({"--serial-in", in, "--serial-out", out, "--print", "iram[31]", Programs + "/serialecho.M51"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "iram[31]=7A\n");
    QFile output(out);
    ASSERT_TRUE(output.open(QIODevice::ReadOnly));
    EXPECT_EQ(output.readAll(), "Az");
}

// Bytes that arrive back to back at the program's bit rate all reach it, none
// overwrites the one before.
TEST(M51sim, EchoesBytesSentBackToBack)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in"), out = dir.filePath("out");
    QFile input(in);
    ASSERT_TRUE(input.open(QIODevice::WriteOnly));
    input.write("HAL");
    input.close();
    const SimRun run = M51sim({"--steps", "20000", "--serial-in", in, "--serial-out", out, "--print", "iram[32]",
                               Programs + "/echoplus.M51"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "iram[32]=03\n");
    QFile output(out);
    ASSERT_TRUE(output.open(QIODevice::ReadOnly));
    EXPECT_EQ(output.readAll(), "IBM");
}

// The options of the built-in simulator: program kinds, the serial script
// and its exit status, and the board's settings.
TEST(M51simCore, ProgramKindsScriptAndBoard)
{
    if (qgetenv("M51_SIMULATOR") == "s51")
        GTEST_SKIP() << "the built-in simulator's options";
    QTemporaryDir dir;
    auto write = [&dir](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return dir.filePath(name);
    };
    const QString source = write("count.a51", "        MOV R0,#0\nLOOP:   INC R0\n        CJNE R0,#10,LOOP\n"
                                              "        MOV 30H,R0\nPARK:   SJMP PARK\n        END\n");
    const SimRun asmRun = M51sim({"--until-line", "5", "--print", "iram[30]", "--print", "PC", source});
    EXPECT_EQ(asmRun.exitCode, 0) << asmRun.err.toStdString();
    EXPECT_EQ(asmRun.out, "iram[30]=0A\nPC=0008\n");
    const QString hex = write("count.hex", ":08000000780008B80AFC88303D\n:0A000800\n:00000001FF\n");
    const SimRun badHex = M51sim({hex});
    EXPECT_EQ(badHex.exitCode, 2);
    EXPECT_TRUE(badHex.err.contains("Intel HEX")) << badHex.err.toStdString();

    const QString met = write("met.txt", "send H\nexpect I\nsend A\nexpect B\n");
    const SimRun scripted = M51sim({"--serial-script", met, "--print", "iram[32]", Programs + "/echoplus.M51"});
    EXPECT_EQ(scripted.exitCode, 0) << scripted.err.toStdString();
    EXPECT_EQ(scripted.out, "iram[32]=02\n");
    const QString unmet = write("unmet.txt", "send H\n\nexpect IX\n");
    const SimRun notMet = M51sim({"--steps", "5000", "--serial-script", unmet, Programs + "/echoplus.M51"});
    EXPECT_EQ(notMet.exitCode, 4);
    EXPECT_TRUE(notMet.err.contains("unmet.txt:3:")) << notMet.err.toStdString();
    const SimRun badScript = M51sim({"--serial-script", write("bad.txt", "sned H\n"), Programs + "/echoplus.M51"});
    EXPECT_EQ(badScript.exitCode, 2);
    EXPECT_TRUE(badScript.err.contains("bad.txt:1: unknown command")) << badScript.err.toStdString();

    // Timer 0 counts machine cycles: a crystal twice as fast does not change
    // them, an unknown chip or a bad number is refused.
    EXPECT_EQ(M51sim({"--xtal", "24000000", "--until-line", "5", "--print", "iram[30]", source}).out, "iram[30]=0A\n");
    EXPECT_EQ(M51sim({"--chip", "Z80", source}).exitCode, 2);
    EXPECT_EQ(M51sim({"--xram", "70000", source}).exitCode, 2);
    EXPECT_EQ(M51sim({"--line-baud", "fast", source}).exitCode, 2);
}

// A ROM monitor's HEX download on the real line: once the loader of the
// examples has signed on, sendfile puts a 2 KB file on RXD back to back at
// the program's bit rate, and the loader counts every record as sound.
TEST(M51simCore, HexDownloadOnTheRealLine)
{
    if (qgetenv("M51_SIMULATOR") == "s51")
        GTEST_SKIP() << "the built-in simulator's options";
    QTemporaryDir dir;
    QByteArray hex;
    for (int address = 0; address < 2048; address += 16) {
        QByteArray record;
        record.append(char(16)).append(char(address >> 8)).append(char(address)).append(char(0));
        for (int i = 0; i < 16; ++i)
            record.append(char(address * 7 + i * 13));
        quint8 sum = 0;
        for (char c : record)
            sum = quint8(sum - quint8(c));
        hex += ':' + (record + char(sum)).toHex().toUpper() + "\r\n";
    }
    hex += ":00000001FF\r\n";
    for (const auto& [name, bytes] : {std::pair{"firmware.hex", hex},
                                      std::pair{"load.txt", QByteArray("expect READY\\r\\n\nsendfile firmware.hex\nexpect OK 129\\r\\n\n")}}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    const SimRun run = M51sim({"--line-baud", "115200", "--steps", "5000000", "--serial-script", dir.filePath("load.txt"),
                               "--print", "xram[7F0]", Examples + "/hexload.a51"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QByteArray("xram[7F0]=") + QByteArray(1, char(0x7F0 * 7)).toHex().toUpper() + "\n");
}

// --tty: a terminal program opens the linked pseudo-terminal and talks to
// the board until m51sim is interrupted; the values are printed then.
TEST(M51simCore, ServesTheSerialPortOnAPseudoTerminal)
{
    if (qgetenv("M51_SIMULATOR") == "s51")
        GTEST_SKIP() << "the built-in simulator's option";
    QTemporaryDir dir;
    const QString link = dir.filePath("board");
    QProcess process;
    process.start(M51SIM_PATH, {"--tty", link, "--print", "iram[32]", Programs + "/echoplus.M51"});
    ASSERT_TRUE(process.waitForStarted(5000));
    int fd = -1;
    for (int i = 0; i < 200 && fd < 0; ++i) {
        QThread::msleep(10);
        fd = ::open(link.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ASSERT_GE(fd, 0);
    QByteArray echoed;
    for (char c : {'H', 'A', 'L'}) {
        ASSERT_EQ(::write(fd, &c, 1), 1);
        for (int i = 0; i < 200; ++i) {
            QThread::msleep(5);
            char got;
            if (::read(fd, &got, 1) == 1) {
                echoed += got;
                break;
            }
        }
    }
    ::close(fd);
    EXPECT_EQ(echoed, "IBM");
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(process.readAllStandardOutput(), "iram[32]=03\n");
    EXPECT_FALSE(QFileInfo::exists(link));
}

// A flood from the client is taken only as fast as the line carries it: the
// rest waits in the pseudo-terminal and its writer is held back.
TEST(M51simCore, HoldsBackAFloodOnThePseudoTerminal)
{
    if (qgetenv("M51_SIMULATOR") == "s51")
        GTEST_SKIP() << "the built-in simulator's option";
    QTemporaryDir dir;
    const QString link = dir.filePath("board");
    QProcess process;
    process.start(M51SIM_PATH, {"--tty", link, Programs + "/echoplus.M51"});
    ASSERT_TRUE(process.waitForStarted(5000));
    int fd = -1;
    for (int i = 0; i < 200 && fd < 0; ++i) {
        QThread::msleep(10);
        fd = ::open(link.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ASSERT_GE(fd, 0);
    const QByteArray flood(1 << 16, 'x');
    qint64 accepted = 0;
    for (int i = 0; i < 60; ++i) {
        const ssize_t n = ::write(fd, flood.constData(), size_t(flood.size()));
        accepted += n > 0 ? n : 0;
        QThread::msleep(5);
    }
    ::close(fd);
    EXPECT_LT(accepted, 1 << 20);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(5000));
}

TEST(M51sim, ExitStatusOfErrors)
{
    QTemporaryDir dir;
    const QString broken = dir.filePath("broken.M51");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("PROCESOR 51\nFROBNICATE 7\nEND\n");
    file.close();
    const SimRun compileError = M51sim({broken});
    EXPECT_EQ(compileError.exitCode, 1);
    EXPECT_TRUE(compileError.err.contains("broken.M51:2:")) << compileError.err.toStdString();

    EXPECT_EQ(M51sim({"--steps"}).exitCode, 2);
    EXPECT_EQ(M51sim({dir.filePath("missing.M51")}).exitCode, 2);
    const SimRun noSimulator = M51sim({"--simulator", "/nonexistent/s51", Examples + "/loops.M51"});
    EXPECT_EQ(noSimulator.exitCode, 2);
    EXPECT_TRUE(noSimulator.err.contains("sdcc-ucsim")) << noSimulator.err.toStdString();
    EXPECT_EQ(M51sim({"--version"}).out.left(7), "m51sim ");
}

// Inputs that are no files, HEX records beyond the code memory and outputs
// named as one of the run's inputs are refused (exit 2) with the reason; the
// input stays as it was. A test whose program is no file fails.
TEST(M51simCore, RefusesWhatIsNoInputAndOutputsOverInputs)
{
    if (qgetenv("M51_SIMULATOR") == "s51")
        GTEST_SKIP() << "the built-in simulator's options";
    QTemporaryDir dir;
    auto write = [&dir](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return dir.filePath(name);
    };
    const QByteArray program = "PARK:   SJMP PARK\n        END\n";
    const QString source = write("p.asm", program);
    const QString test = write("t.m51test", "program p.asm\ncheck A = 00\n");
    const QString folderTest = write("f.m51test", "program .\ncheck A = 00\n");
    const QString script = write("s.txt", "sendfile sub\n");
    QDir(dir.path()).mkdir("sub");
    // 12H meant for 10000H (an extended linear address record before it).
    const QString hex = write("h.hex", ":020000040001F9\n:0100000012ED\n:00000001FF\n");
    const struct {
        QStringList arguments;
        int exitCode;
        QString message;
    } cases[] = {
        {{"--serial-out", source, source}, 2, "the output " + source + " is the input " + source},
        {{"--profile", dir.filePath("./p.asm"), "--steps", "10", source}, 2, "is the input " + source},
        {{"test", test, "--junit", test}, 2, "the output " + test + " is the input " + test},
        {{"test", folderTest}, 1, "cannot read " + dir.path() + "/.: is a folder, not a file"},
        {{"--serial-script", script, source}, 2, "cannot read sub: is a folder, not a file"},
        {{hex}, 2, "h.hex:2: not a valid Intel HEX file: the record for 10000H lies beyond the 64 KB code memory"},
        {{"/dev/zero"}, 2, "cannot read /dev/zero: is a device, not a file"},
        {{dir.path()}, 2, "is a folder, not a file"},
    };
    for (const auto& c : cases) {
        const SimRun run = M51sim(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE((run.err + run.out).contains(c.message)) << run.err.toStdString() << run.out.toStdString();
    }
    QFile kept(source);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), program);
    QFile keptTest(test);
    ASSERT_TRUE(keptTest.open(QIODevice::ReadOnly));
    EXPECT_TRUE(keptTest.readAll().startsWith("program p.asm"));
}

// A result that cannot be written is a failed run (exit 2, with the reason),
// and a serial record that cannot be written leaves the old file or none.
TEST(M51sim, FailedWritesExitWithTheReason)
{
    SimRun full;
    {
        QProcess process;
        process.setStandardOutputFile("/dev/full");
        process.start(M51SIM_PATH, {"--steps", "2000", "--print", "P1", Examples + "/loops.M51"});
        process.waitForFinished(30000);
        full = {process.exitCode(), {}, QString::fromLocal8Bit(process.readAllStandardError())};
    }
    EXPECT_EQ(full.exitCode, 2);
    EXPECT_TRUE(full.err.contains("No space left on device")) << full.err.toStdString();

    QTemporaryDir dir;
    const SimRun missing = M51sim({"--serial-out", dir.filePath("no/out"), "--print", "A", Programs + "/serialecho.M51"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("Folder does not exist")) << missing.err.toStdString();

    m51test::SmallDisk disk("m51sim-full");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    const QString out = QString::fromStdString(disk.file("out"));
    QFile old(out);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    QFile filler(QString::fromStdString(disk.file("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'x')) > 0) {
    }
    filler.close();
    const SimRun run = M51sim({"--serial-out", out, "--print", "A", Programs + "/serialecho.M51"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("No space left on device")) << run.err.toStdString();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old");
    EXPECT_EQ(QDir(QString::fromStdString(disk.path().string())).entryList(QDir::Files).size(), 2);
}
