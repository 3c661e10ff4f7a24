#pragma once
// TProtocolTransfer: XMODEM, YMODEM and ZMODEM transfers through the lrzsz
// programs (sx/rx, sb/rb, sz/rz). The program runs as a child process; the
// transfer relays its output to the port and the port's bytes to its input,
// on the event loop, so the window stays responsive. The transfer ends when
// the program does, when the user cancels (the far side is told with CAN
// bytes), when the device sends nothing for the idle time-out, or when the
// port goes; the outcome says which files went through and, on failure, why.
// A receive writes into a temporary folder beside the target: the files are
// put in place only when the program reports the transfer complete, so a
// cut-off transfer never replaces a file; its part is kept only on request,
// as NAME.part, which a ZMODEM resume continues.

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

class TSerialPortDriver;

enum class TProtocol { XmodemChecksum, XmodemCrc, Xmodem1K, Ymodem, Zmodem };
enum class TTransferDirection { Send, Receive };

struct TTransferRequest {
    TProtocol Protocol = TProtocol::Zmodem;
    TTransferDirection Direction = TTransferDirection::Send;
    QStringList Files;     // Send: the files (XMODEM takes one)
    QString Folder;        // Receive: where the files go
    QString XmodemName;    // Receive with XMODEM, which carries no name: the file's name in Folder
    bool Resume = false;   // ZMODEM: continue an interrupted file (kept as NAME.part)
    bool KeepPartial = false;  // Receive: a cut-off file is kept as NAME.part
    int IdleTimeoutMs = 30000;  // the device sent nothing this long: the transfer stops
};

// The program and its arguments for a request.
struct TTransferCommand {
    QString Program;
    QStringList Arguments;
};
TTransferCommand TransferCommand(const TTransferRequest& request);
QString ProtocolName(TProtocol protocol);

struct TTransferResult {
    enum Ending { Succeeded, Failed, Cancelled, TimedOut, PortClosed, NotStarted };
    Ending End = Succeeded;
    TTransferRequest Request;
    QStringList Files;      // sent, or received (as put in the folder)
    qint64 Arrived = 0;     // Receive that did not succeed: bytes of the files that arrived
    QStringList Kept;       // ... and the parts kept (NAME.part), with KeepPartial
    qint64 Bytes = 0;       // bytes relayed to the port (send) or from it (receive)
    QString Reason;         // Failed, NotStarted: the program's last words or why it could not run
};
// The outcome in words for the status bar.
QString TransferMessage(const TTransferResult& result);

class TProtocolTransfer : public QObject {
    Q_OBJECT
public:
    explicit TProtocolTransfer(TSerialPortDriver* driver, QObject* parent = nullptr);
    ~TProtocolTransfer() override;

    // Starts the program; the outcome comes through finished (at once, from
    // the event loop, when it cannot start).
    void start(const TTransferRequest& request);
    void cancel();
    void portClosing();
    bool active() const { return m_active; }
    // The port's bytes while active: they belong to the protocol program.
    void received(const char* data, int size);

    qint64 bytesToPort() const { return m_toPortCount; }
    qint64 bytesFromPort() const { return m_fromPortCount; }
    // Send: the files' size, so progress and time left can be shown; 0 when unknown.
    qint64 total() const { return m_total; }
    qint64 done() const;
    double rate() const;
    int secondsLeft() const;

signals:
    void progress();
    void finished(const TTransferResult& result);

private:
    void pump();
    void childFinished(int exitCode, QProcess::ExitStatus status);
    void childError(QProcess::ProcessError error);
    void end(TTransferResult::Ending ending, const QString& reason = QString());
    void abortFarSide();
    QString startStaging();
    void finishReceive(TTransferResult& result);

    TSerialPortDriver* m_driver;
    QProcess* m_child = nullptr;
    TTransferRequest m_request;
    bool m_active = false;
    bool m_childDone = false;
    int m_exitCode = 0;
    QByteArray m_toPort;
    QByteArray m_fromPortEarly;  // from the device while the program starts
    QByteArray m_errors;     // the tail of the program's messages
    qint64 m_toPortCount = 0;
    qint64 m_fromPortCount = 0;
    qint64 m_total = 0;
    QTimer m_pump;
    QElapsedTimer m_started;
    QElapsedTimer m_sinceHeard;
    QElapsedTimer m_sinceProgress;
    std::unique_ptr<QTemporaryDir> m_staging;  // Receive: where the program writes
    QMap<QString, qint64> m_resumed;           // Resume: the parts copied there, with their sizes
};
