#!/usr/bin/env bash
# Packages the VS Code extension (editors/vscode) into a .vsix with Microsoft's
# packager, @vscode/vsce, installed by npm into the build folder.
#   scripts/package-vscode.sh [BUILD_DIR]   ->  BUILD_DIR/vscode/m51-VERSION.vsix
# Exit status 77 (a skip for CTest) when npm is missing or cannot install.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
out="$build/vscode"
if ! command -v npm >/dev/null; then
  echo "package-vscode: npm is not installed (scripts/install-deps.sh nodejs npm)" >&2
  exit 77
fi
rm -rf "$out/extension"
mkdir -p "$out/extension" "$out/tools"
cp -r "$here/editors/vscode/." "$out/extension/"
npm_quiet=(--no-audit --no-fund --loglevel=error)
if ! (cd "$out/extension" && npm install --omit=dev "${npm_quiet[@]}") \
   || ! npm install --prefix "$out/tools" "${npm_quiet[@]}" @vscode/vsce@^3; then
  echo "package-vscode: npm could not install the packages (no network?)" >&2
  exit 77
fi
version="$(node -p "require('$out/extension/package.json').version")"
(cd "$out/extension" && "$out/tools/node_modules/.bin/vsce" package --skip-license --allow-missing-repository \
   --out "$out/m51-$version.vsix")
echo "$out/m51-$version.vsix"
