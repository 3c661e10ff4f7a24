#include "debugger/SerialPty.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace m51dbg {

SerialPty::~SerialPty()
{
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
}

std::string SerialPty::open()
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        return std::string("no pseudo-terminal: ") + std::strerror(errno);
    termios attributes{};
    if (tcgetattr(slave_, &attributes) == 0) {
        cfmakeraw(&attributes);
        tcsetattr(slave_, TCSANOW, &attributes);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    path_ = name;
    return {};
}

std::string SerialPty::take(std::size_t room)
{
    std::string bytes;
    char buffer[1024];
    while (master_ >= 0 && bytes.size() < room) {
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, room - bytes.size()));
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

void SerialPty::give(const std::string& bytes)
{
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
}

void SerialPty::wait(int timeoutMs, bool forInput) const
{
    pollfd fd{master_, static_cast<short>(forInput ? POLLIN : 0), 0};
    ::poll(&fd, 1, timeoutMs);
}

} // namespace m51dbg
