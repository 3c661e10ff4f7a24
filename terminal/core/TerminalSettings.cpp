#include "terminal/core/TerminalSettings.h"

#include "terminal/Storage.h"

#include <algorithm>
#include <iterator>

const qint32 TTerminalSettings::ListedBitRates[12] = {300,   600,   1200,  2400,  4800,  9600,
                                                      14400, 19200, 38400, 56000, 57600, 115200};

namespace {

int listedIndex(qint32 rate)
{
    const auto* rates = TTerminalSettings::ListedBitRates;
    const auto* end = rates + std::size(TTerminalSettings::ListedBitRates);
    const auto* at = std::find(rates, end, rate);
    return at == end ? TTerminalSettings::OtherBitRateIndex : int(at - rates);
}

// The one table: each stored name and the field it holds. The bit rate is
// stored as the list position (BaudRateRG_ItemIndex) and the "other" text.
TStoredSettings table(TTerminalSettings& s)
{
    TStoredSettings t;
    auto integer = [&t](const char* name, int& field) {
        t.addInteger(QString::fromLatin1(name), [&field] { return field; }, [&field](int v) { field = v; });
    };
    auto boolean = [&t](const char* name, bool& field) {
        t.addBoolean(QString::fromLatin1(name), [&field] { return field; }, [&field](bool v) { field = v; });
    };
    auto text = [&t](const char* name, QString& field) {
        t.addText(QString::fromLatin1(name), [&field] { return field; }, [&field](const QString& v) { field = v; });
    };
    integer("ComPortRG_ItemIndex", s.ComPort);
    t.addInteger(QStringLiteral("BaudRateRG_ItemIndex"),
                 [&s] {
                     return s.OtherChosen && s.BitRate == s.OtherBitRate ? TTerminalSettings::OtherBitRateIndex
                                                                         : listedIndex(s.BitRate);
                 },
                 [&s](int index) {
                     if (index < 0 || index > TTerminalSettings::OtherBitRateIndex)
                         return;  // not a list position: the rate stays
                     s.OtherChosen = index == TTerminalSettings::OtherBitRateIndex;
                     // The "other" rate is its text, read later in the table.
                     s.BitRate = s.OtherChosen ? -1 : TTerminalSettings::ListedBitRates[index];
                 });
    integer("DataBitsRG_ItemIndex", s.DataBits);
    integer("ParityRG_ItemIndex", s.Parity);
    integer("StopBitsRG_ItemIndex", s.StopBits);
    integer("HandshakingRG_ItemIndex", s.Handshaking);
    integer("RxSplitter1_Top", s.ReceiveTop);
    integer("Panel3_Height", s.ReceiveHeight);
    integer("Panel4_Height", s.TransmitHeight);
    boolean("cbAuto_Checked", s.AutoConnect);
    text("cbFontSize_Text", s.FontSize);
    text("lbMacro1_Text", s.Macro[0]);
    text("lbMacro2_Text", s.Macro[1]);
    text("lbMacro3_Text", s.Macro[2]);
    boolean("CBoxBin_Checked", s.Bin);
    boolean("CBoxDec_Checked", s.Dec);
    boolean("CBoxHex_Checked", s.Hex);
    boolean("cbLfNewLine_Checked", s.LfNewLine);
    boolean("cbStampOnce_Checked", s.StampOnce);
    t.addInteger(QStringLiteral("cbEnterKey_ItemIndex"), [&s] { return s.EnterKey; },
                 [&s](int index) {
                     if (index >= 0 && index < 3)
                         s.EnterKey = index;
                 });
    t.addText(QStringLiteral("cbBaudRate_Text"), [&s] { return QString::number(s.OtherBitRate); },
              [&s](const QString& value) {
                  if (value.toInt() > 0)
                      s.OtherBitRate = value.toInt();
              });
    boolean("cbReconnect_Checked", s.Reconnect);
    t.addInteger(QStringLiteral("sbKeepMB_Value"), [&s] { return s.KeepMB; },
                 [&s](int mb) {
                     if (mb > 0)
                         s.KeepMB = mb;
                 });
    text("Log_Mode", s.LogMode);
    text("Log_File", s.LogFile);
    return t;
}

} // namespace

QStringList TerminalSettingNames()
{
    TTerminalSettings s;
    return table(s).names();
}

void LoadTerminalSettings(const QSettings& store, const QString& group, TTerminalSettings& settings)
{
    const qint32 before = settings.BitRate;
    table(settings).restore(store, group);
    if (settings.BitRate == -1)
        settings.BitRate = settings.OtherBitRate;
    if (settings.BitRate <= 0)
        settings.BitRate = before;
}

void SaveTerminalSettings(QSettings& store, const QString& group, const TTerminalSettings& settings)
{
    TTerminalSettings s = settings;
    // A rate off the list is the "other" rate.
    if (listedIndex(s.BitRate) == TTerminalSettings::OtherBitRateIndex)
        s.OtherBitRate = s.BitRate;
    table(s).save(store, group);
}
