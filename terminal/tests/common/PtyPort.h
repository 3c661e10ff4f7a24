#pragma once
// A pseudo-terminal standing in for a serial line: the program under test opens
// the slave device like any tty (its COM port), the test or benchmark plays the
// far end on the master side.

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

class PtyPort {
public:
    // How the far end waits for data: blocked in poll() (the port's owner runs
    // on another thread), or with this thread's event loop kept running (the
    // port's owner lives on it, so it must be served meanwhile; the master is
    // then non-blocking).
    enum class Wait { Blocking, EventLoop };

    explicit PtyPort(Wait wait = Wait::Blocking)
        : m_wait(wait)
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
        if (m_wait == Wait::EventLoop)
            ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
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

    // Writes all of `data`; a full non-blocking master is waited for with the
    // event loop running.
    bool write(const QByteArray& data) const
    {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(m_master, data.constData() + done, size_t(data.size() - done));
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                if (errno == EAGAIN) {
                    pollfd p{m_master, POLLOUT, 0};
                    ::poll(&p, 1, 10);
                    QCoreApplication::processEvents();
                }
                continue;
            }
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
        return m_wait == Wait::EventLoop ? readServing(expected, quietMs)
                                         : readBlocking(expected, quietMs);
    }

    speed_t outputSpeed() const
    {
        termios t{};
        ::tcgetattr(m_master, &t);
        return ::cfgetospeed(&t);
    }

private:
    QByteArray readBlocking(qsizetype expected, int quietMs) const
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

    QByteArray readServing(qsizetype expected, int quietMs) const
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

    Wait m_wait;
    int m_master = -1;
    QString m_device;
};
