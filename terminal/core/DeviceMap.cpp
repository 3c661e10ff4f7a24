#include "DeviceMap.h"

#include "Storage.h"

#include <QFileInfo>

namespace {
QString portDeviceKey(int port)
{
    return ProgramKey() + QStringLiteral("/Ports/") + PortName(port);
}
}  // namespace

QString PortName(int port)
{
    return QStringLiteral("COM%1").arg(port + 1);
}

void LoadPortDevices(TSerialPortDriver& driver)
{
    const auto store = OpenUserStore();
    for (int i = 0; i < 4; ++i)
        driver.SetDevice(TComPortNumber(i), ReadStoreText(*store, portDeviceKey(i)).trimmed());
}

void StorePortDevice(TSerialPortDriver& driver, TComPortNumber port, const QString& device)
{
    driver.SetDevice(port, device.trimmed());
    const auto store = OpenUserStore();
    store->setValue(portDeviceKey(port), driver.Device(port));
}

TPortMenu PortChoices(TComPortNumber port, const QString& current, const QList<QSerialPortInfo>& ports)
{
    TPortMenu menu;
    const QString standard = TSerialPortDriver::DefaultDevice(port);
    QStringList seen;
    bool standardListed = false;
    bool currentListed = current == standard;
    for (const QSerialPortInfo& info : ports) {
        const QString device = info.systemLocation();
        const QString canonical = QFileInfo(device).canonicalFilePath();
        const QString key = canonical.isEmpty() ? device : canonical;
        if (seen.contains(key))
            continue;
        seen << key;
        QString label = device;
        if (!info.description().isEmpty())
            label += QStringLiteral("  (") + info.description() + QLatin1Char(')');
        if (device == standard) {
            label += QStringLiteral("  [default]");
            standardListed = true;
        }
        currentListed = currentListed || device == current;
        menu.Listed.append({device, label, device == current});
    }
    if (!currentListed)
        menu.Listed.append({current, current, true});
    menu.Separator = !seen.isEmpty() || !currentListed;
    if (!standardListed)
        menu.Default = TPortChoice{standard, QStringLiteral("Default: %1").arg(standard), standard == current};
    return menu;
}

QString PortToolTip(int port, const QString& device)
{
    return QStringLiteral("Port number\n%1 = %2\nDevice... (or a right click) chooses the device of each COM number")
        .arg(PortName(port), device);
}
