#!/usr/bin/env bash
# The compiler and the assembler under AddressSanitizer and
# UndefinedBehaviorSanitizer:
#  1. builds both libraries, m51c, m51as and their tests in build-sanitize/ with
#     -DM51_SANITIZE=ON (no Qt programs, no benchmarks) and runs them;
#  2. builds the libFuzzer targets with clang in build-fuzz/ and fuzzes
#     CompileSource (seeded with examples/) and Assemble (seeded with the
#     examples as m51c writes them and the all-opcode program) for FUZZ_SECONDS
#     seconds each (default 60);
#  3. fuzzes the readers of board, test, script, HEX and state files and of
#     breakpoint conditions for FUZZ_READER_SECONDS each (default 20, at most
#     FUZZ_SECONDS): small inputs, so a short run covers them well, and six
#     of them keep the whole script within CI's time.
# Any finding fails the script; the input that caused it is left in
# build-fuzz/artifacts/ (compiler) or build-fuzz/asm-artifacts/ (assembler) and
# belongs, once fixed, in tests/robustness/inputs/ or a unit test.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
seconds=${FUZZ_SECONDS:-60}
reader_seconds=${FUZZ_READER_SECONDS:-$((seconds < 20 ? seconds : 20))}
common=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DM51_WITH_ZELVAR=OFF -DM51_WITH_TERMINAL=OFF -DM51_WITH_BENCH=OFF)
if command -v ccache >/dev/null; then
  common+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== Compiler and assembler tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize "${common[@]}" -DM51_SANITIZE=ON
cmake --build build-sanitize -j"$jobs"
status=0
ctest --test-dir build-sanitize --output-on-failure -j"$jobs" || status=1

# fuzz TARGET DICT ARTIFACTS CORPUS SEEDS...: runs one fuzz target for the
# set time; a crash or anything it leaves in ARTIFACTS fails the script.
fuzz() {
  local target=$1 dict=$2 found=$3
  shift 3
  local options=(-max_total_time="${FUZZ_TIME:-$seconds}" -max_len=16384 -timeout=20 -rss_limit_mb=2048
    -print_final_stats=1 -artifact_prefix="$found/")
  [ -n "$dict" ] && options+=(-dict="$dict")
  build-fuzz/fuzz/"$target" "$@" "${options[@]}" || status=1
  if compgen -G "$found/*" >/dev/null; then
    echo "The fuzzer left findings in $found:" >&2
    ls -l "$found" >&2
    status=1
  fi
}

echo "== Fuzzing CompileSource for ${seconds} s"
CXX=clang++ CC=clang cmake -S . -B build-fuzz "${common[@]}" -DM51_SANITIZE=ON -DM51_FUZZ=ON \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
readers=(board testfile script hex condition state)
cmake --build build-fuzz -j"$jobs" --target m51_fuzz_compile m51_fuzz_assemble "${readers[@]/#/m51_fuzz_}"

corpus=build-fuzz/corpus
artifacts=build-fuzz/artifacts
mkdir -p "$corpus" "$artifacts"
rm -f "$artifacts"/*
# New inputs go to the first corpus folder; examples/ and the kept regressions
# only seed it.
seeds=(examples)
[ -d tests/robustness/inputs ] && seeds+=(tests/robustness/inputs)
fuzz m51_fuzz_compile fuzz/m51.dict "$artifacts" "$corpus" "${seeds[@]}"

echo "== Fuzzing Assemble for ${seconds} s"
asm_corpus=build-fuzz/asm-corpus
asm_seeds=build-fuzz/asm-seeds
asm_artifacts=build-fuzz/asm-artifacts
mkdir -p "$asm_corpus" "$asm_seeds" "$asm_artifacts"
rm -f "$asm_artifacts"/*
for program in examples/*.M51; do
  name=$(basename "$program" .M51)
  build-sanitize/compiler/m51c -o "$asm_seeds/$name.asm" "$program" 2>/dev/null || true
done
cp tests/toolchain/crosscheck/allopcodes.asm "$asm_seeds/"
fuzz m51_fuzz_assemble fuzz/asm51.dict "$asm_artifacts" "$asm_corpus" "$asm_seeds"

echo "== Fuzzing the file readers for ${reader_seconds} s each"
reader_seeds=build-fuzz/reader-seeds
mkdir -p "$reader_seeds"/{board,testfile,script,hex,condition,state}
cp examples/*.board "$reader_seeds/board/"
find examples -name '*.m51test' -exec cp {} "$reader_seeds/testfile/" \;
printf 'send HAL\\r\nsendfile data.bin\nexpect IBM\nwait 1200\n' >"$reader_seeds/script/script.txt"
build-sanitize/assembler/m51as -o "$reader_seeds/hex/allopcodes" tests/toolchain/crosscheck/allopcodes.asm >/dev/null || true
rm -f "$reader_seeds"/hex/*.lst "$reader_seeds"/hex/*.bin
printf 'COUNT >= 10' >"$reader_seeds/condition/count.txt"
for reader in "${readers[@]}"; do
  mkdir -p "build-fuzz/$reader-corpus" "build-fuzz/$reader-artifacts"
  rm -f "build-fuzz/$reader-artifacts"/*
  FUZZ_TIME=$reader_seconds fuzz "m51_fuzz_$reader" "" "build-fuzz/$reader-artifacts" "build-fuzz/$reader-corpus" \
    "$reader_seeds/$reader"
done
if [ $status -ne 0 ]; then
  echo "== Sanitizer tests or fuzzing FAILED" >&2
  exit 1
fi
echo "== Sanitizer tests passed, no fuzzer findings"
