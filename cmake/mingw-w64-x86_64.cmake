# Cross build of the Qt-free libraries, programs and tests for 64-bit Windows
# with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix); the tests run under
# Wine. scripts/windows-cli.sh uses it:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DM51_GTEST_SOURCE=/usr/src/googletest -DM51_WITH_ZELVAR=OFF -DM51_WITH_TERMINAL=OFF -DM51_WITH_BENCH=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(m51_mingw x86_64-w64-mingw32)
# The posix flavour has std::thread and std::mutex (winpthreads).
set(CMAKE_C_COMPILER ${m51_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${m51_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${m51_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${m51_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: no libgcc, libstdc++ or winpthread DLLs to ship or
# to find at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine in a prefix of the build folder's own, without a
# display and without Wine's debug chatter. The Windows drive Z: is the root of
# the Linux file system, so the build's absolute paths keep working; a UTF-8
# locale lets Wine store any Unicode file name there.
find_program(M51_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(M51_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    env LC_ALL=C.UTF-8 WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY=
    ${M51_WINE})
endif()
# List the tests of a GoogleTest program when CTest runs, not after linking, so
# that building needs no Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
