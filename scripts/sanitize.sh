#!/usr/bin/env bash
# The libraries and command-line tools without Qt under AddressSanitizer and
# UndefinedBehaviorSanitizer:
#  1. (step "tests") builds them and their tests in build-sanitize/ with
#     -DM51_SANITIZE=ON (no Qt programs, no benchmarks) and runs them; with
#     clang, the same build holds the libFuzzer targets, so that the libraries
#     are compiled once for both steps;
#  2. (step "fuzz") builds the libFuzzer targets (in build-sanitize/ where
#     step 1 made them with clang, else with clang in build-fuzz/) and
#     fuzzes CompileSource (seeded with examples/) and Assemble (seeded with
#     the examples as m51c writes them and the all-opcode program) for
#     FUZZ_SECONDS seconds (default 60), and the readers of board, test,
#     script, HEX and state files, of breakpoint conditions, of SDCC's output
#     and of the debug adapter's and language server's message stream for
#     FUZZ_READER_SECONDS (default and at most FUZZ_SECONDS). All targets run
#     at the same time, so the run takes FUZZ_SECONDS whatever their number;
#     each target's output is shown when all are done.
#   scripts/sanitize.sh [tests|fuzz]   (both steps without an argument)
# Both build with -O1 and line tables only (-g1): what the sanitizers advise,
# enough for file and line in every report, and less than half the compile
# time of -O2 -g.
# Any finding fails the script; the input that caused it is left in
# build-fuzz/artifacts/ (compiler) or build-fuzz/asm-artifacts/ (assembler) and
# belongs, once fixed, in tests/robustness/inputs/ or a unit test.
set -euo pipefail
cd "$(dirname "$0")/.."

step=${1:-all}
case "$step" in
  all|tests|fuzz) ;;
  *) echo "sanitize.sh: unknown step $step (tests or fuzz)" >&2; exit 2 ;;
esac
jobs=$(nproc 2>/dev/null || echo 2)
seconds=${FUZZ_SECONDS:-60}
reader_seconds=${FUZZ_READER_SECONDS:-$seconds}
reader_seconds=$((reader_seconds < seconds ? reader_seconds : seconds))
common=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DM51_WITH_ZELVAR=OFF -DM51_WITH_TERMINAL=OFF -DM51_WITH_BENCH=OFF
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")
if command -v ccache >/dev/null; then
  common+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# A new build folder gets Ninja where the machine has it; an existing one
# keeps its generator.
generator() {
  [ ! -f "$1/CMakeCache.txt" ] && command -v ninja >/dev/null && echo "-GNinja"
  return 0
}

# With clang, the sanitizer build is instrumented for libFuzzer as well
# (coverage only: the tests run as before) and holds the fuzz targets.
# A folder configured before with g++ stays so, and the fuzz targets then get
# a folder of their own.
sanitize_dir=build-sanitize
clang_build() {
  grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang' "$1/CMakeCache.txt" 2>/dev/null
}
with_fuzz=()
if command -v clang++ >/dev/null && { [ ! -f "$sanitize_dir/CMakeCache.txt" ] || clang_build "$sanitize_dir"; }; then
  with_fuzz=(-DM51_FUZZ=ON -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link)
