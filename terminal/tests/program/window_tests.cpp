// The main window against pseudo-terminals mapped to COM numbers: receive,
// typed keys, macros, file sending, connection states, settings changed while
// connected, Auto Dis/Connect, a lost port, the font size, the stored
// settings, histories and device map, and garbage in the store.
#include "CompactTextView.h"
#include "FindBar.h"
#include "HistoryComboBox.h"
#include "MacroCodec.h"
#include "ConnectionPanel.h"
#include "MainFrm.h"
#include "ReceivePanel.h"
#include "SettingsBox.h"
#include "StatusTexts.h"
#include "TransmitPanel.h"
#include "PtyPort.h"
#include "SourceLines.h"
#include "ProtocolTransfer.h"
#include <QDockWidget>
#include "Storage.h"
#include "TerminalSettings.h"

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
#include <QTemporaryDir>
#include <QtTest>

namespace {
// The window lives on the test's thread, so the far end keeps its event loop
// running while it waits.
struct TestPty : PtyPort {
    TestPty()
        : PtyPort(Wait::EventLoop)
    {
    }
};
}  // namespace

class WindowTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstStartWithoutStore();
    void controlTexts();
    void captionsAndHints_data();
    void captionsAndHints();
    void radioGroupItems_data();
    void radioGroupItems();
    void radioGroupMapping_data();
    void radioGroupMapping();
    void connectStatuses();
    void receiveThroughPort();
    void counterAndClear();
    void typedKeys();
    void macros();
    void sendFile();
    void sendFileHeldByXoff();
    void sendFileCancelled();
    void logToFile();
    void errorsSayWhy();
    void modemLines();
    void fastBitRates();
    void hexAndLongMacros();
    void deviceReturns();
    void lineEndingOptions();
    void speedAndPortWhileConnected();
    void deviationsNamed();
    void autoDisConnect();
    void portLost();
    void fontSize();
    void restartRestoresEverything();
    void macroHistories();
    void garbageInStore();
    void deviceMap();
    void plotAndTransferWiring();
    void hexLineAndFind();
    void oldStoredValuesUnchanged();

private:
    std::unique_ptr<TMainForm> makeForm(bool show = true);
    QTemporaryDir m_home;
    QStringList m_errors;
};

void WindowTests::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", m_home.path().toLocal8Bit());
    QCoreApplication::setApplicationName(QStringLiteral("terminal"));
}

void WindowTests::init()
{
    QFile::remove(UserStoreFile());
    m_errors.clear();
}

void WindowTests::cleanup()
{
    QFile::remove(UserStoreFile());
}

std::unique_ptr<TMainForm> WindowTests::makeForm(bool show)
{
    auto form = std::make_unique<TMainForm>();
    form->OnError = [this](const QString& message) { m_errors << message; };
    if (show) {
        form->show();
        QCoreApplication::processEvents();
    }
    return form;
}

void WindowTests::firstStartWithoutStore()
{
    QVERIFY(!QFile::exists(UserStoreFile()));
    auto form = makeForm();
    QVERIFY(form->windowState() & Qt::WindowMaximized);
    QCOMPARE(form->connectionPanel()->ComPortRG->ItemIndex(), 0);
    QCOMPARE(form->connectionPanel()->BaudRateRG->ItemIndex(), 3);
    QCOMPARE(form->connectionPanel()->DataBitsRG->ItemIndex(), 3);
    QCOMPARE(form->connectionPanel()->ParityRG->ItemIndex(), 0);
    QCOMPARE(form->connectionPanel()->StopBitsRG->ItemIndex(), 0);
    QCOMPARE(form->connectionPanel()->HandshakingRG->ItemIndex(), 0);
    QCOMPARE(form->settingsBox()->cbFontSize->currentText(), QStringLiteral("8"));
    QCOMPARE(form->receivePanel()->RxMemo->font().pointSize(), 8);
    for (QCheckBox* box : {form->settingsBox()->cbAuto, form->settingsBox()->TCBox, form->receivePanel()->CBoxDec, form->receivePanel()->CBoxHex, form->receivePanel()->CBoxBin})
        QVERIFY(!box->isChecked());
    for (THistoryComboBox* box : {form->transmitPanel()->lbMacro1, form->transmitPanel()->lbMacro2, form->transmitPanel()->lbMacro3}) {
        QCOMPARE(box->currentText(), QString());
        QCOMPARE(box->count(), 0);
        QCOMPARE(box->MaxHistoryLength(), 10);
    }
    QCOMPARE(form->receivePanel()->ChCount0->value(), 13);
    QCOMPARE(form->receivePanel()->LabCount0->text(), QStringLiteral("0"));
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));
    QVERIFY(form->connectionPanel()->ConnectBtn->isEnabled());
    QVERIFY(!form->connectionPanel()->DisconnectBtn->isEnabled());
    QCOMPARE(form->connection()->driver()->ComPortPollingDelay(), quint16(0));
    QCOMPARE(form->connection()->driver()->ComPortParity(), ptEVEN);  // until the first connect
    QCOMPARE(form->pipeline()->log().Text.lineCount(), 1);           // one empty line
    QCOMPARE(form->connection()->driver()->Device(pnCOM1), TSerialPortDriver::DefaultDevice(pnCOM1));
    QVERIFY(m_errors.isEmpty());

    // Closed while still maximized: stored maximized, with a usable normal rectangle.
    QVERIFY(form->close());
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/ShowCmd")), QStringLiteral("3"));
    const QStringList norm = ReadStoreText(store, QStringLiteral("terminal/WindowState/NormPos")).split(',');
    QCOMPARE(norm.size(), 4);
    QVERIFY(norm[0].toInt() < norm[2].toInt());
    auto again = makeForm();
    QVERIFY(again->windowState() & Qt::WindowMaximized);
}

