#pragma once
// The terminal's settings as one value, without widgets: the line, the
// receive options, the Enter key, auto connect and reconnect, the font size,
// the macro texts, the log and the layout heights. It is read and written
// through one table that maps each field to the value name the program has
// always stored in its WindowState key, so terminal.ini and the registry
// keep their contents exactly.

#include <QSettings>
#include <QString>

struct TTerminalSettings {
    // The line.
    int ComPort = 0;       // 0 = COM1
    qint32 BitRate = 2400;
    qint32 OtherBitRate = 230400;  // the rate typed for "other", kept while a listed rate is chosen
    bool OtherChosen = false;      // "other" holds BitRate, even when it is one of the listed rates
    int DataBits = 3;      // 0..3 = 5..8
    int Parity = 0;        // none, odd, even, mark, space
    int StopBits = 0;      // 1, 1.5, 2
    int Handshaking = 0;   // none, RTS/CTS, XON/XOFF, both
    // Receive options.
    bool Dec = false, Hex = false, Bin = false;
    bool LfNewLine = false, StampOnce = false;
    int KeepMB = 256;
    // Not stored: the time column and the counted character start as they
    // always did with each run.
    bool Time = false;
    int CountChar = 13;
    // Typing and connecting.
    int EnterKey = 0;  // CR, LF, CR LF
    bool AutoConnect = false;
    bool Reconnect = false;
    QString FontSize = QStringLiteral("8");
    QString Macro[3];
    // The log's last choice.
    QString LogMode, LogFile;
    // The heights of the receive and transmit areas (pixels).
    int ReceiveTop = 0, ReceiveHeight = -1, TransmitHeight = 0;

    // The rates of the bit rate list, in its order; "other" follows them.
    static const qint32 ListedBitRates[12];
    static constexpr int OtherBitRateIndex = 12;
};

// The stored names, in the order they are written.
QStringList TerminalSettingNames();
// Fills settings from group of store; a missing value keeps the field as it
// is, a bad one is treated as the window always did.
void LoadTerminalSettings(const QSettings& store, const QString& group, TTerminalSettings& settings);
void SaveTerminalSettings(QSettings& store, const QString& group, const TTerminalSettings& settings);
