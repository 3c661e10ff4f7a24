// The terminal's stored settings without a window: the settings list and its
// round trips, garbage in the store, the placement and history rules, and
// files an earlier version wrote.
#include "terminal/CompactTextView.h"
#include "terminal/core/HexBytes.h"
#include "terminal/MacroCodec.h"
#include "terminal/core/PlotData.h"
#include "terminal/core/ReceiveFind.h"
#include "terminal/ReceiveStore.h"
#include "terminal/tests/common/SourceLines.h"
#include "terminal/core/TerminalSettings.h"
#include "terminal/Storage.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>



class SettingsTests : public QObject {
    Q_OBJECT
private slots:
    void storedSettingsRoundTrip();
    void storedSettingsGarbage();
    void placementRestore_data();
    void placementRestore();
    void placementScreenSizeName();
    void historyRules();
    void historyStore();
    void terminalSettingsOldFile_data();
    void terminalSettingsOldFile();
};

namespace {
struct Props {
    int index = 3;
    bool flag = false;
    QString text = QStringLiteral("8");
};

void addProps(TStoredSettings& s, Props& p)
{
    s.addInteger(QStringLiteral("BaudRateRG_ItemIndex"), [&p] { return p.index; }, [&p](int v) { p.index = v; });
    s.addBoolean(QStringLiteral("cbAuto_Checked"), [&p] { return p.flag; }, [&p](bool v) { p.flag = v; });
    s.addText(QStringLiteral("lbMacro1_Text"), [&p] { return p.text; }, [&p](const QString& v) { p.text = v; });
}
}  // namespace

void SettingsTests::storedSettingsRoundTrip()
{
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("t.ini")), QSettings::IniFormat);
    Props p;
    TStoredSettings s;
    addProps(s, p);
    p.index = 7;
    p.flag = true;
    p.text = QStringLiteral("  AT#013 ");
    s.save(store, QStringLiteral("terminal/WindowState"));
    QCOMPARE(store.value(QStringLiteral("terminal/WindowState/BaudRateRG_ItemIndex")).toString(), QStringLiteral("7"));
    QCOMPARE(store.value(QStringLiteral("terminal/WindowState/cbAuto_Checked")).toString(), QStringLiteral("True"));
    QCOMPARE(store.value(QStringLiteral("terminal/WindowState/lbMacro1_Text")).toString(), QStringLiteral("AT#013"));

    Props q;
    TStoredSettings r;
    addProps(r, q);
    r.restore(store, QStringLiteral("terminal/WindowState"));
    QCOMPARE(q.index, 7);
    QCOMPARE(q.flag, true);
    QCOMPARE(q.text, QStringLiteral("AT#013"));

    // Missing values keep what the properties hold.
    Props fresh;
    TStoredSettings empty;
    addProps(empty, fresh);
    empty.restore(store, QStringLiteral("nothing/here"));
    QCOMPARE(fresh.index, 3);
    QCOMPARE(fresh.flag, false);
    QCOMPARE(fresh.text, QStringLiteral("8"));
}

void SettingsTests::storedSettingsGarbage()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("g.ini"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[terminal]\nWindowState\\BaudRateRG_ItemIndex=abc\nWindowState\\cbAuto_Checked=yes\n"
                "WindowState\\lbMacro1_Text=a, b\n");
    }
    QSettings store(path, QSettings::IniFormat);
    Props p;
    p.flag = true;
    TStoredSettings s;
    addProps(s, p);
    s.restore(store, QStringLiteral("terminal/WindowState"));
    QCOMPARE(p.index, 0);    // not a number: 0
    QCOMPARE(p.flag, true);  // neither True nor False: unchanged
    QCOMPARE(p.text, QStringLiteral("a,b"));  // the INI reader's list comes back as text

    QSettings junk(dir.filePath(QStringLiteral("junk.ini")), QSettings::IniFormat);
    junk.setValue(QStringLiteral("terminal/WindowState/cbAuto_Checked"), QStringLiteral("fAlSe"));
    s.restore(junk, QStringLiteral("terminal/WindowState"));
    QCOMPARE(p.flag, false);
}

