#!/usr/bin/env bash
# Builds the Debian package of Zelvar, terminal and the command-line tools.
#   scripts/package.sh [--build-dir DIR] [--output DIR] [--no-build]
# Installs what is missing (apt-get), configures and builds the tree in DIR
# (default build/, the folder scripts/test.sh uses; CPack wants every target
# built), then makes the package with CPack in the output folder (default
# dist/) and prints its path last. --no-build packages a built folder as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
output=dist
compile=1
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) [ $# -ge 2 ] || { echo "package.sh: $1 needs a folder" >&2; exit 2; }; build=$2; shift 2 ;;
    --output) [ $# -ge 2 ] || { echo "package.sh: $1 needs a folder" >&2; exit 2; }; output=$2; shift 2 ;;
    --no-build) compile=0; shift ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done

if [ "$compile" = 1 ]; then
  scripts/install-deps.sh
  generator=()  # Ninja for a new build folder, where the machine has it
  [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null && generator=(-G Ninja)
  cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)"
elif [ ! -f "$build/CPackConfig.cmake" ]; then
  echo "package.sh: $build is not a configured build folder" >&2
  exit 2
fi

mkdir -p "$output"
output=$(cd "$output" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$output" >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
# The staging folder is CPack's own business.
rm -rf "$output/_CPack_Packages"
package=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$log" | tail -n 1)
[ -n "$package" ] || { cat "$log" >&2; echo "package.sh: CPack named no package" >&2; exit 1; }
echo "$package"
