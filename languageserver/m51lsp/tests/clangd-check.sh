#!/usr/bin/env bash
# clangd reads an SDCC C source (its __sfr, __sbit, __interrupt) without errors
# once m51lsp has written the project's clangd files.
#   clangd-check.sh M51LSP CLANGD EXAMPLE_FOLDER
set -euo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$3/." "$work/"
"$1" --clangd "$work"
for source in "$work"/*.c; do
  if ! (cd "$work" && "$2" --check="$source" > "$work/check.log" 2>&1); then
    grep -E "\[[a-z_]+\]|E\[" "$work/check.log" | head -20
    echo "clangd found errors in $(basename "$source")"
    exit 1
  fi
done
echo "clangd reads the SDCC sources without errors"