void WindowTests::controlTexts()
{
    // The texts whose form is easy to get wrong: blanks kept at both ends,
    // the platform's line breaks turned into tooltip lines.
    auto form = makeForm(false);
    QCOMPARE(form->connectionPanel()->ComPortRG->title(), QStringLiteral(" COM Port "));
    QCOMPARE(form->connectionPanel()->DataBitsRG->title(), QStringLiteral(" Data bits"));
    QCOMPARE(form->settingsBox()->cbAuto->toolTip(),
             QStringLiteral("Auto Connect and Disconnect.\nIf you use same com port for \nsomething else. Like "
                            "programing,... "));
    QCOMPARE(form->transmitPanel()->lbMacro2->toolTip(),
             QStringLiteral("You can add any ASCII character\njust by using #xxx format. Where xxx\nis an ASCII code. "
                            "For example #013 \nfor <CR>. \nRight click to save macro."));
    QCOMPARE(form->connectionPanel()->BaudRateRG->items().size(), 12);
    QCOMPARE(form->windowTitle(), QStringLiteral("Terminal v1.6"));
    QCOMPARE(form->size(), QSize(727, 504));
    QCOMPARE(form->AboutFrm->windowTitle(), QStringLiteral("About Terminal"));
    QCOMPARE(form->AboutFrm->size(), QSize(260, 193));
    QCOMPARE(form->AboutFrm->ExitBtn->text(), QStringLiteral("&Exit"));
    QCOMPARE(form->AboutFrm->ExitBtn->toolTip(), QStringLiteral("close this box"));
    QCOMPARE(form->receivePanel()->Memo1->width(), 56);
    QCOMPARE(form->receivePanel()->Memo2->width(), 57);
    QCOMPARE(form->receivePanel()->Memo3->width(), 82);
    QVERIFY(TTransmitPanel::OpenDialogFilter().endsWith(
        QStringLiteral(";;HEX file (*.hex);;BIN file (*.bin);;ASCII text file (*.txt)")));
}

void WindowTests::captionsAndHints_data()
{
    // Object name, caption (null: not checked) and tooltip (null: not checked).
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tip");
    const QString none;
    auto row = [](const char* name, const QString& caption, const QString& tip) {
        QTest::newRow(name) << QString::fromLatin1(name) << caption << tip;
    };
    row("ConnectBtn", "&Connect", "Connect to port");
    row("DisconnectBtn", "&Disconnect", "Disconnect");
    row("Button1", "&About..", "About program");
    row("QuitBtn", "&Quit", "Quit Terminal");
    row("ComPortRG", " COM Port ", none);
    row("BaudRateRG", " Baud rate ", "Baud rate");
    row("DataBitsRG", " Data bits", "Number of Data bits");
    row("ParityRG", " Parity ", "Parity");
    row("StopBitsRG", "Stop Bits", "Number of Stop bits");
    row("HandshakingRG", " Handshaking ", "Handshaking");
    row("GroupBox3", "Settings", "Terminal Settings");
    row("cbAuto", "Auto Dis/Connect",
        "Auto Connect and Disconnect.\nIf you use same com port for \nsomething else. Like programing,... ");
    row("cbFontSize", "8", "Font Size");
    row("TCBox", "Time", "Show time in Receive box");
    row("Memo1", none, "DEC value");
    row("Memo2", none, "HEX value");
    row("Memo3", none, "BIN value");
    row("CBoxDec", "Dec", none);
    row("CBoxHex", "Hex", none);
    row("CBoxBin", "Bin", none);
    row("ChCount0", none, "ASCII code of the char which\nwill be counted;\nfor example 13 - <CR>");
    row("Label5", "Counter =", none);
    row("LabCount0", "0", none);
    row("ClrInMemo", "CLEAR", "Clear Receive box");
    row("Button2", "Reset Counter", "Reset ASCII char counter");
    row("ClrOutMemo", "CLEAR", "Clear Transmit box");
    row("SetDTRBtn", "SET DTR", none);
    row("ClrDTRBtn", "CLR DTR", none);
    row("SetRTSBtn", "SET RTS", none);
    row("ClrRTSBtn", "CLR RTS", none);
    row("SendFileBtn", "Send File",
        "Send file through serial line.\nUseful for downloading data\nto target controler.");
    row("gbMacros", "Transmit Macros", "Macros");
    row("lbMacro1", "",
        "You can add any ASCII character\njust by using #xxx format. Where xxx\nis an ASCII code. For example "
        "#013 \nfor <CR>. \nRight click to save macro.");
    row("bMacro1", "M1", "Send macro 1");
    row("bMacro2", "M2", "Send macro 2");
    row("bMacro3", "M3", "Send macro 3");
    row("SaveMacro11", "Save Macro 1", none);
    row("SaveMacro21", "Save Macro 2", none);
    row("SaveMAcro31", "Save Macro 3", none);
    row("StatusText", "Disconnected", none);
}

