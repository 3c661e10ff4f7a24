#!/usr/bin/env bash
# Assembles one program with m51as and with mcu8051ide and compares the two
# code images byte for byte (both as binary images from address 0 up, made
# from the HEX files by srec_cat).
#
# Files named after WORKDIR (include files such as a register file) are copied
# beside the source first.
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

for tool in mcu8051ide srec_cat; do
  command -v "$tool" >/dev/null 2>&1 ||
    fail "$tool is not installed (scripts/install-deps.sh installs mcu8051ide and srecord)"
done
[ -x "$m51as" ] || fail "assembler $m51as not found"

rm -rf "$work"
mkdir -p "$work" || fail "cannot create $work"
name=$(basename "$source" .asm)
cp "$source" "$work/$name.asm" || fail "cannot copy $source"
for include in "$@"; do
  cp "$include" "$work/" || fail "cannot copy $include"
done
cd "$work" || fail "cannot enter $work"

"$m51as" -o ours "$name.asm" >ours.log 2>&1 || { cat ours.log >&2; fail "m51as rejected $source"; }
HOME=${HOME:-$PWD} timeout 120 mcu8051ide --nocolor --quiet --no-sim --no-bin --compile "$name.asm" >theirs.log 2>&1
if [ $? -ne 0 ] || ! grep -Eq '^0 errors' theirs.log || [ ! -s "$name.hex" ]; then
  cat theirs.log >&2
  fail "mcu8051ide rejected $source"
fi
srec_cat ours.hex -intel -o ours.img -binary || fail "srec_cat cannot read ours.hex"
srec_cat "$name.hex" -intel -o theirs.img -binary || fail "srec_cat cannot read $name.hex"
if ! cmp -s ours.img theirs.img; then
  cmp -l ours.img theirs.img | head -20 >&2
  fail "the images differ (offset, m51as byte, mcu8051ide byte in octal above)"
fi
echo "PASS: $source ($(stat -c %s ours.img) bytes, same image from both assemblers)"
