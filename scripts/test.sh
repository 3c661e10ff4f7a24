#!/usr/bin/env bash
# Builds everything and runs every test: first the libraries and tools without
# Qt under AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzz
# run (in the background, while the whole tree builds), then the whole tree's
# unit and window tests, the real assembler and simulator round trips and the
# check of the Debian package made from that build; last, the command-line
# tools cross-built for Windows and tested under Wine (CTest's summary of that
# build closes the output). Each stage's heading tells the time it started
# and the time since the start. The exit status is non-zero when a build, a
# test or the fuzzing failed.
set -euo pipefail
cd "$(dirname "$0")/.."

stage() {
  printf '== [%s UTC, %d:%02d since the start] %s\n' "$(date -u +%H:%M:%S)" $((SECONDS / 60)) $((SECONDS % 60)) "$*"
}
# A new build folder gets Ninja where the machine has it; an existing one
# keeps its generator.
generator() {
  [ ! -f "$1/CMakeCache.txt" ] && command -v ninja >/dev/null && echo "-GNinja"
  return 0
}

stage "Packages"
scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

# The fuzz run (a clang build, then a timed run) shares the processors with the
# main build instead of waiting for them; it is done before the main tests
# start, so that their timing is undisturbed.
fuzzing=""
fuzz_log=build-fuzz/sanitize-fuzz.log
trap '[ -z "$fuzzing" ] || kill -- -"$fuzzing" 2>/dev/null || true' EXIT
if [ -x scripts/sanitize.sh ]; then
  stage "Sanitizer build and tests"
  scripts/sanitize.sh tests
  stage "Fuzzing starts in the background (its output follows the main build)"
  mkdir -p build-fuzz
  setsid scripts/sanitize.sh fuzz >"$fuzz_log" 2>&1 &
  fuzzing=$!
fi

# ccache, where the machine has it, makes a rebuild of unchanged sources cheap.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Line tables only (-g1): profiles and backtraces keep their file and line,
# and the build compiles a fifth faster and links objects a sixth the size.
stage "Main build"
cmake -S . -B build $(generator build) -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
cmake --build build -j"$jobs"

if [ -n "$fuzzing" ]; then
  stage "Fuzzing results"
  fuzz_status=0
  wait "$fuzzing" || fuzz_status=$?
  fuzzing=""
  cat "$fuzz_log"
  [ $fuzz_status -eq 0 ] || exit 1
fi

stage "Main tests"
ctest --test-dir build --output-on-failure -j"$jobs"

stage "Windows build and tests under Wine"
scripts/windows-cli.sh