void WindowTests::captionsAndHints()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, tip);
    auto form = makeForm(false);
    QObject* object = form->findChild<QObject*>(name);
    QVERIFY2(object, qPrintable(name));
    QString text, toolTip;
    if (auto* action = qobject_cast<QAction*>(object)) {
        text = action->text();
    } else {
        auto* widget = qobject_cast<QWidget*>(object);
        QVERIFY(widget);
        toolTip = widget->toolTip();
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            text = group->title();
        else if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* combo = qobject_cast<QComboBox*>(widget))
            text = combo->currentText();
    }
    if (!caption.isNull())
        QCOMPARE(text, caption);
    if (!tip.isNull())
        QCOMPARE(toolTip, tip);
}

void WindowTests::radioGroupItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("index");
    QTest::newRow("ComPortRG") << "ComPortRG" << QStringList({"COM1", "COM2", "COM3", "COM4"}) << 0;
    QTest::newRow("BaudRateRG") << "BaudRateRG"
                                << QStringList({"300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                                                "38400", "56000", "57600", "115200"})
                                << 3;
    QTest::newRow("DataBitsRG") << "DataBitsRG" << QStringList({"5", "6", "7", "8"}) << 3;
    QTest::newRow("ParityRG") << "ParityRG" << QStringList({"none", "odd", "even", "mark", "space"}) << 0;
    QTest::newRow("StopBitsRG") << "StopBitsRG" << QStringList({"1", "1.5", "2"}) << 0;
    QTest::newRow("HandshakingRG") << "HandshakingRG"
                                   << QStringList({"none", "RTS/CTS", "XON/XOFF", "RTS/CTS + XON/XOFF"}) << 0;
}

void WindowTests::radioGroupItems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(int, index);
    auto form = makeForm(false);
    auto* group = form->findChild<TRadioGroup*>(name);
    QVERIFY(group);
    QCOMPARE(group->items(), items);
    QCOMPARE(group->ItemIndex(), index);
}

void WindowTests::radioGroupMapping_data()
{
    // Group, index chosen, driver property and the ordinal it must hold.
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("property");
    QTest::addColumn<int>("ordinal");
    auto row = [](const char* tag, const char* name, int index, const char* property, int ordinal) {
        QTest::newRow(tag) << QString::fromLatin1(name) << index << QString::fromLatin1(property) << ordinal;
    };
    row("COM1", "ComPortRG", 0, "port", 0);
    row("COM4", "ComPortRG", 3, "port", 3);
    row("300 is br300", "BaudRateRG", 0, "speed", 1);
    row("2400", "BaudRateRG", 3, "speed", 4);
    row("9600", "BaudRateRG", 5, "speed", 6);
    row("115200", "BaudRateRG", 11, "speed", 12);
    row("5 bits", "DataBitsRG", 0, "data", 0);
    row("7 bits", "DataBitsRG", 2, "data", 2);
    row("8 bits", "DataBitsRG", 3, "data", 3);
    row("none", "ParityRG", 0, "parity", 0);
    row("odd", "ParityRG", 1, "parity", 1);
    row("even", "ParityRG", 2, "parity", 2);
    row("space", "ParityRG", 4, "parity", 4);
    row("1 stop", "StopBitsRG", 0, "stop", 0);
    row("1.5 stop", "StopBitsRG", 1, "stop", 1);
    row("2 stop", "StopBitsRG", 2, "stop", 2);
    row("none hw", "HandshakingRG", 0, "hw", 0);
    row("none sw", "HandshakingRG", 0, "sw", 0);
    row("RTS/CTS hw", "HandshakingRG", 1, "hw", 1);
    row("RTS/CTS sw", "HandshakingRG", 1, "sw", 0);
    row("XON/XOFF hw", "HandshakingRG", 2, "hw", 0);
    row("XON/XOFF sw", "HandshakingRG", 2, "sw", 1);
    row("both hw", "HandshakingRG", 3, "hw", 1);
    row("both sw", "HandshakingRG", 3, "sw", 1);
}

void WindowTests::radioGroupMapping()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QString, property);
    QFETCH(int, ordinal);
    auto form = makeForm(false);
    auto* group = form->findChild<TRadioGroup*>(name);
    QVERIFY(group);
    group->SetItemIndex(index == 0 ? 1 : 0);  // the handler runs on a change of selection
    group->SetItemIndex(index);
    const TSerialPortDriver& d = *form->connection()->driver();
    const QMap<QString, int> actual{{"port", d.ComPort()},
                                    {"speed", d.ComPortSpeed()},
                                    {"data", d.ComPortDataBits()},
                                    {"parity", d.ComPortParity()},
                                    {"stop", d.ComPortStopBits()},
                                    {"hw", d.ComPortHwHandshaking()},
                                    {"sw", d.ComPortSwHandshaking()}};
    QVERIFY(actual.contains(property));
    QCOMPARE(actual.value(property), ordinal);
}

