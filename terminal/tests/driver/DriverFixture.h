#pragma once
// What the driver's tests share: a receiver that collects every block, a byte
// pattern, and the fixture of a driver with COM1 and COM2 on pseudo-terminals.
#include "terminal/tests/common/PtyPort.h"
#include "terminal/SerialPortDrv.h"

#include <QTest>
#include <gtest/gtest.h>
#include <vector>


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

inline QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + i / 251) & 0xff);
    return b;
}

inline bool named(const TEffectiveSettings& e, const char* what)
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
