#!/usr/bin/env bash
# Installs, from Debian/Ubuntu packages, whatever the build, the tests and the
# build chain need and the machine does not have yet. Safe to run again.
# With package names as arguments, installs just those that are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
  libqscintilla2-qt6-dev   # the code editor component of Zelvar
  libqcustomplot-dev lrzsz   # the terminal's plot and its file transfers
  libjpeg-dev libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev   # JSON for the language server and the debug adapter
  sdcc   # the C compiler of C programs
  clang libclang-rt-14-dev
  mcu8051ide sdcc-ucsim srecord lcov
  as31   # the as31 cross-check of m51as
  dpkg-dev   # the package: dpkg-shlibdeps
  neovim   # the language server's test client (nvim --headless)
)
# The VS Code package and the debug adapter's test client need Node.js and
# npm; a machine that has them from elsewhere (NodeSource's nodejs carries its
# own npm and conflicts with Debian's) keeps them.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
[ $# -gt 0 ] && packages=("$@")
# One dpkg-query for all of them: a check of a machine that has everything
# takes a few milliseconds.
declare -A installed=()
while IFS=$'\t' read -r name status; do
  [ "$status" = "install ok installed" ] && installed[$name]=1
done < <(dpkg-query -W -f='${Package}\t${Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
  [ -n "${installed[$p]:-}" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