void WindowTests::connectStatuses()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connection()->setPortDevice(pnCOM2, m_home.filePath(QStringLiteral("no-such-tty")));

    form->connection()->open();
    QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
    QVERIFY(form->connection()->driver()->Connected());
    QVERIFY(!form->connectionPanel()->ConnectBtn->isEnabled());
    QVERIFY(form->connectionPanel()->DisconnectBtn->isEnabled());
    QCOMPARE(form->connection()->driver()->ComPortParity(), ptNONE);  // the group's selection replaced even parity

    form->connection()->close();
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));
    QVERIFY(!form->connection()->driver()->Connected());
    QVERIFY(form->connectionPanel()->ConnectBtn->isEnabled());
    QVERIFY(!form->connectionPanel()->DisconnectBtn->isEnabled());
    form->connection()->close();  // also when already disconnected
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));

    const int beeps = form->BeepCount();
    form->connectionPanel()->ComPortRG->SetItemIndex(1);
    form->connection()->open();
    QCOMPARE(form->StatusText(), QStringLiteral("Error: port is not available"));
    QCOMPARE(form->BeepCount(), beeps + 1);
    QVERIFY(form->connectionPanel()->ConnectBtn->isEnabled());
    QVERIFY(!form->connectionPanel()->DisconnectBtn->isEnabled());
    QVERIFY(m_errors.isEmpty());  // no dialog
}

void WindowTests::receiveThroughPort()
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

void WindowTests::counterAndClear()
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

void WindowTests::typedKeys()
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

void WindowTests::macros()
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

void WindowTests::sendFile()
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

void WindowTests::sendFileHeldByXoff()
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

void WindowTests::sendFileCancelled()
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

void WindowTests::logToFile()
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

void WindowTests::errorsSayWhy()
{
    TestPty pty;
    auto form = makeForm();
    const QString missing = m_home.filePath(QStringLiteral("no-such-tty"));
    form->connection()->setPortDevice(pnCOM1, missing);
    form->connection()->open();
    QCOMPARE(form->StatusText(), QStringLiteral("Error: port is not available"));
    QCOMPARE(form->StatusDetail(), missing + QStringLiteral(": no such device"));

    TSerialPortDriver other;
    other.SetDevice(pnCOM1, pty.device());
    other.SetComPort(pnCOM1);
    QVERIFY(other.Connect());
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connection()->open();
    QCOMPARE(form->StatusDetail(), pty.device() + QStringLiteral(": in use by another terminal window"));
    other.Disconnect();
    form->connection()->open();
    QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
    QCOMPARE(form->StatusDetail(), QString());

    TOpenFailure denied;
    denied.Error = oePermissionDenied;
    denied.Device = QStringLiteral("/dev/ttyUSB0");
    denied.Group = QStringLiteral("dialout");
    QCOMPARE(OpenFailureText(denied), QStringLiteral("/dev/ttyUSB0: permission denied; join the group dialout "
                                                     "(sudo usermod -aG dialout $USER) and log in again"));
    TOpenFailure held;
    held.Error = oeInUse;
    held.Device = QStringLiteral("/dev/ttyUSB0");
    held.HolderPid = 4321;
    held.Holder = QStringLiteral("minicom");
    QCOMPARE(OpenFailureText(held), QStringLiteral("/dev/ttyUSB0: in use by another program (minicom, process 4321)"));
}

void WindowTests::modemLines()
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

void WindowTests::fastBitRates()
{
    TestPty pty;
    {
        auto form = makeForm();
        form->connection()->setPortDevice(pnCOM1, pty.device());
        form->connection()->open();
        form->connectionPanel()->cbBaudRate->setEditText(QStringLiteral("460800"));
        form->connectionPanel()->BaudRateRG->SetItemIndex(12);
        QCOMPARE(pty.outputSpeed(), speed_t(B460800));
        QCOMPARE(form->connection()->driver()->ComPortCustomSpeed(), 460800);
        QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
        form->connectionPanel()->cbBaudRate->setCurrentIndex(2);  // 921600, chosen from the list
        emit form->connectionPanel()->cbBaudRate->activated(2);
        QCOMPARE(pty.outputSpeed(), speed_t(B921600));
        QVERIFY(form->close());
    }
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/BaudRateRG_ItemIndex")), QStringLiteral("12"));
    auto form = makeForm();
    QCOMPARE(form->connectionPanel()->BaudRateRG->ItemIndex(), 12);
    QCOMPARE(form->connection()->driver()->ComPortCustomSpeed(), 921600);
    form->connectionPanel()->BaudRateRG->SetItemIndex(11);  // the listed rates keep their meaning
    QCOMPARE(form->connection()->driver()->ComPortCustomSpeed(), 0);
    QCOMPARE(form->connection()->driver()->ComPortSpeed(), br115200);
}

void WindowTests::hexAndLongMacros()
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

void WindowTests::deviceReturns()
{
    auto pty = std::make_unique<TestPty>();
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty->device());
    form->connection()->open();
    const QString device = pty->device();
    pty->closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(form->StatusText(), QStringLiteral("Error: port is not available"), 5000);
    QTRY_VERIFY(!QFile::exists(device));
    pty = std::make_unique<TestPty>();  // the system gives the freed name again
    if (pty->device() != device)
        QSKIP("the pseudo-terminal came back under another name");
    QTRY_VERIFY_WITH_TIMEOUT(form->ReconnectBtn->isVisibleTo(form.get()), 3000);
    QCOMPARE(form->StatusDetail(), device + QStringLiteral(" is back"));
    form->ReconnectBtn->click();
    QVERIFY(form->connection()->driver()->Connected());
    QVERIFY(!form->ReconnectBtn->isVisibleTo(form.get()));

    // With the option on it connects by itself.
    form->settingsBox()->cbReconnect->setChecked(true);
    pty->closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!form->connection()->driver()->Connected(), 5000);
    QTRY_VERIFY(!QFile::exists(device));
    pty = std::make_unique<TestPty>();
    if (pty->device() != device)
        QSKIP("the pseudo-terminal came back under another name");
    QTRY_VERIFY_WITH_TIMEOUT(form->connection()->driver()->Connected(), 3000);
    QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
}

