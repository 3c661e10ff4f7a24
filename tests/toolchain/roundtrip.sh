#!/usr/bin/env bash
# Round trip of one sample program through the tool chain:
#   m51c  ->  m51as (assembler)  ->  s51 (8052 simulator)
# and a check of the values the program must leave in ports, registers and RAM.
# With --crosscheck the program is assembled by mcu8051ide instead, the
# assembler kept as an independent check of m51as: both images must pass the
# same expectations. That assembler takes the 2-byte AJMP/ACALL for a generic
# JMP/CALL to a label it has already seen even when the label lies in another
# 2 KB page, so it is given LJMP/LCALL for every generic JMP/CALL.
#
# Usage: roundtrip.sh [--crosscheck] M51C M51AS SOURCE EXPECTFILE WORKDIR
#
# EXPECTFILE lines (blank lines and lines starting with "#" are ignored):
#   steps N                    instructions to simulate (default 20000)
#   NAME EXPRESSION EXPECTED   EXPRESSION is a uCsim expression such as
#                              sfr[0x90], iram[0x30], xram[0x100] or PC;
#                              EXPECTED is decimal, 0x.. hexadecimal, 0b..
#                              binary, or @LABEL: the address of a label of
#                              the program, read from the assembler listing.
set -uo pipefail

crosscheck=0
if [ "${1:-}" = --crosscheck ]; then
  crosscheck=1
  shift
