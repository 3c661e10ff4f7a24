// The serial port driver against real pseudo-terminals mapped as COM1 and COM2.

#include "PtyPort.h"
#include "SerialPortDrv.h"
#include "SerialPortNative.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

#include <csignal>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

// Collects every OnReceiveData block.
struct Receiver {
    QByteArray data;
    std::vector<int> blocks;
    void attach(TSerialPortDriver& drv)
    {
        drv.OnReceiveData = [this, &drv](TSerialPortDriver* sender, const char* p, int n) {
            EXPECT_EQ(sender, &drv);
            EXPECT_GE(n, 1);
            data.append(p, n);
            blocks.push_back(n);
        };
    }
    bool waitFor(qsizetype size, int ms = 3000)
    {
        return QTest::qWaitFor([&] { return data.size() >= size; }, ms);
    }
};

QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + i / 251) & 0xff);
    return b;
}

bool named(const TEffectiveSettings& e, const char* what)
{
    return e.Deviations.join(QLatin1Char(';')).contains(QLatin1String(what));
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com1.valid() && com2.valid());
        drv.SetDevice(pnCOM1, com1.device());
        drv.SetDevice(pnCOM2, com2.device());
        drv.SetComPort(pnCOM1);
        rx.attach(drv);
    }

    PtyPort com1, com2;
    TSerialPortDriver drv;
    Receiver rx;
};

TEST(DriverClosed, NewDriverHasItsDefaultsAndDoesNothingWhileClosed)
{
    TSerialPortDriver drv;
    EXPECT_EQ(drv.ComPort(), pnCOM2);
    EXPECT_EQ(drv.ComPortSpeed(), br9600);
    EXPECT_EQ(drv.ComPortDataBits(), db8BITS);
    EXPECT_EQ(drv.ComPortStopBits(), sb1BITS);
    EXPECT_EQ(drv.ComPortParity(), ptNONE);
    EXPECT_EQ(drv.ComPortHwHandshaking(), hhNONE);
    EXPECT_EQ(drv.ComPortSwHandshaking(), shNONE);
    EXPECT_EQ(drv.ComPortInBufSize(), 2048);
    EXPECT_EQ(drv.ComPortOutBufSize(), 2048);
    EXPECT_EQ(drv.ComPortPollingDelay(), 50);
    EXPECT_TRUE(drv.EnableDTROnOpen);
    EXPECT_EQ(drv.OutputTimeout, 4000);
    EXPECT_FALSE(drv.OnReceiveData);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(drv.Device(TComPortNumber(i)), QStringLiteral("/dev/ttyS%1").arg(i));

    // Closed: every command is a no-op and the queries give their closed values.
    EXPECT_FALSE(drv.Connected());
    drv.Disconnect();
    drv.ApplyCommState();
    drv.PurgeBuffers(true, true);
    drv.SetDTR(true);
    drv.SetDTR(false);
    drv.SetRTS(true);
    drv.SetRTS(false);
    EXPECT_EQ(drv.OutFreeSpace(), 65535);
    EXPECT_EQ(drv.SendData("abc", 3), 0);
    EXPECT_FALSE(drv.Connected());

    // Values outside the enumerations (a damaged store) are refused.
    drv.SetComPort(TComPortNumber(7));
    drv.SetComPortSpeed(TComPortBaudRate(-1));
    drv.SetComPortParity(TComPortParity(9));
    drv.SetComPortStopBits(TComPortStopBits(3));
    EXPECT_EQ(drv.ComPort(), pnCOM2);
    EXPECT_EQ(drv.ComPortSpeed(), br9600);
    EXPECT_EQ(drv.ComPortParity(), ptNONE);
    EXPECT_EQ(drv.ComPortStopBits(), sb1BITS);
}

TEST(DriverClosed, BaudRateMembersMapToTheirBitRates)
{
    const int rates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
    for (int i = 0; i <= br115200; ++i)
        EXPECT_EQ(TSerialPortDriver::BaudRateValue(TComPortBaudRate(i)), rates[i]) << i;
}