void WindowTests::lineEndingOptions()
{
    TestPty pty;
    {
        auto form = makeForm();
        form->connection()->setPortDevice(pnCOM1, pty.device());
        form->connection()->open();
        form->settingsBox()->cbEnterKey->setCurrentIndex(2);
        QTest::keyClick(form->transmitPanel()->TxMemo, Qt::Key_Return);
        QCOMPARE(pty.read(2), QByteArray("\r\n"));
        form->settingsBox()->cbLfNewLine->setChecked(true);
        QVERIFY(pty.write("one\ntwo\n"));
        QTRY_COMPARE(sourceLines(form->pipeline()->log().Text), QStringList({"one", "two", ""}));
        form->settingsBox()->cbStampOnce->setChecked(true);
        QVERIFY(form->close());
    }
    // The choices come back after a restart.
    auto form = makeForm();
    QCOMPARE(form->settingsBox()->cbEnterKey->currentText(), QStringLiteral("CR LF"));
    QVERIFY(form->settingsBox()->cbLfNewLine->isChecked());
    QVERIFY(form->settingsBox()->cbStampOnce->isChecked());
    QCOMPARE(form->transmitPanel()->TxMemo->EnterBytes, QByteArray("\r\n"));
}

void WindowTests::speedAndPortWhileConnected()
{
    TestPty one, two;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, one.device());
    form->connection()->setPortDevice(pnCOM2, two.device());
    form->connection()->setPortDevice(pnCOM3, m_home.filePath(QStringLiteral("gone")));
    form->connection()->open();
    QVERIFY(form->connection()->driver()->Connected());
    QCOMPARE(one.outputSpeed(), speed_t(B2400));

    // 9600 while connected: applied at once, the port stays open.
    form->connectionPanel()->BaudRateRG->SetItemIndex(5);
    QCOMPARE(form->connection()->driver()->ComPortSpeed(), br9600);
    QVERIFY(form->connection()->driver()->Connected());
    QCOMPARE(one.outputSpeed(), speed_t(B9600));
    QCOMPARE(form->StatusText(), QStringLiteral("Connected"));

    // COM2 while connected: COM1 closes, COM2 opens.
    form->connectionPanel()->ComPortRG->SetItemIndex(1);
    QVERIFY(form->connection()->driver()->Connected());
    QCOMPARE(form->connection()->driver()->ComPort(), pnCOM2);
    QVERIFY(two.write("2"));
    QTRY_COMPARE(form->pipeline()->log().Text.line(0), QByteArray("2"));
    QVERIFY(one.write("1"));
    QTest::qWait(100);
    QCOMPARE(form->pipeline()->log().Text.line(0), QByteArray("2"));

    // COM3 cannot be opened: disconnected with the error status.
    form->connectionPanel()->ComPortRG->SetItemIndex(2);
    QVERIFY(!form->connection()->driver()->Connected());
    QCOMPARE(form->StatusText(), QStringLiteral("Error: port is not available"));
    QVERIFY(form->connectionPanel()->ConnectBtn->isEnabled());
    QVERIFY(!form->connectionPanel()->DisconnectBtn->isEnabled());

    // Handshaking maps to both driver properties.
    form->connectionPanel()->HandshakingRG->SetItemIndex(3);
    QCOMPARE(form->connection()->driver()->ComPortHwHandshaking(), hhRTSCTS);
    QCOMPARE(form->connection()->driver()->ComPortSwHandshaking(), shXONXOFF);
    form->connectionPanel()->HandshakingRG->SetItemIndex(2);
    QCOMPARE(form->connection()->driver()->ComPortHwHandshaking(), hhNONE);
    QCOMPARE(form->connection()->driver()->ComPortSwHandshaking(), shXONXOFF);
    form->connectionPanel()->StopBitsRG->SetItemIndex(2);
    QCOMPARE(form->connection()->driver()->ComPortStopBits(), sb2BITS);
}

void WindowTests::deviationsNamed()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connectionPanel()->StopBitsRG->SetItemIndex(1);  // 1.5 stop bits
    form->connection()->open();
    QVERIFY(form->connection()->driver()->Connected());
    const QStringList deviations = form->connection()->driver()->EffectiveSettings().Deviations;
    if (deviations.isEmpty())
        QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
    else
        QCOMPARE(form->StatusText(), QStringLiteral("Connected (") + deviations.join(QStringLiteral("; ")) + ")");
}

