#!/usr/bin/env bash
# Cross-builds the libraries and command-line programs that need no Qt (m51c,
# and whatever else the top-level CMakeLists.txt adds without Qt, such as the
# assembler) for 64-bit Windows with MinGW-w64, in build-windows/, and runs
# their GoogleTest suites, m51c's Windows cases among them, under Wine.
# Installs what is missing (apt-get). CTest's summary closes the output; the
# exit status is non-zero when a step or a test failed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh cmake make ninja-build g++-mingw-w64-x86-64-posix wine64 googletest

build=build-windows
jobs=$(nproc 2>/dev/null || echo 2)
# The first of the given programs that exists. (Not `command -v ... | head`:
# head may close the pipe before command -v has written everything, and with
# pipefail the script would stop silently with status 141.)
first_program() {
  local p
  for p in "$@"; do command -v "$p" && return 0; done
  return 1
}
wine=$(first_program /usr/lib/wine/wine64 wine64 wine)
wineserver=$(first_program /usr/lib/wine/wineserver64 wineserver)
# The same Wine setting as the toolchain file gives the tests: a prefix of the
# build's own, no display, no debug chatter, no Mono or Gecko download prompt,
# file names in UTF-8.
export LC_ALL=C.UTF-8 WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY=

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Optimised as the Linux build (-O2), without debug information: a quarter
# less compile time and far smaller objects to link.
# A new build folder gets Ninja where the machine has it; an existing one
# keeps its generator.
generator=()
[ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DM51_GTEST_SOURCE=/usr/src/googletest -DM51_WITH_ZELVAR=OFF -DM51_WITH_TERMINAL=OFF -DM51_WITH_BENCH=OFF \
  "${launcher[@]}"

# Wine's services run for the whole test run under one persistent server:
# started by a test instead, they would hold its output pipe open. Creating
# the prefix (about half a minute the first time) overlaps the build.
mkdir -p "$WINEPREFIX"
"$wineserver" -k 2>/dev/null || true
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT
"$wine" wineboot --init >"$build/wineboot.log" 2>&1 &
boot=$!

cmake --build "$build" -j"$jobs"
if ! wait "$boot"; then
  cat "$build/wineboot.log" >&2
  echo "Wine could not start (wineboot --init failed)" >&2
  exit 1
fi
# A hung test (Wine waiting on something) fails after two minutes.
ctest --test-dir "$build" --output-on-failure --timeout 120 -j"$jobs"
