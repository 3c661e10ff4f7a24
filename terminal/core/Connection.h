#pragma once
// TConnection: the terminal's one port as a state machine without widgets. It
// owns the driver, applies the line settings of the settings value (a new COM
// number reopens an open port, the rest is re-applied to it), connects and
// disconnects, notices a lost device and watches for its return (connecting
// again by itself with Auto reconnect, else offering to), and does Auto
// Dis/Connect on application activation, waiting while a send holds the port.
// State and texts come back as signals; the window only shows them.

#include "terminal/core/LinkStatus.h"
#include "terminal/SerialPortDrv.h"
#include "terminal/core/TerminalSettings.h"

#include <QObject>
#include <QTimer>
#include <functional>

class TConnection : public QObject {
    Q_OBJECT
public:
    explicit TConnection(QObject* parent = nullptr);
    ~TConnection() override;

    TSerialPortDriver* driver() const { return m_driver; }
    TLinkState state() const { return m_state; }
    bool connected() const { return m_driver->Connected(); }
    // The status bar's first field for the state, with the settings the
    // device could only approximate.
    QString statusText() const;
    // The device of the chosen COM number.
    QString device() const;

    // Takes the line settings, Auto Dis/Connect and Auto reconnect.
    void apply(const TTerminalSettings& settings);
    // Connect (the settings applied first); false with the reason as detail.
    bool open();
    void close();
    // Sets the device of a COM number and stores it; the open port, if it is
    // that number, is reopened on the new device.
    void setPortDevice(TComPortNumber port, const QString& device);

    // Whether a send holds the port (Auto Dis/Connect waits for it).
    std::function<bool()> Busy;
    void applicationActivated();
    void applicationDeactivated();
    // A send ended: a disconnect that waited for it happens now.
    void sendEnded();
    // Watching a lost device: the timer's work, public for tests.
    void checkReturn();

signals:
    void stateChanged(TLinkState state);  // also when the deviations change while connected
    // The status bar's second field; alert: something failed (a beep).
    void detail(const QString& text, bool alert);
    void opened();          // a Connect succeeded
    void deviceReturned();  // the lost device is back: offer to reconnect
    void watchStopped();    // no longer offering
    void closing();         // the port is about to close: senders let go
    void devicesChanged();  // a COM number names another device

private:
    void setState(TLinkState state);
    void pushLine(bool all);
    void connectionLost();
    void stopWatching();

    TSerialPortDriver* m_driver;
    TLinkState m_state = TLinkState::Disconnected;
    TTerminalSettings m_settings;
    TTerminalSettings m_pushed;  // what the driver was last given
    QTimer m_returnWatch;
    QString m_lostDevice;
    bool m_lostGone = false;
    bool m_disconnectAfterSend = false;
};
