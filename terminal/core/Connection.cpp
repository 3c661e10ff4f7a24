#include "terminal/core/Connection.h"

#include "terminal/core/DeviceMap.h"
#include "terminal/core/StatusTexts.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <iterator>
#include <utility>

namespace {
// Whether a device is there now (a COM name on Windows is no file).
bool devicePresent(const QString& device)
{
#ifdef Q_OS_WIN
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    return std::any_of(ports.begin(), ports.end(), [&device](const QSerialPortInfo& info) {
        return info.portName().compare(device, Qt::CaseInsensitive) == 0
            || info.systemLocation().compare(device, Qt::CaseInsensitive) == 0;
    });
#else
    return QFileInfo::exists(device);
#endif
}

int listedIndex(qint32 rate)
{
    const auto* rates = TTerminalSettings::ListedBitRates;
    const auto* end = rates + std::size(TTerminalSettings::ListedBitRates);
    return int(std::find(rates, end, rate) - rates);
}
}  // namespace

TConnection::TConnection(QObject* parent) : QObject(parent), m_driver(new TSerialPortDriver(this))
{
    m_driver->SetComPortParity(ptEVEN);
    m_driver->SetComPortPollingDelay(0);
    connect(m_driver, &TSerialPortDriver::OnConnectionLost, this, &TConnection::connectionLost);
    LoadPortDevices(*m_driver);
    m_returnWatch.setInterval(1000);
    connect(&m_returnWatch, &QTimer::timeout, this, &TConnection::checkReturn);
}

TConnection::~TConnection()
{
    m_driver->OnReceiveData = nullptr;
    m_driver->Disconnect();
}

QString TConnection::statusText() const
{
    if (m_state != TLinkState::Connected)
        return LinkStatusText(m_state);
    const TEffectiveSettings line = m_driver->EffectiveSettings();
    return LinkStatusText(m_state, line.Deviations, LineText(QDir::toNativeSeparators(device()), line));
}

QString TConnection::device() const
{
    return m_driver->Device(m_driver->ComPort());
}

void TConnection::apply(const TTerminalSettings& settings)
{
    const bool newPort = settings.ComPort != m_settings.ComPort;
    m_settings = settings;
    if (connected() && newPort) {
        open();
        return;
    }
    pushLine(false);
    if (connected())
        setState(TLinkState::Connected);
}

void TConnection::pushLine(bool all)
{
    // Only what changed goes to the driver: an open port is reconfigured
    // (and its queues purged) only for a real change, and the driver keeps
    // its own defaults until a setting is chosen or the port is opened.
    const TTerminalSettings& s = m_settings;
    const TTerminalSettings& p = m_pushed;
    if (all || s.ComPort != p.ComPort)
        m_driver->SetComPort(TComPortNumber(qBound(0, s.ComPort, 3)));
    if (all || s.BitRate != p.BitRate || s.OtherChosen != p.OtherChosen) {
        const int listed = listedIndex(s.BitRate);
        if (s.OtherChosen || listed == TTerminalSettings::OtherBitRateIndex) {
            m_driver->SetComPortCustomSpeed(s.BitRate);
        } else {
            m_driver->SetComPortCustomSpeed(0);
            m_driver->SetComPortSpeed(TComPortBaudRate(listed + 1));
        }
    }
    if (all || s.DataBits != p.DataBits)
        m_driver->SetComPortDataBits(TComPortDataBits(s.DataBits));
    if (all || s.Parity != p.Parity)
        m_driver->SetComPortParity(TComPortParity(s.Parity));
    if (all || s.StopBits != p.StopBits)
        m_driver->SetComPortStopBits(TComPortStopBits(s.StopBits));
    if (all || s.Handshaking != p.Handshaking) {
        m_driver->SetComPortHwHandshaking(s.Handshaking == 1 || s.Handshaking == 3 ? hhRTSCTS : hhNONE);
        m_driver->SetComPortSwHandshaking(s.Handshaking == 2 || s.Handshaking == 3 ? shXONXOFF : shNONE);
    }
    m_pushed = s;
}

bool TConnection::open()
{
    stopWatching();
    if (connected()) {
        emit closing();
        m_driver->Disconnect();
        setState(TLinkState::Disconnected);
    }
    pushLine(true);
    if (!m_driver->Connect()) {
        setState(TLinkState::OpenFailed);
        emit detail(OpenFailureText(m_driver->LastOpenFailure()), true);
        return false;
    }
    setState(TLinkState::Connected);
    emit detail(QString(), false);
    emit opened();
    return true;
}

void TConnection::close()
{
    stopWatching();
    emit closing();
    m_driver->Disconnect();
    setState(TLinkState::Disconnected);
}

void TConnection::setPortDevice(TComPortNumber port, const QString& device)
{
    StorePortDevice(*m_driver, port, device);
    emit devicesChanged();
    // The open port is now another device: reopen it.
    if (connected() && m_settings.ComPort == int(port))
        open();
}

void TConnection::setState(TLinkState state)
{
    m_state = state;
    emit stateChanged(state);
}

void TConnection::connectionLost()
{
    m_lostDevice = device();
    setState(TLinkState::Lost);
    emit detail(PortLostText(m_lostDevice), true);
    // An adapter that was pulled may come back.
    m_lostGone = !devicePresent(m_lostDevice);
    m_returnWatch.start();
}

void TConnection::checkReturn()
{
    if (!devicePresent(m_lostDevice)) {
        m_lostGone = true;
        return;
    }
    if (!m_lostGone || connected())
        return;
    // Back after it was gone: connect again, or offer to.
    m_returnWatch.stop();
    if (m_settings.Reconnect) {
        open();
        return;
    }
    emit detail(PortBackText(m_lostDevice), false);
    emit deviceReturned();
}

void TConnection::stopWatching()
{
    m_returnWatch.stop();
    emit watchStopped();
}

void TConnection::applicationActivated()
{
    m_disconnectAfterSend = false;
    if (m_settings.AutoConnect)
        open();
}

void TConnection::applicationDeactivated()
{
    if (!m_settings.AutoConnect)
        return;
    // A file on its way keeps the port until it is through.
    if (Busy && Busy())
        m_disconnectAfterSend = true;
    else
        close();
}

void TConnection::sendEnded()
{
    if (std::exchange(m_disconnectAfterSend, false) && m_settings.AutoConnect)
        close();
}
