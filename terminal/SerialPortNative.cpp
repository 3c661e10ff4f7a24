#include "terminal/SerialPortNative.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_LINUX)
// The kernel's termios2 (not glibc's termios) carries the real bit rate, also a
// non-standard one such as 14400 or 56000, so a read-modify-write keeps it.
#include <asm/termbits.h>
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_UNIX)
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include "terminal/win32/SerialPortWin32.h"
#endif

namespace SerialPortNative {

#if defined(Q_OS_UNIX)

namespace {

#if defined(Q_OS_LINUX)
using Termios = struct termios2;
bool getTermios(int fd, Termios& t) { return ::ioctl(fd, TCGETS2, &t) == 0; }
bool setTermios(int fd, const Termios& t) { return ::ioctl(fd, TCSETS2, &t) == 0; }
int speedOf(const Termios& t) { return int(t.c_ospeed); }
#else
using Termios = struct termios;
bool getTermios(int fd, Termios& t) { return ::tcgetattr(fd, &t) == 0; }
bool setTermios(int fd, const Termios& t) { return ::tcsetattr(fd, TCSANOW, &t) == 0; }
int speedOf(const Termios& t) { return int(::cfgetospeed(&t)); }
#endif
#ifndef CMSPAR
constexpr tcflag_t CMSPAR = 0;  // no stick parity on this platform
#endif
#ifndef CRTSCTS
constexpr tcflag_t CRTSCTS = 0;
#endif

int fdOf(qintptr handle) { return int(handle); }

void readBack(const Termios& t, TEffectiveSettings& applied)
{
    applied.BaudRate = speedOf(t);
    switch (t.c_cflag & CSIZE) {
    case CS5: applied.DataBits = 5; break;
    case CS6: applied.DataBits = 6; break;
    case CS7: applied.DataBits = 7; break;
    default: applied.DataBits = 8; break;
    }
    applied.StopBits = (t.c_cflag & CSTOPB) ? sb2BITS : sb1BITS;
    if (!(t.c_cflag & PARENB))
        applied.Parity = ptNONE;
    else if (CMSPAR && (t.c_cflag & CMSPAR))
        applied.Parity = (t.c_cflag & PARODD) ? ptMARK : ptSPACE;
    else
        applied.Parity = (t.c_cflag & PARODD) ? ptODD : ptEVEN;
    applied.RtsCts = CRTSCTS && (t.c_cflag & CRTSCTS);
    applied.XonXoff = (t.c_iflag & IXON) && (t.c_iflag & IXOFF);
    applied.ParityChecked = (t.c_cflag & PARENB) && (t.c_iflag & INPCK);
}

}  // namespace

bool completeSettings(qintptr handle, const LineRequest& request, TEffectiveSettings& applied)
{
    const int fd = fdOf(handle);
    Termios t{};
    if (!getTermios(fd, t))
        return false;
    // Parity bits are sent and framed, but received parity is not checked:
    // every byte reaches the window as it came.
    t.c_iflag &= ~tcflag_t(INPCK | PARMRK | ISTRIP | IGNPAR | IXANY);
    t.c_cflag &= ~tcflag_t(PARENB | PARODD | CMSPAR);
    switch (request.Parity) {
    case ptNONE: break;
    case ptODD: t.c_cflag |= PARENB | PARODD; break;
    case ptEVEN: t.c_cflag |= PARENB; break;
    case ptMARK: t.c_cflag |= CMSPAR ? (PARENB | CMSPAR | PARODD) : (PARENB | PARODD); break;
    case ptSPACE: t.c_cflag |= CMSPAR ? (PARENB | CMSPAR) : PARENB; break;
    }
    // The tty layer knows one or two stop bits; 1.5 is sent as two.
    if (request.StopBits == sb1BITS)
        t.c_cflag &= ~tcflag_t(CSTOPB);
    else
        t.c_cflag |= CSTOPB;
    if (request.RtsCts)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~tcflag_t(CRTSCTS);
    if (request.XonXoff)
        t.c_iflag |= IXON | IXOFF;
    else
        t.c_iflag &= ~tcflag_t(IXON | IXOFF);
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    setTermios(fd, t);
    if (!getTermios(fd, t))
        return false;
    readBack(t, applied);
    return true;
}

bool setExclusive(qintptr handle, bool on)
{
    const int fd = fdOf(handle);
    if (on && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return false;
    if (!on)
        ::flock(fd, LOCK_UN);
#if defined(TIOCEXCL) && defined(TIOCNXCL)
    ::ioctl(fd, on ? TIOCEXCL : TIOCNXCL);
#endif
    return true;
}

namespace {
// The program name of a running process, empty when the system does not say.
QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

// A live holder of the device's lock file (LCK..name in the lock folders).
qint64 lockFileHolder(const QString& device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : QFileInfo(device).fileName();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* folder : {"/run/lock", "/var/lock", "/var/spool/locks", "/var/spool/uucp", "/tmp"}) {
        QFile lock(QString::fromLatin1(folder) + QStringLiteral("/LCK..") + name);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = lock.read(64);
        bool ok = false;
        // ASCII (first line) or binary (four bytes) process number.
        qint64 pid = text.split('\n').value(0).trimmed().toLongLong(&ok);
        if (!ok && text.size() >= 4)
            pid = *reinterpret_cast<const qint32*>(text.constData());
        if (processAlive(pid))
            return pid;
    }
    return 0;
}

// A process (other than this one) with the device open, where /proc tells.
qint64 openingProcess(const QString& device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    const qint64 self = ::getpid();
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& p : pids) {
        bool ok = false;
        const qint64 pid = p.toLongLong(&ok);
        if (!ok || pid == self)
            continue;
        const QString fdDir = QStringLiteral("/proc/") + p + QStringLiteral("/fd");
        for (const QFileInfo& fd : QDir(fdDir).entryInfoList(QDir::System | QDir::NoDotAndDotDot))
            if (fd.symLinkTarget() == target)
                return pid;
    }
    return 0;
}
}  // namespace

