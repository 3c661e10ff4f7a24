#pragma once
// Shared by the fuzz targets of the file readers: a failed promise aborts,
// which libFuzzer reports like a crash.
#include <cstdlib>

inline void check(bool condition)
{
    if (!condition)
        std::abort();
}
