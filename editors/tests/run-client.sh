#!/usr/bin/env bash
# Runs one of the real-client checks for CTest; exit status 77 (a skip) when
# the client cannot be had on this machine.
#   run-client.sh dap BUILD_DIR M51SIM EXAMPLES_DIR   Microsoft's debug adapter test client (npm)
#   run-client.sh lsp BUILD_DIR M51LSP                Neovim's language server client
set -uo pipefail
mode=$1 build=$2 program=$3
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
case $mode in
dap)
  clients="$build/editor-clients"
  if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    echo "SKIP: node and npm are not installed (scripts/install-deps.sh nodejs npm)"; exit 77
  fi
  if [ ! -d "$clients/node_modules/@vscode/debugadapter-testsupport" ] \
     && ! npm install --prefix "$clients" --no-audit --no-fund --loglevel=error @vscode/debugadapter-testsupport@^1.68; then
    echo "SKIP: npm could not install @vscode/debugadapter-testsupport (no network?)"; exit 77
  fi
  NODE_PATH="$clients/node_modules" node "$here/dap-client.js" "$program" "$4" "$work"
  ;;
lsp)
  if ! command -v nvim >/dev/null; then
    echo "SKIP: Neovim is not installed (scripts/install-deps.sh neovim)"; exit 77
  fi
  M51LSP="$program" WORK_DIR="$work" nvim --headless -u NONE -i NONE -c "luafile $here/lsp-client.lua"
  ;;
esac
