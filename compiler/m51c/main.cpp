// m51c [--lists LISTFILE] [--map MAPFILE] [-o OUTFILE] SOURCE — compiles an M51 source into
// 8051 assembly as the environment's "Check" does.
#include "compiler/m51c/M51cRun.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#ifdef _WIN32
#include <filesystem>
#include <windows.h>
#include <shellapi.h>

namespace {

// The arguments as UTF-8, taken from the UTF-16 command line: the ANSI argv
// would turn every character outside the system code page into "?".
std::vector<std::string> Arguments(int, char**)
{
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i) {
        const std::u8string utf8 = std::filesystem::path(wide[i]).u8string();
        args.emplace_back(utf8.begin(), utf8.end());
    }
    LocalFree(wide);
    return args;
}

} // namespace
#else
namespace {

std::vector<std::string> Arguments(int argc, char** argv)
{
    return {argv + 1, argv + argc};
}

} // namespace
#endif

int main(int argc, char** argv)
{
    try {
        const std::vector<std::string> args = Arguments(argc, argv);
        return m51c::Run(args, stdout, stderr);
    } catch (const std::exception& e) {
        // Running out of memory on a pathological source: unfinished files
        // have been removed on the way out.
        std::fprintf(stderr, "m51c: %s\n", e.what());
        return 2;
    }
}
