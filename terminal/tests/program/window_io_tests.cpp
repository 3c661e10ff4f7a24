// The main window's receive and transmit wiring against pseudo-terminals:
// received blocks in the boxes, the counter, typed keys, macros and
// hexadecimal bytes, Send File, the log, the modem lines, the plot and
// transfer controls, and Find.
#include "terminal/CompactTextView.h"
#include "terminal/ui/ReceiveFindBar.h"
#include "terminal/HistoryComboBox.h"
#include "terminal/MacroCodec.h"
#include "terminal/ui/ConnectionPanel.h"
#include "terminal/ui/MainFrm.h"
#include "terminal/ui/ReceivePanel.h"
#include "terminal/ui/SettingsBox.h"
#include "terminal/core/StatusTexts.h"
#include "terminal/ui/TransmitPanel.h"
#include "terminal/tests/common/SourceLines.h"
#include "terminal/core/ProtocolTransfer.h"
#include <QDockWidget>
#include "terminal/Storage.h"
#include "terminal/core/TerminalSettings.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QtTest>
#include "terminal/tests/program/WindowFixture.h"

class WindowIoTests : public QObject, TWindowFixture {
    Q_OBJECT
private slots:
    void initTestCase() { startHome(); }
    void init() { clearStore(); }
    void cleanup() { QFile::remove(UserStoreFile()); }
    void receiveThroughPort();
    void counterAndClear();
    void typedKeys();
    void macros();
    void sendFile();
    void sendFileHeldByXoff();
    void sendFileCancelled();
    void logToFile();
    void modemLines();
    void hexAndLongMacros();
    void plotAndTransferWiring();
    void hexLineAndFind();
};

void WindowIoTests::receiveThroughPort()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->receivePanel()->CBoxDec->setChecked(true);
    form->receivePanel()->CBoxHex->setChecked(true);
    form->receivePanel()->CBoxBin->setChecked(true);
    form->connection()->open();
    QVERIFY(form->connection()->driver()->Connected());
    QVERIFY(pty.write("AB\r\nCD"));
    const TReceiveLog& log = form->pipeline()->log();
    QTRY_COMPARE(log.Received, 6);
    QCOMPARE(sourceLines(log.Text), QStringList({"AB", "CD"}));
    QCOMPARE(sourceLines(log.Dec), QStringList({"65", "66", "13", "10", "67", "68"}));
    QCOMPARE(sourceLines(log.Hex).at(2), QStringLiteral("0D"));
    QCOMPARE(sourceLines(log.Bin).at(2), QStringLiteral("00001101"));
    QTRY_COMPARE(form->receivePanel()->LabCount0->text(), QStringLiteral("1"));

    // A large burst arrives in several blocks and in order.
    QByteArray burst;
    for (int i = 0; i < 2000; ++i)
        burst += "line " + QByteArray::number(i) + "\r\n";
    QVERIFY(pty.write(burst));
    QTRY_COMPARE_WITH_TIMEOUT(log.Received, 6 + burst.size(), 10000);
    QCOMPARE(log.Text.lineCount(), 2002);
    QCOMPARE(QString::fromLatin1(log.Text.line(1)), QStringLiteral("CDline 0"));
    QCOMPARE(QString::fromLatin1(log.Text.line(2000)), QStringLiteral("line 1999"));
    QCOMPARE(log.Dec.lineCount(), 6 + burst.size());
    // The view shows the end and can be copied from.
    form->receivePanel()->RxMemo->refreshNow();
    QVERIFY(form->receivePanel()->RxMemo->atEnd());
    form->receivePanel()->RxMemo->setSelection({2000, 0}, {2000, 9});
    QCOMPARE(form->receivePanel()->RxMemo->selectedText(), QStringLiteral("line 1999"));
}

