#include "terminal/SerialPortDrv.h"
#include "terminal/SerialPortDrvImpl.h"

TSerialPortDriver::TSerialPortDriver(QObject* parent) : QObject(parent), d(std::make_unique<Impl>(this))
{
    for (int i = 0; i < 4; ++i)
        d->devices[size_t(i)] = DefaultDevice(TComPortNumber(i));
    d->allocateReceiveBuffer();
    connect(&d->pollTimer, &QTimer::timeout, this, [this] { d->deliver(1); });
    connect(&d->port, &QSerialPort::readyRead, this, [this] {
        d->idleReadErrors = 0;
        if (d->pollingDelay == 0)
            d->deliver(-1);
    });
    connect(&d->port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { d->onError(e); });
}

TSerialPortDriver::~TSerialPortDriver()
{
    Disconnect();
}

QString TSerialPortDriver::DefaultDevice(TComPortNumber port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(int(port) + 1);
#else
    return QStringLiteral("/dev/ttyS%1").arg(int(port));
#endif
}

QString TSerialPortDriver::Device(TComPortNumber port) const
{
    if (port < pnCOM1 || port > pnCOM4)
        return QString();
    return d->devices[size_t(port)];
}

void TSerialPortDriver::SetDevice(TComPortNumber port, const QString& device)
{
    if (port < pnCOM1 || port > pnCOM4)
        return;
    d->devices[size_t(port)] = device.isEmpty() ? DefaultDevice(port) : device;
}

TComPortNumber TSerialPortDriver::ComPort() const { return d->comPort; }
void TSerialPortDriver::SetComPort(TComPortNumber value)
{
    if (!Connected() && inRange(value, pnCOM4))
        d->comPort = value;
}

TComPortBaudRate TSerialPortDriver::ComPortSpeed() const { return d->speed; }
void TSerialPortDriver::SetComPortSpeed(TComPortBaudRate value)
{
    if (assignInRange(d->speed, value, br115200))
        ApplyCommState();
}

TComPortDataBits TSerialPortDriver::ComPortDataBits() const { return d->dataBits; }
void TSerialPortDriver::SetComPortDataBits(TComPortDataBits value)
{
    if (assignInRange(d->dataBits, value, db8BITS))
        ApplyCommState();
}

TComPortStopBits TSerialPortDriver::ComPortStopBits() const { return d->stopBits; }
void TSerialPortDriver::SetComPortStopBits(TComPortStopBits value)
{
    if (assignInRange(d->stopBits, value, sb2BITS))
        ApplyCommState();
}

TComPortParity TSerialPortDriver::ComPortParity() const { return d->parity; }
void TSerialPortDriver::SetComPortParity(TComPortParity value)
{
    if (assignInRange(d->parity, value, ptSPACE))
        ApplyCommState();
}

TComPortHwHandshaking TSerialPortDriver::ComPortHwHandshaking() const { return d->hw; }
void TSerialPortDriver::SetComPortHwHandshaking(TComPortHwHandshaking value)
{
    if (assignInRange(d->hw, value, hhRTSCTS))
        ApplyCommState();
}

TComPortSwHandshaking TSerialPortDriver::ComPortSwHandshaking() const { return d->sw; }
void TSerialPortDriver::SetComPortSwHandshaking(TComPortSwHandshaking value)
{
    if (assignInRange(d->sw, value, shXONXOFF))
        ApplyCommState();
}

int TSerialPortDriver::ComPortCustomSpeed() const { return d->customSpeed; }
void TSerialPortDriver::SetComPortCustomSpeed(int bitsPerSecond)
{
    bitsPerSecond = std::max(bitsPerSecond, 0);
    if (bitsPerSecond == d->customSpeed)
        return;
    d->customSpeed = bitsPerSecond;
    ApplyCommState();
}

quint16 TSerialPortDriver::ComPortInBufSize() const { return d->inBufSize; }
void TSerialPortDriver::SetComPortInBufSize(quint16 value)
{
    if (Connected() || value == d->inBufSize)
        return;
    d->inBufSize = value;
    d->allocateReceiveBuffer();
}

