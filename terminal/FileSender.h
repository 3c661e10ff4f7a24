#pragma once
// TFileSender: Send File without blocking the window. The file is read in
// blocks and handed to the driver as fast as the device takes it (the port's
// flow control and output queue pace it), from short turns of the event loop,
// so the window keeps repainting, receiving and reacting meanwhile. The send
// ends when the file is through, when the user cancels, when the device takes
// nothing for the driver's OutputTimeout, or when the port goes; the outcome
// says how many bytes the device accepted, so nothing is lost silently: those
// bytes reach the line in order, and nothing after them is sent.

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

class TSerialPortDriver;

// How a file send ended.
struct TFileSendResult {
    enum Ending { Finished, Cancelled, TimedOut, PortClosed, ReadFailed };
    Ending End = Finished;
    qint64 Sent = 0;      // bytes the device accepted, from the file's start
    qint64 Total = 0;     // the file's size
    int TimeoutMs = 0;    // TimedOut: how long the device took nothing
    QString FileName;     // without the folder
    QString ReadError;    // ReadFailed: the platform's text
};

class TFileSender : public QObject {
    Q_OBJECT
public:
    explicit TFileSender(TSerialPortDriver* driver, QObject* parent = nullptr);

    // Starts sending the opened file; false with the platform's text when it
    // cannot be opened. The port must be open.
    bool start(const QString& path, QString* error);
    void cancel();
    // The user closes the port: the send ends as cancelled, and the bytes
    // still queued are discarded, so its count is what really went out.
    void portClosing();
    bool active() const { return m_file.isOpen(); }

    qint64 sent() const { return m_sent; }
    qint64 total() const { return m_total; }
    // Bytes per second since the start; seconds still to go (-1: not known yet).
    double rate() const;
    int secondsLeft() const;

    // Longest time one turn may keep the event loop, in milliseconds.
    static constexpr int SliceMs = 10;

signals:
    void progress();  // at most every ProgressPeriodMs while sending
    void finished(const TFileSendResult& result);

private:
    void pump();
    void finish(TFileSendResult::Ending end, const QString& readError = QString());

    static constexpr int ProgressPeriodMs = 100;
    TSerialPortDriver* m_driver;
    QFile m_file;
    QByteArray m_block;
    qsizetype m_blockPos = 0;
    qint64 m_sent = 0;
    qint64 m_total = 0;
    QTimer m_pump;
    QElapsedTimer m_started;
    QElapsedTimer m_sinceProgress;
    QElapsedTimer m_sinceSignal;
};

// The outcome in words for the status bar or an error box.
QString FileSendMessage(const TFileSendResult& result);
