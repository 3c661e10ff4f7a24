#include "debugger/window/SerialSend.h"

#include "sim/Machine.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace m51dbg {

namespace {

constexpr qint64 Piece = 1024;  // bytes handed to the engine at a time
constexpr size_t Queued = 2048; // the built-in simulator's queue is kept below this

bool IsHexDigits(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9A-Fa-f]+$"));
    return digits.match(text).hasMatch();
}

} // namespace

HexBytes ParseHexBytes(const QString& text)
{
    HexBytes result;
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    for (const QString& token : text.split(separators, Qt::SkipEmptyParts)) {
        const bool prefixed = token.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        const bool suffixed = !prefixed && token.size() > 1 && token.endsWith(QChar('H'), Qt::CaseInsensitive);
        const QString digits = prefixed ? token.mid(2) : suffixed ? token.chopped(1) : token;
        bool ok = IsHexDigits(digits);
        if (ok && (prefixed || suffixed || digits.size() == 1)) {
            const unsigned value = digits.toUInt(&ok, 16);
            ok = ok && value <= 0xFF;
            if (ok)
                result.bytes.append(char(value));
        } else if (ok && digits.size() % 2 == 0) {
            for (int i = 0; i < digits.size(); i += 2)
                result.bytes.append(char(digits.mid(i, 2).toUInt(nullptr, 16)));
        } else {
            ok = false;
        }
        if (!ok) {
            result.error = QObject::tr("Not bytes in hexadecimal: %1").arg(token);
            result.bytes.clear();
            return result;
        }
    }
    return result;
}

SerialSendBar::SerialSendBar(DebugEngine* engine, QWidget* parent)
    : QWidget(parent), m_engine(engine), m_mode(new QComboBox), m_input(new QLineEdit),
      m_sendFile(new QPushButton(tr("Send File…"))), m_progress(new QLabel)
{
    m_mode->setObjectName("sendMode");
    m_mode->addItem(tr("Text + CR"));
    m_mode->addItem(tr("Text"));
    m_mode->addItem(tr("Hex bytes"));
    m_mode->setToolTip(tr("How the line is sent: text with CR at its end, text alone, or bytes in hexadecimal "
                          "(0D 0A, 0D0A, 00)"));
    m_input->setObjectName("consoleInput");
    auto placeholder = [this] {
        const int mode = m_mode->currentIndex();
        m_input->setPlaceholderText(mode == int(Mode::Hex) ? tr("e.g. 0D 0A") : tr("Text to send"));
        m_input->setToolTip(mode == int(Mode::Hex) ? tr("Bytes in hexadecimal (0D 0A, 0D0A, 00, 41H); Enter sends them")
                                                   : mode == int(Mode::Text) ? tr("Type here and press Enter to send (without CR)")
                                                                             : tr("Type here and press Enter to send (with CR)"));
    };
    placeholder();
    connect(m_mode, &QComboBox::currentIndexChanged, this, placeholder);
    connect(m_input, &QLineEdit::returnPressed, this, &SerialSendBar::sendInput);
    auto* send = new QPushButton(tr("Send"));
    send->setObjectName("send");
    connect(send, &QAbstractButton::clicked, this, &SerialSendBar::sendInput);
    m_sendFile->setObjectName("sendFile");
    m_sendFile->setToolTip(tr("Send a file's bytes as they are, at the pace the simulated line takes them"));
    connect(m_sendFile, &QAbstractButton::clicked, this, [this] {
        if (isSendingFile()) {
            stopFile(tr("Sending stopped after %1 bytes").arg(m_sent));
            return;
        }
        const QString path = QFileDialog::getOpenFileName(this, tr("Send File"));
        if (!path.isEmpty())
            sendFile(path);
    });
    auto* clear = new QPushButton(tr("Clear"));
    clear->setObjectName("clearConsole");
    connect(clear, &QAbstractButton::clicked, this, &SerialSendBar::clearRequested);
    m_progress->setObjectName("sendProgress");

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_mode);
    row->addWidget(m_input, 1);
    row->addWidget(send);
    row->addWidget(m_sendFile);
    row->addWidget(clear);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(row);
    layout->addWidget(m_progress);
    m_progress->hide();
    m_pace.setInterval(10);
    connect(&m_pace, &QTimer::timeout, this, &SerialSendBar::sendNextPiece);
    connect(m_engine, &DebugEngine::stopped, this, [this](DebugEngine::StopCause cause) {
        if (cause == DebugEngine::StopCause::Started && isSendingFile())
            stopFile(tr("Sending stopped: a new program started"));
    });
}

void SerialSendBar::setMode(Mode mode) { m_mode->setCurrentIndex(int(mode)); }

void SerialSendBar::sendInput()
{
    const QString text = m_input->text();
    QByteArray bytes;
    switch (Mode(m_mode->currentIndex())) {
    case Mode::TextCr: bytes = text.toLatin1() + '\r'; break;
    case Mode::Text: bytes = text.toLatin1(); break;
    case Mode::Hex: {
        const HexBytes hex = ParseHexBytes(text);
        if (!hex.error.isEmpty()) {
            emit message(hex.error);
            return;
        }
        bytes = hex.bytes;
        break;
    }
    }
    if (!bytes.isEmpty())
        m_engine->sendSerial(bytes);
    m_input->clear();
}

bool SerialSendBar::sendFile(const QString& path)
{
    if (isSendingFile())
        m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        emit message(tr("%1: cannot be read: %2").arg(path, m_file.errorString()));
        return false;
    }
    m_sent = 0;
    m_sendFile->setText(tr("Stop Sending"));
    m_progress->show();
    sendNextPiece();
    m_pace.start();
    return true;
}

void SerialSendBar::sendNextPiece()
{
    if (!isSendingFile())
        return;
    // The built-in simulator takes the bytes at the line's pace: its queue is
    // topped up, never filled with the whole file.
    if (const sim::Machine* core = m_engine->core(); core && core->serialPending() >= Queued)
        return;
    const QByteArray piece = m_file.read(Piece);
    if (piece.isEmpty()) {
        stopFile(m_file.error() == QFile::NoError ? tr("Sent %1 (%2 bytes)").arg(QFileInfo(m_file).fileName()).arg(m_sent)
                                                  : tr("%1: reading stopped: %2").arg(m_file.fileName(), m_file.errorString()));
        return;
    }
    m_engine->sendSerial(piece);
    m_sent += piece.size();
    m_progress->setText(tr("Sending %1: %2 of %3 bytes").arg(QFileInfo(m_file).fileName()).arg(m_sent).arg(m_file.size()));
}

void SerialSendBar::stopFile(const QString& text)
{
    m_pace.stop();
    m_file.close();
    m_sendFile->setText(tr("Send File…"));
    m_progress->hide();
    emit message(text);
}

} // namespace m51dbg
