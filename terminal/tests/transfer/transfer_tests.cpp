// Sending files to a device: paced Send File against a far end that records
// when each byte came, and the stored pacing; XMODEM, YMODEM and ZMODEM both
// ways with the lrzsz programs as the far end of the line.
#include "terminal/tests/transfer/FarEnd.h"
#include "terminal/core/FileSender.h"
#include "terminal/core/ProtocolTransfer.h"
#include "terminal/SerialPortDrv.h"

#include <QProcess>
#include <functional>
#include <optional>
#include <sys/socket.h>
#include <QRandomGenerator>

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString writeTemp(const QTemporaryDir& dir, const QByteArray& data)
{
    const QString path = dir.filePath(QStringLiteral("file.bin"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
    return path;
}

// A driver connected to the pseudo-terminal's slave side.
struct Line {
    PtyPort pty;
    TSerialPortDriver driver;
    Line()
    {
        driver.SetDevice(pnCOM1, pty.device());
        driver.SetComPort(pnCOM1);
        driver.SetComPortParity(ptNONE);
        driver.SetComPortPollingDelay(0);
    }
};

// Sends the file and waits for the outcome.
TFileSendResult sendAndWait(TFileSender& sender, const QString& path, int timeoutMs = 20000)
{
    QSignalSpy done(&sender, &TFileSender::finished);
    QString error;
    if (!sender.start(path, &error))
        qWarning() << error;
    done.wait(timeoutMs);
    if (!done.isEmpty())
        return done[0][0].value<TFileSendResult>();
    qWarning() << "no outcome";
    TFileSendResult none;
    none.End = TFileSendResult::TimedOut;
    return none;
}

// An lrzsz program on the far end of the line. It talks through a socket
// that a thread relays to the pseudo-terminal's master side: given the master
// itself, the program's terminal settings and flushes would act on this
// side's line (the slave's queue) and drop bytes a real device never loses.
class FarProgram {
public:
    FarProgram(PtyPort& pty, const QString& program, const QStringList& arguments, const QString& folder)
        : m_master(pty.master())
    {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            return;
        m_socket = pair[0];
        const int theirs = pair[1];
        m_process.setWorkingDirectory(folder);
        m_process.setChildProcessModifier([theirs] {
            ::dup2(theirs, 0);
            ::dup2(theirs, 1);
        });
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(program, arguments);
        ::close(theirs);
        m_relay = std::thread([this] { relay(); });
    }
    ~FarProgram()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
        m_stop = true;
        if (m_relay.joinable())
            m_relay.join();
        if (m_socket >= 0)
            ::close(m_socket);
    }
    QProcess& process() { return m_process; }
    // Waits with the event loop running: the program's last bytes must still
    // be read by the port on this side before it can end.
    bool ended(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (m_process.state() != QProcess::NotRunning && clock.elapsed() < timeoutMs)
            QTest::qWait(10);
        return m_process.state() == QProcess::NotRunning;
    }

private:
    // Both ends are non-blocking: a side that stopped reading must not keep
    // the relay from ending.
    bool writeAll(int fd, const char* data, ssize_t size)
    {
        while (size > 0 && !m_stop) {
            const ssize_t n = ::write(fd, data, size_t(size));
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 5);
                continue;
            }
            if (n <= 0)
                return false;
            data += n;
            size -= n;
        }
        return true;
    }
    void relay()
    {
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        ::fcntl(m_socket, F_SETFL, ::fcntl(m_socket, F_GETFL) | O_NONBLOCK);
        char buf[16384];
        bool programOpen = true;
        while (!m_stop) {
            pollfd p[2] = {{m_master, POLLIN, 0}, {m_socket, short(programOpen ? POLLIN : 0), 0}};
            if (::poll(p, 2, 5) <= 0)
                continue;
            if (p[0].revents & POLLIN) {
                const ssize_t n = ::read(m_master, buf, sizeof buf);
                if (n > 0 && programOpen)
                    writeAll(m_socket, buf, n);
            }
            if (p[1].revents & (POLLIN | POLLHUP)) {
                const ssize_t n = ::read(m_socket, buf, sizeof buf);
                if (n > 0)
                    writeAll(m_master, buf, n);
                else
                    programOpen = false;
            }
        }
    }

    int m_master;
    int m_socket = -1;
    QProcess m_process;
    std::atomic<bool> m_stop{false};
    std::thread m_relay;
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator{quint32(size)};
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TTransferResult transferAndWait(TProtocolTransfer& transfer, const TTransferRequest& request, int timeoutMs = 120000,
                                const std::function<void()>& started = {})
{
    QSignalSpy done(&transfer, &TProtocolTransfer::finished);
    transfer.start(request);
    if (started)
        started();
    if (done.isEmpty())
        done.wait(timeoutMs);
    if (!done.isEmpty())
        return done[0][0].value<TTransferResult>();
    TTransferResult none;
    none.End = TTransferResult::NotStarted;
    none.Reason = QStringLiteral("no outcome");
    return none;
}
}  // namespace


class TransferTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<TFileSendResult>();
        qRegisterMetaType<TTransferResult>();
    }
    void pacedTimings_data();
    void pacedTimings();
    void pacedWaitsForPrompt();
    void pacedPromptMissing();
    void sendFileRefusesWhatIsNoFile();
    void pacingStored();
    void protocolsBothWays_data();
    void protocolsBothWays();
    void transferCancelled_data();
    void transferCancelled();
    void transferSilentPeer();
};

void TransferTests::pacedTimings_data()
{
    // The shortest time from the first byte's arrival to the last one's: the
    // pauses between them (the far end's clock may read a byte a little
    // late, so single gaps are not compared, and some slack is left).
    QTest::addColumn<double>("charMs");
    QTest::addColumn<double>("lineMs");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<double>("totalMs");
    QByteArray big(20000, 'x');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 31 + i / 97);
    QTest::newRow("unpaced arrives whole") << 0.0 << 0.0 << big << 0.0;
    QTest::newRow("2 ms after each byte") << 2.0 << 0.0 << QByteArray("0123456789abcdefghij") << 34.0;
    QTest::newRow("a quarter millisecond adds up") << 0.25 << 0.0 << QByteArray(400, 'u') << 90.0;
    QTest::newRow("30 ms after CR LF lines") << 0.0 << 30.0 << QByteArray(":00\r\n:01\r\n:02\r\n:03\r\n") << 80.0;
    QTest::newRow("30 ms after LF lines") << 0.0 << 30.0 << QByteArray("a\nb\nc\n") << 52.0;
    QTest::newRow("30 ms after CR lines") << 0.0 << 30.0 << QByteArray("a\rb\rc\r") << 52.0;
    QTest::newRow("both add after a line") << 5.0 << 20.0 << QByteArray("ab\ncd\n") << 40.0;
}

void TransferTests::pacedTimings()
{
    QFETCH(double, charMs);
    QFETCH(double, lineMs);
    QFETCH(QByteArray, data);
    QFETCH(double, totalMs);
    Line line;
    QVERIFY(line.driver.Connect());
    FarEnd far(line.pty);
    TFileSender sender(&line.driver);
    TSendPacing pacing;
    pacing.CharDelayMs = charMs;
    pacing.LineDelayMs = lineMs;
    sender.setPacing(pacing);
    QTemporaryDir dir;
    const TFileSendResult result = sendAndWait(sender, writeTemp(dir, data));
    QCOMPARE(result.End, TFileSendResult::Finished);
    QCOMPARE(result.Sent, qint64(data.size()));
    QTRY_COMPARE(far.bytes().size(), data.size());
    far.stop();
    QCOMPARE(far.bytes(), data);
    const auto a = far.arrivals();
    const double total = (a.back().ns - a.front().ns) / 1e6;
    QVERIFY2(total >= totalMs, qPrintable(QString::number(total)));
}