void WindowTests::autoDisConnect()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());

    // Without Auto Dis/Connect the activation leaves the port closed, and the
    // title says so, as the status bar does.
    form->AppEventsActivate();
    QCOMPARE(form->ApplicationTitle(), QStringLiteral("Terminal - Disconnected"));
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));
    QVERIFY(!form->connection()->driver()->Connected());
    form->AppEventsDeactivate();
    QCOMPARE(form->ApplicationTitle(), QStringLiteral("Terminal - Disconnected"));

    form->settingsBox()->cbAuto->setChecked(true);
    form->AppEventsActivate();
    QVERIFY(form->connection()->driver()->Connected());
    QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
    // Switching to another program releases the port for it.
    form->AppEventsDeactivate();
    QVERIFY(!form->connection()->driver()->Connected());
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));
    {
        TSerialPortDriver other;
        other.SetDevice(pnCOM1, pty.device());
        other.SetComPort(pnCOM1);
        QVERIFY(other.Connect());
    }
    form->AppEventsActivate();
    QVERIFY(form->connection()->driver()->Connected());
    QCOMPARE(form->ApplicationTitle(), QStringLiteral("Terminal - Connected"));
    // A port lost while active: the title follows the status bar at once.
    pty.closeMaster();
    QTRY_COMPARE(form->StatusText(), QStringLiteral("Error: port is not available"));
    QCOMPARE(form->ApplicationTitle(), QStringLiteral("Terminal - Disconnected"));
}

void WindowTests::portLost()
{
    TestPty pty;
    auto form = makeForm();
    form->connection()->setPortDevice(pnCOM1, pty.device());
    form->connection()->open();
    QVERIFY(form->connection()->driver()->Connected());
    const int beeps = form->BeepCount();
    pty.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(form->StatusText(), QStringLiteral("Error: port is not available"), 5000);
    QCOMPARE(form->BeepCount(), beeps + 1);
    QVERIFY(!form->connection()->driver()->Connected());
    QVERIFY(form->connectionPanel()->ConnectBtn->isEnabled());
    QVERIFY(!form->connectionPanel()->DisconnectBtn->isEnabled());
}

void WindowTests::fontSize()
{
    auto form = makeForm();
    form->settingsBox()->cbFontSize->setEditText(QStringLiteral("12"));
    form->applyFontSize();
    QCOMPARE(form->receivePanel()->RxMemo->font().pointSize(), 12);
    QCOMPARE(form->transmitPanel()->TxMemo->font().pointSize(), 12);
    QCOMPARE(form->receivePanel()->Memo1->font().pointSize(), 8);
    form->settingsBox()->cbFontSize->setEditText(QStringLiteral("abc"));
    form->applyFontSize();
    QCOMPARE(m_errors, QStringList({"'abc' is not a valid integer value"}));
    QCOMPARE(form->receivePanel()->RxMemo->font().pointSize(), 12);
    // Typed by the user: each edit applies.
    form->settingsBox()->cbFontSize->lineEdit()->selectAll();
    QTest::keyClicks(form->settingsBox()->cbFontSize->lineEdit(), QStringLiteral("14"));
    QCOMPARE(form->transmitPanel()->TxMemo->font().pointSize(), 14);
}

void WindowTests::restartRestoresEverything()
{
    {
        auto form = makeForm();
        form->setWindowState(Qt::WindowNoState);
        form->setGeometry(40, 50, 900, 600);
        QCoreApplication::processEvents();
        form->connectionPanel()->ComPortRG->SetItemIndex(2);
        form->connectionPanel()->BaudRateRG->SetItemIndex(11);
        form->connectionPanel()->DataBitsRG->SetItemIndex(1);
        form->connectionPanel()->ParityRG->SetItemIndex(4);
        form->connectionPanel()->StopBitsRG->SetItemIndex(2);
        form->connectionPanel()->HandshakingRG->SetItemIndex(1);
        form->settingsBox()->cbAuto->setChecked(true);
        form->receivePanel()->CBoxDec->setChecked(true);
        form->receivePanel()->CBoxBin->setChecked(true);
        form->settingsBox()->TCBox->setChecked(true);  // not stored
        form->settingsBox()->cbFontSize->setEditText(QStringLiteral("10"));
        form->transmitPanel()->lbMacro1->setEditText(QStringLiteral("ATZ "));
        form->transmitPanel()->lbMacro2->setEditText(QStringLiteral("two"));
        form->transmitPanel()->lbMacro3->setEditText(QStringLiteral("#013"));
        form->RxSplitter1->setSizes({260, form->RxSplitter1->height() - 260});
        QCoreApplication::processEvents();
        QCOMPARE(form->Panel3->height(), 260);
        QVERIFY(form->close());
    }
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/BaudRateRG_ItemIndex")), QStringLiteral("11"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/cbAuto_Checked")), QStringLiteral("True"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/lbMacro1_Text")), QStringLiteral("ATZ"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/Panel3_Height")), QStringLiteral("260"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/ShowCmd")), QStringLiteral("1"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/Visible")), QStringLiteral("0"));

    auto form = makeForm();
    QVERIFY(!(form->windowState() & Qt::WindowMaximized));
    QCOMPARE(form->geometry(), QRect(40, 50, 900, 600));
    QCOMPARE(form->connectionPanel()->ComPortRG->ItemIndex(), 2);
    QCOMPARE(form->connectionPanel()->BaudRateRG->ItemIndex(), 11);
    QCOMPARE(form->connectionPanel()->DataBitsRG->ItemIndex(), 1);
    QCOMPARE(form->connectionPanel()->ParityRG->ItemIndex(), 4);
    QCOMPARE(form->connectionPanel()->StopBitsRG->ItemIndex(), 2);
    QCOMPARE(form->connectionPanel()->HandshakingRG->ItemIndex(), 1);
    QVERIFY(form->settingsBox()->cbAuto->isChecked());
    QVERIFY(form->receivePanel()->CBoxDec->isChecked());
    QVERIFY(!form->receivePanel()->CBoxHex->isChecked());
    QVERIFY(form->receivePanel()->CBoxBin->isChecked());
    QVERIFY(!form->settingsBox()->TCBox->isChecked());
    QCOMPARE(form->settingsBox()->cbFontSize->currentText(), QStringLiteral("10"));
    QCOMPARE(form->receivePanel()->RxMemo->font().pointSize(), 10);  // applied by FormShow
    QCOMPARE(form->transmitPanel()->lbMacro1->currentText(), QStringLiteral("ATZ"));  // trailing blank gone
    QCOMPARE(form->transmitPanel()->lbMacro2->currentText(), QStringLiteral("two"));
    QCOMPARE(form->transmitPanel()->lbMacro3->currentText(), QStringLiteral("#013"));
    QCoreApplication::processEvents();
    QCOMPARE(form->Panel3->height(), 260);
    // The restored groups reached the driver (the stop bits by their click).
    QCOMPARE(form->connection()->driver()->ComPort(), pnCOM3);
    QCOMPARE(form->connection()->driver()->ComPortSpeed(), br115200);
    QCOMPARE(form->connection()->driver()->ComPortStopBits(), sb2BITS);
}

