// Send File into a program on the simulated board: m51sim serves the board's
// serial port on a pseudo-terminal with the line carrying real bits at
// 115200 baud, and the HEX loader of the examples checks each record and
// reports what came. Without handshake, an unpaced file loses a record for
// each 4 KB block the loader writes to flash; a pause after each character
// delivers every record, a pause after each line does not.
#include "terminal/core/FileSender.h"
#include "terminal/SerialPortDrv.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
// `size` bytes of random data as Intel HEX records of 16 bytes from `from`.
QByteArray hexFile(int from, int size)
{
    QByteArray text;
    QRandomGenerator random{quint32(size)};
    for (int address = from; address < from + size; address += 16) {
        QByteArray record;
        record.append(char(16)).append(char(address >> 8)).append(char(address & 0xFF)).append(char(0));
        for (int i = 0; i < 16; ++i)
            record.append(char(random.bounded(256)));
        quint8 sum = 0;
        for (char c : record)
            sum = quint8(sum + quint8(c));
        record.append(char(quint8(-sum)));
        text += ':' + record.toHex().toUpper() + "\r\n";
    }
    return text + ":00000001FF\r\n";
}

// m51sim running the loader with its serial port at `link`.
class Board {
public:
    explicit Board(const QString& link)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(M51SIM_PATH),
                        {QStringLiteral("--tty"), link, QStringLiteral("--line-baud"), QStringLiteral("115200"),
                         QStringLiteral(HEXLOAD_SOURCE)});
    }
    ~Board()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGINT);
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

private:
    QProcess m_process;
};
}  // namespace

class DownloadTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<TFileSendResult>(); }
    void hexIntoMonitor_data();
    void hexIntoMonitor();

private:
    QByteArray download(const QString& path, const TSendPacing& pacing);
};

void DownloadTests::hexIntoMonitor_data()
{
    // 2 KB from 800H end with the first 4 KB block: one flash write.
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("size");
    QTest::addColumn<double>("charMs");
    QTest::addColumn<double>("lineMs");
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<bool>("slow");
    auto row = [](const char* name, int from, int size, double charMs, double lineMs, const char* report, bool slow) {
        QTest::newRow(name) << from << size << charMs << lineMs << QByteArray(report) << slow;
    };
    row("2 KB unpaced arrives clean", 0, 2048, 0, 0, "OK 129", false);
    row("32 KB unpaced loses 8 records", 0, 32768, 0, 0, "BAD 8 OF 2049", false);
    row("2 KB over a block end unpaced loses 1", 0x800, 2048, 0, 0, "BAD 1 OF 129", false);
    // Paused lines reach the board in bursts whose timing the machine's load
    // shifts: the record lost is certain, the count is not.
    row("2 ms after each line does not help", 0x800, 2048, 0, 2, "BAD ", false);
    row("0.3 ms after each character delivers all", 0x800, 2048, 0.3, 0, "OK 129", false);
    // Half a minute of pauses: run with TERMINAL_LONG_DOWNLOADS=1.
    row("32 KB with 0.3 ms after each character delivers all", 0, 32768, 0.3, 0, "OK 2049", true);
}

// The loader's report after sending the file, or why there was none.
QByteArray DownloadTests::download(const QString& path, const TSendPacing& pacing)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("board"));
    Board board(link);
    QElapsedTimer clock;
    clock.start();
    while (!QFileInfo::exists(link) && clock.elapsed() < 10000)
        QTest::qWait(10);
    TSerialPortDriver driver;
    driver.SetDevice(pnCOM1, link);
    driver.SetComPort(pnCOM1);
    driver.SetComPortCustomSpeed(115200);
    driver.SetComPortParity(ptNONE);
    driver.SetComPortPollingDelay(0);
    QByteArray heard;
    driver.OnReceiveData = [&heard](TSerialPortDriver*, const char* data, int n) { heard.append(data, n); };
    if (!driver.Connect())
        return "no connection";
    TFileSender sender(&driver);
    sender.setPacing(pacing);
    QSignalSpy done(&sender, &TFileSender::finished);
    if (!sender.start(path, nullptr) || !done.wait(120000))
        return "the send did not end";
    if (done[0][0].value<TFileSendResult>().End != TFileSendResult::Finished)
        return FileSendMessage(done[0][0].value<TFileSendResult>()).toUtf8();
    // The loader reports once the end record is in.
    clock.start();
    while (!(heard.contains("OK ") || heard.contains("BAD ")) || !heard.endsWith("\r\n")) {
        if (clock.elapsed() > 10000)
            return "no report: " + heard;
        QTest::qWait(10);
    }
    return heard.trimmed().split('\n').last().trimmed();
}

void DownloadTests::hexIntoMonitor()
{
    QFETCH(int, from);
    QFETCH(int, size);
    QFETCH(double, charMs);
    QFETCH(double, lineMs);
    QFETCH(QByteArray, report);
    QFETCH(bool, slow);
    if (slow && qEnvironmentVariableIsEmpty("TERMINAL_LONG_DOWNLOADS"))
        QSKIP("a long download (TERMINAL_LONG_DOWNLOADS=1 runs it)");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("firmware.hex"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(hexFile(from, size));
    }
    TSendPacing pacing;
    pacing.CharDelayMs = charMs;
    pacing.LineDelayMs = lineMs;
    // The simulated board keeps pace with the wall clock: preempted on a
    // loaded machine, it may take two paced bytes as if back to back, as no
    // real line would. A paced download gets two more tries for that.
    const int tries = pacing.CharDelayMs > 0 ? 3 : 1;
    QByteArray said;
    for (int i = 0; i < tries && said != report; ++i) {
        if (i > 0)
            qWarning() << "try" << i + 1 << "after" << said;
        said = download(path, pacing);
    }
    if (report.endsWith(' '))
        QVERIFY2(said.startsWith(report), said.constData());
    else
        QCOMPARE(said, report);
}

QTEST_GUILESS_MAIN(DownloadTests)
#include "download_tests.moc"