void WindowIoTests::counterAndClear()
{
    auto form = makeForm();
    const QByteArray block("\r\r\n");
    form->pipeline()->receive(block.constData(), int(block.size()));
    QTRY_COMPARE(form->receivePanel()->LabCount0->text(), QStringLiteral("2"));
    form->receivePanel()->ChCount0->setValue(10);
    form->pipeline()->receive(block.constData(), int(block.size()));
    QTRY_COMPARE(form->receivePanel()->LabCount0->text(), QStringLiteral("3"));
    // Cleared while typing, the spin box counts its lower limit 0.
    QLineEdit* countEdit = form->receivePanel()->ChCount0->findChild<QLineEdit*>();
    QVERIFY(countEdit);
    countEdit->clear();
    const QByteArray zeros("\0\r\0", 3);
    form->pipeline()->receive(zeros.constData(), int(zeros.size()));
    QTRY_COMPARE(form->receivePanel()->LabCount0->text(), QStringLiteral("5"));
    form->receivePanel()->ChCount0->setValue(10);
    form->receivePanel()->ClrInMemo->click();
    QCOMPARE(form->pipeline()->log().Text.lineCount(), 0);
    QCOMPARE(form->receivePanel()->LabCount0->text(), QStringLiteral("5"));
    form->receivePanel()->Button2->click();
    QCOMPARE(form->pipeline()->log().CharCount, 0);
    QCOMPARE(form->receivePanel()->LabCount0->text(), QStringLiteral("0"));
    // After CLEAR the next block's line is the first line, stamped with Time on.
    form->settingsBox()->TCBox->setChecked(true);
    const QByteArray ok("OK");
    form->pipeline()->receive(ok.constData(), int(ok.size()));
    QCOMPARE(form->pipeline()->log().Text.lineCount(), 1);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d> OK$"))
                .match(QString::fromLatin1(form->pipeline()->log().Text.line(0)))
                .hasMatch());
}

void WindowIoTests::typedKeys()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    QTest::keyClicks(form->transmitPanel()->TxMemo, QStringLiteral("ab"));
    QCOMPARE(form->transmitPanel()->TxMemo->toPlainText(), QStringLiteral("ab"));
    form->connection()->open();
    QVERIFY(form->connection()->driver()->Connected());
    QCOMPARE(pty.read(1, 200), QByteArray());  // nothing was sent while disconnected
    QTest::keyClicks(form->transmitPanel()->TxMemo, QStringLiteral("hi"));
    QTest::keyClick(form->transmitPanel()->TxMemo, Qt::Key_Return);
    QTest::keyClick(form->transmitPanel()->TxMemo, Qt::Key_Backspace);
    QTest::keyClick(form->transmitPanel()->TxMemo, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(pty.read(5), QByteArray("hi\r\b\x18"));
    QVERIFY(form->transmitPanel()->TxMemo->toPlainText().startsWith(QStringLiteral("abhi")));
}

void WindowIoTests::macros()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connection()->open();
    QVERIFY(form->connection()->driver()->Connected());

    form->transmitPanel()->lbMacro1->setEditText(QStringLiteral("#065#066"));
    form->transmitPanel()->bMacro1->click();
    QCOMPARE(pty.read(2), QByteArray("AB"));
    QCOMPARE(form->transmitPanel()->TxMemo->toPlainText(), QStringLiteral("AB"));

    form->transmitPanel()->lbMacro2->setEditText(QStringLiteral("#000X"));
    form->transmitPanel()->bMacro2->click();
    QCOMPARE(pty.read(2), QByteArray("\0X", 2));
    QCOMPARE(form->transmitPanel()->TxMemo->toPlainText(), QStringLiteral("AB\n"));  // an empty line added

    form->transmitPanel()->lbMacro3->setEditText(QStringLiteral("AB#"));
    form->transmitPanel()->bMacro3->click();
    QCOMPARE(m_errors, QStringList({"'' is not a valid integer value"}));
    QCOMPARE(pty.read(1, 200), QByteArray());
    QCOMPARE(form->transmitPanel()->TxMemo->toPlainText(), QStringLiteral("AB\n"));

    form->transmitPanel()->sendMacro(QStringLiteral("#999"));
    QCOMPARE(pty.read(1), QByteArray("\xe7"));

    // Macros longer than 79 characters go out whole.
    QString longMacro;
    for (int i = 0; i < 60; ++i)
        longMacro += QStringLiteral("AT#013");
    form->transmitPanel()->sendMacro(longMacro);
    QByteArray expected;
    for (int i = 0; i < 60; ++i)
        expected += "AT\r";
    QCOMPARE(pty.read(expected.size()), expected);

    // Disconnected, the copy still goes to TxMemo and nothing is sent.
    form->connection()->close();
    form->transmitPanel()->sendMacro(QStringLiteral("OFF"));
    QVERIFY(form->transmitPanel()->TxMemo->toPlainText().endsWith(QStringLiteral("\nOFF")));
}

