#include "ProtocolTransfer.h"

#include "SerialPortDrv.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

TTransferCommand TransferCommand(const TTransferRequest& r)
{
    TTransferCommand c;
    const bool send = r.Direction == TTransferDirection::Send;
    c.Arguments << QStringLiteral("-b");
    switch (r.Protocol) {
    case TProtocol::XmodemChecksum:
    case TProtocol::XmodemCrc:
    case TProtocol::Xmodem1K:
        // The receiver chooses checksum or CRC; the sender follows.
        c.Program = send ? QStringLiteral("sx") : QStringLiteral("rx");
        if (send && r.Protocol == TProtocol::Xmodem1K)
            c.Arguments << QStringLiteral("-k");
        if (!send && r.Protocol != TProtocol::XmodemChecksum)
            c.Arguments << QStringLiteral("-c");
        if (!send)
            c.Arguments << QStringLiteral("-y") << r.XmodemName;  // the user chose the name and agreed to replace it
        else
            c.Arguments << r.Files.mid(0, 1);
        return c;
    case TProtocol::Ymodem:
        c.Program = send ? QStringLiteral("sb") : QStringLiteral("rb");
        break;
    case TProtocol::Zmodem:
        c.Program = send ? QStringLiteral("sz") : QStringLiteral("rz");
        if (r.Resume)
            c.Arguments << QStringLiteral("-r");
        break;
    }
    // A file the folder already has is kept; the new one gets another name.
    if (!send && !r.Resume)
        c.Arguments << QStringLiteral("-E");
    if (send)
        c.Arguments << r.Files;
    return c;
}

QString ProtocolName(TProtocol p)
{
    switch (p) {
    case TProtocol::XmodemChecksum:
        return QStringLiteral("XMODEM");
    case TProtocol::XmodemCrc:
        return QStringLiteral("XMODEM-CRC");
    case TProtocol::Xmodem1K:
        return QStringLiteral("XMODEM-1K");
    case TProtocol::Ymodem:
        return QStringLiteral("YMODEM");
    case TProtocol::Zmodem:
        return QStringLiteral("ZMODEM");
    }
    return QString();
}

QString TransferMessage(const TTransferResult& r)
{
    const bool send = r.Request.Direction == TTransferDirection::Send;
    const QString what = ProtocolName(r.Request.Protocol) + (send ? QStringLiteral(" send") : QStringLiteral(" receive"));
    const QString bytes = QLocale().toString(r.Bytes);
    const QString files = r.Files.isEmpty() ? QStringLiteral("no file") : r.Files.join(QStringLiteral(", "));
    switch (r.End) {
    case TTransferResult::Succeeded:
        return QStringLiteral("%1 finished: %2 (%3 bytes on the line)").arg(what, files, bytes);
    case TTransferResult::Failed:
        return QStringLiteral("%1 failed after %2 bytes: %3").arg(what, bytes, r.Reason);
    case TTransferResult::Cancelled:
        return QStringLiteral("%1 cancelled after %2 bytes%3")
            .arg(what, bytes, r.Files.isEmpty() ? QString() : QStringLiteral("; written so far: ") + files);
    case TTransferResult::TimedOut:
        return QStringLiteral("%1 timed out: the device did not answer for %2 s (after %3 bytes)")
            .arg(what)
            .arg(r.Request.IdleTimeoutMs / 1000.0)
            .arg(bytes);
    case TTransferResult::PortClosed:
        return QStringLiteral("%1 stopped after %2 bytes: the port was closed").arg(what, bytes);
    case TTransferResult::NotStarted:
        return QStringLiteral("%1 could not start: %2").arg(what, r.Reason);
    }
    return QString();
}

TProtocolTransfer::TProtocolTransfer(TSerialPortDriver* driver, QObject* parent) : QObject(parent), m_driver(driver)
{
    m_pump.setInterval(2);
    connect(&m_pump, &QTimer::timeout, this, &TProtocolTransfer::pump);
}

TProtocolTransfer::~TProtocolTransfer()
{
    if (m_child) {
        m_child->disconnect(this);
        m_child->kill();
        m_child->waitForFinished(1000);
    }
}

QMap<QString, QPair<qint64, qint64>> TProtocolTransfer::folderState() const
{
    QMap<QString, QPair<qint64, qint64>> state;
    const QFileInfoList list = QDir(m_request.Folder).entryInfoList(QDir::Files);
    for (const QFileInfo& info : list)
        state[info.fileName()] = {info.size(), info.lastModified().toMSecsSinceEpoch()};
    return state;
}

void TProtocolTransfer::start(const TTransferRequest& request)
{
    if (m_active)
        return;
    m_request = request;
    m_active = true;
    m_childDone = false;
    m_toPort.clear();
    m_fromPortEarly.clear();
    m_errors.clear();
    m_toPortCount = m_fromPortCount = m_total = 0;
    const bool send = request.Direction == TTransferDirection::Send;
    if (send)
        for (const QString& file : request.Files)
            m_total += QFileInfo(file).size();
    else
        m_before = folderState();
    const TTransferCommand command = TransferCommand(request);
    m_child = new QProcess(this);
    m_child->setWorkingDirectory(send ? QString() : request.Folder);

    connect(m_child, &QProcess::readyReadStandardOutput, this, [this] {
        m_toPort += m_child->readAllStandardOutput();
        pump();
    });
    connect(m_child, &QProcess::readyReadStandardError, this, [this] {
        m_errors += m_child->readAllStandardError();
        if (m_errors.size() > 8192)
            m_errors = m_errors.right(4096);
    });
    // What the device sent while the program was starting (a receiver's first
    // request) reaches it once it runs: dropped, the device would repeat it
    // only after its own time-out.
    connect(m_child, &QProcess::started, this, [this] {
        m_child->write(m_fromPortEarly);
        m_fromPortEarly.clear();
    });
    connect(m_child, &QProcess::finished, this, &TProtocolTransfer::childFinished);
    connect(m_child, &QProcess::errorOccurred, this, &TProtocolTransfer::childError);
    m_started.start();
    m_sinceHeard.start();
    m_sinceProgress.start();
    m_pump.start();
    m_child->start(command.Program, command.Arguments);
    emit progress();
}

