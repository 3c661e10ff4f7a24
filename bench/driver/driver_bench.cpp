// Figures of the serial port driver on pseudo-terminals: receive throughput into
// OnReceiveData with the terminal's settings (buffer 2048, delay 0), the load
// of an open but idle port, and the rate of single-byte SendData calls.

#include "terminal/tests/common/PtyPort.h"
#include "terminal/SerialPortDrv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int kPeriod = 65536;

std::vector<char> makePattern()
{
    std::vector<char> p(kPeriod);
    for (int i = 0; i < kPeriod; ++i)
        p[size_t(i)] = char((i * 131 + (i >> 8)) & 0xff);
    return p;
}

double cpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool report(const char* what, double value, const char* unit, double target, bool higherIsBetter)
{
    const bool ok = higherIsBetter ? value >= target : value <= target;
    std::printf("%-52s %12.2f %-9s (target %s %.2f) %s\n", what, value, unit, higherIsBetter ? ">=" : "<=", target,
                ok ? "ok" : "BELOW TARGET");
    return ok;
}

bool receiveThroughput()
{
    PtyPort pty;
    TSerialPortDriver drv;
    drv.SetDevice(pnCOM1, pty.device());
    drv.SetComPort(pnCOM1);
    drv.SetComPortInBufSize(2048);
    drv.SetComPortPollingDelay(0);
    const std::vector<char> pattern = makePattern();
    const qint64 total = qint64(256) << 20;
    qint64 received = 0;
    bool inOrder = true;
    int calls = 0;
    int largest = 0;
    QEventLoop loop;
    drv.OnReceiveData = [&](TSerialPortDriver*, const char* p, int n) {
        ++calls;
        largest = std::max(largest, n);
        const int at = int(received % kPeriod);
        if (at + n <= kPeriod ? std::memcmp(p, pattern.data() + at, size_t(n)) != 0
                              : std::memcmp(p, pattern.data() + at, size_t(kPeriod - at)) != 0)
            inOrder = false;
        received += n;
        if (received >= total)
            loop.quit();
    };
    if (!drv.Connect()) {
        std::printf("cannot open %s\n", qPrintable(pty.device()));
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    std::thread feeder([&] {
        for (qint64 sent = 0; sent < total; sent += kPeriod)
            if (!pty.write(QByteArray::fromRawData(pattern.data(), kPeriod)))
                break;
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    feeder.join();
    std::printf("received %lld of %lld bytes in %d deliveries of at most %d bytes, %s\n", received, total, calls,
                largest, inOrder ? "in order" : "OUT OF ORDER");
    return report("receive pty -> OnReceiveData (buffer 2048, delay 0)", double(received) / seconds / 1e6, "MB/s", 16,
                  true)
        && inOrder && received == total && largest <= 2048;
}

bool idleLoad(quint16 delay)
{
    PtyPort pty;
    TSerialPortDriver drv;
    drv.SetDevice(pnCOM1, pty.device());
    drv.SetComPort(pnCOM1);
    drv.SetComPortPollingDelay(delay);
    drv.OnReceiveData = [](TSerialPortDriver*, const char*, int) {};
    if (!drv.Connect())
        return false;
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    const double cpu0 = cpuSeconds();
    loop.exec();
    const double percent = (cpuSeconds() - cpu0) / (double(clock.nsecsElapsed()) / 1e9) * 100;
    char what[80];
    std::snprintf(what, sizeof what, "CPU while connected and idle (delay %u ms, 3 s)", unsigned(delay));
    return report(what, percent, "% core", 1, false);
}

bool sendRate()
{
    PtyPort pty;
    TSerialPortDriver drv;
    drv.SetDevice(pnCOM1, pty.device());
    drv.SetComPort(pnCOM1);
    if (!drv.Connect())
        return false;
    std::atomic<qint64> drained{0};
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buf[65536];
        while (!stop.load()) {
            pollfd pfd{pty.master(), POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(pty.master(), buf, sizeof buf);
            if (n <= 0)
                break;
            drained += n;
        }
    });
    const int calls = 2000000;
    int failed = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < calls; ++i) {
        const char c = char(i);
        if (drv.SendData(&c, 1) != 1)
            ++failed;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    while (drained.load() < calls - failed && clock.elapsed() < 30000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    reader.join();
    std::printf("sent %d single bytes (%d calls short), the far end read %lld\n", calls, failed, drained.load());
    return report("SendData of single bytes into a reading pty", double(calls) / seconds, "calls/s", 200000, true)
        && failed == 0 && drained.load() == calls;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool ok = receiveThroughput();
    ok = idleLoad(0) && ok;
    ok = idleLoad(50) && ok;
    ok = sendRate() && ok;
    return ok ? 0 : 1;
}
