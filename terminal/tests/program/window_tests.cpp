// The main window's controls and connection states against pseudo-terminals
// mapped to COM numbers: captions and hints, the radio groups, connecting and
// its failures, settings changed while connected, line endings, Auto
// Dis/Connect, and a lost port and its return.
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
#include "terminal/ui/UiText.h"
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

class WindowTests : public QObject, TWindowFixture {
    Q_OBJECT
private slots:
    void initTestCase() { startHome(); }
    void init() { clearStore(); }
    void cleanup() { QFile::remove(UserStoreFile()); }
    void controlTexts();
    void captionsAndHints_data();
    void captionsAndHints();
    void radioGroupItems_data();
    void radioGroupItems();
    void radioGroupMapping_data();
    void radioGroupMapping();
    void connectStatuses();
    void errorsSayWhy();
    void deviceReturns();
    void speedAndPortWhileConnected();
    void deviationsNamed();
    void lineEndingOptions();
    void autoDisConnect();
    void portLost();
};

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
    row("cbFontSize", QString::number(systemFixedFont().pointSize()), "Font Size");
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
    QCOMPARE(form->StatusText(), QStringLiteral("Connected to %1 at 2400 8N1").arg(pty.device()));
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
    QCOMPARE(form->StatusText(), QStringLiteral("Connected to %1 at 2400 8N1").arg(pty.device()));
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
    QCOMPARE(form->StatusText(), QStringLiteral("Connected to %1 at 2400 8N1").arg(device));
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
    QCOMPARE(form->StatusText(), QStringLiteral("Connected to %1 at 9600 8N1").arg(one.device()));

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
        QCOMPARE(form->StatusText(), QStringLiteral("Connected to %1 at 2400 8N1.5").arg(pty.device()));
    else
        QCOMPARE(form->StatusText(), QStringLiteral("Connected to %1 at 2400 8N2 (").arg(pty.device())
                                         + deviations.join(QStringLiteral("; ")) + ")");
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
    QCOMPARE(form->StatusText(), QStringLiteral("Connected to %1 at 2400 8N1").arg(pty.device()));
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

QTEST_MAIN(WindowTests)
#include "window_tests.moc"