void TransferTests::pacedWaitsForPrompt()
{
    // The monitor answers each line with "> " only after 40 ms; no byte of a
    // line may come before the prompt for the line before it.
    Line line;
    line.driver.OnReceiveData = nullptr;
    QVERIFY(line.driver.Connect());
    FarEnd far(line.pty, QByteArray("> "), 40);
    TFileSender sender(&line.driver);
    line.driver.OnReceiveData = [&sender](TSerialPortDriver*, const char* data, int size) {
        sender.received(data, size);
    };
    TSendPacing pacing;
    pacing.WaitFor = "> ";
    sender.setPacing(pacing);
    const QByteArray data(":10000000\r\n:10001000\r\n:00000001FF\r\n");
    QTemporaryDir dir;
    const TFileSendResult result = sendAndWait(sender, writeTemp(dir, data));
    QCOMPARE(result.End, TFileSendResult::Finished);
    far.stop();
    QCOMPARE(far.bytes(), data);
    const auto a = far.arrivals();
    const auto prompts = far.prompts();
    QCOMPARE(prompts.size(), size_t(3));
    int lineNo = 0;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i - 1].byte != '\n')
            continue;
        QVERIFY2(a[i].ns >= prompts[size_t(lineNo)], qPrintable(QStringLiteral("line %1 came early").arg(lineNo + 2)));
        ++lineNo;
    }
    QCOMPARE(lineNo, 2);
}

void TransferTests::pacedPromptMissing()
{
    // A device that never prompts: the send stops after the first line and
    // says what did not come.
    Line line;
    QVERIFY(line.driver.Connect());
    FarEnd far(line.pty);
    TFileSender sender(&line.driver);
    TSendPacing pacing;
    pacing.WaitFor = ">";
    pacing.WaitTimeoutMs = 200;
    sender.setPacing(pacing);
    QTemporaryDir dir;
    const TFileSendResult result = sendAndWait(sender, writeTemp(dir, "one\r\ntwo\r\n"));
    QCOMPARE(result.End, TFileSendResult::NoPrompt);
    QCOMPARE(result.Sent, qint64(5));
    QCOMPARE(result.Line, qint64(1));
    QVERIFY(FileSendMessage(result).contains(QStringLiteral("did not answer > after line 1")));
    QTest::qWait(100);
    far.stop();
    QCOMPARE(far.bytes(), QByteArray("one\r\n"));
}

void TransferTests::sendFileRefusesWhatIsNoFile()
{
    // A folder or a device is refused with what it is; nothing is sent.
    Line line;
    QVERIFY(line.driver.Connect());
    TFileSender sender(&line.driver);
    QTemporaryDir dir;
    for (const auto& [path, why] : {std::pair{dir.path(), "is a folder, not a file"},
                                    std::pair{QStringLiteral("/dev/zero"), "is a device, not a file"}}) {
        QString error;
        QVERIFY(!sender.start(path, &error));
        QCOMPARE(error, QString::fromLatin1(why));
        QVERIFY(!sender.active());
    }
}

void TransferTests::pacingStored()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("terminal.ini"));
    TSendPacing pacing;
    pacing.CharDelayMs = 0.3;
    pacing.LineDelayMs = 2.5;
    pacing.WaitFor = QByteArray("#>\r");
    pacing.WaitTimeoutMs = 1500;
    {
        QSettings store(ini, QSettings::IniFormat);
        QCOMPARE(LoadSendPacing(store, QStringLiteral("terminal")), TSendPacing());  // nothing stored: unpaced
        SaveSendPacing(store, QStringLiteral("terminal"), pacing);
    }
    QFile f(ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.contains("[terminal]"));
    QVERIFY(text.contains("SendFile\\CharDelayMs=0.3"));
    QVERIFY(text.contains("SendFile\\LineDelayMs=2.5"));
    QSettings store(ini, QSettings::IniFormat);
    QCOMPARE(LoadSendPacing(store, QStringLiteral("terminal")), pacing);
    // Values a user mistyped in the file leave the defaults.
    store.setValue(QStringLiteral("terminal/SendFile/CharDelayMs"), QStringLiteral("fast"));
    store.setValue(QStringLiteral("terminal/SendFile/LineDelayMs"), QStringLiteral("-4"));
    const TSendPacing back = LoadSendPacing(store, QStringLiteral("terminal"));
    QCOMPARE(back.CharDelayMs, 0.0);
    QCOMPARE(back.LineDelayMs, 0.0);
}

