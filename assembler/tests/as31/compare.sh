#!/usr/bin/env bash
# Assembles one as31 source with m51as and with as31 and compares the two code
# images byte for byte (binary images made from the HEX files by srec_cat).
# Files named after WORKDIR (include files) are copied beside the source.
# Exits 77 (the test is skipped) when as31 or srec_cat is not installed.
#
# Usage: compare.sh M51AS SOURCE.asm WORKDIR [INCLUDE...]
set -uo pipefail

if [ $# -lt 3 ]; then
  echo "usage: $0 M51AS SOURCE.asm WORKDIR [INCLUDE...]" >&2
  exit 2
fi
m51as=$1 source=$2 work=$3
shift 3

fail() { echo "FAIL: $*" >&2; exit 1; }

for tool in as31 srec_cat; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs as31 and srecord)"
    exit 77
  fi
done

rm -rf "$work"
mkdir -p "$work" || fail "cannot create $work"
name=$(basename "$source" .asm)
cp "$source" "$work/$name.asm" || fail "cannot copy $source"
for include in "$@"; do
  cp "$include" "$work/" || fail "cannot copy $include"
done
cd "$work" || fail "cannot enter $work"

# Without --dialect: the dot directives make it an as31 source.
"$m51as" -o ours "$name.asm" >ours.log 2>&1 || { cat ours.log >&2; fail "m51as rejected $source"; }
as31 "$name.asm" >theirs.log 2>&1
if [ $? -ne 0 ] || [ ! -s "$name.hex" ]; then
  cat theirs.log >&2
  fail "as31 rejected $source"
fi
srec_cat ours.hex -intel -o ours.img -binary || fail "srec_cat cannot read ours.hex"
srec_cat "$name.hex" -intel -o theirs.img -binary || fail "srec_cat cannot read $name.hex"
if ! cmp -s ours.img theirs.img; then
  cmp -l ours.img theirs.img | head -20 >&2
  fail "the images differ (offset, m51as byte, as31 byte in octal above)"
fi
echo "PASS: $source ($(stat -c %s ours.img) bytes, same image from both assemblers)"
