#include "debugger/dap/AdapterRun.h"

#include "debugger/dap/CoreDebuggee.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <ostream>
#include <streambuf>

namespace m51dap {

namespace {

// Writes straight to a descriptor; a client that has gone makes the writes
// fail (SIGPIPE is ignored), and the next read ends the session.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int fd) : fd_(fd) {}

protected:
    std::streamsize xsputn(const char* data, std::streamsize size) override
    {
        std::streamsize done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd_, data + done, static_cast<size_t>(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return done;
            done += n;
        }
        return done;
    }
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }

private:
    int fd_;
};

debugadapter::ReadWithin ReaderOf(int fd)
{
    return [fd](char* buffer, std::size_t size, int timeoutMs) -> long {
        pollfd p{fd, POLLIN, 0};
        for (;;) {
            const int ready = ::poll(&p, 1, timeoutMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0)
                return -1;
            if (ready == 0)
                return 0;
            const ssize_t n = ::read(fd, buffer, size);
            if (n < 0 && errno == EINTR)
                continue;
            return n > 0 ? static_cast<long>(n) : -1;
        }
    };
}

int Serve(int in, int out)
{
    DescriptorBuffer buffer(out);
    std::ostream stream(&buffer);
    CoreDebuggee debuggee;
    return debugadapter::Serve(debuggee, ReaderOf(in), stream);
}

// Listens on localhost only: the adapter lets its client run code and write memory.
int ServePort(unsigned port, std::FILE* err)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) {
        std::fprintf(err, "m51sim: cannot open a socket: %s\n", std::strerror(errno));
        return 2;
    }
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 || ::listen(listener, 1) < 0) {
        std::fprintf(err, "m51sim: cannot listen on port %u of localhost: %s\n", port, std::strerror(errno));
        ::close(listener);
        return 2;
    }
    std::fprintf(err, "m51sim: the debug adapter listens on 127.0.0.1:%u\n", port);
    std::fflush(err);
    int client = -1;
    do
        client = ::accept(listener, nullptr, nullptr);
    while (client < 0 && errno == EINTR);
    ::close(listener);
    if (client < 0) {
        std::fprintf(err, "m51sim: no client connected: %s\n", std::strerror(errno));
        return 2;
    }
    const int status = Serve(client, client);
    ::close(client);
    return status;
}

} // namespace

bool WantsAdapter(const std::vector<std::string>& args)
{
    for (const std::string& a : args)
        if (a == "--dap" || a == "--dap-port")
            return true;
    return false;
}

int RunAdapter(const std::vector<std::string>& args, std::FILE* err)
{
    std::signal(SIGPIPE, SIG_IGN);
    unsigned port = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--dap")
            continue;
        if (args[i] == "--dap-port" && i + 1 < args.size()) {
            const std::string& v = args[++i];
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), port);
            if (ec == std::errc() && end == v.data() + v.size() && port > 0 && port < 65536)
                continue;
        }
        std::fprintf(err, "m51sim: --dap takes the program from its launch request; usage: m51sim --dap | "
                          "m51sim --dap-port N (1-65535)\n");
        return 2;
    }
    return port ? ServePort(port, err) : Serve(0, 1);
}

} // namespace m51dap