void WindowIoTests::sendFile()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connection()->open();
    QVERIFY(form->connection()->driver()->Connected());

    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.bin"));
    QFile(empty).open(QIODevice::WriteOnly);
    form->transmitPanel()->sendFile(empty);
    QCOMPARE(pty.read(1, 200), QByteArray());
    QVERIFY(m_errors.isEmpty());

    QByteArray data;
    for (int i = 0; i < 5000; ++i)
        data.append(char(i * 7));
    const QString file = dir.filePath(QStringLiteral("image.hex"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    form->transmitPanel()->sendFile(file);
    QCOMPARE(pty.read(data.size()), data);

    form->transmitPanel()->sendFile(dir.filePath(QStringLiteral("missing.bin")));
    QCOMPARE(m_errors.size(), 1);
    QVERIFY(!m_errors[0].isEmpty());
    form->transmitPanel()->sendFile(dir.path());  // a folder cannot be read as a file
    QCOMPARE(m_errors.size(), 2);
    QCOMPARE(pty.read(1, 200), QByteArray());
}

namespace {
QByteArray writeFile(const QString& path, int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 13 + i / 256);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(data);
    return data;
}
}  // namespace

void WindowIoTests::sendFileHeldByXoff()
{
    // The device holds XOFF: the send stops after the time-out and says how
    // far it got; the window keeps receiving meanwhile; after XON exactly
    // the bytes counted arrive, and nothing after them.
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connectionPanel()->HandshakingRG->SetItemIndex(2);
    form->connection()->open();
    QVERIFY(form->connection()->driver()->Connected());
    form->connection()->driver()->OutputTimeout = 300;
    QVERIFY(pty.write("\x13"));
    QTest::qWait(50);
    QTemporaryDir dir;
    const QByteArray data = writeFile(dir.filePath(QStringLiteral("image.bin")), 1 << 20);
    form->transmitPanel()->sendFile(dir.filePath(QStringLiteral("image.bin")));
    QVERIFY(form->transmitter()->busy());
    QVERIFY(pty.write("alive\r"));
    QTRY_COMPARE(form->pipeline()->log().Text.line(0), QByteArray("alive"));
    QTRY_VERIFY_WITH_TIMEOUT(!form->transmitter()->busy(), 5000);
    QCOMPARE(m_errors.size(), 1);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Send File stopped after (\\d+) of 1048576 bytes: the device did not "
                                          "accept data for 0.3 s$"))
            .match(m_errors[0]);
    QVERIFY2(m.hasMatch(), qPrintable(m_errors[0]));
    QCOMPARE(form->StatusDetail(), m_errors[0]);
    const int sent = m.captured(1).toInt();
    QVERIFY(sent < data.size());
    QVERIFY(form->transmitPanel()->SendFileBtn->isEnabled());
    QVERIFY(pty.write("\x11"));
    QCOMPARE(pty.read(data.size(), 500), data.left(sent));
}

