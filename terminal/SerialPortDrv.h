#pragma once
// TSerialPortDriver: the terminal's one serial port. It opens COM1..COM4 (each
// number names a device through a per-user map, so any tty or COM device can be
// COM1), applies the line settings, sends with a bounded wait for room in the
// output queue, drives DTR and RTS, and polls the open port on the GUI thread,
// handing every block of received bytes to OnReceiveData.

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

enum TComPortNumber { pnCOM1, pnCOM2, pnCOM3, pnCOM4 };
enum TComPortBaudRate {
    br110, br300, br600, br1200, br2400, br4800, br9600,
    br14400, br19200, br38400, br56000, br57600, br115200
};
enum TComPortDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum TComPortStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum TComPortParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum TComPortHwHandshaking { hhNONE, hhRTSCTS };
enum TComPortSwHandshaking { shNONE, shXONXOFF };

class TSerialPortDriver;

// Raised on the GUI thread with at least one byte; the bytes are valid only
// during the call (they lie in the driver's receive buffer).
using TComPortReceiveDataEvent =
    std::function<void(TSerialPortDriver* Sender, const char* DataPtr, int DataSize)>;

// The line settings as the platform really applied them. `Deviations` names, in
// words for the user, every setting that could only be approximated.
struct TEffectiveSettings {
    int BaudRate = 0;
    int DataBits = 8;
    TComPortStopBits StopBits = sb1BITS;
    TComPortParity Parity = ptNONE;
    bool RtsCts = false;
    bool XonXoff = false;
    bool ParityChecked = false;  // received parity errors detected
    QStringList Deviations;
};

// Why the last Connect failed, as data; the window puts it in words.
enum TOpenError { oeNone, oeNoSuchDevice, oePermissionDenied, oeInUse, oeOther };
struct TOpenFailure {
    TOpenError Error = oeNone;
    QString Device;      // the device that was to be opened
    QString Group;       // oePermissionDenied: the group that may use the device ("dialout")
    qint64 HolderPid = 0;  // oeInUse: the process holding it, where known
    QString Holder;      // oeInUse: its program name, where known
    QString SystemText;  // oeOther: the platform's text
};

class TSerialPortDriver : public QObject {
    Q_OBJECT
public:
    explicit TSerialPortDriver(QObject* parent = nullptr);
    ~TSerialPortDriver() override;

    // Device map: /dev/ttyS0..3 on Linux and COM1..COM4 on Windows by default.
    static QString DefaultDevice(TComPortNumber port);
    QString Device(TComPortNumber port) const;
    void SetDevice(TComPortNumber port, const QString& device);

    // Published properties, defaults as for a new component.
    TComPortNumber ComPort() const;                 // pnCOM2; ignored while connected
    void SetComPort(TComPortNumber value);
    TComPortBaudRate ComPortSpeed() const;          // br9600; re-applied while connected
    void SetComPortSpeed(TComPortBaudRate value);
    // A bit rate in bits per second that replaces ComPortSpeed (230400 and
    // above, or any the device takes); 0, the default, uses ComPortSpeed.
    // Re-applied while connected when it changes.
    int ComPortCustomSpeed() const;
    void SetComPortCustomSpeed(int bitsPerSecond);
    TComPortDataBits ComPortDataBits() const;       // db8BITS
    void SetComPortDataBits(TComPortDataBits value);
    TComPortStopBits ComPortStopBits() const;       // sb1BITS
    void SetComPortStopBits(TComPortStopBits value);
    TComPortParity ComPortParity() const;           // ptNONE
    void SetComPortParity(TComPortParity value);
    TComPortHwHandshaking ComPortHwHandshaking() const;  // hhNONE
    void SetComPortHwHandshaking(TComPortHwHandshaking value);
    TComPortSwHandshaking ComPortSwHandshaking() const;  // shNONE
    void SetComPortSwHandshaking(TComPortSwHandshaking value);
    quint16 ComPortInBufSize() const;               // 2048; ignored while connected
    void SetComPortInBufSize(quint16 value);
    quint16 ComPortOutBufSize() const;              // 2048
    void SetComPortOutBufSize(quint16 value);
    quint16 ComPortPollingDelay() const;            // 50 ms; 0 is the shortest period
    void SetComPortPollingDelay(quint16 value);
    bool EnableDTROnOpen = true;
    quint16 OutputTimeout = 4000;                   // ms without progress before SendData gives up
    TComPortReceiveDataEvent OnReceiveData;

    // Opens the device exclusively: the kernel's exclusive mode and an
    // advisory lock on it, and the usual lock file (LCK..name in the lock
    // folder), so that other programs cannot open it meanwhile.
    bool Connect();
    // Why the last Connect returned false (oeNone after a successful one).
    TOpenFailure LastOpenFailure() const;
    void Disconnect();
    bool Connected() const;
    void ApplyCommState();
    void PurgeBuffers(bool Input, bool Output);
    quint16 OutFreeSpace();
    // Bytes written; 0 when closed; the negated count written so far after
    // OutputTimeout ms without progress.
    int SendData(const char* DataPtr, int DataSize);
    // Hands the device what it takes now without waiting, at most what keeps
    // the output queue within ComPortOutBufSize: the count accepted (0 when
    // the queue is full or flow control holds the line), or -1 when the port
    // is closed or the device failed (the port is then closed and
    // OnConnectionLost raised). For senders that must not block the window.
    int SendAvailable(const char* DataPtr, int DataSize);
    // Bytes handed over but still waiting in the operating system's queue.
    int OutQueued();
    // False when the line could not be set (a pseudo-terminal, a cable or
    // adapter without it) or the port is closed.
    bool SetDTR(bool On);
    bool SetRTS(bool On);
    // The modem status lines; false when closed or when the device does not
    // report them (a pseudo-terminal, some adapters).
    struct TModemLines {
        bool CTS = false, DSR = false, DCD = false, RI = false;
    };
    bool ReadModemLines(TModemLines& lines);
    // Holds the line in the break state (On) or releases it; false when the
    // device cannot.
    bool SetBreak(bool On);

    // Valid while connected: what the last ApplyCommState really set.
    TEffectiveSettings EffectiveSettings() const;
    static int BaudRateValue(TComPortBaudRate rate);

signals:
    // The open port failed for good (device gone, other side hung up); the
    // driver has already closed it when this is emitted. It comes from the
    // event loop, or from within SendData when a write finds the device gone.
    void OnConnectionLost();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
