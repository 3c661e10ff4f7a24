// The main window against pseudo-terminals mapped to COM numbers: receive,
// typed keys, macros, file sending, connection states, settings changed while
// connected, Auto Dis/Connect, a lost port, the font size, the stored
// settings, histories and device map, and garbage in the store.
#include "CompactTextView.h"
#include "FindBar.h"
#include "HistoryComboBox.h"
#include "MacroCodec.h"
#include "MainFrm.h"
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
    QCOMPARE(form->ComPortRG->ItemIndex(), 0);
    QCOMPARE(form->BaudRateRG->ItemIndex(), 3);
    QCOMPARE(form->DataBitsRG->ItemIndex(), 3);
    QCOMPARE(form->ParityRG->ItemIndex(), 0);
    QCOMPARE(form->StopBitsRG->ItemIndex(), 0);
    QCOMPARE(form->HandshakingRG->ItemIndex(), 0);
    QCOMPARE(form->cbFontSize->currentText(), QStringLiteral("8"));
    QCOMPARE(form->RxMemo->font().pointSize(), 8);
    for (QCheckBox* box : {form->cbAuto, form->TCBox, form->CBoxDec, form->CBoxHex, form->CBoxBin})
        QVERIFY(!box->isChecked());
    for (THistoryComboBox* box : {form->lbMacro1, form->lbMacro2, form->lbMacro3}) {
        QCOMPARE(box->currentText(), QString());
        QCOMPARE(box->count(), 0);
        QCOMPARE(box->MaxHistoryLength(), 10);
    }
    QCOMPARE(form->ChCount0->value(), 13);
    QCOMPARE(form->LabCount0->text(), QStringLiteral("0"));
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));
    QVERIFY(form->ConnectBtn->isEnabled());
    QVERIFY(!form->DisconnectBtn->isEnabled());
    QCOMPARE(form->SerialPortDriver->ComPortPollingDelay(), quint16(0));
    QCOMPARE(form->SerialPortDriver->ComPortParity(), ptEVEN);  // until the first connect
    QCOMPARE(form->ReceiveLog().Text.lineCount(), 1);           // one empty line
    QCOMPARE(form->PortDevice(pnCOM1), TSerialPortDriver::DefaultDevice(pnCOM1));
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
    QCOMPARE(form->ComPortRG->title(), QStringLiteral(" COM Port "));
    QCOMPARE(form->DataBitsRG->title(), QStringLiteral(" Data bits"));
    QCOMPARE(form->cbAuto->toolTip(),
             QStringLiteral("Auto Connect and Disconnect.\nIf you use same com port for \nsomething else. Like "
                            "programing,... "));
    QCOMPARE(form->lbMacro2->toolTip(),
             QStringLiteral("You can add any ASCII character\njust by using #xxx format. Where xxx\nis an ASCII code. "
                            "For example #013 \nfor <CR>. \nRight click to save macro."));
    QCOMPARE(form->BaudRateRG->items().size(), 12);
    QCOMPARE(form->windowTitle(), QStringLiteral("Terminal v1.6"));
    QCOMPARE(form->size(), QSize(727, 504));
    QCOMPARE(form->AboutFrm->windowTitle(), QStringLiteral("About Terminal"));
    QCOMPARE(form->AboutFrm->size(), QSize(260, 193));
    QCOMPARE(form->AboutFrm->ExitBtn->text(), QStringLiteral("&Exit"));
    QCOMPARE(form->AboutFrm->ExitBtn->toolTip(), QStringLiteral("close this box"));
    QCOMPARE(form->Memo1->width(), 56);
    QCOMPARE(form->Memo2->width(), 57);
    QCOMPARE(form->Memo3->width(), 82);
    QVERIFY(TMainForm::OpenDialogFilter().endsWith(
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
    const TSerialPortDriver& d = *form->SerialPortDriver;
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
    form->SetPortDevice(pnCOM1, pty.device());
    form->SetPortDevice(pnCOM2, m_home.filePath(QStringLiteral("no-such-tty")));

    form->ConnectBtnClick();
    QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
    QVERIFY(form->SerialPortDriver->Connected());
    QVERIFY(!form->ConnectBtn->isEnabled());
    QVERIFY(form->DisconnectBtn->isEnabled());
    QCOMPARE(form->SerialPortDriver->ComPortParity(), ptNONE);  // the group's selection replaced even parity

    form->DisconnectBtnClick();
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));
    QVERIFY(!form->SerialPortDriver->Connected());
    QVERIFY(form->ConnectBtn->isEnabled());
    QVERIFY(!form->DisconnectBtn->isEnabled());
    form->DisconnectBtnClick();  // also when already disconnected
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));

    const int beeps = form->BeepCount();
    form->ComPortRG->SetItemIndex(1);
    form->ConnectBtnClick();
    QCOMPARE(form->StatusText(), QStringLiteral("Error: port is not available"));
    QCOMPARE(form->BeepCount(), beeps + 1);
    QVERIFY(form->ConnectBtn->isEnabled());
    QVERIFY(!form->DisconnectBtn->isEnabled());
    QVERIFY(m_errors.isEmpty());  // no dialog
}

