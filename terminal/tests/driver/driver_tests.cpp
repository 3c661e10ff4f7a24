// The serial port driver against real pseudo-terminals mapped as COM1 and COM2.

#include "terminal/tests/driver/DriverFixture.h"
#include "terminal/tests/common/PtyPort.h"
#include "terminal/SerialPortDrv.h"
#include "terminal/SerialPortNative.h"

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

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
