#include "FileSender.h"

#include "SerialPortDrv.h"

#include <QFileInfo>

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
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    m_total = m_file.size();
    m_sent = 0;
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

void TFileSender::pump()
{
    QElapsedTimer slice;
    slice.start();
    while (active() && slice.elapsed() < SliceMs) {
        if (m_blockPos >= m_block.size()) {
            m_block.resize(65536);
            const qint64 n = m_file.read(m_block.data(), m_block.size());
            if (n < 0) {
                finish(TFileSendResult::ReadFailed, m_file.errorString());
                return;
            }
            if (n == 0) {
                finish(TFileSendResult::Finished);
                return;
            }
            m_block.resize(n);
            m_blockPos = 0;
        }
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
    if (active() && m_sinceSignal.elapsed() >= ProgressPeriodMs) {
        m_sinceSignal.start();
        emit progress();
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
    }
    return QString();
}
