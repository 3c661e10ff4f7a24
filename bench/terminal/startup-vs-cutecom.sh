#!/usr/bin/env bash
# Start to the first painted window: the terminal against CuteCom, in the same
# run on a private Xvfb. CuteCom is only needed here, so it is installed here.
#   bench/terminal/startup-vs-cutecom.sh [BUILD_DIR=build] [runs=7]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
"$root/scripts/install-deps.sh" cutecom
cmake --build "$build" --target terminal terminal_startup
"$build/bench/terminal/terminal_startup" "$build/terminal/terminal" "${2:-7}"