void WindowTests::receiveThroughPort()
{
    TestPty pty;
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty.device());
    form->CBoxDec->setChecked(true);
    form->CBoxHex->setChecked(true);
    form->CBoxBin->setChecked(true);
    form->ConnectBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());
    QVERIFY(pty.write("AB\r\nCD"));
    const TReceiveLog& log = form->ReceiveLog();
    QTRY_COMPARE(log.Received, 6);
    QCOMPARE(sourceLines(log.Text), QStringList({"AB", "CD"}));
    QCOMPARE(sourceLines(log.Dec), QStringList({"65", "66", "13", "10", "67", "68"}));
    QCOMPARE(sourceLines(log.Hex).at(2), QStringLiteral("0D"));
    QCOMPARE(sourceLines(log.Bin).at(2), QStringLiteral("00001101"));
    QTRY_COMPARE(form->LabCount0->text(), QStringLiteral("1"));

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
    form->RxMemo->refreshNow();
    QVERIFY(form->RxMemo->atEnd());
    form->RxMemo->setSelection({2000, 0}, {2000, 9});
    QCOMPARE(form->RxMemo->selectedText(), QStringLiteral("line 1999"));
}

void WindowTests::counterAndClear()
{
    auto form = makeForm();
    const QByteArray block("\r\r\n");
    form->SerialPortDriverReceiveData(form->SerialPortDriver, block.constData(), int(block.size()));
    QTRY_COMPARE(form->LabCount0->text(), QStringLiteral("2"));
    form->ChCount0->setValue(10);
    form->SerialPortDriverReceiveData(form->SerialPortDriver, block.constData(), int(block.size()));
    QTRY_COMPARE(form->LabCount0->text(), QStringLiteral("3"));
    // Cleared while typing, the spin box counts its lower limit 0.
    QLineEdit* countEdit = form->ChCount0->findChild<QLineEdit*>();
    QVERIFY(countEdit);
    countEdit->clear();
    const QByteArray zeros("\0\r\0", 3);
    form->SerialPortDriverReceiveData(form->SerialPortDriver, zeros.constData(), int(zeros.size()));
    QTRY_COMPARE(form->LabCount0->text(), QStringLiteral("5"));
    form->ChCount0->setValue(10);
    form->ClrInMemoClick();
    QCOMPARE(form->ReceiveLog().Text.lineCount(), 0);
    QCOMPARE(form->LabCount0->text(), QStringLiteral("5"));
    form->Button2Click();
    QCOMPARE(form->CharCount(), 0);
    QCOMPARE(form->LabCount0->text(), QStringLiteral("0"));
    // After CLEAR the next block's line is the first line, stamped with Time on.
    form->TCBox->setChecked(true);
    const QByteArray ok("OK");
    form->SerialPortDriverReceiveData(form->SerialPortDriver, ok.constData(), int(ok.size()));
    QCOMPARE(form->ReceiveLog().Text.lineCount(), 1);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d> OK$"))
                .match(QString::fromLatin1(form->ReceiveLog().Text.line(0)))
                .hasMatch());
}

void WindowTests::typedKeys()
{
    TestPty pty;
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty.device());
    QTest::keyClicks(form->TxMemo, QStringLiteral("ab"));
    QCOMPARE(form->TxMemo->toPlainText(), QStringLiteral("ab"));
    form->ConnectBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());
    QCOMPARE(pty.read(1, 200), QByteArray());  // nothing was sent while disconnected
    QTest::keyClicks(form->TxMemo, QStringLiteral("hi"));
    QTest::keyClick(form->TxMemo, Qt::Key_Return);
    QTest::keyClick(form->TxMemo, Qt::Key_Backspace);
    QTest::keyClick(form->TxMemo, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(pty.read(5), QByteArray("hi\r\b\x18"));
    QVERIFY(form->TxMemo->toPlainText().startsWith(QStringLiteral("abhi")));
}

