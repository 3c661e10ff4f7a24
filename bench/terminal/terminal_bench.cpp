// Feeds a pseudo-terminal as fast as the terminal takes it, with all three
// value columns and time stamps on, and prints: throughput (overall and the
// slowest second), how far the display fell behind the data, how late a 50 ms
// timer in the same event loop fired, and memory growth per received byte.
// The same figures follow for a plain QPlainTextEdit doing the same work
// (capped, since it is far slower), then the time to send a 1 MB file into a
// reading pseudo-terminal.
//
//   terminal_bench [megabytes=100 [receive|send|memory]]
//     "receive": the receive figures only; "send": also Send File; "memory":
//     only the memory held after that many megabytes fed straight into the
//     receive store with the default limit (2000 for the 2 GB figure);
//     "plot": the receive figures and lines of readings with the live plot
//     off and on.
#include "terminal/CompactTextView.h"
#include "terminal/ui/ConnectionPanel.h"
#include "terminal/ui/MainFrm.h"
#include "terminal/ui/ReceivePanel.h"
#include "terminal/ui/SettingsBox.h"
#include "terminal/ui/TransmitPanel.h"
#include "terminal/tests/common/PtyPort.h"
#include "terminal/ReceiveStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QHBoxLayout>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {
qint64 residentBytes()
{
    FILE* f = std::fopen("/proc/self/statm", "r");
    long size = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

// Text lines of 20 to 100 printable characters ending in CR LF.
QByteArray makeData(qint64 size)
{
    QByteArray data;
    data.reserve(size);
    QRandomGenerator rng(51);
    while (data.size() < size) {
        const int n = 20 + int(rng.bounded(81));
        for (int i = 0; i < n; ++i)
            data.append(char(' ' + rng.bounded(95)));
        data.append("\r\n");
    }
    data.resize(size);
    return data;
}

// Lines of readings as a board prints them: "t=12.5 v=3.301 n=42".
QByteArray makeReadings(qint64 size)
{
    QByteArray data;
    data.reserve(size + 64);
    QRandomGenerator rng(52);
    for (qint64 i = 0; data.size() < size; ++i)
        data += "t=" + QByteArray::number(rng.bounded(1000) / 10.0) + " v=" + QByteArray::number(rng.bounded(5000) / 1000.0)
                + " n=" + QByteArray::number(i % 1000) + "\r\n";
    data.resize(size);
    return data;
}

// Writes data into the master as fast as the other side reads it.
std::thread startFeeder(int master, const QByteArray& data, std::atomic<bool>& stop)
{
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return std::thread([master, &data, &stop] {
        qint64 done = 0;
        while (done < data.size() && !stop) {
            const ssize_t n = ::write(master, data.constData() + done, size_t(std::min<qint64>(65536, data.size() - done)));
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 20);
                continue;
            }
            if (n <= 0)
                break;
            done += n;
        }
    });
}

struct Figures {
    qint64 bytes = 0;
    double seconds = 0;
    double slowestSecondMBs = 0;
    double maxDisplayLagMs = 0;
    double maxTimerLateMs = 0;
    double bytesPerByte = 0;
    double cpuSeconds = 0;  // processor time of the whole process (the feeding thread too): the machine may be shared
};

double processCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

void print(const char* name, const Figures& f)
{
    std::printf("%-28s %8.2f MB in %6.2f s  %7.3f MB/s  slowest second %7.2f MB/s  display lag max %6.1f ms  "
                "timer late max %6.1f ms  memory %5.2f bytes/byte  processor %6.2f s (%.1f MB per processor second)\n",
                name, f.bytes / 1e6, f.seconds, f.bytes / 1e6 / f.seconds, f.slowestSecondMBs, f.maxDisplayLagMs,
                f.maxTimerLateMs, f.bytesPerByte, f.cpuSeconds, f.cpuSeconds > 0 ? f.bytes / 1e6 / f.cpuSeconds : 0.0);
    std::fflush(stdout);
}

// Runs the event loop until received() reaches total (or the time limit),
// measuring throughput per second and the lateness of a 50 ms timer.
template <typename Received>
void runLoop(Figures& f, qint64 total, Received received, double limitSeconds)
{
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = processCpuSeconds();
    QTimer timer;
    QElapsedTimer sinceTick;
    sinceTick.start();
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(50);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        f.maxTimerLateMs = std::max(f.maxTimerLateMs, sinceTick.nsecsElapsed() / 1e6 - 50.0);
        sinceTick.restart();
    });
    qint64 lastBytes = 0;
    qint64 lastMs = 0;
    f.slowestSecondMBs = 1e9;
    while (received() < total && clock.elapsed() < limitSeconds * 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        if (clock.elapsed() - lastMs >= 1000) {
            const double rate = (received() - lastBytes) / 1e6 / ((clock.elapsed() - lastMs) / 1000.0);
            if (received() < total)
                f.slowestSecondMBs = std::min(f.slowestSecondMBs, rate);
            lastBytes = received();
            lastMs = clock.elapsed();
        }
    }
    f.seconds = clock.nsecsElapsed() / 1e9;
    f.cpuSeconds = processCpuSeconds() - cpuBefore;
    f.bytes = received();
    if (f.slowestSecondMBs > 1e8)
        f.slowestSecondMBs = f.bytes / 1e6 / f.seconds;
}

