#include "SerialPortDrv.h"
#include "SerialPortNative.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>
#include <cstdlib>

namespace {

constexpr std::array<int, 13> kBaudRates = {110, 300, 600, 1200, 2400, 4800, 9600,
                                            14400, 19200, 38400, 56000, 57600, 115200};

// QSerialPort's own receive buffer is bounded, so that a reader falling behind
// leaves the rest in the operating system's queue, where flow control can hold
// the sender off, instead of letting memory grow.
constexpr qint64 kMinQueuedInput = 64 * 1024;

// Consecutive failed reads without any data in between after which a port that
// does not report a hang-up is still taken as lost.
constexpr int kMaxIdleReadErrors = 32;

// Devices open in this process: a second driver must not share a port even
// where the platform would let the same user open it twice.
QSet<QString>& openDevices()
{
    static QSet<QString> devices;
    return devices;
}

QString deviceKey(const QString& device)
{
#ifdef Q_OS_WIN
    return device.toUpper();
#else
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
#endif
}

// Values outside an enumeration (a damaged store, a cast) are refused by the
// setters, so the tables indexed by them stay in bounds.
template <class E>
bool inRange(E value, E last)
{
    return int(value) >= 0 && int(value) <= int(last);
}

// Stores a line setting that is in range; true when it was stored.
template <class E>
bool assignInRange(E& field, E value, E last)
{
    if (!inRange(value, last))
        return false;
    field = value;
    return true;
}

QString parityName(TComPortParity p)
{
    static const char* const names[] = {"no", "odd", "even", "mark", "space"};
    return QString::fromLatin1(names[p]);
}

QString stopBitsName(TComPortStopBits s)
{
    static const char* const names[] = {"1", "1.5", "2"};
    return QString::fromLatin1(names[s]);
}

// Words for the user naming every setting the device could only approximate.
QStringList deviationsOf(const SerialPortNative::LineRequest& r, const TEffectiveSettings& e)
{
    QStringList out;
    if (e.BaudRate != r.BaudRate)
        out << QStringLiteral("%1 baud is not available: %2 baud used").arg(r.BaudRate).arg(e.BaudRate);
    if (e.DataBits != int(r.DataBits) + 5)
        out << QStringLiteral("%1 data bits are not available: %2 used").arg(int(r.DataBits) + 5).arg(e.DataBits);
    if (e.StopBits != r.StopBits)
        out << QStringLiteral("%1 stop bits are not available: %2 stop bits used")
                   .arg(stopBitsName(r.StopBits), stopBitsName(e.StopBits));
    if (e.Parity != r.Parity)
        out << QStringLiteral("%1 parity is not available: %2 parity used")
                   .arg(parityName(r.Parity), parityName(e.Parity));
    if (r.RtsCts && r.XonXoff && e.RtsCts != e.XonXoff)
        out << QStringLiteral("RTS/CTS + XON/XOFF is not available: only %1 used")
                   .arg(e.RtsCts ? QStringLiteral("RTS/CTS") : QStringLiteral("XON/XOFF"));
    else {
        if (r.RtsCts != e.RtsCts)
            out << (r.RtsCts ? QStringLiteral("RTS/CTS handshaking is not available")
                             : QStringLiteral("RTS/CTS handshaking stays on"));
        if (r.XonXoff != e.XonXoff)
            out << (r.XonXoff ? QStringLiteral("XON/XOFF handshaking is not available")
                              : QStringLiteral("XON/XOFF handshaking stays on"));
    }
    if (e.ParityChecked)
        out << QStringLiteral("received parity is checked");
    return out;
}

}  // namespace

struct TSerialPortDriver::Impl {
    explicit Impl(TSerialPortDriver* owner) : q(owner) {}

    TSerialPortDriver* q;
    QSerialPort port;
    QTimer pollTimer;
    std::unique_ptr<char[]> receiveBuffer;
    int receiveSize = 0;
    std::array<QString, 4> devices;
    QString openKey;  // identity of the open device in openDevices()
    TEffectiveSettings effective;
    TOpenFailure openFailure;
    QSerialPort::SerialPortError lastError = QSerialPort::NoError;  // also when already cleared
    bool delivering = false;
    int idleReadErrors = 0;

    TComPortNumber comPort = pnCOM2;
    TComPortBaudRate speed = br9600;
    TComPortDataBits dataBits = db8BITS;
    TComPortStopBits stopBits = sb1BITS;
    TComPortParity parity = ptNONE;
    TComPortHwHandshaking hw = hhNONE;
    TComPortSwHandshaking sw = shNONE;
    quint16 inBufSize = 2048;
    quint16 outBufSize = 2048;
    quint16 pollingDelay = 50;
    int customSpeed = 0;

    bool open() const { return port.isOpen(); }
    // QSerialPort's handle is a file descriptor or a Windows HANDLE.
    qintptr handle() { return qintptr(port.handle()); }

    void allocateReceiveBuffer()
    {
        receiveSize = std::max<int>(inBufSize, 1);
        receiveBuffer = std::make_unique<char[]>(size_t(receiveSize));
    }

