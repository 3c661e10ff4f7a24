// m51lsp: the language server for M51 and 8051 assembly (see LspRun.h).
#include "languageserver/m51lsp/LspRun.h"

#include <cerrno>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const m51lsp::ReadSome read = [](char* buffer, std::size_t size) -> std::size_t {
        for (;;) {
            const auto n = ::read(0, buffer, static_cast<unsigned>(size));
            if (n > 0)
                return static_cast<std::size_t>(n);
            if (n < 0 && errno == EINTR)
                continue;
            return 0;
        }
    };
    return m51lsp::Run(std::vector<std::string>(argv + 1, argv + argc), read, std::cout, stderr);
}
