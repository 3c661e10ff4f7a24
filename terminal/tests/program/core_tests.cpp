// The terminal's core without its window: the connection's states against
// pseudo-terminals (connect, a failed open, new settings while connected, a
// lost device and its return, Auto Dis/Connect waiting for a send), the
// receive pipeline under its options, the transmitter's outcomes, the status
// texts and the served ports in the device map.
#include "terminal/core/Connection.h"
#include "terminal/core/DeviceMap.h"
#include "terminal/MacroCodec.h"
#include "terminal/tests/common/PtyPort.h"
#include "terminal/core/ReceivePipeline.h"
#include "terminal/core/StatusTexts.h"
#include "terminal/Storage.h"
#include "terminal/core/Transmitter.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {
struct TestPty : PtyPort {
    TestPty() : PtyPort(Wait::EventLoop) {}
};

TTerminalSettings onPort(int port)
{
    TTerminalSettings s;
    s.ComPort = port;
    return s;
}
}  // namespace

class CoreTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void connectionStates();
    void settingsWhileConnected_data();
    void settingsWhileConnected();
    void lostDeviceReturns();
    void autoDisconnectWaitsForSend();
    void receiveOptions_data();
    void receiveOptions();
    void receiveTakeOverLogAndRate();
    void sendOutcomes_data();
    void sendOutcomes();
    void texts();
    void servedPorts();

private:
    QTemporaryDir m_home;
};

void CoreTests::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", m_home.path().toLocal8Bit());
    QCoreApplication::setApplicationName(QStringLiteral("terminal"));
}

void CoreTests::init()
{
    QFile::remove(UserStoreFile());
}

void CoreTests::connectionStates()
{
    TestPty pty;
    TConnection connection;
    QSignalSpy states(&connection, &TConnection::stateChanged);
    QSignalSpy details(&connection, &TConnection::detail);
    connection.setPortDevice(pnCOM1, pty.device());
    connection.setPortDevice(pnCOM2, m_home.filePath(QStringLiteral("no-such-tty")));
    connection.apply(onPort(0));
    QVERIFY(connection.open());
    QCOMPARE(connection.state(), TLinkState::Connected);
    QCOMPARE(connection.statusText(), QStringLiteral("Connected to %1 at 2400 8N1").arg(pty.device()));
    QCOMPARE(details.last().at(0).toString(), QString());
    // Another COM number while connected reopens on its device: here none.
    connection.apply(onPort(1));
    QCOMPARE(connection.state(), TLinkState::OpenFailed);
    QVERIFY(!connection.connected());
    QVERIFY(details.last().at(0).toString().endsWith(QStringLiteral("no-such-tty: no such device")));
    QVERIFY(details.last().at(1).toBool());
    connection.close();
    QCOMPARE(connection.state(), TLinkState::Disconnected);
    QCOMPARE(states.last().at(0).value<TLinkState>(), TLinkState::Disconnected);
    // The device map is stored per user.
    auto store = OpenUserStore();
    QCOMPARE(ReadStoreText(*store, QStringLiteral("terminal/Ports/COM1")), pty.device());
}

void CoreTests::settingsWhileConnected_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("reopens");
    QTest::newRow("parity") << 0 << false;
    QTest::newRow("other bit rate") << 1 << false;
    QTest::newRow("receive option only") << 2 << false;
    QTest::newRow("COM number") << 3 << true;
}

void CoreTests::settingsWhileConnected()
{
    QFETCH(int, field);
    QFETCH(bool, reopens);
    TestPty pty;
    TConnection connection;
    connection.setPortDevice(pnCOM1, pty.device());
    connection.setPortDevice(pnCOM2, pty.device());
    TTerminalSettings s = onPort(0);
    connection.apply(s);
    QVERIFY(connection.open());
    QSignalSpy closing(&connection, &TConnection::closing);
    if (field == 0)
        s.Parity = 1;
    else if (field == 1)
        s.OtherChosen = true, s.BitRate = s.OtherBitRate = 460800;
    else if (field == 2)
        s.Dec = true;
    else
        s.ComPort = 1;
    connection.apply(s);
    QCOMPARE(closing.count(), reopens ? 1 : 0);
    QVERIFY(connection.connected());
    QCOMPARE(connection.state(), TLinkState::Connected);
    QCOMPARE(connection.driver()->ComPortParity(), field == 0 ? ptODD : ptNONE);
    QCOMPARE(connection.driver()->ComPortCustomSpeed(), field == 1 ? 460800 : 0);
}