void WindowIoTests::sendFileCancelled()
{
    TestPty pty;  // the far end reads nothing until the end
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connection()->open();
    QTemporaryDir dir;
    const QByteArray data = writeFile(dir.filePath(QStringLiteral("big.bin")), 4 << 20);
    form->transmitPanel()->sendFile(dir.filePath(QStringLiteral("big.bin")));
    QVERIFY(form->transmitter()->busy());
    QTest::qWait(100);
    // Typing and macros wait while the file is on its way.
    QVERIFY(!form->transmitPanel()->bMacro1->isEnabled());
    QVERIFY(!form->transmitPanel()->SendFileBtn->isEnabled());
    QVERIFY(form->SendProgress->isVisible());
    QTest::keyClicks(form->transmitPanel()->TxMemo, QStringLiteral("zz"));
    form->transmitPanel()->sendMacro(QStringLiteral("MM"));
    QVERIFY(form->transmitPanel()->TxMemo->toPlainText().isEmpty());
    QVERIFY(!form->connectionPanel()->BaudRateRG->isEnabled());  // new settings would purge the queue
    // Auto Dis/Connect lets the file finish before it releases the port.
    form->settingsBox()->cbAuto->setChecked(true);
    form->AppEventsDeactivate();
    QVERIFY(form->transmitter()->busy());
    QTest::mouseClick(form->SendCancelBtn, Qt::LeftButton);
    QVERIFY(!form->transmitter()->busy());
    QVERIFY(!form->connection()->driver()->Connected());
    QVERIFY(!form->SendProgress->isVisible());
    QVERIFY(form->transmitPanel()->bMacro1->isEnabled());
    QVERIFY(m_errors.isEmpty());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Send File cancelled after (\\d+) of 4194304 bytes$"))
            .match(form->StatusDetail());
    QVERIFY2(m.hasMatch(), qPrintable(form->StatusDetail()));
    const int sent = m.captured(1).toInt();
    QVERIFY(sent > 0 && sent < data.size());
    QCOMPARE(pty.read(data.size(), 300), data.left(sent));
}

void WindowIoTests::logToFile()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connection()->open();
    QTemporaryDir dir;
    const QString raw = dir.filePath(QStringLiteral("raw.log"));
    QVERIFY(form->StartLog(raw, TLogFile::Raw));
    QCOMPARE(form->receivePanel()->LogBtn->text(), QStringLiteral("Stop log"));
    QByteArray sent;
    for (int i = 0; i < 20000; ++i)
        sent.append(char(i * 31 + i / 256));
    QVERIFY(pty.write(sent));
    QTRY_COMPARE(form->pipeline()->log().Received, qint64(sent.size()));
    QTRY_VERIFY(form->LogStatus->text().startsWith(QStringLiteral("Log: raw.log, ")));
    form->LogBtnClick();  // stops
    QVERIFY(!form->pipeline()->logFile().active());
    QCOMPARE(form->receivePanel()->LogBtn->text(), QStringLiteral("Log to file..."));
    QFile rawFile(raw);
    QVERIFY(rawFile.open(QIODevice::ReadOnly));
    QCOMPARE(rawFile.readAll(), sent);

    // The text as shown, time stamps included; the open line when stopped.
    form->receivePanel()->ClrInMemo->click();
    form->settingsBox()->TCBox->setChecked(true);
    const QString text = dir.filePath(QStringLiteral("text.txt"));
    QVERIFY(form->StartLog(text, TLogFile::Text));
    QVERIFY(pty.write("AB\r\nCD"));
    QTRY_COMPARE(form->pipeline()->log().Text.lineCount(), 2);
    form->StopLog();
    QFile textFile(text);
    QVERIFY(textFile.open(QIODevice::ReadOnly));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d> AB\n\\d\\d:\\d\\d:\\d\\d> CD\n$"))
                 .match(QString::fromLatin1(textFile.readAll()))
                 .hasMatch(),
             "text log");

    // A file that cannot be created is named in the status bar.
    QVERIFY(!form->StartLog(dir.filePath(QStringLiteral("no/such/folder.log")), TLogFile::Raw));
    QVERIFY(form->StatusDetail().startsWith(QStringLiteral("Cannot log to ")));
    QVERIFY(form->close());
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/Log_Mode")), QStringLiteral("Raw"));
}

