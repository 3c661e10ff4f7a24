#pragma once
// The device behind each COM number, stored per user under Ports\COMn, and the
// choices the COM Port menu offers for one number.

#include "terminal/SerialPortDrv.h"
#include "common/ServedPorts.h"

#include <QList>
#include <QSerialPortInfo>
#include <QString>
#include <optional>
#include <vector>

QString PortName(int port);  // "COM1" for 0

// Sets the driver's device of every COM number from the store (empty or
// missing: the default device).
void LoadPortDevices(TSerialPortDriver& driver);
// Sets one COM number's device (empty: the default) and stores it.
void StorePortDevice(TSerialPortDriver& driver, TComPortNumber port, const QString& device);

// One entry of the menu of a COM number.
struct TPortChoice {
    QString Device;
    QString Label;
    bool Current = false;
};
// The menu of one COM number: every device once - the system's ports (one
// entry per device, however many names it has), the ports Zelvar and m51sim
// serve (named by the program, "/dev/pts/4  (Zelvar: blink)") and a typed
// current device that is none of them - then a separator (when anything is
// listed) and the default device unless it was listed; "Other device..."
// follows. The default is named "Default: ..." wherever it is.
struct TPortMenu {
    QList<TPortChoice> Listed;
    bool Separator = false;
    std::optional<TPortChoice> Default;
};
TPortMenu PortChoices(TComPortNumber port, const QString& current, const QList<QSerialPortInfo>& ports,
                      const std::vector<m51::ServedPort>& served = {});

// Puts each served port that no COM number has yet into the map (and the
// store), on the highest COM number that is free: one the user never set, or
// one left on a pseudo-terminal that is gone. A number the user set to a
// device that is there is never taken, nor `busy` (the open one).
void MapServedPorts(TSerialPortDriver& driver, const std::vector<m51::ServedPort>& served,
                    std::optional<TComPortNumber> busy);

// The COM Port group's hint for the chosen number.
QString PortToolTip(int port, const QString& device);