void WindowTests::macros()
{
    TestPty pty;
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty.device());
    form->ConnectBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());

    form->lbMacro1->setEditText(QStringLiteral("#065#066"));
    form->bMacro1Click();
    QCOMPARE(pty.read(2), QByteArray("AB"));
    QCOMPARE(form->TxMemo->toPlainText(), QStringLiteral("AB"));

    form->lbMacro2->setEditText(QStringLiteral("#000X"));
    form->bMacro2Click();
    QCOMPARE(pty.read(2), QByteArray("\0X", 2));
    QCOMPARE(form->TxMemo->toPlainText(), QStringLiteral("AB\n"));  // an empty line added

    form->lbMacro3->setEditText(QStringLiteral("AB#"));
    form->bMacro3Click();
    QCOMPARE(m_errors, QStringList({"'' is not a valid integer value"}));
    QCOMPARE(pty.read(1, 200), QByteArray());
    QCOMPARE(form->TxMemo->toPlainText(), QStringLiteral("AB\n"));

    form->SendMacro(QStringLiteral("#999"));
    QCOMPARE(pty.read(1), QByteArray("\xe7"));

    // Macros longer than 79 characters go out whole.
    QString longMacro;
    for (int i = 0; i < 60; ++i)
        longMacro += QStringLiteral("AT#013");
    form->SendMacro(longMacro);
    QByteArray expected;
    for (int i = 0; i < 60; ++i)
        expected += "AT\r";
    QCOMPARE(pty.read(expected.size()), expected);

    // Disconnected, the copy still goes to TxMemo and nothing is sent.
    form->DisconnectBtnClick();
    form->SendMacro(QStringLiteral("OFF"));
    QVERIFY(form->TxMemo->toPlainText().endsWith(QStringLiteral("\nOFF")));
}

void WindowTests::sendFile()
{
    TestPty pty;
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty.device());
    form->ConnectBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());

    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.bin"));
    QFile(empty).open(QIODevice::WriteOnly);
    form->SendFile(empty);
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
    form->SendFile(file);
    QCOMPARE(pty.read(data.size()), data);

    form->SendFile(dir.filePath(QStringLiteral("missing.bin")));
    QCOMPARE(m_errors.size(), 1);
    QVERIFY(!m_errors[0].isEmpty());
    form->SendFile(dir.path());  // a folder cannot be read as a file
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
    form->SetPortDevice(pnCOM1, pty.device());
    form->HandshakingRG->SetItemIndex(2);
    form->ConnectBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());
    form->SerialPortDriver->OutputTimeout = 300;
    QVERIFY(pty.write("\x13"));
    QTest::qWait(50);
    QTemporaryDir dir;
    const QByteArray data = writeFile(dir.filePath(QStringLiteral("image.bin")), 1 << 20);
    form->SendFile(dir.filePath(QStringLiteral("image.bin")));
    QVERIFY(form->IsSending());
    QVERIFY(pty.write("alive\r"));
    QTRY_COMPARE(form->ReceiveLog().Text.line(0), QByteArray("alive"));
    QTRY_VERIFY_WITH_TIMEOUT(!form->IsSending(), 5000);
    QCOMPARE(m_errors.size(), 1);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Send File stopped after (\\d+) of 1048576 bytes: the device did not "
                                          "accept data for 0.3 s$"))
            .match(m_errors[0]);
    QVERIFY2(m.hasMatch(), qPrintable(m_errors[0]));
    QCOMPARE(form->StatusDetail(), m_errors[0]);
    const int sent = m.captured(1).toInt();
    QVERIFY(sent < data.size());
    QVERIFY(form->SendFileBtn->isEnabled());
    QVERIFY(pty.write("\x11"));
    QCOMPARE(pty.read(data.size(), 500), data.left(sent));
}