void WindowIoTests::modemLines()
{
    // A pseudo-terminal has no modem lines: setting one says so, the
    // indicators show that nothing is known, Break is harmless.
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->transmitPanel()->SetDTRBtn->click();  // disconnected: no effect, no message
    QCOMPARE(form->StatusDetail(), QString());
    form->connection()->open();
    const int beeps = form->BeepCount();
    form->transmitPanel()->SetDTRBtn->click();
    QCOMPARE(form->StatusDetail(), QStringLiteral("DTR cannot be set on %1 (a pseudo-terminal, or a cable or adapter "
                                                  "without the line)")
                                       .arg(pty.device()));
    form->transmitPanel()->ClrRTSBtn->click();
    QVERIFY(form->StatusDetail().startsWith(QStringLiteral("RTS cannot be set")));
    QCOMPARE(form->BeepCount(), beeps + 2);
    QVERIFY(!form->transmitPanel()->LedCTS->isEnabled());
    QCOMPARE(form->transmitPanel()->LedCTS->toolTip(), QStringLiteral("This device does not report its modem lines"));
    form->transmitPanel()->BreakBtn->click();
    QVERIFY(form->connection()->driver()->Connected());
    QVERIFY(pty.write("x"));
    QTRY_COMPARE(form->pipeline()->log().Text.line(0), QByteArray("x"));
}

void WindowIoTests::hexAndLongMacros()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connection()->open();
    form->transmitPanel()->lbMacro1->setEditText(QStringLiteral("AT#$0D#x0a"));
    form->transmitPanel()->bMacro1->click();
    QCOMPARE(pty.read(4), QByteArray("AT\r\n"));
    form->transmitPanel()->sendMacro(QStringLiteral("#$0Q"));
    QCOMPARE(m_errors, QStringList({"'Q' is not a valid integer value"}));
    // Too long for the box: cut there by the box, then refused whole.
    form->transmitPanel()->lbMacro2->setEditText(QString(3000, QLatin1Char('A')));
    QCOMPARE(form->transmitPanel()->lbMacro2->currentText().size(), MaxMacroLength + 1);
    QVERIFY(form->StatusDetail().startsWith(QStringLiteral("Macro 2 is longer than")));
    form->transmitPanel()->bMacro2->click();
    QCOMPARE(m_errors.size(), 2);
    QVERIFY(m_errors[1].startsWith(QStringLiteral("The macro is longer than 1024 characters")));
    QCOMPARE(pty.read(1, 200), QByteArray());
    form->transmitPanel()->lbMacro2->setEditText(QString(MaxMacroLength, QLatin1Char('B')));
    form->transmitPanel()->bMacro2->click();
    QCOMPARE(pty.read(MaxMacroLength), QByteArray(MaxMacroLength, 'B'));
}