void SettingsTests::placementRestore_data()
{
    QTest::addColumn<QStringList>("values");  // name=value pairs
    QTest::addColumn<bool>("apply");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<int>("state");
    const QRect none;
    QTest::newRow("nothing stored: maximized") << QStringList() << false << none << int(Qt::WindowMaximized);
    QTest::newRow("normal") << QStringList({"ShowCmd=1", "NormPos=10,20,310,220", "PixelsPerInch=96"}) << true
                            << QRect(10, 20, 300, 200) << int(Qt::WindowNoState);
    QTest::newRow("hex values") << QStringList({"ShowCmd=0x1", "NormPos=0xA,20,310,220"}) << true
                                << QRect(10, 20, 300, 200) << int(Qt::WindowNoState);
    QTest::newRow("minimized") << QStringList({"ShowCmd=2", "NormPos=10,20,310,220"}) << true
                               << QRect(10, 20, 300, 200) << int(Qt::WindowMinimized);
    QTest::newRow("other ppi") << QStringList({"ShowCmd=3", "NormPos=10,20,310,220", "PixelsPerInch=120"})
                               << false << none << int(Qt::WindowMaximized);
    QTest::newRow("left not left of right") << QStringList({"ShowCmd=1", "NormPos=300,20,10,220"}) << false
                                            << none << int(Qt::WindowNoState);
    QTest::newRow("garbage") << QStringList({"ShowCmd=xyz", "NormPos=a,b,c,d", "Flags=?"}) << true
                             << QRect(5, 6, 100, 50) << int(Qt::WindowMaximized);
    QTest::newRow("MinMaxPos alone keeps the rectangle") << QStringList({"ShowCmd=9", "MinMaxPos=1,2,3,4"})
                                                         << true << QRect(5, 6, 100, 50)
                                                         << int(Qt::WindowNoState);
}

void SettingsTests::placementRestore()
{
    QFETCH(QStringList, values);
    QFETCH(bool, apply);
    QFETCH(QRect, rect);
    QFETCH(int, state);
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("p.ini")), QSettings::IniFormat);
    for (const QString& v : values)
        store.setValue(QStringLiteral("w/") + v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
    const TPlacementRestore r = RestorePlacement(store, QStringLiteral("w"), QSize(1024, 768), 96, QRect(5, 6, 100, 50));
    QCOMPARE(r.ApplyRect, apply);
    if (apply)
        QCOMPARE(r.Normal, rect);
    QCOMPARE(int(r.State), state);
}

void SettingsTests::placementScreenSizeName()
{
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("p.ini")), QSettings::IniFormat);
    TPlacement p;
    p.Normal = QRect(10, 20, 300, 200);
    SavePlacement(store, QStringLiteral("w"), p, QSize(1024, 768), false);
    QCOMPARE(ReadStoreText(store, QStringLiteral("w/NormPos")), QStringLiteral("10,20,310,220"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("w/NormPos(1024x768)")), QStringLiteral("10,20,310,220"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("w/Visible")), QStringLiteral("0"));
    QCOMPARE(ReadStoreText(store, QStringLiteral("w/ShowCmd")), QStringLiteral("1"));
    // Saved again at another resolution: each screen size keeps its own rectangle.
    p.Normal = QRect(50, 60, 800, 600);
    SavePlacement(store, QStringLiteral("w"), p, QSize(1920, 1080), true);
    QCOMPARE(RestorePlacement(store, QStringLiteral("w"), QSize(1024, 768), 96, QRect()).Normal,
             QRect(10, 20, 300, 200));
    QCOMPARE(RestorePlacement(store, QStringLiteral("w"), QSize(1920, 1080), 96, QRect()).Normal,
             QRect(50, 60, 800, 600));
    QCOMPARE(RestorePlacement(store, QStringLiteral("w"), QSize(800, 600), 96, QRect()).Normal,
             QRect(50, 60, 800, 600));  // no entry for this size: the plain one
    QCOMPARE(ReadStoreText(store, QStringLiteral("w/Visible")), QStringLiteral("1"));
}

void SettingsTests::historyRules()
{
    QStringList list;
    list = AddToHistoryList(list, QStringLiteral("AT"), 10);
    list = AddToHistoryList(list, QStringLiteral("ATZ"), 10);
    list = AddToHistoryList(list, QStringLiteral("AT"), 10);
    QCOMPARE(list, QStringList({"AT", "ATZ"}));
    list = AddToHistoryList(list, QStringLiteral("at"), 10);  // case-sensitive
    QCOMPARE(list, QStringList({"at", "AT", "ATZ"}));
    QCOMPARE(AddToHistoryList(list, QString(), 10), list);
    list.clear();
    for (int i = 0; i < 11; ++i)
        list = AddToHistoryList(list, QStringLiteral("m%1").arg(i), 10);
    QCOMPARE(list.size(), 10);
    QCOMPARE(list.first(), QStringLiteral("m10"));
    QCOMPARE(list.last(), QStringLiteral("m1"));
}