void WindowTests::sendFileCancelled()
{
    TestPty pty;  // the far end reads nothing until the end
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty.device());
    form->ConnectBtnClick();
    QTemporaryDir dir;
    const QByteArray data = writeFile(dir.filePath(QStringLiteral("big.bin")), 4 << 20);
    form->SendFile(dir.filePath(QStringLiteral("big.bin")));
    QVERIFY(form->IsSending());
    QTest::qWait(100);
    // Typing and macros wait while the file is on its way.
    QVERIFY(!form->bMacro1->isEnabled());
    QVERIFY(!form->SendFileBtn->isEnabled());
    QVERIFY(form->SendProgress->isVisible());
    QTest::keyClicks(form->TxMemo, QStringLiteral("zz"));
    form->SendMacro(QStringLiteral("MM"));
    QVERIFY(form->TxMemo->toPlainText().isEmpty());
    QVERIFY(!form->BaudRateRG->isEnabled());  // new settings would purge the queue
    // Auto Dis/Connect lets the file finish before it releases the port.
    form->cbAuto->setChecked(true);
    form->AppEventsDeactivate();
    QVERIFY(form->IsSending());
    QTest::mouseClick(form->SendCancelBtn, Qt::LeftButton);
    QVERIFY(!form->IsSending());
    QVERIFY(!form->SerialPortDriver->Connected());
    QVERIFY(!form->SendProgress->isVisible());
    QVERIFY(form->bMacro1->isEnabled());
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
    form->SetPortDevice(pnCOM1, pty.device());
    form->ConnectBtnClick();
    QTemporaryDir dir;
    const QString raw = dir.filePath(QStringLiteral("raw.log"));
    QVERIFY(form->StartLog(raw, TLogFile::Raw));
    QCOMPARE(form->LogBtn->text(), QStringLiteral("Stop log"));
    QByteArray sent;
    for (int i = 0; i < 20000; ++i)
        sent.append(char(i * 31 + i / 256));
    QVERIFY(pty.write(sent));
    QTRY_COMPARE(form->ReceiveLog().Received, qint64(sent.size()));
    QTRY_VERIFY(form->LogStatus->text().startsWith(QStringLiteral("Log: raw.log, ")));
    form->LogBtnClick();  // stops
    QVERIFY(!form->Log().active());
    QCOMPARE(form->LogBtn->text(), QStringLiteral("Log to file..."));
    QFile rawFile(raw);
    QVERIFY(rawFile.open(QIODevice::ReadOnly));
    QCOMPARE(rawFile.readAll(), sent);

    // The text as shown, time stamps included; the open line when stopped.
    form->ClrInMemoClick();
    form->TCBox->setChecked(true);
    const QString text = dir.filePath(QStringLiteral("text.txt"));
    QVERIFY(form->StartLog(text, TLogFile::Text));
    QVERIFY(pty.write("AB\r\nCD"));
    QTRY_COMPARE(form->ReceiveLog().Text.lineCount(), 2);
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
    form->SetPortDevice(pnCOM1, missing);
    form->ConnectBtnClick();
    QCOMPARE(form->StatusText(), QStringLiteral("Error: port is not available"));
    QCOMPARE(form->StatusDetail(), missing + QStringLiteral(": no such device"));

    TSerialPortDriver other;
    other.SetDevice(pnCOM1, pty.device());
    other.SetComPort(pnCOM1);
    QVERIFY(other.Connect());
    form->SetPortDevice(pnCOM1, pty.device());
    form->ConnectBtnClick();
    QCOMPARE(form->StatusDetail(), pty.device() + QStringLiteral(": in use by another terminal window"));
    other.Disconnect();
    form->ConnectBtnClick();
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
    form->SetPortDevice(pnCOM1, pty.device());
    form->SetDTRBtnClick();  // disconnected: no effect, no message
    QCOMPARE(form->StatusDetail(), QString());
    form->ConnectBtnClick();
    const int beeps = form->BeepCount();
    form->SetDTRBtnClick();
    QCOMPARE(form->StatusDetail(), QStringLiteral("DTR cannot be set on %1 (a pseudo-terminal, or a cable or adapter "
                                                  "without the line)")
                                       .arg(pty.device()));
    form->ClrRTSBtnClick();
    QVERIFY(form->StatusDetail().startsWith(QStringLiteral("RTS cannot be set")));
    QCOMPARE(form->BeepCount(), beeps + 2);
    QVERIFY(!form->LedCTS->isEnabled());
    QCOMPARE(form->LedCTS->toolTip(), QStringLiteral("This device does not report its modem lines"));
    form->BreakBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());
    QVERIFY(pty.write("x"));
    QTRY_COMPARE(form->ReceiveLog().Text.line(0), QByteArray("x"));
}

void WindowTests::fastBitRates()
{
    TestPty pty;
    {
        auto form = makeForm();
        form->SetPortDevice(pnCOM1, pty.device());
        form->ConnectBtnClick();
        form->cbBaudRate->setEditText(QStringLiteral("460800"));
        form->BaudRateRG->SetItemIndex(12);
        QCOMPARE(pty.outputSpeed(), speed_t(B460800));
        QCOMPARE(form->SerialPortDriver->ComPortCustomSpeed(), 460800);
        QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
        form->cbBaudRate->setCurrentIndex(2);  // 921600, chosen from the list
        emit form->cbBaudRate->activated(2);
        QCOMPARE(pty.outputSpeed(), speed_t(B921600));
        QVERIFY(form->close());
    }
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/WindowState/BaudRateRG_ItemIndex")), QStringLiteral("12"));
    auto form = makeForm();
    QCOMPARE(form->BaudRateRG->ItemIndex(), 12);
    QCOMPARE(form->SerialPortDriver->ComPortCustomSpeed(), 921600);
    form->BaudRateRG->SetItemIndex(11);  // the listed rates keep their meaning
    QCOMPARE(form->SerialPortDriver->ComPortCustomSpeed(), 0);
    QCOMPARE(form->SerialPortDriver->ComPortSpeed(), br115200);
}

void WindowTests::hexAndLongMacros()
{
    TestPty pty;
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty.device());
    form->ConnectBtnClick();
    form->lbMacro1->setEditText(QStringLiteral("AT#$0D#x0a"));
    form->bMacro1Click();
    QCOMPARE(pty.read(4), QByteArray("AT\r\n"));
    form->SendMacro(QStringLiteral("#$0Q"));
    QCOMPARE(m_errors, QStringList({"'Q' is not a valid integer value"}));
    // Too long for the box: cut there by the box, then refused whole.
    form->lbMacro2->setEditText(QString(3000, QLatin1Char('A')));
    QCOMPARE(form->lbMacro2->currentText().size(), MaxMacroLength + 1);
    QVERIFY(form->StatusDetail().startsWith(QStringLiteral("Macro 2 is longer than")));
    form->bMacro2Click();
    QCOMPARE(m_errors.size(), 2);
    QVERIFY(m_errors[1].startsWith(QStringLiteral("The macro is longer than 1024 characters")));
    QCOMPARE(pty.read(1, 200), QByteArray());
    form->lbMacro2->setEditText(QString(MaxMacroLength, QLatin1Char('B')));
    form->bMacro2Click();
    QCOMPARE(pty.read(MaxMacroLength), QByteArray(MaxMacroLength, 'B'));
}

