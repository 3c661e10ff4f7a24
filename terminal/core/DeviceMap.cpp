#include "terminal/core/DeviceMap.h"

#include "terminal/Storage.h"

#include <QFileInfo>

namespace {
QString portDeviceKey(int port)
{
    return ProgramKey() + QStringLiteral("/Ports/") + PortName(port);
}

// The default device is named one way wherever the menu lists it.
QString DefaultLabel(const QString& label)
{
    return QStringLiteral("Default: ") + label;
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

TPortMenu PortChoices(TComPortNumber port, const QString& current, const QList<QSerialPortInfo>& ports,
                      const std::vector<m51::ServedPort>& served)
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
            label = DefaultLabel(label);
            standardListed = true;
        }
        currentListed = currentListed || device == current;
        menu.Listed.append({device, label, device == current});
    }
    for (const m51::ServedPort& port : served) {
        const QString device = QString::fromStdString(port.path);
        const QString canonical = QFileInfo(device).canonicalFilePath();
        if (seen.contains(canonical.isEmpty() ? device : canonical))
            continue;
        seen << (canonical.isEmpty() ? device : canonical);
        QString by = QString::fromStdString(port.program);
        if (!port.running.empty())
            by += QStringLiteral(": ") + QString::fromStdString(port.running);
        currentListed = currentListed || device == current;
        menu.Listed.append({device, QStringLiteral("%1  (%2)").arg(device, by), device == current});
    }
    if (!currentListed)
        menu.Listed.append({current, current, true});
    menu.Separator = !seen.isEmpty() || !currentListed;
    if (!standardListed)
        menu.Default = TPortChoice{standard, DefaultLabel(standard), standard == current};
    return menu;
}

QString PortToolTip(int port, const QString& device)
{
    return QStringLiteral("Port number\n%1 = %2\nDevice... (or a right click) chooses the device of each COM number")
        .arg(PortName(port), device);
}

void MapServedPorts(TSerialPortDriver& driver, const std::vector<m51::ServedPort>& served,
                    std::optional<TComPortNumber> busy)
{
    const auto store = OpenUserStore();
    auto mapped = [&driver](const QString& device) {
        for (int i = 0; i < 4; ++i)
            if (driver.Device(TComPortNumber(i)) == device)
                return true;
        return false;
    };
    auto free = [&](int i) {
        if (busy && int(*busy) == i)
            return false;
        const QString stored = ReadStoreText(*store, portDeviceKey(i)).trimmed();
        return stored.isEmpty() || (stored.startsWith(QStringLiteral("/dev/pts/")) && !QFileInfo::exists(stored));
    };
    for (const m51::ServedPort& port : served) {
        const QString device = QString::fromStdString(port.path);
        if (mapped(device))
            continue;
        for (int i = 3; i >= 0; --i) {
            if (free(i)) {
                StorePortDevice(driver, TComPortNumber(i), device);
                break;
            }
        }
    }
}