TEST_F(DriverTest, ConnectReceivesAndSendsRawBytes)
{
    ASSERT_TRUE(drv.Connect());
    EXPECT_TRUE(drv.Connected());
    const QByteArray all = pattern(256);  // every byte value, no translation
    ASSERT_TRUE(com1.write(all));
    ASSERT_TRUE(rx.waitFor(all.size()));
    EXPECT_EQ(rx.data, all);

    EXPECT_EQ(drv.SendData(all.constData(), int(all.size())), all.size());
    EXPECT_EQ(com1.read(all.size()), all);
    EXPECT_EQ(drv.SendData(all.constData(), 0), 0);

    // A pseudo-terminal has no modem lines: the calls are harmless.
    drv.SetDTR(false);
    drv.SetRTS(true);
    EXPECT_TRUE(drv.Connected());
    drv.Disconnect();
    EXPECT_FALSE(drv.Connected());
    drv.Disconnect();
    EXPECT_FALSE(drv.Connected());
}

TEST_F(DriverTest, SecondConnectKeepsThePortAndItsPendingBytes)
{
    ASSERT_TRUE(drv.Connect());
    ASSERT_TRUE(com1.write("pending"));
    QTest::qWait(50);  // the bytes wait in the port's queue (delay 50: not all ticks have run)
    EXPECT_TRUE(drv.Connect());  // must not re-apply the settings, which would purge
    ASSERT_TRUE(rx.waitFor(7));
    EXPECT_EQ(rx.data, QByteArray("pending"));
}

TEST_F(DriverTest, FailedConnectLeavesTheDriverClosed)
{
    drv.SetDevice(pnCOM3, QStringLiteral("/dev/no-such-tty"));
    drv.SetComPort(pnCOM3);
    EXPECT_FALSE(drv.Connect());
    EXPECT_FALSE(drv.Connected());
    drv.Disconnect();
    EXPECT_EQ(drv.SendData("x", 1), 0);
    EXPECT_EQ(drv.OutFreeSpace(), 65535);
    // An empty entry falls back to the default device.
    drv.SetDevice(pnCOM3, QString());
    EXPECT_EQ(drv.Device(pnCOM3), TSerialPortDriver::DefaultDevice(pnCOM3));
    // The driver stays usable.
    drv.SetComPort(pnCOM1);
    EXPECT_TRUE(drv.Connect());
}

TEST_F(DriverTest, SecondDriverCannotOpenAnOpenPort)
{
    ASSERT_TRUE(drv.Connect());
    TSerialPortDriver other;
    other.SetDevice(pnCOM2, com1.device());
    EXPECT_FALSE(other.Connect());
    EXPECT_FALSE(other.Connected());
    EXPECT_EQ(other.LastOpenFailure().Error, oeInUse);
    drv.Disconnect();
    EXPECT_TRUE(other.Connect());
    EXPECT_FALSE(drv.Connect());
}

// Opens the device from another process as an unprivileged user (the
// super-user may override a tty's exclusive mode) and returns the errno.
int openFromAnotherProgram(const QString& device)
{
    const QByteArray path = device.toLocal8Bit();
    ::chmod(path.constData(), 0666);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(255);
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::_exit(fd >= 0 ? 0 : (errno & 0x7f));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 254;
}

TEST_F(DriverTest, AnotherProgramCannotOpenAnOpenPort)
{
    ASSERT_EQ(openFromAnotherProgram(com1.device()), 0) << "the device must be free before";
    ASSERT_TRUE(drv.Connect());
    EXPECT_EQ(openFromAnotherProgram(com1.device()), EBUSY);
    drv.Disconnect();
    EXPECT_EQ(openFromAnotherProgram(com1.device()), 0) << "released on Disconnect";
}

// Runs fn in a child process (as an unprivileged user when asked) and returns
// its exit status.
template <class Fn>
int inChild(bool unprivileged, Fn fn)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(255);
        ::_exit(fn());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 254;
}

