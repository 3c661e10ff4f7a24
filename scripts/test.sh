#!/usr/bin/env bash
# Builds everything and runs every test: the unit and window tests, the real
# assembler and simulator round trips, then the compiler's tests once more
# under AddressSanitizer and UndefinedBehaviorSanitizer, and a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ -x scripts/sanitize.sh ]; then
  scripts/sanitize.sh
fi
