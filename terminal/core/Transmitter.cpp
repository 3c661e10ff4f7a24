#include "terminal/core/Transmitter.h"

#include "terminal/core/Connection.h"
#include "terminal/core/HexBytes.h"
#include "terminal/MacroCodec.h"
#include "terminal/core/StatusTexts.h"

#include <QFile>
#include <QTimer>

QByteArray EnterKeyBytes(int enterKey)
{
    static const char* const endings[] = {"\r", "\n", "\r\n"};
    return QByteArray(endings[qBound(0, enterKey, 2)]);
}

TTransmitter::TTransmitter(TConnection* connection, QObject* parent)
    : QObject(parent),
      m_connection(connection),
      m_sender(new TFileSender(connection->driver(), this)),
      m_transfer(new TProtocolTransfer(connection->driver(), this))
{
    connect(m_sender, &TFileSender::finished, this, [this](const TFileSendResult& result) {
        emit busyChanged(false);
        emit sendFinished(result);
    });
    connect(m_transfer, &TProtocolTransfer::finished, this, [this](const TTransferResult& result) {
        emit busyChanged(false);
        emit transferFinished(result);
    });
    connect(connection, &TConnection::closing, this, [this] {
        m_sender->portClosing();
        m_transfer->portClosing();
    });
}

bool TTransmitter::busy() const
{
    return m_sender->active() || m_transfer->active();
}

bool TTransmitter::connected() const
{
    return m_connection->connected();
}

bool TTransmitter::readModemLines(TSerialPortDriver::TModemLines& lines) const
{
    return m_connection->driver()->ReadModemLines(lines);
}

void TTransmitter::key(const QByteArray& bytes)
{
    if (busy() || !m_connection->connected())
        return;
    m_connection->driver()->SendData(bytes.constData(), int(bytes.size()));
}

TSendOutcome TTransmitter::sendMacro(const QString& text)
{
    if (busy())
        return {};
    if (text.size() > MaxMacroLength)
        return {TSendOutcome::Refused, {},
                QStringLiteral("The macro is longer than %1 characters and was not sent").arg(MaxMacroLength)};
    const TMacroDecoding macro = DecodeMacro(ToCp1250(text));
    if (!macro.Ok)
        return {TSendOutcome::Refused, {}, InvalidIntegerMessage(macro.BadText)};
    if (!macro.Bytes.isEmpty())
        m_connection->driver()->SendData(macro.Bytes.constData(), int(macro.Bytes.size()));
    return {TSendOutcome::Sent, MacroEcho(macro.Bytes), {}};
}

TSendOutcome TTransmitter::sendHex(const QString& text)
{
    if (busy())
        return {};
    const THexBytes hex = ParseHexBytes(text);
    if (!hex.Ok)
        return {TSendOutcome::Refused, {}, QStringLiteral("Hexadecimal bytes, column %1: %2").arg(hex.Column).arg(hex.Error)};
    if (hex.Bytes.isEmpty())
        return {};
    if (!m_connection->connected())
        return {TSendOutcome::Refused, {}, QStringLiteral("Not connected; the bytes were not sent")};
    m_connection->driver()->SendData(hex.Bytes.constData(), int(hex.Bytes.size()));
    return {TSendOutcome::Sent, MacroEcho(hex.Bytes), {}};
}

void TTransmitter::lineFailed(const char* line)
{
    if (m_connection->connected())
        emit problem(ModemLineFailedText(QString::fromLatin1(line), m_connection->device()));
}

void TTransmitter::setModemLine(TModemLine line, bool on)
{
    TSerialPortDriver* driver = m_connection->driver();
    if (!(line == DTR ? driver->SetDTR(on) : driver->SetRTS(on)))
        lineFailed(line == DTR ? "DTR" : "RTS");
}

void TTransmitter::sendBreak()
{
    if (!m_connection->connected() || m_breakHeld)
        return;
    if (!m_connection->driver()->SetBreak(true)) {
        lineFailed("Break");
        return;
    }
    m_breakHeld = true;
    emit breakChanged(true);
    QTimer::singleShot(BreakMs, this, [this] {
        m_connection->driver()->SetBreak(false);
        m_breakHeld = false;
        emit breakChanged(false);
    });
}

QString TTransmitter::sendFile(const QString& path)
{
    if (busy())
        return QString();
    if (!m_connection->connected()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return file.errorString();
        QByteArray block(65536, Qt::Uninitialized);
        qint64 n = 0;
        while ((n = file.read(block.data(), block.size())) > 0) {
        }
        return n < 0 ? file.errorString() : QString();
    }
    QString error;
    if (!m_sender->start(path, &error))
        return error;
    emit busyChanged(true);
    return QString();
}

QString TTransmitter::startTransfer(const TTransferRequest& request)
{
    if (busy())
        return QString();
    if (!m_connection->connected())
        return QStringLiteral("Connect first: a transfer needs an open port");
    emit busyChanged(true);
    m_transfer->start(request);
    return QString();
}
