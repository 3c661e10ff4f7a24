#include "debugger/window/SerialConsole.h"

#include "debugger/window/SerialSend.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace m51dbg {

namespace {

QString Hex(unsigned value, int digits) { return QStringLiteral("%1").arg(value, digits, 16, QChar('0')).toUpper(); }

} // namespace

SerialConsole::SerialConsole(DebugEngine* engine, QWidget* parent)
    : QGroupBox(tr("Serial port"), parent), m_engine(engine), m_path(new QLabel), m_console(new QPlainTextEdit)
{
    auto* layout = new QVBoxLayout(this);
    m_path->setObjectName("serialPath");
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_console->setObjectName("console");
    m_console->setReadOnly(true);
    m_console->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_console->setMaximumBlockCount(5000);
    // Text, hexadecimal bytes or a file to the board; Clear, and cleared for a new program.
    auto* sendBar = new SerialSendBar(m_engine);
    connect(sendBar, &SerialSendBar::message, this, &SerialConsole::message);
    connect(sendBar, &SerialSendBar::clearRequested, m_console, &QPlainTextEdit::clear);
    connect(m_engine, &DebugEngine::stopped, m_console, [this](DebugEngine::StopCause cause) {
        if (cause == DebugEngine::StopCause::Started) {
            m_console->clear();
            m_afterCr = false;
        }
    });
    layout->addWidget(m_path);
    layout->addWidget(m_console);
    layout->addWidget(sendBar);
    connect(m_engine, &DebugEngine::serialReceived, this, &SerialConsole::append);
    connect(m_engine, &DebugEngine::serialLost, this, [this](uint8_t byte) {
        m_console->moveCursor(QTextCursor::End);
        m_console->insertPlainText(tr("\n[received byte %1 lost: the program had not read the one before]\n").arg(Hex(byte, 2)));
        m_afterCr = false;
    });
    connect(m_engine, &DebugEngine::stateChanged, this, &SerialConsole::showPath);
    showPath();
}

void SerialConsole::showPath()
{
    const QString path = m_engine->serialTerminalPath();
    m_path->setText(path.isEmpty() ? tr("Serial port: not connected")
                                   : tr("Serial port on %1 (open it in the terminal program)").arg(path));
}

void SerialConsole::append(const QByteArray& bytes)
{
    // Printable text as it is, other bytes as <hex>; CR LF, LF or CR end a line.
    QString text;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\r' || (u == '\n' && !m_afterCr))
            text += '\n';
        else if (u == '\n')
            ;
        else if (u >= 0x20 && u < 0x7F)
            text += QChar(u);
        else
            text += QStringLiteral("<%1>").arg(Hex(u, 2));
        m_afterCr = u == '\r';
    }
    m_console->moveCursor(QTextCursor::End);
    m_console->insertPlainText(text);
    m_console->moveCursor(QTextCursor::End);
}

} // namespace m51dbg
