// Sending files to a device: paced Send File against a far end that records
// when each byte came, and the stored pacing.
#include "FarEnd.h"
#include "FileSender.h"
#include "SerialPortDrv.h"

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

}  // namespace


class TransferTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<TFileSendResult>(); }
    void pacedTimings_data();
    void pacedTimings();
    void pacedWaitsForPrompt();
    void pacedPromptMissing();
    void pacingStored();
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

QTEST_GUILESS_MAIN(TransferTests)
#include "transfer_tests.moc"