void TransferTests::protocolsBothWays_data()
{
    // The terminal's protocol and direction, the far end's program, and the
    // file's size (XMODEM's 128-byte blocks each wait for an answer: a
    // smaller file keeps the run short).
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("send");
    QTest::addColumn<QString>("farProgram");
    QTest::addColumn<QStringList>("farArguments");
    QTest::addColumn<int>("size");
    const int mb = 1 << 20;
    auto row = [](const char* name, TProtocol p, bool send, const char* program, QStringList args, int size) {
        QTest::newRow(name) << int(p) << send << QString::fromLatin1(program) << args << size;
    };
    row("XMODEM checksum receive", TProtocol::XmodemChecksum, false, "sx", {"-b", "out.bin"}, 128 << 10);
    row("XMODEM-CRC receive", TProtocol::XmodemCrc, false, "sx", {"-b", "out.bin"}, 128 << 10);
    row("XMODEM-1K receive", TProtocol::Xmodem1K, false, "sx", {"-b", "-k", "out.bin"}, mb);
    row("YMODEM receive", TProtocol::Ymodem, false, "sb", {"-b", "out.bin"}, mb);
    row("XMODEM-1K send", TProtocol::Xmodem1K, true, "rx", {"-b", "-c", "in.bin"}, mb);
    row("YMODEM send", TProtocol::Ymodem, true, "rb", {"-b"}, mb);
    row("ZMODEM send", TProtocol::Zmodem, true, "rz", {"-b"}, mb);
    row("ZMODEM receive", TProtocol::Zmodem, false, "sz", {"-b", "out.bin"}, mb);
}

void TransferTests::protocolsBothWays()
{
    QFETCH(int, protocol);
    QFETCH(bool, send);
    QFETCH(QString, farProgram);
    QFETCH(QStringList, farArguments);
    QFETCH(int, size);
    QTemporaryDir here, there;
    const QByteArray data = randomBytes(size);
    const QString source = (send ? here : there).filePath(send ? QStringLiteral("firmware.bin") : QStringLiteral("out.bin"));
    {
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    Line line;
    QVERIFY(line.driver.Connect());
    TProtocolTransfer transfer(&line.driver);
    line.driver.OnReceiveData = [&transfer](TSerialPortDriver*, const char* d, int n) { transfer.received(d, n); };
    TTransferRequest request;
    request.Protocol = TProtocol(protocol);
    request.Direction = send ? TTransferDirection::Send : TTransferDirection::Receive;
    request.Files = {source};
    request.Folder = here.path();
    request.XmodemName = QStringLiteral("board.bin");
    request.IdleTimeoutMs = 10000;
    // The far program starts once this side listens, as a user starts the
    // device's end after the terminal's: a receiver's first request would
    // otherwise go to the text view and be repeated only after 10 s.
    std::optional<FarProgram> far;
    const TTransferResult result = transferAndWait(transfer, request, 120000,
                                                   [&] { far.emplace(line.pty, farProgram, farArguments, there.path()); });
    QVERIFY2(result.End == TTransferResult::Succeeded, qPrintable(TransferMessage(result)));
    QVERIFY(far->ended(10000));
    QCOMPARE(far->process().exitCode(), 0);
    QString arrived;
    if (send)
        arrived = there.filePath(farProgram == QLatin1String("rx") ? QStringLiteral("in.bin") : QStringLiteral("firmware.bin"));
    else
        arrived = here.filePath(request.Protocol <= TProtocol::Xmodem1K ? QStringLiteral("board.bin") : QStringLiteral("out.bin"));
    const QByteArray got = readAll(arrived);
    QCOMPARE(got.size(), data.size());
    QVERIFY(got == data);
    // What was sent, or the file as it came into the folder.
    QCOMPARE(result.Files, QStringList{QFileInfo(send ? source : arrived).fileName()});
    QVERIFY(TransferMessage(result).contains(QStringLiteral("finished")));
}

void TransferTests::transferCancelled_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QString>("farProgram");
    QTest::addColumn<QStringList>("farArguments");
    QTest::addColumn<bool>("keep");
    QTest::newRow("ZMODEM") << int(TProtocol::Zmodem) << "sz" << QStringList{"-b", "big.bin"} << false;
    QTest::newRow("ZMODEM, part kept") << int(TProtocol::Zmodem) << "sz" << QStringList{"-b", "big.bin"} << true;
    QTest::newRow("XMODEM-1K") << int(TProtocol::XmodemCrc) << "sx" << QStringList{"-b", "-k", "big.bin"} << false;
}

