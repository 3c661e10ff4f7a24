#!/usr/bin/env bash
# Installs what is missing, builds Zelvar, and starts it on a bundled example.
# On a built tree this takes a moment: the package check is one dpkg-query, a
# configured build folder is not configured again (the build itself does that
# when a CMakeLists.txt changed), and only Zelvar and what it runs are built.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=build
if [ ! -f "$build/CMakeCache.txt" ]; then
  # Ninja, where the machine has it, checks an up-to-date tree fastest.
  generator=()
  command -v ninja >/dev/null && generator=(-G Ninja)
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  # The same settings as the test command's build (scripts/test.sh), so that either reuses the other's.
  cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
fi
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target Zelvar
example="${1:-examples/blink.M51}"
exec "$build/ide/Zelvar" "$example"