TEST_F(DriverTest, FailedConnectSaysWhy)
{
    drv.SetDevice(pnCOM3, QStringLiteral("/dev/no-such-tty"));
    drv.SetComPort(pnCOM3);
    EXPECT_FALSE(drv.Connect());
    EXPECT_EQ(drv.LastOpenFailure().Error, oeNoSuchDevice);
    EXPECT_EQ(drv.LastOpenFailure().Device, QStringLiteral("/dev/no-such-tty"));

    // Not permitted: the device's group is named.
    const QByteArray path = com2.device().toLocal8Bit();
    ::chmod(path.constData(), 0660);
    EXPECT_EQ(inChild(true, [&] {
                  TOpenFailure f;
                  SerialPortNative::diagnoseOpenFailure(com2.device(), f);
                  return f.Error == oePermissionDenied && !f.Group.isEmpty() ? 0 : 1;
              }),
              0);

    // Held by another program, even one that the super-user runs: named.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::flock(fd, LOCK_EX);
        ::ioctl(fd, TIOCEXCL);
        char c = 1;
        ::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    drv.SetComPort(pnCOM2);
    EXPECT_FALSE(drv.Connect());
    EXPECT_EQ(drv.LastOpenFailure().Error, oeInUse);
    EXPECT_EQ(drv.LastOpenFailure().HolderPid, holder);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(drv.Connect());
    EXPECT_EQ(drv.LastOpenFailure().Error, oeNone);

    // And the other way round: while open here, a program run by the
    // super-user that honours the advisory lock or the lock file stays out.
    EXPECT_EQ(inChild(false, [&] {
                  const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                  return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK ? 0 : 1;
              }),
              0);
    QString lockName = com2.device().mid(5);
    lockName.replace(QLatin1Char('/'), QLatin1Char('_'));
    bool lockFile = false;
    for (const char* folder : {"/run/lock", "/var/lock", "/tmp"})
        lockFile = lockFile || QFile::exists(QString::fromLatin1(folder) + QStringLiteral("/LCK..") + lockName);
    EXPECT_TRUE(lockFile);
}

TEST_F(DriverTest, ComPortAndInBufSizeAreIgnoredWhileOpen)
{
    drv.SetComPortInBufSize(100);
    drv.SetComPortPollingDelay(0);
    ASSERT_TRUE(drv.Connect());
    drv.SetComPort(pnCOM2);
    drv.SetComPortInBufSize(4000);
    EXPECT_EQ(drv.ComPort(), pnCOM1);
    EXPECT_EQ(drv.ComPortInBufSize(), 100);
    ASSERT_TRUE(com1.write(pattern(1000)));
    ASSERT_TRUE(rx.waitFor(1000));
    for (int n : rx.blocks)
        EXPECT_LE(n, 100);

    drv.Disconnect();
    drv.SetComPort(pnCOM2);
    drv.SetComPortInBufSize(4000);
    EXPECT_EQ(drv.ComPortInBufSize(), 4000);
    ASSERT_TRUE(drv.Connect());
    rx.data.clear();
    ASSERT_TRUE(com2.write("two"));
    ASSERT_TRUE(rx.waitFor(3));
    EXPECT_EQ(rx.data, QByteArray("two"));
}

TEST_F(DriverTest, EverySettingChangedWhileOpenIsAppliedAndDiscardsPendingBytes)
{
    struct Case {
        const char* name;
        std::function<void(TSerialPortDriver&)> change;
        std::function<bool(const TEffectiveSettings&)> applied;
    };
    const Case cases[] = {
        {"speed", [](TSerialPortDriver& d) { d.SetComPortSpeed(br19200); },
         [](const TEffectiveSettings& e) { return e.BaudRate == 19200; }},
        {"data bits", [](TSerialPortDriver& d) { d.SetComPortDataBits(db7BITS); },
         // A pseudo-terminal always keeps 8 data bits and no parity: then the
         // driver must say so.
         [](const TEffectiveSettings& e) { return e.DataBits == 7 || named(e, "7 data bits"); }},
        {"stop bits", [](TSerialPortDriver& d) { d.SetComPortStopBits(sb2BITS); },
         [](const TEffectiveSettings& e) { return e.StopBits == sb2BITS; }},
        {"parity", [](TSerialPortDriver& d) { d.SetComPortParity(ptODD); },
         [](const TEffectiveSettings& e) { return e.Parity == ptODD || named(e, "odd parity"); }},
        {"hardware handshaking", [](TSerialPortDriver& d) { d.SetComPortHwHandshaking(hhRTSCTS); },
         [](const TEffectiveSettings& e) { return e.RtsCts; }},
        {"software handshaking", [](TSerialPortDriver& d) { d.SetComPortSwHandshaking(shXONXOFF); },
         [](const TEffectiveSettings& e) { return e.XonXoff; }},
    };
    drv.SetComPortPollingDelay(1000);  // the bytes reach the port but no tick takes them
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(drv.Connect());
        rx.data.clear();
        ASSERT_TRUE(com1.write("stale input"));
        QTest::qWait(100);
        c.change(drv);
        EXPECT_TRUE(drv.Connected());
        EXPECT_TRUE(c.applied(drv.EffectiveSettings()));
        drv.SetComPortPollingDelay(10);
        ASSERT_TRUE(com1.write("fresh"));
        ASSERT_TRUE(rx.waitFor(5));
        QTest::qWait(30);
        EXPECT_EQ(rx.data, QByteArray("fresh"));
        drv.Disconnect();
        drv.SetComPortPollingDelay(1000);
        drv.SetComPortSpeed(br9600);
        drv.SetComPortDataBits(db8BITS);
        drv.SetComPortStopBits(sb1BITS);
        drv.SetComPortParity(ptNONE);
        drv.SetComPortHwHandshaking(hhNONE);
        drv.SetComPortSwHandshaking(shNONE);
    }
}

