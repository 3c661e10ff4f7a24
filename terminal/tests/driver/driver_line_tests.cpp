// The driver with the port open: settings changed while open, the effective
// settings, the polling delay, bursts larger than the buffer, sends held by
// the peer, and a device that vanishes.

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
