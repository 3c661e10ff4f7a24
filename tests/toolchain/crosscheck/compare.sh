#!/usr/bin/env bash
# Assembles one program with m51as and with another assembler (as31 or
# mcu8051ide) and compares the two code images byte for byte (both as binary
# images from address 0 up, made from the HEX files by srec_cat).
#
# Files named after WORKDIR (include files such as a register file) are copied
# beside the source first. m51as reads the source in the dialect it detects
# (as31's dot directives make an as31 source).
#
# A missing as31 skips the test (exit 77); a missing mcu8051ide or srec_cat
# fails it, as the crosscheck runs need them.
#
# Usage: compare.sh as31|mcu8051ide M51AS SOURCE.asm WORKDIR [INCLUDE...]
set -uo pipefail

if [ $# -lt 4 ]; then
  echo "usage: $0 as31|mcu8051ide M51AS SOURCE.asm WORKDIR [INCLUDE...]" >&2
  exit 2
fi
other=$1 m51as=$2 source=$3 work=$4
shift 4

fail() { echo "FAIL: $*" >&2; exit 1; }

case "$other" in
  as31|mcu8051ide) ;;
  *) echo "$0: unknown assembler '$other' (as31 or mcu8051ide)" >&2; exit 2 ;;
esac

for tool in "$other" srec_cat; do
  command -v "$tool" >/dev/null 2>&1 && continue
  if [ "$other" = as31 ]; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs as31 and srecord)"
    exit 77
  fi
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
if [ "$other" = as31 ]; then
  as31 "$name.asm" >theirs.log 2>&1
  status=$?
else
  HOME=${HOME:-$PWD} timeout 120 mcu8051ide --nocolor --quiet --no-sim --no-bin --compile "$name.asm" >theirs.log 2>&1
  status=$?
  grep -Eq '^0 errors' theirs.log || status=1
fi
if [ $status -ne 0 ] || [ ! -s "$name.hex" ]; then
  cat theirs.log >&2
  fail "$other rejected $source"
fi
srec_cat ours.hex -intel -o ours.img -binary || fail "srec_cat cannot read ours.hex"
srec_cat "$name.hex" -intel -o theirs.img -binary || fail "srec_cat cannot read $name.hex"
if ! cmp -s ours.img theirs.img; then
  cmp -l ours.img theirs.img | head -20 >&2
  fail "the images differ (offset, m51as byte, $other byte in octal above)"
fi
echo "PASS: $source ($(stat -c %s ours.img) bytes, same image from both assemblers)"
