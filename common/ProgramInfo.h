#pragma once
// What every program of the package says about itself: the release number
// (one for all programs: the project's version, handed in by the build as
// M51_VERSION through the target m51programinfo) and the answer to --help and
// --version.

#include <cstdio>
#include <cstring>

#ifndef M51_VERSION
#error "link the target m51programinfo, which defines M51_VERSION"
#endif

namespace m51 {

inline constexpr const char* kVersion = M51_VERSION;

// "m51c (Zelvar) 3.0"; "Zelvar 3.0" for Zelvar itself.
inline void printVersion(std::FILE* out, const char* program)
{
    if (std::strcmp(program, "Zelvar") == 0)
        std::fprintf(out, "Zelvar %s\n", kVersion);
    else
        std::fprintf(out, "%s (Zelvar) %s\n", program, kVersion);
}

// Answers -h/--help with `usage` and -v/--version with the version, for a
// window program before it opens its display, so both work without a desktop
// (over ssh, in scripts). Returns the exit code when one of them was given
// (before a "--"), -1 when the program should start as usual.
inline int answerInformationOption(int argc, char** argv, const char* program, const char* usage)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--") == 0)
            break;
        if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
            std::fputs(usage, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(a, "-v") == 0 || std::strcmp(a, "--version") == 0) {
            printVersion(stdout, program);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    return -1;
}

} // namespace m51
