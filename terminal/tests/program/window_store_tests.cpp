// The main window's stored settings: the first start without a store, the
// "other" bit rates, the font size, a restart that restores everything, the
// macro histories, garbage in the store, the device map, and a store an
// earlier version wrote.
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

class WindowStoreTests : public QObject, TWindowFixture {
    Q_OBJECT
private slots:
    void initTestCase() { startHome(); }
    void init() { clearStore(); }
    void cleanup() { QFile::remove(UserStoreFile()); }
    void firstStartWithoutStore();
    void fastBitRates();
    void fontSize();
    void restartRestoresEverything();
    void macroHistories();
    void garbageInStore();
    void deviceMap();
    void oldStoredValuesUnchanged();
};

void WindowStoreTests::firstStartWithoutStore()
{
    QVERIFY(!QFile::exists(UserStoreFile()));
    auto form = makeForm();
    QVERIFY(form->windowState() & Qt::WindowMaximized);
    const TTerminalSettings& s = form->settings();
    QCOMPARE(std::tuple(s.ComPort, s.BitRate, s.DataBits, s.Parity, s.StopBits, s.Handshaking),
             std::tuple(0, 2400, 3, 0, 0, 0));
    QCOMPARE(s.FontSize, QString::number(systemFixedFont().pointSize()));
    QVERIFY(!s.AutoConnect && !s.Time && !s.Dec && !s.Hex && !s.Bin);
    QCOMPARE(form->pipeline()->options().CountChar, 13);
    // The panels show the value.
    QCOMPARE(form->connectionPanel()->BaudRateRG->ItemIndex(), 3);
    QCOMPARE(form->receivePanel()->RxMemo->font(), systemFixedFont());
    for (THistoryComboBox* box : {form->transmitPanel()->lbMacro1, form->transmitPanel()->lbMacro2, form->transmitPanel()->lbMacro3}) {
        QCOMPARE(box->currentText(), QString());
        QCOMPARE(box->count(), 0);
        QCOMPARE(box->MaxHistoryLength(), 10);
    }
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

void WindowStoreTests::fastBitRates()
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
        QCOMPARE(form->StatusText(), QStringLiteral("Connected to %1 at 460800 8N1").arg(pty.device()));
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

void WindowStoreTests::fontSize()
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

void WindowStoreTests::restartRestoresEverything()
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
    const TTerminalSettings& s = form->settings();
    QCOMPARE(std::tuple(s.ComPort, s.BitRate, s.DataBits, s.Parity, s.StopBits, s.Handshaking),
             std::tuple(2, 115200, 1, 4, 2, 1));
    QVERIFY(s.AutoConnect && s.Dec && !s.Hex && s.Bin && !s.Time);  // the time column is not stored
    QCOMPARE(s.FontSize, QStringLiteral("10"));
    QCOMPARE(QStringList(s.Macro, s.Macro + 3), QStringList({"ATZ", "two", "#013"}));  // trailing blank gone
    QVERIFY(form->pipeline()->options().Dec && form->pipeline()->options().Bin);
    // The panels show the value.
    QCOMPARE(form->connectionPanel()->ParityRG->ItemIndex(), 4);
    QVERIFY(form->receivePanel()->CBoxBin->isChecked());
    QCOMPARE(form->transmitPanel()->lbMacro1->currentText(), QStringLiteral("ATZ"));
    QCOMPARE(form->receivePanel()->RxMemo->font().pointSize(), 10);  // applied on showing
    QCoreApplication::processEvents();
    QCOMPARE(form->Panel3->height(), 260);
    // The restored groups reached the driver (the stop bits by their click).
    QCOMPARE(form->connection()->driver()->ComPort(), pnCOM3);
    QCOMPARE(form->connection()->driver()->ComPortSpeed(), br115200);
    QCOMPARE(form->connection()->driver()->ComPortStopBits(), sb2BITS);
}

void WindowStoreTests::macroHistories()
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

void WindowStoreTests::garbageInStore()
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
    // The value the core applies is what the groups show, never the garbage.
    QCOMPARE(form->settings().ComPort, 0);
    QCOMPARE(form->settings().Parity, 0);
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
    QCOMPARE(second->receivePanel()->RxMemo->font().pointSize(), systemFixedFont().pointSize());
}

void WindowStoreTests::deviceMap()
{
    TestPty pty;
    {
        auto form = makeForm();
        form->connection()->setPortDevice(pnCOM4, pty.device());
        QCOMPARE(form->connection()->driver()->Device(pnCOM4), pty.device());
        form->connectionPanel()->ComPortRG->SetItemIndex(3);
        QVERIFY(form->connectionPanel()->ComPortRG->toolTip().contains(QStringLiteral("COM4 = ") + pty.device()));
        QVERIFY(form->connectionPanel()->ComPortRG->toolTip().startsWith(QStringLiteral("Port number")));
        // The hint follows the map, however it is changed.
        const QString other = m_home.filePath(QStringLiteral("ttyOther"));
        form->connection()->setPortDevice(pnCOM4, other);
        QVERIFY(form->connectionPanel()->ComPortRG->toolTip().contains(QStringLiteral("COM4 = ") + other));
        form->connection()->setPortDevice(pnCOM4, pty.device());
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

void WindowStoreTests::oldStoredValuesUnchanged()
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

QTEST_MAIN(WindowStoreTests)
#include "window_store_tests.moc"
