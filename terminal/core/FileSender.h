#pragma once
// TFileSender: Send File without blocking the window. The file is read in
// blocks and handed to the driver as fast as the device takes it (the port's
// flow control and output queue pace it), from short turns of the event loop,
// so the window keeps repainting, receiving and reacting meanwhile. The send
// ends when the file is through, when the user cancels, when the device takes
// nothing for the driver's OutputTimeout, or when the port goes; the outcome
// says how many bytes the device accepted, so nothing is lost silently: those
// bytes reach the line in order, and nothing after them is sent.
//
// Paced sending is for monitors and boot loaders without handshake that
// cannot keep up with a file at full speed: each byte goes out alone, and the
// next one only after the device has put it on the line and the pause after a
// character (and after a line) has passed; optionally the sender waits after
// each line until the device has answered with a prompt.

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

class TSerialPortDriver;
class QSettings;

// How a file is paced. All zero and no prompt: as fast as the device takes it.
struct TSendPacing {
    double CharDelayMs = 0;  // after each byte, fractions allowed
    double LineDelayMs = 0;  // in addition after each line end (LF, or a CR not followed by LF)
    QByteArray WaitFor;      // after each line: wait until the device has sent these bytes
    int WaitTimeoutMs = 2000;  // ... at most this long, else the send stops

    bool paced() const { return CharDelayMs > 0 || LineDelayMs > 0 || !WaitFor.isEmpty(); }
    bool operator==(const TSendPacing&) const = default;
};
// The pacing as stored under the program's key: SendFile\CharDelayMs,
// SendFile\LineDelayMs, SendFile\WaitFor (in macro notation, #013 for CR)
// and SendFile\WaitTimeoutMs. Missing or unreadable values keep the defaults.
TSendPacing LoadSendPacing(const QSettings& store, const QString& programKey);
void SaveSendPacing(QSettings& store, const QString& programKey, const TSendPacing& pacing);

// How a file send ended.
struct TFileSendResult {
    enum Ending { Finished, Cancelled, TimedOut, PortClosed, ReadFailed, NoPrompt };
    Ending End = Finished;
    qint64 Sent = 0;      // bytes the device accepted, from the file's start
    qint64 Total = 0;     // the file's size
    int TimeoutMs = 0;    // TimedOut: how long the device took nothing
    QString FileName;     // without the folder
    QString ReadError;    // ReadFailed: the platform's text
    QByteArray Prompt;    // NoPrompt: what the device did not send
    qint64 Line = 0;      // NoPrompt: the line after which it did not come (from 1)
};

class TFileSender : public QObject {
    Q_OBJECT
public:
    explicit TFileSender(TSerialPortDriver* driver, QObject* parent = nullptr);

    // Starts sending the opened file; false with the platform's text when it
    // cannot be opened. The port must be open.
    bool start(const QString& path, QString* error);
    // The pacing of the next start (a send under way keeps its own).
    void setPacing(const TSendPacing& pacing) { m_nextPacing = pacing; }
    const TSendPacing& pacing() const { return m_nextPacing; }
    // What the device sent meanwhile: the prompt the paced send waits for.
    void received(const char* data, int size);
    void cancel();
    // The user closes the port: the send ends as cancelled, and the bytes
    // still queued are discarded, so its count is what really went out.
    void portClosing();
    bool active() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }  // the file being sent

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
    void pumpPaced();
    bool fillBlock();  // false when the send ended (file through or unreadable)
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
    TSendPacing m_nextPacing;
    TSendPacing m_pacing;
    bool m_awaitDrain = false;    // the last byte is still in the output queue
    qint64 m_pauseNs = 0;         // the pause to keep once it is out
    qint64 m_resumeAtNs = 0;      // m_started's time when the next byte may go
    bool m_awaitPrompt = false;
    QElapsedTimer m_sincePromptWait;
    QByteArray m_heard;           // received since the last line end (its tail)
    qint64 m_lines = 0;
};

// The outcome in words for the status bar or an error box.
QString FileSendMessage(const TFileSendResult& result);