fi
fuzz_dir() {
  clang_build "$sanitize_dir" && grep -q '^M51_FUZZ:BOOL=ON' "$sanitize_dir/CMakeCache.txt" && echo "$sanitize_dir" ||
    echo build-fuzz
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0

if [ "$step" != fuzz ]; then
  echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  compilers=()
  [ ${#with_fuzz[@]} -gt 0 ] && compilers=(CXX=clang++ CC=clang)
  env "${compilers[@]}" cmake -S . -B "$sanitize_dir" $(generator "$sanitize_dir") "${common[@]}" -DM51_SANITIZE=ON \
    "${with_fuzz[@]}"
  cmake --build "$sanitize_dir" -j"$jobs"
  ctest --test-dir "$sanitize_dir" --output-on-failure -j"$jobs" || status=1
  if [ "$step" = tests ]; then
    [ $status -eq 0 ] || { echo "== Sanitizer tests FAILED" >&2; exit 1; }
    echo "== Sanitizer tests passed"
    exit 0
  fi
fi

# fuzz TARGET DICT ARTIFACTS CORPUS SEEDS...: starts one fuzz target for the
# set time, its output in build-fuzz/TARGET.log; finish_fuzzing waits for all.
# A crash or anything a target leaves in its ARTIFACTS fails the script.
fuzzers=()
fuzz() {
  local target=$1 dict=$2 found=$3
  shift 3
  local duration=${FUZZ_TIME:-$seconds}
  local options=(-max_total_time="$duration" -max_len=16384 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$found/")
  [ -n "$dict" ] && options+=(-dict="$dict")
  echo "== Fuzzing $target for ${duration} s"
  "$targets"/fuzz/"$target" "$@" "${options[@]}" >"build-fuzz/$target.log" 2>&1 &
  fuzzers+=("$!:$target:$found")
}
finish_fuzzing() {
  local entry pid target found
  for entry in "${fuzzers[@]}"; do
    IFS=: read -r pid target found <<<"$entry"
    if ! wait "$pid"; then
      status=1
      cat "build-fuzz/$target.log" >&2
    else
      # The run's figures: executions, speed, memory.
      grep '^stat::' "build-fuzz/$target.log" | sed "s/^/$target /" || true
    fi
    if compgen -G "$found/*" >/dev/null; then
      echo "The fuzzer left findings in $found:" >&2
      ls -l "$found" >&2
      status=1
    fi
  done
  fuzzers=()
}
trap 'for entry in "${fuzzers[@]}"; do kill "${entry%%:*}" 2>/dev/null || true; done' EXIT

echo "== Building the fuzz targets"
targets=$(fuzz_dir)
if [ "$targets" = build-fuzz ]; then
  CXX=clang++ CC=clang cmake -S . -B build-fuzz $(generator build-fuzz) "${common[@]}" -DM51_SANITIZE=ON -DM51_FUZZ=ON \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
fi
mkdir -p build-fuzz
readers=(board testfile script hex condition state sdcc frame object)
cmake --build "$targets" -j"$jobs" --target m51_fuzz_compile m51_fuzz_assemble "${readers[@]/#/m51_fuzz_}"

corpus=build-fuzz/corpus
artifacts=build-fuzz/artifacts
mkdir -p "$corpus" "$artifacts"
rm -f "$artifacts"/*
# New inputs go to the first corpus folder; examples/ and the kept regressions
# only seed it.
seeds=(examples)
[ -d tests/robustness/inputs ] && seeds+=(tests/robustness/inputs)
fuzz m51_fuzz_compile fuzz/m51.dict "$artifacts" "$corpus" "${seeds[@]}"

asm_corpus=build-fuzz/asm-corpus
asm_seeds=build-fuzz/asm-seeds
asm_artifacts=build-fuzz/asm-artifacts
mkdir -p "$asm_corpus" "$asm_seeds" "$asm_artifacts"
rm -f "$asm_artifacts"/*
# The sanitizer build's m51c writes the seeds; without that build, this one's.
m51c=build-sanitize/compiler/m51c
if [ ! -x "$m51c" ]; then
  cmake --build "$targets" -j"$jobs" --target m51c
  m51c=$targets/compiler/m51c
fi
for program in examples/*.M51; do
  name=$(basename "$program" .M51)
  "$m51c" -o "$asm_seeds/$name.asm" "$program" 2>/dev/null || true
done
cp tests/toolchain/crosscheck/allopcodes.asm "$asm_seeds/"
fuzz m51_fuzz_assemble fuzz/asm51.dict "$asm_artifacts" "$asm_corpus" "$asm_seeds"

reader_seeds=build-fuzz/reader-seeds
mkdir -p "$reader_seeds"/{board,testfile,script,hex,condition,state,sdcc,frame,object}
cp examples/*.board "$reader_seeds/board/"
find examples -name '*.m51test' -exec cp {} "$reader_seeds/testfile/" \;
printf 'send HAL\\r\nsendfile data.bin\nexpect IBM\nwait 1200\n' >"$reader_seeds/script/script.txt"
m51as=build-sanitize/assembler/m51as
[ -x "$m51as" ] && "$m51as" -o "$reader_seeds/hex/allopcodes" tests/toolchain/crosscheck/allopcodes.asm >/dev/null 2>&1 || true
rm -f "$reader_seeds"/hex/*.lst "$reader_seeds"/hex/*.bin
[ -x "$m51as" ] && "$m51as" -c -o "$reader_seeds/object/hexload" examples/hexload.a51 >/dev/null 2>&1 || true
rm -f "$reader_seeds"/object/*.lst
printf 'COUNT >= 10' >"$reader_seeds/condition/count.txt"
cp fuzz/sdcc-seeds/* "$reader_seeds/sdcc/"
printf 'Content-Length: 2\r\n\r\n{}' >"$reader_seeds/frame/message.txt"
for reader in "${readers[@]}"; do
  mkdir -p "build-fuzz/$reader-corpus" "build-fuzz/$reader-artifacts"
  rm -f "build-fuzz/$reader-artifacts"/*
  FUZZ_TIME=$reader_seconds fuzz "m51_fuzz_$reader" "" "build-fuzz/$reader-artifacts" "build-fuzz/$reader-corpus" \
    "$reader_seeds/$reader"
done

finish_fuzzing
if [ $status -ne 0 ]; then
  echo "== Sanitizer tests or fuzzing FAILED" >&2
  exit 1
fi
echo "== Sanitizer tests passed, no fuzzer findings"
