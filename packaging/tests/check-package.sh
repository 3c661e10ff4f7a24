#!/usr/bin/env bash
# The package as a user gets it: builds the Debian package from a built tree
# (scripts/package.sh --no-build), unpacks it into a scratch root (dpkg -x) and
# checks its control fields, its file list, its manual pages, --help and
# --version of every program, the first start of the installed Zelvar (which
# fills its data folder from the package), and one compile of a sample
# program with the installed m51c and the build template of that data folder,
# run as Zelvar's "Debug" runs it.
# Usage: check-package.sh BUILD_DIR WORK_DIR VERSION PROGRAM...
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: check-package.sh BUILD_DIR WORK_DIR VERSION PROGRAM..." >&2; exit 2; }
build=$1 work=$2 version=$3
shift 3
programs=("$@")
here=$(cd "$(dirname "$0")" && pwd)

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
has() { local p; for p in "${programs[@]}"; do [ "$p" = "$1" ] && return 0; done; return 1; }

rm -rf "$work"
mkdir -p "$work"
deb=$("$here/../../scripts/package.sh" --no-build --build-dir "$build" --output "$work/dist" | tail -n 1)
echo "package: $deb"
root=$work/root
dpkg-deb -x "$deb" "$root"

# Control fields: the project's version, computed and fixed dependencies.
[ "$(dpkg-deb -f "$deb" Package)" = zelvar ] || fail "package name $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version), expected $version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in sdcc-ucsim qt6-qpa-plugins libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6serialport6 libqscintilla2-qt6-15; do
  [[ "$depends" =~ (^|,\ )"$d"(\ |,|$) ]] || fail "Depends lacks $d"
done

# The file list.
expected=(
  usr/share/zelvar/Zelvar.INI usr/share/zelvar/Zelvar.rtf usr/share/zelvar/compile.sh
  usr/share/zelvar/splash.jpg usr/share/zelvar/Macro/Frame.Mac usr/share/zelvar/registers/8052.MCU
  usr/share/zelvar/registers/89S52.MCU
  usr/share/doc/zelvar/README.md usr/share/doc/zelvar/examples/blink.M51
)
for p in "${programs[@]}"; do
  expected+=("usr/bin/$p" "usr/share/man/man1/$p.1.gz")
done
expected+=(usr/share/applications/zelvar.desktop usr/share/icons/hicolor/256x256/apps/zelvar.png
           usr/share/metainfo/zelvar.metainfo.xml
           usr/share/applications/zelvar-terminal.desktop usr/share/pixmaps/zelvar-terminal.xpm
           usr/share/metainfo/zelvar-terminal.metainfo.xml)
for f in "${expected[@]}"; do
  [ -f "$root/$f" ] || fail "missing /$f"
done
for f in "$here"/../../examples/*.M51; do
  [ -f "$root/usr/share/doc/zelvar/examples/$(basename "$f")" ] || fail "sample $(basename "$f") missing"
done
(cd "$root" && find . -mindepth 1 -maxdepth 1) | grep -vx './usr' && fail "files outside /usr"
for f in "$root"/usr/bin/*; do
  has "$(basename "$f")" || fail "unexpected program /usr/bin/$(basename "$f")"
done
(cd "$root" && find usr -name '*.a' -o -name '*.h' -o -path 'usr/include*' -o -name '*.cmake') | grep . \
  && fail "build files in the package"

# Manual pages render without warnings; desktop entries and metadata are valid
# where the validators are installed.
if command -v groff >/dev/null; then
  for p in "${programs[@]}"; do
    [ -f "$root/usr/share/man/man1/$p.1.gz" ] || continue
    warnings=$(zcat "$root/usr/share/man/man1/$p.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "manual page of $p: $warnings"
    zcat "$root/usr/share/man/man1/$p.1.gz" | grep -q '\.SH EXIT STATUS' || fail "manual page of $p has no EXIT STATUS"
  done
fi
if command -v desktop-file-validate >/dev/null; then
  for f in "$root"/usr/share/applications/*.desktop; do
    desktop-file-validate "$f" || fail "desktop entry $f"
  done
fi
if command -v appstreamcli >/dev/null; then
  for f in "$root"/usr/share/metainfo/*.xml; do
    # Errors fail; the warning about an ID that is not a reversed domain name does not.
    appstreamcli validate --no-net "$f" | grep '^E:' && fail "AppStream metadata $f"
  done
fi

# --help and --version of every program, without a display.
for p in "${programs[@]}"; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$root/usr/bin/$p" --version 2>&1) \
    || fail "$p --version failed: $out"
  [[ "$out" == *"$version"* ]] || fail "$p --version says '$out', not $version"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$root/usr/bin/$p" --help 2>&1) \
    || fail "$p --help failed: $out"
  [[ "$out" == *Usage* ]] || fail "$p --help shows no usage"
done

# The installed Zelvar's first start: it fills its data folder with the
# installed setup, help file, build template and snippets.
home=$work/home
data=$home/.local/share/Zelvar
mkdir -p "$home"
env -u XDG_DATA_HOME HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/Zelvar" >"$work/zelvar.log" 2>&1 &
pid=$!
for _ in $(seq 300); do
  [ -f "$data/Zelvar.INI" ] && [ -f "$data/Zelvar.rtf" ] && [ -f "$data/compile.sh" ] && [ -d "$data/Macro" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
sleep 0.5
if kill -0 "$pid" 2>/dev/null; then
  kill "$pid"
  wait "$pid" 2>/dev/null || true
else
  fail "the installed Zelvar ended at its first start: $(cat "$work/zelvar.log")"
fi
(cd "$root/usr/share/zelvar" && find . -type f) | while read -r f; do
  cmp -s "$root/usr/share/zelvar/$f" "$data/$f" || echo "$f"
done >"$work/notcopied"
[ -s "$work/notcopied" ] && fail "the data folder lacks the installed $(tr '\n' ' ' <"$work/notcopied")"

# One compile of a sample: the installed m51c, then the build template of the
# data folder with "Filename" replaced as Zelvar's "Debug" does, with the
# installed programs first on the path.
src=$work/sample
mkdir -p "$src"
cp "$root/usr/share/doc/zelvar/examples/blink.M51" "$src/"
PATH=$root/usr/bin:$PATH
if ! (cd "$src" && m51c blink.M51); then
  fail "the installed m51c failed on blink.M51"
elif ! grep -q 'END' "$src/blink.asm"; then
  fail "blink.asm is not a complete program"
else
  sed "s|\"Filename\"|'$src/blink'|g" "$data/compile.sh" >"$src/compil.sh"
  if (cd "$src" && sh ./compil.sh) >"$work/build.log" 2>&1; then
    for f in blink.lst blink.hex blink.bin; do
      [ -s "$src/$f" ] || fail "the build template made no $f"
    done
  else
    fail "the build template failed: $(cat "$work/build.log")"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of $deb failed" >&2
  exit 1
fi
echo "package $deb: contents, programs and sample build checked"