void WindowTests::deviceReturns()
{
    auto pty = std::make_unique<TestPty>();
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty->device());
    form->ConnectBtnClick();
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
    QVERIFY(form->SerialPortDriver->Connected());
    QVERIFY(!form->ReconnectBtn->isVisibleTo(form.get()));

    // With the option on it connects by itself.
    form->cbReconnect->setChecked(true);
    pty->closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!form->SerialPortDriver->Connected(), 5000);
    QTRY_VERIFY(!QFile::exists(device));
    pty = std::make_unique<TestPty>();
    if (pty->device() != device)
        QSKIP("the pseudo-terminal came back under another name");
    QTRY_VERIFY_WITH_TIMEOUT(form->SerialPortDriver->Connected(), 3000);
    QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
}

void WindowTests::lineEndingOptions()
{
    TestPty pty;
    {
        auto form = makeForm();
        form->SetPortDevice(pnCOM1, pty.device());
        form->ConnectBtnClick();
        form->cbEnterKey->setCurrentIndex(2);
        QTest::keyClick(form->TxMemo, Qt::Key_Return);
        QCOMPARE(pty.read(2), QByteArray("\r\n"));
        form->cbLfNewLine->setChecked(true);
        QVERIFY(pty.write("one\ntwo\n"));
        QTRY_COMPARE(sourceLines(form->ReceiveLog().Text), QStringList({"one", "two", ""}));
        form->cbStampOnce->setChecked(true);
        QVERIFY(form->close());
    }
    // The choices come back after a restart.
    auto form = makeForm();
    QCOMPARE(form->cbEnterKey->currentText(), QStringLiteral("CR LF"));
    QVERIFY(form->cbLfNewLine->isChecked());
    QVERIFY(form->cbStampOnce->isChecked());
    QCOMPARE(form->TxMemo->EnterBytes, QByteArray("\r\n"));
}

void WindowTests::speedAndPortWhileConnected()
{
    TestPty one, two;
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, one.device());
    form->SetPortDevice(pnCOM2, two.device());
    form->SetPortDevice(pnCOM3, m_home.filePath(QStringLiteral("gone")));
    form->ConnectBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());
    QCOMPARE(one.outputSpeed(), speed_t(B2400));

    // 9600 while connected: applied at once, the port stays open.
    form->BaudRateRG->SetItemIndex(5);
    QCOMPARE(form->SerialPortDriver->ComPortSpeed(), br9600);
    QVERIFY(form->SerialPortDriver->Connected());
    QCOMPARE(one.outputSpeed(), speed_t(B9600));
    QCOMPARE(form->StatusText(), QStringLiteral("Connected"));

    // COM2 while connected: COM1 closes, COM2 opens.
    form->ComPortRG->SetItemIndex(1);
    QVERIFY(form->SerialPortDriver->Connected());
    QCOMPARE(form->SerialPortDriver->ComPort(), pnCOM2);
    QVERIFY(two.write("2"));
    QTRY_COMPARE(form->ReceiveLog().Text.line(0), QByteArray("2"));
    QVERIFY(one.write("1"));
    QTest::qWait(100);
    QCOMPARE(form->ReceiveLog().Text.line(0), QByteArray("2"));

    // COM3 cannot be opened: disconnected with the error status.
    form->ComPortRG->SetItemIndex(2);
    QVERIFY(!form->SerialPortDriver->Connected());
    QCOMPARE(form->StatusText(), QStringLiteral("Error: port is not available"));
    QVERIFY(form->ConnectBtn->isEnabled());
    QVERIFY(!form->DisconnectBtn->isEnabled());

    // Handshaking maps to both driver properties.
    form->HandshakingRG->SetItemIndex(3);
    QCOMPARE(form->SerialPortDriver->ComPortHwHandshaking(), hhRTSCTS);
    QCOMPARE(form->SerialPortDriver->ComPortSwHandshaking(), shXONXOFF);
    form->HandshakingRG->SetItemIndex(2);
    QCOMPARE(form->SerialPortDriver->ComPortHwHandshaking(), hhNONE);
    QCOMPARE(form->SerialPortDriver->ComPortSwHandshaking(), shXONXOFF);
    form->StopBitsRG->SetItemIndex(2);
    QCOMPARE(form->SerialPortDriver->ComPortStopBits(), sb2BITS);
}