    SerialPortNative::LineRequest request() const
    {
        SerialPortNative::LineRequest r;
        r.BaudRate = customSpeed > 0 ? customSpeed : BaudRateValue(speed);
        r.DataBits = dataBits;
        r.StopBits = stopBits;
        r.Parity = parity;
        r.RtsCts = hw == hhRTSCTS;
        r.XonXoff = sw == shXONXOFF;
        r.EnableDTR = q->EnableDTROnOpen;
        r.InBufSize = inBufSize;
        r.OutBufSize = outBufSize;
        return r;
    }

    // The requested rate, or the nearest one the device takes.
    void applyBaudRate(int rate)
    {
        if (port.setBaudRate(rate))
            return;
        std::vector<int> candidates(kBaudRates.begin(), kBaudRates.end());
        candidates.insert(candidates.end(), {230400, 460800, 921600});
        std::sort(candidates.begin(), candidates.end(),
                  [rate](int a, int b) { return std::abs(a - rate) < std::abs(b - rate); });
        for (int c : candidates)
            if (c != rate && port.setBaudRate(c))
                return;
    }

    void applyPortSettings(const SerialPortNative::LineRequest& r)
    {
        applyBaudRate(r.BaudRate);
        port.setDataBits(QSerialPort::DataBits(int(r.DataBits) + 5));
        static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                       QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                       QSerialPort::SpaceParity};
        port.setParity(parities[r.Parity]);
        static const QSerialPort::StopBits stops[] = {QSerialPort::OneStop, QSerialPort::OneAndHalfStop,
                                                      QSerialPort::TwoStop};
        if (!port.setStopBits(stops[r.StopBits]) && r.StopBits == sb1HALFBITS)
            port.setStopBits(QSerialPort::TwoStop);
        port.setFlowControl(r.RtsCts    ? QSerialPort::HardwareControl
                            : r.XonXoff ? QSerialPort::SoftwareControl
                                        : QSerialPort::NoFlowControl);
    }

    // What QSerialPort reports, where the platform cannot read settings back.
    TEffectiveSettings settingsFromPort() const
    {
        TEffectiveSettings e;
        e.BaudRate = int(port.baudRate());
        e.DataBits = int(port.dataBits());
        e.StopBits = port.stopBits() == QSerialPort::TwoStop          ? sb2BITS
                     : port.stopBits() == QSerialPort::OneAndHalfStop ? sb1HALFBITS
                                                                      : sb1BITS;
        switch (port.parity()) {
        case QSerialPort::OddParity: e.Parity = ptODD; break;
        case QSerialPort::EvenParity: e.Parity = ptEVEN; break;
        case QSerialPort::MarkParity: e.Parity = ptMARK; break;
        case QSerialPort::SpaceParity: e.Parity = ptSPACE; break;
        default: e.Parity = ptNONE; break;
        }
        e.RtsCts = port.flowControl() == QSerialPort::HardwareControl;
        e.XonXoff = port.flowControl() == QSerialPort::SoftwareControl;
        return e;
    }

    void startPolling()
    {
        pollTimer.stop();
        if (pollingDelay > 0) {
            pollTimer.start(pollingDelay);
        } else {
            // Reads follow the port's data notification; bytes that came in
            // while the timer ran are handed over at the next turn of the loop.
            QMetaObject::invokeMethod(q, [this] { deliver(-1); }, Qt::QueuedConnection);
        }
    }

    // Hands up to `maxBlocks` blocks (-1: all that is there) to OnReceiveData.
    // A handler that runs the event loop must not have its bytes overwritten by
    // a nested delivery, so deliveries do not nest.
    void deliver(int maxBlocks)
    {
        if (delivering || !open())
            return;
        delivering = true;
        for (int block = 0; maxBlocks < 0 || block < maxBlocks; ++block) {
            if (!open() || port.bytesAvailable() <= 0)
                break;
            const qint64 n = port.read(receiveBuffer.get(), receiveSize);
            if (n <= 0)
                break;
            idleReadErrors = 0;
            if (q->OnReceiveData)
                q->OnReceiveData(q, receiveBuffer.get(), int(n));
        }
        delivering = false;
    }

    void closePort()
    {
        pollTimer.stop();
        if (!open())
            return;
        SerialPortNative::setExclusive(handle(), false);
        port.close();
        port.clearError();
        openDevices().remove(openKey);
        openKey.clear();
    }

    void lose()
    {
        closePort();
        emit q->OnConnectionLost();
    }

    void onError(QSerialPort::SerialPortError error)
    {
        if (error != QSerialPort::NoError)
            lastError = error;
        if (!open())
            return;
        switch (error) {
        case QSerialPort::ResourceError:
            // The device is gone; QSerialPort has stopped reading from it.
            lose();
            return;
        case QSerialPort::NoError:
        case QSerialPort::ReadError:
            // A hung-up tty keeps signalling data that reads as nothing (and
            // may not even say why): stop at once instead of spinning on it.
            if (SerialPortNative::hungUp(handle())
                || (error == QSerialPort::ReadError && ++idleReadErrors >= kMaxIdleReadErrors)) {
                lose();
                return;
            }
            break;
        default:
            break;
        }
        if (error != QSerialPort::NoError)
            port.clearError();
    }
};

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