void CoreTests::lostDeviceReturns()
{
    // The COM number names a link to the pseudo-terminal, so the device can
    // go and come back under the same name.
    auto pty = std::make_unique<TestPty>();
    const QString link = m_home.filePath(QStringLiteral("ttyBoard"));
    QVERIFY(QFile::link(pty->device(), link));
    TConnection connection;
    QSignalSpy returned(&connection, &TConnection::deviceReturned);
    connection.setPortDevice(pnCOM1, link);
    TTerminalSettings s = onPort(0);
    connection.apply(s);
    QVERIFY(connection.open());
    pty->closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(connection.state(), TLinkState::Lost, 5000);
    QCOMPARE(connection.statusText(), QStringLiteral("Error: port is not available"));
    connection.checkReturn();  // gone
    pty = std::make_unique<TestPty>();
    QFile::remove(link);
    QVERIFY(QFile::link(pty->device(), link));
    connection.checkReturn();  // back: offered, not connected
    QCOMPARE(returned.count(), 1);
    QVERIFY(!connection.connected());
    // With Auto reconnect it connects by itself.
    QVERIFY(connection.open());
    s.Reconnect = true;
    connection.apply(s);
    pty->closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(connection.state(), TLinkState::Lost, 5000);
    connection.checkReturn();
    pty = std::make_unique<TestPty>();
    QFile::remove(link);
    QVERIFY(QFile::link(pty->device(), link));
    connection.checkReturn();
    QCOMPARE(connection.state(), TLinkState::Connected);
    QCOMPARE(returned.count(), 1);
}

void CoreTests::autoDisconnectWaitsForSend()
{
    TestPty pty;
    TConnection connection;
    bool busy = false;
    connection.Busy = [&busy] { return busy; };
    connection.setPortDevice(pnCOM1, pty.device());
    TTerminalSettings s = onPort(0);
    connection.applicationActivated();  // off: nothing happens
    QVERIFY(!connection.connected());
    s.AutoConnect = true;
    connection.apply(s);
    connection.applicationActivated();
    QVERIFY(connection.connected());
    busy = true;
    connection.applicationDeactivated();
    QVERIFY(connection.connected());
    busy = false;
    connection.sendEnded();
    QVERIFY(!connection.connected());
    // Activated again before the send ended: it stays connected.
    connection.applicationActivated();
    busy = true;
    connection.applicationDeactivated();
    connection.applicationActivated();
    connection.sendEnded();
    QVERIFY(connection.connected());
}

void CoreTests::receiveOptions_data()
{
    QTest::addColumn<bool>("dec");
    QTest::addColumn<bool>("lfNewLine");
    QTest::addColumn<int>("countChar");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("count");
    QTest::newRow("defaults") << false << false << 13 << 2 << 1;
    QTest::newRow("LF ends lines") << false << true << 13 << 3 << 1;
    QTest::newRow("counts LF, Dec column") << true << false << 10 << 2 << 2;
}

void CoreTests::receiveOptions()
{
    QFETCH(bool, dec);
    QFETCH(bool, lfNewLine);
    QFETCH(int, countChar);
    QFETCH(int, lines);
    QFETCH(int, count);
    TReceivePipeline pipeline;
    TTerminalSettings s;
    s.Dec = dec;
    s.LfNewLine = lfNewLine;
    s.CountChar = countChar;
    s.KeepMB = 64;
    pipeline.apply(s);
    QCOMPARE(pipeline.log().MemoryLimit, qint64(64) << 20);
    const QByteArray data("A\nB\r\nC");
    pipeline.receive(data.constData(), int(data.size()));
    QCOMPARE(int(pipeline.log().Text.lineCount()), lines);
    QCOMPARE(pipeline.log().CharCount, count);
    QCOMPARE(pipeline.log().Dec.lineCount() > 0, dec);
    QCOMPARE(pipeline.takeColumnChanged(0), dec);
    QVERIFY(!pipeline.takeColumnChanged(0));
}

void CoreTests::receiveTakeOverLogAndRate()
{
    TReceivePipeline pipeline;
    QSignalSpy changed(&pipeline, &TReceivePipeline::changed);
    bool transfer = true;
    QByteArray watched;
    pipeline.TakeOver = [&transfer](const char*, int) { return transfer; };
    pipeline.Watch = [&watched](const char* data, int size) { watched.append(data, size); };
    const QString path = m_home.filePath(QStringLiteral("raw.log"));
    QString error;
    QVERIFY(pipeline.startLog(path, TLogFile::Raw, &error));
    const QByteArray block("12\r\n");
    pipeline.receive(block.constData(), int(block.size()));  // the protocol's
    QCOMPARE(pipeline.log().Received, 0);
    QCOMPARE(changed.count(), 0);
    transfer = false;
    // However many blocks come at once, the views hear of it at most every
    // refresh period: at once, then when the period is over.
    for (int i = 0; i < 100; ++i)
        pipeline.receive(block.constData(), int(block.size()));
    QCOMPARE(changed.count(), 1);
    QTRY_COMPARE(changed.count(), 2);
    QTest::qWait(3 * TReceivePipeline::RefreshPeriodMs);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(watched, block.repeated(100));
    pipeline.stopLog();
    QFile log(path);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), block.repeated(100));
}

