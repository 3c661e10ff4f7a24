#include "terminal/core/FileSender.h"

#include "common/FileRead.h"
#include "common/FileWriteQt.h"
#include "terminal/MacroCodec.h"
#include "terminal/SerialPortDrv.h"
#include "terminal/Storage.h"

#include <QFileInfo>
#include <QSettings>
#include <chrono>
#include <cmath>
#include <thread>

TFileSender::TFileSender(TSerialPortDriver* driver, QObject* parent) : QObject(parent), m_driver(driver)
{
    // While the device takes bytes the pump runs again at once; when it is
    // full or held, every couple of milliseconds.
    m_pump.setInterval(2);
    connect(&m_pump, &QTimer::timeout, this, &TFileSender::pump);
}

bool TFileSender::start(const QString& path, QString* error)
{
    if (active())
        return false;
    // A folder or a device is no file to send (a named pipe streams like one).
    if (const std::string what = m51::notAFile(m51::filePathBytes(path), true); !what.empty()) {
        if (error)
            *error = QString::fromLocal8Bit(what.data(), qsizetype(what.size()));
        return false;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_total = m_file.size();
    m_sent = 0;
    m_pacing = m_nextPacing;
    m_awaitDrain = m_awaitPrompt = false;
    m_pauseNs = m_resumeAtNs = 0;
    m_lines = 0;
    m_heard.clear();
    // A pause shorter than the event loop's timers is kept within the turn.
    m_pump.setTimerType(m_pacing.paced() ? Qt::PreciseTimer : Qt::CoarseTimer);
    m_pump.setInterval(m_pacing.paced() ? 1 : 2);
    m_block.clear();
    m_blockPos = 0;
    m_started.start();
    m_sinceProgress.start();
    m_sinceSignal.start();
    m_pump.start();
    emit progress();
    return true;
}

void TFileSender::cancel()
{
    if (active())
        finish(TFileSendResult::Cancelled);
}

void TFileSender::portClosing()
{
    if (!active())
        return;
    const int queued = m_driver->OutQueued();
    m_driver->PurgeBuffers(false, true);
    m_sent = std::max<qint64>(0, m_sent - queued);
    finish(TFileSendResult::Cancelled);
}

double TFileSender::rate() const
{
    const double seconds = m_started.isValid() ? m_started.nsecsElapsed() / 1e9 : 0;
    return seconds > 0.2 ? m_sent / seconds : 0;
}

int TFileSender::secondsLeft() const
{
    const double r = rate();
    if (r <= 0)
        return -1;
    return int((m_total - m_sent) / r + 0.999);
}

void TFileSender::received(const char* data, int size)
{
    if (!m_awaitPrompt || size <= 0)
        return;
    m_heard.append(data, size);
    if (m_heard.contains(m_pacing.WaitFor)) {
        m_awaitPrompt = false;
        m_heard.clear();
        return;
    }
    // Only a tail shorter than the prompt can still start it.
    if (m_heard.size() >= m_pacing.WaitFor.size())
        m_heard = m_heard.right(m_pacing.WaitFor.size() - 1);
}

bool TFileSender::fillBlock()
{
    if (m_blockPos < m_block.size())
        return true;
    m_block.resize(65536);
    const qint64 n = m_file.read(m_block.data(), m_block.size());
    if (n < 0) {
        finish(TFileSendResult::ReadFailed, m_file.errorString());
        return false;
    }
    m_block.resize(n);
    m_blockPos = 0;
    if (n == 0) {
        finish(TFileSendResult::Finished);
        return false;
    }
    return true;
}

void TFileSender::pump()
{
    if (m_pacing.paced()) {
        pumpPaced();
    } else {
        QElapsedTimer slice;
        slice.start();
        while (active() && slice.elapsed() < SliceMs) {
            if (!fillBlock())
                return;
            const int n = m_driver->SendAvailable(m_block.constData() + m_blockPos,
                                                  int(std::min<qsizetype>(m_block.size() - m_blockPos, 1 << 20)));
            if (n < 0) {
                finish(TFileSendResult::PortClosed);
                return;
            }
            if (n == 0) {
                if (m_sinceProgress.elapsed() > m_driver->OutputTimeout)
                    finish(TFileSendResult::TimedOut);
                break;  // full or held: look again at the next tick
            }
            m_blockPos += n;
            m_sent += n;
            m_sinceProgress.start();
        }
    }
    if (active() && m_sinceSignal.elapsed() >= ProgressPeriodMs) {
        m_sinceSignal.start();
        emit progress();
    }
}

// Waits that are too short for the event loop's timers are slept in small
// steps rather than spun: the processor stays free for the rest of the
// machine (a simulated board, say), and the pause is still kept to a few
// tens of microseconds.
static void idle(qint64 ns)
{
    std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
}

void TFileSender::pumpPaced()
{
    QElapsedTimer slice;
    slice.start();
    while (active() && slice.elapsed() < SliceMs) {
        if (m_awaitDrain) {
            // The pause counts from the moment the byte has left the queue.
            if (m_driver->OutQueued() > 0) {
                if (m_sinceProgress.elapsed() > m_driver->OutputTimeout)
                    finish(TFileSendResult::TimedOut);
                idle(20000);
                continue;
            }
            m_awaitDrain = false;
            m_resumeAtNs = m_started.nsecsElapsed() + m_pauseNs;
            m_sinceProgress.start();
        }
        if (m_awaitPrompt) {
            if (m_sincePromptWait.elapsed() > m_pacing.WaitTimeoutMs)
                finish(TFileSendResult::NoPrompt);
            return;  // the answer comes through the event loop
        }
        const qint64 wait = m_resumeAtNs - m_started.nsecsElapsed();
        if (wait > 0) {
            if (wait > 1500000)
                return;  // long enough for the timer
            idle(std::min<qint64>(wait, 50000));
            continue;
        }
        if (!fillBlock())
            return;
        const char byte = m_block[m_blockPos];
        const int n = m_driver->SendAvailable(&byte, 1);
        if (n < 0) {
            finish(TFileSendResult::PortClosed);
            return;
        }
        if (n == 0) {
            if (m_sinceProgress.elapsed() > m_driver->OutputTimeout)
                finish(TFileSendResult::TimedOut);
            return;
        }
        ++m_blockPos;
        ++m_sent;
        m_sinceProgress.start();
        bool lineEnd = byte == '\n';
        if (byte == '\r') {
            // A CR ends the line unless an LF follows (checked once it is read).
            if (m_blockPos >= m_block.size() && m_sent < m_total && !fillBlock())
                return;
            lineEnd = m_blockPos >= m_block.size() || m_block[m_blockPos] != '\n';
        }
        m_pauseNs = qint64(std::llround(m_pacing.CharDelayMs * 1e6));
        m_awaitDrain = true;
        if (!lineEnd)
            continue;
        ++m_lines;
        m_pauseNs += qint64(std::llround(m_pacing.LineDelayMs * 1e6));
        if (!m_pacing.WaitFor.isEmpty()) {
            m_awaitPrompt = true;
            m_heard.clear();
            m_sincePromptWait.start();
        }
    }
}

void TFileSender::finish(TFileSendResult::Ending end, const QString& readError)
{
    m_pump.stop();
    TFileSendResult result;
    result.End = end;
    result.Sent = m_sent;
    result.Total = m_total;
    result.TimeoutMs = m_driver->OutputTimeout;
    result.FileName = QFileInfo(m_file.fileName()).fileName();
    result.ReadError = readError;
    result.Prompt = m_pacing.WaitFor;
    result.Line = m_lines;
    m_awaitPrompt = m_awaitDrain = false;
    m_file.close();
    m_block = QByteArray();
    emit finished(result);
}

QString FileSendMessage(const TFileSendResult& r)
{
    const QString after = QStringLiteral("Send File stopped after %1 of %2 bytes: ").arg(r.Sent).arg(r.Total);
    switch (r.End) {
    case TFileSendResult::Finished:
        return QStringLiteral("Send File: %1 sent (%2 bytes)").arg(r.FileName).arg(r.Sent);
    case TFileSendResult::Cancelled:
        return QStringLiteral("Send File cancelled after %1 of %2 bytes").arg(r.Sent).arg(r.Total);
    case TFileSendResult::TimedOut:
        return after + QStringLiteral("the device did not accept data for %1 s").arg(r.TimeoutMs / 1000.0);
    case TFileSendResult::PortClosed:
        return after + QStringLiteral("the port was closed");
    case TFileSendResult::ReadFailed:
        return after + r.ReadError;
    case TFileSendResult::NoPrompt:
        return after + QStringLiteral("the device did not answer %1 after line %2")
                           .arg(QString::fromLatin1(EncodeMacro(r.Prompt)))
                           .arg(r.Line);
    }
    return QString();
}

namespace {
QString pacingKey(const QString& programKey, const char* name)
{
    return programKey + QStringLiteral("/SendFile/") + QLatin1String(name);
}

double storedMs(const QSettings& store, const QString& key, double fallback)
{
    bool ok = false;
    const double value = ReadStoreText(store, key).trimmed().toDouble(&ok);
    return ok && value >= 0 && value <= 60000 ? value : fallback;
}
}  // namespace

TSendPacing LoadSendPacing(const QSettings& store, const QString& programKey)
{
    TSendPacing p;
    p.CharDelayMs = storedMs(store, pacingKey(programKey, "CharDelayMs"), p.CharDelayMs);
    p.LineDelayMs = storedMs(store, pacingKey(programKey, "LineDelayMs"), p.LineDelayMs);
    p.WaitTimeoutMs = int(storedMs(store, pacingKey(programKey, "WaitTimeoutMs"), p.WaitTimeoutMs));
    const TMacroDecoding wait = DecodeMacro(ToCp1250(ReadStoreText(store, pacingKey(programKey, "WaitFor"))));
    if (wait.Ok)
        p.WaitFor = wait.Bytes;
    return p;
}

void SaveSendPacing(QSettings& store, const QString& programKey, const TSendPacing& p)
{
    store.setValue(pacingKey(programKey, "CharDelayMs"), QString::number(p.CharDelayMs, 'g', 10));
    store.setValue(pacingKey(programKey, "LineDelayMs"), QString::number(p.LineDelayMs, 'g', 10));
    store.setValue(pacingKey(programKey, "WaitFor"), FromCp1250(EncodeMacro(p.WaitFor)));
    store.setValue(pacingKey(programKey, "WaitTimeoutMs"), QString::number(p.WaitTimeoutMs));
}