TEST_F(DriverTest, EffectiveSettingsNameWhatCouldOnlyBeApproximated)
{
    // What a pseudo-terminal really keeps: any bit rate, one or two stop bits,
    // both flow controls, but always 8 data bits without parity. 1.5 stop bits
    // do not exist in the tty layer and become 2.
    struct Case {
        TComPortBaudRate speed;
        TComPortDataBits bits;
        TComPortParity parity;
        TComPortStopBits stop;
        TComPortHwHandshaking hw;
        TComPortSwHandshaking sw;
        int expectBaud;
        TComPortStopBits expectStop;
        QStringList expectDeviations;
    };
    const Case cases[] = {
        {br9600, db8BITS, ptNONE, sb1BITS, hhNONE, shNONE, 9600, sb1BITS, {}},
        {br14400, db8BITS, ptNONE, sb2BITS, hhRTSCTS, shXONXOFF, 14400, sb2BITS, {}},
        {br56000, db8BITS, ptNONE, sb1BITS, hhNONE, shXONXOFF, 56000, sb1BITS, {}},
        {br110, db8BITS, ptNONE, sb1HALFBITS, hhRTSCTS, shNONE, 110, sb2BITS,
         {"1.5 stop bits are not available: 2 stop bits used"}},
        {br115200, db5BITS, ptMARK, sb1BITS, hhNONE, shNONE, 115200, sb1BITS,
         {"5 data bits are not available: 8 used", "mark parity is not available: no parity used"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        drv.SetComPortSpeed(c.speed);
        drv.SetComPortDataBits(c.bits);
        drv.SetComPortParity(c.parity);
        drv.SetComPortStopBits(c.stop);
        drv.SetComPortHwHandshaking(c.hw);
        drv.SetComPortSwHandshaking(c.sw);
        ASSERT_TRUE(drv.Connect());
        const TEffectiveSettings e = drv.EffectiveSettings();
        EXPECT_EQ(e.BaudRate, c.expectBaud);
        EXPECT_EQ(e.DataBits, 8);
        EXPECT_EQ(e.Parity, ptNONE);
        EXPECT_EQ(e.StopBits, c.expectStop);
        EXPECT_EQ(e.RtsCts, c.hw == hhRTSCTS);
        EXPECT_EQ(e.XonXoff, c.sw == shXONXOFF);
        EXPECT_FALSE(e.ParityChecked);
        EXPECT_EQ(e.Deviations, c.expectDeviations);
        drv.Disconnect();
    }
}

TEST_F(DriverTest, PollingDelaySetToItsOwnValueKeepsTheTimerRunning)
{
    drv.SetComPortPollingDelay(600);
    ASSERT_TRUE(drv.Connect());
    QTest::qWait(250);
    ASSERT_TRUE(com1.write("x"));
    QElapsedTimer clock;
    clock.start();
    drv.SetComPortPollingDelay(600);  // no restart: the next tick stays about 350 ms away
    ASSERT_TRUE(rx.waitFor(1, 2000));
    EXPECT_LT(clock.elapsed(), 500);

    // Another value restarts the timer with the new period.
    rx.data.clear();
    drv.SetComPortPollingDelay(20);
    ASSERT_TRUE(com1.write("y"));
    EXPECT_TRUE(rx.waitFor(1, 300));
}

class DriverBurstTest : public DriverTest, public ::testing::WithParamInterface<int> {};

TEST_P(DriverBurstTest, BurstLargerThanTheBufferComesInOrderInSeveralBlocks)
{
    drv.SetComPortInBufSize(512);
    drv.SetComPortPollingDelay(quint16(GetParam()));
    ASSERT_TRUE(drv.Connect());
    const QByteArray burst = pattern(200000);
    // The far end writes from its own thread: the pty holds far less than the
    // burst, and the driver reads only while the event loop runs here.
    std::thread feeder([&] { com1.write(burst); });
    const bool all = rx.waitFor(burst.size(), 20000);
    feeder.join();
    ASSERT_TRUE(all);
    EXPECT_EQ(rx.data, burst);
    EXPECT_GE(rx.blocks.size(), burst.size() / 512);
    for (int n : rx.blocks)
        ASSERT_LE(n, 512);
}

INSTANTIATE_TEST_SUITE_P(PollingDelay, DriverBurstTest, ::testing::Values(0, 1, 5));

TEST_F(DriverTest, SendDataGivesUpWhenThePeerNeverReads)
{
    drv.OutputTimeout = 300;
    ASSERT_TRUE(drv.Connect());
    const QByteArray block = pattern(4 << 20);
    QElapsedTimer clock;
    clock.start();
    const int result = drv.SendData(block.constData(), int(block.size()));
    const qint64 took = clock.elapsed();
    ASSERT_LT(result, 0);
    EXPECT_LT(-result, block.size());
    EXPECT_GE(took, 290);
    EXPECT_LT(took, 3000);
    // Exactly the bytes counted as sent reach the far end, in order.
    EXPECT_EQ(com1.read(-result), block.left(-result));
    EXPECT_TRUE(drv.Connected());
}

TEST_F(DriverTest, SendDataGivesUpWhileXoffHoldsTheLine)
{
    drv.OutputTimeout = 250;
    drv.SetComPortSwHandshaking(shXONXOFF);
    drv.SetComPortPollingDelay(0);
    ASSERT_TRUE(drv.Connect());
    ASSERT_TRUE(com1.write("\x13"));  // XOFF
    QTest::qWait(50);
    const QByteArray block = pattern(1 << 20);
    QElapsedTimer clock;
    clock.start();
    const int result = drv.SendData(block.constData(), int(block.size()));
    EXPECT_LE(result, 0);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(com1.read(1, 100).isEmpty()) << "nothing passes while held";

    ASSERT_TRUE(com1.write("\x11"));  // XON releases what waited
    EXPECT_EQ(com1.read(-result), block.left(-result));
    EXPECT_EQ(drv.SendData("ok", 2), 2);
    EXPECT_EQ(com1.read(2), QByteArray("ok"));
}

class DriverLostTest : public DriverTest, public ::testing::WithParamInterface<int> {};

TEST_P(DriverLostTest, DeviceVanishingWhileOpenClosesThePortAndSaysSo)
{
    drv.SetComPortPollingDelay(quint16(GetParam()));
    QSignalSpy lost(&drv, &TSerialPortDriver::OnConnectionLost);
    ASSERT_TRUE(drv.Connect());
    ASSERT_TRUE(com1.write("last words"));
    ASSERT_TRUE(rx.waitFor(10));
    com1.closeMaster();
    ASSERT_TRUE(lost.wait(2000) || lost.count() > 0);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_FALSE(drv.Connected());
    EXPECT_EQ(drv.SendData("x", 1), 0);
    drv.Disconnect();
    QTest::qWait(100);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(rx.data, QByteArray("last words"));
}

INSTANTIATE_TEST_SUITE_P(PollingDelay, DriverLostTest, ::testing::Values(0, 50));

TEST_F(DriverTest, SendingToAVanishedDeviceEndsAtOnce)
{
    QSignalSpy lost(&drv, &TSerialPortDriver::OnConnectionLost);
    ASSERT_TRUE(drv.Connect());
    com1.closeMaster();  // no event has been served yet
    QElapsedTimer clock;
    clock.start();
    EXPECT_LE(drv.SendData("hello", 5), 0);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(drv.Connected());
    EXPECT_EQ(lost.count(), 1);
}

TEST_F(DriverTest, HandlerMayDisconnectDuringDelivery)
{
    drv.SetComPortInBufSize(16);
    drv.SetComPortPollingDelay(0);
    int calls = 0;
    drv.OnReceiveData = [&](TSerialPortDriver* d, const char*, int) {
        ++calls;
        d->Disconnect();
    };
    ASSERT_TRUE(drv.Connect());
    ASSERT_TRUE(com1.write(pattern(1000)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 2000));
    QTest::qWait(50);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(drv.Connected());
    EXPECT_TRUE(drv.Connect());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