void WindowTests::deviationsNamed()
{
    TestPty pty;
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty.device());
    form->StopBitsRG->SetItemIndex(1);  // 1.5 stop bits
    form->ConnectBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());
    const QStringList deviations = form->SerialPortDriver->EffectiveSettings().Deviations;
    if (deviations.isEmpty())
        QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
    else
        QCOMPARE(form->StatusText(), QStringLiteral("Connected (") + deviations.join(QStringLiteral("; ")) + ")");
}

void WindowTests::autoDisConnect()
{
    TestPty pty;
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty.device());

    // Without Auto Dis/Connect the activation leaves the port closed, and the
    // title says so, as the status bar does.
    form->AppEventsActivate();
    QCOMPARE(form->ApplicationTitle(), QStringLiteral("Terminal - Disconnected"));
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));
    QVERIFY(!form->SerialPortDriver->Connected());
    form->AppEventsDeactivate();
    QCOMPARE(form->ApplicationTitle(), QStringLiteral("Terminal - Disconnected"));

    form->cbAuto->setChecked(true);
    form->AppEventsActivate();
    QVERIFY(form->SerialPortDriver->Connected());
    QCOMPARE(form->StatusText(), QStringLiteral("Connected"));
    // Switching to another program releases the port for it.
    form->AppEventsDeactivate();
    QVERIFY(!form->SerialPortDriver->Connected());
    QCOMPARE(form->StatusText(), QStringLiteral("Disconnected"));
    {
        TSerialPortDriver other;
        other.SetDevice(pnCOM1, pty.device());
        other.SetComPort(pnCOM1);
        QVERIFY(other.Connect());
    }
    form->AppEventsActivate();
    QVERIFY(form->SerialPortDriver->Connected());
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
    form->SetPortDevice(pnCOM1, pty.device());
    form->ConnectBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());
    const int beeps = form->BeepCount();
    pty.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(form->StatusText(), QStringLiteral("Error: port is not available"), 5000);
    QCOMPARE(form->BeepCount(), beeps + 1);
    QVERIFY(!form->SerialPortDriver->Connected());
    QVERIFY(form->ConnectBtn->isEnabled());
    QVERIFY(!form->DisconnectBtn->isEnabled());
}

void WindowTests::fontSize()
{
    auto form = makeForm();
    form->cbFontSize->setEditText(QStringLiteral("12"));
    form->cbFontSizeChange();
    QCOMPARE(form->RxMemo->font().pointSize(), 12);
    QCOMPARE(form->TxMemo->font().pointSize(), 12);
    QCOMPARE(form->Memo1->font().pointSize(), 8);
    form->cbFontSize->setEditText(QStringLiteral("abc"));
    form->cbFontSizeChange();
    QCOMPARE(m_errors, QStringList({"'abc' is not a valid integer value"}));
    QCOMPARE(form->RxMemo->font().pointSize(), 12);
    // Typed by the user: each edit applies.
    form->cbFontSize->lineEdit()->selectAll();
    QTest::keyClicks(form->cbFontSize->lineEdit(), QStringLiteral("14"));
    QCOMPARE(form->TxMemo->font().pointSize(), 14);
}

