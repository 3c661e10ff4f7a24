#include "debugger/m51sim/TtyServe.h"

#include "debugger/SerialPty.h"
#include "common/ServedPorts.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
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
    m51dbg::SerialPty port;
    if (const std::string error = port.open(); !error.empty())
        return error;
    const char* name = port.path().c_str();
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
        return "cannot link " + link + ": " + std::strerror(errno);
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
    while (!g_interrupted) {
        // Back-pressure: bytes are taken from the client only while few wait
        // for RXD, so a flood stays in the pseudo-terminal (whose writer then
        // waits) instead of piling up here.
        const bool room = machine.serialPending() < kMaxWaiting;
        port.wait(1, room);
        if (room) {
            const std::string typed = port.take(kMaxWaiting - machine.serialPending());
            machine.sendSerial(reinterpret_cast<const uint8_t*>(typed.data()), typed.size());
        }
        // The program keeps pace with the wall clock, as the board would.
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - begin);
        const uint64_t due = startCycles + static_cast<uint64_t>(static_cast<double>(ns.count()) * cyclesPerNs);
        while (machine.cycles() < due && !g_interrupted)
            if (machine.step() == 0)
                break;  // power-down: only a reset wakes it
        port.give(sender.bytes);
        sender.bytes.clear();
    }
    machine.setListener(nullptr);
    ::unlink(link.c_str());
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return {};
}

} // namespace m51sim
