#include "terminal/core/ProtocolTransfer.h"

#include "common/FileWriteQt.h"
#include "terminal/SerialPortDrv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <filesystem>
#include <system_error>

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

namespace {

QString Outcome(const TTransferResult& r, const QString& what, const QString& bytes, const QString& files)
{
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

} // namespace

QString TransferMessage(const TTransferResult& r)
{
    const bool send = r.Request.Direction == TTransferDirection::Send;
    const QString what = ProtocolName(r.Request.Protocol) + (send ? QStringLiteral(" send") : QStringLiteral(" receive"));
    const QString bytes = QLocale().toString(r.Bytes);
    const QString files = r.Files.isEmpty() ? QStringLiteral("no file") : r.Files.join(QStringLiteral(", "));
    QString text = Outcome(r, what, bytes, files);
    // A receive that did not finish changed no file: it says what came.
    if (!send && r.End != TTransferResult::Succeeded && r.End != TTransferResult::NotStarted)
        text += r.Kept.isEmpty()
                    ? QStringLiteral("; %1 bytes of file arrived, discarded (the folder is as it was)").arg(QLocale().toString(r.Arrived))
                    : QStringLiteral("; %1 bytes of file arrived, kept as %2").arg(QLocale().toString(r.Arrived), r.Kept.join(QStringLiteral(", ")));
    return text;
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

namespace {

// Replaces `to` by `from` in one step (both in one folder); "" or the reason.
QString Replace(const QString& from, const QString& to)
{
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()), std::filesystem::path(to.toStdU16String()), ec);
    return ec ? QString::fromStdString(ec.message()) : QString();
}

// A name in `folder` that no file has yet: NAME, else NAME.1, NAME.2, ...
QString FreeName(const QDir& folder, const QString& name)
{
    QString candidate = name;
    for (int n = 1; folder.exists(candidate); ++n)
        candidate = QStringLiteral("%1.%2").arg(name).arg(n);
    return candidate;
}

const QString PartSuffix = QStringLiteral(".part");

} // namespace

// The temporary folder beside the target; a resume finds there the parts
// kept from before under their own names. "" or why it cannot be made.
QString TProtocolTransfer::startStaging()
{
    m_staging = std::make_unique<QTemporaryDir>(QDir(m_request.Folder).filePath(QStringLiteral(".receiving-XXXXXX")));
    if (!m_staging->isValid())
        return QStringLiteral("cannot make a temporary folder in %1: %2").arg(m_request.Folder, m_staging->errorString());
    m_resumed.clear();
    if (m_request.Resume) {
        const QDir folder(m_request.Folder);
        for (const QString& part : folder.entryList({QStringLiteral("*") + PartSuffix}, QDir::Files)) {
            const QString name = part.chopped(PartSuffix.size());
            if (!QFile::copy(folder.filePath(part), QDir(m_staging->path()).filePath(name)))
                return QStringLiteral("cannot continue %1: it cannot be copied").arg(part);
            m_resumed[name] = QFileInfo(folder.filePath(part)).size();
        }
    }
    return QString();
}

// Puts the received files in place when the transfer succeeded; otherwise
// counts what arrived and keeps it as NAME.part only when asked to.
void TProtocolTransfer::finishReceive(TTransferResult& result)
{
    if (!m_staging || !m_staging->isValid())
        return;
    const QDir staging(m_staging->path()), folder(m_request.Folder);
    QFileInfoList arrived;
    for (const QFileInfo& info : staging.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
        if (m_resumed.value(info.fileName(), -1) != info.size())  // a part nobody continued stays as it was
            arrived << info;
    const bool xmodem = m_request.Protocol <= TProtocol::Xmodem1K;
    if (result.End == TTransferResult::Succeeded && xmodem && arrived.size() != 1) {
        result.End = TTransferResult::Failed;
        result.Reason = QStringLiteral("the program reported success, but no file arrived");
    }
    if (result.End == TTransferResult::Succeeded) {
        for (const QFileInfo& info : arrived) {
            // XMODEM's file has the name the user chose, a resumed file takes
            // its old place; anything else keeps the folder's files as they are.
            const QString name = xmodem ? m_request.XmodemName
                                 : m_request.Resume ? info.fileName()
                                                    : FreeName(folder, info.fileName());
            if (const QString why = Replace(info.filePath(), folder.filePath(name)); !why.isEmpty()) {
                result.End = TTransferResult::Failed;
                result.Reason = QStringLiteral("cannot put %1 in place: %2; it waits in %3").arg(name, why, staging.path());
                m_staging->setAutoRemove(false);
                break;
            }
            if (m_request.Resume)
                QFile::remove(folder.filePath(name + PartSuffix));
            result.Files << name;
        }
        m_staging.reset();
        return;
    }
    for (const QFileInfo& info : arrived) {
        result.Arrived += info.size();
        if (!m_request.KeepPartial && !m_request.Resume)
            continue;
        const QString part = (xmodem ? m_request.XmodemName : info.fileName()) + PartSuffix;
        if (Replace(info.filePath(), folder.filePath(part)).isEmpty())
            result.Kept << part;
    }
    m_staging.reset();
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
    if (send) {
        for (const QString& file : request.Files)
            m_total += QFileInfo(file).size();
    } else if (const QString why = startStaging(); !why.isEmpty()) {
        m_staging.reset();
        QMetaObject::invokeMethod(this, [this, why] { end(TTransferResult::NotStarted, why); }, Qt::QueuedConnection);
        return;
    }
    const TTransferCommand command = TransferCommand(request);
    m_child = new QProcess(this);
    m_child->setWorkingDirectory(send ? QString() : m_staging->path());

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
            result.Reason = m51::quoteForMessage(QString::fromLocal8Bit(it->trimmed()));
        if (result.Reason.isEmpty())
            result.Reason = QStringLiteral("the program ended with code %1").arg(m_exitCode);
    }
    if (m_request.Direction == TTransferDirection::Send) {
        if (ending == TTransferResult::Succeeded)
            for (const QString& file : m_request.Files)
                result.Files << QFileInfo(file).fileName();
    } else {
        finishReceive(result);
    }
    emit finished(result);
}