quint16 TSerialPortDriver::ComPortOutBufSize() const { return d->outBufSize; }
void TSerialPortDriver::SetComPortOutBufSize(quint16 value)
{
    // Takes effect in OutFreeSpace at once and in the queue sizes at the next
    // application of the settings.
    d->outBufSize = value;
}

quint16 TSerialPortDriver::ComPortPollingDelay() const { return d->pollingDelay; }
void TSerialPortDriver::SetComPortPollingDelay(quint16 value)
{
    if (value == d->pollingDelay)
        return;
    d->pollingDelay = value;
    if (Connected())
        d->startPolling();
}

bool TSerialPortDriver::Connect()
{
    if (Connected())
        return true;
    const QString device = Device(d->comPort);
    const QString key = deviceKey(device);
    d->openFailure = TOpenFailure();
    d->openFailure.Device = device;
    if (device.isEmpty()) {
        d->openFailure.Error = oeNoSuchDevice;
        return false;
    }
    if (openDevices().contains(key)) {
        d->openFailure.Error = oeInUse;
        d->openFailure.HolderPid = QCoreApplication::applicationPid();
        d->openFailure.Holder = QCoreApplication::applicationName();
        return false;
    }
    d->port.setPortName(device);
    if (!d->port.open(QIODevice::ReadWrite)) {
        TOpenFailure& f = d->openFailure;
        switch (d->port.error()) {
        case QSerialPort::DeviceNotFoundError: f.Error = oeNoSuchDevice; break;
#ifdef Q_OS_WIN
        case QSerialPort::PermissionError:  // Windows says "access denied" for a port another program holds
        case QSerialPort::OpenError: f.Error = oeInUse; break;
#else
        case QSerialPort::OpenError: f.Error = oeInUse; break;
#endif
        default: f.Error = oeOther; break;
        }
        f.SystemText = d->port.errorString();
        if (f.Error != oeNoSuchDevice) {
            // QSerialPort says "permission denied" also for a busy port: look closer.
            TOpenFailure found;
            SerialPortNative::diagnoseOpenFailure(device, found);
            if (found.Error != oeNone) {
                found.SystemText = f.SystemText;
                f = found;
            }
        }
        d->port.clearError();
        return false;
    }
    if (!SerialPortNative::setExclusive(d->handle(), true)) {
        d->port.close();
        d->port.clearError();
        d->openFailure.Error = oeInUse;
        SerialPortNative::diagnoseOpenFailure(device, d->openFailure);
        d->openFailure.Error = oeInUse;
        return false;
    }
    openDevices().insert(key);
    d->openKey = key;
    d->port.setReadBufferSize(std::max<qint64>(kMinQueuedInput, 16 * qint64(d->receiveSize)));
    d->idleReadErrors = 0;
    ApplyCommState();
    if (!Connected())  // the device failed while being set up
        return false;
    d->startPolling();
    return true;
}

TOpenFailure TSerialPortDriver::LastOpenFailure() const
{
    return d->openFailure;
}

void TSerialPortDriver::Disconnect()
{
    d->closePort();
}

bool TSerialPortDriver::Connected() const
{
    return d->open();
}

void TSerialPortDriver::ApplyCommState()
{
    if (!Connected())
        return;
    const SerialPortNative::LineRequest r = d->request();
    d->applyPortSettings(r);
    TEffectiveSettings applied;
    if (!SerialPortNative::completeSettings(d->handle(), r, applied))
        applied = d->settingsFromPort();
    d->port.setDataTerminalReady(EnableDTROnOpen);
    if (!r.RtsCts)
        d->port.setRequestToSend(false);
    d->port.clearError();
    PurgeBuffers(true, true);
    applied.Deviations = deviationsOf(r, applied);
    d->effective = applied;
}

void TSerialPortDriver::PurgeBuffers(bool Input, bool Output)
{
    if (!Connected())
        return;
    QSerialPort::Directions dirs;
    if (Input)
        dirs |= QSerialPort::Input;
    if (Output)
        dirs |= QSerialPort::Output;
    if (dirs)
        d->port.clear(dirs);
    d->port.clearError();
}