void TransferTests::transferCancelled()
{
    // Cancelled in the middle of a receive: the outcome says so and how much
    // came, the program on this side is gone, and the file the folder had
    // under that name is untouched; the part stays only when asked for.
    QFETCH(int, protocol);
    QFETCH(QString, farProgram);
    QFETCH(QStringList, farArguments);
    QFETCH(bool, keep);
    QTemporaryDir here, there;
    const QByteArray old(300000, 'o');
    for (const auto& [dir, bytes] : {std::pair{&there, randomBytes(8 << 20)}, std::pair{&here, old}}) {
        QFile f(dir->filePath(QStringLiteral("big.bin")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    Line line;
    line.driver.SetComPortCustomSpeed(115200);
    QVERIFY(line.driver.Connect());
    TProtocolTransfer transfer(&line.driver);
    line.driver.OnReceiveData = [&transfer](TSerialPortDriver*, const char* d, int n) { transfer.received(d, n); };
    QSignalSpy done(&transfer, &TProtocolTransfer::finished);
    TTransferRequest request;
    request.Protocol = TProtocol(protocol);
    request.Direction = TTransferDirection::Receive;
    request.Folder = here.path();
    request.XmodemName = QStringLiteral("big.bin");
    request.KeepPartial = keep;
    transfer.start(request);
    FarProgram far(line.pty, farProgram, farArguments, there.path());
    QTRY_VERIFY_WITH_TIMEOUT(transfer.bytesFromPort() > 100000, 20000);
    transfer.cancel();
    QCOMPARE(done.size(), 1);
    const auto result = done[0][0].value<TTransferResult>();
    QCOMPARE(result.End, TTransferResult::Cancelled);
    const QString message = TransferMessage(result);
    QVERIFY2(message.contains(ProtocolName(request.Protocol) + QStringLiteral(" receive cancelled after")), qPrintable(message));
    QVERIFY2(result.Arrived > 0, qPrintable(message));
    QVERIFY(!transfer.active());
    QCOMPARE(readAll(here.filePath(QStringLiteral("big.bin"))), old);
    const QStringList left = QDir(here.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(left, keep ? QStringList({"big.bin", "big.bin.part"}) : QStringList{"big.bin"});
    QVERIFY2(message.contains(keep ? QStringLiteral("kept as big.bin.part") : QStringLiteral("discarded")), qPrintable(message));
}

void TransferTests::transferSilentPeer()
{
    // Nobody answers on the far end: the idle time-out ends the send with a
    // message saying so; a program that is not there says that instead.
    QTemporaryDir here;
    const QString file = here.filePath(QStringLiteral("f.bin"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(randomBytes(4096));
    }
    Line line;
    QVERIFY(line.driver.Connect());
    FarEnd silent(line.pty);
    TProtocolTransfer transfer(&line.driver);
    TTransferRequest request;
    request.Protocol = TProtocol::XmodemCrc;
    request.Files = {file};
    request.IdleTimeoutMs = 800;
    QElapsedTimer clock;
    clock.start();
    const TTransferResult result = transferAndWait(transfer, request, 10000);
    QCOMPARE(result.End, TTransferResult::TimedOut);
    QVERIFY(clock.elapsed() >= 700);
    QVERIFY(TransferMessage(result).contains(QStringLiteral("timed out: the device did not answer for 0.8 s")));
    QVERIFY(result.Files.isEmpty());
    silent.stop();
    // The CAN bytes that stop a peer went out.
    QVERIFY(silent.bytes().contains(QByteArray(8, '\x18')));

    const TTransferCommand command = TransferCommand(request);
    QCOMPARE(command.Program, QStringLiteral("sx"));
}

QTEST_GUILESS_MAIN(TransferTests)
#include "transfer_tests.moc"
