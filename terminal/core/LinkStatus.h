#pragma once
// The connection's state and the words the window shows for it. The status
// bar's first field and the application title both come from one state value,
// so they can never tell different stories.

#include "terminal/SerialPortDrv.h"

#include <QString>
#include <QStringList>

enum class TLinkState {
    Disconnected,  // never connected, or closed by the user
    Connected,
    OpenFailed,    // the last Connect failed
    Lost           // the open port went away
};

// The open line in a few words, as the device runs it: "/dev/ttyUSB0 at
// 115200 8N1" (data bits, parity N/O/E/M/S, stop bits 1, 1.5 or 2).
QString LineText(const QString& device, const TEffectiveSettings& line);
// The status bar's first field: "Connected to LINE" (with the settings the
// device could only approximate), "Disconnected" or "Error: port is not
// available".
QString LinkStatusText(TLinkState state, const QStringList& deviations = {}, const QString& line = {});
// The application title: "Terminal - Connected" or "Terminal - Disconnected".
QString LinkTitleText(TLinkState state);