void CoreTests::sendOutcomes_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("macro") << false << "AT#013" << true << int(TSendOutcome::Sent) << QByteArray("AT\r");
    QTest::newRow("macro, bad escape") << false << "A#1" << true << int(TSendOutcome::Refused) << QByteArray();
    QTest::newRow("macro too long") << false << QString(MaxMacroLength + 1, 'x') << true << int(TSendOutcome::Refused)
                                    << QByteArray();
    QTest::newRow("hex") << true << "0D 0a41" << true << int(TSendOutcome::Sent) << QByteArray("\r\nA");
    QTest::newRow("hex, bad digit") << true << "0G" << true << int(TSendOutcome::Refused) << QByteArray();
    QTest::newRow("hex, nothing") << true << " " << true << int(TSendOutcome::Ignored) << QByteArray();
    QTest::newRow("hex, not connected") << true << "41" << false << int(TSendOutcome::Refused) << QByteArray();
}

void CoreTests::sendOutcomes()
{
    QFETCH(bool, hex);
    QFETCH(QString, text);
    QFETCH(bool, connected);
    QFETCH(int, result);
    QFETCH(QByteArray, sent);
    TestPty pty;
    TConnection connection;
    TTransmitter transmitter(&connection);
    connection.setPortDevice(pnCOM1, pty.device());
    connection.apply(onPort(0));
    if (connected)
        QVERIFY(connection.open());
    const TSendOutcome outcome = hex ? transmitter.sendHex(text) : transmitter.sendMacro(text);
    QCOMPARE(int(outcome.Result), result);
    QCOMPARE(outcome.Error.isEmpty(), result != TSendOutcome::Refused);
    QCOMPARE(pty.read(sent.size(), 100), sent);
    QCOMPARE(EnterKeyBytes(2), QByteArray("\r\n"));
}

void CoreTests::texts()
{
    QCOMPARE(ProgressText(1024, 4096, 0, -1), QLocale().toString(1024) + QStringLiteral(" of ")
                                                   + QLocale().toString(4096) + QStringLiteral(" bytes"));
    QCOMPARE(ProgressText(5, -1, 960, 75), QStringLiteral("5 bytes, 960 B/s, 1:15 left"));
    // The menu of a COM number with the default device chosen, and with a
    // typed one that the system does not list.
    const QString standard = TSerialPortDriver::DefaultDevice(pnCOM2);
    TPortMenu menu = PortChoices(pnCOM2, standard, {});
    QVERIFY(menu.Listed.isEmpty() && !menu.Separator && menu.Default && menu.Default->Current);
    menu = PortChoices(pnCOM2, QStringLiteral("/dev/ttyBoard"), {});
    QCOMPARE(menu.Listed.size(), 1);
    QVERIFY(menu.Listed[0].Current && menu.Separator && menu.Default && !menu.Default->Current);
}

void CoreTests::servedPorts()
{
    // m51sim serves a port: the menu names it by the program, and it takes the
    // highest COM number the user left alone, once; a number set to a device
    // that is there is never taken, nor the open one.
    TestPty board, users;
    m51::ServedPortEntry served;
    QVERIFY(served.publish({board.device().toStdString(), "m51sim", "hexload.a51"}).empty());
    TSerialPortDriver driver;
    StorePortDevice(driver, pnCOM4, users.device());
    MapServedPorts(driver, m51::ListServedPorts(), pnCOM3);
    QCOMPARE(driver.Device(pnCOM2), board.device());
    QCOMPARE(ReadStoreText(*OpenUserStore(), QStringLiteral("terminal/Ports/COM2")), board.device());
    QCOMPARE(driver.Device(pnCOM4), users.device());
    MapServedPorts(driver, m51::ListServedPorts(), std::nullopt);
    QCOMPARE(driver.Device(pnCOM3), TSerialPortDriver::DefaultDevice(pnCOM3));
    const TPortMenu menu = PortChoices(pnCOM1, TSerialPortDriver::DefaultDevice(pnCOM1), {}, m51::ListServedPorts());
    QCOMPARE(menu.Listed.size(), 1);
    QCOMPARE(menu.Listed[0].Label, board.device() + QStringLiteral("  (m51sim: hexload.a51)"));
    served.withdraw();
    QVERIFY(m51::ListServedPorts().empty());
}

QTEST_MAIN(CoreTests)
#include "core_tests.moc"