quint16 TSerialPortDriver::OutFreeSpace()
{
    if (!Connected())
        return 65535;
    return quint16(d->outBufSize - SerialPortNative::outputQueued(d->handle()));
}

int TSerialPortDriver::SendData(const char* DataPtr, int DataSize)
{
    using SerialPortNative::WriteStatus;
    if (!Connected() || !DataPtr || DataSize <= 0)
        return 0;
    // Runs on the GUI thread without serving events, as the terminal has
    // always done; the waits sleep on the device instead of spinning.
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    int sent = 0;
    while (sent < DataSize) {
        const qintptr handle = d->handle();
        bool room = OutFreeSpace() > 0;
        if (room) {
            int written = 0;
            const WriteStatus status =
                SerialPortNative::writeSome(handle, DataPtr + sent, DataSize - sent, written);
            if (status == WriteStatus::Progress) {
                sent += written;
                sinceProgress.start();
                continue;
            }
            if (status == WriteStatus::Failed) {
                d->lose();
                return -sent;
            }
        }
        const qint64 left = qint64(OutputTimeout) - sinceProgress.elapsed();
        if (left < 0)
            return -sent;
        // A full queue (by its count) is looked at again every millisecond; a
        // device that refuses bytes is slept on until it can take more.
        if (!room) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else if (!SerialPortNative::waitWritable(handle, int(std::min<qint64>(left + 1, 50)))) {
            d->lose();
            return -sent;
        }
    }
    return sent;
}

int TSerialPortDriver::SendAvailable(const char* DataPtr, int DataSize)
{
    using SerialPortNative::WriteStatus;
    if (!Connected())
        return -1;
    if (!DataPtr || DataSize <= 0)
        return 0;
    const int room = int(d->outBufSize) - SerialPortNative::outputQueued(d->handle());
    if (room <= 0)
        return 0;
    int written = 0;
    const WriteStatus status =
        SerialPortNative::writeSome(d->handle(), DataPtr, std::min(DataSize, room), written);
    if (status == WriteStatus::Failed) {
        d->lose();
        return -1;
    }
    return status == WriteStatus::Progress ? written : 0;
}

int TSerialPortDriver::OutQueued()
{
    return Connected() ? SerialPortNative::outputQueued(d->handle()) : 0;
}

bool TSerialPortDriver::SetDTR(bool On)
{
    if (!Connected())
        return false;
    const bool ok = d->port.setDataTerminalReady(On);
    d->port.clearError();
    return ok;
}

bool TSerialPortDriver::SetRTS(bool On)
{
    if (!Connected())
        return false;
    const bool ok = d->port.setRequestToSend(On);
    d->port.clearError();
    return ok;
}

bool TSerialPortDriver::ReadModemLines(TModemLines& lines)
{
    lines = TModemLines();
    if (!Connected())
        return false;
    d->port.clearError();
    d->lastError = QSerialPort::NoError;
    const QSerialPort::PinoutSignals pins = d->port.pinoutSignals();
    const bool ok = d->port.error() == QSerialPort::NoError && d->lastError == QSerialPort::NoError;
    d->port.clearError();
    if (!ok)
        return false;
    lines.CTS = pins & QSerialPort::ClearToSendSignal;
    lines.DSR = pins & QSerialPort::DataSetReadySignal;
    lines.DCD = pins & QSerialPort::DataCarrierDetectSignal;
    lines.RI = pins & QSerialPort::RingIndicatorSignal;
    return true;
}

bool TSerialPortDriver::SetBreak(bool On)
{
    if (!Connected())
        return false;
    const bool ok = d->port.setBreakEnabled(On);
    d->port.clearError();
    return ok;
}

TEffectiveSettings TSerialPortDriver::EffectiveSettings() const
{
    return d->effective;
}

int TSerialPortDriver::BaudRateValue(TComPortBaudRate rate)
{
    if (rate < br110 || rate > br115200)
        return 9600;
    return kBaudRates[size_t(rate)];
}
