#pragma once
// The private part of TSerialPortDriver, included by SerialPortDrv.cpp only:
// the bit rate table, the platform's helpers and the driver's state (the
// port, its settings, the receive buffer and the delivery of received blocks).
#include "terminal/SerialPortDrv.h"
#include "terminal/SerialPortNative.h"

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
