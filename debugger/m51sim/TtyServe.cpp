#include "TtyServe.h"

#include "ServedPorts.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace m51sim {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;  // set by the signal handler only

// Bytes from the client waiting for RXD at most: a quarter second at 38400 baud.
constexpr size_t kMaxWaiting = 1024;

void OnSignal(int) { g_interrupted = 1; }

struct Sender : sim::Listener {
    std::string bytes;
    void serialSent(uint64_t, uint8_t byte) override { bytes += static_cast<char>(byte); }
};

} // namespace

std::string ServeOnTty(sim::Machine& machine, const std::string& link, const std::string& program)
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return std::string("no pseudo-terminal: ") + std::strerror(errno);
    termios attributes{};
    if (tcgetattr(slave, &attributes) == 0) {
        cfmakeraw(&attributes);
        tcsetattr(slave, TCSANOW, &attributes);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // Listed while served (shown once the link is there); listed first, so
    // that the run starts as soon as the link appears: a terminal that opens
    // it at once finds the board already keeping pace with the line.
    m51::ServedPortEntry listed;
    std::error_code absolute;
    listed.publish({std::filesystem::absolute(link, absolute).string(), "m51sim", program});
    // Only a link of an earlier run is replaced, never another file.
    struct stat existing{};
    if (lstat(link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode))
        ::unlink(link.c_str());
    if (::symlink(name, link.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::close(master);
        ::close(slave);
        return "cannot link " + link + ": " + why;
    }
    std::fprintf(stderr, "m51sim: the board's serial port is %s (linked at %s); Ctrl+C ends the run\n", name,
                 link.c_str());
    g_interrupted = 0;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    Sender sender;
    machine.setListener(&sender);
    const double cyclesPerNs = machine.board().crystalHz / 12.0 / 1e9;
    const auto begin = std::chrono::steady_clock::now();
    const uint64_t startCycles = machine.cycles();
    char buffer[4096];
    while (!g_interrupted) {
        // Back-pressure: bytes are taken from the client only while few wait
        // for RXD, so a flood stays in the pseudo-terminal (whose writer then
        // waits) instead of piling up here.
        const bool room = machine.serialPending() < kMaxWaiting;
        pollfd fd{master, static_cast<short>(room ? POLLIN : 0), 0};
        ::poll(&fd, 1, 1);
        while (machine.serialPending() < kMaxWaiting) {
            const ssize_t n = ::read(master, buffer, std::min(sizeof buffer, kMaxWaiting - machine.serialPending()));
            if (n <= 0)
                break;
            machine.sendSerial(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
        }
        // The program keeps pace with the wall clock, as the board would.
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - begin);
        const uint64_t due = startCycles + static_cast<uint64_t>(static_cast<double>(ns.count()) * cyclesPerNs);
        while (machine.cycles() < due && !g_interrupted)
            if (machine.step() == 0)
                break;  // power-down: only a reset wakes it
        size_t done = 0;
        while (done < sender.bytes.size()) {
            const ssize_t n = ::write(master, sender.bytes.data() + done, sender.bytes.size() - done);
            if (n <= 0)
                break;  // nobody reads: the line drops the rest, as a real one would
            done += static_cast<size_t>(n);
        }
        sender.bytes.clear();
    }
    machine.setListener(nullptr);
    ::unlink(link.c_str());
    ::close(master);
    ::close(slave);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return {};
}

} // namespace m51sim
