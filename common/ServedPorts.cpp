#include "common/ServedPorts.h"

#include "common/FileWrite.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace m51 {

namespace {

#ifndef _WIN32
constexpr const char* kSuffix = ".port";

// One line a value: a line break in a name would start another.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

bool ProcessAlive(long pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The folder, made if missing; empty when it cannot be made or belongs to
// someone else (a folder under /tmp planted by another user).
std::string UsableFolder()
{
    const std::string folder = ServedPortsFolder();
    ::mkdir(folder.c_str(), 0700);
    struct stat info{};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return {};
    return folder;
}

std::optional<ServedPort> ReadEntry(const fs::path& file)
{
    std::ifstream in(file);
    if (!in)
        return std::nullopt;
    ServedPort port;
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == "path")
            port.path = value;
        else if (key == "program")
            port.program = value;
        else if (key == "running")
            port.running = value;
        else if (key == "pid")
            port.pid = std::strtol(value.c_str(), nullptr, 10);
    }
    if (port.path.empty() || port.pid <= 0)
        return std::nullopt;
    return port;
}
#endif

} // namespace

std::string ServedPortsFolder()
{
#ifdef _WIN32
    return {};
#else
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        return std::string(runtime) + "/zelvar-ports";
    return "/tmp/zelvar-ports-" + std::to_string(::getuid());
#endif
}

std::vector<ServedPort> ListServedPorts()
{
    std::vector<ServedPort> ports;
#ifndef _WIN32
    const std::string folder = UsableFolder();
    if (folder.empty())
        return ports;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() != kSuffix)
            continue;
        const std::optional<ServedPort> port = ReadEntry(entry.path());
        if (!port)
            continue;
        if (!ProcessAlive(port->pid)) {
            fs::remove(entry.path(), error);  // left behind by a program that ended without withdrawing it
            continue;
        }
        if (fs::exists(port->path, error))
            ports.push_back(*port);
    }
    std::sort(ports.begin(), ports.end(),
              [](const ServedPort& a, const ServedPort& b) { return a.path < b.path; });
#endif
    return ports;
}

std::string ServedPortEntry::publish(const ServedPort& port)
{
#ifdef _WIN32
    (void)port;
    return "Windows has no pseudo-terminals to serve";
#else
    const std::string folder = UsableFolder();
    if (folder.empty())
        return "cannot use the folder " + ServedPortsFolder();
    if (m_file.empty()) {
        std::ostringstream name;
        name << folder << '/' << ::getpid() << '-' << static_cast<const void*>(this) << kSuffix;
        m_file = name.str();
    }
    const std::string text = "path=" + OneLine(port.path) + "\nprogram=" + OneLine(port.program)
                           + "\nrunning=" + OneLine(port.running) + "\npid=" + std::to_string(::getpid()) + "\n";
    return writeFileAtomically(m_file, text);
#endif
}

void ServedPortEntry::withdraw()
{
    if (m_file.empty())
        return;
    std::remove(m_file.c_str());
    m_file.clear();
}

} // namespace m51
