#include "debugger/SerialBridge.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace m51dbg {

namespace {

// A raw pseudo-terminal pair with a non-blocking master. The slave stays open
// here too: without it, the master reports end of file while nobody (s51, the
// terminal program) has the slave open, and would wake its notifier for ever.
bool OpenRawPty(int& master, int& slave, QString& path)
{
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    termios attributes{};
    if (tcgetattr(slave, &attributes) == 0) {
        cfmakeraw(&attributes);
        tcsetattr(slave, TCSANOW, &attributes);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    path = QString::fromLocal8Bit(name);
    return true;
}

QByteArray ReadAvailable(int fd)
{
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

void WriteAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return;  // nobody reads and the buffer is full: the line drops it, as a real one would
        done += n;
    }
}

} // namespace

SerialBridge::SerialBridge(QObject* parent) : QObject(parent) {}

SerialBridge::~SerialBridge() { close(); }

bool SerialBridge::open()
{
    close();
    if (!OpenRawPty(m_boardMaster, m_boardSlave, m_boardPath)
        || !OpenRawPty(m_userMaster, m_userSlave, m_userPath)) {
        m_error = QStringLiteral("No pseudo-terminal for the simulated serial line: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    }
    m_boardNotifier = new QSocketNotifier(m_boardMaster, QSocketNotifier::Read, this);
    connect(m_boardNotifier, &QSocketNotifier::activated, this, &SerialBridge::readBoard);
    m_userNotifier = new QSocketNotifier(m_userMaster, QSocketNotifier::Read, this);
    connect(m_userNotifier, &QSocketNotifier::activated, this, &SerialBridge::readUser);
    return true;
}

void SerialBridge::close()
{
    delete m_boardNotifier;
    delete m_userNotifier;
    m_boardNotifier = m_userNotifier = nullptr;
    for (int* fd : {&m_boardMaster, &m_boardSlave, &m_userMaster, &m_userSlave}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_boardPath.clear();
    m_userPath.clear();
}

void SerialBridge::send(const QByteArray& bytes)
{
    if (m_boardMaster >= 0)
        WriteAll(m_boardMaster, bytes);
}

void SerialBridge::deliver(const QByteArray& bytes)
{
    if (m_userMaster >= 0)
        WriteAll(m_userMaster, bytes);
}

void SerialBridge::readBoard()
{
    const QByteArray bytes = ReadAvailable(m_boardMaster);
    if (bytes.isEmpty())
        return;
    WriteAll(m_userMaster, bytes);
    emit received(bytes);
}

void SerialBridge::readUser()
{
    const QByteArray bytes = ReadAvailable(m_userMaster);
    if (bytes.isEmpty())
        return;
    if (m_boardOutside)
        WriteAll(m_boardMaster, bytes);
    else
        emit typed(bytes);
}

} // namespace m51dbg
