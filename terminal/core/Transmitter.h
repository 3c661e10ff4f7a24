#pragma once
// TTransmitter: the send side without widgets. Typed keys, macros and
// hexadecimal bytes go out as they come, DTR and RTS are set, BREAK holds the
// line for 250 ms, and Send File and the protocol transfers take the port for
// their time; meanwhile keys and macros are not sent (they would mix into the
// file's bytes). What happened comes back as values and signals.

#include "terminal/core/FileSender.h"
#include "terminal/core/ProtocolTransfer.h"
#include "terminal/SerialPortDrv.h"

#include <QObject>

class TConnection;

// What a send command did: the bytes went out, with what the transmit box
// shows of them; or it was refused, with why; or nothing was to be done.
struct TSendOutcome {
    enum Kind { Ignored, Sent, Refused } Result = Ignored;
    QByteArray Echo;
    QString Error;
};

// The bytes the Enter key sends for the setting (0 CR, 1 LF, 2 CR LF).
QByteArray EnterKeyBytes(int enterKey);

class TTransmitter : public QObject {
    Q_OBJECT
public:
    static constexpr int BreakMs = 250;

    TTransmitter(TConnection* connection, QObject* parent = nullptr);

    // A file send or a protocol transfer holds the port.
    bool busy() const;
    TFileSender* fileSender() const { return m_sender; }
    TProtocolTransfer* transfer() const { return m_transfer; }

    bool connected() const;
    // The modem status lines; false when closed or not reported.
    bool readModemLines(TSerialPortDriver::TModemLines& lines) const;

    void key(const QByteArray& bytes);
    TSendOutcome sendMacro(const QString& text);
    TSendOutcome sendHex(const QString& text);
    enum TModemLine { DTR, RTS };
    void setModemLine(TModemLine line, bool on);
    void sendBreak();
    bool breakHeld() const { return m_breakHeld; }

    // Starts Send File; an empty text, or why it could not start. Not
    // connected, the file is only read through, so that a file that cannot
    // be read is still reported.
    QString sendFile(const QString& path);
    QString startTransfer(const TTransferRequest& request);
    void setPacing(const TSendPacing& pacing) { m_sender->setPacing(pacing); }
    TSendPacing pacing() const { return m_sender->pacing(); }

signals:
    // A line or BREAK the device could not set (status bar, beep).
    void problem(const QString& detail);
    void busyChanged(bool busy);
    void breakChanged(bool held);
    void sendFinished(const TFileSendResult& result);
    void transferFinished(const TTransferResult& result);

private:
    void lineFailed(const char* line);

    TConnection* m_connection;
    TFileSender* m_sender;
    TProtocolTransfer* m_transfer;
    bool m_breakHeld = false;
};
