#pragma once
// A pseudo-terminal standing in for a serial line: the driver opens the slave
// device like any tty, the test (or benchmark) plays the far end on the master.

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyPort {
public:
    PtyPort()
    {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        m_device = QString::fromLocal8Bit(name);
    }
    ~PtyPort() { closeMaster(); }
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    bool valid() const { return m_master >= 0; }
    QString device() const { return m_device; }
    int master() const { return m_master; }

    // The far end goes away: the slave side hangs up.
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    bool write(const QByteArray& data) const
    {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(m_master, data.constData() + done, size_t(data.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // Reads what arrives until `expected` bytes are there or nothing came for
    // `quietMs` milliseconds.
    QByteArray read(qsizetype expected, int quietMs = 300) const
    {
        QByteArray out;
        char buf[65536];
        while (out.size() < expected) {
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, quietMs) <= 0 || !(pfd.revents & POLLIN))
                break;
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, n);
        }
        return out;
    }

private:
    int m_master = -1;
    QString m_device;
};