void WindowTests::macroHistories()
{
    {
        auto form = makeForm();
        form->transmitPanel()->lbMacro1->setEditText(QStringLiteral("AT"));
        form->transmitPanel()->SaveMacro11->trigger();
        form->transmitPanel()->SaveMacro11->trigger();
        QCOMPARE(form->transmitPanel()->lbMacro1->History(), QStringList({"AT"}));
        form->transmitPanel()->lbMacro1->setEditText(QStringLiteral("ATZ "));
        form->transmitPanel()->SaveMacro11->trigger();
        form->transmitPanel()->lbMacro1->setEditText(QStringLiteral("AT"));
        form->transmitPanel()->SaveMacro11->trigger();
        QCOMPARE(form->transmitPanel()->lbMacro1->History(), QStringList({"AT", "ATZ "}));
        for (int i = 0; i < 11; ++i) {
            form->transmitPanel()->lbMacro2->setEditText(QStringLiteral("m%1").arg(i));
            form->transmitPanel()->SaveMacro21->trigger();
        }
        QCOMPARE(form->transmitPanel()->lbMacro2->count(), 10);
        QCOMPARE(form->transmitPanel()->lbMacro2->itemText(0), QStringLiteral("m10"));
        QCOMPARE(form->transmitPanel()->lbMacro2->currentText(), QStringLiteral("m10"));
        form->transmitPanel()->lbMacro3->setEditText(QStringLiteral("unsaved"));
        QVERIFY(form->close());
    }
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("TERMINAL/Macro1/H0")), QStringLiteral("AT"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("TERMINAL/Macro1/H1")), QStringLiteral("ATZ "));
    QCOMPARE(ReadStoreText(store, QStringLiteral("TERMINAL/Macro2/H9")), QStringLiteral("m1"));
    QVERIFY(!store.contains(QStringLiteral("TERMINAL/Macro3/H0")));  // histories are written only by Save Macro

    auto form = makeForm();
    QCOMPARE(form->transmitPanel()->lbMacro1->History(), QStringList({"AT", "ATZ "}));  // the history keeps the blank
    QCOMPARE(form->transmitPanel()->lbMacro2->count(), 10);
    QCOMPARE(form->transmitPanel()->lbMacro3->count(), 0);
    QCOMPARE(form->transmitPanel()->lbMacro3->currentText(), QStringLiteral("unsaved"));
    // Choosing an entry puts it into the edit text, ready to send.
    form->transmitPanel()->lbMacro1->setCurrentIndex(1);
    QCOMPARE(form->transmitPanel()->lbMacro1->currentText(), QStringLiteral("ATZ "));
}

void WindowTests::garbageInStore()
{
    {
        QFile f(UserStoreFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[terminal]\n"
                "WindowState\\BaudRateRG_ItemIndex=abc\n"
                "WindowState\\ComPortRG_ItemIndex=99\n"
                "WindowState\\ParityRG_ItemIndex=-4\n"
                "WindowState\\cbAuto_Checked=yes\n"
                "WindowState\\CBoxHex_Checked=TRUE\n"
                "WindowState\\Panel3_Height=huge\n"
                "WindowState\\ShowCmd=@Variant(\\0\\0\\0\\x7f)\n"
                "WindowState\\NormPos=1,2\n"
                "WindowState\\PixelsPerInch=0x\n"
                "Ports\\COM1=\n"
                "[TERMINAL]\nMacro1\\H0=first\nMacro1\\H1=\nMacro1\\H2=hidden\n"
                "\x01\x02 not an ini line\n");
    }
    auto form = makeForm();
    QCOMPARE(form->connectionPanel()->BaudRateRG->ItemIndex(), 0);  // 300 baud
    QCOMPARE(form->connectionPanel()->ComPortRG->ItemIndex(), 0);
    QCOMPARE(form->connectionPanel()->ParityRG->ItemIndex(), 0);
    QVERIFY(!form->settingsBox()->cbAuto->isChecked());
    QVERIFY(form->receivePanel()->CBoxHex->isChecked());
    QCOMPARE(form->connection()->driver()->Device(pnCOM1), TSerialPortDriver::DefaultDevice(pnCOM1));
    QCOMPARE(form->transmitPanel()->lbMacro1->History(), QStringList({"first"}));
    QVERIFY(form->Panel3->height() > 0);
    QCOMPARE(form->connection()->driver()->ComPortSpeed(), br300);
    QVERIFY(m_errors.isEmpty());

    // A stored font size that is not a number is reported when it is applied.
    QFile::remove(UserStoreFile());
    {
        QSettings store(UserStoreFile(), QSettings::IniFormat);
        store.setValue(QStringLiteral("terminal/WindowState/cbFontSize_Text"), QStringLiteral("big"));
    }
    m_errors.clear();
    auto second = makeForm();
    QCOMPARE(m_errors, QStringList({"'big' is not a valid integer value"}));
    QCOMPARE(second->receivePanel()->RxMemo->font().pointSize(), 8);
}