void TProtocolTransfer::received(const char* data, int size)
{
    if (!m_active || size <= 0)
        return;
    m_sinceHeard.start();
    m_fromPortCount += size;
    if (m_child && m_child->state() == QProcess::Running)
        m_child->write(data, size);
    else if (m_child && m_child->state() == QProcess::Starting)
        m_fromPortEarly.append(data, size);
}

qint64 TProtocolTransfer::done() const
{
    return m_request.Direction == TTransferDirection::Send ? m_toPortCount : m_fromPortCount;
}

double TProtocolTransfer::rate() const
{
    const double seconds = m_started.isValid() ? m_started.nsecsElapsed() / 1e9 : 0;
    return seconds > 0.2 ? done() / seconds : 0;
}

int TProtocolTransfer::secondsLeft() const
{
    const double r = rate();
    if (r <= 0 || m_total <= 0)
        return -1;
    return int(std::max<qint64>(0, m_total - done()) / r + 0.999);
}

void TProtocolTransfer::pump()
{
    if (!m_active)
        return;
    while (!m_toPort.isEmpty()) {
        const int n = m_driver->SendAvailable(m_toPort.constData(), int(std::min<qsizetype>(m_toPort.size(), 1 << 20)));
        if (n < 0) {
            end(TTransferResult::PortClosed);
            return;
        }
        if (n == 0)
            break;
        m_toPort.remove(0, n);
        m_toPortCount += n;
    }
    if (m_childDone && m_toPort.isEmpty()) {
        const bool ok = m_exitCode == 0;
        end(ok ? TTransferResult::Succeeded : TTransferResult::Failed);
        return;
    }
    if (!m_childDone && m_sinceHeard.elapsed() > m_request.IdleTimeoutMs) {
        abortFarSide();
        end(TTransferResult::TimedOut);
        return;
    }
    if (m_sinceProgress.elapsed() >= 100) {
        m_sinceProgress.start();
        emit progress();
    }
}

void TProtocolTransfer::childFinished(int exitCode, QProcess::ExitStatus status)
{
    m_childDone = true;
    m_exitCode = status == QProcess::NormalExit ? exitCode : -1;
    m_toPort += m_child->readAllStandardOutput();
    m_errors += m_child->readAllStandardError();
    pump();
}

void TProtocolTransfer::childError(QProcess::ProcessError error)
{
    if (error != QProcess::FailedToStart || !m_active)
        return;
    const TTransferCommand command = TransferCommand(m_request);
    end(TTransferResult::NotStarted,
        QStringLiteral("%1 was not found (install the lrzsz package)").arg(command.Program));
}

void TProtocolTransfer::abortFarSide()
{
    // Eight CANs stop an XMODEM, YMODEM or ZMODEM peer; the backspaces take
    // them back out of a command line that was not in a transfer at all.
    static const char abort[] = "\x18\x18\x18\x18\x18\x18\x18\x18\x08\x08\x08\x08\x08\x08\x08\x08";
    m_toPort.clear();
    if (m_driver->Connected())
        m_driver->SendAvailable(abort, int(sizeof abort - 1));
}

void TProtocolTransfer::cancel()
{
    if (!m_active)
        return;
    abortFarSide();
    end(TTransferResult::Cancelled);
}

void TProtocolTransfer::portClosing()
{
    if (m_active)
        end(TTransferResult::PortClosed);
}

void TProtocolTransfer::end(TTransferResult::Ending ending, const QString& reason)
{
    m_pump.stop();
    m_active = false;
    TTransferResult result;
    result.End = ending;
    result.Request = m_request;
    result.Bytes = done();
    result.Reason = reason;
    if (m_child) {
        m_child->disconnect(this);
        if (m_child->state() != QProcess::NotRunning) {
            m_child->kill();
            m_child->waitForFinished(1000);
        }
        m_child->deleteLater();
        m_child = nullptr;
    }
    if (ending == TTransferResult::Failed) {
        // The program's last message line says why.
        const QList<QByteArray> lines = m_errors.replace('\r', '\n').split('\n');
        for (auto it = lines.crbegin(); it != lines.crend() && result.Reason.isEmpty(); ++it)
            result.Reason = QString::fromLocal8Bit(it->trimmed());
        if (result.Reason.isEmpty())
            result.Reason = QStringLiteral("the program ended with code %1").arg(m_exitCode);
    }
    if (m_request.Direction == TTransferDirection::Send) {
        if (ending == TTransferResult::Succeeded)
            for (const QString& file : m_request.Files)
                result.Files << QFileInfo(file).fileName();
    } else {
        const auto after = folderState();
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            if (!m_before.contains(it.key()) || m_before.value(it.key()) != it.value())
                result.Files << it.key();
    }
    emit finished(result);
}