fi
if [ $# -ne 5 ]; then
  echo "usage: $0 [--crosscheck] M51C M51AS SOURCE EXPECTFILE WORKDIR" >&2
  exit 2
fi
m51c=$1 m51as=$2 source=$3 expect=$4 work=$5

fail() { echo "FAIL: $*" >&2; exit 1; }

tools=(s51)
[ $crosscheck -eq 1 ] && tools+=(mcu8051ide)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null 2>&1 ||
    fail "$tool is not installed (scripts/install-deps.sh installs mcu8051ide and sdcc-ucsim)"
done
[ -x "$m51c" ] || fail "compiler $m51c not found"
[ -x "$m51as" ] || fail "assembler $m51as not found"
[ -r "$source" ] || fail "source $source not readable"
[ -r "$expect" ] || fail "expectations $expect not readable"
# Relative paths stay valid after the change into the work folder.
source=$(realpath "$source") expect=$(realpath "$expect") m51c=$(realpath "$m51c") m51as=$(realpath "$m51as")

# A fresh folder per test: the assembler leaves its old outputs behind when it
# fails, so nothing from an earlier run may be lying around.
rm -rf "$work"
mkdir -p "$work" || fail "cannot create $work"
name=$(basename "$source")
name=${name%%.*}
cp "$source" "$work/$name.M51" || fail "cannot copy $source"
cd "$work" || fail "cannot enter $work"

# 1. Compile.
"$m51c" --lists "$name.lists" "$name.M51" 2>"$name.m51c.err"
rc=$?
if [ $rc -ne 0 ]; then
  cat "$name.m51c.err" >&2
  [ -f "$name.lists" ] && sed -n '/^\[ErBox\]/,$p' "$name.lists" >&2
  fail "m51c exited with $rc on $source"
fi
[ -s "$name.asm" ] || fail "m51c wrote no $name.asm"

# 2. Assemble. Success needs exit code 0 and a HEX file.
if [ $crosscheck -eq 0 ]; then
  "$m51as" --shortest-jumps "$name.asm" >"$name.asm.log" 2>&1
  rc=$?
  if [ $rc -ne 0 ] || [ ! -s "$name.hex" ]; then
    cat "$name.asm.log" >&2
    # Show the generated lines the assembler complained about.
    grep -Eo '\.asm:[0-9]+:' "$name.asm.log" | tr -dc '0-9\n' | sort -un |
      while read -r n; do
        printf '  %s.asm line %s: %s\n' "$name" "$n" "$(sed -n "${n}p" "$name.asm" | tr -d '\r')" >&2
      done
    fail "m51as rejected the output of m51c for $source (exit $rc)"
  fi
else
  # Generic JMP/CALL (not JMP @A+DPTR) become LJMP/LCALL.
  sed -E 's/^([[:space:]]*([^[:space:];:]+:)?[[:space:]]*)(jmp|call)([[:space:]]+[^@[:space:]])/\1L\3\4/I' \
    "$name.asm" >"$name.long.asm" && mv "$name.long.asm" "$name.asm" || fail "cannot rewrite $name.asm"
  # The assembler (a Tcl program) stops at once when HOME is not set.
  HOME=${HOME:-$PWD} timeout 120 mcu8051ide --nocolor --quiet --no-sim --no-bin --compile "$name.asm" \
    >"$name.asm.log" 2>&1
  rc=$?
  if [ $rc -ne 0 ] || ! grep -Eq '^0 errors' "$name.asm.log" || [ ! -s "$name.hex" ]; then
    cat "$name.asm.log" >&2
    fail "mcu8051ide rejected the output of m51c for $source (exit $rc)"
  fi
fi

# 3. Read the expectations.
steps=20000
names=() exprs=() wants=()
while read -r a b c rest; do
  [ -z "${a:-}" ] && continue
  case $a in \#*) continue ;; esac
  if [ "$a" = steps ]; then steps=$b; continue; fi
  [ -n "${c:-}" ] || fail "$expect: incomplete line '$a $b'"
  if [[ $c == @* ]]; then
    label=${c#@}
    # Symbol table line: "PARK . . . . . .  C  ADDR  0024H"
    addr=$(grep -Ei "^${label}[ .]" "$name.lst" | grep -Eo 'ADDR +[0-9A-Fa-f]+H' | head -1 |
      grep -Eo '[0-9A-Fa-f]+H' | tr -d H)
    [ -n "$addr" ] || fail "label $label not found in the listing"
    c=$((16#$addr))
  elif [[ $c =~ ^(0[xX][0-9A-Fa-f]+|0[bB][01]+|[0-9]+)$ ]]; then
    [[ $c == 0[bB]* ]] && c=$((2#${c:2}))
    c=$((c))
  else
    fail "$expect: '$c' is not a number or @label (line '$a $b $c')"
  fi
  names+=("$a") exprs+=("$b") wants+=("$c")
done <"$expect"
[ ${#exprs[@]} -gt 0 ] || fail "$expect holds no values to check"

# 4. Simulate. The commands come from a command file (-C) rather than standard
# input, so that the simulator's echo of each command stays in step with its
# answer; a fixed seed (-R) makes the random power-on RAM the same every run.
# The sentinel values frame the answers so that the banner, the echoed commands
# and the stop report never get mixed up with them.
{
  echo "file \"$name.hex\""
  echo "step $steps"
  echo "expression 987654321"
  for e in "${exprs[@]}"; do echo "expression $e"; done
  echo "expression 987654322"
  echo "quit"
} >"$name.sim.cmd"
timeout 60 s51 -t 8052 -R 1 -C "$name.sim.cmd" </dev/null >"$name.sim.out" 2>&1
rc=$?
[ $rc -eq 0 ] || { cat "$name.sim.out" >&2; fail "s51 exited with $rc"; }

mapfile -t answers < <(tr -d '\r' <"$name.sim.out" |
  sed -n '/^987654321$/,/^987654322$/p' | sed '1d;$d' | grep -v '^expression ')
if [ ${#answers[@]} -ne ${#exprs[@]} ]; then
  cat "$name.sim.out" >&2
  fail "s51 answered ${#answers[@]} of ${#exprs[@]} questions"
fi

# 5. Compare.
bad=0
for i in "${!exprs[@]}"; do
  got=${answers[$i]}
  if ! [[ $got =~ ^-?[0-9]+$ ]]; then
    printf 'FAIL: %-12s %-14s expected %3d (0x%02X), simulator said: %s\n' \
      "${names[$i]}" "${exprs[$i]}" "${wants[$i]}" "${wants[$i]}" "$got" >&2
    bad=1
  elif [ "$got" -ne "${wants[$i]}" ]; then
    printf 'FAIL: %-12s %-14s expected %3d (0x%02X), got %3d (0x%02X)\n' \
      "${names[$i]}" "${exprs[$i]}" "${wants[$i]}" "${wants[$i]}" "$got" "$got" >&2
    bad=1
  else
    printf 'ok    %-12s %-14s = %d (0x%02X)\n' "${names[$i]}" "${exprs[$i]}" "$got" "$got"
  fi
done
if [ $bad -ne 0 ]; then
  echo "--- generated assembly ($work/$name.asm) ---" >&2
  tr -d '\r' <"$name.asm" >&2
  fail "$source: simulated values differ"
fi
echo "PASS: $source (${#exprs[@]} values after $steps steps)"