void WindowIoTests::plotAndTransferWiring()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());

    // A transfer needs an open port, and says so.
    TTransferRequest request;
    request.Direction = TTransferDirection::Receive;
    request.Folder = m_home.path();
    form->transmitPanel()->startTransfer(request);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY(!form->transmitter()->busy());

    // Lines with numbers reach the plot only while it is on.
    form->connection()->open();
    QVERIFY(pty.write("1 2\r\n"));
    QTRY_COMPARE(form->pipeline()->log().Received, 5);
    QVERIFY(form->pipeline()->plotData().series().isEmpty());
    form->connectionPanel()->PlotBtn->click();
    QVERIFY(form->PlotDock->isVisible());
    QVERIFY(pty.write("3 4\r\nt=5\r\n"));
    QTRY_COMPARE(form->pipeline()->plotData().series().size(), 3);
    QCOMPARE(form->pipeline()->plotData().series()[0].Value, QVector<double>{3});

    // While a transfer runs the port's bytes go to the protocol program,
    // not into the receive box, and typed keys wait.
    form->transmitPanel()->startTransfer(request);
    QVERIFY(form->transmitter()->busy());
    QVERIFY(!form->transmitPanel()->TransferBtn->isEnabled());
    const qint64 before = form->pipeline()->log().Received;
    QVERIFY(pty.write("noise"));
    QTRY_VERIFY(form->transmitter()->transfer()->bytesFromPort() >= 5);
    QCOMPARE(form->pipeline()->log().Received, before);
    form->SendCancelBtn->click();
    QVERIFY(!form->transmitter()->busy());
    QVERIFY(form->StatusDetail().contains(QStringLiteral("cancelled")));
    QVERIFY(form->transmitPanel()->TransferBtn->isEnabled());
}

void WindowIoTests::hexLineAndFind()
{
    TestPty pty;
    {
        auto form = makeForm();
        form->connection()->setPortDevice(pnCOM1, pty.device());
        form->connection()->open();
        QVERIFY(form->connection()->driver()->Connected());

        // Enter in the hex line sends its bytes, echoes them and keeps the line.
        form->transmitPanel()->HexBox->setEditText(QStringLiteral("41 0d0A"));
        QTest::keyClick(form->transmitPanel()->HexBox->lineEdit(), Qt::Key_Return);
        QCOMPARE(pty.read(3), QByteArray("A\r\n"));
        QCOMPARE(form->transmitPanel()->HexBox->History(), QStringList({"41 0d0A"}));
        QCOMPARE(form->transmitPanel()->HexBox->currentText(), QStringLiteral("41 0d0A"));
        // A bad line sends nothing and says where it is wrong.
        form->transmitPanel()->HexBox->setEditText(QStringLiteral("41 4G"));
        form->transmitPanel()->HexSendBtn->click();
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors[0].contains(QStringLiteral("column 5")), qPrintable(m_errors[0]));
        QCOMPARE(pty.read(1, 200), QByteArray());

        // Find goes through the store from the selection and shows the hit.
        QVERIFY(pty.write("boot\r\nerror 1\r\nok\r\nERROR 2\r\n"));
        QTRY_COMPARE(form->pipeline()->log().Received, 28);
        form->receivePanel()->RxMemo->setFocus();
        QTest::keyClick(form->receivePanel()->RxMemo, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(form->receivePanel()->FindBar->isVisible());
        auto* edit = form->receivePanel()->FindBar->findChild<QLineEdit*>(QStringLiteral("FindEdit"));
        QTest::keyClicks(edit, QStringLiteral("error"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(form->receivePanel()->RxMemo->selectedText(), QStringLiteral("error"));
        QCOMPARE(form->receivePanel()->RxMemo->selectionStart().Line, 1);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(form->receivePanel()->RxMemo->selectedText(), QStringLiteral("ERROR"));
        QTest::keyClick(edit, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(form->receivePanel()->RxMemo->selectionStart().Line, 1);
        // Ctrl+F typed in the transmit box is still a byte for the device.
        form->transmitPanel()->TxMemo->setFocus();
        QTest::keyClick(form->transmitPanel()->TxMemo, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(pty.read(1), QByteArray("\x06"));
        QVERIFY(form->close());
    }
    // The hex history is stored under its own name, the macros' untouched.
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("TERMINAL/HexSend/H0")), QStringLiteral("41 0d0A"));
    QVERIFY(!store.contains(QStringLiteral("TERMINAL/Macro1/H0")));
    auto again = makeForm();
    QCOMPARE(again->transmitPanel()->HexBox->History(), QStringList({"41 0d0A"}));
}

QTEST_MAIN(WindowIoTests)
#include "window_io_tests.moc"