Figures benchTerminal(qint64 total, bool readings = false, bool plot = false)
{
    Figures f;
    const QByteArray data = readings ? makeReadings(total) : makeData(total);
    PtyPort pty;
    TMainForm form;
    form.show();
    QCoreApplication::processEvents();
    form.connection()->setPortDevice(pnCOM1, pty.device());
    form.connectionPanel()->ComPortRG->SetItemIndex(0);
    form.connectionPanel()->BaudRateRG->SetItemIndex(11);
    form.receivePanel()->CBoxDec->setChecked(true);
    form.receivePanel()->CBoxHex->setChecked(true);
    form.receivePanel()->CBoxBin->setChecked(true);
    form.settingsBox()->TCBox->setChecked(true);
    if (plot)
        form.connectionPanel()->PlotBtn->click();
    form.connection()->open();
    if (!form.connection()->driver()->Connected()) {
        std::printf("cannot open %s\n", qPrintable(pty.device()));
        return f;
    }
    // The display is behind from the first undisplayed block to the next paint.
    QElapsedTimer pending;
    auto inner = form.connection()->driver()->OnReceiveData;
    form.connection()->driver()->OnReceiveData = [&](TSerialPortDriver* s, const char* p, int n) {
        inner(s, p, n);
        if (!pending.isValid())
            pending.start();
    };
    QObject::connect(form.receivePanel()->RxMemo, &TCompactTextView::painted, [&] {
        if (pending.isValid()) {
            f.maxDisplayLagMs = std::max(f.maxDisplayLagMs, pending.nsecsElapsed() / 1e6);
            pending.invalidate();
        }
    });
    const qint64 before = residentBytes();
    std::atomic<bool> stop{false};
    std::thread feeder = startFeeder(pty.master(), data, stop);
    runLoop(f, total, [&] { return form.pipeline()->log().Received; }, 120);
    // The last blocks are shown by the next refresh.
    QElapsedTimer settle;
    settle.start();
    while (pending.isValid() && settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    f.bytesPerByte = double(residentBytes() - before) / double(std::max<qint64>(1, f.bytes));
    stop = true;
    form.connection()->close();
    feeder.join();
    std::printf("  (store holds %.1f MB for %lld lines of text and %lld column lines)\n",
                form.pipeline()->log().memoryBytes() / 1e6, (long long)form.pipeline()->log().Text.lineCount(),
                (long long)form.pipeline()->log().Dec.lineCount());
    return f;
}

// Calls back whenever the watched widget paints.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(std::function<void()> painted) : m_painted(std::move(painted)) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted();
        return false;
    }

private:
    std::function<void()> m_painted;
};

// The same work with four plain text widgets: one line per byte in each column.
Figures benchPlainTextEdit(qint64 total, double limitSeconds)
{
    Figures f;
    const QByteArray data = makeData(total);
    PtyPort pty;
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    QPlainTextEdit* rx = new QPlainTextEdit(&window);
    QPlainTextEdit* cols[3];
    row->addWidget(rx, 1);
    for (auto*& c : cols) {
        c = new QPlainTextEdit(&window);
        c->setFixedWidth(70);
        row->addWidget(c);
    }
    for (QPlainTextEdit* e : {rx, cols[0], cols[1], cols[2]})
        e->setReadOnly(true);
    window.resize(900, 500);
    window.show();
    QCoreApplication::processEvents();
    TSerialPortDriver driver;
    driver.SetDevice(pnCOM1, pty.device());
    driver.SetComPort(pnCOM1);
    driver.SetComPortPollingDelay(0);
    qint64 received = 0;
    QElapsedTimer pending;
    QByteArray open;
    // One append per block and widget (the cheapest way to feed them), one
    // line per byte in each column, time-stamped text lines.
    driver.OnReceiveData = [&](TSerialPortDriver*, const char* p, int n) {
        received += n;
        QString dec, hex, bin, text;
        for (int i = 0; i < n; ++i) {
            const quint8 b = quint8(p[i]);
            const QChar sep = i ? QLatin1Char('\n') : QChar();
            if (i) {
                dec += sep;
                hex += sep;
                bin += sep;
            }
            dec += QString::number(b);
            hex += QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
            bin += IntToBin(b);
            if (b == 13) {
                if (!text.isEmpty())
                    text += QLatin1Char('\n');
                text += QTime::currentTime().toString(QStringLiteral("hh:mm:ss> ")) + QString::fromLatin1(open);
                open.clear();
            } else if (b != 10) {
                open.append(char(b));
            }
        }
        cols[0]->appendPlainText(dec);
        cols[1]->appendPlainText(hex);
        cols[2]->appendPlainText(bin);
        if (!text.isEmpty())
            rx->appendPlainText(text);
        if (!pending.isValid())
            pending.start();
    };
    PaintWatch watch([&] {
        if (pending.isValid()) {
            f.maxDisplayLagMs = std::max(f.maxDisplayLagMs, pending.nsecsElapsed() / 1e6);
            pending.invalidate();
        }
    });
    rx->viewport()->installEventFilter(&watch);
    if (!driver.Connect()) {
        std::printf("cannot open %s\n", qPrintable(pty.device()));
        return f;
    }
    const qint64 before = residentBytes();
    std::atomic<bool> stop{false};
    std::thread feeder = startFeeder(pty.master(), data, stop);
    runLoop(f, total, [&] { return received; }, limitSeconds);
    f.bytesPerByte = double(residentBytes() - before) / double(std::max<qint64>(1, f.bytes));
    stop = true;
    driver.Disconnect();
    feeder.join();
    return f;
}

void benchSendFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(makeData(1 << 20));
    }
    PtyPort pty;
    TMainForm form;
    form.connection()->setPortDevice(pnCOM1, pty.device());
    form.connectionPanel()->ComPortRG->SetItemIndex(0);
    form.connectionPanel()->BaudRateRG->SetItemIndex(11);
    form.connection()->open();
    std::atomic<qint64> got{0};
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buf[65536];
        while (!stop) {
            pollfd p{pty.master(), POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                const ssize_t n = ::read(pty.master(), buf, sizeof buf);
                if (n > 0)
                    got += n;
            }
        }
    });
    // The window's responsiveness while the file goes out: how late a 50 ms
    // timer in its event loop fires, and the longest gap between two turns of
    // the loop.
    QElapsedTimer clock;
    clock.start();
    form.transmitPanel()->sendFile(path);
    double timerLateMs = 0, longestTurnMs = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceTick;
    sinceTick.start();
    QObject::connect(&timer, &QTimer::timeout, [&] {
        timerLateMs = std::max(timerLateMs, sinceTick.nsecsElapsed() / 1e6 - 50.0);
        sinceTick.restart();
    });
    timer.start(50);
    QElapsedTimer turn;
    turn.start();
    while (form.transmitter()->busy() && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        longestTurnMs = std::max(longestTurnMs, turn.nsecsElapsed() / 1e6);
        turn.restart();
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    while (got < (1 << 20) && clock.elapsed() < 20000)
        QThread::msleep(5);
    stop = true;
    reader.join();
    std::printf("%-28s %8.1f MB in %6.2f s  %7.2f MB/s  (%lld bytes arrived)  window: timer late max %.1f ms, "
                "longest event-loop turn %.1f ms (target <= 50 ms)\n",
                "Send File, 1 MB", (1 << 20) / 1e6, seconds, (1 << 20) / 1e6 / seconds, (long long)got.load(),
                timerLateMs, longestTurnMs);
}
// Feeds the receive store directly (the window's handler without the port and
// the painting, which would take far longer for this much data) with 2 GB of
// text lines in the driver's 2048-byte blocks, all columns and time stamps on,
// and the default memory limit; prints the memory held afterwards.
void benchMemoryBound(qint64 total)
{
    const QByteArray data = makeData(64 << 20);
    TReceiveLog log;
    TReceiveOptions options;
    options.Dec = options.Hex = options.Bin = options.Time = true;
    const qint64 before = residentBytes();
    QElapsedTimer clock;
    clock.start();
    qint64 fed = 0;
    while (fed < total) {
        for (qint64 at = 0; at + 2048 <= data.size() && fed < total; at += 2048, fed += 2048)
            log.receive(data.constData() + at, 2048, options);
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("%-28s %8.0f MB in %6.2f s  %7.1f MB/s  limit %lld MB: store %.1f MB, resident growth %.1f MB, "
                "%lld lines kept of %lld\n",
                "Receive store, memory bound", fed / 1e6, seconds, fed / 1e6 / seconds,
                (long long)(log.MemoryLimit >> 20), log.memoryBytes() / 1048576.0,
                (residentBytes() - before) / 1048576.0, (long long)log.Text.lineCount(),
                (long long)(log.Text.lineCount() + log.Text.droppedLines()));
}
}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());  // leave the user's stored settings alone
    QApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    if (argc > 2 && QByteArray(argv[2]) == "memory") {
        benchMemoryBound(megabytes * 1000 * 1000);
        return 0;
    }
    std::printf("terminal receive path, all three columns and time stamps on (platform %s)\n",
                qPrintable(QGuiApplication::platformName()));
    print("terminal (compact store)", benchTerminal(megabytes * 1000 * 1000));
    if (argc > 2 && QByteArray(argv[2]) == "receive")
        return 0;
    // Lines of readings, the live plot off and then on, in the same run.
    print("readings, plot off", benchTerminal(megabytes * 1000 * 1000, true, false));
    print("readings, plot on", benchTerminal(megabytes * 1000 * 1000, true, true));
    if (argc > 2 && QByteArray(argv[2]) == "plot")
        return 0;
    if (argc > 2 && QByteArray(argv[2]) == "send") {
        benchSendFile();
        return 0;
    }
    print("QPlainTextEdit (capped)", benchPlainTextEdit(8 * 1000 * 1000, 20));
    benchSendFile();
    return 0;
}
