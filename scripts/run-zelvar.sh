#!/usr/bin/env bash
# Installs what is missing, builds, and starts Zelvar on a bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"
example="${1:-examples/blink.M51}"
exec build/ide/Zelvar "$example"