void WindowTests::restartRestoresEverything()
{
    {
        auto form = makeForm();
        form->setWindowState(Qt::WindowNoState);
        form->setGeometry(40, 50, 900, 600);
        QCoreApplication::processEvents();
        form->ComPortRG->SetItemIndex(2);
        form->BaudRateRG->SetItemIndex(11);
        form->DataBitsRG->SetItemIndex(1);
        form->ParityRG->SetItemIndex(4);
        form->StopBitsRG->SetItemIndex(2);
        form->HandshakingRG->SetItemIndex(1);
        form->cbAuto->setChecked(true);
        form->CBoxDec->setChecked(true);
        form->CBoxBin->setChecked(true);
        form->TCBox->setChecked(true);  // not stored
        form->cbFontSize->setEditText(QStringLiteral("10"));
        form->lbMacro1->setEditText(QStringLiteral("ATZ "));
        form->lbMacro2->setEditText(QStringLiteral("two"));
        form->lbMacro3->setEditText(QStringLiteral("#013"));
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
    QCOMPARE(form->ComPortRG->ItemIndex(), 2);
    QCOMPARE(form->BaudRateRG->ItemIndex(), 11);
    QCOMPARE(form->DataBitsRG->ItemIndex(), 1);
    QCOMPARE(form->ParityRG->ItemIndex(), 4);
    QCOMPARE(form->StopBitsRG->ItemIndex(), 2);
    QCOMPARE(form->HandshakingRG->ItemIndex(), 1);
    QVERIFY(form->cbAuto->isChecked());
    QVERIFY(form->CBoxDec->isChecked());
    QVERIFY(!form->CBoxHex->isChecked());
    QVERIFY(form->CBoxBin->isChecked());
    QVERIFY(!form->TCBox->isChecked());
    QCOMPARE(form->cbFontSize->currentText(), QStringLiteral("10"));
    QCOMPARE(form->RxMemo->font().pointSize(), 10);  // applied by FormShow
    QCOMPARE(form->lbMacro1->currentText(), QStringLiteral("ATZ"));  // trailing blank gone
    QCOMPARE(form->lbMacro2->currentText(), QStringLiteral("two"));
    QCOMPARE(form->lbMacro3->currentText(), QStringLiteral("#013"));
    QCoreApplication::processEvents();
    QCOMPARE(form->Panel3->height(), 260);
    // The restored groups reached the driver (the stop bits by their click).
    QCOMPARE(form->SerialPortDriver->ComPort(), pnCOM3);
    QCOMPARE(form->SerialPortDriver->ComPortSpeed(), br115200);
    QCOMPARE(form->SerialPortDriver->ComPortStopBits(), sb2BITS);
}

void WindowTests::macroHistories()
{
    {
        auto form = makeForm();
        form->lbMacro1->setEditText(QStringLiteral("AT"));
        form->SaveMacro11Click();
        form->SaveMacro11Click();
        QCOMPARE(form->lbMacro1->History(), QStringList({"AT"}));
        form->lbMacro1->setEditText(QStringLiteral("ATZ "));
        form->SaveMacro11Click();
        form->lbMacro1->setEditText(QStringLiteral("AT"));
        form->SaveMacro11Click();
        QCOMPARE(form->lbMacro1->History(), QStringList({"AT", "ATZ "}));
        for (int i = 0; i < 11; ++i) {
            form->lbMacro2->setEditText(QStringLiteral("m%1").arg(i));
            form->SaveMacro21Click();
        }
        QCOMPARE(form->lbMacro2->count(), 10);
        QCOMPARE(form->lbMacro2->itemText(0), QStringLiteral("m10"));
        QCOMPARE(form->lbMacro2->currentText(), QStringLiteral("m10"));
        form->lbMacro3->setEditText(QStringLiteral("unsaved"));
        QVERIFY(form->close());
    }
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("TERMINAL/Macro1/H0")), QStringLiteral("AT"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("TERMINAL/Macro1/H1")), QStringLiteral("ATZ "));
    QCOMPARE(ReadStoreText(store, QStringLiteral("TERMINAL/Macro2/H9")), QStringLiteral("m1"));
    QVERIFY(!store.contains(QStringLiteral("TERMINAL/Macro3/H0")));  // histories are written only by Save Macro

    auto form = makeForm();
    QCOMPARE(form->lbMacro1->History(), QStringList({"AT", "ATZ "}));  // the history keeps the blank
    QCOMPARE(form->lbMacro2->count(), 10);
    QCOMPARE(form->lbMacro3->count(), 0);
    QCOMPARE(form->lbMacro3->currentText(), QStringLiteral("unsaved"));
    // Choosing an entry puts it into the edit text, ready to send.
    form->lbMacro1->setCurrentIndex(1);
    QCOMPARE(form->lbMacro1->currentText(), QStringLiteral("ATZ "));
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
    QCOMPARE(form->BaudRateRG->ItemIndex(), 0);  // 300 baud
    QCOMPARE(form->ComPortRG->ItemIndex(), 0);
    QCOMPARE(form->ParityRG->ItemIndex(), 0);
    QVERIFY(!form->cbAuto->isChecked());
    QVERIFY(form->CBoxHex->isChecked());
    QCOMPARE(form->PortDevice(pnCOM1), TSerialPortDriver::DefaultDevice(pnCOM1));
    QCOMPARE(form->lbMacro1->History(), QStringList({"first"}));
    QVERIFY(form->Panel3->height() > 0);
    QCOMPARE(form->SerialPortDriver->ComPortSpeed(), br300);
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
    QCOMPARE(second->RxMemo->font().pointSize(), 8);
}

void WindowTests::deviceMap()
{
    TestPty pty;
    {
        auto form = makeForm();
        form->SetPortDevice(pnCOM4, pty.device());
        QCOMPARE(form->SerialPortDriver->Device(pnCOM4), pty.device());
        form->ComPortRG->SetItemIndex(3);
        QVERIFY(form->ComPortRG->toolTip().contains(QStringLiteral("COM4 = ") + pty.device()));
        QVERIFY(form->ComPortRG->toolTip().startsWith(QStringLiteral("Port number")));
    }
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("terminal/Ports/COM4")), pty.device());
    auto form = makeForm();
    QCOMPARE(form->PortDevice(pnCOM4), pty.device());
    form->ComPortRG->SetItemIndex(3);
    form->ConnectBtnClick();
    QVERIFY(form->SerialPortDriver->Connected());

    // The context menu offers the default device of each number.
    QMenu menu;
    form->BuildPortMenu(&menu);
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
    form->SetPortDevice(pnCOM4, other.device());
    QVERIFY(form->SerialPortDriver->Connected());
    QVERIFY(other.write("x"));
    QTRY_COMPARE(form->ReceiveLog().Text.line(0), QByteArray("x"));
}


