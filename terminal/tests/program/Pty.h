#pragma once
// A pseudo-terminal as the far end of a serial line: the terminal opens the
// slave device as its COM port, the test reads and writes the master side.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class TestPty {
public:
    TestPty()
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
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_device = QString::fromLocal8Bit(name);
    }
    ~TestPty() { hangUp(); }
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;

    QString device() const { return m_device; }
    int master() const { return m_master; }
    void hangUp()
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
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                pollfd p{m_master, POLLOUT, 0};
                ::poll(&p, 1, 10);
                QCoreApplication::processEvents();
                continue;
            }
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // What arrives until `expected` bytes are there or nothing came for
    // `quietMs`; the event loop keeps running meanwhile.
    QByteArray read(qsizetype expected, int quietMs = 300) const
    {
        QByteArray out;
        char buf[65536];
        QElapsedTimer quiet;
        quiet.start();
        while (out.size() < expected && quiet.elapsed() < quietMs) {
            QCoreApplication::processEvents();
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0 || !(p.revents & POLLIN))
                continue;
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                out.append(buf, n);
                quiet.restart();
            }
        }
        return out;
    }

    speed_t outputSpeed() const
    {
        termios t{};
        ::tcgetattr(m_master, &t);
        return ::cfgetospeed(&t);
    }

private:
    int m_master = -1;
    QString m_device;
};