void diagnoseOpenFailure(const QString& device, TOpenFailure& failure)
{
    failure.Device = device;
    const QByteArray path = QFile::encodeName(device);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            failure.Error = oeNoSuchDevice;
            return;
        }
    } else if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        failure.Error = oePermissionDenied;
        if (const group* g = ::getgrgid(st.st_gid))
            failure.Group = QString::fromLocal8Bit(g->gr_name);
        return;
    }
    qint64 holder = lockFileHolder(device);
    bool busy = holder != 0;
    if (!busy) {
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            busy = errno == EBUSY;
            if (errno == EACCES) {
                failure.Error = oePermissionDenied;
                return;
            }
        } else {
            busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            ::close(fd);
        }
        if (busy)
            holder = openingProcess(device);
    }
    if (!busy)
        return;
    failure.Error = oeInUse;
    failure.HolderPid = holder;
    if (holder)
        failure.Holder = processName(holder);
}

int outputQueued(qintptr handle)
{
    int queued = 0;
    if (::ioctl(fdOf(handle), TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

WriteStatus writeSome(qintptr handle, const char* data, int size, int& written)
{
    written = 0;
    const ssize_t n = ::write(fdOf(handle), data, size_t(size));
    if (n > 0) {
        written = int(n);
        return WriteStatus::Progress;
    }
    if (n == 0)
        return WriteStatus::Blocked;
    switch (errno) {
    case EIO:
    case ENXIO:
    case ENODEV:
    case EBADF:
    case EPIPE:
        return WriteStatus::Failed;
    default:  // EAGAIN (queue full, flow control), EINTR, and the like
        return WriteStatus::Blocked;
    }
}

bool waitWritable(qintptr handle, int ms)
{
    pollfd pfd{fdOf(handle), POLLOUT, 0};
    if (::poll(&pfd, 1, ms) < 0)
        return true;
    return !(pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

bool hungUp(qintptr handle)
{
    pollfd pfd{fdOf(handle), 0, 0};
    if (::poll(&pfd, 1, 0) < 0)
        return false;
    return pfd.revents & (POLLHUP | POLLERR | POLLNVAL);
}

#elif defined(Q_OS_WIN)

// The Win32 work lies in the Qt-free core (win32/SerialPortWin32.*); this is
// the translation between it and the driver's types.
namespace {
HANDLE handleOf(qintptr handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

bool completeSettings(qintptr handle, const LineRequest& request, TEffectiveSettings& applied)
{
    // The bit rate stays as QSerialPort set it (the requested one, or the
    // nearest one the device takes), as on the other platforms.
    SerialPortWin32::LineSettings s;
    s.BaudRate = 0;
    s.DataBits = int(request.DataBits) + 5;
    s.Stop = SerialPortWin32::StopBits(request.StopBits);
    s.ParityMode = SerialPortWin32::Parity(request.Parity);
    s.RtsCts = request.RtsCts;
    s.XonXoff = request.XonXoff;
    s.EnableDTR = request.EnableDTR;
    s.InBufSize = request.InBufSize;
    s.OutBufSize = request.OutBufSize;
    SerialPortWin32::AppliedSettings a;
    if (!SerialPortWin32::applySettings(handleOf(handle), s, a))
        return false;
    applied.BaudRate = int(a.BaudRate);
    applied.DataBits = a.DataBits;
    applied.StopBits = TComPortStopBits(a.Stop);
    applied.Parity = TComPortParity(a.ParityMode);
    applied.RtsCts = a.RtsCts;
    applied.XonXoff = a.XonXoff;
    applied.ParityChecked = a.ParityChecked;
    return true;
}

bool setExclusive(qintptr, bool)
{
    // The port is opened without sharing: nobody else can open it meanwhile.
    return true;
}

void diagnoseOpenFailure(const QString& device, TOpenFailure& failure)
{
    // Opens the port once more to learn the system's own reason.
    failure.Device = device;
    SerialPortWin32::OpenError error;
    const HANDLE port = SerialPortWin32::openPort(device.toStdString(), error);
    if (port != INVALID_HANDLE_VALUE) {
        SerialPortWin32::closePort(port);
        return;
    }
    switch (error.Kind) {
    case SerialPortWin32::OpenErrorKind::NoSuchDevice: failure.Error = oeNoSuchDevice; break;
    case SerialPortWin32::OpenErrorKind::InUse: failure.Error = oeInUse; break;
    default: break;
    }
}

int outputQueued(qintptr handle)
{
    SerialPortWin32::QueueState state;
    return SerialPortWin32::queueState(handleOf(handle), state) ? int(state.OutQueue) : 0;
}

WriteStatus writeSome(qintptr handle, const char* data, int size, int& written)
{
    switch (SerialPortWin32::writeSome(handleOf(handle), data, size, written)) {
    case SerialPortWin32::WriteStatus::Progress: return WriteStatus::Progress;
    case SerialPortWin32::WriteStatus::Failed: return WriteStatus::Failed;
    default: return WriteStatus::Blocked;
    }
}

bool waitWritable(qintptr handle, int ms) { return SerialPortWin32::waitWritable(handleOf(handle), ms); }

bool hungUp(qintptr handle) { return SerialPortWin32::hungUp(handleOf(handle)); }

#else

bool completeSettings(qintptr, const LineRequest&, TEffectiveSettings&) { return false; }
bool setExclusive(qintptr, bool) { return true; }
void diagnoseOpenFailure(const QString& device, TOpenFailure& failure) { failure.Device = device; }
int outputQueued(qintptr) { return 0; }
WriteStatus writeSome(qintptr, const char*, int, int& written) { written = 0; return WriteStatus::Failed; }
bool waitWritable(qintptr, int) { return false; }
bool hungUp(qintptr) { return false; }

#endif

}  // namespace SerialPortNative