void WindowTests::plotAndTransferWiring()
{
    TestPty pty;
    auto form = makeForm();
    form->SetPortDevice(pnCOM1, pty.device());

    // A transfer needs an open port, and says so.
    TTransferRequest request;
    request.Direction = TTransferDirection::Receive;
    request.Folder = m_home.path();
    form->StartTransfer(request);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY(!form->IsSending());

    // Lines with numbers reach the plot only while it is on.
    form->ConnectBtnClick();
    QVERIFY(pty.write("1 2\r\n"));
    QTRY_COMPARE(form->ReceiveLog().Received, 5);
    QVERIFY(form->PlotData().series().isEmpty());
    form->PlotBtn->click();
    QVERIFY(form->PlotDock->isVisible());
    QVERIFY(pty.write("3 4\r\nt=5\r\n"));
    QTRY_COMPARE(form->PlotData().series().size(), 3);
    QCOMPARE(form->PlotData().series()[0].Value, QVector<double>{3});

    // While a transfer runs the port's bytes go to the protocol program,
    // not into the receive box, and typed keys wait.
    form->StartTransfer(request);
    QVERIFY(form->IsSending());
    QVERIFY(!form->TransferBtn->isEnabled());
    const qint64 before = form->ReceiveLog().Received;
    QVERIFY(pty.write("noise"));
    QTRY_VERIFY(form->Transfer()->bytesFromPort() >= 5);
    QCOMPARE(form->ReceiveLog().Received, before);
    form->SendCancelBtn->click();
    QVERIFY(!form->IsSending());
    QVERIFY(form->StatusDetail().contains(QStringLiteral("cancelled")));
    QVERIFY(form->TransferBtn->isEnabled());
}

void WindowTests::hexLineAndFind()
{
    TestPty pty;
    {
        auto form = makeForm();
        form->SetPortDevice(pnCOM1, pty.device());
        form->ConnectBtnClick();
        QVERIFY(form->SerialPortDriver->Connected());

        // Enter in the hex line sends its bytes, echoes them and keeps the line.
        form->HexBox->setEditText(QStringLiteral("41 0d0A"));
        QTest::keyClick(form->HexBox->lineEdit(), Qt::Key_Return);
        QCOMPARE(pty.read(3), QByteArray("A\r\n"));
        QCOMPARE(form->HexBox->History(), QStringList({"41 0d0A"}));
        QCOMPARE(form->HexBox->currentText(), QStringLiteral("41 0d0A"));
        // A bad line sends nothing and says where it is wrong.
        form->HexBox->setEditText(QStringLiteral("41 4G"));
        form->HexSendBtn->click();
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors[0].contains(QStringLiteral("column 5")), qPrintable(m_errors[0]));
        QCOMPARE(pty.read(1, 200), QByteArray());

        // Find goes through the store from the selection and shows the hit.
        QVERIFY(pty.write("boot\r\nerror 1\r\nok\r\nERROR 2\r\n"));
        QTRY_COMPARE(form->ReceiveLog().Received, 28);
        form->RxMemo->setFocus();
        QTest::keyClick(form->RxMemo, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(form->FindBar->isVisible());
        auto* edit = form->FindBar->findChild<QLineEdit*>(QStringLiteral("FindEdit"));
        QTest::keyClicks(edit, QStringLiteral("error"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(form->RxMemo->selectedText(), QStringLiteral("error"));
        QCOMPARE(form->RxMemo->selectionStart().Line, 1);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(form->RxMemo->selectedText(), QStringLiteral("ERROR"));
        QTest::keyClick(edit, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(form->RxMemo->selectionStart().Line, 1);
        // Ctrl+F typed in the transmit box is still a byte for the device.
        form->TxMemo->setFocus();
        QTest::keyClick(form->TxMemo, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(pty.read(1), QByteArray("\x06"));
        QVERIFY(form->close());
    }
    // The hex history is stored under its own name, the macros' untouched.
    QSettings store(UserStoreFile(), QSettings::IniFormat);
    QCOMPARE(ReadStoreText(store, QStringLiteral("TERMINAL/HexSend/H0")), QStringLiteral("41 0d0A"));
    QVERIFY(!store.contains(QStringLiteral("TERMINAL/Macro1/H0")));
    auto again = makeForm();
    QCOMPARE(again->HexBox->History(), QStringList({"41 0d0A"}));
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
        QCOMPARE(form->BaudRateRG->ItemIndex(), 12);
        QCOMPARE(form->SerialPortDriver->ComPortCustomSpeed(), 460800);
        QVERIFY(form->CBoxHex->isChecked() && form->cbReconnect->isChecked());
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
