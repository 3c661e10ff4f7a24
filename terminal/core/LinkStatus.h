#pragma once
// The connection's state and the words the window shows for it. The status
// bar's first field and the application title both come from one state value,
// so they can never tell different stories.

#include <QString>
#include <QStringList>

enum class TLinkState {
    Disconnected,  // never connected, or closed by the user
    Connected,
    OpenFailed,    // the last Connect failed
    Lost           // the open port went away
};

// The status bar's first field: "Connected" (with the settings the device
// could only approximate), "Disconnected" or "Error: port is not available".
QString LinkStatusText(TLinkState state, const QStringList& deviations = {});
// The application title: "Terminal - Connected" or "Terminal - Disconnected".
QString LinkTitleText(TLinkState state);