void WindowTests::deviceMap()
{
    TestPty pty;
    {
        auto form = makeForm();
        form->connection()->setPortDevice(pnCOM4, pty.device());
        QCOMPARE(form->connection()->driver()->Device(pnCOM4), pty.device());
        form->connectionPanel()->ComPortRG->SetItemIndex(3);
        QVERIFY(form->connectionPanel()->ComPortRG->toolTip().contains(QStringLiteral("COM4 = ") + pty.device()));
        QVERIFY(form->connectionPanel()->ComPortRG->toolTip().startsWith(QStringLiteral("Port number")));
    }
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/Ports/COM4")), pty.device());
    auto form = makeForm();
    QCOMPARE(form->connection()->driver()->Device(pnCOM4), pty.device());
    form->connectionPanel()->ComPortRG->SetItemIndex(3);
    form->connection()->open();
    QVERIFY(form->connection()->driver()->Connected());

    // The context menu offers the default device of each number.
    QMenu menu;
    form->connectionPanel()->buildPortMenu(&menu);
    QCOMPARE(menu.actions().size(), 4);
    QCOMPARE(menu.actions()[3]->text(), QStringLiteral("COM4 = ") + pty.device());
    QMenu* com2 = menu.actions()[1]->menu();
    QVERIFY(com2);
    QAction* standard = nullptr;
    for (QAction* a : com2->actions())
        if (a->text() == QStringLiteral("Default: ") + TSerialPortDriver::DefaultDevice(pnCOM2))
            standard = a;
    QVERIFY(standard);
    QVERIFY(standard->isChecked());
    QCOMPARE(com2->actions().last()->text(), QStringLiteral("Other device..."));

    // Another device for the open COM number: the port is reopened on it.
    TestPty other;
    form->connection()->setPortDevice(pnCOM4, other.device());
    QVERIFY(form->connection()->driver()->Connected());
    QVERIFY(other.write("x"));
    QTRY_COMPARE(form->pipeline()->log().Text.line(0), QByteArray("x"));
}


void WindowTests::plotAndTransferWiring()
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

void WindowTests::hexLineAndFind()
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

void WindowTests::oldStoredValuesUnchanged()
{
    // A store an earlier version wrote: the window shows it and writes it
    // back value for value (the area heights follow the screen's layout).
    const QString group = QStringLiteral("terminal/WindowState/");
    const QList<std::pair<const char*, const char*>> values = {
        {"ComPortRG_ItemIndex", "2"},      {"BaudRateRG_ItemIndex", "12"},  {"DataBitsRG_ItemIndex", "2"},
        {"ParityRG_ItemIndex", "1"},       {"StopBitsRG_ItemIndex", "2"},   {"HandshakingRG_ItemIndex", "1"},
        {"cbAuto_Checked", "False"},       {"cbFontSize_Text", "10"},       {"lbMacro1_Text", "ATZ"},
        {"lbMacro2_Text", "#013#010"},     {"lbMacro3_Text", ""},           {"CBoxBin_Checked", "True"},
        {"CBoxDec_Checked", "False"},      {"CBoxHex_Checked", "True"},     {"cbLfNewLine_Checked", "True"},
        {"cbStampOnce_Checked", "False"},  {"cbEnterKey_ItemIndex", "2"},   {"cbBaudRate_Text", "460800"},
        {"cbReconnect_Checked", "True"},   {"sbKeepMB_Value", "64"},        {"Log_Mode", "Text"},
        {"Log_File", "/tmp/board.log"}};
    {
        QSettings store(UserStoreFile(), QSettings::IniFormat);
        for (const auto& [name, value] : values)
            store.setValue(group + QString::fromLatin1(name), QString::fromLatin1(value));
    }
    {
        auto form = makeForm();
        QCOMPARE(form->connectionPanel()->BaudRateRG->ItemIndex(), 12);
        QCOMPARE(form->connection()->driver()->ComPortCustomSpeed(), 460800);
        QVERIFY(form->receivePanel()->CBoxHex->isChecked() && form->settingsBox()->cbReconnect->isChecked());
        QVERIFY(form->close());
    }
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    for (const auto& [name, value] : values)
        QCOMPARE(ReadStoreText(store, group + QString::fromLatin1(name)), QString::fromLatin1(value));
    QStringList stored = store.allKeys().filter(group).replaceInStrings(group, QString());
    for (const QString& name : TerminalSettingNames())
        QVERIFY2(stored.contains(name), qPrintable(name));
}

QTEST_MAIN(WindowTests)
#include "window_tests.moc"