void SettingsTests::historyStore()
{
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("h.ini")), QSettings::IniFormat);
    SaveHistoryList(store, KeyToGroup(QStringLiteral("TERMINAL\\Macro1")), {"A ", "B", "C"});
    QCOMPARE(ReadStoreText(store, QStringLiteral("TERMINAL/Macro1/H0")), QStringLiteral("A "));
    QCOMPARE(LoadHistoryList(store, QStringLiteral("TERMINAL/Macro1"), 10), QStringList({"A ", "B", "C"}));
    QCOMPARE(LoadHistoryList(store, QStringLiteral("TERMINAL/Macro1"), 2), QStringList({"A ", "B"}));
    store.setValue(QStringLiteral("TERMINAL/Macro1/H1"), QString());
    QCOMPARE(LoadHistoryList(store, QStringLiteral("TERMINAL/Macro1"), 10), QStringList({"A "}));
    QVERIFY(LoadHistoryList(store, QStringLiteral("TERMINAL/Missing"), 10).isEmpty());
}

void SettingsTests::terminalSettingsOldFile_data()
{
    // A WindowState group as the program has stored it, and the bit rate read from it.
    QTest::addColumn<QString>("rateIndex");
    QTest::addColumn<QString>("otherText");
    QTest::addColumn<int>("bitRate");
    QTest::newRow("a listed rate") << "5" << "460800" << 9600;
    QTest::newRow("the other rate") << "12" << "921600" << 921600;
    QTest::newRow("other, typed as a listed rate") << "12" << "115200" << 115200;
    QTest::newRow("other without a number") << "12" << "fast" << 230400;
}

void SettingsTests::terminalSettingsOldFile()
{
    QFETCH(QString, rateIndex);
    QFETCH(QString, otherText);
    QFETCH(int, bitRate);
    QTemporaryDir dir;
    const QString group = QStringLiteral("terminal/WindowState");
    const QString oldPath = dir.filePath(QStringLiteral("old.ini")), newPath = dir.filePath(QStringLiteral("new.ini"));
    {
        QSettings old(oldPath, QSettings::IniFormat);
        old.beginGroup(group);
        const QStringList names = TerminalSettingNames();
        for (int i = 0; i < names.size(); ++i)
            old.setValue(names[i], QString::number(i % 3));  // integers, and text for the texts
        for (const char* name : {"cbAuto_Checked", "CBoxHex_Checked", "cbStampOnce_Checked"})
            old.setValue(QString::fromLatin1(name), QStringLiteral("True"));
        for (const char* name : {"CBoxDec_Checked", "CBoxBin_Checked", "cbLfNewLine_Checked", "cbReconnect_Checked"})
            old.setValue(QString::fromLatin1(name), QStringLiteral("False"));
        old.setValue(QStringLiteral("BaudRateRG_ItemIndex"), rateIndex);
        old.setValue(QStringLiteral("cbBaudRate_Text"), otherText);
        old.setValue(QStringLiteral("sbKeepMB_Value"), QStringLiteral("64"));
        old.setValue(QStringLiteral("lbMacro2_Text"), QStringLiteral("AT#013"));
        old.setValue(QStringLiteral("Log_File"), QStringLiteral("/tmp/a b.log"));
    }
    const QSettings old(oldPath, QSettings::IniFormat);
    TTerminalSettings settings;
    LoadTerminalSettings(old, group, settings);
    QCOMPARE(settings.BitRate, bitRate);
    QVERIFY(settings.AutoConnect && settings.Hex && settings.StampOnce && !settings.Dec && !settings.Reconnect);
    QCOMPARE(settings.KeepMB, 64);
    QCOMPARE(settings.Macro[1], QStringLiteral("AT#013"));
    {
        QSettings again(newPath, QSettings::IniFormat);
        SaveTerminalSettings(again, group, settings);
    }
    // Written back, every value reads as it was stored (a bad rate text
    // becomes the rate the program uses, as before).
    const QSettings again(newPath, QSettings::IniFormat);
    for (const QString& name : TerminalSettingNames()) {
        const QString key = group + QLatin1Char('/') + name;
        QString expected = ReadStoreText(old, key);
        if (name == QLatin1String("cbBaudRate_Text") && expected.toInt() <= 0)
            expected = QStringLiteral("230400");
        QCOMPARE(ReadStoreText(again, key), expected);
    }
}

QTEST_MAIN(SettingsTests)
#include "settings_tests.moc"
